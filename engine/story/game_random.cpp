#include "engine/story/game_random.h"

namespace sorel {
namespace {

// One sequence for the whole program, like the device's rand(): the screens that use it run on
// the main thread one after another, and a fixed seed makes a run under the virtual clock repeat
// byte for byte. A per-screen generator would buy nothing and would have to be saved with them.
uint32_t g_state = 1;

}  // namespace

int gameRandom() {
  // The classic linear congruential step of the device's C library.
  g_state = g_state * 214013u + 2531011u;
  return int((g_state >> 16) & 0x7FFF);
}

void seedGameRandom(uint32_t seed) { g_state = seed; }

}  // namespace sorel
