#pragma once
// Scripted input for repeatable runs: key presses, releases, taps and drags at frame numbers.
//
// One event per line; '#' starts a comment; blank lines are ignored. Every line starts with the
// frame number (1 = the first frame) at whose start the input arrives:
//
//   FRAME down KEY            key pressed (held until an "up")
//   FRAME up KEY              key released
//   FRAME press KEY           pressed at FRAME, released at FRAME + 1
//   FRAME tap X Y             pen down at FRAME, up at FRAME + 1
//   FRAME pendown X Y         pen down (and held)
//   FRAME penmove X Y         pen moved while down
//   FRAME penup               pen lifted
//   FRAME drag X1 Y1 X2 Y2 N  pen down at (X1, Y1), N − 1 moves over the following frames,
//                             up at (X2, Y2) at FRAME + N (N ≥ 1)
//   FRAME pad BUTTON          gamepad button pressed at FRAME, released at FRAME + 1
//   FRAME pad BUTTON down     gamepad button pressed (held until "pad BUTTON up")
//   FRAME pad BUTTON up       gamepad button released
//   FRAME close               the window is closed
//
// KEY is one of up, down, left, right, z, x, c, enter, d, e (the desktop keys the shell maps to
// the device), or a virtual-key code as 0xNN. Pen positions are logical screen coordinates;
// the shell reports them to the engine the way the device does. BUTTON is a gamepad button name
// (platform/gamepad.h: a, b, x, y, start, dpup, leftshoulder, stickleft …).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gamepad.h"

namespace platform {

struct ScriptEvent {
  enum class Kind { KeyDown, KeyUp, PenDown, PenMove, PenUp, PadDown, PadUp, Close };
  uint32_t frame = 0;
  Kind kind = Kind::KeyDown;
  /// KeyDown/KeyUp: a desktop key name ("z", "enter" …) when nonzero `code` is absent.
  std::string keyName;
  uint16_t code = 0;  ///< a literal virtual-key code (0xNN form), else 0
  int x = 0, y = 0;   ///< logical screen coordinates of pen events
  PadButton pad = PadButton::A;  ///< PadDown/PadUp
};

/// Parses a script. Events come out sorted by frame, stable within a frame. False with
/// "line N: reason" in why on the first bad line.
bool parseInputScript(std::string_view text, std::vector<ScriptEvent>& out, std::string& why);

}  // namespace platform
