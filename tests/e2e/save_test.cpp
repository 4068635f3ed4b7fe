// Saving and loading as a player meets them, through the real programs: the sample game made
// and converted at both sizes, played headless on the virtual clock to its first choice, the
// choice made (pocketplayer with keys, handheldplayer with a tap), a quick save at the next
// message; the player closes, starts again and quick-loads. The state dump and the screenshot
// after the load equal those at the save (but for the status line's "saved" box). The automatic choice save brings the same choices
// back, and the read table of the first run lets read-skip run through the known messages.
#include <gtest/gtest.h>

#include <algorithm>
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

// Frames of the first run (the virtual clock makes them the same on both screens).
constexpr int kChoiceShown = 448;   // the first choice's menu is built
constexpr int kChoose = 449;        // the reader chooses Hina
constexpr int kQuickSave = 490;     // centre key at Hina's answer, its marker up
constexpr int kSaveShot = 495;
constexpr int kFirstRunEnd = 500;
// Frames of the second run: the quick load at the first message, the answer typed again.
constexpr int kQuickLoad = 105;
constexpr int kShift = kQuickSave - 146;  // the answer runs 344 frames earlier than in the first run
constexpr int kSecondRunEnd = 160;

class SaveAndLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = fs::path(SOREL_TEST_TMP) / "save_and_load";
    for (int size : {640, 320}) s_problem += copySample(root(size), size, {"bgm", "voice.mlz"});
  }
  void SetUp() override {
    if (!s_problem.empty()) FAIL() << s_problem;
  }

  static fs::path root(int size) { return s_dir / ("r" + std::to_string(size)); }
  static fs::path saveFolder(int size) { return root(size) / "data" / "save"; }

  /// Writes sorel.cfg (the centre key is Enter on both builds) and runs the player.
  static PlayerRun play(const std::string& program, int size, const std::string& config, const std::string& input,
                        int frames, int shotFrame) {
    std::ofstream(root(size) / "sorel.cfg", std::ios::binary) << config << "[KEY_CONFIG]\r\nKEY_START=0D\r\n";
    return test::play(program, root(size), s_dir / program,
                      {.input = input, .frames = frames, .scenario = "01-01(導入).bin",
                       .shots = shotFrame ? std::vector<int>{shotFrame} : std::vector<int>{}});
  }

  /// The introduction's advances up to the choice, then the choice of the first bar.
  static std::string toTheChoice(bool taps, int size) {
    std::string in = "112 press right\n150 press right\n195 press right\n296 press right\n334 press right\n"
                     "447 press right\n";
    if (taps) in += std::to_string(kChoose) + " tap " + std::to_string(300 * size / 640) + " " +
                    std::to_string(108 * size / 640) + "\n";
    else in += std::to_string(kChoose) + " press down\n" + std::to_string(kChoose) + " press right\n";
    return in;
  }

  static void saveCloseAndLoad(const std::string& program, int size, bool taps) {
    std::error_code ec;
    fs::remove_all(saveFolder(size), ec);
    // The first run: to the choice, choose, quick save at the answer.
    PlayerRun first = play(program, size, "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=4\r\n",
                     toTheChoice(taps, size) + std::to_string(kQuickSave) + " press enter\n", kFirstRunEnd, kSaveShot);
    ASSERT_EQ(first.exitCode, 0) << first.output;
    ASSERT_EQ(first.frames.size(), size_t(kFirstRunEnd));
    EXPECT_EQ(first.num(kChoiceShown, "choices"), 3);
    EXPECT_EQ(first.num(kChoiceShown, "ccursor"), 100) << "nothing selected yet";
    EXPECT_EQ(first.num(kChoose, "chosen"), 1) << "Hina, by " << (taps ? "tap" : "key");
    EXPECT_NE(first.get(kChoose + 1, "pc"), first.get(kChoiceShown, "pc")) << "the story went on";
    ASSERT_TRUE(fs::exists(saveFolder(size) / "save001.dat")) << "the quick save";
    ASSERT_TRUE(fs::exists(saveFolder(size) / "save601.dat")) << "the choice's automatic save";
    ASSERT_TRUE(fs::exists(saveFolder(size) / "save000.dat")) << "the system data";
    auto shown = runProgram("sorel-save", quote((saveFolder(size) / "save001.dat").string()));
    EXPECT_EQ(shown.exitCode, 0) << shown.output;
    EXPECT_NE(shown.output.find("title       -導入-"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find(size == 640 ? "160 x 128" : "80 x 64"), std::string::npos);
    auto choiceSave = runProgram("sorel-save", quote((saveFolder(size) / "save601.dat").string()));
    // Taken by CHOICE_BEGIN, before the choices were added: loading it runs the choice again.
    EXPECT_EQ(choiceSave.exitCode, 0) << choiceSave.output;
    EXPECT_NE(choiceSave.output.find("choices     0"), std::string::npos) << choiceSave.output;

    // The second run: quick load at the first message.
    PlayerRun second = play(program, size, "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=5\r\n",
                      std::to_string(kQuickLoad) + " press enter\n", kSecondRunEnd, kSaveShot - kShift);
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(second.get(kQuickLoad, "pc"), first.get(kQuickSave, "pc")) << "loaded at the saved message";
    for (const char* key : {"mode", "scenario", "pc", "visual", "stands", "window", "face", "cells", "marker", "backlog",
                            "text", "log", "brightness", "choices", "chosen"})
      EXPECT_EQ(second.get(kQuickSave - kShift, key), first.get(kQuickSave, key)) << key;
    // The first run's screen carries the status line's box ("SAVE_001に保存しました") at the top
    // left, in the pop-up menu's face colour; below it is the screen the load brings back.
    ASSERT_EQ(first.shots.count(kSaveShot), 1u);
    ASSERT_EQ(second.shots.count(kSaveShot - kShift), 1u);
    const Shot &atSave = first.shots.at(kSaveShot), &afterLoad = second.shots.at(kSaveShot - kShift);
    const int w = size, h = size * 3 / 4;
    EXPECT_EQ(differing(atSave, 0, 20, afterLoad, 0, 20, w, h - 20), 0) << "the screen after the load is the screen at the save";
    EXPECT_NEAR(atSave.at(4, 6)[0], 212, 8) << "the saved box";
    EXPECT_NEAR(atSave.at(4, 6)[1], 208, 8);
    EXPECT_NEAR(atSave.at(4, 6)[2], 200, 8);

    // The automatic choice save brings the same choices back.
    fs::copy_file(saveFolder(size) / "save601.dat", saveFolder(size) / "save001.dat", fs::copy_options::overwrite_existing);
    PlayerRun back = play(program, size, "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=5\r\n", std::to_string(kQuickLoad) + " press enter\n",
                    kQuickLoad + 5, 0);
    ASSERT_EQ(back.exitCode, 0) << back.output;
    EXPECT_EQ(back.get(kQuickLoad + 2, "pc"), first.get(kChoiceShown, "pc")) << "waiting at the choice again";
    EXPECT_EQ(back.num(kQuickLoad + 2, "choices"), 3);
    EXPECT_EQ(back.num(kQuickLoad + 2, "ccursor"), 100);
    EXPECT_EQ(back.get(kQuickLoad + 2, "stands"), first.get(kChoiceShown, "stands"));

    // Read-skip: the skip key held from the first message runs through every message read in the
    // first run and stops at the choice; with the system data gone it stops at the first message.
    const std::string skip = "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=1\r\n[MESSAGE_CONFIG]\r\nREAD_SKIP=1\r\n";
    PlayerRun skipped = play(program, size, skip, "90 down left\n", 300, 0);
    ASSERT_EQ(skipped.exitCode, 0) << skipped.output;
    EXPECT_EQ(skipped.num(300, "choices"), 3) << "skipped to the choice";
    EXPECT_EQ(skipped.get(300, "pc"), first.get(kChoiceShown, "pc"));
    fs::remove_all(saveFolder(size), ec);
    PlayerRun unread = play(program, size, skip, "90 down left\n", 300, 0);
    EXPECT_EQ(unread.num(300, "backlog"), 0) << "nothing read: the skip stops at the first message";
    EXPECT_EQ(unread.num(300, "choices"), 0);
  }

  static fs::path s_dir;
  static std::string s_problem;
};

fs::path SaveAndLoad::s_dir;
std::string SaveAndLoad::s_problem;

TEST_F(SaveAndLoad, BothPlayersChooseSaveCloseStartAgainAndLoad) {
  {
    SCOPED_TRACE("pocketplayer, keys");
    saveCloseAndLoad("pocketplayer", 640, false);
  }
  {
    SCOPED_TRACE("handheldplayer, a tap");
    saveCloseAndLoad("handheldplayer", 320, true);
  }
}

}  // namespace
}  // namespace sorel::test
