#include "converter/pac_archive.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "converter/pac_format.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {
namespace {

// No member of the game comes near this; a hostile directory must not make us allocate more.
constexpr uint64_t kMaxMemberSize = 512u << 20;

// MSB-first bit reader; past the end every bit reads as 1, as the game's decoder does.
class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  unsigned bit() {
    size_t byte = m_pos >> 3;
    if (byte >= m_bytes.size()) return 1;
    unsigned b = (m_bytes[byte] >> (7 - (m_pos & 7))) & 1u;
    ++m_pos;
    return b;
  }
  unsigned bits(int n) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | bit();
    return v;
  }
  /// Bits taken so far (a read past the end does not count).
  size_t position() const { return m_pos; }

 private:
  std::span<const uint8_t> m_bytes;
  size_t m_pos = 0;
};

struct HuffmanTree {
  // Children of inner nodes 256..510; leaves are the byte values 0..255.
  uint16_t left[pac::kMaxInnerNodes];
  uint16_t right[pac::kMaxInnerNodes];
  unsigned innerCount = 0;
  unsigned shortestCode = ~0u;  // depth of the leaf nearest the root
  bool valid = true;
};

// Reads one subtree depth first; returns its node number, 0xFFFF when the tree is invalid.
uint16_t readTree(BitReader& in, HuffmanTree& tree, unsigned depth = 0) {
  if (!tree.valid) return 0xFFFF;
  if (in.bit() == 0) {
    tree.shortestCode = std::min(tree.shortestCode, depth);
    return static_cast<uint16_t>(in.bits(8));
  }
  if (tree.innerCount >= pac::kMaxInnerNodes) {
    tree.valid = false;
    return 0xFFFF;
  }
  unsigned index = tree.innerCount++;
  uint16_t l = readTree(in, tree, depth + 1);
  uint16_t r = readTree(in, tree, depth + 1);
  tree.left[index] = l;
  tree.right[index] = r;
  return static_cast<uint16_t>(pac::kFirstInnerNode + index);
}

}  // namespace

const char* pacErrorText(PacError e) {
  switch (e) {
    case PacError::None: return "";
    case PacError::Missing: return "member missing";
    case PacError::Truncated: return "stored bytes run past the end of the file";
    case PacError::BadStream: return "compressed stream is damaged";
    case PacError::TooLarge: return "unpacked size is implausibly large";
    case PacError::Damaged: return "unpacked size is more than its packed bytes can hold (damaged size field)";
    case PacError::NoMemory: return "not enough memory to unpack it";
  }
  return "";
}

std::optional<uint64_t> pacCapacity(uint32_t method, std::span<const uint8_t> packed) {
  if (method == pac::kMethodStored) return packed.size();
  if (method == pac::kMethodLzss) {
    constexpr uint64_t kGroupBytes = 1 + 8 * 2, kGroupOutput = 8 * pac::kMaxMatch;
    return (uint64_t(packed.size()) + kGroupBytes - 1) / kGroupBytes * kGroupOutput + pac::kLzssSpare;
  }
  BitReader in(packed);
  HuffmanTree tree;
  if (readTree(in, tree) == 0xFFFF || !tree.valid) return std::nullopt;
  const uint64_t bits = uint64_t(packed.size()) * 8;
  const uint64_t left = bits > in.position() ? bits - in.position() : 0;
  // Bits past the end read as 1, so the decoder itself never runs dry: the bound comes from
  // what a writer had to store, at least one bit per byte.
  return left / std::max(1u, tree.shortestCode);
}

std::optional<size_t> decodePacLzss(std::span<uint8_t> dst, std::span<const uint8_t> src) {
  // Reads straight from the output instead of a ring: ring position p seen at output index o is
  // output index o - d, d = ((4078 + o - p - 1) mod 4096) + 1; before it was written it is a
  // zero of the initial ring.
  uint8_t* out = dst.data();
  const size_t outSize = dst.size();
  size_t o = 0, i = 0;
  unsigned flags = 0;
  for (;;) {
    flags >>= 1;
    if ((flags & 0x100) == 0) {
      if (i >= src.size()) break;
      flags = src[i++] | 0xFF00u;
    }
    if (flags & 1) {
      if (i >= src.size()) break;
      if (o >= outSize) return std::nullopt;
      out[o++] = src[i++];
      continue;
    }
    if (i + 2 > src.size()) break;
    unsigned p = src[i] | ((src[i + 1] & 0xF0u) << 4);
    unsigned len = (src[i + 1] & 0x0Fu) + pac::kMinMatch;
    i += 2;
    if (len > outSize - o) return std::nullopt;
    size_t d = ((pac::kRingStart + o - p - 1) & (pac::kRingSize - 1)) + 1;
    for (unsigned k = 0; k < len; ++k) {
      ptrdiff_t at = static_cast<ptrdiff_t>(o + k) - static_cast<ptrdiff_t>(d);
      out[o + k] = at < 0 ? 0 : out[at];
    }
    o += len;
  }
  return o;
}

bool decodePacHuffman(std::span<uint8_t> dst, std::span<const uint8_t> src) {
  BitReader in(src);
  HuffmanTree tree;
  uint16_t root = readTree(in, tree);
  if (!tree.valid || root == 0xFFFF) return false;
  for (uint8_t& byte : dst) {
    uint16_t node = root;
    while (node >= pac::kFirstInnerNode) {
      unsigned index = node - pac::kFirstInnerNode;
      node = in.bit() ? tree.right[index] : tree.left[index];
    }
    byte = static_cast<uint8_t>(node);
  }
  return true;
}

bool PacArchive::open(std::string_view path) {
  m_entries.clear();
  m_image.reset();
  m_path = std::string(untilNul(path));
  return readDirectory();
}

bool PacArchive::openImage(std::vector<uint8_t> image) {
  m_entries.clear();
  m_path.clear();
  m_image = std::move(image);
  return readDirectory();
}

int64_t PacArchive::size() const {
  return m_image ? static_cast<int64_t>(m_image->size()) : platform::fileSize(m_path);
}

size_t PacArchive::readBytes(uint64_t offset, uint8_t* out, size_t length) const {
  if (!m_image) return platform::readAt(m_path, out, platform::kSeekStart, static_cast<int64_t>(offset), length);
  if (offset >= m_image->size()) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(length, m_image->size() - offset));
  if (n != 0) std::memcpy(out, m_image->data() + offset, n);
  return n;
}

bool PacArchive::readDirectory() {
  int64_t size = this->size();
  if (size < static_cast<int64_t>(pac::kHeaderSize)) return false;
  uint8_t head[pac::kHeaderSize];
  if (readBytes(0, head, sizeof head) != sizeof head) return false;
  uint32_t count = loadU32(head + pac::kCountOffset);
  uint64_t dirBytes;
  if (!checkedMul(count, pac::kEntrySize, static_cast<uint64_t>(size), dirBytes) ||
      pac::kHeaderSize + dirBytes > static_cast<uint64_t>(size))
    return false;
  m_method = loadU32(head + pac::kMethodOffset);

  std::vector<uint8_t> dir(dirBytes);
  if (readBytes(pac::kHeaderSize, dir.data(), dir.size()) != dir.size()) return false;
  ByteReader r(dir);
  m_entries.reserve(count);
  for (uint32_t k = 0; k < count; ++k) {
    PacEntry e;
    e.name = std::string(r.fixedText(pac::kNameSize));
    e.offset = r.u32();
    e.unpackedSize = r.u32();
    e.packedSize = r.u32();
    m_entries.push_back(std::move(e));
  }
  return true;
}

std::optional<size_t> PacArchive::find(std::string_view name) const {
  for (size_t k = 0; k < m_entries.size(); ++k)
    if (sameName(m_entries[k].name, name)) return k;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> PacArchive::readMember(size_t index, PacError* error) const {
  auto fail = [&](PacError e) -> std::optional<std::vector<uint8_t>> {
    if (error) *error = e;
    return std::nullopt;
  };
  if (error) *error = PacError::None;
  if (index >= m_entries.size()) return fail(PacError::Missing);
  const PacEntry& e = m_entries[index];
  int64_t fileSize = size();
  if (fileSize < 0) return fail(PacError::Missing);
  if (uint64_t(e.offset) + e.packedSize > static_cast<uint64_t>(fileSize)) return fail(PacError::Truncated);

  if (e.unpackedSize > kMaxMemberSize) return fail(PacError::TooLarge);
  try {
    std::vector<uint8_t> packed(e.packedSize);
    if (readBytes(e.offset, packed.data(), packed.size()) != packed.size()) return fail(PacError::Truncated);
    // Checked before anything of the unpacked size is allocated: a few damaged bytes must not
    // claim hundreds of megabytes, on every worker at once.
    auto capacity = pacCapacity(m_method, packed);
    if (!capacity) return fail(PacError::BadStream);
    if (e.unpackedSize > *capacity) return fail(PacError::Damaged);

    if (m_method == pac::kMethodStored) {
      packed.resize(e.unpackedSize);  // the unpacked size says how many bytes the member has
      return packed;
    }
    if (m_method == pac::kMethodLzss) {
      std::vector<uint8_t> unpacked(size_t(e.unpackedSize) + pac::kLzssSpare, 0);
      if (!decodePacLzss(unpacked, packed)) return fail(PacError::BadStream);
      unpacked.resize(e.unpackedSize);
      return unpacked;
    }
    std::vector<uint8_t> unpacked(e.unpackedSize, 0);
    if (!decodePacHuffman(unpacked, packed)) return fail(PacError::BadStream);
    return unpacked;
  } catch (const std::bad_alloc&) {
    return fail(PacError::NoMemory);
  }
}

bool looksLikePac(std::span<const uint8_t> head, uint64_t fileSize) {
  ByteReader r(head);
  r.skip(4);
  uint32_t count = r.u32();
  r.u32();
  uint64_t dirBytes;
  if (!r.ok() || !checkedMul(count, pac::kEntrySize, fileSize, dirBytes) ||
      pac::kHeaderSize + dirBytes > fileSize || pac::kHeaderSize + dirBytes > head.size())
    return false;
  for (uint32_t k = 0; k < count; ++k) {
    auto name = r.bytes(pac::kNameSize);
    uint32_t offset = r.u32();
    r.u32();
    uint32_t packed = r.u32();
    if (!r.ok() || std::memchr(name.data(), 0, name.size()) == nullptr) return false;
    if (uint64_t(offset) + packed > fileSize) return false;
  }
  return true;
}

}  // namespace sorel
