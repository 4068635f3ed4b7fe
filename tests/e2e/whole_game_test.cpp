// The whole game as a player meets it, through the real programs: sorel-mkgame writes the sample
// game, convSorel converts it (with its music, without voices) at both screen sizes, and both
// players start with no scenario, headless on the virtual clock. The tour: the title (its intro
// cut short by a tap), New Game, the introduction skipped through with the skip key held, its
// choice, the eye-catch ended by the advance key, the story to the bad end and its staff roll,
// back at the title; then the gallery (the end card seen, viewed once), the replay screen (the
// bad end's replay unlocked), the sound mode (a track played, heard in the captured sound), and
// Quit, which closes the player with exit code 0.
//
// The virtual clock makes every run repeat exactly, so the frames below are fixed. The choices
// go on by themselves (value 0, hence the bad end) until their screen exists; when they start
// to wait, the input and the frames below move.
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
#include "tests/e2e/run_program.h"

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
    {60, "tap", 320, 40},  // the intro, cut short
    {130, "press down"},   // New Game
    {136, "press right"},
    {240, "down left"},    // skipping through the story
    {323, "press right"},  // ends the eye-catch
    {391, "up left"},      // the staff roll at its own pace
    {827, "tap", 320, 40},  // back at the title: the intro again, cut short
    {900, "press up"},      // Quit, then Extras
    {905, "press up"},
    {910, "press right"},
    {1030, "press down"},  // the gallery
    {1035, "press right"},
    {1180, "press up"},    // the back button, then page 13
    {1185, "press up"},
    {1190, "press right"},
    {1200, "tap", 80, 75},  // the first cell: the end card
    {1215, "press right"},  // back to the grid
    {1225, "press up"},
    {1230, "press right"},  // back to the title
    {1430, "press up"},
    {1435, "press up"},
    {1440, "press right"},  // Extras
    {1560, "press down"},
    {1565, "press down"},
    {1570, "press right"},  // the replay screen
    {1715, "press up"},
    {1720, "press up"},
    {1725, "press right"},    // page 2
    {1740, "tap", 624, 464},  // the back button
    {1940, "press up"},
    {1945, "press up"},
    {1950, "press right"},  // Extras
    {2070, "press down"},
    {2075, "press down"},
    {2080, "press down"},
    {2085, "press right"},  // the sound mode
    {2230, "press down"},
    {2235, "press down"},
    {2240, "press down"},
    {2245, "press right"},    // track 3
    {2400, "tap", 499, 455},  // back
    {2600, "press up"},       // Quit
    {2605, "press right"},
};

// Frames the screens are pinned at.
constexpr int kTitleMenu = 125;
constexpr int kStoryStart = 200;
constexpr int kEyeCatchReveal = 310;
constexpr int kEyeCatchEnded = 323;
constexpr int kStaffRoll = 420;
constexpr int kTitleAgain = 797;
constexpr int kGalleryPage13 = 1195;
constexpr int kGalleryView = 1210;
constexpr int kReplayPage2 = 1730;
constexpr int kSoundMode = 2300;
constexpr int kClosed = 2824;  // the last frame: Quit's fade has ended and the window closes
constexpr int kFrameLimit = 3200;

struct Shot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
};

double meanLevel(const Shot& s, int x, int y, int w, int h) {
  double sum = 0;
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) sum += s.at(i, j)[0] + s.at(i, j)[1] + s.at(i, j)[2];
  return sum / (3.0 * w * h);
}

int differing(const Shot& a, int ax, int ay, const Shot& b, int bx, int by, int w, int h) {
  int n = 0;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (std::memcmp(a.at(ax + i, ay + j), b.at(bx + i, by + j), 3) != 0) ++n;
  return n;
}

struct PlayerRun {
  int exitCode = -1;
  std::string output;
  std::vector<std::map<std::string, std::string>> frames;
  std::map<int, Shot> shots;
  std::vector<int16_t> sound;  // interleaved stereo, 22050 Hz

  std::string get(int frame, const std::string& key) const {
    if (frame < 1 || size_t(frame) > frames.size()) return "";
    auto it = frames[size_t(frame) - 1].find(key);
    return it == frames[size_t(frame) - 1].end() ? "" : it->second;
  }
  int num(int frame, const std::string& key) const { return std::atoi(get(frame, key).c_str()); }
  std::string line(int frame) const {
    std::string s;
    if (frame >= 1 && size_t(frame) <= frames.size())
      for (const auto& [k, v] : frames[size_t(frame) - 1]) s += k + "=" + v + " ";
    return s;
  }
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
  static void SetUpTestSuite() {
    s_dir = fs::path(SOREL_TEST_TMP) / "whole_game";
    std::error_code ec;
    fs::remove_all(s_dir, ec);
    fs::create_directories(s_dir, ec);
    const std::string game = (s_dir / "game").string();
    auto made = runProgram("sorel-mkgame", quote(game) + " -q");
    if (made.exitCode != 0) {
      s_problem = "sorel-mkgame: " + made.output;
      return;
    }
    for (int size : {640, 320}) {
      fs::path out = s_dir / ("r" + std::to_string(size));
      fs::create_directories(out, ec);
      auto conv = runProgram("convSorel", "--batch --game " + quote(game) + " --out " + quote(out.string()) +
                                              " --size " + std::to_string(size) + " --no-voices");
      if (conv.exitCode != 0) s_problem = "convSorel --size " + std::to_string(size) + ": " + conv.output;
    }
  }
  void SetUp() override {
    if (!s_problem.empty()) FAIL() << s_problem;
  }

  static PlayerRun play(const std::string& program, int size) {
    const fs::path dir = s_dir / program;
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::ostringstream input;
    for (const Input& i : kTour) {
      input << i.frame << " " << i.what;
      if (std::string(i.what) == "tap") input << " " << i.x * size / 640 << " " << i.y * size / 640;
      input << "\n";
    }
    std::ofstream(dir / "input.txt") << input.str();
    const std::vector<int> shots = {kTitleMenu, kEyeCatchReveal, kStaffRoll, kGalleryPage13, kGalleryView, kReplayPage2,
                                    kSoundMode};
    std::string args = "--root " + quote((s_dir / ("r" + std::to_string(size))).string()) +
                       " --headless --virtual-clock --input " + quote((dir / "input.txt").string()) + " --frames " +
                       std::to_string(kFrameLimit) + " --dump-state " + quote((dir / "state.txt").string()) +
                       " --audio-out " + quote((dir / "sound.wav").string());
    for (int f : shots) args += " --screenshot " + quote(std::to_string(f) + ":" + (dir / (std::to_string(f) + ".png")).string());
    PlayerRun run;
    auto r = runProgram(program, args);
    run.exitCode = r.exitCode;
    run.output = r.output;
    std::ifstream dump(dir / "state.txt");
    for (std::string line; std::getline(dump, line);) {
      std::map<std::string, std::string> values;
      std::istringstream words(line);
      for (std::string word; words >> word;)
        if (auto eq = word.find('='); eq != std::string::npos) values[word.substr(0, eq)] = word.substr(eq + 1);
      run.frames.push_back(std::move(values));
    }
    for (int f : shots) {
      std::ifstream in(dir / (std::to_string(f) + ".png"), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      Shot s;
      if (platform::decodePngRgb(bytes, s.rgb, s.width, s.height)) run.shots[f] = std::move(s);
    }
    // The capture is a 44-byte WAVE header and 16-bit stereo samples.
    std::ifstream wav(dir / "sound.wav", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(wav)), std::istreambuf_iterator<char>());
    if (bytes.size() > 44) {
      run.sound.resize((bytes.size() - 44) / 2);
      std::memcpy(run.sound.data(), bytes.data() + 44, run.sound.size() * 2);
    }
    return run;
  }

  static void checkTour(const PlayerRun& run, int size) {
    const int W = size, H = size * 3 / 4;
    auto px = [&](int design) { return design * W / 640; };
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(run.frames.size(), size_t(kClosed)) << "Quit closes the player\n" << run.output;
    for (int f : {kTitleMenu, kEyeCatchReveal, kStaffRoll, kGalleryPage13, kGalleryView, kReplayPage2, kSoundMode})
      ASSERT_EQ(run.shots.count(f), 1u) << "no screenshot of frame " << f;

    // Started without a scenario: the title, its music, the menu after the tap.
    EXPECT_EQ(run.get(1, "mode"), "0");
    EXPECT_EQ(run.get(59, "sub"), "2") << "the intro";
    EXPECT_EQ(run.get(kTitleMenu, "sub"), "4") << run.line(kTitleMenu);
    EXPECT_EQ(run.get(kTitleMenu, "music"), "オープニング.mp3");
    const Shot& title = run.shots.at(kTitleMenu);
    EXPECT_GT(meanLevel(title, px(212), px(220), px(216), px(40)), 60) << "the New Game item is on screen";

    // New Game: the introduction, its eye-catch (ended by the advance key), the bad end.
    EXPECT_EQ(run.get(kStoryStart, "mode"), "99");
    EXPECT_EQ(run.get(kStoryStart, "scenario"), "01-01(導入).bin");
    EXPECT_EQ(run.num(kEyeCatchReveal, "eyecatch"), 2) << run.line(kEyeCatchReveal);
    EXPECT_EQ(run.get(kEyeCatchReveal, "music"), "EyeCatch1.mp3") << "the jingle";
    EXPECT_GT(meanLevel(run.shots.at(kEyeCatchReveal), 0, 0, W, H), 100) << "tiles and the revealed picture";
    EXPECT_EQ(run.num(kEyeCatchEnded, "eyecatch"), 6);
    EXPECT_EQ(run.get(kEyeCatchEnded + 1, "scenario"), "02-01(文化祭).bin");

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
    EXPECT_LT(run.loudness(2160, 2240), 300) << "no music before a track is chosen";
    EXPECT_GT(run.loudness(2260, 2390), 1000) << "the track in the capture";

    // Quit: the close message after the fade.
    EXPECT_EQ(run.get(kClosed, "sub"), "999");
  }

  static inline fs::path s_dir;
  static inline std::string s_problem;
};

TEST_F(WholeGame, BothPlayersTourTheGameFromTitleToQuit) {
  checkTour(play("pocketplayer", 640), 640);
  checkTour(play("handheldplayer", 320), 320);
}

}  // namespace
}  // namespace sorel::test
