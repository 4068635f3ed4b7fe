#pragma once
// What the device tells about itself: battery, memory, storage, and the idle timer that would
// otherwise suspend it during play.
#include <cstdint>
#include <string_view>

namespace platform {

/// Battery charge in percent (0..100); 100 when the machine reports no battery.
int batteryPercent();
/// Free physical memory in bytes (what a new program could still get).
uint64_t freeMemoryBytes();
/// Memory load in percent: the share of physical memory in use.
int memoryLoadPercent();
/// Free bytes on the storage holding the given system path; 0 when unknown.
uint64_t freeStorageBytes(std::string_view systemPath);
/// The user is active: postpones the device's automatic suspend. On the desktop only counted.
void resetIdleTimer();
/// How often resetIdleTimer was called (tests).
uint64_t idleTimerResets();

}  // namespace platform
