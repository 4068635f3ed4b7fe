#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

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

TEST_F(SingleInstanceTest, OneInstancePerFolderAndTheSecondLearnsWhoRuns) {
  const std::string base = std::string(SOREL_TEST_TMP) + "/instance_folders";
  ASSERT_EQ(std::system(("rm -rf '" + base + "' && mkdir -p '" + base + "/a' '" + base + "/b' && ln -s a '" + base +
                         "/link'").c_str()),
            0);
  const std::string real = SingleInstance::realFolder(base + "/a");
  SingleInstance first;
  ASSERT_EQ(first.acquire("TESTCLASS", base + "/a", "pocketplayer"), SingleInstance::Result::First);
  EXPECT_FALSE(first.raiseRequested());
  // Another folder, or another class, is another game.
  SingleInstance other, otherClass;
  EXPECT_EQ(other.acquire("TESTCLASS", base + "/b", "handheldplayer"), SingleInstance::Result::First);
  EXPECT_EQ(otherClass.acquire("OTHERCLASS", base + "/a", "pocketplayer"), SingleInstance::Result::First);
  // The same folder by another path meets the first, asks it to the front and learns who it is.
  SingleInstance second;
  EXPECT_EQ(second.acquire("TESTCLASS", base + "/link/", "handheldplayer"), SingleInstance::Result::AnotherRuns);
  EXPECT_EQ(second.owner().pid, long(::getpid()));
  EXPECT_EQ(second.owner().program, "pocketplayer");
  EXPECT_EQ(second.owner().folder, real);
  EXPECT_TRUE(first.raiseRequested());
  EXPECT_FALSE(first.raiseRequested());  // once per request
  // The lock ends with its holder.
  first.release();
  SingleInstance third;
  EXPECT_EQ(third.acquire("TESTCLASS", base + "/a", "handheldplayer"), SingleInstance::Result::First);
}

}  // namespace
}  // namespace platform
