// The story as a player meets it, through the real programs: sorel-mkgame writes the sample
// game, convSorel converts it at both screen sizes, and pocketplayer (advance key) and
// handheldplayer (stylus taps) play the introduction headless on the virtual clock up to its
// jump into chapter two and on to the first shake of that chapter. The players' state dump
// (--dump-state) tells what the story did in every frame; screenshots taken at chosen frames
// show that it reached the screen: the fade, the speaker's colour, the scene transition half
// way, the backlog and its closing, the flash and the shake.
//
// The virtual clock makes every run repeat exactly, so the chosen frames are fixed. The game is
// converted without its sound, so that no voice or effect length sets the pace (a line without
// its voice stays a second to be read). The reader takes the first choice; the eye-catch is
// ended by the advance input half way through its reveal.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/screenshot.h"
#include "tests/e2e/player_run.h"

namespace sorel::test {
namespace {

namespace fs = std::filesystem;

// Frames of the introduction (the same on both screens: the story runs on time, not on pixels).
constexpr int kFadeMiddle = 31;           // the opening fade from black, half way
constexpr int kFirstMessageShown = 100;   // the narration typed out, the click marker up
constexpr int kBeforeTransition = 195;    // the memory's last frame: the screen the capture takes
constexpr int kTransitionStart = 196;     // the scene transition to the school gate begins
constexpr int kTransitionMiddle = 227;    // 496 ms into it
constexpr int kTransitionDone = 259;      // the gate alone, before the first sprite
constexpr int kHinaTyped = 284;           // Hina's greeting typed out, her face beside it
constexpr int kThreeSprites = 373;
constexpr int kBeforeBacklog = 475;
constexpr int kBacklogOpen = 476;         // up opens the backlog view ...
constexpr int kBacklogShown = 484;
constexpr int kBacklogClosed = 504;       // ... and down closes it again
constexpr int kEyeCatchStart = 556;       // the eye-catch's first frame ...
constexpr int kEyeCatchAborted = 602;     // ... ended by the advance input during its reveal
constexpr int kJumped = 603;              // the first frame of chapter two
constexpr int kFlash = 822;               // the one white frame of the flash
constexpr int kShakeDown = 824;           // the first frame of the shake: the picture moved down
constexpr int kShakeUp = 828;             // and up
constexpr int kLastFrame = 839;

// The reader's input: the advance input a moment after each click marker appears, and the
// backlog opened and closed at Shiori's message.
struct Input {
  int frame;
  const char* what;  // "advance", "up", "down"
};
constexpr Input kInput[] = {{112, "advance"}, {150, "advance"}, {195, "advance"}, {296, "advance"},
                            {334, "advance"}, {447, "advance"}, {449, "choose"},  {476, "up"},
                            {504, "down"},    {518, "advance"}, {554, "advance"}, {kEyeCatchAborted, "advance"},
                            {703, "advance"}, {746, "advance"}, {786, "advance"}, {821, "advance"}};

// Speaker colours set in sorel.cfg (0x00RRGGBB): Hina and Aoi.
constexpr uint32_t kHinaColour = 0xFF6666;
constexpr uint32_t kAoiColour = 0x6699FF;

/// The colour a 0x00RRGGBB text colour has in a screenshot (through RGB565).
std::array<uint8_t, 3> onScreen(uint32_t rgb) {
  const uint16_t v = uint16_t(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb & 0xFF) >> 3));
  std::array<uint8_t, 3> c{};
  platform::expandRgb565(v, c[0], c[1], c[2]);
  return c;
}

class StoryOnScreen : public ::testing::Test {
 protected:
  // The sample game without its sound, once per screen size.
  static void SetUpTestSuite() {
    s_dir = fs::path(SOREL_TEST_TMP) / "story_on_screen";
    for (int size : {640, 320}) {
      s_problem += copySample(root(size), size, {"bgm", "voice.mlz"});
      // Two speakers get colours of their own; the profile keys are Shift-JIS.
      std::ofstream(root(size) / "sorel.cfg", std::ios::binary)
          << "[MESSAGE_COLOR]\r\n\x97\x7a\x8d\xd8=" + std::to_string(kHinaColour) + "\r\n\x88\xa8=" +
                 std::to_string(kAoiColour) + "\r\n";
    }
  }
  void SetUp() override {
    if (!s_problem.empty()) FAIL() << s_problem;
  }
  static fs::path root(int size) { return s_dir / ("r" + std::to_string(size)); }

  /// Plays the introduction in a player: taps (at a spot above the window) or the advance key
  /// for the advance input; screenshots at the given frames.
  static PlayerRun play(const std::string& program, int size, bool taps, const std::vector<int>& shotFrames) {
    std::ostringstream input;
    for (const Input& i : kInput) {
      std::string what = i.what;
      if (what == "advance") what = taps ? "tap " + std::to_string(size / 4) + " " + std::to_string(size / 8) : "press right";
      // The first choice's first bar (Hina): a tap on it, or down and the advance key.
      else if (what == "choose") what = taps ? "tap " + std::to_string(300 * size / 640) + " " + std::to_string(108 * size / 640)
                                             : "press down\n" + std::to_string(i.frame) + " press right";
      else what = "press " + what;
      input << i.frame << " " << what << "\n";
    }
    return test::play(program, root(size), s_dir / program,
                      {.input = input.str(), .frames = kLastFrame, .scenario = "01-01(導入).bin", .shots = shotFrames});
  }

  /// Everything both players must show; size is the screen width.
  static void checkIntroduction(const PlayerRun& run, int size) {
    const int W = size, H = size * 3 / 4;
    auto px = [&](int design) { return design * W / 640; };  // design units on this screen
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.frames.size(), size_t(kLastFrame)) << run.output;
    for (int f : {kFadeMiddle, kFirstMessageShown, kBeforeTransition, kTransitionMiddle, kTransitionDone, kHinaTyped,
                  kBeforeBacklog, kBacklogShown, kBacklogClosed + 1, kFlash, kShakeDown - 1, kShakeDown, kShakeUp})
      ASSERT_EQ(run.shots.count(f), 1u) << "no screenshot of frame " << f;
    const Shot& fade = run.shots.at(kFadeMiddle);
    ASSERT_EQ(fade.width, W);
    ASSERT_EQ(fade.height, H);

    // The opening fade from black: the room at half brightness, then whole.
    EXPECT_EQ(run.get(1, "scenario"), "01-01(導入).bin");
    EXPECT_EQ(run.num(1, "brightness"), 0) << run.line(1);
    EXPECT_EQ(run.num(kFadeMiddle, "effect"), 1046) << run.line(kFadeMiddle);
    const int dimmed = run.num(kFadeMiddle, "brightness");
    EXPECT_GT(dimmed, 64);
    EXPECT_LT(dimmed, 192);
    const Shot& lit = run.shots.at(kFirstMessageShown);
    const double ratio = meanLevel(fade, 0, 0, W, px(300)) / meanLevel(lit, 0, 0, W, px(300));
    EXPECT_NEAR(ratio, dimmed / 256.0, 0.08) << "the picture is as dark as the tone";

    // The first message types in, waits with the marker, and goes to the backlog on the advance.
    EXPECT_EQ(run.num(kFirstMessageShown, "window"), 1);
    EXPECT_LT(run.num(kFirstMessageShown - 25, "cells"), run.num(kFirstMessageShown, "cells")) << "typing";
    EXPECT_EQ(run.num(kFirstMessageShown, "marker"), 1) << run.line(kFirstMessageShown);
    EXPECT_EQ(run.num(111, "backlog"), 0);
    EXPECT_EQ(run.num(112, "backlog"), 1) << "the advance input takes the reader on";
    // The narration is white; none of it in Hina's colour.
    const auto white = onScreen(0xFFFFFF), hina = onScreen(kHinaColour), aoi = onScreen(kAoiColour);
    const int textY = px(318 + 40), textH = px(80);
    EXPECT_GT(countColour(lit, px(64), textY, W - px(64), textH, white), px(400));
    EXPECT_EQ(countColour(lit, 0, textY, W, textH, hina), 0);

    // The scene transition: the captured classroom is wiped away column by column over the gate.
    EXPECT_EQ(run.num(kTransitionStart - 1, "capture"), 0);
    for (int f = kTransitionStart; f < kTransitionDone - 1; ++f) {
      ASSERT_EQ(run.num(f, "effect"), 1060) << run.line(f);
      ASSERT_EQ(run.num(f, "capture"), 134) << run.line(f);
    }
    EXPECT_EQ(run.num(kTransitionDone, "capture"), 0) << run.line(kTransitionDone);
    EXPECT_EQ(run.num(kTransitionDone, "visual"), 0) << "the gate";
    const Shot& before = run.shots.at(kBeforeTransition);
    const Shot& middle = run.shots.at(kTransitionMiddle);
    const Shot& after = run.shots.at(kTransitionDone);
    const int sceneH = px(300);  // above the window
    // Half way the first quarter of the columns has gone and the last quarter is still whole.
    EXPECT_EQ(differing(middle, 0, 0, after, 0, 0, W / 4, sceneH), 0) << "the left shows the gate";
    EXPECT_GT(differing(middle, W / 4, 0, after, W / 4, 0, W / 2, sceneH), 0) << "the middle is cut in columns";
    EXPECT_EQ(differing(middle, W * 3 / 4, 0, before, W * 3 / 4, 0, W / 4, sceneH), 0)
        << "the right still shows the classroom";
    EXPECT_GT(differing(before, 0, 0, after, 0, 0, W, sceneH), W * sceneH / 2) << "the two scenes differ";

    // Hina speaks in her colour, her face beside the text; then the three sprites.
    EXPECT_EQ(run.num(kHinaTyped, "face"), 1);
    EXPECT_EQ(run.num(kHinaTyped, "marker"), 1) << run.line(kHinaTyped);
    const Shot& greeting = run.shots.at(kHinaTyped);
    EXPECT_GT(countColour(greeting, px(168), textY, W - px(168), textH, hina), px(300));
    EXPECT_EQ(countColour(greeting, px(168), textY, W - px(168), textH, white), 0);
    EXPECT_EQ(run.get(kThreeSprites, "stands"), "1,2,5");

    // The backlog opens with up over Shiori's message and shows earlier lines in their speakers'
    // colours; down closes it and the screen is as it was.
    EXPECT_EQ(run.num(kBacklogOpen - 1, "mode"), 99);
    EXPECT_EQ(run.num(kBacklogOpen, "mode"), 95) << run.line(kBacklogOpen);
    EXPECT_EQ(run.num(kBacklogClosed - 1, "mode"), 95);
    EXPECT_EQ(run.num(kBacklogClosed, "mode"), 99) << run.line(kBacklogClosed);
    EXPECT_EQ(run.num(kBacklogClosed, "backlog"), 6) << "looking back adds nothing";
    const Shot& backlog = run.shots.at(kBacklogShown);
    EXPECT_GT(countColour(backlog, 0, 0, W, H, hina), px(200));
    EXPECT_GT(countColour(backlog, 0, 0, W, H, aoi), px(200));
    // The click marker animates meanwhile: everything but its corner is the same again.
    EXPECT_EQ(differing(run.shots.at(kBacklogClosed + 1), 0, 0, run.shots.at(kBeforeBacklog), 0, 0, px(600), H), 0);

    // The introduction ends: the window goes, and the jump lands in chapter two.
    EXPECT_EQ(run.num(kEyeCatchStart, "eyecatch"), 1) << run.line(kEyeCatchStart);
    EXPECT_EQ(run.num(kEyeCatchAborted - 1, "eyecatch"), 2) << "revealing the picture";
    EXPECT_EQ(run.num(kEyeCatchAborted, "eyecatch"), 6) << "the advance input ends it";
    EXPECT_EQ(run.get(kJumped - 1, "scenario"), "01-01(導入).bin");
    EXPECT_EQ(run.num(kJumped - 1, "window"), 0);
    EXPECT_EQ(run.num(kJumped - 1, "backlog"), 8) << run.line(kJumped - 1);
    EXPECT_EQ(run.get(kJumped, "scenario"), "02-01(文化祭).bin") << run.line(kJumped);
    EXPECT_EQ(run.num(kJumped, "effect"), 1047) << "chapter two fades in";

    // The flash is one white frame; the shake moves the whole picture 10 design lines down, then up.
    EXPECT_EQ(run.num(kFlash, "brightness"), 512);
    EXPECT_EQ(run.num(kFlash + 1, "brightness"), 256);
    EXPECT_EQ(countColour(run.shots.at(kFlash), 0, 0, W, px(300), white), W * px(300));
    const int d = 10 * H / 480;
    EXPECT_EQ(run.get(kShakeDown, "shake"), "0," + std::to_string(d));
    EXPECT_EQ(run.get(kShakeUp, "shake"), "0,-" + std::to_string(d));
    const Shot& rest = run.shots.at(kShakeDown - 1);
    EXPECT_EQ(differing(run.shots.at(kShakeDown), 0, d, rest, 0, 0, W, H - d), 0);
    EXPECT_EQ(differing(run.shots.at(kShakeUp), 0, 0, rest, 0, d, W, H - d), 0);
    EXPECT_GT(differing(run.shots.at(kShakeDown), 0, 0, rest, 0, 0, W, H), 0);
  }

  static const std::vector<int>& shotFrames() {
    static const std::vector<int> frames{kFadeMiddle,    kFirstMessageShown, kBeforeTransition, kTransitionMiddle,
                                         kTransitionDone, kHinaTyped,        kBeforeBacklog,    kBacklogShown,
                                         kBacklogClosed + 1, kFlash,         kShakeDown - 1,    kShakeDown,
                                         kShakeUp};
    return frames;
  }

  static fs::path s_dir;
  static std::string s_problem;
};

fs::path StoryOnScreen::s_dir;
std::string StoryOnScreen::s_problem;

TEST_F(StoryOnScreen, BothPlayersPlayTheIntroductionToChapterTwo) {
  {
    SCOPED_TRACE("pocketplayer, the advance key");
    checkIntroduction(play("pocketplayer", 640, false, shotFrames()), 640);
  }
  {
    SCOPED_TRACE("handheldplayer, taps");
    checkIntroduction(play("handheldplayer", 320, true, shotFrames()), 320);
  }
}

}  // namespace
}  // namespace sorel::test
