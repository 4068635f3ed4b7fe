#pragma once
// The engine's own text drawing: one character at a time through the platform's glyph
// rasteriser (white on black in a small scratch bitmap), turned into an 8-bit coverage mask
// (box-filtered from a larger rendering when smoothing is on) and blended onto the back buffer
// in the text colour, optionally over a black drop shadow. Six punctuation characters come from
// the mark strip of "Mark.rbp" instead of the font.
//
// Three users: the message window's character cells (drawn only when marked), text rendered
// into a Picture (menus, titles, text sprites), and the status line written to the display.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"

namespace platform {
class GlyphFont;
}

namespace sorel {

/// A text colour: a platform colour reference 0x00BBGGRR (red in the low byte).
using ColourRef = uint32_t;

/// 0x00RRGGBB to 0x00BBGGRR (and back: the swap is its own inverse).
constexpr ColourRef swapRedBlue(uint32_t c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

/// One laid-out character of the message window.
struct CharCell {
  static constexpr uint16_t kDrawn = 0;
  static constexpr uint16_t kRedraw = 1;
  static constexpr uint16_t kNew = 2;
  uint16_t state = kDrawn;
  uint16_t code = 0;  ///< Shift-JIS code, first byte in the low 8 bits
  int32_t size = 0;   ///< glyph size in screen pixels
  ColourRef colour = 0;
  Rect rect;          ///< left, top: where the glyph is drawn
};

/// The alpha strip of the mark picture: 7 cells side by side.
struct MarkStrip {
  std::vector<uint8_t> alpha;  ///< cellWidth × 7 per row, cellHeight rows
  int cellWidth = 0;
  int cellHeight = 0;
  bool loaded() const { return !alpha.empty(); }
  /// Mark index 0..5 of a cell code, or -1 when the character is drawn from the font.
  static int markIndex(uint16_t code);
  /// Takes the alpha channel of the mark picture: cells of 9 × 11 pixels, 18 × 22 on a
  /// 640 × 480 screen. False (strip empty) when the picture is too small.
  bool load(const Picture& mark, int screenW, int screenH);
};

/// The message window's character cells and its flags.
struct TextCells {
  static constexpr int kMaxCells = 256;
  std::array<CharCell, kMaxCells> cells{};
  int count = 0;
  bool enabled = false;
  bool hidden = false;
  MarkStrip marks;

  void clear() { count = 0; }
  /// Appends a cell; false when all 256 are used.
  bool add(const CharCell& c);
};

/// Fonts and scratch bitmaps of the text drawing, with a small cache of coverage masks (a mask
/// is a pure function of font, character, size and smoothing, so a cached one is the mask the
/// rasteriser would give again).
class TextRenderer {
 public:
  TextRenderer();
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  /// The message font's face (CP932) and weight index into {0, 200, 400, 600, 900}.
  void setMessageFace(std::string_view face, int weightIndex = 4);
  /// (Re)creates the message font at size pixels; 1 on success. A face that cannot be opened
  /// falls back to "ＭＳ ゴシック".
  int setMessageFont(int size, int weightIndex);
  /// Side of the square glyph scratch bitmap: 128 on a 320-wide screen, 256 on a 640-wide one.
  static int scratchSide();

  /// The coverage mask (size × size bytes, 0..255) of a character (cell code form) drawn at
  /// size with smoothing factor f. The factor is lowered when size × f would not fit the
  /// scratch bitmap; a size larger than the bitmap gives an empty mask.
  std::span<const uint8_t> coverage(uint16_t code, int size, int f);
  /// Rasteriser calls made so far (tests and benchmarks check that unchanged text costs none).
  uint64_t rasterCalls() const { return m_rasterCalls; }

  /// The status line's font drawing: one character white on black into a 64 × 64 scratch,
  /// returned as a mask of 0 or 255 (size × size). Its own font: "ＭＳ ゴシック", weight 400.
  std::span<const uint8_t> statusGlyph(uint16_t code, int size);
  /// The text-sprite path: its own "ＭＳ ゴシック" font (weight 400) at three times size,
  /// coverage the mean of each 3 × 3 block.
  std::span<const uint8_t> spriteGlyph(uint16_t code, int size);

 private:
  std::span<const uint8_t> render(platform::GlyphFont& font, std::string_view face, int weight, int& openSize,
                                  uint16_t code, int size, int f, int side, bool opaqueTest);

  std::unique_ptr<platform::GlyphFont> m_message;
  std::unique_ptr<platform::GlyphFont> m_status;
  std::unique_ptr<platform::GlyphFont> m_sprite;
  std::string m_face;
  int m_weightIndex = 4;
  int m_messageSize = 0, m_statusSize = 0, m_spriteSize = 0;
  std::vector<uint8_t> m_scratch;
  std::vector<uint8_t> m_mask;
  std::unordered_map<uint64_t, std::vector<uint8_t>> m_cache;
  uint64_t m_rasterCalls = 0;
};

/// Draws every cell whose state is not 0 onto the surface and sets it to 0. With shadow, each
/// cell's black shadow (one pixel right and down) is drawn before its glyph.
void drawTextCells(TextCells& cells, TextRenderer& renderer, Surface& surface, int f, bool shadow);
/// With all, every cell in state 0 or 1 becomes 1; without, every cell becomes 0. Only for an
/// enabled window.
void markCellsForRedraw(TextCells& cells, bool all);
/// Every cell in state 0 or 1 that overlaps or touches one of the rectangles (edges inclusive)
/// becomes 1: text under a redrawn area is drawn again.
void markCellsInRects(TextCells& cells, std::span<const Rect> rects);
/// Draws one cell (the two blending steps) without touching its state.
void drawCell(const CharCell& cell, TextRenderer& renderer, const MarkStrip& marks, Surface& surface, int f,
              bool shadow);

/// Renders a Shift-JIS text into a picture: glyph size s = (baseSize × sizePercent / 100 ×
/// screen width) / 640; the pen starts at the design position (x, y) scaled to the screen and
/// advances s per double-byte character, s / 2 per single-byte one, plus spacing scaled.
/// Pixels take the colour and the coverage as alpha (written, not blended).
void drawTextToPicture(TextRenderer& renderer, const MarkStrip& marks, Picture& picture, std::string_view text,
                       int baseSize, int sizePercent, int spacing, ColourRef colour, int x, int y, int f);

/// The status line: every pixel of a glyph drawn in the colour, unblended, into a 24-bit
/// buffer laid out rotated by 90 degrees (pixel (x, y) at ((screenW − 1 − x) × screenH + y) × 3).
void drawStatusText(TextRenderer& renderer, std::span<uint8_t> rotated, int screenW, int screenH,
                    std::string_view text, int x, int y, ColourRef colour, int size);
/// The same written straight into an RGB565 frame buffer with the given pitches in bytes.
void drawStatusTextToFrameBuffer(TextRenderer& renderer, std::span<uint8_t> frame, int xPitch, int yPitch,
                                 int screenW, int screenH, std::string_view text, int x, int y,
                                 ColourRef colour, int size);

/// A text line of the system's own screens (not the story's): each character's message-font
/// coverage at size pixels with smoothing f, blended onto the surface in the colour, clipped to
/// it. A double-byte character advances size, a single-byte one size / 2. Returns the pen's x
/// after the text.
int drawTextLine(TextRenderer& renderer, Surface& surface, std::string_view text, int x, int y, int size,
                 ColourRef colour, int f);
/// The same in the status line's font (every glyph pixel written in the colour, unblended).
int drawStatusLine(TextRenderer& renderer, Surface& surface, std::string_view text, int x, int y, int size,
                   ColourRef colour);

/// A text sprite: makes the picture exactly as large as the text at size design units (scaled
/// to the screen) and writes the colour with alpha = the sprite path's coverage.
void drawTextSprite(TextRenderer& renderer, Picture& picture, std::string_view text, int size, ColourRef colour);

}  // namespace sorel
