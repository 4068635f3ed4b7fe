#include "platform/gamepad.h"

#include <array>

namespace platform {
namespace {

// In PadButton order.
constexpr std::array<const char*, kPadButtonCount> kNames = {
    "a",          "b",          "x",           "y",           "back",         "guide",
    "start",      "leftstick",  "rightstick",  "leftshoulder", "rightshoulder", "dpup",
    "dpdown",     "dpleft",     "dpright",     "misc1",       "paddle1",      "paddle2",
    "paddle3",    "paddle4",    "touchpad",    "stickup",     "stickdown",    "stickleft",
    "stickright", "lefttrigger", "righttrigger"};

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

AxisButtons axisButtons(int value, bool negativeHeld, bool positiveHeld) {
  constexpr int kPress = 16384, kRelease = 8192;
  AxisButtons out;
  out.negative = value <= -kPress || (negativeHeld && value < -kRelease);
  out.positive = value >= kPress || (positiveHeld && value > kRelease);
  return out;
}

const char* padButtonName(PadButton button) {
  auto i = static_cast<size_t>(button);
  return i < kNames.size() ? kNames[i] : "";
}

std::optional<PadButton> padButtonFromName(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    std::string_view n = kNames[i];
    if (n.size() != name.size()) continue;
    bool same = true;
    for (size_t k = 0; k < n.size() && same; ++k) same = lowerAscii(name[k]) == n[k];
    if (same) return static_cast<PadButton>(i);
  }
  return std::nullopt;
}

}  // namespace platform
