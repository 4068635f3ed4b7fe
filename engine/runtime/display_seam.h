#pragma once
// FIXME: stand-in for the graphics back-ends and dirty-rectangle list until they are on main.
// It keeps the shape the frame loop needs: open the device, a back buffer, a list of changed
// rectangles, and present (convert the changed rectangles to the device's RGB565 through the
// logical-to-device mapping).
#include <cstdint>
#include <vector>

#include "engine/graphics/picture.h"
#include "platform/display.h"

namespace sorel {

struct DirtyRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

class DirtyList {
 public:
  void setScreenSize(int w, int h) {
    m_width = w;
    m_height = h;
  }
  /// Adds a rectangle, clipped to the screen; empty ones are dropped.
  void add(DirtyRect r);
  void addWholeScreen() { add({0, 0, m_width, m_height}); }
  void clear() { m_rects.clear(); }
  bool empty() const { return m_rects.empty(); }
  const std::vector<DirtyRect>& rects() const { return m_rects; }

 private:
  int m_width = 0, m_height = 0;
  std::vector<DirtyRect> m_rects;
};

enum class DisplayKind { RawFrameBuffer, DibImitation };

class Display {
 public:
  /// Opens the device for a logical screen of w × h and creates the back buffer. False when the
  /// device cannot hold the logical screen.
  bool open(DisplayKind kind, int w, int h);
  bool isOpen() const { return m_open; }
  void close();
  const platform::DisplayProperties& properties() const { return m_props; }
  /// The frame pointer of the device.
  uint8_t* beginDraw();
  void endDraw() {}
  Surface& surface() { return m_surface; }
  /// Copies the given rectangles (or the whole screen) of the back buffer to the device as
  /// RGB565. False when nothing was copied.
  bool present(const std::vector<DirtyRect>& rects, bool wholeScreen);

 private:
  bool m_open = false;
  DisplayKind m_kind = DisplayKind::RawFrameBuffer;
  platform::RawFrameBuffer m_raw;
  platform::DibSection m_dib;
  platform::DisplayProperties m_props;
  Surface m_surface;
};

}  // namespace sorel
