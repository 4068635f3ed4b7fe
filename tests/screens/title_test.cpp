// The title screen: the intro cut short by a tap, the menu cursor and its taps, New Game and a
// replay-less start that cannot load its scenario, Load opening the pop-up menu, the extras menu
// swap, Quit posting the close message; and the one random source.
#include "engine/content/game_content.h"
#include "engine/story/game_random.h"
#include "engine/resources/sjis_text.h"
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class Title : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    for (const char* f : {"Title_BG.bmp"}) addPicture(f, 640, 911);
    addPicture("Title.bmp", 440, 192);
    addPicture("TitleMenu.bmp", 216, 360);
    addPicture("Star.bmp", 216, 84);
    addPicture("SpotLight.bmp", 160, 160);
    addPicture("ORBA2003.bmp", 144, 32);
    game->host().openMenu = [this] { return ++menuOpened, true; };
    game->host().postClose = [this] { ++closePosted; };
    gameMode = kModeTitle;
    subMode = 0;
  }
  /// From start-up to the menu: the intro cut short by a tap, then the items' appear animation.
  void toMenu() {
    frame(3);
    ASSERT_EQ(subMode, 2u);
    tap(5, 5);
    frame();
    ASSERT_EQ(subMode, 3u);
    frame(60);
    ASSERT_EQ(subMode, 4u);
  }
  int cursor() const { return screens->titleState().cursor; }
  const Sprite* item(int i) const { return game->layers().get(20 + i); }
  void pressAndStep(Key k) {
    press(k);
    frame();
    release(k);
  }
  int menuOpened = 0, closePosted = 0;
};

TEST_F(Title, StartsWithTheIntroAndATapJumpsToTheMenu) {
  frame(3);
  ASSERT_EQ(subMode, 2u);
  EXPECT_EQ(sound.music, std::string(replaceExtension(kTitleMusic, ".mp3"))) << "title music from the music folder";
  frame(100);
  ASSERT_NE(game->layers().get(10), nullptr);
  EXPECT_LT(game->layers().get(10)->y, 0) << "the background still scrolling";
  EXPECT_LT(game->brightness, 256);
  tap(600, 20);
  frame();
  EXPECT_EQ(subMode, 3u);
  EXPECT_EQ(game->layers().get(10)->y, 0);
  EXPECT_EQ(game->brightness, 256);
  EXPECT_NE(game->layers().get(11), nullptr) << "the logo";
}

TEST_F(Title, EveryReadOnInputCutsTheIntroShortWhereverItIs) {
  // The scroll, the items growing in, and the fade-in when coming back from the extras: a tap, C
  // or right ends each at once, and is used up there.
  for (std::string input : {"tap", "C", "right"}) {
    SCOPED_TRACE(input);
    const Key key = input == "C" ? Key::C : Key::Right;
    auto readOn = [&] {
      if (input == "tap") tap(600, 20);
      else press(key);
      frame();
      release(key);
    };
    subMode = 0;
    frame(3);
    ASSERT_EQ(subMode, 2u);
    readOn();
    EXPECT_EQ(subMode, 3u);
    readOn();
    EXPECT_EQ(subMode, 4u) << "the items at their full size at once";
    EXPECT_EQ(item(0)->scaleX, 1000);
    EXPECT_EQ(cursor(), TitleState::kNone) << "the input chose nothing";
    subMode = 40;
    frame();
    ASSERT_EQ(subMode, 41u);
    readOn();
    EXPECT_EQ(subMode, 3u);
    EXPECT_EQ(game->brightness, 256);
  }
}

TEST_F(Title, TheIntroEndsByItselfAfterItsTime) {
  frame(2);
  frame(6650 / 16 - 1);
  EXPECT_EQ(subMode, 2u);
  frame(2);
  EXPECT_EQ(subMode, 3u);
}

TEST_F(Title, CursorMovesWrapAndTapsPickOrClear) {
  toMenu();
  EXPECT_EQ(cursor(), TitleState::kNone);
  struct Step {
    const char* what;
    int expect;
  };
  const Step steps[] = {{"up", 4}, {"down", 0}, {"up", 4}, {"up", 3}, {"down", 4}, {"down", 0}};
  for (const Step& s : steps) {
    pressAndStep(std::string(s.what) == "up" ? Key::Up : Key::Down);
    EXPECT_EQ(cursor(), s.expect) << s.what;
  }
  EXPECT_EQ(item(0)->scaleX, 1200);
  EXPECT_EQ(item(0)->opacity, 256);
  EXPECT_EQ(item(4)->scaleX, 1000) << "the item left behind returns";
  EXPECT_EQ(item(4)->opacity, 192);
  // A tap on the fourth item's rectangle selects it and acts at once.
  tap(212 + 100, 220 + 48 * 3 + 20);
  frame();
  EXPECT_EQ(cursor(), 3);
  EXPECT_EQ(subMode, 20u) << "Extras";
}

TEST_F(Title, ATapOutsideClearsTheSelectionAndTheAdvanceThenDoesNothing) {
  toMenu();
  pressAndStep(Key::Down);
  ASSERT_EQ(cursor(), 0);
  tap(20, 20);
  frame();
  EXPECT_EQ(cursor(), TitleState::kNone);
  pressAndStep(Key::Right);
  EXPECT_EQ(subMode, 4u);
}

TEST_F(Title, NewGameWithoutItsScenarioComesBackToTheTitle) {
  toMenu();
  pressAndStep(Key::Down);
  pressAndStep(Key::Right);
  EXPECT_EQ(subMode, 10u);
  frame(1000 / 16 + 2);
  EXPECT_EQ(gameMode, uint32_t(kModeTitle)) << "no Script archive here";
  EXPECT_GE(subMode, 40u) << "the title builds itself again";
  frame(1000 / 16 + 4);
  EXPECT_EQ(subMode, 3u);
  EXPECT_EQ(game->brightness, 256);
  EXPECT_EQ(game->layers().get(10)->y, 0);
}

TEST_F(Title, NewGameStartsTheIntroductionWithTheSaveEntries) {
  auto dir = std::filesystem::path(SOREL_TEST_TMP) / "Title.NewGame";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "data");
  ASSERT_TRUE(writeTestArchive(dir / "data" / "Script.mlz", {{std::string(kFirstScenario), assemble("YIELD\n")}}));
  paths = makeDataPaths(sys(dir) + "\\");
  makeGame();
  SetUp();
  std::vector<bool> saveMenu;
  game->host().enableSaveMenu = [&](bool on) { saveMenu.push_back(on); };
  toMenu();
  pressAndStep(Key::Down);
  pressAndStep(Key::Right);
  frame(1000 / 16 + 2);
  EXPECT_EQ(gameMode, uint32_t(kModeStory));
  EXPECT_EQ(fieldView(game->script.scriptName), kFirstScenario);
  EXPECT_EQ(saveMenu, std::vector<bool>{true});
  EXPECT_TRUE(sound.music.empty()) << "the title music stops";
}

TEST_F(Title, LoadOpensThePopUpMenuAndQuitPostsTheCloseMessage) {
  toMenu();
  pressAndStep(Key::Down);
  pressAndStep(Key::Down);
  pressAndStep(Key::Right);
  frame();
  EXPECT_EQ(menuOpened, 1);
  EXPECT_EQ(subMode, 4u);
  pressAndStep(Key::Up);
  pressAndStep(Key::Up);
  ASSERT_EQ(cursor(), 4);
  pressAndStep(Key::Right);
  EXPECT_EQ(subMode, 60u);
  frame(3500 / 16 - 2);
  EXPECT_EQ(closePosted, 0) << "still fading";
  frame(3);
  EXPECT_EQ(closePosted, 1);
  EXPECT_EQ(subMode, 999u);
  frame(5);
  EXPECT_EQ(closePosted, 1);
}

TEST_F(Title, LoadTappedOpensTheMenuOnlyOnceThePenIsUpAndLeavesItNoPenInput) {
  toMenu();
  input.penDown = 1;
  tap(320, 220 + 48 + 20);  // Load, the stylus staying down
  frame();
  ASSERT_EQ(subMode, 50u);
  frame(3);
  EXPECT_EQ(menuOpened, 0) << "not under a pen that is still down";
  // The lift reaches the frame, and another tap is already on its way.
  input.penDown = 0;
  input.releaseNow = 1;
  input.tapPending = input.releasePending = 1;
  frame();
  EXPECT_EQ(menuOpened, 1);
  EXPECT_EQ(subMode, 4u);
  EXPECT_EQ(input.releaseNow + input.tapPending + input.releasePending, 0) << "nothing left for the menu to take";
}

TEST_F(Title, ExtrasSwapTheMenuAndBackReturnsToTheMain) {
  toMenu();
  pressAndStep(Key::Up);
  pressAndStep(Key::Up);
  pressAndStep(Key::Right);
  frame(120);
  EXPECT_EQ(subMode, 4u);
  EXPECT_EQ(screens->titleState().menuSet, 1);
  EXPECT_EQ(screens->titleState().itemCount, 4);
  EXPECT_EQ(item(4), nullptr);
  EXPECT_EQ(item(0)->src.top, 200) << "the gallery strip";
  pressAndStep(Key::Up);
  ASSERT_EQ(cursor(), 3);
  pressAndStep(Key::Right);
  frame(120);
  EXPECT_EQ(screens->titleState().menuSet, 0);
  EXPECT_NE(item(4), nullptr);
  // The gallery: the music fades and the gallery opens black.
  pressAndStep(Key::Up);
  pressAndStep(Key::Up);
  pressAndStep(Key::Right);
  frame(120);
  pressAndStep(Key::Down);
  pressAndStep(Key::Right);
  EXPECT_EQ(subMode, 30u);
  EXPECT_EQ(sound.musicFades.back(), 1000);
  frame(1000 / 16 + 2);
  EXPECT_EQ(gameMode, uint32_t(kModeGallery));
}

TEST_F(Title, StarsFallAndLeaveAtTheEdge) {
  toMenu();
  frame(30);
  int stars = 0;
  for (int i = 0; i < TitleState::kStars; ++i) stars += screens->titleState().stars[size_t(i)].used;
  EXPECT_GT(stars, 5);
  EXPECT_LE(stars, TitleState::kStars);
  for (int i = 0; i < TitleState::kStars; ++i) {
    const auto& s = screens->titleState().stars[size_t(i)];
    ASSERT_EQ(s.used, game->layers().exists(128 + i));
    if (s.used) {
      EXPECT_LE(s.x, 676);
      EXPECT_LE(s.y, 516);
    }
  }
}

TEST(GameRandom, OneSeedOneSequence) {
  seedGameRandom(7);
  std::vector<int> a;
  for (int i = 0; i < 100; ++i) a.push_back(gameRandom());
  seedGameRandom(7);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(gameRandom(), a[size_t(i)]);
  for (int v : a) ASSERT_TRUE(v >= 0 && v <= 32767);
}

}  // namespace
}  // namespace sorel::test
