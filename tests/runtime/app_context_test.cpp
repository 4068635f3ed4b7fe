#include "engine/runtime/app_context.h"

#include <gtest/gtest.h>

#include "engine/resources/screen.h"
#include "engine/state/profile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/audio/movie_files.h"
#include "tests/runtime/app_fixture.h"

namespace sorel {
namespace {

/// An application whose game step can be scripted.
class TestApp : public AppContext {
 public:
  using AppContext::AppContext;
  void gameStep() override {
    ++steps;
    if (raiseAt && steps == raiseAt) errorWord |= kErrorElementSlot;
    if (movieAt && steps == movieAt) startMovie("Opening.jmv");
    if (drawAt && steps == drawAt) {
      // A blue pixel at (7, 5) on the 320 × 240 screen, through a layer in design units.
      game()->layers().colour(1, 14, 10, 2, 2, 0x0000FF, 0);
    }
  }
  int steps = 0;
  int raiseAt = 0;
  int drawAt = 0;
  int movieAt = 0;
};

class AppContextTest : public test::AppFixture<TestApp> {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    start();
  }
};

TEST_F(AppContextTest, MessagesReachTheObjectFromTheFirstOne) {
  EXPECT_NE(platform::windowUserData(app->window()), nullptr);
  platform::postMessage(app->window(), platform::WM_KEYDOWN, 'Z', 1);
  platform::postMessage(app->window(), platform::WM_LBUTTONDOWN, 1, platform::makePointParam(30, 40));
  drain();
  EXPECT_EQ(app->input().count(Key::A), 1);  // the handheld's A is the Z key
  EXPECT_EQ(app->input().penX, 30);
  EXPECT_EQ(app->input().tapPending, 1);
  app->idlePass();
  EXPECT_EQ(app->input().tapNow, 1);
  EXPECT_EQ(app->framesLatched(), 1u);
}

TEST_F(AppContextTest, EveryPassRunsAFrameWithTheVirtualClock) {
  for (int i = 0; i < 10; ++i) app->idlePass();
  EXPECT_EQ(app->steps, 10);
  EXPECT_EQ(app->framesLatched(), 10u);
}

TEST_F(AppContextTest, AnErrorClosesBeforeTheFrameIsDrawnAndSavesTheSettings) {
  app->raiseAt = 2;
  app->drawAt = 2;
  app->settings().messageSpeed = 2;
  app->idlePass();
  app->idlePass();
  EXPECT_FALSE(platform::isWindow(app->window()));
  EXPECT_TRUE(drain());  // the quit message is waiting
  // Nothing of frame 2 reached the device.
  std::vector<uint16_t> screen;
  platform::readLogicalRgb565(app->display().displayProperties(), app->deviceFrame(), 320, 240,
                              screen);
  EXPECT_EQ(screen[5 * 320 + 7], 0);
  EXPECT_EQ(getProfileInt("MESSAGE_CONFIG", "MESSAGE_SPEED", 0, folder + "sorel.cfg"), 2);
}

TEST_F(AppContextTest, ChangedRectanglesArePresentedToTheDevice) {
  app->drawAt = 1;
  app->idlePass();
  std::vector<uint16_t> screen;
  platform::readLogicalRgb565(app->display().displayProperties(), app->deviceFrame(), 320, 240,
                              screen);
  EXPECT_EQ(screen[5 * 320 + 7], 0x001F);
  EXPECT_TRUE(app->dirtyList().nodes().empty());
}

TEST_F(AppContextTest, AMovieRunsInsteadOfTheGameUntilItEndsOrAFreshPressEndsIt) {
  EXPECT_FALSE(app->startMovie("Opening.jmv"));
  EXPECT_EQ(app->lastMovieRefusal(), MovieRefusal::NoFile);
  platform::createFolders(folder + "data\\jmv");
  ASSERT_TRUE(platform::writeWholeFile(folder + "data\\jmv\\Opening.jmv", testing::makeTestMovie(5, 32, 32, 10), false));

  // Without input it runs its 500 ms (no sound output here: the engine clock), then the game.
  ASSERT_TRUE(app->startMovie("movies/Opening.avi"));
  EXPECT_TRUE(app->isPlaying());
  EXPECT_TRUE(app->sound().moviePlaying());
  int passes = 0;
  while (app->isPlaying() && passes < 100) {
    app->idlePass();
    ++passes;
  }
  EXPECT_GE(passes, 31);
  EXPECT_LE(passes, 33);
  EXPECT_EQ(app->steps, 0) << "no game step while the movie plays";
  EXPECT_FALSE(app->sound().moviePlaying());
  app->idlePass();
  EXPECT_EQ(app->steps, 1);

  // A fresh press of C, or of right, ends it at once; the press is used up.
  for (int key : {int('C'), int(platform::VK_RIGHT)}) {
    ASSERT_TRUE(app->startMovie("Opening.jmv"));
    app->idlePass();
    EXPECT_TRUE(app->isPlaying());
    platform::postMessage(app->window(), platform::WM_KEYDOWN, platform::WParam(key), 1);
    drain();
    app->idlePass();
    EXPECT_FALSE(app->isPlaying()) << key;
    EXPECT_NE(app->input().count(key == 'C' ? Key::C : Key::Right), 1) << "not fresh for the game";
    platform::postMessage(app->window(), platform::WM_KEYUP, platform::WParam(key), 1);
    drain();
  }
}

TEST_F(AppContextTest, AMovieStartedByTheGameIsNotCoveredByThatFramesPresent) {
  platform::createFolders(folder + "data\\jmv");
  ASSERT_TRUE(platform::writeWholeFile(folder + "data\\jmv\\Opening.jmv", testing::makeTestMovie(5, 32, 32, 10), false));
  app->movieAt = 1;
  app->drawAt = 1;  // a blue pixel at (7, 5) composed in the same frame
  app->idlePass();
  ASSERT_TRUE(app->isPlaying());
  std::vector<uint16_t> screen;
  platform::readLogicalRgb565(app->display().displayProperties(), app->deviceFrame(), 320, 240, screen);
  EXPECT_EQ(screen[5 * 320 + 7], 0) << "the movie's black, not the game's frame";
  EXPECT_NE(screen[120 * 320 + 150], 0) << "the movie's first frame in the middle";
  app->stopMovie();
  app->idlePass();
  platform::readLogicalRgb565(app->display().displayProperties(), app->deviceFrame(), 320, 240, screen);
  EXPECT_EQ(screen[5 * 320 + 7], 0x001F) << "the whole game screen is back";
  EXPECT_EQ(screen[120 * 320 + 150], 0);
}

TEST_F(AppContextTest, CloseStoresSettingsAndQuitsWithZero) {
  app->settings().lockSkip = 1;
  platform::postMessage(app->window(), platform::WM_CLOSE, 0, 0);
  platform::Message m;
  ASSERT_TRUE(platform::peekMessage(m, true));
  platform::dispatchMessage(m);
  ASSERT_TRUE(platform::peekMessage(m, true));
  EXPECT_EQ(m.message, platform::WM_QUIT);
  EXPECT_EQ(m.wParam, 0u);
  ASSERT_TRUE(flushProfile());
  auto bytes = platform::readWholeFile(folder + "sorel.cfg");
  ASSERT_TRUE(bytes);
  std::string text(bytes->begin(), bytes->end());
  EXPECT_NE(text.find("LOCK_SKIP=1\r\n"), std::string::npos);
}

TEST_F(AppContextTest, ADamagedArchiveIsSaidOnceOnTheStatusLine) {
  platform::createFolders(folder + "data\\");
  const std::string junk = "not an archive at all";
  ASSERT_TRUE(platform::writeWholeFile(folder + "data\\System.mlz", std::vector<uint8_t>(junk.begin(), junk.end())));
  for (const char* file : {"Title.bmp", "Star.bmp", "Title.bmp"}) EXPECT_FALSE(app->game()->loadPicture(10, "System", file));
  EXPECT_FALSE(app->game()->loadPicture(10, "Visual", "a.bmp")) << "missing: no damage";
  for (int i = 0; i < 3; ++i) app->idlePass();
  // "System.mlz が壊れています（変換し直してください）", once, and the game goes on.
  EXPECT_EQ(app->notices().shown().rfind("System.mlz \x82\xAA\x89\xF3\x82\xEA", 0), 0u) << app->notices().shown();
  for (int i = 0; i < 200; ++i) app->idlePass();
  EXPECT_TRUE(app->notices().idle());
  EXPECT_GT(app->steps, 200);
}

TEST_F(AppContextTest, ThePictureArchivesFollowTheScreenSize) {
  EXPECT_EQ(app->pictureArchives().name(2), "Stand.mlz");
  EXPECT_EQ(app->programFolder(), folder);
  EXPECT_EQ(app->paths().configPath(), folder + "sorel.cfg");
}

}  // namespace
}  // namespace sorel
