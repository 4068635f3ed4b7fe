#pragma once
// Bounds-checked little-endian access to file images. A ByteReader never reads outside its span:
// a read past the end returns 0 and makes the reader fail for good, so a parser can read a whole
// record and check once.
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace sorel {

inline uint16_t loadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void storeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> bytes, size_t pos = 0) : m_bytes(bytes), m_pos(pos) {
    if (pos > bytes.size()) m_failed = true;
  }

  uint8_t u8() { return has(1) ? m_bytes[m_pos++] : fail<uint8_t>(); }
  uint16_t u16() {
    if (!has(2)) return fail<uint16_t>();
    uint16_t v = loadU16(m_bytes.data() + m_pos);
    m_pos += 2;
    return v;
  }
  uint32_t u32() {
    if (!has(4)) return fail<uint32_t>();
    uint32_t v = loadU32(m_bytes.data() + m_pos);
    m_pos += 4;
    return v;
  }
  int16_t i16() { return static_cast<int16_t>(u16()); }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  /// The next n bytes, or an empty span (and failure) when fewer remain.
  std::span<const uint8_t> bytes(size_t n) {
    if (!has(n)) return fail<std::span<const uint8_t>>();
    auto s = m_bytes.subspan(m_pos, n);
    m_pos += n;
    return s;
  }
  /// A NUL-terminated text inside a fixed field of n bytes (the text ends at the first NUL or at
  /// the field's end). Moves past the whole field.
  std::string_view fixedText(size_t n) {
    auto f = bytes(n);
    size_t len = 0;
    while (len < f.size() && f[len] != 0) ++len;
    return {reinterpret_cast<const char*>(f.data()), len};
  }
  void skip(size_t n) {
    if (has(n)) m_pos += n;
    else fail<int>();
  }
  void seek(size_t pos) {
    if (pos <= m_bytes.size()) m_pos = pos;
    else fail<int>();
  }

  bool ok() const { return !m_failed; }
  size_t pos() const { return m_pos; }
  size_t remaining() const { return m_failed ? 0 : m_bytes.size() - m_pos; }
  bool has(size_t n) const { return !m_failed && n <= m_bytes.size() - m_pos; }

 private:
  template <class T>
  T fail() {
    m_failed = true;
    return T{};
  }
  std::span<const uint8_t> m_bytes;
  size_t m_pos = 0;
  bool m_failed = false;
};

/// Appends little-endian values to a growing byte image.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}
  void u8(uint8_t v) { m_out.push_back(v); }
  void u16(uint16_t v) {
    uint8_t b[2];
    storeU16(b, v);
    m_out.insert(m_out.end(), b, b + 2);
  }
  void u32(uint32_t v) {
    uint8_t b[4];
    storeU32(b, v);
    m_out.insert(m_out.end(), b, b + 4);
  }
  void bytes(std::span<const uint8_t> b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
  /// A text in a fixed field of n bytes, zero-filled; cut to n - 1 bytes so the NUL always fits.
  void fixedText(std::string_view s, size_t n) {
    size_t len = s.size() < n ? s.size() : n - 1;
    m_out.insert(m_out.end(), s.begin(), s.begin() + static_cast<long>(len));
    m_out.insert(m_out.end(), n - len, 0);
  }
  size_t size() const { return m_out.size(); }

 private:
  std::vector<uint8_t>& m_out;
};

/// n × size with overflow detection; false when the product does not fit or exceeds `limit`.
inline bool checkedMul(uint64_t n, uint64_t size, uint64_t limit, uint64_t& out) {
  if (size != 0 && n > limit / size) return false;
  out = n * size;
  return out <= limit;
}

}  // namespace sorel
