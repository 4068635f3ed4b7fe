// The conversion job end to end on a tiny game folder, directly and through convSorel --batch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "converter/conversion_job.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/mlz_format.h"
#include "engine/graphics/picture_loader.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/sjis_text.h"
#include "mp3_check.h"
#include "platform/registry.h"
#include "test_game.h"
#include "tools/pac_writer.h"
#include "tests/sample_game.h"

namespace sorel {
namespace {

using namespace testgame;
namespace fs = std::filesystem;

const std::string kRoot = std::string(SOREL_TEST_TMP) + "/conversion_job";

void writeFile(const std::string& host, const std::vector<uint8_t>& bytes) {
  ASSERT_TRUE(platform::writeWholeFile(systemPath(host), bytes)) << host;
}

// A game folder with every picture archive, an update for one scenario member, and one
// unusable (8-bit) face.
std::string makeGame(const std::string& name) {
  std::string game = kRoot + "/" + name;
  fs::remove_all(game);
  fs::create_directories(game);
  writeFile(game + "/Lumenwish.exe", {'M', 'Z'});
  writeFile(game + "/Script.pac", pac({{"01-01.bin", {1, 1, 1}}, {"02-01.bin", {2, 2}}}));
  writeFile(game + "/Update.pac", pac({{"01-01.BIN", {9, 9, 9, 9}}}));
  auto visualInfo = visualRecord("ev01.bmp", "ev01a.bmp", 1, 1);
  auto standInfo = standRecord("st_a.dat", "st_a_f1.bmp", 320, 480);
  writeFile(game + "/Table.pac",
            pac({{"VisualInfo.DAT", visualInfo}, {"StandInfo.DAT", standInfo}, {"BgmInfo.DAT", {5}}}));
  auto scene = bitmap(64, 48, 24, [](int x, int y) { return std::tuple{x * 4, y * 5, 100}; });
  writeFile(game + "/BG.pac", pac({{"bg01.bmp", scene}}));
  writeFile(game + "/Stand.pac", pac({{"st_a.dat", descriptor("st_a.bmp", 400, 200)}, {"st_a.bmp", scene},
                                      {"st_a_f1.bmp", solid(8, 8, 0, 0, 200)}}));
  writeFile(game + "/Visual.pac", pac({{"ev01.bmp", scene}, {"ev01a.bmp", solid(4, 4, 9, 9, 9)}}));
  auto eight = solid(4, 4, 1, 1, 1);
  eight[28] = 8;
  writeFile(game + "/Face.pac", pac({{"f01.bmp", solid(40, 40, 50, 60, 70)}, {"f02.bmp", eight}}));
  writeFile(game + "/Thumbnail.pac", pac({{"Thum_001.bmp", scene}}));
  writeFile(game + "/System.pac", pac({{"MessageWindow.bmp", solid(32, 32, 255, 0, 255)}, {"sys.dat", {7}}}));
  return game;
}

ConversionSettings settingsFor(const std::string& game, const std::string& out, int factor, int quality) {
  ConversionSettings s;
  s.gameFolder = systemPath(game);
  s.outputFolder = systemPath(out);
  s.sizeFactor = factor;
  s.qualityIndex = quality;
  return s;
}

TEST(ConversionJob, WholeGameAtBothSizes) {
  // The folder's last byte, 0x5C, is ソ's trail byte, not a separator.
  std::string game = makeGame("ソ");
  EXPECT_EQ(checkStart(systemPath(game), "LAME 3.100"), StartRefusal::None);
  for (auto [factor, quality] : {std::pair{100, 2}, {50, 0}}) {
    std::string out = kRoot + "/out" + std::to_string(factor);
    fs::remove_all(out);
    fs::create_directories(out);
    ConversionJob job(settingsFor(game, out, factor, quality));
    job.runJob();
    ASSERT_TRUE(job.done());
    // 2 + 3 + 1 + 3 + 2 + 2 + 1 + 2 members.
    EXPECT_EQ(job.count(), 16);
    EXPECT_EQ(job.total(), 16);
    EXPECT_EQ(job.currentName(), "");
    const ConversionSummary& s = job.summary();
    EXPECT_EQ(s.archivesWritten, 8);
    EXPECT_TRUE(s.failures.empty());
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_EQ(s.problems[0].member, "f02.bmp");
    for (const char* folder : {"/data/bgm", "/data/se", "/data/sys"}) EXPECT_TRUE(fs::is_directory(out + folder));

    const std::string suffix = factor == 100 ? "_vga.mlz" : ".mlz";
    MlzArchive a;
    uint32_t size = 0;
    auto script = a.extract(systemPath(out + "/data/Script.mlz"), "01-01.bin", &size);
    ASSERT_TRUE(script);
    EXPECT_EQ(*script, (std::vector<uint8_t>{9, 9, 9, 9}));  // the update replaced it
    EXPECT_EQ(*a.extract(systemPath(out + "/data/Table.mlz"), "BgmInfo.DAT"), std::vector<uint8_t>{5});
    EXPECT_FALSE(fs::exists(out + "/data/bg" + (factor == 100 ? std::string(".mlz") : std::string("_vga.mlz"))));

    uint64_t total = 0;
    for (const char* base : {"bg", "Stand", "Visual", "Face", "Thumbnail", "System"}) {
      std::string path = out + "/data/" + base + suffix;
      ASSERT_TRUE(fs::exists(path)) << path;
      total += fs::file_size(path);
      ASSERT_TRUE(a.loadIndex(systemPath(path), true));
      for (size_t i = 0; i < a.memberCount(); ++i) {
        const MlzEntry& e = a.entry(i);
        if (extensionOf(e.name) != ".rbp" || e.name == "f02.rbp") continue;
        auto bytes = a.extractAt(i);
        ASSERT_TRUE(bytes) << e.name;
        Picture p;
        ASSERT_TRUE(decodeRbp(*bytes, p)) << e.name;
      }
    }
    ASSERT_TRUE(a.loadIndex(systemPath(out + "/data/Face" + suffix), true));
    EXPECT_EQ(a.entry(1).name, "f02.rbp");
    EXPECT_EQ(a.entry(1).unpackedSize, 0u);  // the unusable picture is an empty member

    Picture bg;
    ASSERT_TRUE(decodeRbp(*a.extract(systemPath(out + "/data/bg" + suffix), "bg01.rbp"), bg));
    EXPECT_EQ(bg.width, factor == 100 ? 64u : 32u);
    EXPECT_EQ(bg.designWidth, 64);
    int x = 0, y = 0;
    Picture overlay;
    ASSERT_TRUE(decodeRbp(*a.extract(systemPath(out + "/data/Stand" + suffix), "st_a_f1.rbp"), overlay, &x, &y));
    EXPECT_EQ(std::pair(x, y), std::pair(200, 80));
    EXPECT_GT(s.bytesWritten, total);
  }
}

TEST(ConversionJob, RunsOnItsWorkerAndOnlyOnce) {
  std::string game = makeGame("game2");
  std::string out = kRoot + "/out_thread";
  fs::remove_all(out);
  fs::create_directories(out);
  ConversionJob job(settingsFor(game, out, 50, 3));
  ASSERT_TRUE(job.start());
  job.wait();
  EXPECT_TRUE(job.done());
  EXPECT_EQ(job.count(), 16);
  job.runJob();  // a finished job does nothing more
  EXPECT_EQ(job.count(), 16);

  // Without content groups only the folders appear.
  std::string empty = kRoot + "/out_none";
  fs::remove_all(empty);
  fs::create_directories(empty);
  ConversionSettings s = settingsFor(game, empty, 50, 0);
  s.pictures = s.music = s.voices = false;
  ConversionJob none(s);
  none.runJob();
  EXPECT_EQ(none.total(), 0);
  EXPECT_TRUE(fs::is_directory(empty + "/data/se"));
  EXPECT_FALSE(fs::exists(empty + "/data/Script.mlz"));
}

// With two members at a time the counts still rise one by one, in member order, and every
// step is announced before its members.
TEST(ConversionJob, ParallelProgressRisesOneByOne) {
  std::string game = makeGame("game_jobs");
  std::string out = kRoot + "/out_jobs";
  fs::remove_all(out);
  fs::create_directories(out);
  ConversionSettings s = settingsFor(game, out, 50, 2);
  s.jobs = 2;
  ConversionJob job(s);
  std::vector<std::string> steps;
  int last = 0;
  bool inOrder = true, wholeTotal = true;
  job.setListener([&](const StepProgress& p) {
    // The total of every step is known before the first step begins.
    wholeTotal = wholeTotal && job.total() == 16;
    if (p.done == 0) {
      steps.push_back(p.source);
      return;
    }
    inOrder = inOrder && job.count() == last + 1 && p.source == steps.back();
    last = job.count();
  });
  job.runJob();
  EXPECT_TRUE(inOrder);
  EXPECT_TRUE(wholeTotal);
  EXPECT_EQ(last, 16);
  EXPECT_EQ(steps, (std::vector<std::string>{"Script.pac", "Table.pac", "BG.pac", "Stand.pac", "Visual.pac", "Face.pac",
                                             "Thumbnail.pac", "System.pac"}));
  ASSERT_EQ(job.summary().problems.size(), 1u);
  EXPECT_EQ(job.summary().problems[0].member, "f02.bmp");
}

// Cancelled in the middle of a step: the members under way are finished, the interrupted
// archive is not written (nor left half-written), the later steps do not run and the movies,
// which come after the pictures, are not copied.
TEST(ConversionJob, CancelStopsBetweenMembers) {
  std::string game = makeGame("game_cancel");
  fs::create_directories(game + "/Movie");
  writeFile(game + "/Movie/Opening.jmv", {'J', 'M', 'V', '1'});
  for (int jobs : {1, 2}) {
    SCOPED_TRACE(jobs);
    std::string out = kRoot + "/out_cancel" + std::to_string(jobs);
    fs::remove_all(out);
    fs::create_directories(out);
    ConversionSettings s = settingsFor(game, out, 50, 0);
    s.jobs = jobs;
    ConversionJob job(s);
    job.setListener([&](const StepProgress& p) {
      if (p.source == "Stand.pac" && p.done == 1) job.cancel();
    });
    ASSERT_TRUE(job.start());
    job.wait();
    ASSERT_TRUE(job.done());
    EXPECT_TRUE(job.summary().cancelled);
    EXPECT_LT(job.count(), job.total());
    EXPECT_EQ(job.total(), 16);  // counted before the first member
    EXPECT_EQ(job.summary().movieFiles, 0);
    EXPECT_FALSE(fs::exists(out + "/data/jmv"));
    std::vector<std::string> written;
    for (const auto& f : fs::directory_iterator(out + "/data"))
      if (f.is_regular_file()) written.push_back(f.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"Script.mlz", "Table.mlz", "bg.mlz"}));
  }
}

// A sanitizer reserves terabytes of address space: the limited child cannot run under one.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SOREL_TEST_SANITIZED 1
#elif defined(__has_feature)
#define SOREL_TEST_SANITIZED (__has_feature(address_sanitizer) || __has_feature(thread_sanitizer))
#else
#define SOREL_TEST_SANITIZED 0
#endif

#if !SOREL_TEST_SANITIZED
/// The running process's address space in bytes (VmSize), 0 when unknown.
uint64_t addressSpace() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7)) * 1024;
  return 0;
}
#endif

// Scenario members whose size fields were damaged (400 MB claimed by 9 packed bytes) are listed
// and written empty without ever being allocated, in a child limited to 256 MiB more address
// space; a member of an update's name that comes twice gets the update twice, and an update that
// cannot be unpacked leaves the game's own member, said in the summary.
TEST(ConversionJob, DamagedSizesAndUpdatesAreListed) {
  const std::string game = makeGame("game_damaged");
  const std::vector<PacMember> members = {{"01-01.bin", {1, 1, 1}}, {"big1.bin", std::vector<uint8_t>(9, 0)},
                                          {"02-01.bin", {2, 2}},    {"01-01.BIN", {3}},
                                          {"big2.bin", std::vector<uint8_t>(9, 0)}};
  // The unpacked size of .pac entry i: 12-byte header, 76-byte entries, the size at 68.
  auto unpackedSizeAt = [](size_t i) { return 12 + 76 * i + 68; };
  auto image = buildPac(members, 1);
  ASSERT_TRUE(image);
  for (size_t i : {1, 4}) storeU32(image->data() + unpackedSizeAt(i), 400u << 20);
  writeFile(game + "/Script.pac", *image);
  auto update = pac({{"01-01.bin", {9, 9, 9, 9}}, {"02-01.bin", {7, 7}}});
  storeU32(update.data() + unpackedSizeAt(1), 50);  // 50 from 2 stored
  writeFile(game + "/Update.pac", update);
  const std::string out = kRoot + "/out_damaged";
  fs::remove_all(out);
  fs::create_directories(out);
  ConversionSettings settings = settingsFor(game, out, 50, 0);
  settings.jobs = 2;

#if !SOREL_TEST_SANITIZED
  const uint64_t space = addressSpace();
  ASSERT_GT(space, 0u);
  const pid_t child = ::fork();
  if (child == 0) {
    mallopt(M_ARENA_MAX, 1);  // no 64 MiB arena reserved per worker thread
    rlimit limit{space + (256u << 20), space + (256u << 20)};
    ::setrlimit(RLIMIT_AS, &limit);
    ConversionJob job(settings);
    job.runJob();
    ::_exit(job.summary().problems.size() == 3 ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif

  ConversionJob job(settings);
  job.runJob();
  const ConversionSummary& s = job.summary();
  ASSERT_EQ(s.problems.size(), 3u);  // and the game's unusable face
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(s.problems[k].member, k == 0 ? "big1.bin" : "big2.bin");
    EXPECT_NE(s.problems[k].reason.find("damaged size field"), std::string::npos) << s.problems[k].reason;
  }
  ASSERT_EQ(s.failures.size(), 1u);
  EXPECT_EQ(s.failures[0].rfind("Update.pac: 02-01.bin: cannot be unpacked", 0), 0u) << s.failures[0];
  ASSERT_EQ(s.notes.size(), 1u);
  EXPECT_NE(s.notes[0].find("01-01.BIN"), std::string::npos) << s.notes[0];

  MlzArchive a;
  ASSERT_TRUE(a.loadIndex(systemPath(out + "/data/Script.mlz"), true));
  ASSERT_EQ(a.memberCount(), 5u);
  const std::vector<std::vector<uint8_t>> expected = {{9, 9, 9, 9}, {}, {2, 2}, {9, 9, 9, 9}, {}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(a.entry(i).unpackedSize, expected[i].size()) << i;
    if (!expected[i].empty()) {
      EXPECT_EQ(a.extractAt(i), expected[i]) << i;
    }
  }
}

// An archive that would pass its size limit (4 GiB; here Table.mlz's directory and 8 bytes)
// fails its step with the reason and is not written, never with zeroed entries past the limit.
TEST(ConversionJob, AnArchivePastItsLimitFailsItsStep) {
  const std::string out = kRoot + "/out_limit";
  fs::remove_all(out);
  fs::create_directories(out);
  ConversionSettings settings = settingsFor(makeGame("game_limit"), out, 50, 0);
  settings.archiveSizeLimit = mlz::kHeaderSize + 3 * mlz::kEntrySize + 8;
  ConversionJob job(settings);
  job.runJob();
  ASSERT_FALSE(job.summary().failures.empty());
  EXPECT_EQ(job.summary().failures[0].rfind("Table.mlz: cannot be written: it would pass", 0), 0u);
  EXPECT_FALSE(fs::exists(out + "/data/Table.mlz"));
  EXPECT_TRUE(fs::exists(out + "/data/Script.mlz")) << "two members of a few bytes fit";
}

// A step whose archive cannot be created passes its members: the count still reaches the total,
// and the failure is in the summary; the other steps and the movies are written.
TEST(ConversionJob, AnOutputThatCannotBeCreatedStillCompletesTheCount) {
  std::string game = makeGame("game_blocked");
  fs::create_directories(game + "/Movie");
  writeFile(game + "/Movie/Opening.jmv", {'J', 'M', 'V', '1'});
  writeFile(game + "/Movie/Opening.mp3", {0xFF, 0xF3});
  std::string out = kRoot + "/out_blocked";
  fs::remove_all(out);
  // A folder where the archive's temporary file would go.
  fs::create_directories(out + "/data/Stand.mlz.part");
  ConversionJob job(settingsFor(game, out, 50, 0));
  job.runJob();
  EXPECT_EQ(job.total(), 16);
  EXPECT_EQ(job.count(), 16);
  const ConversionSummary& s = job.summary();
  EXPECT_EQ(s.members, 16 - 3);
  ASSERT_EQ(s.failures.size(), 1u);
  EXPECT_EQ(s.failures[0].rfind("Stand.mlz: cannot be created", 0), 0u) << s.failures[0];
  EXPECT_TRUE(fs::exists(out + "/data/System.mlz"));
  EXPECT_EQ(s.movieFiles, 2);
  EXPECT_TRUE(fs::exists(out + "/data/jmv/Opening.mp3"));
}

// The sample game as sorel-mkgame writes it, converted at both sizes at other qualities: every picture member is a
// picture the engine can load, none was left empty, and the stand overlays carry the place
// their descriptor gives.
TEST(ConversionJob, SampleGameConvertsCompletely) {
  const std::string game = test::sampleGame().string();
  for (auto [factor, quality] : {std::pair{100, 2}, {50, 3}}) {
    std::string out = kRoot + "/sample_out" + std::to_string(factor);
    fs::remove_all(out);
    fs::create_directories(out);
    ConversionJob job(settingsFor(game, out, factor, quality));
    job.runJob();
    EXPECT_TRUE(job.summary().problems.empty());
    EXPECT_TRUE(job.summary().failures.empty());
    int pictures = 0;
    MlzArchive a;
    for (const char* base : {"bg", "Stand", "Visual", "Face", "Thumbnail", "System"}) {
      ASSERT_TRUE(a.loadIndex(systemPath(out + "/data/" + ConversionJob::pictureArchiveName(base, factor)), true));
      for (size_t i = 0; i < a.memberCount(); ++i) {
        if (!sameName(extensionOf(a.entry(i).name), ".rbp")) continue;
        auto bytes = a.extractAt(i);
        ASSERT_TRUE(bytes) << a.entry(i).name;
        Picture p;
        ASSERT_TRUE(decodeRbp(*bytes, p)) << a.entry(i).name;
        ++pictures;
      }
    }
    EXPECT_EQ(pictures, job.summary().pictures);
    EXPECT_GT(pictures, 100);
  }
}

struct CommandResult {
  int status = -1;
  std::string out, err;
};

CommandResult convSorel(const std::string& args, const std::string& env = "") {
  // Per test, so that tests running side by side keep their outputs apart.
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::string o = kRoot + "/" + test + ".stdout.txt", e = kRoot + "/" + test + ".stderr.txt";
  std::string cmd = env + " " + std::string(SOREL_BIN_DIR) + "/convSorel " + args + " >" + o + " 2>" + e;
  CommandResult r;
  int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto slurp = [](const std::string& path) {
    std::ifstream f(path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  };
  r.out = slurp(o);
  r.err = slurp(e);
  return r;
}

TEST(ConvSorelBatch, StartChecksProgressAndSummary) {
  std::string game = makeGame("game3");
  std::string out = kRoot + "/out_cli";
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string noRegistry = "XDG_CONFIG_HOME=" + kRoot + "/noconfig";

  // Without --batch the dialog opens; with no display that is a one-line error naming --batch.
  CommandResult noDisplay = convSorel("", "env -u DISPLAY -u WAYLAND_DISPLAY " + noRegistry);
  EXPECT_EQ(noDisplay.status, 2);
  EXPECT_NE(noDisplay.err.find("--batch"), std::string::npos);
  CommandResult help = convSorel("--help", noRegistry);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--jobs N"), std::string::npos);
  // On/off pairs read as such; nothing of the parser's own notation shows.
  EXPECT_NE(help.out.find("--voices / --no-voices"), std::string::npos) << help.out;
  for (const char* leftover : {"{false}", "TEXT", "Excludes", ",--no-"})
    EXPECT_EQ(help.out.find(leftover), std::string::npos) << leftover << "\n" << help.out;

  CommandResult noGame = convSorel("--batch", noRegistry);
  EXPECT_EQ(noGame.status, 2);
  EXPECT_NE(noGame.err.find("no game folder"), std::string::npos);
  CommandResult noFolder = convSorel("--batch --game " + kRoot + "/nonexistent", noRegistry);
  EXPECT_EQ(noFolder.status, 2);
  EXPECT_NE(noFolder.err.find("/nonexistent: no such folder"), std::string::npos) << noFolder.err;
  // A value that is not one of the choices is answered with the choices.
  CommandResult badBitrate = convSorel("--batch --music-bitrate 100 --game " + game, noRegistry);
  EXPECT_EQ(badBitrate.status, 2);
  EXPECT_NE(badBitrate.err.find("(16/8, 32/16, 48/24, 64/32"), std::string::npos) << badBitrate.err;

  CommandResult noExe = convSorel("--batch --game " + kRoot, noRegistry);
  EXPECT_EQ(noExe.status, 1);
  EXPECT_NE(noExe.err.find("『Lumenwish』のフォルダを指定して下さい。"), std::string::npos);

  EXPECT_EQ(convSorel("--batch --size 400 --game " + game, noRegistry).status, 2);
  EXPECT_EQ(convSorel("--batch --quality 95 --game " + game, noRegistry).status, 2);

  fs::create_directories(game + "/Movie");
  writeFile(game + "/Movie/Opening.jmv", {'J', 'M', 'V', '1'});
  CommandResult ok = convSorel("--batch --game " + game + " --out " + out + "/ --size 640 --quality 90", noRegistry);
  EXPECT_EQ(ok.status, 1) << ok.err;  // a member written empty fails the run
  EXPECT_NE(ok.out.find("1 member could not be converted"), std::string::npos) << ok.out;
  EXPECT_NE(ok.out.find("f02.bmp"), std::string::npos);
  EXPECT_TRUE(fs::exists(out + "/data/Visual_vga.mlz"));
  // Standard output is a file: one line per archive step (none of these is long), the final
  // count without empty brackets, the summary, and last where the data went and for which player.
  std::vector<std::string> lines;
  std::istringstream in(ok.out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  const std::vector<std::string> steps = {"Script.pac: 2 members", "Table.pac: 3 members", "BG.pac: 1 member",
                                          "Stand.pac: 3 members",  "Visual.pac: 2 members", "Face.pac: 2 members",
                                          "Thumbnail.pac: 1 member", "System.pac: 2 members"};
  ASSERT_GE(lines.size(), steps.size() + 4) << ok.out;
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + long(steps.size())), steps) << ok.out;
  EXPECT_EQ(lines[steps.size() + 1], "変換データ数：16 / 16");
  EXPECT_EQ(lines[steps.size() + 2].rfind("16 members (", 0), 0u) << ok.out;
  EXPECT_NE(lines[steps.size() + 2].find("1 movie file copied"), std::string::npos) << ok.out;
  EXPECT_NE(lines.back().find(" written to " + out + "/data for pocketplayer (640 × 480); incomplete"),
            std::string::npos)
      << ok.out;

  // The registry's DIRECTORY names the game's program: the folder is the part before the last
  // backslash. The output folder defaults to the current one.
  const std::string config = kRoot + "/config";
  fs::remove_all(config);
  fs::create_directories(config);
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ASSERT_TRUE(platform::registrySetString("Software\\ORBA\\Lumenwish", "DIRECTORY", systemPath(game) + "\\Lumenwish.exe"));
  ::unsetenv("XDG_CONFIG_HOME");
  std::string cwdOut = kRoot + "/out_cwd";
  fs::remove_all(cwdOut);
  fs::create_directories(cwdOut);
  CommandResult fromRegistry = convSorel("--batch --no-music --no-voices", "cd " + cwdOut + " && XDG_CONFIG_HOME=" + config);
  EXPECT_EQ(fromRegistry.status, 1) << fromRegistry.err;  // f02.bmp again
  EXPECT_TRUE(fs::exists(cwdOut + "/data/bg.mlz"));
  EXPECT_NE(fromRegistry.out.find("written to " + fs::canonical(cwdOut).string() + "/data for handheldplayer (320 × 240)"),
            std::string::npos)
      << fromRegistry.out;
  // --user-data writes below the per-user data folder, made when missing, and a complete run
  // names the player alone: it looks there.
  fs::remove(game + "/Face.pac");
  const std::string xdg = kRoot + "/xdg_data";
  fs::remove_all(xdg);
  CommandResult userData = convSorel("--batch --user-data --no-music --no-voices --game " + game,
                                     noRegistry + " XDG_DATA_HOME=" + xdg);
  EXPECT_EQ(userData.status, 0) << userData.err;
  EXPECT_TRUE(fs::exists(xdg + "/sorel/data/bg.mlz"));
  EXPECT_NE(userData.out.find("written to " + xdg + "/sorel/data for handheldplayer (320 × 240); play it with: "
                              "handheldplayer\n"),
            std::string::npos)
      << userData.out;
  EXPECT_EQ(fromRegistry.out.find("not converted by this build"), std::string::npos);
}

// A game folder with only the four sound archives, packed the three ways the game packs them.
// Two members cannot be used: a sound effect that is no WAVE file and a voice whose fmt chunk
// is cut short.
std::string makeSoundGame(const std::string& name) {
  std::string game = kRoot + "/" + name;
  fs::remove_all(game);
  fs::create_directories(game);
  writeFile(game + "/Lumenwish.exe", {'M', 'Z'});
  const std::string opening = "\x83\x49\x81\x5B\x83\x76\x83\x6A\x83\x93\x83\x4F.wav";  // オープニング.wav
  auto stereo44 = wavePcm16(sine(440, 9000, 44100 / 2, 44100, 2), 2, 44100);
  auto mono22 = wavePcm16(sine(330, 9000, 22050 / 2, 22050, 1), 1, 22050);
  std::vector<uint8_t> format = formatData(0x11, 1, 22050, 512, 4);
  put16(format, 2);
  put16(format, 1017);
  std::vector<uint8_t> adpcm(4, 0);
  adpcm.insert(adpcm.end(), 508, 0x17);
  auto adpcmWave = riff({chunk("fmt ", format), chunk("data", adpcm)});
  auto brokenVoice = riff({chunk("fmt ", std::vector<uint8_t>(10, 1)), chunk("data", {1, 2})});

  constexpr uint32_t kStored = 0, kLzss = 1, kHuffman = 2;  // the archives' packing methods
  auto pacFile = [&](const char* file, std::vector<PacMember> members, uint32_t method) {
    EXPECT_TRUE(writePac(systemPath(game + "/" + file), members, method)) << file;
  };
  pacFile("BGM.pac", {{opening, stereo44}, {"BGM_Calm.wav", mono22}}, kHuffman);
  pacFile("SE.pac", {{"se_pop.wav", adpcmWave}, {"se_bad.wav", {'n', 'o', 'p', 'e'}}}, kLzss);
  pacFile("SystemVoice.pac", {{"sys01.wav", mono22}}, kStored);
  pacFile("Voice.pac", {{"01001.wav", mono22}, {"01002.wav", brokenVoice}, {"01003.wav", stereo44}},
          kLzss);
  return game;
}

class SoundSteps : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(mp3check::loadBuiltDecoder()); }
  void TearDown() override { unloadDecoderModule(); }

  static std::vector<uint8_t> read(const std::string& host) {
    auto bytes = platform::readWholeFile(systemPath(host));
    return bytes ? *bytes : std::vector<uint8_t>{};
  }
};

TEST_F(SoundSteps, LooseFilesAndVoiceArchive) {
  std::string game = makeSoundGame("sounds");
  std::string out = kRoot + "/out_sounds";
  fs::remove_all(out);
  fs::create_directories(out + "/data/se");
  writeFile(out + "/data/se/se_bad.mp3", {1, 2, 3});  // from an earlier run
  ConversionSettings s = settingsFor(game, out, 50, 0);
  s.pictures = false;
  ConversionJob job(s);
  job.runJob();
  ASSERT_TRUE(job.done());
  EXPECT_EQ(job.count(), 8);
  EXPECT_EQ(job.total(), 8);
  const ConversionSummary& sum = job.summary();
  EXPECT_TRUE(sum.failures.empty());
  EXPECT_TRUE(sum.notes.empty());
  EXPECT_EQ(sum.sounds, 6);
  EXPECT_EQ(sum.soundFiles, 4);
  EXPECT_EQ(sum.archivesWritten, 1);
  ASSERT_EQ(sum.problems.size(), 2u);
  EXPECT_EQ(sum.problems[0].archive, "data\\se");
  EXPECT_EQ(sum.problems[0].member, "se_bad.wav");
  EXPECT_EQ(sum.problems[0].reason, "not a RIFF file");
  EXPECT_EQ(sum.problems[1].archive, "voice.mlz");
  EXPECT_EQ(sum.problems[1].member, "01002.wav");

  // The music settings' defaults: 22050 Hz stereo at 64 kbit/s, whatever the source.
  for (const char* file : {"/data/bgm/オープニング.mp3", "/data/bgm/BGM_Calm.mp3", "/data/se/se_pop.mp3", "/data/sys/sys01.mp3"}) {
    SCOPED_TRACE(file);
    auto mp3 = read(out + file);
    auto frames = mp3check::frames(mp3);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].kbps, 64);
    auto d = mp3check::decode(mp3);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->channels, 2);
    EXPECT_EQ(d->rate, 22050);
  }
  EXPECT_FALSE(fs::exists(out + "/data/se/se_bad.mp3"));

  // voice.mlz: one stored ".mp3" entry per source member, mono 32 kbit/s, the broken one empty.
  MlzArchive a;
  ASSERT_TRUE(a.loadIndex(systemPath(out + "/data/voice.mlz"), true));
  ASSERT_EQ(a.memberCount(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const MlzEntry& e = a.entry(i);
    EXPECT_EQ(e.name, "0100" + std::to_string(i + 1) + ".mp3");
    EXPECT_EQ(e.method, 0u);
    EXPECT_EQ(e.packedSize, e.unpackedSize);
  }
  EXPECT_EQ(a.entry(1).unpackedSize, 0u);
  auto voice = a.extractAt(2);
  ASSERT_TRUE(voice);
  EXPECT_EQ(mp3check::frames(*voice)[0].kbps, 32);
  auto d = mp3check::decode(*voice);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->channels, 1);
  EXPECT_EQ(d->rate, 22050);
  EXPECT_GT(mp3check::rms(d->samples, 1, 0, 2000), 5000);  // the stereo tone mixed to mono

  // Only the voices: the music folders stay as they are.
  std::string voicesOnly = kRoot + "/out_voices";
  fs::remove_all(voicesOnly);
  fs::create_directories(voicesOnly);
  s = settingsFor(game, voicesOnly, 50, 0);
  s.pictures = s.music = false;
  s.voiceBitrateIndex = 12;
  s.voiceRateIndex = 1;
  ConversionJob voices(s);
  voices.runJob();
  EXPECT_EQ(voices.total(), 3);
  EXPECT_TRUE(fs::is_empty(voicesOnly + "/data/bgm"));
  ASSERT_TRUE(a.loadIndex(systemPath(voicesOnly + "/data/voice.mlz"), true));
  auto frames = mp3check::frames(*a.extractAt(0));
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].kbps, 160);
  EXPECT_EQ(frames[0].rate, 44100);
  EXPECT_EQ(frames[0].channels, 1);
}

TEST(StartChecks, InTheDialogsOrder) {
  std::string game = makeSoundGame("start");
  std::string noGame = kRoot + "/start_empty";
  fs::create_directories(noGame);
  EXPECT_EQ(checkStart("", ""), StartRefusal::NoGameFolder);
  // The encoder comes before the game's program, whatever the content groups.
  EXPECT_EQ(checkStart(systemPath(noGame), ""), StartRefusal::NoEncoder);
  EXPECT_EQ(checkStart(systemPath(noGame), "LAME 3.100"), StartRefusal::NoGame);
  EXPECT_EQ(checkStart(systemPath(game) + "\\", "LAME 3.100"), StartRefusal::None);
  EXPECT_STREQ(startMessage(StartRefusal::NoEncoder).text, "<< GOGO.DLL >>が見つかりませんでした。");
  EXPECT_STREQ(startMessage(StartRefusal::NoEncoder).caption, "ＤＬＬ異常");
  EXPECT_STREQ(startMessage(StartRefusal::NoGame).caption, "フォルダ異常");
  EXPECT_EQ(startMessage(StartRefusal::None).text, nullptr);
  EXPECT_EQ(probeEncoder().rfind("LAME ", 0), 0u);
  EXPECT_EQ(encoderLine("LAME 3.100"), "GOGO.DLL : LAME 3.100");
}

TEST_F(SoundSteps, BatchAudioOptions) {
  std::string game = makeSoundGame("cli_sounds");
  std::string out = kRoot + "/out_cli_sounds";
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string noRegistry = "XDG_CONFIG_HOME=" + kRoot + "/noconfig";
  const std::string base = "--batch --no-pictures --game " + game + " --out " + out;

  CommandResult ok = convSorel(base + " --music-bitrate 128/64kbit --mono --music-rate 44100 --voice-bitrate 160kbit "
                                      "--voice-rate 22.05kHz",
                               noRegistry);
  EXPECT_EQ(ok.status, 1) << ok.err;  // two members are unusable
  EXPECT_EQ(ok.out.rfind("GOGO.DLL : LAME ", 0), 0u) << ok.out;
  EXPECT_NE(ok.out.find("変換データ数：8 / 8"), std::string::npos) << ok.out;
  EXPECT_NE(ok.out.find("6 sounds"), std::string::npos) << ok.out;
  EXPECT_NE(ok.out.find("01002.wav: format chunk shorter than 14 bytes"), std::string::npos) << ok.out;
  auto music = mp3check::frames(read(out + "/data/bgm/BGM_Calm.mp3"));
  ASSERT_FALSE(music.empty());
  EXPECT_EQ(music[0].kbps, 64);
  EXPECT_EQ(music[0].channels, 1);
  EXPECT_EQ(music[0].rate, 44100);
  MlzArchive a;
  auto voice = a.extract(systemPath(out + "/data/voice.mlz"), "01001.mp3");
  ASSERT_TRUE(voice);
  EXPECT_EQ(mp3check::frames(*voice)[0].kbps, 160);

  // A list value MPEG lacks at the rate is encoded at the nearest one, and said so.
  CommandResult high = convSorel(base + " --no-voices --music-bitrate 320", noRegistry);
  EXPECT_EQ(high.status, 1) << high.err;  // se_bad.wav
  EXPECT_NE(high.out.find("320 kbit/s does not exist at 22050 Hz; encoded at 160 kbit/s"), std::string::npos) << high.out;
  EXPECT_EQ(mp3check::frames(read(out + "/data/bgm/BGM_Calm.mp3"))[0].kbps, 160);

  for (const char* bad : {"--music-bitrate 100", "--music-bitrate 64/31", "--voice-bitrate 320", "--music-rate 48000",
                          "--voice-rate 11025"}) {
    CommandResult r = convSorel(base + " " + bad, noRegistry);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find(std::string(bad).substr(0, std::string(bad).find(' '))), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace sorel
