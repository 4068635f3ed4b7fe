#pragma once
// The pixel loops that put pictures and coloured rectangles onto the 24-bit back buffer:
// straight or through a rotation/scale transform, mixed by alpha (or filled) or added, with an
// overall opacity (0..256, 256 = none) and a brightness tone (0..512, 256 = unchanged, 0 black,
// 512 white). Seven families (alpha blend, additive, fill, add; alpha blend, additive and fill
// transformed) in four variants each (plain, opacity, brightness, both): the variant is chosen
// once per call, the inner loops hold no tests on the settings.
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"

namespace sorel {

/// How a picture or colour meets the back buffer. Any other value draws nothing.
enum class Mix : int32_t {
  Blend = 0,  ///< pictures: alpha blend; colours: fill
  Add = 1,    ///< pictures: additive (weighted by alpha); colours: add; saturates at 255
};

/// A destination box and the inverse mapping into the source, filled by the transform set-up
/// of the frame composition. Steps and start positions are in 1/1024 source pixel.
struct BlitTransform {
  int32_t width = 0, height = 0;  ///< loop size in destination pixels (after clipping)
  int32_t skipX = 0, skipY = 0;   ///< columns and rows of the box cut away on the left and top
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  ///< the clipped box on the surface
  int32_t dudx = 0, dvdx = 0, dudy = 0, dvdy = 0;
  int32_t startU = 0, startV = 0;  ///< source position at the unclipped box's top-left pixel,
                                   ///< relative to the source rectangle's top-left
};

/// Copies src (picture pixels, right/bottom exclusive) to (x, y) on the surface. Mix::Blend is
/// the alpha-blend family, Mix::Add the additive family. The caller clips; as a guard the call
/// still trims the rectangle to the picture and the surface once, so no pixel outside either is
/// ever touched. Returns true (drawing never fails).
bool pictureBlit(const Picture& picture, const Rect& src, Surface& surface, int x, int y,
                 int opacity, int brightness, Mix mode);

/// A rectangle of rect's size at (x, y) in the colour: Mix::Blend fills, Mix::Add adds.
bool colourRect(ColourWord colour, const Rect& rect, Surface& surface, int x, int y, int opacity,
                int brightness, Mix mode);

/// Draws through the transform: every destination pixel of the box samples the picture at its
/// inverse-mapped position (nearest neighbour) and is drawn only when the sample lies inside
/// src. src is trimmed to the picture and the box to the surface first.
bool pictureBlitTransformed(const Picture& picture, const Rect& src, Surface& surface,
                            const BlitTransform& transform, int opacity, int brightness, Mix mode);

/// Fill family through the transform: src gives only the shape that is rotated and scaled.
bool colourRectTransformed(ColourWord colour, const Rect& src, Surface& surface,
                           const BlitTransform& transform, int opacity, int brightness);

/// Sets every pixel of rect (trimmed to pitch × height) to the colour. With 2 bytes per pixel
/// the colour is packed to RGB565; with any other value 3-byte pixels blue, green, red are
/// written. pitch is in pixels; pixels must hold pitch × height pixels (else nothing happens).
void fillRect(std::span<uint8_t> pixels, int pitch, int height, const Rect& rect,
              ColourWord colour, int bytesPerPixel);
/// The same on the back buffer.
void fillRect(Surface& surface, const Rect& rect, ColourWord colour);

/// Makes the picture the surface's size holding a copy of every pixel with alpha 255; flags 0.
/// The design size is the whole design screen the capture covers.
void pictureFromSurface(Picture& picture, const Surface& surface);

/// Releases the picture's pixels and gives it width × height zero pixels (transparent black),
/// flags bit 31, and the design size width × 640 / screenWidth by height × 480 / screenHeight.
/// Pixels are always 4 bytes: the blitters read nothing else. Sizes outside 1..4096 leave the
/// picture empty and return false.
bool blankPicture(Picture& picture, int width, int height);

/// RGB565 form of a colour word: ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F).
constexpr uint16_t rgb565(ColourWord c) {
  return static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
}

}  // namespace sorel
