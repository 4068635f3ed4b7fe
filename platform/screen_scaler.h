#pragma once
// The logical screen drawn into a window's own pixels when no graphics processor does it: each
// window pixel of the picture shows the logical pixel under it (nearest neighbour, the same rule
// that turns a mouse position back into a logical pixel, platform/letterbox.h), so a changed
// logical rectangle maps to one window rectangle and redrawing only that rectangle gives exactly
// the pixels a redraw of the whole picture gives.
#include <cstdint>
#include <vector>

#include "platform/display.h"
#include "platform/letterbox.h"

namespace platform {

/// The window pixel value of every RGB565 value, in the window's own pixel format: built once per
/// format by the caller (each 5- or 6-bit channel widened to 8 bits by repeating its top bits).
using PixelTable = std::vector<uint32_t>;

/// The 8-bit channels of an RGB565 value.
inline void rgb565Channels(uint16_t v, uint8_t& r, uint8_t& g, uint8_t& b) {
  const unsigned r5 = v >> 11, g6 = (v >> 5) & 63u, b5 = v & 31u;
  r = uint8_t(r5 << 3 | r5 >> 2);
  g = uint8_t(g6 << 2 | g6 >> 4);
  b = uint8_t(b5 << 3 | b5 >> 2);
}

class ScreenScaler {
 public:
  /// Places a logical screen of lw × lh at view (window pixels, from platform::letterbox).
  void setup(int lw, int lh, const ViewRect& view);
  const ViewRect& view() const { return m_view; }

  /// The window pixels that show the logical rectangle r (clipped to the screen); empty when
  /// none does (a picture smaller than the logical screen skips some rows and columns).
  ViewRect windowRect(const ScreenRect& r) const;

  /// Draws the window pixels of the logical rectangle r from the logical picture (lw × lh RGB565,
  /// rows top-down) into the window's pixels (rows of pitch bytes, bytesPerPixel 2, 3 or 4,
  /// little-endian values from table).
  void draw(const uint16_t* logical, const ScreenRect& r, uint8_t* window, int pitch, int bytesPerPixel,
            const PixelTable& table) const;

 private:
  int m_lw = 0, m_lh = 0;
  ViewRect m_view;
  std::vector<int> m_sourceX, m_sourceY;  // per picture column / row: the logical one it shows
  std::vector<int> m_firstX, m_firstY;    // per logical column / row (and one past): first picture one
};

}  // namespace platform
