#pragma once
// The ten logical keys of the engine and the key map that says which virtual-key code means
// which of them. The key map, the input counts and the configuration keys each list the keys in
// their own order; everything goes through the Key names below, never through positions.
#include <array>
#include <cstdint>
#include <string_view>

namespace sorel {

/// The logical keys, in the order of the key map.
enum class Key : uint8_t { Up, Down, Left, Right, A, B, C, D, E, Start };
constexpr int kKeyCount = 10;

/// Every key, in key-map order (for loops).
constexpr std::array<Key, kKeyCount> kAllKeys = {Key::Up, Key::Down, Key::Left, Key::Right, Key::A,
                                                 Key::B,  Key::C,    Key::D,    Key::E,     Key::Start};

/// The configuration key (section KEY_CONFIG) of a logical key: "KEY_UP" … "KEY_START".
const char* keyConfigName(Key key);

class KeyMap {
 public:
  KeyMap() = default;
  virtual ~KeyMap() = default;

  /// Builds the map from the device's default key list: the eight codes become both the current
  /// mapping and the defaults; D and E stay 0 (no key).
  void fromDefaults(int16_t up, int16_t down, int16_t left, int16_t right, int16_t a, int16_t b,
                    int16_t c, int16_t start);

  /// A key code from configuration text, or -1. "UP", "DOWN", "LEFT", "RIGHT", "START", "KEY_A",
  /// "KEY_B", "KEY_C" (any case) give those keys' defaults; any other text of exactly two bytes
  /// is two hexadecimal digits ("0D" gives 13), a non-hexadecimal character counting as 0.
  int parseKeyName(std::string_view text) const;
  /// parseKeyName, falling back to the key's default when the text means nothing.
  void setKey(Key key, std::string_view text);
  /// Maps the key to a code directly (the pad map gives a key without one a code of its own).
  void setCode(Key key, int16_t code) { m_codes[static_cast<size_t>(key)] = code; }

  int16_t code(Key key) const { return m_codes[static_cast<size_t>(key)]; }
  int16_t defaultCode(Key key) const { return m_defaults[static_cast<size_t>(key)]; }
  /// True when some logical key is mapped to this code (0 never is).
  bool maps(int virtualKey, Key key) const { return virtualKey != 0 && code(key) == virtualKey; }

  /// Key-down messages received so far (only tested for zero).
  uint32_t pressCount = 0;

 private:
  std::array<int16_t, kKeyCount> m_codes{};     // key-map order
  std::array<int16_t, kKeyCount> m_defaults{};  // key-map order
};

}  // namespace sorel
