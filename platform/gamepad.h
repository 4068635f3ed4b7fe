#pragma once
// Gamepad buttons as the desktop shell reports them to the engine. The device had no gamepad:
// the shell posts the two messages below, and the engine's pad map (engine/state/pad_map.h)
// turns a button into one of the device's keys or the pop-up menu. Buttons carry the game
// controller layer's names ("a", "dpup", "leftshoulder" …); the left stick and the two
// triggers count as buttons of their own once pushed far enough.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/messages.h"

namespace platform {

enum class PadButton : uint8_t {
  A,  ///< the bottom face button
  B,  ///< right
  X,  ///< left
  Y,  ///< top
  Back,
  Guide,
  Start,
  LeftStick,  ///< pressing the left stick in
  RightStick,
  LeftShoulder,
  RightShoulder,
  DpadUp,
  DpadDown,
  DpadLeft,
  DpadRight,
  Misc1,
  Paddle1,
  Paddle2,
  Paddle3,
  Paddle4,
  Touchpad,
  StickUp,  ///< the left stick pushed up
  StickDown,
  StickLeft,
  StickRight,
  LeftTrigger,  ///< pulled past half way
  RightTrigger,
};
constexpr int kPadButtonCount = static_cast<int>(PadButton::RightTrigger) + 1;

/// The shell's own messages (above the device's numbers): wParam is the PadButton.
constexpr uint32_t WM_PADBUTTONDOWN = 0x8001;
constexpr uint32_t WM_PADBUTTONUP = 0x8002;

/// The two buttons of one stick axis (negative: left or up) after it moved to value
/// (−32768..32767): a side is pressed past half way and let go only below a quarter, so a stick
/// resting near the threshold does not chatter. A trigger uses the positive side alone.
struct AxisButtons {
  bool negative = false, positive = false;
};
AxisButtons axisButtons(int value, bool negativeHeld, bool positiveHeld);

/// The button's name: "a", "b", "x", "y", "back", "guide", "start", "leftstick", "rightstick",
/// "leftshoulder", "rightshoulder", "dpup", "dpdown", "dpleft", "dpright", "misc1",
/// "paddle1".."paddle4", "touchpad", "stickup", "stickdown", "stickleft", "stickright",
/// "lefttrigger", "righttrigger".
const char* padButtonName(PadButton button);
/// The button of a name (ASCII letters in any case), or none.
std::optional<PadButton> padButtonFromName(std::string_view name);

}  // namespace platform
