#pragma once
// A whole application object for the runtime tests, set up as the handheld player sets it up: the
// 320 × 240 screen, its window and display, the virtual clock stepping 16 ms a pass, the program
// folder a folder of the test's own below the test data (emptied first).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "engine/state/profile.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace sorel::test {

template <class App = AppContext>
class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::resetWindowing();
    clearProfile();
    platform::setClockMode(platform::ClockMode::Virtual, 0);
    screenWidth = 320;
    screenHeight = 240;
    host = std::filesystem::path(SOREL_TEST_TMP) /
           ("app_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(host);
    std::filesystem::create_directories(host);
    folder = *platform::systemPath(host.string() + "/");
  }
  void TearDown() override {
    app.reset();
    platform::resetWindowing();
    clearProfile();
    platform::setClockMode(platform::ClockMode::Real);
  }

  /// Starts the application on the folder, or starts it again (as a player closed and started).
  void start() {
    app.reset();
    platform::resetWindowing();
    EngineConfig config;
    config.kind = PlayerKind::Handheld;
    config.programFolder = folder;
    app = std::make_unique<App>(config);
    ASSERT_TRUE(WindowBase::registerWindowClass());
    ASSERT_NE(app->createWindow(320, 240), nullptr);
    ASSERT_EQ(app->openDisplay(), DisplayOpenError::None);
    app->initialise();
    app->setVirtualClockStep(16);
  }
  /// Dispatches every queued message; true when the quit message came.
  bool drain() {
    platform::Message m;
    while (platform::peekMessage(m, true)) {
      if (m.message == platform::WM_QUIT) return true;
      platform::dispatchMessage(m);
    }
    return false;
  }
  void frames(int n) {
    for (int i = 0; i < n; ++i) app->idlePass();
  }

  std::filesystem::path host;  ///< the program folder as a host path
  std::string folder;          ///< and as the engine names it (ends in a backslash)
  std::unique_ptr<App> app;
};

}  // namespace sorel::test
