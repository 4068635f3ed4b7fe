#include "engine/runtime/frame_pacer.h"

namespace sorel {
namespace {
// a − b as a signed distance: ticks wrap, deadlines are never more than 2^31 ms away.
int32_t distance(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }
}  // namespace

void FramePacer::start(uint32_t t, uint32_t frameInterval) {
  now = t;
  interval = frameInterval ? frameInterval : 1;
  secondLength = 1000;
  nextFrame = t + interval;
  nextSecond = t + secondLength;
  framesThisSecond = 0;
  framesLastSecond = 0;
}

bool FramePacer::due(uint32_t t) {
  now = t;
  while (distance(now, nextSecond) >= 0) {
    framesLastSecond = framesThisSecond;
    framesThisSecond = 0;
    nextSecond += secondLength;
  }
  if (distance(now, nextFrame) < 0) return false;
  bool isDue = false;
  do {
    nextFrame += interval;
    if (distance(now, nextFrame) <= 0) {
      ++framesThisSecond;
      isDue = true;
    }
  } while (distance(now, nextFrame) >= 0);
  return isDue;
}

}  // namespace sorel
