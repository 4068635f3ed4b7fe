#include "converter/jbp1_encoder.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <array>
#include <cstring>

#include "engine/graphics/jbp1_format.h"
#include "engine/resources/byte_io.h"

namespace sorel {
namespace {

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to the
// libjpeg call site. Only plain C objects live in the frames between, so nothing is skipped.
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void onJpegError(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  std::longjmp(e->jump, 1);
}
void onJpegMessage(j_common_ptr) {}

// A destination that grows a std::vector, so no buffer of the library's has to be freed by hand.
struct VectorDestination {
  jpeg_destination_mgr mgr;
  std::vector<uint8_t>* out;
};

void initDestination(j_compress_ptr c) {
  auto* d = reinterpret_cast<VectorDestination*>(c->dest);
  d->out->resize(65536);
  d->mgr.next_output_byte = d->out->data();
  d->mgr.free_in_buffer = d->out->size();
}
boolean emptyOutput(j_compress_ptr c) {
  auto* d = reinterpret_cast<VectorDestination*>(c->dest);
  size_t used = d->out->size();
  d->out->resize(used * 2);
  d->mgr.next_output_byte = d->out->data() + used;
  d->mgr.free_in_buffer = d->out->size() - used;
  return TRUE;
}
void termDestination(j_compress_ptr c) {
  auto* d = reinterpret_cast<VectorDestination*>(c->dest);
  d->out->resize(d->out->size() - d->mgr.free_in_buffer);
}

// Step 1: a baseline JPEG, 4:2:0, at the quality. The picture's bytes blue, green, red are
// handed over as the library's first, second and third channel, so its Cr block carries the
// blue difference and its Cb block the red difference: exactly the C1 (blue) and C2 (red) of the
// format once they are written in the order Cr, Cb.
bool compressJpeg(const Bgr24View& pic, int quality, std::vector<uint8_t>& out) {
  jpeg_compress_struct c;
  JpegError err;
  VectorDestination dest;
  c.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = onJpegError;
  err.mgr.output_message = onJpegMessage;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&c);
    return false;
  }
  jpeg_create_compress(&c);
  dest.mgr.init_destination = initDestination;
  dest.mgr.empty_output_buffer = emptyOutput;
  dest.mgr.term_destination = termDestination;
  dest.out = &out;
  c.dest = &dest.mgr;
  c.image_width = pic.width;
  c.image_height = pic.height;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  c.dct_method = JDCT_ISLOW;
  c.comp_info[0].h_samp_factor = 2;
  c.comp_info[0].v_samp_factor = 2;
  for (int i = 1; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pic.pixels + size_t(c.next_scanline) * pic.stride);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return true;
}

// Step 2: the quantised coefficients in macroblock order Y0 Y1 Y2 Y3 C1 (Cr) C2 (Cb), and the
// two quantisation tables in natural order. The library's block arrays are padded to whole
// macroblocks and hold the edge blocks the JPEG carries there.
bool readCoefficients(const std::vector<uint8_t>& jpeg, uint32_t mbWide, uint32_t mbHigh, int16_t* coef,
                      uint16_t quant[2][64]) {
  jpeg_decompress_struct d;
  JpegError err;
  d.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = onJpegError;
  err.mgr.output_message = onJpegMessage;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&d);
    return false;
  }
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  const jpeg_component_info* ci = d.comp_info;
  bool shapeOk = d.num_components == 3 && d.data_precision == 8 && ci[0].h_samp_factor == 2 &&
                 ci[0].v_samp_factor == 2 && ci[1].h_samp_factor == 1 && ci[1].v_samp_factor == 1 &&
                 ci[2].h_samp_factor == 1 && ci[2].v_samp_factor == 1 && ci[0].quant_table &&
                 ci[1].quant_table && ci[2].quant_table &&
                 std::memcmp(ci[1].quant_table->quantval, ci[2].quant_table->quantval, sizeof(UINT16) * 64) == 0 &&
                 ci[0].width_in_blocks <= 2 * mbWide && ci[1].width_in_blocks <= mbWide;
  if (!shapeOk) {
    jpeg_destroy_decompress(&d);
    return false;
  }
  for (int i = 0; i < 64; ++i) {
    quant[0][i] = ci[0].quant_table->quantval[i];
    quant[1][i] = ci[1].quant_table->quantval[i];
  }
  for (uint32_t my = 0; my < mbHigh; ++my) {
    JBLOCKARRAY luma = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d), arrays[0], my * 2, 2, FALSE);
    JBLOCKARRAY cb = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d), arrays[1], my, 1, FALSE);
    JBLOCKARRAY cr = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d), arrays[2], my, 1, FALSE);
    for (uint32_t mx = 0; mx < mbWide; ++mx) {
      const JCOEF* blocks[6] = {luma[0][2 * mx], luma[0][2 * mx + 1], luma[1][2 * mx], luma[1][2 * mx + 1],
                                cr[0][mx], cb[0][mx]};
      int16_t* out = coef + (size_t(my) * mbWide + mx) * 6 * 64;
      for (int b = 0; b < 6; ++b)
        for (int i = 0; i < 64; ++i) out[b * 64 + i] = blocks[b][i];
    }
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

// A coded item: the symbol, and the value bits that follow it (count, bits MSB first).
struct Item {
  uint8_t symbol;
  uint8_t bitCount;
  uint16_t bits;
};

Item valueItem(int symbolHigh, int v) {
  int cat = jbp1::category(v);
  uint32_t mask = (1u << cat) - 1;
  uint32_t bits = (v < 0 ? static_cast<uint32_t>(v - 1) : static_cast<uint32_t>(v)) & mask;
  return {static_cast<uint8_t>(symbolHigh | cat), static_cast<uint8_t>(cat), static_cast<uint16_t>(bits)};
}

// Bits packed into 32-bit little-endian words, the first bit of a word in its lowest bit.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}
  // `count` (≤ 32) bits of `bits`, lowest bit first.
  void put(uint32_t bits, int count) {
    if (count == 0) return;
    m_acc |= static_cast<uint64_t>(bits) << m_count;
    m_count += count;
    if (m_count >= 32) {
      emit(static_cast<uint32_t>(m_acc));
      m_acc >>= 32;
      m_count -= 32;
    }
  }
  // Value bits: the most significant is written first.
  void putMsbFirst(uint32_t bits, int count) {
    uint32_t r = 0;
    for (int i = 0; i < count; ++i) r |= ((bits >> (count - 1 - i)) & 1u) << i;
    put(r, count);
  }
  void finish() {
    if (m_count > 0) emit(static_cast<uint32_t>(m_acc));
    m_acc = 0;
    m_count = 0;
  }

 private:
  void emit(uint32_t w) {
    uint8_t b[4];
    storeU32(b, w);
    m_out.insert(m_out.end(), b, b + 4);
  }
  std::vector<uint8_t>& m_out;
  uint64_t m_acc = 0;
  int m_count = 0;
};

// Codes from the tree: the path from the root, bit 0 for a first child, first step lowest.
struct Code {
  uint64_t bits = 0;
  int length = -1;  // -1: not reachable or longer than 64 bits
};

template <size_t N>
void codesOf(const jbp1::CodeTree& tree, std::array<Code, N>& codes) {
  struct Step {
    int node;
    int depth;
    uint64_t bits;
  };
  std::vector<Step> stack{{tree.root, 0, 0}};
  while (!stack.empty()) {
    Step s = stack.back();
    stack.pop_back();
    if (s.node < tree.symbols) {
      codes[static_cast<size_t>(s.node)] = {s.bits, s.depth};
      continue;
    }
    if (s.depth >= 64) continue;
    stack.push_back({tree.child0[static_cast<size_t>(s.node)], s.depth + 1, s.bits});
    stack.push_back({tree.child1[static_cast<size_t>(s.node)], s.depth + 1, s.bits | (uint64_t(1) << s.depth)});
  }
}

bool putCode(BitWriter& w, const Code& c) {
  if (c.length < 1) return false;
  if (c.length > 32) {
    w.put(static_cast<uint32_t>(c.bits), 32);
    w.put(static_cast<uint32_t>(c.bits >> 32), c.length - 32);
  } else {
    w.put(static_cast<uint32_t>(c.bits), c.length);
  }
  return true;
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  storeU32(b, v);
  out.insert(out.end(), b, b + 4);
}

}  // namespace

std::vector<uint8_t> Jbp1Encoder::encode(const Bgr24View& pic, int quality) {
  m_jpeg.clear();
  m_coef.clear();
  if (!pic.pixels || pic.width == 0 || pic.height == 0 || pic.width > kMaxSide || pic.height > kMaxSide ||
      quality < 1 || quality > 100)
    return {};
  const uint32_t mbWide = (pic.width + 15) / 16, mbHigh = (pic.height + 15) / 16;
  const size_t blocks = size_t(mbWide) * mbHigh * jbp1::kBlocksPerMacroblock;

  m_jpeg.reserve(size_t(pic.width) * pic.height * 3);
  if (!compressJpeg(pic, quality, m_jpeg)) return {};
  m_coef.assign(blocks * 64, 0);
  if (!readCoefficients(m_jpeg, mbWide, mbHigh, m_coef.data(), m_quant)) return {};

  // Steps 4-7: per block its DC (as the difference from the previous block's, whatever its
  // component) and its AC symbols.
  std::vector<Item> dcItems, acItems;
  dcItems.reserve(blocks);
  acItems.reserve(blocks * 8);
  int previousDc = 0;
  for (size_t b = 0; b < blocks; ++b) {
    const int16_t* c = m_coef.data() + b * 64;
    dcItems.push_back(valueItem(0, c[0] - previousDc));
    previousDc = c[0];
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      int v = c[jbp1::kZigzag[static_cast<size_t>(k)]];
      if (v == 0) {
        ++run;
        continue;
      }
      while (run > 30) {
        acItems.push_back({0xFF, 0, 0});
        run -= 30;
      }
      if (run >= 15) {
        acItems.push_back({static_cast<uint8_t>(jbp1::kFirstRunSymbol | (run - 15)), 0, 0});
        run = 0;
      }
      acItems.push_back(valueItem(run << 4, v));
      run = 0;
    }
    if (run > 0) acItems.push_back({jbp1::kEndOfBlock, 0, 0});
  }

  // Steps 8-9: counts and codes.
  std::array<uint32_t, jbp1::kDcSymbols> dcCounts{};
  std::array<uint32_t, jbp1::kAcSymbols> acCounts{};
  for (const Item& i : dcItems) ++dcCounts[i.symbol];
  for (const Item& i : acItems) ++acCounts[i.symbol];
  jbp1::CodeTree dcTree = jbp1::buildCodeTree(dcCounts);
  jbp1::CodeTree acTree = jbp1::buildCodeTree(acCounts);
  std::array<Code, jbp1::kDcSymbols> dcCodes{};
  std::array<Code, jbp1::kAcSymbols> acCodes{};
  codesOf(dcTree, dcCodes);
  codesOf(acTree, acCodes);

  // Step 10: the two bit streams.
  std::vector<uint8_t> dcStream, acStream;
  dcStream.reserve(blocks * 2);
  acStream.reserve(acItems.size() * 2);
  BitWriter dcOut(dcStream), acOut(acStream);
  for (const Item& i : dcItems) {
    if (!putCode(dcOut, dcCodes[i.symbol])) return {};
    dcOut.putMsbFirst(i.bits, i.bitCount);
  }
  for (const Item& i : acItems) {
    if (!putCode(acOut, acCodes[i.symbol])) return {};
    acOut.putMsbFirst(i.bits, i.bitCount);
  }
  dcOut.finish();
  acOut.finish();

  // Step 11: the stream.
  std::vector<uint8_t> out;
  out.reserve(jbp1::kHeaderSize + 64 + 1100 + 128 + dcStream.size() + acStream.size());
  out.insert(out.end(), {'J', 'B', 'P', '1'});
  putU32(out, jbp1::kHeaderSize);
  putU32(out, jbp1::kWrittenFlags);
  putU32(out, static_cast<uint32_t>(quality));
  uint8_t size[4];
  storeU16(size, static_cast<uint16_t>(pic.width));
  storeU16(size + 2, static_cast<uint16_t>(pic.height));
  out.insert(out.end(), size, size + 4);
  putU32(out, 24);
  putU32(out, 0);
  putU32(out, static_cast<uint32_t>(dcStream.size()));
  putU32(out, static_cast<uint32_t>(acStream.size()));
  putU32(out, 0);
  putU32(out, 0);
  for (uint32_t c : dcCounts) putU32(out, c);

  // AC counts: 1,024 bytes, zero runs of 1..256 written as 0 and the run length − 1.
  uint8_t raw[jbp1::kAcCountBytes];
  for (int i = 0; i < jbp1::kAcSymbols; ++i) storeU32(raw + i * 4, acCounts[static_cast<size_t>(i)]);
  size_t sectionStart = out.size();
  for (size_t i = 0; i < sizeof raw;) {
    if (raw[i] != 0) {
      out.push_back(raw[i++]);
      continue;
    }
    size_t run = 0;
    while (i < sizeof raw && raw[i] == 0 && run < 256) {
      ++run;
      ++i;
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(run - 1));
  }
  while ((out.size() - sectionStart) % 4 != 0) out.push_back(0);

  for (int t = 0; t < 2; ++t)
    for (int i = 0; i < 64; ++i) out.push_back(static_cast<uint8_t>(m_quant[t][i]));
  out.insert(out.end(), dcStream.begin(), dcStream.end());
  out.insert(out.end(), acStream.begin(), acStream.end());
  return out;
}

}  // namespace sorel
