#include "engine/resources/format.h"

#include <cmath>
#include <cstdio>

#include "engine/resources/sjis_text.h"

namespace sorel {
namespace {

struct Spec {
  char letter = 0;
  bool plus = false, minus = false;
  int width = -1;      // -1: none
  int precision = -1;  // %f only
};

class ArgQueue {
 public:
  explicit ArgQueue(std::span<const FormatArg> args) : m_args(args) {}
  uint64_t nextBits() {
    if (m_next >= m_args.size()) return 0;
    const FormatArg& a = m_args[m_next++];
    if (a.kind == FormatArg::Kind::Double) return static_cast<uint64_t>(static_cast<int64_t>(a.real));
    return a.kind == FormatArg::Kind::Int ? a.bits : 0;
  }
  double nextReal() {
    if (m_next >= m_args.size()) return 0;
    const FormatArg& a = m_args[m_next++];
    if (a.kind == FormatArg::Kind::Double) return a.real;
    return a.kind == FormatArg::Kind::Int ? static_cast<double>(static_cast<int64_t>(a.bits)) : 0;
  }
  std::string_view nextText() {
    if (m_next >= m_args.size()) return {};
    const FormatArg& a = m_args[m_next++];
    return a.kind == FormatArg::Kind::Text ? untilNul(a.text) : std::string_view{};
  }

 private:
  std::span<const FormatArg> m_args;
  size_t m_next = 0;
};

// Fixed-width digits in the given base: position width-1-i receives digit i when the value has
// that many digits, else the fill; a value of 0 shows "0" in the last position. Digits above
// the width are dropped.
std::string fixedDigits(uint64_t value, int width, unsigned base, char fill) {
  std::string s(static_cast<size_t>(width), fill);
  uint64_t power = 1;
  for (int i = 0; i < width; ++i) {
    if (value >= power) s[static_cast<size_t>(width - 1 - i)] = "0123456789ABCDEF"[(value / power) % base];
    if (power > UINT64_MAX / base) power = UINT64_MAX;  // every further position is fill
    else power *= base;
  }
  if (value == 0 && width > 0) s.back() = '0';
  return s;
}

std::string plainDigits(uint64_t value, unsigned base) {
  std::string s;
  do {
    s.insert(s.begin(), "0123456789ABCDEF"[value % base]);
    value /= base;
  } while (value != 0);
  return s;
}

std::string number(uint64_t magnitude, const Spec& spec, unsigned base, char fill) {
  return spec.width >= 0 ? fixedDigits(magnitude, spec.width, base, fill) : plainDigits(magnitude, base);
}

std::string signedNumber(int32_t v, const Spec& spec) {
  uint64_t magnitude = v < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
  std::string digits = number(magnitude, spec, 10, ' ');
  char sign = 0;
  if (spec.plus) sign = v < 0 ? '-' : '+';
  else if (spec.minus) sign = v < 0 ? '-' : (spec.width >= 0 ? ' ' : 0);
  if (!sign) return digits;
  size_t first = digits.find_first_not_of(' ');
  if (first != std::string::npos && first > 0) digits[first - 1] = sign;
  else digits.insert(digits.begin(), sign);
  return digits;
}

// Cuts text to at most n bytes without splitting a double-byte character, then fills with spaces
// to exactly n bytes.
std::string fitted(std::string_view text, int n) {
  std::string out;
  size_t limit = static_cast<size_t>(n);
  for (size_t i = 0; i < text.size();) {
    size_t len = isLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (out.size() + len > limit) break;
    out.append(text.substr(i, len));
    i += len;
  }
  out.append(limit - out.size(), ' ');
  return out;
}

std::string fixedPoint(double v, const Spec& spec) {
  int precision = spec.precision >= 0 ? spec.precision : 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", precision, std::fabs(v));
  std::string digits = buf;
  char sign = 0;
  if (spec.plus) sign = v < 0 ? '-' : '+';
  else if (v < 0 || spec.minus) sign = v < 0 ? '-' : ' ';
  if (sign) digits.insert(digits.begin(), sign);
  if (spec.width > 0 && digits.size() < static_cast<size_t>(spec.width))
    digits.insert(digits.begin(), static_cast<size_t>(spec.width) - digits.size(), ' ');
  return digits;
}

}  // namespace

void formatInto(std::string& out, std::string_view pattern, std::span<const FormatArg> args) {
  const std::string previous = out;
  std::string result;
  ArgQueue queue(args);
  size_t i = 0;
  auto readWidth = [&](int& into) {
    int digits = 0, value = 0;
    while (digits < 2 && i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
      value = value * 10 + (pattern[i++] - '0');
      ++digits;
    }
    if (digits > 0) into = value;
  };

  while (i < pattern.size() && pattern[i] != '\0') {
    char c = pattern[i++];
    if (c != '%') {
      result += c;
      continue;
    }
    if (i >= pattern.size()) break;
    Spec spec;
    spec.letter = pattern[i++];
    if (spec.letter == '%') {
      result += '%';
      continue;
    }
    if ((spec.letter == 'l' || spec.letter == 'L') && i < pattern.size() &&
        std::string_view("duxoDUXO").find(pattern[i]) != std::string_view::npos)
      spec.letter = pattern[i++];
    // Flags and width follow the letter, for the conversions that take them; "%c-" or "%r-"
    // leave the '-' as plain text.
    const char lower = static_cast<char>(spec.letter | 0x20);
    if (lower == 'd' || lower == 'u' || lower == 'f') {
      while (i < pattern.size() && (pattern[i] == '+' || pattern[i] == '-')) {
        if (pattern[i] == '+') spec.plus = true;
        else spec.minus = true;
        ++i;
      }
    }
    if (std::string_view("duzxotfs").find(lower) != std::string_view::npos) readWidth(spec.width);
    if ((spec.letter == 'f' || spec.letter == 'F') && i < pattern.size() && pattern[i] == '.') {
      ++i;
      readWidth(spec.precision);
    }

    bool fullWidth = spec.letter >= 'A' && spec.letter <= 'Z' && spec.letter != 'S';
    std::string piece;
    switch (spec.letter) {
      case 'd': case 'D':
        piece = signedNumber(static_cast<int32_t>(queue.nextBits()), spec);
        break;
      case 'u': case 'U':
        piece = number(static_cast<uint32_t>(queue.nextBits()), spec, 10, ' ');
        break;
      case 'z': case 'Z':
        piece = number(static_cast<uint32_t>(queue.nextBits()), spec, 10, '0');
        break;
      case 'x': case 'X':
        piece = number(static_cast<uint32_t>(queue.nextBits()), spec, 16, '0');
        break;
      case 'o': case 'O':
        piece = number(static_cast<uint32_t>(queue.nextBits()), spec, 8, '0');
        break;
      case 't': case 'T':
        piece = number(queue.nextBits(), spec, 10, ' ');
        break;
      case 'f': case 'F':
        piece = fixedPoint(queue.nextReal(), spec);
        break;
      case 's': {
        std::string_view t = queue.nextText();
        piece = spec.width >= 0 ? fitted(t, spec.width) : std::string(t);
        break;
      }
      case 'S': {
        std::string wide = toFullWidth(queue.nextText());
        piece = spec.width >= 0 ? fitted(wide, spec.width * 2) : wide;
        break;
      }
      case 'c':
        piece = std::string(1, static_cast<char>(queue.nextBits()));
        break;
      case 'r':
        // Continue behind the text the buffer held before: what was written so far overlays
        // its start, and the output goes on at the end of the longer of the two.
        if (previous.size() > result.size()) result += previous.substr(result.size());
        break;
      default:
        break;  // an unknown letter produces nothing
    }
    result += fullWidth ? toFullWidth(piece) : piece;
  }
  out = std::move(result);
}

}  // namespace sorel
