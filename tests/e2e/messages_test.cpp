// What the programs tell a user who got something wrong: each case runs a real program on a
// folder set up to fail one way and looks for the key words of the one line that must say so.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/screenshot.h"
#include "sorel_version.h"
#include "tests/converter/test_game.h"
#include "tests/e2e/player_run.h"
#include "tests/test_support.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;
using test::quote;
using test::runProgram;

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                           static_cast<std::streamsize>(bytes.size()));
}

void expectWords(const std::string& output, std::initializer_list<const char*> words) {
  for (const char* w : words) EXPECT_NE(output.find(w), std::string::npos) << "no \"" << w << "\" in:\n" << output;
}

/// Every file below a folder, as relative paths.
std::vector<std::string> filesBelow(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) out.push_back(fs::relative(e.path(), dir).string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Messages, EveryProgramTellsItsVersion) {
  for (const char* program :
       {"pocketplayer", "handheldplayer", "convSorel", "sorel-archive", "sorel-script", "sorel-mkgame"}) {
    auto r = runProgram(program, "--version");
    EXPECT_EQ(r.exitCode, 0) << program << ": " << r.output;
    EXPECT_EQ(r.output, std::string(program) + " " + kVersion + "\n");
  }
}

// A data folder of empty but valid archives: enough for the start-up check to find every file.
void writeDataSet(const fs::path& root, bool vga) {
  const std::vector<uint8_t> emptyArchive = {'R', 'L', 'Z', '2', 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
  for (const char* name : {"Script.mlz", "Table.mlz", "voice.mlz"}) writeFile(root / "data" / name, emptyArchive);
  for (const char* base : {"bg", "Face", "Stand", "System", "Thumbnail", "Visual"})
    writeFile(root / "data" / (std::string(base) + (vga ? "_vga.mlz" : ".mlz")), emptyArchive);
  for (const char* folder : {"bgm", "se", "sys"}) fs::create_directories(root / "data" / folder);
}

TEST(Messages, PlayersSayWhatIsWrongWithTheDataFolder) {
  fs::path dir = test::scratchFolder();
  const std::string run = " --headless --virtual-clock --frames 3";
  // Started from a folder without data (as from the build folder): one line, and nothing written.
  fs::create_directories(dir / "bare");
  fs::copy_file(fs::path(SOREL_BIN_DIR) / "pocketplayer", dir / "bare" / "pocketplayer");
  auto before = filesBelow(dir / "bare");
  auto r = test::runCommand(quote((dir / "bare" / "pocketplayer").string()) + run);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  expectWords(r.output, {"no data folder", (dir / "bare" / "data").string().c_str(), "convSorel", "--root"});
  EXPECT_EQ(filesBelow(dir / "bare"), before);

  // A folder the user names is the user's choice: the same line, and the settings are kept there.
  fs::create_directories(dir / "chosen");
  r = runProgram("handheldplayer", "--root " + quote((dir / "chosen").string()) + run);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  expectWords(r.output, {"no data folder at", "convSorel"});
  EXPECT_TRUE(fs::exists(dir / "chosen" / "sorel.cfg"));

  // The data set of the other screen size, both ways.
  writeDataSet(dir / "small", false);
  writeDataSet(dir / "large", true);
  r = runProgram("pocketplayer", "--root " + quote((dir / "small").string()) + run);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  expectWords(r.output, {"pocketplayer", "bg.mlz", "bg_vga.mlz", "--size 640"});
  r = runProgram("handheldplayer", "--root " + quote((dir / "large").string()) + run);
  expectWords(r.output, {"handheldplayer", "bg_vga.mlz", "--size 320"});
  // The right set says nothing.
  r = runProgram("handheldplayer", "--root " + quote((dir / "small").string()) + run);
  EXPECT_EQ(r.output, "");

  // A missing and an unreadable archive are named.
  fs::remove(dir / "small" / "data" / "Script.mlz");
  writeFile(dir / "small" / "data" / "Face.mlz", test::bytesOf("scrambled"));
  r = runProgram("handheldplayer", "--root " + quote((dir / "small").string()) + run);
  EXPECT_EQ(r.exitCode, 1) << r.output;
  expectWords(r.output, {"missing", "Script.mlz", "cannot read", "Face.mlz"});

  // Sound folders left out: the game plays on, without that sound, and says so.
  writeDataSet(dir / "quiet", false);
  fs::remove_all(dir / "quiet" / "data" / "bgm");
  fs::remove_all(dir / "quiet" / "data" / "sys");
  r = runProgram("handheldplayer", "--root " + quote((dir / "quiet").string()) + run);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  expectWords(r.output, {"no bgm, sys folders in", "without music and system voices", "--no-music"});
}

/// The share of a screenshot's pixels near a colour (within 12 on each channel).
double shareOf(const std::vector<uint8_t>& rgb, int r, int g, int b, int fromRow, int toRow, int width) {
  size_t near = 0, all = 0;
  for (size_t i = size_t(fromRow) * size_t(width) * 3; i + 2 < size_t(toRow) * size_t(width) * 3 && i + 2 < rgb.size();
       i += 3, ++all)
    if (std::abs(rgb[i] - r) <= 12 && std::abs(rgb[i + 1] - g) <= 12 && std::abs(rgb[i + 2] - b) <= 12) ++near;
  return all ? double(near) / double(all) : 0;
}

// What is wrong is also drawn in the window, for whoever started the player without a terminal:
// a blocking problem stays until the player is closed (exit 1), a missing sound folder until a
// read-on input, after which the title starts.
TEST(Messages, PlayersShowTheProblemsInTheWindow) {
  fs::path dir = test::scratchFolder();
  writeDataSet(dir / "small", false);
  writeDataSet(dir / "quiet", true);
  fs::remove_all(dir / "quiet" / "data" / "se");
  std::ofstream(dir / "tap.txt") << "4 tap 10 10\n";
  for (auto [program, root, blocking, w, h] : {std::tuple{"pocketplayer", "small", true, 640, 480},
                                                std::tuple{"handheldplayer", "small", false, 320, 240},
                                                std::tuple{"pocketplayer", "quiet", false, 640, 480}}) {
    SCOPED_TRACE(std::string(program) + " " + root);
    const fs::path png = dir / (std::string(program) + "-" + root + ".png"), state = dir / "state.txt";
    auto r = runProgram(program, "--root " + quote((dir / root).string()) +
                                     " --headless --virtual-clock --frames 8 --screenshot 2:" + quote(png.string()) +
                                     " --input " + quote((dir / "tap.txt").string()) + " --dump-state " +
                                     quote(state.string()));
    // The handheld takes the small set: nothing to show, the title starts at once.
    const bool shown = std::string(program) == "pocketplayer";
    EXPECT_EQ(r.exitCode, blocking ? 1 : 0) << r.output;
    const test::Shot shot = test::readShot(png);
    const std::vector<uint8_t>& rgb = shot.rgb;
    ASSERT_EQ(shot.width, w);
    ASSERT_EQ(shot.height, h);
    // The screen's dark blue ground, its amber heading at the top and the light blue of what to do.
    EXPECT_EQ(shareOf(rgb, 20, 24, 40, 0, h, w) > 0.8, shown);
    EXPECT_EQ(shareOf(rgb, 255, 196, 64, 0, h / 6, w) > 0.005, shown);
    EXPECT_EQ(shareOf(rgb, 150, 210, 255, h / 6, h, w) > 0.002, shown);
    // The title's sub-state moves once the game runs: never behind a blocking screen, and after
    // the tap (frame 4) behind a silence screen.
    const test::StateDump dump = test::readStateDump(state);
    ASSERT_EQ(dump.frames.size(), 8u);
    EXPECT_EQ(dump.get(4, "sub") == "0", shown) << dump.line(4);
    EXPECT_EQ(dump.get(8, "sub") == "0", blocking) << dump.line(8);
  }
}

/// A game folder with Lumenwish.exe and, when given, a BGM.pac of the named sounds.
fs::path writeGame(const fs::path& dir, const std::vector<std::string>& sounds) {
  writeFile(dir / "Lumenwish.exe", test::bytesOf("MZ"));
  if (!sounds.empty()) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
    for (const auto& s : sounds)
      members.push_back({s, testgame::wavePcm16(testgame::sine(440, 0.3, 2205, 22050, 1), 1, 22050)});
    writeFile(dir / "BGM.pac", testgame::pac(members));
  }
  return dir;
}

TEST(Messages, ConverterHelpShowsEveryDefault) {
  auto r = runProgram("convSorel", "--help");
  EXPECT_EQ(r.exitCode, 0);
  expectWords(r.output, {"320 × 240", "the default", "highest quality", "default 64/32", "default 22050",
                         "default 32", "stereo (default)"});
}

TEST(Messages, ConverterNamesSkippedArchivesAndRefusesAnUnusableOutputFolder) {
  fs::path dir = test::scratchFolder();
  fs::path game = writeGame(dir / "game", {});
  // Only the game's program: every archive step is skipped, and the summary says which.
  auto r = runProgram("convSorel", "--batch --game " + quote(game.string()) + " --out " + quote((dir / "out").string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  expectWords(r.output, {"skipped", game.string().c_str(), "Script.pac", "Table.pac", "BG.pac", "BGM.pac", "Voice.pac"});

  // An output folder that cannot take the data folder: one line with the system's reason, exit 2.
  writeFile(dir / "blocked" / "data", test::bytesOf("a file"));
  r = runProgram("convSorel", "--batch --game " + quote(game.string()) + " --out " + quote((dir / "blocked").string()));
  EXPECT_EQ(r.exitCode, 2) << r.output;
  expectWords(r.output, {"cannot write into", (dir / "blocked" / "data").string().c_str(), "not a folder"});
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2) << r.output;  // the encoder line and it
  if (::geteuid() != 0) {  // permissions do not stop root
    fs::create_directories(dir / "readonly");
    ::chmod((dir / "readonly").c_str(), 0555);
    r = runProgram("convSorel", "--batch --game " + quote(game.string()) + " --out " + quote((dir / "readonly").string()));
    ::chmod((dir / "readonly").c_str(), 0755);
    EXPECT_EQ(r.exitCode, 2) << r.output;
    expectWords(r.output, {"cannot", "readonly", "Permission denied"});
  }

  // The game's program missing: the dialog's words, then the folder it looked in.
  fs::remove(game / "Lumenwish.exe");
  r = runProgram("convSorel", "--batch --game " + quote(game.string()) + " --out " + quote((dir / "out").string()));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  expectWords(r.output, {"フォルダ異常", "『Lumenwish』のフォルダを指定して下さい。", "no Lumenwish.exe in", game.string().c_str(),
                         "--game"});
}

TEST(Messages, ConverterGivesTheReasonAFileWasNotWritten) {
  fs::path dir = test::scratchFolder();
  fs::path game = writeGame(dir / "game", {"Theme.wav", "Rain.wav"});
  // A folder where one sound file belongs: that file cannot be written, the other one is.
  fs::create_directories(dir / "out" / "data" / "bgm" / "Rain.mp3");
  auto r = runProgram("convSorel", "--batch --no-voices --game " + quote(game.string()) + " --out " +
                                       quote((dir / "out").string()));
  expectWords(r.output, {"1 sound file was not written", "data/bgm: Rain.wav: cannot be written", "Is a directory"});
  EXPECT_EQ(r.output.find("written empty"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::exists(dir / "out" / "data" / "bgm" / "Theme.mp3"));
}

}  // namespace
}  // namespace sorel
