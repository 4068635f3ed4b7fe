#include "engine/state/input.h"

namespace sorel {
namespace {

constexpr Key kDirections[4] = {Key::Up, Key::Down, Key::Left, Key::Right};

void clearDirectionsAndStart(InputState& in) {
  for (Key k : kDirections) in.count(k) = 0;
  in.count(Key::Start) = 0;
  in.armed = {};
  in.startArmed = 0;
}

void countDirections(InputState& in, const KeyMap& map, const InputSettings& s, int vk) {
  for (int d = 0; d < 4; ++d) {
    Key key = kDirections[d];
    if (!map.maps(vk, key)) continue;
    bool vertical = d < 2;
    switch (s.cursorMode) {
      case 0: ++in.count(key); break;
      case 1: {
        bool othersIdle = true;
        for (int o = 0; o < 4; ++o)
          if (o != d && in.count(kDirections[o]) != 0) othersIdle = false;
        if (othersIdle) ++in.count(key);
        break;
      }
      case 2:
      case 3: {
        // Mode 2 favours the horizontal keys, mode 3 the vertical ones: a favoured key always
        // counts and disarms the other axis; the other axis counts only once re-armed.
        bool favoured = (s.cursorMode == 2) != vertical;
        if (favoured) {
          int other = vertical ? 2 : 0;
          in.armed[size_t(other)] = 0;
          in.armed[size_t(other + 1)] = 0;
          ++in.count(key);
        } else {
          if (in.armed[size_t(d)]) ++in.count(key);
          in.armed[size_t(d)] = 1;
        }
        break;
      }
      case 4:
        if (in.armed[size_t(d)]) ++in.count(key);
        in.armed = {};
        in.armed[size_t(d)] = 1;
        break;
      default: break;  // no direction counts in an unknown mode
    }
  }
}

}  // namespace

size_t InputState::countIndex(Key key) {
  switch (key) {
    case Key::Up: return 0;
    case Key::Down: return 1;
    case Key::Left: return 2;
    case Key::Right: return 3;
    case Key::Start: return 4;
    case Key::C: return 5;
    case Key::A: return 6;
    case Key::B: return 7;
    case Key::D: return 8;
    case Key::E: return 9;
  }
  return 0;
}

void onKey(InputState& in, KeyMap& map, const InputSettings& s, int vk, bool down,
           const MenuOpener& openMenu) {
  if (down) {
    // The count of a stroke already released (held only for the frame that saw it) ends here:
    // this is a new press.
    for (Key k : kAllKeys)
      if (map.maps(vk, k) && in.latchOnly[InputState::countIndex(k)]) in.count(k) = 0;
    ++map.pressCount;
    countDirections(in, map, s, vk);
    if (s.doubleClick == 1) {
      if (map.maps(vk, Key::Start) && in.startArmed) ++in.count(Key::Start);
      for (Key k : kDirections)
        if (map.maps(vk, k)) in.startArmed = 0;
      if (map.maps(vk, Key::Start)) in.startArmed = 1;
    } else {
      in.startArmed = 0;
      if (map.maps(vk, Key::Start)) ++in.count(Key::Start);
    }
    for (Key k : {Key::A, Key::B, Key::C, Key::D, Key::E})
      if (map.maps(vk, k)) ++in.count(k);
    for (Key k : kAllKeys)
      if (map.maps(vk, k)) {
        const size_t i = InputState::countIndex(k);
        in.unlatched[i] = 1;
        in.missed[i] = 0;
        in.latchOnly[i] = 0;
      }
  } else {
    for (Key k : kAllKeys)
      if (map.maps(vk, k)) {
        const size_t i = InputState::countIndex(k);
        // A press no latch has seen yet is kept for the next one.
        if (in.unlatched[i] && in.count(k) > 0) in.missed[i] = 1;
        in.unlatched[i] = 0;
        in.count(k) = 0;
      }
  }

  // The menu keys, after every key message (a key-up included). The press that opened the menu
  // is used up but stays held: its auto-repeat must neither close the menu again nor reopen it.
  if (!openMenu) return;
  if (s.centreAction == 1) {
    if ((in.count(Key::Start) == 1 || in.count(Key::B) == 1) && openMenu()) {
      in.consume(Key::Start);
      in.consume(Key::B);
    }
  } else if (in.count(Key::B) == 1 && openMenu()) {
    in.consume(Key::B);
  }
}

void penToLogical(const InputSettings& s, int x, int y, int32_t& outX, int32_t& outY) {
  if (s.penHalfRotated) {
    outX = s.screenWidth - 1 - 2 * y;
    outY = 2 * x;
  } else {
    outX = x;
    outY = y;
  }
}

void onPenDown(InputState& in, const InputSettings& s, int x, int y) {
  in.tapPending = 1;
  in.penDown = 1;
  penToLogical(s, x, y, in.penX, in.penY);
}

void onPenMove(InputState& in, const InputSettings& s, int x, int y) {
  penToLogical(s, x, y, in.penX, in.penY);
}

void onPenUp(InputState& in) {
  // A tap that no latch has seen yet (tapPending still set) stays pending: the next frame sees
  // the tap and the release together.
  in.penDown = 0;
  in.releasePending = 1;
}

void latchFrame(InputState& in, const InputSettings& s, bool menuOpen) {
  in.tapNow = in.tapPending;
  in.tapPending = 0;
  in.releaseNow = in.releasePending;
  in.releasePending = 0;
  for (size_t i = 0; i < size_t(kKeyCount); ++i) {
    if (in.latchOnly[i]) in.counts[i] = 0;
    in.latchOnly[i] = 0;
    if (in.missed[i] && in.counts[i] == 0) {
      in.counts[i] = 1;
      in.latchOnly[i] = 1;
    }
    in.missed[i] = 0;
    in.unlatched[i] = 0;
  }

  if (in.tapNow) {
    // A tap cancels the keys of its frame; D and E are not cancelled.
    clearDirectionsAndStart(in);
    in.count(Key::A) = in.count(Key::B) = in.count(Key::C) = 0;
  }
  if (in.fresh(Key::C) || in.fresh(Key::A) || in.fresh(Key::B)) clearDirectionsAndStart(in);

  if (menuOpen) return;
  if (s.lockSkip && in.fresh(Key::Left)) {
    in.count(Key::Left) = 0;
    in.skipLockLatched = 1;
    return;
  }
  if (in.skipLockLatched) {
    if (!in.fresh(Key::C) && !in.tapNow && !in.fresh(Key::Right)) return;
    // The input that releases the lock is used up by it.
    in.skipLockLatched = 0;
    in.consume(Key::C);
    in.consume(Key::Right);
    in.tapNow = 0;
  }
}

}  // namespace sorel
