#pragma once
// Checks that the logical-to-device mapping of a whole logical screen stays inside a frame
// buffer's memory, once when the display opens, so that no writer can run past it.
#include <cstdint>

#include "platform/display.h"

namespace sorel {

/// before: bytes available before the frame pointer; after: bytes from the frame pointer on.
/// True when every logical pixel (two bytes) of the width × height screen lies inside.
inline bool mappingFits(const platform::DisplayProperties& p, int width, int height, int64_t before,
                        int64_t after) {
  if (width < 1 || height < 1) return false;
  // The mapping is affine, so its extremes are at the corners.
  const int xs[2] = {0, width - 1}, ys[2] = {0, height - 1};
  for (int x : xs)
    for (int y : ys) {
      const int64_t o = platform::logicalOffset(p, width, x, y);
      if (o < -before || o + 2 > after) return false;
    }
  return true;
}

}  // namespace sorel
