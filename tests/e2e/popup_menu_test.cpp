// The pop-up menu through the real players: the sample game is made and converted at both
// sizes, each player runs headless on the virtual clock with an input script that opens the menu
// with its key and switches the voices on (設定 → 音声 → 再生), once with the keys and once by
// tapping the items; sorel.cfg then holds VOICE_PLAY=2. Screenshots show the box at the top-left
// in its face colour while the menu is open, and nothing of it once it has closed.
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

#include "platform/screenshot.h"
#include "tests/e2e/run_program.h"

namespace sorel::test {
namespace {

namespace fs = std::filesystem;

// The first message of the introduction waits for the reader from about frame 100 on; the menu
// opens over it.
constexpr int kBeforeOpen = 108;
constexpr int kOpen = 110;
constexpr int kLastFrame = 180;
// Root rows: ﾛｰﾄﾞ, ｾｰﾌﾞ, ひとつ前の選択肢に戻る, —, 表示効果, 設定 …; 設定: 基準音量, ﾐｭｰｼﾞｯｸ, 音声 …;
// 音声: 音量, —, 再生.
constexpr int kSettingsRow = 5, kVoiceRow = 2, kPlayRow = 2;

struct Shot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
};

/// The box's face colour (212, 208, 200) as it reaches the screen through RGB565.
std::array<uint8_t, 3> faceOnScreen() {
  std::array<uint8_t, 3> c{};
  platform::expandRgb565(uint16_t(((212 & 0xF8) << 8) | ((208 & 0xFC) << 3) | (200 >> 3)), c[0], c[1], c[2]);
  return c;
}

int countColour(const Shot& s, int x0, int y0, int x1, int y1, std::array<uint8_t, 3> c) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (std::memcmp(s.at(x, y), c.data(), 3) == 0) ++n;
  return n;
}

int differing(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) ++n;
  return n;
}

class MenuInPlayers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = fs::path(SOREL_TEST_TMP) / "menu_in_players";
    s_problem = makeSampleConversions(s_dir, "--no-music --no-voices", {640, 320}, "data");
  }
  void SetUp() override {
    if (!s_problem.empty()) FAIL() << s_problem;
  }

  struct Run {
    int exitCode = -1;
    std::string output, config;
    std::map<int, Shot> shots;
  };

  /// Plays with the input script; the program folder is a fresh copy of the data so that each
  /// run starts without sorel.cfg.
  static Run play(const std::string& program, int size, const std::string& name, const std::string& input,
                  const std::vector<int>& shotFrames) {
    const fs::path root = s_dir / name;
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root, ec);
    fs::copy(s_dir / ("data" + std::to_string(size)), root, fs::copy_options::recursive, ec);
    std::ofstream(root / "input.txt") << input;
    std::string args = "--root " + quote(root.string()) + " --headless --virtual-clock --scenario " +
                       quote("01-01(導入).bin") + " --input " + quote((root / "input.txt").string()) + " --frames " +
                       std::to_string(kLastFrame);
    for (int f : shotFrames)
      args += " --screenshot " + quote(std::to_string(f) + ":" + (root / (std::to_string(f) + ".png")).string());
    Run run;
    auto r = runProgram(program, args);
    run.exitCode = r.exitCode;
    run.output = r.output;
    std::ifstream cfg(root / "sorel.cfg", std::ios::binary);
    run.config.assign(std::istreambuf_iterator<char>(cfg), std::istreambuf_iterator<char>());
    for (int f : shotFrames) {
      std::ifstream in(root / (std::to_string(f) + ".png"), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      Shot s;
      if (platform::decodePngRgb(bytes, s.rgb, s.width, s.height)) run.shots[f] = std::move(s);
    }
    return run;
  }

  /// Down n times, three frames apart, from frame f on; returns the next free frame.
  static int downs(std::ostringstream& in, int f, int n) {
    for (int i = 0; i < n; ++i, f += 3) in << f << " press down\n";
    return f;
  }

  static std::string keyScript() {
    std::ostringstream in;
    in << kOpen << " press x\n";
    // Rows 0, 1, (row 2 greyed until a choice is saved, then the separator, passed over) 4, 5.
    int f = downs(in, kOpen + 4, kSettingsRow - 1);
    in << f << " press right\n";
    f = downs(in, f + 3, kVoiceRow + 1);
    in << f << " press right\n";
    f = downs(in, f + 3, 2);  // 音量, then past the separator to 再生
    in << f << " press right\n";
    return in.str();
  }

  static std::string tapScript() {
    auto row = [](int i) { return std::to_string(34 + 13 * i + 6); };
    std::ostringstream in;
    in << kOpen << " press x\n";
    in << kOpen + 4 << " tap 30 " << row(kSettingsRow) << "\n";
    in << kOpen + 8 << " tap 30 " << row(kVoiceRow) << "\n";
    in << kOpen + 12 << " tap 30 " << row(kPlayRow) << "\n";
    return in.str();
  }

  static void check(const Run& run, int width, int openShot, int closedShot) {
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.config.find("VOICE_PLAY=2\r\n"), std::string::npos) << run.config;
    ASSERT_EQ(run.shots.count(kBeforeOpen) + run.shots.count(openShot) + run.shots.count(closedShot), 3u);
    const Shot& before = run.shots.at(kBeforeOpen);
    const Shot& open = run.shots.at(openShot);
    const Shot& closed = run.shots.at(closedShot);
    ASSERT_EQ(open.width, width);
    // The root box: as wide as its status line (date, time and battery; in VGA mode memory and
    // storage too) and two characters, 12 rows.
    const int boxW = 6 * ((width >= 640 ? 42 : 24) + 2), boxH = 13 * 12 + 40;
    const auto face = faceOnScreen();
    EXPECT_GT(countColour(open, 0, 0, boxW, boxH, face), boxW * boxH / 2) << "the box at the top-left";
    EXPECT_EQ(countColour(before, 0, 0, boxW, boxH, face), 0);
    EXPECT_EQ(differing(open, before, boxW + 8, 0, width, boxH), 0) << "nothing beside the box";
    EXPECT_EQ(differing(closed, before, 0, 0, width, boxH + 8), 0) << "no trace of the menu";
  }

  static fs::path s_dir;
  static std::string s_problem;
};

fs::path MenuInPlayers::s_dir;
std::string MenuInPlayers::s_problem;

// One test, so that the game is made once (ctest runs each test of a program in a process of
// its own).
TEST_F(MenuInPlayers, KeysAndTapsSwitchTheVoicesOnInBothPlayers) {
  const std::vector<int> shots{kBeforeOpen, kOpen + 2, kLastFrame - 5};
  for (bool taps : {false, true}) {
    const std::string script = taps ? tapScript() : keyScript();
    const std::string how = taps ? "taps" : "keys";
    {
      SCOPED_TRACE("pocketplayer, " + how);
      check(play("pocketplayer", 640, how + "640", script, shots), 640, kOpen + 2, kLastFrame - 5);
    }
    {
      SCOPED_TRACE("handheldplayer, " + how);
      check(play("handheldplayer", 320, how + "320", script, shots), 320, kOpen + 2, kLastFrame - 5);
    }
  }
}

}  // namespace
}  // namespace sorel::test
