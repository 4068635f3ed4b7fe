#pragma once
// The converter's working bitmap: a Windows bitmap read from the PC game's archives, and the
// operations that turn it into an RBP picture (depth change, transparency keys, compositing,
// shrinking). Pixels are kept top-down (row 0 is the picture's top) whatever the file's row
// order; bytes blue, green, red (and alpha at 32 bits; 0 transparent, 255 opaque); 16-bit
// pixels keep the file's bit-field masks until they are expanded.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sorel {

/// Why a bitmap cannot be used.
enum class DibError { None, NotBitmap, Unsupported, Truncated, TooLarge, PaletteIndex, RlePastPicture, BadMasks };
/// A one-line reason for the conversion summary.
std::string_view dibErrorText(DibError e);

class DibImage {
 public:
  /// Largest side accepted, in pixels (the game's pictures are at most 640 × 480).
  static constexpr uint32_t kMaxSide = 8192;

  /// Reads a bitmap file image: the OS/2 core header or the info header and its V2..V5
  /// extensions; 1-, 4- and 8-bit palette pixels (uncompressed, RLE8, RLE4), 16 bits through
  /// their bit-field masks (RGB565 when the header has none, as the game's pictures are), 24
  /// bits, 32 bits (the fourth byte unused, or through bit-field masks); rows bottom-up, or
  /// top-down for a negative height. Palette and 32-bit pictures become 24-bit; pixels an RLE
  /// stream skips are black. Records the source size. False (and the reason) for anything
  /// else, and for malformed bitmaps: a palette index past the palette, RLE data going past the
  /// picture, sizes that do not fit the file; nothing is ever read outside bytes.
  bool load(std::span<const uint8_t> bytes, DibError* why = nullptr);
  /// A picture of the given depth (16: RGB565 values, 24, 32) from top-down rows without gaps.
  static DibImage fromPixels(uint32_t width, uint32_t height, int bitsPerPixel, std::vector<uint8_t> pixels);

  uint32_t width() const { return m_width; }
  uint32_t height() const { return m_height; }
  int bitsPerPixel() const { return m_bits; }
  bool empty() const { return m_width == 0 || m_height == 0; }
  uint16_t sourceWidth() const { return m_sourceWidth; }
  uint16_t sourceHeight() const { return m_sourceHeight; }
  /// Top-down rows of width × bytes per pixel, no gaps.
  const std::vector<uint8_t>& pixels() const { return m_pixels; }
  size_t rowBytes() const { return size_t(m_width) * size_t(m_bits / 8); }

  /// 16 → 24 bits: each channel's bits moved to the top of its byte, low bits zero. Other
  /// depths: nothing.
  void expand16To24();
  /// 24 → 32 bits: alpha 0 where blue, green and red are all below 7, else 255; then every
  /// opaque neighbour (of eight) of a transparent pixel gets its own brightness
  /// (blue + green + red) / 3 as alpha, softening the edges.
  void keyNearBlack();
  /// 24 → 32 bits: alpha 0 for exact black, else 255.
  void keyBlack();
  /// Every pixel of exactly colour (0x00RRGGBB) gets alpha and, unless newColour is negative, the
  /// new colour. A picture without alpha gets alpha 255 first.
  void setColourAlpha(uint32_t colour, uint8_t alpha, int64_t newColour);
  /// Draws this picture over base at (x, y) (alpha 0 keeps the base, 255 takes this pixel, else
  /// ((256 − a) × base + a × this) >> 8 per channel; the base's own alpha stays); then this
  /// picture becomes the composite, with the base's source size. Pixels outside are skipped.
  void blendOnto(DibImage base, int x, int y);
  /// Copies overlay's pixels that are not pure black onto this picture at (x, y).
  void pasteOpaque(const DibImage& overlay, int x, int y);
  /// Box-filtered reduction to factor percent (each side at least 1 pixel). With alphaWeighted
  /// on a 32-bit picture only pixels with alpha ≠ 0 are averaged (none: transparent black).
  /// Nothing for factor 100 or above.
  void shrink(bool alphaWeighted, int factor);
  /// The RBP file image: quality 0 raw RGB565 (kind 13, or 1 with alpha); quality 1..3 a JBP1
  /// stream at JPEG quality 100, 90, 80 (kind 30, or 31 with the alpha plane), except that
  /// pictures narrower or lower than 32 pixels are always raw. x and y are the placement. The
  /// picture itself is unchanged.
  std::vector<uint8_t> toRbp(int quality, int x, int y) const;
  /// The picture as a bottom-up bitmap file (54-byte header), for looking at it.
  std::vector<uint8_t> fileImage() const;

 private:
  void toDepth32();
  uint32_t m_width = 0;
  uint32_t m_height = 0;
  int m_bits = 0;
  uint16_t m_sourceWidth = 0;
  uint16_t m_sourceHeight = 0;
  uint32_t m_masks[3] = {0x001F, 0x07E0, 0xF800};  // blue, green, red of 16-bit pixels
  std::vector<uint8_t> m_pixels;
};

/// JPEG quality of a picture quality index 1..3; 0 for raw.
int jpegQualityOf(int qualityIndex);

}  // namespace sorel
