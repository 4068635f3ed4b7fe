// The whole game as a player meets it, through the real programs: sorel-mkgame writes the sample
// game, convSorel converts it (with its music, without voices) at both screen sizes, and both
// players start with no scenario, headless on the virtual clock. The tour: the title (its opening
// movie ended by a tap, then its intro cut short by another), New Game, the introduction skipped
// through with the skip key held, each choice decided with the keys (the first one of the
// introduction, the festival and the sports day; on the school trip's evening the last one,
// "ひとりで星を見る", which gives nobody the points a route needs, hence the bad end), the
// eye-catch ended by the advance key, the bad end and its staff roll, back at the title (the
// movie and the intro cut short again); then the gallery (the end card seen, viewed once), the
// replay screen (the bad end's replay unlocked), the sound mode (a track played, heard in the
// captured sound), and Quit, which closes the player with exit code 0.
//
// The virtual clock makes every run repeat exactly, so the frames below are fixed. The choices
// wait for the player: each is decided a few frames after its bars appear.
#include <gtest/gtest.h>

#include <cmath>
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

// The tour's input: frame, what, and for taps a point in design units (640 × 480).
struct Input {
  int frame;
  const char* what;  // "tap", "press KEY", "down KEY", "up KEY"
  int x = 0, y = 0;
};
constexpr Input kTour[] = {
    {30, "tap", 320, 40},  // the opening movie, ended
    {90, "tap", 320, 40},  // the intro, cut short
    {160, "press down"},   // New Game
    {166, "press right"},
    {270, "down left"},    // skipping through the story
    {295, "press down"},   // the introduction's choice: the first bar
    {300, "press right"},
    {353, "press right"},  // ends the eye-catch
    {375, "press down"},   // the festival's choice: the first bar
    {380, "press right"},
    {405, "press down"},   // the sports day's choice: the first bar
    {410, "press right"},
    {440, "press up"},     // the school trip's evening: the last bar, alone
    {445, "press right"},
    {461, "up left"},       // the staff roll at its own pace
    {894, "tap", 320, 40},  // back at the title: the movie again, ended
    {954, "tap", 320, 40},  // the intro again, cut short
    {1027, "press up"},     // Quit, then Extras
    {1032, "press up"},
    {1037, "press right"},
    {1157, "press down"},  // the gallery
    {1162, "press right"},
    {1307, "press up"},    // the back button, then page 13
    {1312, "press up"},
    {1317, "press right"},
    {1327, "tap", 80, 75},  // the first cell: the end card
    {1342, "press right"},  // back to the grid
    {1352, "press up"},
    {1357, "press right"},  // back to the title
    {1557, "press up"},
    {1562, "press up"},
    {1567, "press right"},  // Extras
    {1687, "press down"},
    {1692, "press down"},
    {1697, "press right"},  // the replay screen
    {1842, "press up"},
    {1847, "press up"},
    {1852, "press right"},    // page 2
    {1867, "tap", 624, 464},  // the back button
    {2067, "press up"},
    {2072, "press up"},
    {2077, "press right"},  // Extras
    {2197, "press down"},
    {2202, "press down"},
    {2207, "press down"},
    {2212, "press right"},  // the sound mode
    {2357, "press down"},
    {2362, "press down"},
    {2367, "press down"},
    {2372, "press right"},    // track 3
    {2527, "tap", 499, 455},  // back
    {2727, "press up"},       // Quit
    {2732, "press right"},
};

// Frames the screens are pinned at.
constexpr int kTitleMenu = 155;
constexpr int kStoryStart = 230;
constexpr int kFirstChoice = 290;
constexpr int kEyeCatchReveal = 350;
constexpr int kEyeCatchEnded = 353;
constexpr int kLastChoice = 442;
constexpr int kStaffRoll = 490;
constexpr int kTitleAgain = 863;
constexpr int kGalleryPage13 = 1322;
constexpr int kGalleryView = 1337;
constexpr int kReplayPage2 = 1857;
constexpr int kSoundMode = 2427;
constexpr int kClosed = 2951;  // the last frame: Quit's fade has ended and the window closes
constexpr int kFrameLimit = 3200;

/// The tour's run: its state dump, screenshots and captured sound.
struct TourRun : PlayerRun {
  /// Root mean square of the captured sound over frames [from, to).
  double loudness(int from, int to) const {
    const size_t a = size_t(from) * 16 * 22050 / 1000 * 2, b = size_t(to) * 16 * 22050 / 1000 * 2;
    if (b > sound.size() || a >= b) return -1;
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += double(sound[i]) * sound[i];
    return std::sqrt(sum / double(b - a));
  }
};

class WholeGame : public ::testing::Test {
 protected:
  // The sample game with its music, without voices, once per screen size.
  static void SetUpTestSuite() {
    s_dir = fs::path(SOREL_TEST_TMP) / "whole_game";
    for (int size : {640, 320}) s_problem += copySample(s_dir / ("r" + std::to_string(size)), size, {"voice.mlz"});
  }
  void SetUp() override {
    if (!s_problem.empty()) FAIL() << s_problem;
  }

  static fs::path runFolder(const std::string& program, bool window) {
    return s_dir / program / (window ? "window" : "headless");
  }

  /// The tour, headless, or with window options (SDL's dummy video driver) with every update of
  /// the window checked against a whole redraw.
  static TourRun play(const std::string& program, int size, const std::string& window = "") {
    const fs::path dir = runFolder(program, !window.empty());
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    // A fresh copy of the converted game: a run leaves its saves and system data behind.
    fs::copy(s_dir / ("r" + std::to_string(size)), dir / "root", fs::copy_options::recursive, ec);
    std::ostringstream input;
    for (const Input& i : kTour) {
      input << i.frame << " " << i.what;
      if (std::string(i.what) == "tap") input << " " << i.x * size / 640 << " " << i.y * size / 640;
      input << "\n";
    }
    TourRun run;
    static_cast<PlayerRun&>(run) = test::play(
        program, dir / "root", dir,
        {.input = input.str(), .frames = kFrameLimit,
         .shots = {kTitleMenu, kEyeCatchReveal, kStaffRoll, kGalleryPage13, kGalleryView, kReplayPage2, kSoundMode},
         .sound = true, .show = window.empty() ? "--headless" : "--check-present " + window});
    return run;
  }

  /// The headless tour gives the state dump, screenshots and sound recorded in
  /// whole_game.sha256 beside this file, byte for byte: rearranging the engine must not change
  /// what a player shows or plays. A change that means to (a new picture, a fixed timing) records
  /// the lines this prints.
  static void expectRecordedResults(const std::string& program) {
    auto hashes = runCommand("cd " + quote(runFolder(program, false).string()) + " && sha256sum state.txt sound.wav *.png");
    ASSERT_EQ(hashes.exitCode, 0) << hashes.output;
    std::string now, recorded;
    std::istringstream lines(hashes.output);
    for (std::string line; std::getline(lines, line);) now += line.substr(0, 66) + program + "/" + line.substr(66) + "\n";
    std::ifstream file(fs::path(SOREL_SOURCE_DIR) / "tests" / "e2e" / "whole_game.sha256");
    for (std::string line; std::getline(file, line);)
      if (line.find("  " + program + "/") != std::string::npos) recorded += line + "\n";
    EXPECT_EQ(now, recorded) << "the tour's results differ from the recorded ones; now:\n" << now;
  }

  static void checkTour(const TourRun& run, int size) {
    const int W = size, H = size * 3 / 4;
    auto px = [&](int design) { return design * W / 640; };
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.frames.size(), size_t(kClosed)) << "Quit closes the player\n" << run.output;
    for (int f : {kTitleMenu, kEyeCatchReveal, kStaffRoll, kGalleryPage13, kGalleryView, kReplayPage2, kSoundMode})
      ASSERT_EQ(run.shots.count(f), 1u) << "no screenshot of frame " << f;

    // Started without a scenario: the title's opening movie (no title music yet), the intro after
    // the first tap, its music, the menu after the second.
    EXPECT_EQ(run.get(1, "mode"), "0");
    EXPECT_EQ(run.get(29, "sub"), "1") << "the opening movie";
    EXPECT_EQ(run.get(29, "music"), "-");
    EXPECT_EQ(run.get(89, "sub"), "2") << "the intro";
    EXPECT_EQ(run.get(kTitleMenu, "sub"), "4") << run.line(kTitleMenu);
    EXPECT_EQ(run.get(kTitleMenu, "music"), "オープニング.mp3");
    const Shot& title = run.shots.at(kTitleMenu);
    EXPECT_GT(meanLevel(title, px(212), px(220), px(216), px(40)), 60) << "the New Game item is on screen";

    // New Game: the introduction, its choice waiting for the player, its eye-catch (ended by the
    // advance key), the bad end.
    EXPECT_EQ(run.get(kStoryStart, "mode"), "99");
    EXPECT_EQ(run.get(kStoryStart, "scenario"), "01-01(導入).bin");
    EXPECT_EQ(run.num(kFirstChoice, "choices"), 3) << run.line(kFirstChoice);
    EXPECT_EQ(run.num(294, "choices"), 3) << "the choice waits while the skip key is held";
    EXPECT_EQ(run.num(294, "ccursor"), 100) << "no bar selected yet";
    EXPECT_EQ(run.num(296, "ccursor"), 0);
    EXPECT_EQ(run.num(301, "chosen"), 1) << "陽菜";
    EXPECT_EQ(run.num(kEyeCatchReveal, "eyecatch"), 2) << run.line(kEyeCatchReveal);
    EXPECT_EQ(run.get(kEyeCatchReveal, "music"), "EyeCatch1.mp3") << "the jingle";
    EXPECT_GT(meanLevel(run.shots.at(kEyeCatchReveal), 0, 0, W, H), 100) << "tiles and the revealed picture";
    EXPECT_EQ(run.num(kEyeCatchEnded, "eyecatch"), 6);
    EXPECT_EQ(run.get(kEyeCatchEnded + 1, "scenario"), "02-01(文化祭).bin");
    EXPECT_EQ(run.get(kLastChoice, "scenario"), "02-03(修学旅行).bin");
    EXPECT_EQ(run.num(kLastChoice, "choices"), 4);
    EXPECT_EQ(run.num(kLastChoice, "ccursor"), 3) << "the last bar, chosen with up";
    EXPECT_EQ(run.num(446, "chosen"), 4) << "alone";

    // The staff roll on its white background.
    EXPECT_EQ(run.get(kStaffRoll, "scenario"), "03-13(BADEND).bin");
    EXPECT_EQ(run.num(kStaffRoll, "staffroll"), 12) << run.line(kStaffRoll);
    EXPECT_EQ(run.num(kStaffRoll, "grey"), 1);
    const Shot& roll = run.shots.at(kStaffRoll);
    EXPECT_GT(meanLevel(roll, 0, 0, W, px(150)), 250) << "white above the credits";
    EXPECT_LT(meanLevel(roll, px(80), px(184), px(480), px(32)), 245) << "a credit line";

    // The end of the story returns to the title.
    EXPECT_EQ(run.get(kTitleAgain - 1, "mode"), "99");
    EXPECT_EQ(run.get(kTitleAgain, "mode"), "0") << run.line(kTitleAgain);

    // The gallery: the end card, seen in the bad end, unlocked on page 13; viewed whole.
    EXPECT_EQ(run.get(kGalleryPage13, "mode"), "60");
    EXPECT_EQ(run.num(kGalleryPage13, "page"), 12);
    EXPECT_EQ(run.num(kGalleryPage13, "unlocked"), 1);
    const Shot& grid = run.shots.at(kGalleryPage13);
    EXPECT_GT(differing(grid, px(16), px(27), grid, px(152), px(27), px(128), px(96)), px(128) * px(96) / 2)
        << "the unlocked cell shows its thumbnail, the next one the locked picture";
    EXPECT_EQ(run.get(kGalleryView, "sub"), "21");
    EXPECT_LT(meanLevel(run.shots.at(kGalleryView), 0, 0, W, H), 80) << "the dark end card fills the screen";

    // The replay screen: nothing on page 1, the bad end's replay on page 2.
    EXPECT_EQ(run.get(kReplayPage2, "mode"), "70");
    EXPECT_EQ(run.num(kReplayPage2, "page"), 1);
    EXPECT_EQ(run.num(kReplayPage2, "unlocked"), 1);
    EXPECT_EQ(run.num(kReplayPage2 - 20, "unlocked"), 0) << "page 1";

    // The sound mode: track 3 plays and is heard; silence before it.
    EXPECT_EQ(run.get(kSoundMode, "mode"), "80");
    EXPECT_EQ(run.num(kSoundMode, "track"), 3);
    EXPECT_EQ(run.get(kSoundMode, "music"), "BGM_School.mp3");
    EXPECT_LT(run.loudness(2287, 2367), 300) << "no music before a track is chosen";
    EXPECT_GT(run.loudness(2387, 2517), 1000) << "the track in the capture";

    // Quit: the close message after the fade.
    EXPECT_EQ(run.get(kClosed, "sub"), "999");
  }

  static inline fs::path s_dir;
  static inline std::string s_problem;
};

// One test, so that ctest never runs two of them over the same sample game at once.
TEST_F(WholeGame, BothPlayersTourTheGameFromTitleToQuit) {
  // In a window the tour is the same game with the same screenshots, and every window update
  // (only the changed rectangles, scaled to the window) equals a whole redraw of the device's
  // screen. Full screen on the dummy driver's 1024 × 768 display scales by 1.6.
  const struct {
    const char* program;
    int size;
    const char* window;
  } runs[] = {{"pocketplayer", 640, "--fullscreen"}, {"handheldplayer", 320, "--scale 3 --integer-scale"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.program);
    const TourRun headless = play(r.program, r.size);
    checkTour(headless, r.size);
    expectRecordedResults(r.program);
    const TourRun shown = play(r.program, r.size, r.window);
    EXPECT_EQ(shown.exitCode, 0) << shown.output;
    EXPECT_NE(shown.output.find(" window updates, 0 differing from a whole redraw"), std::string::npos) << shown.output;
    ASSERT_EQ(shown.frames.size(), headless.frames.size());
    for (int f = 1; f <= int(headless.frames.size()); ++f) ASSERT_EQ(shown.line(f), headless.line(f)) << "frame " << f;
    for (const auto& [frame, shot] : headless.shots)
      EXPECT_TRUE(shown.shots.count(frame) && shown.shots.at(frame).rgb == shot.rgb) << "screenshot " << frame;
  }

  // A frame that changes nothing is not shown: with the message window hidden the screen stands
  // still, and a run twice as long updates the window not once more.
  auto updates = [&](int frames) {
    const fs::path dir = s_dir / "still";
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    fs::copy(s_dir / "r640", dir / "root", fs::copy_options::recursive, ec);
    // z hides the message window once the text waits.
    auto r = test::play("pocketplayer", dir / "root", dir,
                        {.input = "300 press z\n", .frames = frames, .scenario = "01-01(導入).bin", .show = "--check-present"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const size_t at = r.output.find("present check: ");
    return at == std::string::npos ? -1 : std::atoi(r.output.c_str() + at + 15);
  };
  const int still = updates(400);
  EXPECT_GT(still, 0);
  EXPECT_EQ(updates(800), still);
}

}  // namespace
}  // namespace sorel::test
