#pragma once
// The emulated display devices of the two handhelds. Both are plain 16-bit RGB565 memory that
// the engine's back-ends write through pitches, exactly as on the devices; the desktop shell
// shows (and screenshots) what they hold.
#include <cstdint>
#include <vector>

namespace platform {

/// The 24-byte display-properties record: physical size and the byte steps between pixels.
struct DisplayProperties {
  uint32_t cxWidth = 0;   ///< physical pixels along x
  uint32_t cyHeight = 0;  ///< physical pixels along y
  int32_t cbxPitch = 0;   ///< bytes from one pixel to the next along physical x
  int32_t cbyPitch = 0;   ///< bytes from one physical row to the next
  uint32_t cBPP = 0;      ///< 16
  uint32_t ffFormat = 0;  ///< format flags
};

/// Format flags of a portrait RGB565 panel, as the raw frame-buffer query reports them.
constexpr uint32_t kFormatRgb565 = 0x0008;
constexpr uint32_t kFormatDibImitation = 128;

/// The Pocket PC's raw frame buffer: physically portrait (480 × 640 by default), RGB565,
/// x stride 2 and y stride width × 2.
class RawFrameBuffer {
 public:
  /// Opens a device of the given physical size. False for a zero size.
  bool open(uint32_t physicalWidth = 480, uint32_t physicalHeight = 640);
  bool isOpen() const { return !m_memory.empty(); }
  const DisplayProperties& properties() const { return m_props; }
  /// Address of physical pixel (0, 0).
  uint8_t* framePointer() { return m_memory.data(); }
  const uint8_t* framePointer() const { return m_memory.data(); }

 private:
  DisplayProperties m_props;
  std::vector<uint8_t> m_memory;
};

/// The handheld PC's GDI imitation: a 16-bit bottom-up device-independent bitmap of the
/// window's client size with RGB565 bit fields, reported as a portrait device whose negative
/// pitches land logical (x, y) on bitmap row y from the top, column x.
class DibSection {
 public:
  /// Creates the bitmap (at least 320 × 240). False when the size is impossible.
  bool create(int clientWidth, int clientHeight);
  bool isOpen() const { return !m_bits.empty(); }
  /// cxWidth = client height, cyHeight = client width, cbxPitch = −2 × client width,
  /// cbyPitch = −2, cBPP 16, ffFormat 128.
  const DisplayProperties& properties() const { return m_props; }
  /// Address of the bitmap's last pixel: the frame pointer of the imitation.
  uint8_t* lastPixel() { return m_bits.data() + m_bits.size() - 2; }
  const uint8_t* lastPixel() const { return m_bits.data() + m_bits.size() - 2; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  /// Rows bottom-up, width × 2 bytes each.
  const std::vector<uint8_t>& bits() const { return m_bits; }

 private:
  DisplayProperties m_props;
  std::vector<uint8_t> m_bits;
  int m_width = 0, m_height = 0;
};

/// A rectangle of the logical screen: left and top inclusive, right and bottom exclusive.
struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const ScreenRect&) const = default;
};

/// Byte offset of logical pixel (x, y) from the frame pointer on a logical screen of width W:
/// (W − 1 − x) × cbyPitch + y × cbxPitch. Every writer of the frame buffer uses this mapping.
inline int64_t logicalOffset(const DisplayProperties& p, int W, int x, int y) {
  return int64_t(W - 1 - x) * p.cbyPitch + int64_t(y) * p.cbxPitch;
}

/// Reads the landscape logical image (W × H RGB565 values, rows top-down) out of a frame buffer
/// through the mapping above; used by the shell to show the screen and take screenshots.
void readLogicalRgb565(const DisplayProperties& p, const uint8_t* framePointer, int W, int H,
                       std::vector<uint16_t>& out);
/// The same for one rectangle (clipped to the screen) into a picture of W × H values already
/// holding the rest.
void readLogicalRgb565(const DisplayProperties& p, const uint8_t* framePointer, int W, int H,
                       const ScreenRect& r, std::vector<uint16_t>& out);

}  // namespace platform
