// The transform set-up of rotated and scaled items: the source box made square about its
// centre, its corners turned about the pivot, the bounding box scaled about the pivot, and the
// inverse steps the loops walk. Angles go through double-precision sine and cosine truncated to
// 1/1024, so whole-degree angles always give the same integers.
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/graphics/draw_item.h"

namespace sorel {

RotationTerms rotationTerms(int angleDegrees) {
  // π as the single-precision value the engine has always used, widened to double.
  constexpr double kPi = 3.1415927410125732;
  constexpr double kHalfPi = 1.5707963705062866;
  constexpr double kPerDegree = 0.005555555555555556;  // 1/180
  const double theta1 = (360.0 - angleDegrees) * kPerDegree * kPi;
  const double theta2 = angleDegrees * kPerDegree * kPi;
  auto t = [](double v) { return static_cast<int32_t>(v * 1024.0); };  // truncates toward zero
  RotationTerms r;
  r.s1 = t(std::sin(theta1));
  r.c1 = t(std::cos(theta1));
  r.s2 = t(std::sin(theta2));
  r.c2 = t(std::cos(theta2));
  r.sq = t(std::sin(theta1 + kHalfPi));
  r.cq = t(std::cos(theta1 + kHalfPi));
  return r;
}

bool setUpTransform(const DrawItem& item, const Rect& clip, BlitTransform& out, int offsetX, int offsetY) {
  // 64-bit throughout: the items' fields are 32-bit, and no field value may overflow here.
  using I = int64_t;
  const I w = I(item.srcRight) - item.srcLeft, h = I(item.srcBottom) - item.srcTop;
  const I px = I(item.x) + item.pivotX, py = I(item.y) + item.pivotY;
  I dudx = 0, dvdx = 0, dudy = 0, dvdy = 0, x0 = 0, y0 = 0, width = 0, height = 0, startU = 0, startV = 0;
  if (item.angle == 0) {
    if (item.scaleX == 0 || item.scaleY == 0) return false;
    dudx = I(1024000) / item.scaleX;
    dvdy = I(1024000) / item.scaleY;
    x0 = px - (I(item.scaleX) * item.pivotX) / 1000;
    y0 = py - (I(item.scaleY) * item.pivotY) / 1000;
    width = (I(item.scaleX) * w) / 1000;
    height = (I(item.scaleY) * h) / 1000;
  } else {
    const RotationTerms r = rotationTerms(item.angle);
    // Rotation never scales the two axes differently: the mean scale applies to both.
    const I m = (I(item.scaleX) + item.scaleY) / 2;
    if (m == 0) return false;
    dudx = (I(r.c1) * 1000) / m;
    dvdx = (I(r.s1) * 1000) / m;
    dudy = (I(r.cq) * 1000) / m;
    dvdy = (I(r.sq) * 1000) / m;
    // The source box made square about its centre, so that any turn fits the bounding box.
    const I side = std::max(w, h);
    const I bx = w <= h ? item.x - (h - w) / 2 : I(item.x);
    const I by = w <= h ? I(item.y) : item.y - (w - h) / 2;
    const I cornersX[4] = {bx, bx + side, bx, bx + side};
    const I cornersY[4] = {by, by, by + side, by + side};
    I minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
      const I dx = cornersX[i] - px, dy = cornersY[i] - py;
      const I rx = px + ((dx * r.c2 - dy * r.s2 + 512) >> 10);
      const I ry = py + ((dx * r.s2 + dy * r.c2 + 512) >> 10);
      // The box is that of the four corners alone; it does not reach out to the screen's
      // origin, which would shift an item lying left of or above it.
      if (i == 0 || rx < minX) minX = rx;
      if (i == 0 || ry < minY) minY = ry;
      if (i == 0 || rx > maxX) maxX = rx;
      if (i == 0 || ry > maxY) maxY = ry;
    }
    const I boxW = maxX - minX, boxH = maxY - minY;
    startU = (w / 2) * 1024 - (boxW / 2) * r.c1 + (boxH / 2) * r.s1;
    startV = (h / 2) * 1024 - (boxH / 2) * r.c1 - (boxW / 2) * r.s1;
    x0 = px - ((px - minX) * m) / 1000;
    y0 = py - ((py - minY) * m) / 1000;
    width = (boxW * m) / 1000 + 1;
    height = (boxH * m) / 1000 + 1;
  }
  I x1 = x0 + width + offsetX, y1 = y0 + height + offsetY;
  x0 += offsetX;
  y0 += offsetY;
  I skipX = 0, skipY = 0;
  if (x0 < clip.left) {
    skipX = clip.left - x0;
    width -= skipX;
    x0 = clip.left;
  }
  if (y0 < clip.top) {
    skipY = clip.top - y0;
    height -= skipY;
    y0 = clip.top;
  }
  if (x1 > clip.right) {
    width -= x1 - clip.right;
    x1 = clip.right;
  }
  if (y1 > clip.bottom) {
    height -= y1 - clip.bottom;
    y1 = clip.bottom;
  }
  if (width <= 0 || height <= 0) return false;
  const I values[] = {width, height, skipX, skipY, x0, y0, x1, y1, dudx, dvdx, dudy, dvdy, startU, startV};
  for (I v : values)
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
  out.width = int32_t(width), out.height = int32_t(height);
  out.skipX = int32_t(skipX), out.skipY = int32_t(skipY);
  out.x0 = int32_t(x0), out.y0 = int32_t(y0), out.x1 = int32_t(x1), out.y1 = int32_t(y1);
  out.dudx = int32_t(dudx), out.dvdx = int32_t(dvdx), out.dudy = int32_t(dudy), out.dvdy = int32_t(dvdy);
  out.startU = int32_t(startU), out.startV = int32_t(startV);
  return true;
}

Rect itemBounds(const DrawItem& item) {
  if (item.angle == 0 && item.scaleX == 1000 && item.scaleY == 1000)
    return {item.x, item.y, item.x + (item.srcRight - item.srcLeft), item.y + (item.srcBottom - item.srcTop)};
  constexpr int32_t kFar = 1 << 29;
  BlitTransform t;
  if (!setUpTransform(item, Rect{-kFar, -kFar, kFar, kFar}, t)) return {};
  return {t.x0, t.y0, t.x1, t.y1};
}

}  // namespace sorel
