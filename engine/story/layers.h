#pragma once
// The numbered layers the game's screen is built from: 517 slots, each empty or holding one
// Sprite that shows a piece of a picture slot (or a coloured rectangle) at a position, with a
// drawing order, opacity, brightness, an optional frame animation and an optional sprite
// effect. Every operation takes design units (the 640 × 480 space of scripts and tables) and
// keeps screen pixels; every change marks the old and the new screen rectangle for redrawing.
//
// Numbers outside the table are the program's own mistakes: a layer number of 517 or more
// raises the element bit of the error word (the frame loop then closes the program), while an
// operation on an empty layer does nothing.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/graphics/draw_item.h"
#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"
#include "engine/graphics/sprite_effect.h"

namespace sorel {

/// Error word bits the game raises (kept by the application object).
constexpr uint32_t kErrorPictureSlot = 0x00800000;
constexpr uint32_t kErrorElementSlot = 0x08000000;

/// Bit 1 of a sprite's flags: drawn at its own brightness whatever the screen brightness.
constexpr uint32_t kSpriteIgnoreTone = 2;

/// A source rectangle in design units: left, top, width, height; a negative width or height
/// means the picture's own.
struct DesignRect {
  int32_t x = 0, y = 0, w = -1, h = -1;
};

/// The whole picture.
constexpr DesignRect kWholePicture{0, 0, -1, -1};

/// One frame of a layer's animation (screen and picture pixels).
struct SpriteFrame {
  int slot = -1;
  Rect src;
  int32_t anchorX = 0, anchorY = 0;
  uint32_t durationMs = 0;
  int32_t next = -1;  ///< the frame that follows, -1 for none
  bool defined = false;
};

struct Sprite {
  enum class Kind { Picture, Colour };
  Kind kind = Kind::Picture;
  int slot = -1;           ///< picture slot
  Rect src;                ///< picture pixels (for colours only the size counts)
  ColourWord colour = 0;
  int32_t x = 0, y = 0;    ///< screen pixels: where the anchor point lies
  int32_t anchorX = 0, anchorY = 0;
  int order = 0;           ///< 0..127, lower drawn over higher
  int opacity = 256;       ///< 0..256
  int brightness = 256;    ///< 0..512
  int scaleX = 1000, scaleY = 1000;
  int mode = 0;            ///< 0 blend, 1 additive
  bool visible = true;
  uint32_t flags = 0;
  std::vector<SpriteFrame> frames;
  int frame = -1;          ///< the frame shown, -1 without animation
  uint32_t frameStart = 0;
  /// The sprite effect in progress: while it is active its tiles take the place of the
  /// sprite's own item in the display list.
  EffectState effect;

  /// The screen rectangle the sprite covers (empty while hidden or without size).
  Rect screenRect() const;
  /// The sprite as one item of the frame's display list.
  DrawItem drawItem() const;
};

class LayerTable {
 public:
  static constexpr int kSlots = 517;
  /// Layers deleteAll removes: 0 to 511 (the message window's 512 to 516 stay).
  static constexpr int kSceneLayers = 512;

  using DirtyMarker = std::function<void(const Rect&)>;

  LayerTable(PictureTable& pictures, uint32_t& errorWord) : m_pictures(pictures), m_errorWord(errorWord) {}
  void setDirtyMarker(DirtyMarker marker) { m_mark = std::move(marker); }

  /// Deletes the layer if it exists and creates it afresh showing src of the picture slot (the
  /// whole picture for negative sizes) with its anchor point at (x, y), at the drawing order.
  /// False when the layer number is outside the table.
  bool place(int layer, int slot, DesignRect src, int x, int y, int anchorX, int anchorY, int order);
  /// A rectangle of one colour (design units), drawn at order 0 until set otherwise.
  bool colour(int layer, int x, int y, int width, int height, ColourWord colour, int order);
  /// Deletes the layer; with redraw, first finishes its effect and marks its rectangle.
  void remove(int layer, bool redraw = true);
  /// Layers 0 to 511, with redraw.
  void removeAllScene();
  /// Every layer (shutdown, tests).
  void clear();

  void setVisible(int layer, bool visible);
  void setOpacity(int layer, int opacity);
  /// value 0..512; with white, 256 is added first.
  void setBrightness(int layer, int value, bool white = false);
  void setOrder(int layer, int order);
  void setPosition(int layer, int x, int y);
  void setAnchor(int layer, int x, int y);
  void setFlags(int layer, uint32_t flags);
  void setScale(int layer, int scaleX, int scaleY);
  void setMode(int layer, int mode);

  /// Defines frame `frame` of the layer's animation (design units; the source scales with the
  /// picture in the slot). Frame numbers 0..63.
  void defineFrame(int layer, int frame, int next, uint32_t durationMs, int slot, DesignRect src,
                   int anchorX, int anchorY);
  /// Starts the animation at the frame, now.
  void startFrames(int layer, int frame, uint32_t now);

  /// Starts a sprite effect (types 1..191) on the layer as it is now, replacing any effect in
  /// progress; false for other types or an empty layer.
  bool startEffect(int layer, int type, uint32_t durationMs, int p3, int p4, int p5, uint32_t now);
  /// True while the layer has an effect whose time has not run out.
  bool effectRunning(int layer, uint32_t now) const;
  /// Ends the effect at once: the sprite's own item comes back at the place it had when the
  /// effect started (at full opacity after a fade in); an out effect removes the layer.
  void finishEffect(int layer);

  /// Steps animations and effects to `now` (the frame's frozen clock): frames whose time is up
  /// move on; every effect lays its tiles out for the time, and one whose time is up finishes.
  void update(uint32_t now);

  /// The sprite in a layer, null when empty or outside the table.
  Sprite* get(int layer);
  const Sprite* get(int layer) const;
  bool exists(int layer) const { return get(layer) != nullptr; }

  /// Layers in drawing sequence (the highest order first, so lower orders end up on top; equal
  /// orders in layer order), visible ones only.
  std::vector<const Sprite*> drawSequence() const;
  /// The frame's display list: every visible layer's item (or, while it runs an effect, the
  /// effect's tiles in their order), chained in drawing sequence. The items live until the next
  /// call.
  const DrawItem* displayList();

  /// Marks a screen rectangle for redrawing.
  void mark(const Rect& r) const {
    if (m_mark && !r.empty()) m_mark(r);
  }
  PictureTable& pictures() { return m_pictures; }

  /// A source rectangle in design units turned into the pixels of the picture in slot (a
  /// half-size picture scales by its width ÷ design width: left and top rounded down, right and
  /// bottom to nearest); negative sizes take the picture's own.
  Rect pictureRect(int slot, DesignRect src) const;

 private:
  bool checkSlot(int layer);
  void changed(Sprite& s, const Rect& before);
  /// The world an effect call runs in; what it marks dirty is passed on by flushEffectMarks.
  EffectContext effectContext(uint32_t now);
  void flushEffectMarks();
  /// Ends the sprite's effect and restores the sprite; says whether it asks to be removed.
  bool endEffect(Sprite& s);

  PictureTable& m_pictures;
  uint32_t& m_errorWord;
  DirtyMarker m_mark;
  std::array<std::unique_ptr<Sprite>, kSlots> m_sprites;
  std::vector<DrawItem> m_items;
  DirtyRectList m_effectDirty;  // what the last effect call marked, in screen pixels
  uint32_t m_now = 0;           // the clock of the last update
};

/// Design units to screen pixels (screen size ÷ 640 × 480, integer arithmetic).
int32_t toScreenX(int64_t v);
int32_t toScreenY(int64_t v);
/// A design rectangle on the screen, rounded outward so that it covers every pixel the
/// rectangle touches.
Rect toScreenRect(int x, int y, int width, int height);

}  // namespace sorel
