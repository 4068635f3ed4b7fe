// The sample game's introduction played whole, frame by frame, with the advance key pressed now
// and then, up to its jump into chapter two; the state is checked on the way.
#include "tests/game_fixture.h"
#include "tools/mkgame/game_builder.h"

namespace sorel::test {
namespace {

class Story : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    // Every scenario of the sample game, assembled, in a Script archive of a scratch folder.
    auto dir = std::filesystem::path(SOREL_TEST_TMP) / "Story";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
    for (const auto& s : mkgame::scenarioSources()) {
      if (s.archive != "Script.pac") continue;
      members.push_back({s.member, assemble(s.text)});
      if (s.member.rfind("01-01", 0) == 0) intro = s.member;
      if (s.member.rfind("02-01", 0) == 0) festival = s.member;
    }
    ASSERT_TRUE(writeTestArchive(dir / "data" / "Script.mlz", members));
    paths = makeDataPaths(sys(dir) + "\\");
    makeGame();
    // Tables whose every record names pictures the stand-in loader knows.
    standInTables(64);
    addPicture("Mark.rbp", 640, 162);
    addPicture("SelectMenu.bmp", 80, 70);
  }
  std::string intro, festival;
};

TEST_F(Story, TheIntroductionPlaysToItsJumpIntoChapterTwo) {
  ASSERT_FALSE(intro.empty());
  ASSERT_TRUE(game->startStory(intro));
  EXPECT_EQ(gameMode, uint32_t(kModeStory));
  struct Seen {
    bool fadeMiddle = false, tinted = false, threeStands = false, autoMessage = false, transition = false;
    size_t maxBacklog = 0;
  } seen;
  int frames = 0;
  for (; frames < 6000 && fieldView(game->script.scriptName) == intro; ++frames) {
    // The reader presses the advance key once the text is complete.
    if (game->message.markerShown && frames % 10 == 0) press(Key::Right);
    // At the choice: down selects the first (Hina) and the advance key decides.
    if (game->choiceMenu().count > 0 && frames % 10 == 0) {
      press(Key::Down);
      press(Key::Right);
    }
    frame();
    if (game->brightness > 0 && game->brightness < 256) seen.fadeMiddle = true;
    if (game->script.pictureTint == 0xFFCCCC && game->script.visual == 1) {
      seen.tinted = true;
      EXPECT_EQ(pictures.get(28)->tint, 0xFFCCCCu);
    }
    if (game->script.stand[0] >= 0 && game->script.stand[1] >= 0 && game->script.stand[2] >= 0) {
      seen.threeStands = true;
      EXPECT_EQ(game->script.stand[1], 2) << "Aoi on the left";
    }
    if (game->layers().exists(0) && game->layers().get(0)->effect.type == 134) seen.transition = true;
    if (game->message.offset >= 0 && game->backlog().count() == 4) seen.autoMessage = true;
    seen.maxBacklog = std::max(seen.maxBacklog, game->backlog().count());
    if (frames == 80) {
      // The first message is typing in the narration's colour on the shown window.
      EXPECT_EQ(game->script.windowShown, 1u);
      EXPECT_EQ(game->script.visual, 8);
      EXPECT_GT(game->textCells().count, 0);
      EXPECT_EQ(game->strings.get(1), "\x97\x7a\x8d\xd8") << "陽菜";
    }
  }
  EXPECT_EQ(fieldView(game->script.scriptName), festival) << "after " << frames << " frames";
  EXPECT_TRUE(seen.fadeMiddle);
  EXPECT_TRUE(seen.tinted);
  EXPECT_TRUE(seen.threeStands);
  EXPECT_TRUE(seen.transition);
  EXPECT_EQ(game->script.vars[13], 1) << "the introduction marks itself seen";
  EXPECT_EQ(game->choices.chosen, 1) << "Hina chosen";
  EXPECT_EQ(game->script.vars[1], 1) << "a point for Hina";
  EXPECT_GE(seen.maxBacklog, 7u);
  EXPECT_EQ(game->script.windowShown, 0u) << "WINDOW_HIDE before the chapter break";
  EXPECT_EQ(errorWord, 0u);
  EXPECT_EQ(game->visitedScenarios.size(), 2u);
}

}  // namespace
}  // namespace sorel::test
