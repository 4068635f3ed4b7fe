#pragma once
// Which gamepad button stands for which of the device's keys, or opens the pop-up menu. Built
// with the defaults below and changed only by the section PAD_CONFIG of sorel.cfg, which names
// buttons (never numbers); the section is never written back.
//
//   dpad, left stick          up, down, left, right
//   a (bottom) / b (right)    C (read on) / B
//   x (left) / y (top)        A / the centre key
//   leftshoulder / rightshoulder   D / E
//   start                     the pop-up menu
//
// PAD_CONFIG keys: PAD_UP, PAD_DOWN, PAD_LEFT, PAD_RIGHT, PAD_A, PAD_B, PAD_C, PAD_D, PAD_E,
// PAD_START (the centre key), PAD_MENU. A value lists button names separated by spaces or
// commas ("PAD_C=a, rightshoulder"); it replaces that key's default buttons, taking each named
// button from whatever it did before. NONE leaves the key without a button; a value naming no
// button known here keeps the defaults.
#include <array>
#include <functional>
#include <string_view>

#include "engine/state/input.h"
#include "engine/state/key_map.h"
#include "platform/gamepad.h"

namespace sorel {

struct PadBinding {
  enum class Action : uint8_t { None, Key, Menu };
  Action action = Action::None;
  Key key = Key::Up;  ///< for Action::Key
  bool operator==(const PadBinding&) const = default;
};

class PadMap {
 public:
  PadMap() { setDefaults(); }
  void setDefaults();

  /// Reads PAD_CONFIG from the configuration file. Each button name it does not know is
  /// passed to `report` once (with the configuration key) and otherwise ignored.
  void read(std::string_view configPath,
            const std::function<void(std::string_view key, std::string_view name)>& report);

  const PadBinding& binding(platform::PadButton button) const {
    return m_bindings[static_cast<size_t>(button)];
  }
  void bind(platform::PadButton button, PadBinding binding) {
    m_bindings[static_cast<size_t>(button)] = binding;
  }

 private:
  std::array<PadBinding, platform::kPadButtonCount> m_bindings{};
};

/// A gamepad button pressed (down) or released: a key's button acts exactly as that key's own
/// code would in onKey (a key without a code, such as D and E before KEY_CONFIG names one,
/// counts as if it had a code of its own); the menu button calls openMenu when pressed.
void onPadButton(InputState& in, KeyMap& map, const InputSettings& settings, const PadMap& pads,
                 platform::PadButton button, bool down, const MenuOpener& openMenu);

}  // namespace sorel
