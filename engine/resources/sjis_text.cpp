#include "engine/resources/sjis_text.h"

#include <cstring>

namespace sorel {
namespace {

constexpr char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Full-width forms of 0x20..0x7E, in rows of sixteen by high nibble. Note the system's own
// choices in the first row: '-' becomes the low line "＿", '"' and '\'' the closing quotes.
constexpr uint16_t kFullWidth[95] = {
    0x8140, 0x8149, 0x8168, 0x8194, 0x8190, 0x8193, 0x8195, 0x8166, 0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x8151, 0x8144, 0x815E,
    0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256, 0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148,
    0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266, 0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276, 0x8277, 0x8278, 0x8279, 0x816D, 0x818F, 0x816E, 0x814F, 0x8151,
    0x814D, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287, 0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F,
    0x8290, 0x8291, 0x8292, 0x8293, 0x8294, 0x8295, 0x8296, 0x8297, 0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8150,
};

}  // namespace

std::string_view untilNul(std::string_view s) {
  size_t n = s.find('\0');
  return n == std::string_view::npos ? s : s.substr(0, n);
}

std::string_view fieldText(const char* field, size_t n) {
  return {field, strnlen(field, n)};
}

std::optional<size_t> lastCharOf(std::string_view text, char c) {
  text = untilNul(text);
  std::optional<size_t> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (isLeadByte(static_cast<uint8_t>(text[i]))) {
      ++i;
      continue;
    }
    if (text[i] == c) found = i;
  }
  return found;
}

bool endsInBackslash(std::string_view text) {
  text = untilNul(text);
  auto last = lastCharOf(text, '\\');
  return last && *last + 1 == text.size();
}

std::string withBackslash(std::string_view folder) {
  std::string out(untilNul(folder));
  if (!out.empty() && !endsInBackslash(out)) out += '\\';
  return out;
}

bool sameNamePrefix(std::string_view a, std::string_view b, size_t n) {
  a = untilNul(a);
  b = untilNul(b);
  size_t i = 0;
  while (i < n) {
    bool endA = i >= a.size(), endB = i >= b.size();
    if (endA || endB) return endA && endB;
    uint8_t ca = static_cast<uint8_t>(a[i]), cb = static_cast<uint8_t>(b[i]);
    if (isLeadByte(ca)) {
      if (ca != cb) return false;
      ++i;
      if (i >= n) return true;
      bool tailA = i < a.size(), tailB = i < b.size();
      if (tailA != tailB) return false;
      if (tailA && a[i] != b[i]) return false;
      ++i;
      continue;
    }
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    ++i;
  }
  return true;
}

bool sameName(std::string_view a, std::string_view b) {
  a = untilNul(a);
  b = untilNul(b);
  if (a.size() != b.size()) return false;
  return sameNamePrefix(a, b, a.size());
}

std::string_view extensionOf(std::string_view name) {
  name = untilNul(name);
  auto dot = lastCharOf(name, '.');
  return dot ? name.substr(*dot) : std::string_view{};
}

std::string replaceExtension(std::string_view name, std::string_view ext) {
  name = untilNul(name);
  auto dot = lastCharOf(name, '.');
  std::string out(dot ? name.substr(0, *dot) : name);
  out += ext;
  return out;
}

int toFullWidth(std::string& out, std::string_view text) {
  text = untilNul(text);
  out.clear();
  int converted = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (isLeadByte(b)) {
      out += text[i];
      if (i + 1 < text.size()) out += text[++i];
    } else if (b >= 0x20 && b <= 0x7E) {
      uint16_t w = kFullWidth[b - 0x20];
      out += static_cast<char>(w >> 8);
      out += static_cast<char>(w & 0xFF);
      ++converted;
    } else {
      out += text[i];
    }
  }
  return converted;
}

std::string toFullWidth(std::string_view text) {
  std::string out;
  toFullWidth(out, text);
  return out;
}

size_t copyToken(std::string_view src, std::string& out, std::string_view delimiters, bool squeeze) {
  out.clear();
  size_t i = 0;
  bool quoted = false;
  while (i < src.size() && src[i] != '\0') {
    char c = src[i];
    uint8_t b = static_cast<uint8_t>(c);
    if (isLeadByte(b)) {
      out += c;
      if (i + 1 < src.size() && src[i + 1] != '\0') out += src[i + 1];
      i += 2;
      continue;
    }
    if (c == '"') {
      quoted = !quoted;
      ++i;
      continue;
    }
    if (!quoted) {
      if (delimiters.find(c) != std::string_view::npos) break;
      if (squeeze) {
        if (c == ' ' || c == '\t') {
          ++i;
          continue;
        }
        if (c == '\r' && i + 1 < src.size() && src[i + 1] == '\n') {
          i += 2;
          continue;
        }
      }
    }
    out += c;
    ++i;
  }
  return i < src.size() ? i : src.size();
}

bool parseInt(std::string_view text, int32_t& out) {
  text = untilNul(text);
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint32_t value = 0;
  bool any = false;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    for (i += 2; i < text.size(); ++i) {
      char c = text[i];
      uint32_t d;
      if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') d = static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
      else break;
      value = value * 16 + d;
      any = true;
    }
    out = any ? static_cast<int32_t>(value) : 0;
    return any;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    any = true;
  }
  if (negative) value = 0u - value;
  out = any ? static_cast<int32_t>(value) : 0;
  return any;
}

int32_t parseInt(std::string_view text) {
  int32_t v;
  parseInt(text, v);
  return v;
}

}  // namespace sorel
