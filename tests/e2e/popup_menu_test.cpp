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
#include "tests/e2e/player_run.h"

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

/// The box's face colour (212, 208, 200) as it reaches the screen through RGB565.
std::array<uint8_t, 3> faceOnScreen() {
  std::array<uint8_t, 3> c{};
  platform::expandRgb565(uint16_t(((212 & 0xF8) << 8) | ((208 & 0xFC) << 3) | (200 >> 3)), c[0], c[1], c[2]);
  return c;
}

class MenuInPlayers : public ::testing::Test {
 protected:
  struct Run : PlayerRun {
    std::string config;
  };

  /// Plays with the input script on a fresh copy of the game without its sound, so that each run
  /// starts without sorel.cfg.
  static Run play(const std::string& program, int size, const std::string& name, const std::string& input,
                  const std::vector<int>& shotFrames) {
    const fs::path root = fs::path(SOREL_TEST_TMP) / "menu_in_players" / name;
    Run run;
    if (std::string problem = copySample(root, size, {"bgm", "voice.mlz"}); !problem.empty()) {
      run.output = problem;
      return run;
    }
    static_cast<PlayerRun&>(run) = test::play(
        program, root, root / "run",
        {.input = input, .frames = kLastFrame, .scenario = "01-01(導入).bin", .shots = shotFrames});
    std::ifstream cfg(root / "sorel.cfg", std::ios::binary);
    run.config.assign(std::istreambuf_iterator<char>(cfg), std::istreambuf_iterator<char>());
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
    EXPECT_EQ(differing(open, boxW + 8, 0, before, boxW + 8, 0, width - boxW - 8, boxH), 0) << "nothing beside the box";
    EXPECT_EQ(differing(closed, 0, 0, before, 0, 0, width, boxH + 8), 0) << "no trace of the menu";
  }

};

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
