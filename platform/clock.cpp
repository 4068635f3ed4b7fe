#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace platform {
namespace {
// Process-wide by design: the device has one tick counter. Atomics because the audio thread
// reads the clock for its fades while the main thread may advance the virtual clock.
std::atomic<ClockMode> g_mode{ClockMode::Real};
std::atomic<uint32_t> g_virtualNow{0};
const auto g_origin = std::chrono::steady_clock::now();
}  // namespace

uint32_t tickCount() {
  if (g_mode.load(std::memory_order_relaxed) == ClockMode::Virtual)
    return g_virtualNow.load(std::memory_order_relaxed);
  auto elapsed = std::chrono::steady_clock::now() - g_origin;
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void sleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void setClockMode(ClockMode mode, uint32_t virtualStart) {
  g_virtualNow.store(virtualStart);
  g_mode.store(mode);
}

ClockMode clockMode() { return g_mode.load(); }

void advanceVirtualClock(uint32_t ms) {
  if (g_mode.load() == ClockMode::Virtual) g_virtualNow.fetch_add(ms);
}

LocalTime localTime() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace platform
