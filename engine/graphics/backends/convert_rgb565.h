#pragma once
// Inside present: the conversion of one rectangle of the 24-bit frame to RGB565 through the
// logical-to-device mapping. A portable loop for any pitches, and SSSE3 loops for the two
// layouts the devices have (a logical column contiguous on the portrait panel, a logical row
// contiguous on the bitmap), proven byte-identical by the back-end test.
#include <cstdint>

#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"
#include "platform/display.h"

namespace sorel::rgb565 {

/// Writes the logical rectangle r of the frame buffer from the surface pixels displaced by
/// (-dx, -dy); r and r - (dx, dy) must lie on the screen.
using ConvertKernel = void (*)(uint8_t* frame, const platform::DisplayProperties& p, const Surface& s,
                               const Rect& r, int dx, int dy);

void convertScalar(uint8_t* frame, const platform::DisplayProperties& p, const Surface& s, const Rect& r,
                   int dx, int dy);

/// The fastest kernel the processor runs (chosen once); it falls back to the portable loop for
/// pitches other than the two device layouts.
ConvertKernel convertKernel();

}  // namespace sorel::rgb565
