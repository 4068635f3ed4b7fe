#include "engine/state/pad_map.h"

#include <string>
#include <vector>

#include "engine/resources/sjis_text.h"
#include "engine/state/profile.h"

namespace sorel {
namespace {

using platform::PadButton;
using Action = PadBinding::Action;

constexpr std::string_view kSection = "PAD_CONFIG";

struct ConfigKey {
  const char* name;
  PadBinding binding;
};

// In reading order: a button named under two keys ends with the later one.
constexpr ConfigKey kConfigKeys[] = {
    {"PAD_UP", {Action::Key, Key::Up}},       {"PAD_DOWN", {Action::Key, Key::Down}},
    {"PAD_LEFT", {Action::Key, Key::Left}},   {"PAD_RIGHT", {Action::Key, Key::Right}},
    {"PAD_A", {Action::Key, Key::A}},         {"PAD_B", {Action::Key, Key::B}},
    {"PAD_C", {Action::Key, Key::C}},         {"PAD_D", {Action::Key, Key::D}},
    {"PAD_E", {Action::Key, Key::E}},         {"PAD_START", {Action::Key, Key::Start}},
    {"PAD_MENU", {Action::Menu, Key::Up}},
};

// A code no virtual key has (they are 8-bit): a key that has no code of its own takes it for one
// pad message.
constexpr int16_t kPadOnlyCode = 0x100;

std::vector<std::string_view> buttonNames(std::string_view value) {
  std::vector<std::string_view> out;
  size_t i = 0;
  auto separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  while (i < value.size()) {
    while (i < value.size() && separator(value[i])) ++i;
    size_t start = i;
    while (i < value.size() && !separator(value[i])) ++i;
    if (i > start) out.push_back(value.substr(start, i - start));
  }
  return out;
}

}  // namespace

void PadMap::setDefaults() {
  m_bindings.fill({});
  auto key = [&](PadButton b, Key k) { bind(b, {Action::Key, k}); };
  key(PadButton::DpadUp, Key::Up);
  key(PadButton::DpadDown, Key::Down);
  key(PadButton::DpadLeft, Key::Left);
  key(PadButton::DpadRight, Key::Right);
  key(PadButton::StickUp, Key::Up);
  key(PadButton::StickDown, Key::Down);
  key(PadButton::StickLeft, Key::Left);
  key(PadButton::StickRight, Key::Right);
  // The bottom button reads on (C), the right one is B (the menu key), the left one A (hides
  // the message window), the top one the pad's centre press.
  key(PadButton::A, Key::C);
  key(PadButton::B, Key::B);
  key(PadButton::X, Key::A);
  key(PadButton::Y, Key::Start);
  key(PadButton::LeftShoulder, Key::D);
  key(PadButton::RightShoulder, Key::E);
  bind(PadButton::Start, {Action::Menu, Key::Up});
}

void PadMap::read(std::string_view path,
                  const std::function<void(std::string_view, std::string_view)>& report) {
  std::vector<std::string> reported;
  for (const ConfigKey& k : kConfigKeys) {
    std::string value;
    getProfileString(kSection, k.name, "", value, 127, path);
    std::vector<PadButton> buttons;
    bool none = false;
    for (std::string_view name : buttonNames(value)) {
      if (sameName(name, "NONE")) {
        none = true;
      } else if (auto button = platform::padButtonFromName(name)) {
        buttons.push_back(*button);
      } else {
        bool seen = false;
        for (const auto& r : reported) seen = seen || sameName(r, name);
        if (seen) continue;
        reported.emplace_back(name);
        if (report) report(k.name, name);
      }
    }
    // A value without one known name (empty, or only misspelt) keeps the defaults.
    if (buttons.empty() && !none) continue;
    for (auto& b : m_bindings)
      if (b == k.binding) b = {};
    for (PadButton button : buttons) bind(button, k.binding);
  }
}

void onPadButton(InputState& in, KeyMap& map, const InputSettings& s, const PadMap& pads,
                 platform::PadButton button, bool down, const MenuOpener& openMenu) {
  const PadBinding& b = pads.binding(button);
  if (b.action == Action::Menu) {
    if (down && openMenu) openMenu();
    return;
  }
  if (b.action != Action::Key) return;
  if (map.code(b.key) != 0) {
    onKey(in, map, s, map.code(b.key), down, openMenu);
    return;
  }
  KeyMap own = map;
  own.setCode(b.key, kPadOnlyCode);
  onKey(in, own, s, kPadOnlyCode, down, openMenu);
  map.pressCount = own.pressCount;
}

}  // namespace sorel
