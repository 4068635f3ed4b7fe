#pragma once
// Screen and picture rectangles: left and top inclusive, right and bottom exclusive.
#include <algorithm>
#include <cstdint>

namespace sorel {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  /// True when the rectangle holds no pixel (also for inverted rectangles).
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

/// The common part of two rectangles (possibly empty).
inline Rect intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

/// The smallest rectangle holding both.
inline Rect unite(const Rect& a, const Rect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

}  // namespace sorel
