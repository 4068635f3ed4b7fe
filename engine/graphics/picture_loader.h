#pragma once
// Loading RBP pictures (raw RGB565 or JBP1, with or without alpha) into 32-bit Pictures, and the
// save thumbnail, the one picture the engine writes.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/graphics/picture.h"

namespace sorel {

class MlzArchive;

/// Decodes a whole RBP file image into picture (width, height, design size, pixels; alpha 255
/// for opaque kinds). outX and outY, when given, receive the placement. False for an unknown
/// kind, sizes that disagree with the file's length, or a damaged JBP1 stream; the picture is
/// then unchanged.
bool decodeRbp(std::span<const uint8_t> file, Picture& picture, int* outX = nullptr, int* outY = nullptr);

/// Loads a picture by name. memberName must hold a '.' and be shorter than 64 bytes; its
/// extension is rewritten to ".rbp" in place. With a location ending in '\' the file
/// location + memberName is read from disk; otherwise the member is fetched from archive (the
/// archive at path location). markFlag sets Picture::kFlagMarked; a non-zero tint turns the
/// picture into tint-coloured grey levels. Returns 1, or 0 on any failure (the picture then
/// keeps its earlier state).
int loadPicture(Picture& picture, std::string& memberName, std::string_view location, int markFlag,
                MlzArchive* archive, ColourWord tint, int* outX = nullptr, int* outY = nullptr);

/// Applies a tint to every pixel: g = (blue + green + red) / 3, each channel (tint × g) / 255;
/// alpha unchanged.
void applyTint(Picture& picture, ColourWord tint);

/// The save thumbnail: a 16-bit BMP file image of thumbWidth × thumbHeight whose pixels are
/// RGB565, bottom row first; each pixel the mean of its source block of the 24-bit surface
/// (blue, green, red bytes, `pitch` bytes per row). Empty for sizes below 1.
std::vector<uint8_t> makeThumbnail(const uint8_t* pixels, int width, int height, size_t pitch, int thumbWidth,
                                   int thumbHeight);
inline std::vector<uint8_t> makeThumbnail(const Surface& surface, int thumbWidth, int thumbHeight) {
  return makeThumbnail(surface.pixels.data(), surface.width, surface.height,
                       static_cast<size_t>(surface.pitchBytes()), thumbWidth, thumbHeight);
}

}  // namespace sorel
