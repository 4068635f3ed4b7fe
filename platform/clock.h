#pragma once
// The millisecond clock of the system. One process-wide tick source: real time by default, or a
// virtual clock for repeatable runs and tests that advances only when told.
#include <cstdint>

namespace platform {

enum class ClockMode { Real, Virtual };

/// Milliseconds since an arbitrary origin (wraps after 49 days like the device's tick count).
/// Safe to call from any thread.
uint32_t tickCount();

/// Sleeps for the given real time. In virtual mode the virtual clock does not move.
void sleepMs(uint32_t ms);

/// Switches the process between the real and the virtual clock. Switching to virtual starts
/// the virtual clock at the given tick.
void setClockMode(ClockMode mode, uint32_t virtualStart = 0);
ClockMode clockMode();

/// Moves the virtual clock forward; does nothing in real mode.
void advanceVirtualClock(uint32_t ms);

struct LocalTime {
  int year, month, day, hour, minute, second;
};
/// The wall-clock local time (always real, also in virtual mode).
LocalTime localTime();

}  // namespace platform
