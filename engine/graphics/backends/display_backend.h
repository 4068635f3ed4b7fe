#pragma once
// The display back-ends: where a composed frame goes. Both offer the interface of the
// handhelds' display library (open, display properties, begin draw returning the frame pointer,
// end draw) so that composition and conversion are shared:
//   - RawFrameBufferBackend (pocketplayer) writes straight into the raw frame buffer, a
//     portrait RGB565 panel addressed through a 90-degree mapping;
//   - GdiBackend (handheldplayer) imitates it with a bottom-up 16-bit bitmap whose negative
//     pitches land logical (x, y) on bitmap row y from the top, column x, and copies the bitmap
//     (or the rectangles presented) to the window.
//
// Typical use by the runtime and the desktop shell:
//   platform::RawFrameBuffer device; device.open(480, 640);   // the emulated panel
//   RawFrameBufferBackend display(device);
//   if (auto e = display.open(640, 480); e != DisplayOpenError::None)
//     showError(displayErrorMessage(e));                      // CP932 text, caption "Error"
//   ... compose into a Surface, add dirty rectangles ...
//   present(display, surface, dirty, PresentArea::DirtyRects, shakeX, shakeY);
// The shell then shows device (platform::readLogicalRgb565) or, for the GDI imitation, the
// bitmap rectangles handed to its window-copy callback.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/graphics/dirty_rects.h"
#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"
#include "platform/display.h"

namespace sorel {

/// Why opening failed; each has the message the start-up shows in a box captioned "Error".
enum class DisplayOpenError {
  None,
  WindowCreation,  ///< "ウィンドウの作成に失敗しました。"
  FullScreen,      ///< "ウィンドウのフルスクリーン化に失敗しました"
  DisplayLibrary,  ///< "GAPIライブラリのロードに失敗しました"
};

/// The message as CP932 bytes (empty for None); convert with platform/text.h to show it.
std::string_view displayErrorMessage(DisplayOpenError error);
/// The caption of the start-up error boxes.
constexpr std::string_view kErrorCaption = "Error";

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;

  /// Opens the display for a logical screen of width × height. The failure is a value; the
  /// back-end stays closed.
  virtual DisplayOpenError open(int logicalWidth, int logicalHeight) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  /// The 24-byte record: physical size and byte pitches of the frame buffer.
  virtual const platform::DisplayProperties& displayProperties() const = 0;
  /// Starts a draw; returns the frame pointer (device pixel of physical (0, 0)), null when
  /// closed. Every writer addresses logical (x, y) at frame pointer + platform::logicalOffset.
  virtual uint8_t* beginDraw() = 0;
  /// Finishes a draw. The GDI imitation copies its whole bitmap to the window unless
  /// endDrawRect already copied a rectangle during this draw.
  virtual void endDraw() = 0;
  /// Copies only this logical rectangle to the window (the GDI imitation); nothing for the raw
  /// frame buffer, which is the screen itself.
  virtual void endDrawRect(const Rect& rect) = 0;

  int logicalWidth() const { return m_width; }
  int logicalHeight() const { return m_height; }

  /// The logical rectangles written since the last call (by present, the pop-up menu, movie
  /// frames: every draw that ended with endDrawRect names its rectangles, one that ended with
  /// endDraw alone the whole screen). A window showing the device updates only these; empty when
  /// nothing changed.
  std::vector<Rect> takeChanged();

 protected:
  /// The back-ends' record of a finished draw: the rectangle, clipped to the screen. Rectangles
  /// inside one already noted are dropped; past a few dozen they collapse into their union.
  void noteChanged(const Rect& rect);
  void noteWholeScreenChanged() { noteChanged(Rect{0, 0, m_width, m_height}); }

  int m_width = 0;
  int m_height = 0;
  bool m_rectDrawn = false;  // endDrawRect ran since beginDraw

 private:
  std::vector<Rect> m_changed;
};

/// pocketplayer: the raw frame buffer of the device. The device object belongs to the caller
/// (the platform's emulated panel) and must outlive the back-end.
class RawFrameBufferBackend final : public DisplayBackend {
 public:
  explicit RawFrameBufferBackend(platform::RawFrameBuffer& device) : m_device(device) {}

  /// Fails with DisplayLibrary when the device is not available, is not a 16-bit panel, or is
  /// smaller than the logical screen turned by 90 degrees (cxWidth < height or
  /// cyHeight < width): writing the frame there would run past the panel's memory.
  DisplayOpenError open(int logicalWidth, int logicalHeight) override;
  void close() override { m_open = false; }
  bool isOpen() const override { return m_open; }
  const platform::DisplayProperties& displayProperties() const override { return m_props; }
  uint8_t* beginDraw() override;
  /// The raw frame buffer is the screen itself: ending a draw only notes what changed.
  void endDraw() override;
  void endDrawRect(const Rect& rect) override;

 private:
  platform::RawFrameBuffer& m_device;
  platform::DisplayProperties m_props;
  bool m_open = false;
};

/// handheldplayer: a 16-bit bottom-up bitmap of the window's client size (at least 320 × 240)
/// standing in for a frame buffer.
class GdiBackend final : public DisplayBackend {
 public:
  /// Called with a rectangle of the bitmap (row 0 at the top, the logical layout) that has to be
  /// copied to the window: the whole bitmap after endDraw, or each endDrawRect rectangle.
  using WindowCopy = std::function<void(const Rect&)>;

  /// Creates the bitmap of the logical size; fails with DisplayLibrary when it cannot be made.
  DisplayOpenError open(int logicalWidth, int logicalHeight) override;
  void close() override;
  bool isOpen() const override { return m_bitmap.isOpen(); }
  const platform::DisplayProperties& displayProperties() const override { return m_bitmap.properties(); }
  uint8_t* beginDraw() override;
  void endDraw() override;
  void endDrawRect(const Rect& rect) override;

  void setWindowCopy(WindowCopy copy) { m_windowCopy = std::move(copy); }
  /// The bitmap: rows bottom-up, width × 2 bytes each, RGB565.
  const platform::DibSection& bitmap() const { return m_bitmap; }

 private:
  platform::DibSection m_bitmap;
  WindowCopy m_windowCopy;
};

/// What present copies: the list's rectangles, or the whole screen.
enum class PresentArea { DirtyRects, WholeScreen };

/// Converts the changed part of the frame from the surface (blue, green, red bytes) to RGB565
/// ((red & 0xF8) << 8 | (green & 0xFC) << 3 | blue >> 3) straight into the frame buffer through
/// the logical mapping, between one beginDraw and endDraw (each rectangle also through
/// endDrawRect). With a shake offset the picture is displaced by (shakeX, shakeY) and the strip
/// it uncovers is left as it was. Nothing is done when the list is empty (DirtyRects), the
/// back-end is closed, or the surface is not the logical size.
void present(DisplayBackend& display, const Surface& surface, const DirtyRectList& dirty,
             PresentArea area, int shakeX = 0, int shakeY = 0);

}  // namespace sorel
