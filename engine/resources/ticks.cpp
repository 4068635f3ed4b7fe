#include "engine/resources/ticks.h"

#include "platform/clock.h"

namespace sorel {
namespace {
// Main thread only: the audio thread reads platform::tickCount() directly.
uint32_t g_lastTick = 0;
bool g_frozen = false;
}  // namespace

uint32_t ticks() {
  if (!g_frozen) g_lastTick = platform::tickCount();
  return g_lastTick;
}

void setClockFrozen(bool frozen) { g_frozen = frozen; }

bool clockFrozen() { return g_frozen; }

}  // namespace sorel
