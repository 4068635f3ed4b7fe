#include "converter/dib_image.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "converter/jbp1_encoder.h"
#include "engine/graphics/rbp_format.h"
#include "engine/resources/byte_io.h"

namespace sorel {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;   // BITMAPCOREHEADER (OS/2): 16-bit sizes, RGB triples
constexpr uint32_t kInfoHeaderSize = 40;   // BITMAPINFOHEADER; the V2..V5 headers extend it
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
constexpr int kMinJbp1Side = 32;

// A channel of a bit-field pixel moved to the top of its byte (low bits zero): for RGB565 this
// is blue = (e << 3) & 0xFF, green = (e >> 3) & 0xFC, red = (e >> 8) & 0xF8. A channel wider
// than 8 bits keeps its top 8.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;  // of the mask's lowest bit
  int bits = 0;
  uint8_t of(uint32_t e) const {
    if (bits == 0) return 0;
    uint32_t v = (e & mask) >> shift;
    return static_cast<uint8_t>(bits >= 8 ? v >> (bits - 8) : v << (8 - bits));
  }
};

Channel channelOf(uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (mask == 0) return c;
  c.shift = std::countr_zero(mask);
  c.bits = std::popcount(mask);
  return c;
}

// One run of set bits (or none): what a colour mask must be.
bool contiguous(uint32_t mask) {
  if (mask == 0) return true;
  uint32_t m = mask >> std::countr_zero(mask);
  return (m & (m + 1)) == 0;
}

struct Palette {
  uint8_t bgr[256][3] = {};
  uint32_t count = 0;
};

// Run-length coded 8- or 4-bit pixels into 24-bit rows top-down (zero-filled beforehand, so
// pixels the stream skips with deltas or early ends of lines stay black). Refuses runs and
// deltas that go past the picture, palette indices past the palette, and commands cut off by
// the end of the data.
DibError decodeRle(std::span<const uint8_t> data, int bits, uint32_t w, uint32_t h, bool topDown,
                   const Palette& pal, uint8_t* pixels) {
  size_t in = 0;
  uint32_t x = 0, row = 0;  // row counts in file order (bottom-up unless topDown)
  DibError bad = DibError::None;
  auto put = [&](unsigned value) {
    if (x >= w || row >= h) {
      bad = DibError::RlePastPicture;
      return false;
    }
    if (value >= pal.count) {
      bad = DibError::PaletteIndex;
      return false;
    }
    uint32_t y = topDown ? row : h - 1 - row;
    std::memcpy(pixels + (size_t(y) * w + x++) * 3, pal.bgr[value], 3);
    return true;
  };
  while (in < data.size()) {
    if (data.size() - in < 2) return DibError::Truncated;
    const unsigned count = data[in], value = data[in + 1];
    in += 2;
    if (count > 0) {  // encoded run: count pixels of one byte (8 bits) or two alternating nibbles
      for (unsigned k = 0; k < count; ++k) {
        unsigned v = bits == 8 ? value : (k & 1) ? value & 0x0F : value >> 4;
        if (!put(v)) return bad;
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
      continue;
    }
    if (value == 1) return DibError::None;  // end of bitmap
    if (value == 2) {  // delta: right and up (in file order) by the next two bytes
      if (data.size() - in < 2) return DibError::Truncated;
      x += data[in];
      row += data[in + 1];
      in += 2;
      if (x > w || row > h || (row == h && x > 0)) return DibError::RlePastPicture;
      continue;
    }
    // Absolute run of `value` pixels, padded to a whole 16-bit word.
    const size_t bytes = bits == 8 ? value : (value + 1) / 2;
    const size_t padded = (bytes + 1) & ~size_t(1);
    if (data.size() - in < bytes) return DibError::Truncated;
    for (unsigned k = 0; k < value; ++k) {
      unsigned v = bits == 8 ? data[in + k] : (k & 1) ? data[in + k / 2] & 0x0F : data[in + k / 2] >> 4;
      if (!put(v)) return bad;
    }
    in += std::min(padded, data.size() - in);
  }
  return DibError::None;  // the data ended without an end-of-bitmap mark: what was drawn stays
}

}  // namespace

std::string_view dibErrorText(DibError e) {
  switch (e) {
    case DibError::None: return "";
    case DibError::NotBitmap: return "not a bitmap";
    case DibError::Unsupported: return "unsupported bitmap depth or compression";
    case DibError::Truncated: return "bitmap cut short (header, palette or pixels past the end of the file)";
    case DibError::TooLarge: return "bitmap too large";
    case DibError::PaletteIndex: return "bitmap palette index out of range";
    case DibError::RlePastPicture: return "bitmap RLE data runs past the picture";
    case DibError::BadMasks: return "bitmap colour masks are not contiguous";
  }
  return "";
}

int jpegQualityOf(int qualityIndex) {
  switch (qualityIndex) {
    case 1: return 100;
    case 2: return 90;
    case 3: return 80;
    default: return 0;
  }
}

DibImage DibImage::fromPixels(uint32_t width, uint32_t height, int bitsPerPixel, std::vector<uint8_t> pixels) {
  DibImage d;
  d.m_width = width;
  d.m_height = height;
  d.m_bits = bitsPerPixel;
  d.m_sourceWidth = static_cast<uint16_t>(width);
  d.m_sourceHeight = static_cast<uint16_t>(height);
  d.m_pixels = std::move(pixels);
  d.m_pixels.resize(d.rowBytes() * height, 0);
  return d;
}

bool DibImage::load(std::span<const uint8_t> bytes, DibError* why) {
  auto fail = [&](DibError e) {
    if (why) *why = e;
    return false;
  };
  if (why) *why = DibError::None;
  ByteReader r(bytes);
  if (r.u8() != 'B' || r.u8() != 'M') return fail(DibError::NotBitmap);
  r.skip(8);  // bfSize, bfReserved1, bfReserved2: not trusted
  const uint32_t pixelOffset = r.u32();  // bfOffBits
  const uint32_t headerSize = r.u32();   // biSize
  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = kBiRgb, colorsUsed = 0, paletteEntry = 4;
  if (headerSize == kCoreHeaderSize) {
    width = r.u16();   // bcWidth
    height = r.u16();  // bcHeight
    r.u16();           // bcPlanes
    bits = r.u16();    // bcBitCount
    paletteEntry = 3;  // RGBTRIPLE
  } else if (headerSize >= kInfoHeaderSize) {
    // BITMAPINFOHEADER, and the V2 (52), V3 (56), V4 (108) and V5 (124) headers that extend it:
    // their masks sit where BI_BITFIELDS puts them anyway, and colour spaces and profiles
    // change nothing in the pixel values.
    width = r.i32();        // biWidth
    height = r.i32();       // biHeight: negative for top-down rows
    r.u16();                // biPlanes
    bits = r.u16();         // biBitCount
    compression = r.u32();  // biCompression
    r.skip(12);             // biSizeImage, biXPelsPerMeter, biYPelsPerMeter
    colorsUsed = r.u32();   // biClrUsed
  } else {
    return fail(DibError::NotBitmap);
  }
  if (!r.ok()) return fail(DibError::Truncated);
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return fail(DibError::NotBitmap);
  if (width > kMaxSide || height > kMaxSide) return fail(DibError::TooLarge);

  const bool palette = bits == 1 || bits == 4 || bits == 8;
  const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
  const bool rle = (compression == kBiRle8 && bits == 8) || (compression == kBiRle4 && bits == 4);
  if (!palette && bits != 16 && bits != 24 && bits != 32) return fail(DibError::Unsupported);
  if (compression != kBiRgb && !rle && !(bitfields && (bits == 16 || bits == 32)))
    return fail(DibError::Unsupported);

  uint32_t masks[3] = {0x001F, 0x07E0, 0xF800};  // blue, green, red: RGB565 unless told otherwise
  if (bitfields) {
    // Red, green, blue masks: inside a V2..V5 header, or right behind a 40-byte one; the same
    // place either way.
    ByteReader m(bytes, kFileHeaderSize + kInfoHeaderSize);
    uint32_t red = m.u32(), green = m.u32(), blue = m.u32();
    if (!m.ok()) return fail(DibError::Truncated);
    if (!contiguous(red) || !contiguous(green) || !contiguous(blue)) return fail(DibError::BadMasks);
    masks[0] = blue;
    masks[1] = green;
    masks[2] = red;
  }

  Palette pal;
  if (palette) {
    const uint32_t most = 1u << bits;
    pal.count = colorsUsed == 0 || colorsUsed > most ? most : colorsUsed;
    ByteReader p(bytes, kFileHeaderSize + headerSize);
    for (uint32_t i = 0; i < pal.count; ++i) {
      auto e = p.bytes(paletteEntry);  // blue, green, red (and a reserved byte)
      if (!p.ok()) return fail(DibError::Truncated);
      std::memcpy(pal.bgr[i], e.data(), 3);
    }
  }

  const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
  if (pixelOffset > bytes.size()) return fail(DibError::Truncated);
  const std::span<const uint8_t> data = bytes.subspan(pixelOffset);
  const int outBits = bits == 16 ? 16 : 24;
  std::vector<uint8_t> pixels(size_t(w) * h * size_t(outBits / 8));

  if (rle) {
    DibError e = decodeRle(data, static_cast<int>(bits), w, h, topDown, pal, pixels.data());
    if (e != DibError::None) return fail(e);
  } else {
    const size_t stride = (size_t(w) * bits + 31) / 32 * 4;
    const size_t used = (size_t(w) * bits + 7) / 8;
    // The last row's padding may be missing; its pixels may not.
    if (data.size() < stride * (h - 1) + used) return fail(DibError::Truncated);
    const Channel ch[3] = {channelOf(masks[0]), channelOf(masks[1]), channelOf(masks[2])};
    for (uint32_t y = 0; y < h; ++y) {
      const uint8_t* src = data.data() + stride * (topDown ? y : h - 1 - y);
      uint8_t* dst = pixels.data() + size_t(y) * w * size_t(outBits / 8);
      if (palette) {
        const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
        for (uint32_t x = 0; x < w; ++x) {
          const unsigned shift = 8 - bits * (x % perByte + 1);  // leftmost pixel in the high bits
          const unsigned i = (src[x / perByte] >> shift) & mask;
          if (i >= pal.count) return fail(DibError::PaletteIndex);
          std::memcpy(dst + x * 3, pal.bgr[i], 3);
        }
      } else if (bits == 32 && bitfields) {
        for (uint32_t x = 0; x < w; ++x) {
          uint32_t e = loadU32(src + x * 4);
          for (int c = 0; c < 3; ++c) dst[x * 3 + c] = ch[c].of(e);
        }
      } else if (bits == 32) {
        for (uint32_t x = 0; x < w; ++x) std::memcpy(dst + x * 3, src + x * 4, 3);  // fourth byte unused
      } else {
        std::memcpy(dst, src, used);  // 24 bits, or 16 bits kept with their masks
      }
    }
  }

  m_width = w;
  m_height = h;
  m_bits = outBits;
  std::copy(masks, masks + 3, m_masks);
  m_pixels = std::move(pixels);
  m_sourceWidth = static_cast<uint16_t>(w);
  m_sourceHeight = static_cast<uint16_t>(h);
  return true;
}

void DibImage::expand16To24() {
  if (m_bits != 16) return;
  Channel ch[3] = {channelOf(m_masks[0]), channelOf(m_masks[1]), channelOf(m_masks[2])};
  const size_t count = size_t(m_width) * m_height;
  std::vector<uint8_t> out(count * 3);
  for (size_t i = 0; i < count; ++i) {
    uint32_t e = loadU16(&m_pixels[i * 2]);
    for (int c = 0; c < 3; ++c) out[i * 3 + size_t(c)] = ch[c].of(e);
  }
  m_pixels = std::move(out);
  m_bits = 24;
}

void DibImage::toDepth32() {
  expand16To24();
  if (m_bits != 24) return;
  const size_t count = size_t(m_width) * m_height;
  std::vector<uint8_t> out(count * 4);
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(&out[i * 4], &m_pixels[i * 3], 3);
    out[i * 4 + 3] = 255;
  }
  m_pixels = std::move(out);
  m_bits = 32;
}

void DibImage::keyBlack() {
  toDepth32();
  for (size_t i = 0; i < m_pixels.size(); i += 4) {
    const uint8_t* p = &m_pixels[i];
    m_pixels[i + 3] = (p[0] | p[1] | p[2]) == 0 ? 0 : 255;
  }
}

void DibImage::keyNearBlack() {
  toDepth32();
  for (size_t i = 0; i < m_pixels.size(); i += 4) {
    const uint8_t* p = &m_pixels[i];
    m_pixels[i + 3] = p[0] < 7 && p[1] < 7 && p[2] < 7 ? 0 : 255;
  }
  // Opaque neighbours of a hole take their own brightness as alpha. A pixel so set stays
  // opaque (its brightness is at least 7 / 3), so the order of the pass does not matter.
  const int w = static_cast<int>(m_width), h = static_cast<int>(m_height);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (m_pixels[(size_t(y) * w + x) * 4 + 3] != 0) continue;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          int nx = x + dx, ny = y + dy;
          if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          uint8_t* n = &m_pixels[(size_t(ny) * w + nx) * 4];
          if (n[3] == 0) continue;
          n[3] = static_cast<uint8_t>((n[0] + n[1] + n[2]) / 3);
        }
      }
    }
  }
}

void DibImage::setColourAlpha(uint32_t colour, uint8_t alpha, int64_t newColour) {
  toDepth32();
  const uint8_t b = colour & 0xFF, g = (colour >> 8) & 0xFF, r = (colour >> 16) & 0xFF;
  for (size_t i = 0; i < m_pixels.size(); i += 4) {
    uint8_t* p = &m_pixels[i];
    if (p[0] != b || p[1] != g || p[2] != r) continue;
    p[3] = alpha;
    if (newColour >= 0) {
      p[0] = static_cast<uint8_t>(newColour);
      p[1] = static_cast<uint8_t>(newColour >> 8);
      p[2] = static_cast<uint8_t>(newColour >> 16);
    }
  }
}

void DibImage::blendOnto(DibImage base, int x, int y) {
  expand16To24();
  base.expand16To24();
  const int srcBpp = m_bits / 8, dstBpp = base.m_bits / 8;
  for (uint32_t row = 0; row < m_height; ++row) {
    int64_t by = int64_t(y) + row;
    if (by < 0 || by >= int64_t(base.m_height)) continue;
    for (uint32_t col = 0; col < m_width; ++col) {
      int64_t bx = int64_t(x) + col;
      if (bx < 0 || bx >= int64_t(base.m_width)) continue;
      const uint8_t* s = &m_pixels[(size_t(row) * m_width + col) * size_t(srcBpp)];
      uint8_t* d = &base.m_pixels[(size_t(by) * base.m_width + size_t(bx)) * size_t(dstBpp)];
      uint32_t a = srcBpp == 4 ? s[3] : 255;
      if (a == 0) continue;
      if (a == 255) {
        std::memcpy(d, s, 3);
        continue;
      }
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(((256 - a) * d[c] + a * s[c]) >> 8);
    }
  }
  *this = std::move(base);
}

void DibImage::pasteOpaque(const DibImage& overlayIn, int x, int y) {
  DibImage overlay = overlayIn;
  overlay.expand16To24();
  expand16To24();
  const int srcBpp = overlay.m_bits / 8, dstBpp = m_bits / 8;
  for (uint32_t row = 0; row < overlay.m_height; ++row) {
    int64_t dy = int64_t(y) + row;
    if (dy < 0 || dy >= int64_t(m_height)) continue;
    for (uint32_t col = 0; col < overlay.m_width; ++col) {
      int64_t dx = int64_t(x) + col;
      if (dx < 0 || dx >= int64_t(m_width)) continue;
      const uint8_t* s = &overlay.m_pixels[(size_t(row) * overlay.m_width + col) * size_t(srcBpp)];
      if ((s[0] | s[1] | s[2]) == 0) continue;
      std::memcpy(&m_pixels[(size_t(dy) * m_width + size_t(dx)) * size_t(dstBpp)], s, 3);
    }
  }
}

void DibImage::shrink(bool alphaWeighted, int factor) {
  if (factor >= 100 || factor <= 0 || empty()) return;
  expand16To24();
  const uint32_t w = m_width, h = m_height;
  const uint32_t nw = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t(factor) * w / 100));
  const uint32_t nh = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t(factor) * h / 100));
  const uint32_t dx = w * 1024 / nw, dy = h * 1024 / nh;
  const uint32_t bx = (dx + 1023) / 1024, by = (dy + 1023) / 1024;
  const int bpp = m_bits / 8;
  const bool weighted = alphaWeighted && bpp == 4;
  std::vector<uint8_t> out(size_t(nw) * nh * size_t(bpp));
  for (uint32_t oy = 0; oy < nh; ++oy) {
    const uint32_t sy0 = static_cast<uint32_t>((uint64_t(oy) * dy) >> 10);
    for (uint32_t ox = 0; ox < nw; ++ox) {
      const uint32_t sx0 = static_cast<uint32_t>((uint64_t(ox) * dx) >> 10);
      uint32_t sum[4] = {0, 0, 0, 0}, n = 0;
      for (uint32_t sy = sy0; sy < sy0 + by && sy < h; ++sy) {
        for (uint32_t sx = sx0; sx < sx0 + bx && sx < w; ++sx) {
          const uint8_t* p = &m_pixels[(size_t(sy) * w + sx) * size_t(bpp)];
          if (weighted && p[3] == 0) continue;
          for (int c = 0; c < bpp; ++c) sum[c] += p[c];
          ++n;
        }
      }
      uint8_t* o = &out[(size_t(oy) * nw + ox) * size_t(bpp)];
      for (int c = 0; c < bpp; ++c) o[c] = n ? static_cast<uint8_t>(sum[c] / n) : 0;
    }
  }
  m_pixels = std::move(out);
  m_width = nw;
  m_height = nh;
}

std::vector<uint8_t> DibImage::toRbp(int quality, int x, int y) const {
  DibImage pic = *this;
  pic.expand16To24();
  const bool alpha = pic.m_bits == 32;
  const size_t count = size_t(pic.m_width) * pic.m_height;

  std::vector<uint8_t> stream;
  const int jpegQuality = jpegQualityOf(quality);
  if (jpegQuality != 0 && pic.m_width >= kMinJbp1Side && pic.m_height >= kMinJbp1Side) {
    std::vector<uint8_t> bgr;
    const uint8_t* rows = pic.m_pixels.data();
    if (alpha) {
      bgr.resize(count * 3);
      for (size_t i = 0; i < count; ++i) std::memcpy(&bgr[i * 3], &pic.m_pixels[i * 4], 3);
      rows = bgr.data();
    }
    Jbp1Encoder encoder;
    // A picture the JPEG library refuses is written raw rather than lost.
    stream = encoder.encode({rows, pic.m_width, pic.m_height, size_t(pic.m_width) * 3}, jpegQuality);
  }
  const bool jbp1 = !stream.empty();

  std::vector<uint8_t> out;
  out.reserve(rbp::kHeaderSize + (jbp1 ? stream.size() + (alpha ? count : 0) : count * (alpha ? 3 : 2)));
  ByteWriter w(out);
  w.u8('R');
  w.u8('B');
  w.u8('P');
  w.u8(static_cast<uint8_t>(jbp1 ? rbp::kVersionJbp1 : rbp::kVersionRaw));
  w.u32(jbp1 ? (alpha ? rbp::kKindJbp1Alpha : rbp::kKindJbp1) : (alpha ? rbp::kKindRawAlpha : rbp::kKindRaw));
  w.u32(pic.m_width);
  w.u32(pic.m_height);
  w.u32(rbp::kHeaderSize);
  w.u16(m_sourceWidth);
  w.u16(m_sourceHeight);
  w.u16(static_cast<uint16_t>(x));
  w.u16(static_cast<uint16_t>(y));
  w.u32(jbp1 ? static_cast<uint32_t>(stream.size()) : 0);
  w.u32(0);
  const int bpp = pic.m_bits / 8;
  if (jbp1) {
    w.bytes(stream);
    if (alpha)
      for (size_t i = 0; i < count; ++i) w.u8(pic.m_pixels[i * 4 + 3]);
  } else {
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* p = &pic.m_pixels[i * size_t(bpp)];
      w.u16(rbp::packRgb565(p[2], p[1], p[0]));
      if (alpha) w.u8(p[3]);
    }
  }
  return out;
}

std::vector<uint8_t> DibImage::fileImage() const {
  DibImage pic = *this;
  pic.expand16To24();
  const int bpp = pic.m_bits / 8;
  const size_t stride = (size_t(pic.m_width) * size_t(bpp) + 3) & ~size_t(3);
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.u8('B');
  w.u8('M');
  w.u32(static_cast<uint32_t>(54 + stride * pic.m_height));
  w.u32(0);
  w.u32(54);
  w.u32(kInfoHeaderSize);
  w.u32(pic.m_width);
  w.u32(pic.m_height);
  w.u16(1);
  w.u16(static_cast<uint16_t>(pic.m_bits));
  w.u32(kBiRgb);
  w.u32(static_cast<uint32_t>(stride * pic.m_height));
  for (int i = 0; i < 4; ++i) w.u32(0);
  out.resize(54 + stride * pic.m_height, 0);
  for (uint32_t y = 0; y < pic.m_height; ++y)
    std::memcpy(&out[54 + stride * (pic.m_height - 1 - y)], &pic.m_pixels[size_t(y) * pic.rowBytes()], pic.rowBytes());
  return out;
}

}  // namespace sorel
