#pragma once
// Screenshots of the logical screen: the RGB565 picture the device shows, expanded to 8 bits per
// channel by bit replication (so white stays 255 and black 0) and written as a PNG file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// 8-bit red, green, blue of one RGB565 value: each channel's top bits repeated into its low
/// bits.
inline void expandRgb565(uint16_t v, uint8_t& r, uint8_t& g, uint8_t& b) {
  uint8_t r5 = static_cast<uint8_t>(v >> 11), g6 = static_cast<uint8_t>((v >> 5) & 0x3F),
          b5 = static_cast<uint8_t>(v & 0x1F);
  r = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
  g = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
  b = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
}

/// Encodes W × H RGB565 values (rows top-down) as an 8-bit RGB PNG.
std::vector<uint8_t> encodeRgb565Png(const std::vector<uint16_t>& pixels, int width, int height);

/// Decodes a PNG (any colour type libpng reads) into 8-bit red, green, blue bytes, rows top-down:
/// what tests compare screenshots with. False on anything that is not a whole PNG, or a picture
/// of more than 16384 pixels a side.
bool decodePngRgb(const std::vector<uint8_t>& png, std::vector<uint8_t>& rgb, int& width, int& height);

/// Writes the PNG to a host path (UTF-8) under a temporary name, renamed into place. False with a
/// reason on failure.
bool writeRgb565Png(std::string_view hostPath, const std::vector<uint16_t>& pixels, int width,
                    int height, std::string& why);

}  // namespace platform
