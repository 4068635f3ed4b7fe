#pragma once
// The fixed-interval frame pacer: says when the next frame is due and counts the frames of each
// second. A missed deadline is dropped rather than made up, so a slow machine runs the game more
// slowly instead of skipping frames.
#include <cstdint>

namespace sorel {

struct FramePacer {
  uint32_t now = 0;         ///< tick of the current idle pass
  uint32_t nextFrame = 0;   ///< deadline of the next frame
  uint32_t interval = 16;   ///< milliseconds between frames
  uint32_t nextSecond = 0;  ///< end of the current counting second
  uint32_t secondLength = 1000;
  uint32_t framesThisSecond = 0;
  uint32_t framesLastSecond = 0;  ///< frames counted in the previous whole second

  /// Starts pacing at tick `now` with the given interval (0 is taken as 1).
  void start(uint32_t now, uint32_t interval);
  /// True when a frame is due at tick `now`. Comparisons survive the 49-day wrap of the tick
  /// count.
  bool due(uint32_t now);
};

}  // namespace sorel
