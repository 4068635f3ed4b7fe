#pragma once
// The font rasteriser of the device, as the engine uses it: a font chosen by face name and pixel
// height draws one character at a time, white on black, into a small 24-bit scratch bitmap.
// Glyphs are rendered in monochrome (every pixel fully on or off), as the device's rasteriser
// does without font smoothing; the engine does its own smoothing by rendering larger.
//
// The device's Japanese face "ＭＳ ゴシック" is not installed on a desktop; it resolves to an
// installed Japanese font (IPAGothic and the like), and every match prefers fonts that cover
// Japanese, so a face name that is not installed still draws kana and kanji.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Installed TrueType family names (CP932) in the platform's enumeration order; a family with a
/// Japanese name is listed under that name. Names without a CP932 form are left out.
std::vector<std::string> installedFontFamilies();

class GlyphFont {
 public:
  GlyphFont();
  ~GlyphFont();
  GlyphFont(const GlyphFont&) = delete;
  GlyphFont& operator=(const GlyphFont&) = delete;

  /// Opens the installed font that best matches the face name (CP932) at a cell height of
  /// pixelHeight pixels (1..512). Weights of 600 and more are drawn bold (emboldened when the
  /// font has no bold face). False when no font can be loaded at all; the old font then stays.
  bool open(std::string_view faceName, int pixelHeight, int weight = 400);
  void close();
  bool isOpen() const;
  int pixelHeight() const { return m_pixelHeight; }
  int weight() const { return m_weight; }
  /// The face name asked for (CP932) and the family that was found (UTF-8).
  const std::string& faceName() const { return m_faceName; }
  const std::string& resolvedFamily() const { return m_family; }

  /// Draws one character (a Unicode code point) white on black: each pixel the glyph covers
  /// becomes (255, 255, 255) in the 24-bit bitmap (bytes blue, green, red; rows top-down,
  /// pitchBytes apart); other pixels are left alone. The glyph's origin is the cell's top-left
  /// corner at (0, 0); nothing is written outside width × height. Returns the advance in
  /// pixels, or -1 when nothing could be drawn (no font, no such character).
  int drawChar(char32_t ch, uint8_t* bgr, int pitchBytes, int width, int height) const;
  /// The same for one CP932 character: a single byte, or lead byte << 8 | trail byte.
  int drawCp932(uint16_t code, uint8_t* bgr, int pitchBytes, int width, int height) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  int m_pixelHeight = 0;
  int m_weight = 400;
  std::string m_faceName;
  std::string m_family;
};

}  // namespace platform
