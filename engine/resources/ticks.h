#pragma once
// The engine's millisecond tick source. While the clock is frozen every call returns the tick
// remembered by the last unfrozen call, so that everything evaluated in one update pass sees
// one instant. Process-wide by design (one clock, used by the main thread only).
#include <cstdint>

namespace sorel {

/// The platform's tick count, remembered; the remembered tick while the clock is frozen.
uint32_t ticks();
/// Freezes (true) or releases (false) the clock.
void setClockFrozen(bool frozen);
bool clockFrozen();

}  // namespace sorel
