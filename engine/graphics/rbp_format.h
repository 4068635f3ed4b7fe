#pragma once
// Layout of RBP picture files, shared by the engine's loader and the converter's writer.
//
//   header  36 bytes, integers little-endian (fields below)
//   pixels  rows top-down, no gap between rows:
//             kind 13  width × height u16 RGB565 (red in bits 11-15, green 5-10, blue 0-4)
//             kind 1   width × height groups of 3 bytes: the u16 RGB565 value, then alpha
//             kind 30  a JBP1 stream of the length at kJbp1LengthOffset
//             kind 31  the JBP1 stream, then width × height alpha bytes
#include <cstdint>

namespace sorel::rbp {

constexpr uint32_t kHeaderSize = 36;

constexpr uint32_t kMagicOffset = 0;         // "RBP" and a version character
constexpr uint32_t kKindOffset = 4;
constexpr uint32_t kWidthOffset = 8;
constexpr uint32_t kHeightOffset = 12;
constexpr uint32_t kPixelOffsetOffset = 16;  // offset of the pixel data, 36
constexpr uint32_t kDesignWidthOffset = 20;  // i16: size before scaling, 640 × 480 space
constexpr uint32_t kDesignHeightOffset = 22; // i16
constexpr uint32_t kPlaceXOffset = 24;       // i16: placement in design coordinates
constexpr uint32_t kPlaceYOffset = 26;       // i16
constexpr uint32_t kJbp1LengthOffset = 28;   // kinds 30 and 31; 0 otherwise
constexpr uint32_t kZeroOffset = 32;

constexpr uint32_t kKindRaw = 13;        // RGB565, opaque
constexpr uint32_t kKindRawAlpha = 1;    // RGB565 + alpha byte
constexpr uint32_t kKindJbp1 = 30;       // JBP1, opaque
constexpr uint32_t kKindJbp1Alpha = 31;  // JBP1 + alpha plane

constexpr char kVersionRaw = '5';   // written for kinds 13 and 1
constexpr char kVersionJbp1 = '7';  // written for kinds 30 and 31
/// Files of this version store alpha in 0..63.
constexpr char kVersionSixBitAlpha = '1';

/// The RGB565 value of a colour (truncating).
constexpr uint16_t packRgb565(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
}

}  // namespace sorel::rbp
