#pragma once
// Frame composition: the DrawItem records of the frame's display list, and the routines that
// redraw the dirty rectangles of the back buffer from that list (placement, clipping, rotation
// and scaling of each item, the screen tone).
#include <cstdint>

#include "engine/graphics/blit.h"
#include "engine/graphics/dirty_rects.h"
#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"

namespace sorel {

/// Item kinds.
constexpr uint32_t kItemPicture = 1;     ///< picture (also kinds 7 and 30)
constexpr uint32_t kItemPicture7 = 7;
constexpr uint32_t kItemPicture30 = 30;
constexpr uint32_t kItemColour = 6;      ///< coloured rectangle
constexpr uint32_t kItemScreenTone = 10; ///< sets the frame's screen tone

/// flags bit 1: the item ignores the frame's screen tone.
constexpr uint32_t kItemIgnoresTone = 2;

/// One element of the frame's display list. Sprites embed one, effects animate copies of it.
/// Any other kind draws nothing; so does any mode other than 0 and 1.
struct DrawItem {
  DrawItem* next = nullptr;  ///< following item of the display list (null ends it)
  uint32_t kind = 0;
  uint32_t flags = 0;
  ColourWord colour = 0;    ///< kind 6
  int32_t mode = 0;         ///< 0 alpha blend / fill, 1 additive / add
  int32_t brightness = 256; ///< 0..512, 256 unchanged
  int32_t opacity = 256;    ///< 0..256, 256 opaque
  int32_t angle = 0;        ///< degrees, 0 = no rotation
  int32_t pivotX = 0;       ///< fixed point of rotation and scaling, relative to (x, y)
  int32_t pivotY = 0;
  int32_t slot = -1;        ///< picture slot (pictures); negative draws nothing
  int32_t srcLeft = 0, srcTop = 0, srcRight = 0, srcBottom = 0;  ///< picture pixels; kind 6: size only
  int32_t x = 0, y = 0;     ///< surface position of the source rectangle's top-left corner
  int32_t scaleX = 1000;    ///< 1000 = natural size
  int32_t scaleY = 1000;
  int32_t hideWhenClear = 0;  ///< a picture with opacity ≤ 0 and this negative is not drawn
  int32_t toneFill = 0;       ///< kind 10: non-zero also fills the clip with the tone's grey

  Rect source() const { return {srcLeft, srcTop, srcRight, srcBottom}; }
  void setSource(const Rect& r) { srcLeft = r.left, srcTop = r.top, srcRight = r.right, srcBottom = r.bottom; }
  bool isPicture() const { return kind == kItemPicture || kind == kItemPicture7 || kind == kItemPicture30; }
};

/// Composition state the application object keeps between frames.
struct FrameState {
  int32_t screenTone = 256;     ///< the frame's brightness while drawing (kind-10 items set it)
  bool clearBeforeDraw = false; ///< clear each dirty rectangle before drawing it
  bool clearToGrey = false;     ///< clear to the tone's grey instead of black
};

/// What composition draws into and from. All three belong to the application object.
struct FrameTarget {
  Surface& surface;
  const PictureTable& pictures;
  FrameState& frame;
};

/// Draws one item clipped to clip (the whole surface when null): a picture, a coloured
/// rectangle, or a screen-tone change. The source rectangle of a picture is first trimmed to
/// the picture, so a rectangle reaching past it draws only the pixels that exist, in their
/// place.
void drawItem(FrameTarget& target, const DrawItem& item, const Rect* clip = nullptr);

/// Redraws every dirty rectangle in list order: the screen tone starts each rectangle at the
/// game's brightness (a kind-10 item changes it for the rest of that rectangle only); the
/// rectangle is cleared when the frame asks for it (black, or the tone's grey); then every item
/// of the chain starting at displayList is drawn clipped to it.
void drawFrame(FrameTarget& target, const DirtyRectList& dirty, const DrawItem* displayList,
               int gameBrightness);

/// The grey of a tone: g × 0x010101 with g = (tone × 255) >> 8, held to 0..255 so that a
/// white tone (above 256) gives white rather than a wrapped colour.
ColourWord toneGrey(int tone);

/// Brightness an item is drawn with under the screen tone.
inline int effectiveBrightness(const DrawItem& item, int screenTone) {
  if ((item.flags & kItemIgnoresTone) || screenTone == 256) return item.brightness;
  return (item.brightness * screenTone) >> 8;
}

/// Truncated sine and cosine × 1024 of the transform, from double-precision angles built with
/// the single-precision value of π: θ1 = (360 − a) / 180 · π, θ2 = a / 180 · π.
struct RotationTerms {
  int32_t s1 = 0, c1 = 1024;   ///< of θ1
  int32_t s2 = 0, c2 = 1024;   ///< of θ2
  int32_t sq = 1024, cq = 0;   ///< sin and cos of θ1 + π/2
};
RotationTerms rotationTerms(int angleDegrees);

/// Fills the transform of a rotated or scaled item: steps, start position, the destination box
/// (the rotated square source box scaled about the pivot), moved by (offsetX, offsetY) and
/// clipped to clip. False when nothing is left to draw (zero mean scale, box outside the clip,
/// or values beyond 32 bits).
bool setUpTransform(const DrawItem& item, const Rect& clip, BlitTransform& out, int offsetX = 0,
                    int offsetY = 0);

/// The screen rectangle the item can touch (its box, or its transformed box), unclipped: what a
/// change of the item has to mark dirty.
Rect itemBounds(const DrawItem& item);

}  // namespace sorel
