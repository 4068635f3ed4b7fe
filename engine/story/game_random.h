#pragma once
// The game's one random source: the title's stars and spotlights, the eye-catch's reveal order
// and the random dissolve all draw from it.
#include <cstdint>

namespace sorel {

/// The next number, 0 to 32767 (the device C library's rand range, which the screens' "mod"
/// arithmetic assumes).
int gameRandom();
/// Restarts the sequence (start-up and tests).
void seedGameRandom(uint32_t seed);

}  // namespace sorel
