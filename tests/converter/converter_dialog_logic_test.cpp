// The converter dialog without a display: defaults, the registry's game folder, Start's checks,
// the job's life from Start to the timer's last tick, closing during a job, and the sample game
// converted through Start giving the bytes of convSorel --batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "converter/converter_dialog_logic.h"
#include "engine/resources/mlz_archive.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "test_game.h"
#include "tests/e2e/run_program.h"
#include "tests/sample_game.h"

namespace sorel {
namespace {

using namespace testgame;
namespace fs = std::filesystem;

const std::string kRoot = std::string(SOREL_TEST_TMP) + "/converter_dialog";

void writeFile(const std::string& host, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(host).parent_path());
  ASSERT_TRUE(platform::writeWholeFile(systemPath(host), bytes)) << host;
}

std::string freshFolder(const std::string& name) {
  std::string f = kRoot + "/" + name;
  fs::remove_all(f);
  fs::create_directories(f);
  return f;
}

/// Ticks the dialog's timer until the job has finished; the last progress line seen.
ConverterDialog::Tick runToEnd(ConverterDialog& d, std::string* lastProgress = nullptr) {
  for (;;) {
    ConverterDialog::Tick t = d.tick();
    if (t.finished) return t;
    if (lastProgress && !t.progress.empty()) *lastProgress = t.progress;
    platform::sleepMs(10);
  }
}

TEST(ConverterDialog, RegistryValueGivesTheGameFolder) {
  const std::string installed = freshFolder("installed");
  writeFile(installed + "/Lumenwish.exe", {'M', 'Z'});
  const std::string sys = systemPath(installed);
  const std::string nested = freshFolder("installed/sub");  // a folder without the game
  struct Case {
    std::string value, folder;
  } cases[] = {
      {sys + "\\Lumenwish.exe", sys},        // the program's path: cut at the last backslash
      {sys + "\\", sys + "\\"},              // the folder with its backslash: the game is there
      {sys, sys},                            // the folder itself (an installer that wrote it)
      {systemPath(nested) + "\\", systemPath(nested)},  // no game there: cut as usual
      {"C:\\Games\\Lumenwish\\Lumenwish.exe", "C:\\Games\\Lumenwish"},
      {"NoBackslash", "NoBackslash"},
      {"", ""},
      // ソ is 83 5C: its trail byte is no backslash.
      {"C:\\\x83\x5C\\x.exe", "C:\\\x83\x5C"},
      {"C:\\\x83\x5C", "C:"},
  };
  for (const Case& c : cases) EXPECT_EQ(gameFolderFromValue(c.value), c.folder) << c.value;

  EXPECT_EQ(folderForDisplay("C:\\Games\\"), "C:\\Games");
  EXPECT_EQ(folderForDisplay("C:\\Games"), "C:\\Games");
  EXPECT_EQ(folderForDisplay("C:\\\x83\x5C"), "C:\\\x83\x5C");

  const std::string config = freshFolder("config");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(registryGameFolder(), "");
  ASSERT_TRUE(platform::registrySetString("Software\\ORBA\\Lumenwish", "DIRECTORY", sys + "\\Lumenwish.exe"));
  EXPECT_EQ(registryGameFolder(), sys);
  ::unsetenv("XDG_CONFIG_HOME");
}

TEST(ConverterDialog, DefaultsListsAndStartChecks) {
  ConverterDialog d;
  d.initialise("C:\\out", "", "LAME 3.100");
  EXPECT_EQ(std::string(kMusicBitrateList[size_t(d.musicBitrateIndex)]), "64/32kbit");
  EXPECT_EQ(std::string(kVoiceBitrateList[size_t(d.voiceBitrateIndex)]), "32kbit");
  EXPECT_EQ(std::string(kRateList[size_t(d.musicRateIndex)]), "22.05kHz");
  // Each size names the player that shows it.
  EXPECT_EQ(std::string(kScreenSizeList[0]), "320*240 (handheldplayer)");
  EXPECT_EQ(std::string(kScreenSizeList[1]), "640*480 (pocketplayer)");
  EXPECT_EQ(d.screenSizeIndex, 0);
  EXPECT_EQ(std::string(kQualityList[size_t(d.qualityIndex)]), "最高画質");
  EXPECT_EQ(d.musicStereo, 1);
  d.toggleStereo();
  EXPECT_EQ(d.musicStereo, 0);
  EXPECT_EQ(d.encoderText(), "GOGO.DLL : LAME 3.100");
  EXPECT_EQ(d.jobSettings(true, true, true).sizeFactor, 50);
  d.screenSizeIndex = 1;
  EXPECT_EQ(d.jobSettings(true, true, true).sizeFactor, 100);
  EXPECT_EQ(d.jobSettings(true, true, true).voiceStereo, 0);

  // No folder: nothing at all. No encoder: refused whatever the content boxes. No game program.
  EXPECT_EQ(d.start(true, true, true), StartRefusal::NoGameFolder);
  EXPECT_FALSE(d.running());
  const std::string empty = freshFolder("no_game");
  ConverterDialog silent;
  silent.initialise("C:\\out", systemPath(empty), "");
  EXPECT_FALSE(silent.encoderAvailable());
  EXPECT_EQ(silent.start(true, false, false), StartRefusal::NoEncoder);
  d.setGameFolder(systemPath(empty) + "\\");
  EXPECT_EQ(d.gameFolderText(), systemPath(empty));
  EXPECT_EQ(d.start(false, false, false), StartRefusal::NoGame);
  EXPECT_FALSE(d.running());
  EXPECT_EQ(progressLine(3, 10, "\x83\x5C.bmp"), "変換データ数：3 / 10 (ソ.bmp)");
  EXPECT_EQ(progressLine(10, 10, ""), "変換データ数：10 / 10");  // no empty brackets
}

// The box at the end says how the job ended, how many members, where the data went and, for a
// finished job, which player to start how; cancelled and failed jobs say so.
TEST(ConverterDialog, FinishBoxTellsTheWholeStory) {
  const std::string home = freshFolder("xdg");
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  ConversionSummary done;
  done.members = 481;
  done.movieFiles = 2;
  ConversionSummary problems = done;
  problems.problems.push_back({"Face.mlz", "f02.bmp", "8 bits per pixel"});
  ConversionSummary failed = done;
  failed.failures.push_back("bg.mlz: cannot be created: Permission denied");
  ConversionSummary cancelled;
  cancelled.members = 120;
  cancelled.cancelled = true;
  struct Case {
    const ConversionSummary& summary;
    int sizeFactor;
    std::string output;
    JobOutcome outcome;
    std::string caption;
    std::vector<std::string> says, never;
  } cases[] = {
      {done, 50, "/tmp/my out/", JobOutcome::Done, "変換終了",
       {"変換が終了しました。", "変換データ数：481\n", "動画ファイル：2", "出力先：/tmp/my out/data\n",
        "handheldplayer 用のデータです（320 × 240）", "handheldplayer --root '/tmp/my out'"},
       {"変換異常", " / "}},
      {done, 100, home + "/sorel", JobOutcome::Done, "変換終了",
       {"出力先：" + home + "/sorel/data", "pocketplayer 用のデータです（640 × 480）。遊ぶには：\npocketplayer"},
       {"--root"}},
      {problems, 100, "/srv/x", JobOutcome::DoneWithProblems, "変換異常",
       {"変換できなかったデータがあります", "1 件のデータを変換できませんでした", "Face.mlz: f02.bmp: 8 bits per pixel",
        "pocketplayer --root /srv/x"},
       {}},
      {failed, 50, "/srv/x", JobOutcome::Failed, "変換異常",
       {"変換に失敗しました", "変換データ数：470 / 481", "bg.mlz: cannot be created", "出力先：/srv/x/data"},
       {"遊ぶには"}},
      {cancelled, 50, "/srv/x", JobOutcome::Cancelled, "変換中止",
       {"変換を中止しました", "変換データ数：130 / 481", "出力先：/srv/x/data"},
       {"遊ぶには"}},
  };
  for (const Case& c : cases) {
    const int count = c.outcome == JobOutcome::Failed ? 470 : 130;
    FinishMessage m = finishMessage(c.summary, count, 481, c.sizeFactor, c.output);
    EXPECT_EQ(m.outcome, c.outcome) << m.text;
    EXPECT_EQ(m.caption, c.caption) << m.text;
    for (const std::string& s : c.says) EXPECT_NE(m.text.find(s), std::string::npos) << s << "\n" << m.text;
    for (const std::string& s : c.never) EXPECT_EQ(m.text.find(s), std::string::npos) << s << "\n" << m.text;
  }
  ::unsetenv("XDG_DATA_HOME");
}

// Start on a small game: the job runs while Start is disabled; the timer shows the progress
// line, sees the done flag, waits for the worker and reports the members written empty.
TEST(ConverterDialog, StartRunsTheJobUntilTheTimerSeesItDone) {
  const std::string game = freshFolder("small_game");
  writeFile(game + "/Lumenwish.exe", {'M', 'Z'});
  auto eight = solid(4, 4, 1, 1, 1);
  eight[28] = 8;  // bits per pixel no picture step takes
  writeFile(game + "/Face.pac", pac({{"f01.bmp", solid(40, 40, 50, 60, 70)}, {"f02.bmp", eight}}));
  const std::string out = freshFolder("small_out");
  ConverterDialog d;
  d.initialise(systemPath(out), systemPath(game) + "\\", "LAME 3.100");
  ASSERT_EQ(d.start(true, true, true), StartRefusal::None);
  EXPECT_TRUE(d.running());
  EXPECT_EQ(d.start(true, true, true), StartRefusal::None);  // ignored while running
  ConverterDialog::Tick t = runToEnd(d);
  EXPECT_FALSE(d.running());
  ASSERT_TRUE(t.summary);
  ASSERT_TRUE(t.finish);
  EXPECT_EQ(t.finish->outcome, JobOutcome::DoneWithProblems);
  EXPECT_NE(t.finish->text.find("出力先：" + out + "/data"), std::string::npos) << t.finish->text;
  ASSERT_EQ(t.summary->problems.size(), 1u);
  const std::string box = problemsMessage(*t.summary);
  EXPECT_NE(box.find("1 件のデータを変換できませんでした"), std::string::npos) << box;
  EXPECT_NE(box.find("Face.mlz: f02.bmp: "), std::string::npos) << box;
  EXPECT_TRUE(fs::exists(out + "/data/Face.mlz"));
  EXPECT_EQ(d.tick().finished, false);  // no job, nothing to report
  EXPECT_EQ(problemsMessage(ConversionSummary{}), "");
}

// Progress for logs: a line when a step begins, and one per quarter of a long step only.
TEST(ProgressLog, OneLinePerStepAndQuartersOfLongOnes) {
  ProgressLog log;
  std::vector<std::string> lines;
  auto feed = [&](const std::string& source, int members) {
    for (int done = 0; done <= members; ++done)
      if (auto l = log.line({source, done, members})) lines.push_back(*l);
  };
  feed("BG.pac", 99);
  feed("SE.pac", 1);
  feed("Voice.pac", 0);
  feed("SystemVoice.pac", 172);
  EXPECT_EQ(lines, (std::vector<std::string>{"BG.pac: 99 members", "SE.pac: 1 member", "Voice.pac: 0 members",
                                             "SystemVoice.pac: 172 members", "SystemVoice.pac: 43 / 172 (25 %)",
                                             "SystemVoice.pac: 86 / 172 (50 %)", "SystemVoice.pac: 129 / 172 (75 %)"}));
}

std::map<std::string, std::vector<uint8_t>> treeOf(const std::string& root) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      files[fs::relative(e.path(), root).string()] = {std::istreambuf_iterator<char>(in), {}};
    }
  return files;
}

// The sample game through the dialog's Start with two members at a time, and through
// convSorel --batch on one thread: the same files, byte for byte (archives and MP3 files).
TEST(ConverterDialog, SampleGameThroughStartMatchesBatch) {
  const std::string game = test::sampleGame().string();

  const std::string viaDialog = freshFolder("sample_dialog");
  ConverterDialog d;
  d.initialise(systemPath(viaDialog), systemPath(game), probeEncoder());
  d.screenSizeIndex = 1;
  d.qualityIndex = 2;
  d.jobs = 2;
  ASSERT_EQ(d.start(true, true, true), StartRefusal::None);
  // Every line the timer shows has the whole job's total: it is counted before the first member.
  std::set<std::string> totals;
  std::string odd;
  ConverterDialog::Tick t;
  for (;;) {
    t = d.tick();
    if (t.finished) break;
    if (auto slash = t.progress.find(" / "); slash != std::string::npos) {
      std::string total = t.progress.substr(slash + 3, t.progress.find(' ', slash + 3) - slash - 3);
      if (total != "481") odd += t.progress + "\n";
      totals.insert(total);
    }
    platform::sleepMs(10);
  }
  EXPECT_EQ(totals, (std::set<std::string>{"481"})) << odd;
  ASSERT_TRUE(t.summary);
  EXPECT_TRUE(t.summary->problems.empty());
  EXPECT_TRUE(t.summary->failures.empty());
  EXPECT_EQ(t.summary->members, 481);
  EXPECT_EQ(t.finish->outcome, JobOutcome::Done);

  const std::string viaBatch = freshFolder("sample_batch");
  auto batch = test::runProgram("convSorel", "--batch --jobs 1 --size 640 --quality 90 --game " + test::quote(game) +
                                                 " --out " + test::quote(viaBatch));
  ASSERT_EQ(batch.exitCode, 0) << batch.output;

  auto a = treeOf(viaDialog), b = treeOf(viaBatch);
  EXPECT_GT(a.size(), 200u);  // nine archives and the loose MP3 files
  ASSERT_EQ(a.size(), b.size());
  for (const auto& [name, bytes] : a) {
    auto other = b.find(name);
    ASSERT_NE(other, b.end()) << name;
    EXPECT_TRUE(bytes == other->second) << name << " differs";
  }
}

// Closing the dialog during a job: the job stops between members, its worker is waited for, and
// no archive is left half-written.
TEST(ConverterDialog, CloseDuringAJobCancelsIt) {
  const std::string game = freshFolder("close_game");
  writeFile(game + "/Lumenwish.exe", {'M', 'Z'});
  std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
  for (int i = 0; i < 40; ++i)
    members.push_back({"bg" + std::to_string(i) + ".bmp",
                       bitmap(320, 240, 24, [i](int x, int y) { return std::tuple{x ^ i, y, x + y}; })});
  writeFile(game + "/BG.pac", pac(members));
  const std::string out = freshFolder("close_out");
  {
    ConverterDialog d;
    d.initialise(systemPath(out), systemPath(game), "LAME 3.100");
    d.jobs = 2;
    ASSERT_EQ(d.start(true, false, false), StartRefusal::None);
    auto summary = d.close();
    ASSERT_TRUE(summary);
    EXPECT_FALSE(d.running());
    if (summary->cancelled) {
      EXPECT_FALSE(fs::exists(out + "/data/bg.mlz"));
    }
  }
  for (const auto& e : fs::recursive_directory_iterator(out))
    EXPECT_NE(e.path().extension(), ".part") << e.path();
  // A dialog destroyed with a job running closes it the same way.
  {
    ConverterDialog d;
    d.initialise(systemPath(out), systemPath(game), "LAME 3.100");
    ASSERT_EQ(d.start(true, false, false), StartRefusal::None);
  }
  for (const auto& e : fs::recursive_directory_iterator(out))
    EXPECT_NE(e.path().extension(), ".part") << e.path();
}

}  // namespace
}  // namespace sorel
