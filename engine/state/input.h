#pragma once
// The input state the game reads once per frame: a press counter per logical key, the stylus
// position with tap and release flags, and the rules that turn key and pen messages into it
// (cursor modes, the centre key's double press, the frame latch with its skip lock).
#include <array>
#include <cstdint>
#include <functional>

#include "engine/state/key_map.h"

namespace sorel {

/// The settings the input rules read (mirrors of KET_CUR_MODE, KET_DOUBLE_CLICK, KEY_CEN_CTRL,
/// LOCK_SKIP) and the build's pen geometry.
struct InputSettings {
  int cursorMode = 0;     ///< 0 normal, 1 basic suppression, 2 horizontal priority,
                          ///< 3 vertical priority, 4 full suppression
  int doubleClick = 0;    ///< 1: the centre key counts on the second of two presses
  int centreAction = 1;   ///< 1: the centre key opens the pop-up menu (B always does)
  int lockSkip = 0;       ///< 1: the left key locks skipping
  /// Pen messages at half resolution on a portrait panel (pocketplayer); else used as they are.
  bool penHalfRotated = false;
  int screenWidth = 320;  ///< logical width, for the pen rotation
};

struct InputState {
  /// Counts in their own order: up, down, left, right, start, C, A, B, D, E. Reach them through
  /// count(Key).
  std::array<int32_t, kKeyCount> counts{};
  /// armed flags of the cursor modes: up, down, left, right.
  std::array<int32_t, 4> armed{};
  int32_t startArmed = 0;
  int32_t penX = 0, penY = 0;
  int32_t tapNow = 0;
  int32_t tapPending = 0;
  int32_t penDown = 0;
  int32_t releaseNow = 0;
  int32_t releasePending = 0;
  int32_t skipLockLatched = 0;
  /// Per count index: pressed since the last latch; released before a latch saw the press (it
  /// counts once at that latch); counted only for the frame just latched (cleared at the next).
  std::array<uint8_t, kKeyCount> unlatched{};
  std::array<uint8_t, kKeyCount> missed{};
  std::array<uint8_t, kKeyCount> latchOnly{};

  /// Key-down messages since the key was last released or cleared: 1 is a fresh press, more is
  /// the key held with auto-repeat.
  int32_t& count(Key key) { return counts[countIndex(key)]; }
  int32_t count(Key key) const { return counts[countIndex(key)]; }
  /// Marks a pressed key as used: a count of 1 or more becomes 2 (held, no longer fresh), so
  /// the same press is never seen twice and auto-repeat cannot make it fresh again; a key that
  /// is not pressed stays 0.
  void consume(Key key) {
    if (count(key) >= 1) count(key) = 2;
  }
  /// True for a fresh press (count exactly 1).
  bool fresh(Key key) const { return count(key) == 1; }

  static size_t countIndex(Key key);
};

/// Opens the pop-up menu; true when it opened (false while it is already open).
using MenuOpener = std::function<bool()>;

/// WM_KEYDOWN (down) and WM_KEYUP with the virtual-key code; then the menu-opening rule.
void onKey(InputState& in, KeyMap& map, const InputSettings& settings, int virtualKey, bool down,
           const MenuOpener& openMenu);
/// WM_LBUTTONDOWN / WM_MOUSEMOVE / WM_LBUTTONUP with the message's signed coordinates.
void onPenDown(InputState& in, const InputSettings& settings, int x, int y);
void onPenMove(InputState& in, const InputSettings& settings, int x, int y);
void onPenUp(InputState& in);
/// Logical coordinates of a pen message position.
void penToLogical(const InputSettings& settings, int x, int y, int32_t& outX, int32_t& outY);

/// Once at the start of every frame step, menu pass and movie pass: moves the pen flags of the
/// messages into this frame and applies the tap, button and skip-lock rules. A key pressed and
/// released, or a tap put down and lifted, since the last latch still counts as one fresh press
/// or one tap in this frame: messages arrive between frames, and a quick click or key stroke
/// must not fall between two latches.
void latchFrame(InputState& in, const InputSettings& settings, bool menuOpen);

}  // namespace sorel
