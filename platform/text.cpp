#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// "CP932", never "SHIFT_JIS": glibc's SHIFT_JIS maps 0x5C to the yen sign, which would break
// every path separator.
constexpr const char* kCp932 = "CP932";

// One iconv descriptor per direction and thread: descriptors carry shift state and must not be
// shared between threads (the converter's worker and the dialog both convert names).
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  /// Converts all of in; on an invalid sequence either fails or, when lossy, emits the
  /// replacement bytes and skips one input byte.
  bool convert(std::string_view in, std::string& out, std::string_view replacement) {
    out.clear();
    if (m_cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> buf(in.size() * 4 + 16);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    while (inLeft > 0) {
      char* outPtr = buf.data();
      size_t outLeft = buf.size();
      size_t r = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buf.data(), outPtr - buf.data());
      if (r != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (replacement.empty()) return false;
      out.append(replacement);
      ++inPtr;
      --inLeft;
      iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
  }
 private:
  iconv_t m_cd;
};

Converter& fromCp932(const char* to) {
  thread_local Converter utf8("UTF-8", kCp932);
  thread_local Converter utf32("UTF-32LE", kCp932);
  thread_local Converter utf16("UTF-16LE", kCp932);
  if (std::strcmp(to, "UTF-8") == 0) return utf8;
  if (std::strcmp(to, "UTF-32LE") == 0) return utf32;
  return utf16;
}

Converter& toCp932() {
  thread_local Converter c(kCp932, "UTF-8");
  return c;
}

}  // namespace

std::optional<std::string> cp932ToUtf8(std::string_view cp932) {
  std::string out;
  if (!fromCp932("UTF-8").convert(cp932, out, {})) return std::nullopt;
  return out;
}

std::string cp932ToUtf8Lossy(std::string_view cp932) {
  std::string out;
  fromCp932("UTF-8").convert(cp932, out, "\xEF\xBF\xBD");
  return out;
}

std::optional<std::string> utf8ToCp932(std::string_view utf8) {
  std::string out;
  if (!toCp932().convert(utf8, out, {})) return std::nullopt;
  return out;
}

std::optional<std::u32string> cp932ToUtf32(std::string_view cp932) {
  std::string bytes;
  if (!fromCp932("UTF-32LE").convert(cp932, bytes, {})) return std::nullopt;
  std::u32string out(bytes.size() / 4, U'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + i * 4);
    out[i] = static_cast<char32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24));
  }
  return out;
}

std::optional<std::u16string> cp932ToUtf16(std::string_view cp932) {
  std::string bytes;
  if (!fromCp932("UTF-16LE").convert(cp932, bytes, {})) return std::nullopt;
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + i * 2);
    out[i] = static_cast<char16_t>(b[0] | (b[1] << 8));
  }
  return out;
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace platform
