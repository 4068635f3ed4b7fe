#pragma once
// Sprite effects: fades, wipes, slides and dissolves that show or hide one sprite over a
// duration. Starting an effect replaces the sprite's one DrawItem in the display list by a chain
// of tile items, each a copy of the sprite's item showing part of its source rectangle; each
// frame the step moves the tiles on from the elapsed time; when the time is up the step says so
// and the caller finishes the effect, putting the sprite's own item back (or removing the
// sprite after an out effect). Tiles change only source rectangle, position, opacity and
// brightness, so the blitters need nothing special.
//
// The sprite record lives with the scene layers; it embeds an EffectState and hands the effect
// an EffectSprite view of itself on every call.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/graphics/dirty_rects.h"
#include "engine/graphics/draw_item.h"

namespace sorel {

/// Effect types run from 1 to 191; bit 7 (128) selects the out variant (the sprite disappears).
constexpr int kFirstEffectType = 1;
constexpr int kLastEffectType = 191;
constexpr int kEffectOut = 128;

/// The tile mode of the hiding effect (types 51 and 179): the compositor draws no such item.
constexpr int32_t kHiddenTileMode = 99;

/// What an effect needs of its sprite, built by the sprite for each call.
struct EffectSprite {
  const DrawItem& item;      ///< the sprite's own item: kind, flags, colour, mode, slot, tone,
                             ///< opacity, source rectangle, scale, angle and pivot
  int64_t positionX = 0;     ///< in 1/1000 screen pixel
  int64_t positionY = 0;
  int32_t anchorX = 0;       ///< subtracted from the position: the item's top-left lies at
  int32_t anchorY = 0;       ///< (position / 1000) − anchor
};

/// The world around the effect: the frame's frozen clock, the dirty list the tiles' changes
/// are marked in (may be null), the logical screen, and the random source (the runtime's rand;
/// std::rand when empty).
struct EffectContext {
  uint32_t now = 0;
  DirtyRectList* dirty = nullptr;
  int screenWidth = 320;
  int screenHeight = 240;
  std::function<int()> random;
};

/// The effect state a sprite embeds.
struct EffectState {
  bool active = false;
  int type = 0;
  uint16_t durationMs = 0;   ///< D (16 bits)
  uint32_t start = 0;        ///< clock at the start
  int p3 = 0, p4 = 0, p5 = 0;
  int stripSize = 0;         ///< S: pixels of a strip, band or cell
  int stagger = 1;           ///< G: strips that start per phase
  int step = 1;              ///< R: pixels revealed per phase
  int phases = 0;            ///< N: phases of the whole effect
  int columns = 1, rows = 1; ///< the tile grid
  bool reverse = false;      ///< out variant
  std::vector<DrawItem> tiles;  ///< chained in grid order, row by row
  int64_t startX = 0, startY = 0;  ///< the sprite's position when the effect started
  uint64_t cells = 0;        ///< random dissolve: the cells chosen so far (bit k = cell k)
  int cellCount = 0;
  Rect area;                 ///< the screen area the tiles covered at the last step

  /// The tile chain to link into the display list in place of the sprite's item (null when
  /// inactive); the caller sets the last tile's next.
  DrawItem* firstTile() { return tiles.empty() ? nullptr : &tiles.front(); }
  DrawItem* lastTile() { return tiles.empty() ? nullptr : &tiles.back(); }
};

/// Starts an effect: records type, duration and parameters, builds the tiles as copies of the
/// sprite's item, lays them out for time 0 and marks their area dirty. Returns 1, or 0 (and
/// leaves the state alone) for a type outside 1..191.
int startEffect(EffectState& effect, const EffectSprite& sprite, EffectContext& context, int type,
                uint32_t durationMs, int p3, int p4, int p5);

/// One frame: lays the tiles out for the elapsed time and marks what changed. Returns 1 when
/// the time is up (the tiles are not moved further; a fade first takes its final value), 0
/// while the effect runs or when none is active.
int stepEffect(EffectState& effect, const EffectSprite& sprite, EffectContext& context);

/// What finishing asks of the sprite.
struct EffectFinish {
  int result = 0;              ///< 0 no effect was active; 2 for types 64..127; else 1
  bool removeSprite = false;   ///< after an out effect
  bool opacityTo256 = false;   ///< after type 1
  int64_t positionX = 0;       ///< the position the sprite had when the effect started
  int64_t positionY = 0;
};

/// Ends the effect at once: frees the tiles, marks the tiles' area and the sprite's own
/// rectangle dirty, and says how the sprite has to be restored.
EffectFinish finishEffect(EffectState& effect, const EffectSprite& sprite, EffectContext& context);

}  // namespace sorel
