#pragma once
// The system's own text formatter. A conversion is '%', a letter, then optional flags and a
// width after the letter: "%z2" is a number zero-padded to two digits, "%d+" a number with its
// sign always shown, "%s3" a text cut or space-filled to three bytes. Capital letters give the
// same text converted to full-width characters.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace sorel {

/// One argument of format(): an integer, a double or a text.
struct FormatArg {
  enum class Kind { Int, Double, Text };
  Kind kind = Kind::Int;
  uint64_t bits = 0;  // integers, stored as their two's complement bit pattern
  double real = 0;
  std::string_view text;

  template <class T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
  FormatArg(T v) : kind(Kind::Int), bits(static_cast<uint64_t>(static_cast<int64_t>(v))) {
    if constexpr (std::is_unsigned_v<T>) bits = static_cast<uint64_t>(v);
  }
  FormatArg(double v) : kind(Kind::Double), real(v) {}
  FormatArg(const char* s) : kind(Kind::Text), text(s ? std::string_view(s) : std::string_view()) {}
  FormatArg(std::string_view s) : kind(Kind::Text), text(s) {}
  FormatArg(const std::string& s) : kind(Kind::Text), text(s) {}
};

/// Formats into out. The output normally replaces out's text; a "%r" conversion moves the
/// output position to the end of the text out held before (the rest is appended). Arguments are
/// taken in order; a missing argument reads as 0 or an empty text.
void formatInto(std::string& out, std::string_view pattern, std::span<const FormatArg> args);

inline std::string format(std::string_view pattern, std::initializer_list<FormatArg> args = {}) {
  std::string out;
  formatInto(out, pattern, std::span<const FormatArg>(args.begin(), args.size()));
  return out;
}

template <class... A>
std::string formatText(std::string_view pattern, const A&... args) {
  return format(pattern, {FormatArg(args)...});
}

}  // namespace sorel
