// Drawing the display list into the dirty rectangles of the back buffer.
#include "engine/graphics/draw_item.h"

#include <algorithm>

namespace sorel {

ColourWord toneGrey(int tone) {
  const uint32_t g = static_cast<uint32_t>(std::clamp((tone * 255) >> 8, 0, 255));
  return g * 0x010101u;
}

namespace {

// Rejects a box lying beyond the clip (a box whose edge just touches it passes and draws
// nothing), then cuts it to the clip. src moves with the box's left and top edges and shrinks
// with its right and bottom edges.
bool clipBox(Rect& box, Rect& src, const Rect& clip) {
  if (box.right < clip.left || box.bottom < clip.top || box.left > clip.right || box.top > clip.bottom)
    return false;
  if (box.left < clip.left) src.left += clip.left - box.left, box.left = clip.left;
  if (box.top < clip.top) src.top += clip.top - box.top, box.top = clip.top;
  if (box.right > clip.right) src.right -= box.right - clip.right, box.right = clip.right;
  if (box.bottom > clip.bottom) src.bottom -= box.bottom - clip.bottom, box.bottom = clip.bottom;
  return true;
}

bool isStraight(const DrawItem& item) { return item.scaleX == 1000 && item.scaleY == 1000 && item.angle == 0; }

void drawPicture(FrameTarget& target, const DrawItem& item, const Rect& clip, int brightness) {
  const Picture* picture = target.pictures.get(item.slot);
  if (item.slot < 0 || !picture || picture->empty()) return;
  if (item.opacity <= 0 && item.hideWhenClear < 0) return;
  const Mix mode = static_cast<Mix>(item.mode);
  if (isStraight(item)) {
    // Only the part of the rectangle the picture holds is drawn, each pixel in its place.
    const Rect whole{0, 0, int32_t(picture->width), int32_t(picture->height)};
    Rect src = intersect(item.source(), whole);
    // In 64 bits: positions and sources from damaged data may lie anywhere in 32 bits. A box
    // that far out is off every surface.
    const int64_t x = int64_t(item.x) + (int64_t(src.left) - item.srcLeft);
    const int64_t y = int64_t(item.y) + (int64_t(src.top) - item.srcTop);
    constexpr int64_t kFar = int64_t(1) << 30;
    if (x < -kFar || x > kFar || y < -kFar || y > kFar) return;
    Rect box{int32_t(x), int32_t(y), int32_t(x + src.width()), int32_t(y + src.height())};
    if (!clipBox(box, src, clip)) return;
    pictureBlit(*picture, src, target.surface, box.left, box.top, item.opacity, brightness, mode);
    return;
  }
  if (item.scaleX < 1 || item.scaleY < 1) return;
  BlitTransform t;
  if (!setUpTransform(item, clip, t)) return;
  // The blit samples only inside the part of the rectangle the picture holds.
  pictureBlitTransformed(*picture, item.source(), target.surface, t, item.opacity, brightness, mode);
}

void drawColour(FrameTarget& target, const DrawItem& item, const Rect& clip, int brightness) {
  if (item.opacity < 1) return;
  if (isStraight(item)) {
    Rect src{0, 0, item.srcRight - item.srcLeft, item.srcBottom - item.srcTop};
    Rect box{item.x, item.y, item.x + src.right, item.y + src.bottom};
    if (!clipBox(box, src, clip)) return;
    colourRect(item.colour, src, target.surface, box.left, box.top, item.opacity, brightness,
               static_cast<Mix>(item.mode));
    return;
  }
  // There is no transformed additive rectangle.
  if (item.scaleX == 0 || item.scaleY == 0 || item.mode != 0) return;
  BlitTransform t;
  if (!setUpTransform(item, clip, t)) return;
  colourRectTransformed(item.colour, item.source(), target.surface, t, item.opacity, brightness);
}

}  // namespace

void drawItem(FrameTarget& target, const DrawItem& item, const Rect* clipIn) {
  const Rect whole{0, 0, target.surface.width, target.surface.height};
  const Rect clip = clipIn ? intersect(*clipIn, whole) : whole;
  if (item.kind == kItemScreenTone) {
    target.frame.screenTone = item.brightness;
    if (item.toneFill != 0) fillRect(target.surface, clip, toneGrey(item.brightness));
    return;
  }
  const int brightness = effectiveBrightness(item, target.frame.screenTone);
  if (item.isPicture())
    drawPicture(target, item, clip, brightness);
  else if (item.kind == kItemColour)
    drawColour(target, item, clip, brightness);
}

void drawFrame(FrameTarget& target, const DirtyRectList& dirty, const DrawItem* displayList,
               int gameBrightness) {
  for (const auto& node : dirty.nodes()) {
    const Rect& r = node.rect;
    // Each rectangle starts at the game's brightness, whatever tone an item set in the rectangle
    // before: a kind-10 item governs only the rest of its own rectangle.
    target.frame.screenTone = gameBrightness;
    if (target.frame.clearBeforeDraw)
      fillRect(target.surface, r, target.frame.clearToGrey ? toneGrey(target.frame.screenTone) : 0);
    for (const DrawItem* item = displayList; item; item = item->next) drawItem(target, *item, &r);
  }
}

}  // namespace sorel
