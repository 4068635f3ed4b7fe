// The eye-catch: its own end after about eight seconds, the end by the advance input, the voice
// per picture number and kind, the jingle, the reveal of all 48 cells, and what both ends free.
#include "engine/content/game_content.h"
#include "engine/resources/format.h"
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class EyeCatch : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    settings.voicePlay = 2;
    addPicture("EyeCatchBg.bmp", 100, 100);
    addPicture("EyeCatchLogo.bmp", 200, 93);
    for (int e = 1; e <= 16; ++e) addPicture(format("EyeCatch%z2.bmp", {e}), 640, 480);
  }
  void start(int picture, int kind) {
    run("PUSH_INT " + std::to_string(picture) + "\nPUSH_INT " + std::to_string(kind) + "\nEYECATCH\nCLEAR_STACK\nYIELD\n");
  }
  bool over() const { return game->script.pc > 2 * kInstructionSize; }
  /// Layers and pictures of the eye-catch that are still there.
  int leftovers() const {
    int n = 0;
    for (int l = 64; l <= 175; ++l) n += game->layers().exists(l);
    n += game->layers().exists(56);
    for (int s = 10; s <= 12; ++s) n += pictures.get(s) != nullptr;
    return n;
  }
};

TEST_F(EyeCatch, EndsByItselfAfterAboutEightSeconds) {
  start(3, 1);
  frame();
  EXPECT_EQ(screens->eyeCatchState().step, 1);
  EXPECT_EQ(sound.musicRequests.back(), "EyeCatch2.mp3@once@100") << "the kind's jingle, once";
  EXPECT_EQ(sound.systemVoices, std::vector<std::string>{"2:" + std::string(eyeCatchVoice(3)) + "@100:prepared"});
  EXPECT_EQ(game->visitedPictures.back(), "EyeCatch04.bmp");
  int frames = 1;
  while (!over() && frames < 1000) frame(), ++frames;
  EXPECT_GE(frames * 16, 8000);
  EXPECT_LE(frames * 16, 8100);
  EXPECT_EQ(game->brightness, 256);
  EXPECT_TRUE(game->clearBeforeDraw);
  EXPECT_EQ(leftovers(), 0);
  EXPECT_TRUE(sound.music.empty()) << "the music stops";
  EXPECT_EQ(sound.starts, std::vector<int>{2}) << "the voice started once the logo was in";
}

TEST_F(EyeCatch, TheAdvanceInputEndsItAtOnceButNotOnItsFirstFrame) {
  start(12, 0);
  press(Key::Right);
  frame();
  release(Key::Right);
  EXPECT_FALSE(over()) << "the first frame ignores it";
  frame(20);
  press(Key::Right);
  frame();
  EXPECT_TRUE(over());
  EXPECT_EQ(leftovers(), 0);
  EXPECT_EQ(game->brightness, 256);
  EXPECT_TRUE(sound.music.empty());
  EXPECT_NE(std::find(sound.stops.begin(), sound.stops.end(), 2), sound.stops.end()) << "the voice stops";
}

TEST_F(EyeCatch, VoicePerPictureAndKind) {
  struct Case {
    int picture, kind;
    std::string voice;  // empty: none
  };
  const Case cases[] = {{0, 0, "hina02.mp3"}, {11, 2, "koharu02.mp3"}, {13, 1, "Multi02.mp3"},
                        {15, 0, "sysmix02.mp3"}, {4, 3, ""}, {20, 0, ""}};
  for (const Case& c : cases) {
    sound.systemVoices.clear();
    makeGame();
    start(c.picture, c.kind);
    frame();
    if (c.voice.empty()) EXPECT_TRUE(sound.systemVoices.empty()) << c.picture << "/" << c.kind;
    else EXPECT_EQ(sound.systemVoices, std::vector<std::string>{"2:" + c.voice + "@100:prepared"}) << c.picture;
  }
  settings.voicePlay = 1;
  sound.systemVoices.clear();
  makeGame();
  start(0, 0);
  frame();
  EXPECT_TRUE(sound.systemVoices.empty()) << "voices off";
  // The largest number a script can push: its picture is "EyeCatch%z2.bmp" of 2147483648 (the
  // lowest two digits), reached without a signed overflow (the sanitizer build stops on one).
  makeGame();
  start(2147483647, 0);
  frame();
  EXPECT_EQ(game->visitedPictures.back(), "EyeCatch48.bmp");
}

TEST_F(EyeCatch, RevealsEveryCellOnceAndDropsTheTiles) {
  start(5, 0);
  frame((48 * 50 + 700) / 16 + 2);  // a cell every 50 ms, each open after 700 ms
  const auto& ec = screens->eyeCatchState();
  EXPECT_EQ(ec.revealed, 48);
  EXPECT_TRUE(ec.finished);
  for (int i = 0; i < 48; ++i) {
    const Sprite* cell = game->layers().get(128 + i);
    ASSERT_NE(cell, nullptr) << i;
    EXPECT_EQ(cell->scaleX, 1000);
    EXPECT_EQ(cell->src.left, 80 * (i % 8));
    EXPECT_EQ(cell->src.top, 80 * (i / 8));
  }
  for (int l = 64; l <= 111; ++l) EXPECT_FALSE(game->layers().exists(l)) << "tiles gone once all cells are open";
}

TEST_F(EyeCatch, TakesTheStorySceneOffTheScreen) {
  game->tables().setVisual(visualTable({{"V0.bmp", ""}}));
  addPicture("V0.bmp", 640, 480);
  run("PUSH_INT 0\nVISUAL_SHOW\nCLEAR_STACK\nPUSH_INT 0\nPUSH_INT 0\nEYECATCH\nYIELD\n");
  frame();
  EXPECT_EQ(game->script.visual, -1);
  EXPECT_FALSE(game->layers().exists(28));
}

}  // namespace
}  // namespace sorel::test
