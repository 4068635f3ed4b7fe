// The story's reach into the screens and the saves: the dispatcher runs the screen of each game
// mode, the screen commands go to the screens while the story moves on past them itself (past
// the eye-catch only once the screens say it is over), a message or a choice takes one snapshot
// when it begins and the story's end drops it; and with nothing wired the story still runs.
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

/// Screens that record what the story asked of them.
class RecordingScreens : public StoryScreens {
 public:
  void titleStep() override { calls.push_back("title"); }
  void galleryStep() override { calls.push_back("gallery"); }
  void replayStep() override { calls.push_back("replay"); }
  void soundModeStep() override { calls.push_back("sound"); }
  bool eyeCatchCommand() override {
    calls.push_back("eyecatch");
    return --eyeCatchFrames <= 0;
  }
  void forgetEyeCatch() override { calls.push_back("forget"); }
  void staffRollBegin() override { calls.push_back("staffroll"); }
  void animShow() override { calls.push_back("show"); }
  void animHide() override { calls.push_back("hide"); }
  void freeStaffRoll() override { calls.push_back("free"); }

  int eyeCatchFrames = 1;  ///< frames until the eye-catch is over
  std::vector<std::string> calls;
};

class RecordingSnapshots : public StorySnapshots {
 public:
  void takeSnapshot() override { ++taken; }
  void dropSnapshot() override { ++dropped; }
  int taken = 0, dropped = 0;
};

class StoryHooks : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    game->setScreens(&recorded);
    game->setSnapshots(&snapshots);
  }
  using Calls = std::vector<std::string>;
  RecordingScreens recorded;
  RecordingSnapshots snapshots;
};

TEST_F(StoryHooks, TheDispatcherRunsTheScreenOfEachMode) {
  const std::pair<uint32_t, const char*> modes[] = {
      {kModeTitle, "title"}, {kModeGallery, "gallery"}, {kModeReplay, "replay"}, {kModeSoundMode, "sound"}};
  for (const auto& [mode, screen] : modes) {
    recorded.calls.clear();
    gameMode = mode;
    frame(2);
    EXPECT_EQ(recorded.calls, (Calls{screen, screen})) << "mode " << mode;
  }
  recorded.calls.clear();
  run("YIELD\n");
  frame();
  EXPECT_TRUE(recorded.calls.empty()) << "story mode runs no screen";
}

TEST_F(StoryHooks, TheEyeCatchHoldsTheStoryUntilTheScreensSayItIsOver) {
  recorded.eyeCatchFrames = 3;
  run("PUSH_INT 0\nPUSH_INT 0\nEYECATCH\nCLEAR_STACK\nYIELD\n");
  const uint32_t at = 2 * kInstructionSize;
  frame(2);
  EXPECT_EQ(game->script.pc, at);
  frame();
  EXPECT_EQ(game->script.pc, at + kInstructionSize) << "over: on past it, and the frame ends there";
  EXPECT_EQ(recorded.calls, (Calls{"eyecatch", "eyecatch", "eyecatch"})) << "once a frame";
}

TEST_F(StoryHooks, TheStaffRollCommandsGoToTheScreensAndTheStoryMovesOn) {
  std::string show;
  for (int i = 0; i < 6; ++i) show += "PUSH_INT 0\n";
  run("PUSH_STRING \"Sheet.bmp\"\nPUSH_INT 0\nPUSH_INT 0\nSTAFFROLL_BEGIN\nCLEAR_STACK\n" + show +
      "ANIM_SHOW\nCLEAR_STACK\nPUSH_INT 0\nANIM_HIDE\nCLEAR_STACK\nSTAFFROLL_END\nYIELD\n");
  frame();
  EXPECT_EQ(recorded.calls, (Calls{"staffroll", "show", "hide", "free"}));
  EXPECT_EQ(game->script.pc, game->program().codeSize()) << "all in one frame, past the YIELD";
  recorded.calls.clear();
  game->endScript();
  EXPECT_EQ(recorded.calls, (Calls{"free"})) << "the story's end frees the staff roll";
}

TEST_F(StoryHooks, AMessageOrAChoiceTakesOneSnapshotAndTheEndDropsIt) {
  run("PUSH_INT 1\nPUSH_INT -1\nPUSH_STRING \"a\", 100\nMESSAGE\nCLEAR_STACK\nCHOICE_BEGIN\nYIELD\n");
  frame(5);
  EXPECT_EQ(snapshots.taken, 1) << "the waiting message took its snapshot once";
  input.tapNow = 1;
  frame(5);
  EXPECT_EQ(snapshots.taken, 2) << "and the choice its own";
  EXPECT_EQ(snapshots.dropped, 0);
  game->endScript();
  EXPECT_EQ(snapshots.dropped, 1);
}

TEST_F(StoryHooks, WithNothingWiredTheStoryStillRuns) {
  game->setScreens(nullptr);
  game->setSnapshots(nullptr);
  gameMode = kModeTitle;
  frame();
  run("PUSH_INT 0\nPUSH_INT 0\nEYECATCH\nCLEAR_STACK\nPUSH_INT 0\nANIM_HIDE\nCLEAR_STACK\nCHOICE_BEGIN\nYIELD\n");
  frame();
  EXPECT_EQ(game->script.pc, 3 * kInstructionSize) << "no eye-catch to wait for; the frame ends there";
  frame();
  EXPECT_EQ(game->script.pc, 9 * kInstructionSize) << "past the YIELD";
  game->endScript();
  EXPECT_EQ(gameMode, uint32_t(kModeTitle));
  EXPECT_EQ(errorWord, 0u);
}

}  // namespace
}  // namespace sorel::test
