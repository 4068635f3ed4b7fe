#include "platform/letterbox.h"

#include <algorithm>
#include <cstdint>

namespace platform {

ViewRect letterbox(int ww, int wh, int lw, int lh, ScaleSteps steps) {
  if (ww < 1 || wh < 1 || lw < 1 || lh < 1) return {};
  int w, h;
  int whole = std::min(ww / lw, wh / lh);
  if (steps == ScaleSteps::Whole && whole >= 1) {
    w = lw * whole;
    h = lh * whole;
  } else if (int64_t(ww) * lh <= int64_t(wh) * lw) {
    // The width limits: full width, the height follows (rounded to the nearest pixel).
    w = ww;
    h = static_cast<int>(std::clamp<int64_t>((int64_t(ww) * lh * 2 + lw) / (2 * lw), 1, wh));
  } else {
    h = wh;
    w = static_cast<int>(std::clamp<int64_t>((int64_t(wh) * lw * 2 + lh) / (2 * lh), 1, ww));
  }
  return {(ww - w) / 2, (wh - h) / 2, w, h};
}

namespace {
// Floor division for positions left of or above the picture.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

bool windowToLogical(const ViewRect& view, int lw, int lh, int px, int py, int& lx, int& ly) {
  if (view.w < 1 || view.h < 1 || lw < 1 || lh < 1) {
    lx = ly = 0;
    return false;
  }
  int64_t x = floorDiv(int64_t(px - view.x) * lw, view.w);
  int64_t y = floorDiv(int64_t(py - view.y) * lh, view.h);
  bool inside = x >= 0 && x < lw && y >= 0 && y < lh;
  lx = static_cast<int>(std::clamp<int64_t>(x, 0, lw - 1));
  ly = static_cast<int>(std::clamp<int64_t>(y, 0, lh - 1));
  return inside;
}

void logicalToWindow(const ViewRect& view, int lw, int lh, int lx, int ly, int& px, int& py) {
  // The middle one of the window pixels that show the logical pixel: [ceil(l·w/lw),
  // ceil((l+1)·w/lw) − 1].
  auto centre = [](int l, int logical, int size) {
    if (logical < 1) return 0;
    int64_t first = (int64_t(l) * size + logical - 1) / logical;
    int64_t last = (int64_t(l + 1) * size + logical - 1) / logical - 1;
    return static_cast<int>((first + std::max(first, last)) / 2);
  };
  px = view.x + centre(lx, lw, view.w);
  py = view.y + centre(ly, lh, view.h);
}

}  // namespace platform
