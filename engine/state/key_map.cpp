#include "engine/state/key_map.h"

#include "engine/resources/sjis_text.h"

namespace sorel {

const char* keyConfigName(Key key) {
  switch (key) {
    case Key::Up: return "KEY_UP";
    case Key::Down: return "KEY_DOWN";
    case Key::Left: return "KEY_LEFT";
    case Key::Right: return "KEY_RIGHT";
    case Key::A: return "KEY_A";
    case Key::B: return "KEY_B";
    case Key::C: return "KEY_C";
    case Key::D: return "KEY_D";
    case Key::E: return "KEY_E";
    case Key::Start: return "KEY_START";
  }
  return "";
}

void KeyMap::fromDefaults(int16_t up, int16_t down, int16_t left, int16_t right, int16_t a,
                          int16_t b, int16_t c, int16_t start) {
  m_codes = {};
  m_codes[size_t(Key::Up)] = up;
  m_codes[size_t(Key::Down)] = down;
  m_codes[size_t(Key::Left)] = left;
  m_codes[size_t(Key::Right)] = right;
  m_codes[size_t(Key::A)] = a;
  m_codes[size_t(Key::B)] = b;
  m_codes[size_t(Key::C)] = c;
  m_codes[size_t(Key::Start)] = start;
  m_defaults = m_codes;
}

int KeyMap::parseKeyName(std::string_view text) const {
  text = untilNul(text);
  if (text.size() < 2) return -1;
  static constexpr struct {
    const char* name;
    Key key;
  } kNames[] = {{"UP", Key::Up},       {"DOWN", Key::Down},   {"LEFT", Key::Left},
                {"RIGHT", Key::Right}, {"START", Key::Start}, {"KEY_A", Key::A},
                {"KEY_B", Key::B},     {"KEY_C", Key::C}};
  for (const auto& n : kNames)
    if (sameName(text, n.name)) return defaultCode(n.key);
  if (text.size() != 2) return -1;
  auto digit = [](char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return 0;  // the engine reads any other character as the digit 0
  };
  return digit(text[0]) * 16 + digit(text[1]);
}

void KeyMap::setKey(Key key, std::string_view text) {
  int code = parseKeyName(text);
  m_codes[static_cast<size_t>(key)] = static_cast<int16_t>(code < 0 ? defaultCode(key) : code);
}

}  // namespace sorel
