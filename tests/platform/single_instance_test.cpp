#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace platform {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Keep the test's locks away from any player the user runs.
    std::string dir = std::string(SOREL_TEST_TMP) + "/instance_runtime";
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    std::string mk = "mkdir -p '" + dir + "'";
    ASSERT_EQ(std::system(mk.c_str()), 0);
  }
};

TEST_F(SingleInstanceTest, SecondInstanceAsksTheFirstToComeForward) {
  SingleInstance first;
  ASSERT_EQ(first.acquire("TESTCLASS"), SingleInstance::Result::First);
  EXPECT_FALSE(first.raiseRequested());
  SingleInstance second;
  EXPECT_EQ(second.acquire("TESTCLASS"), SingleInstance::Result::AnotherRuns);
  EXPECT_TRUE(first.raiseRequested());
  EXPECT_FALSE(first.raiseRequested());  // once per request
}

TEST_F(SingleInstanceTest, ClassesAreIndependentAndTheLockEndsWithItsHolder) {
  SingleInstance a, b;
  ASSERT_EQ(a.acquire("CLASS_A"), SingleInstance::Result::First);
  EXPECT_EQ(b.acquire("CLASS_B"), SingleInstance::Result::First);
  a.release();
  SingleInstance c;
  EXPECT_EQ(c.acquire("CLASS_A"), SingleInstance::Result::First);
}

}  // namespace
}  // namespace platform
