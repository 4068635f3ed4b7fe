#pragma once
// Pictures for the sample game: a 24-bit drawing surface with a few shapes and a tiny built-in
// ASCII font, written out as Windows bitmaps the way the PC game stores them.
#include <cstdint>
#include <string_view>
#include <vector>

namespace sorel::mkgame {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kMagenta{255, 0, 255};  // the window pictures' key colour

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill = kBlack);
  int width() const { return m_width; }
  int height() const { return m_height; }
  Rgb at(int x, int y) const;
  void set(int x, int y, Rgb c);  ///< outside the canvas: ignored

  void fillRect(int x, int y, int w, int h, Rgb c);
  void frameRect(int x, int y, int w, int h, int thickness, Rgb c);
  void fillEllipse(int cx, int cy, int rx, int ry, Rgb c);
  /// Vertical gradient from top to bottom colour over the rectangle.
  void gradient(int x, int y, int w, int h, Rgb top, Rgb bottom);
  /// Diagonal stripes of period `period` in colour c over the rectangle (a pattern that tells
  /// pictures of the same colour apart).
  void stripes(int x, int y, int w, int h, int period, Rgb c);
  void checker(int x, int y, int w, int h, int cell, Rgb c);
  /// ASCII text in the built-in 5 × 7 font, each font pixel drawn as scale × scale; characters
  /// outside 0x20..0x7E show as '?'. Returns the width drawn.
  int text(int x, int y, std::string_view s, int scale, Rgb c);
  static int textWidth(std::string_view s, int scale) { return static_cast<int>(s.size()) * 6 * scale - scale; }
  /// The text centred in the rectangle on a plate of `plate` colour, large enough to read.
  void label(int x, int y, int w, int h, std::string_view s, Rgb ink, Rgb plate);

  enum class Rows { BottomUp, TopDown };
  /// A 24-bit BI_RGB bitmap file; TopDown writes a negative height.
  std::vector<uint8_t> bmp24(Rows rows = Rows::BottomUp) const;
  enum class Masks { None, BitFields };
  /// A 16-bit bitmap file with RGB565 pixels (the PC game's 16-bit layout), bottom-up; with
  /// BitFields the header says so and carries the three 565 masks.
  std::vector<uint8_t> bmp16(Masks masks = Masks::None) const;

 private:
  int m_width, m_height;
  std::vector<Rgb> m_pixels;
};

}  // namespace sorel::mkgame
