#include "platform/device_status.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(DeviceStatus, ReportsPlausibleValues) {
  int battery = batteryPercent();
  EXPECT_GE(battery, 0);
  EXPECT_LE(battery, 100);
  EXPECT_GT(freeMemoryBytes(), 0u);
  int load = memoryLoadPercent();
  EXPECT_GE(load, 0);
  EXPECT_LE(load, 100);
  // A file that does not exist yet still tells the free space of its folder.
  EXPECT_GT(freeStorageBytes("\\tmp\\no\\such\\file.bin"), 0u);
  uint64_t before = idleTimerResets();
  resetIdleTimer();
  EXPECT_EQ(idleTimerResets(), before + 1);
}

}  // namespace
}  // namespace platform
