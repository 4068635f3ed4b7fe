// Damaged data folders through the real players: the sample game is made and converted (music
// and voices included), a quick save is made on the intact folder, and then each data file in
// turn is damaged in several ways (cut at a random point, bytes flipped, members swapped,
// emptied, its directory count raised) in a copy of the folder. Each copy is played headless on
// the virtual clock: the title (movie and intro ended by taps), New Game, a few hundred frames of
// story with taps, and a quick load. No run may crash, hang (the frame limit ends every run; a
// run still alive long after counts as a hang), or draw a sanitizer report when built with one.
// A player that cannot start says so in one line and exits 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/audio/jmv_format.h"
#include "engine/resources/mlz_format.h"
#include "tests/e2e/player_run.h"

namespace sorel::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kFrames = 450;
// The quick save: the first message of New Game, typed out, its marker up at frame 380.
constexpr const char* kSaveInput = "30 tap 320 40\n90 tap 320 40\n160 press down\n166 press right\n380 press enter\n";
// The script: the movie and the intro ended, New Game, taps through the story, the quick load
// (the centre key loads slot 1 under KEY_CEN_CTRL=5), more taps.
constexpr const char* kInput =
    "30 tap 320 40\n90 tap 320 40\n160 press down\n166 press right\n"
    "250 tap 320 400\n270 tap 320 400\n290 tap 320 400\n310 tap 320 400\n330 tap 320 400\n"
    "380 press enter\n400 tap 320 400\n420 tap 320 400\n440 tap 320 400\n";

Bytes readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const Bytes& b) {
  fs::remove(p);  // never through a hard link into the intact folder
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

uint32_t word(const Bytes& b, size_t at) {
  uint32_t v = 0;
  if (at + 4 <= b.size()) std::memcpy(&v, b.data() + at, 4);
  return v;
}

void setWord(Bytes& b, size_t at, uint32_t v) {
  if (at + 4 <= b.size()) std::memcpy(b.data() + at, &v, 4);
}

// The ways one file is damaged. Each gets the file's bytes and the run's random source.
using Damage = std::function<void(Bytes&, std::mt19937&)>;

void truncateAtRandom(Bytes& b, std::mt19937& r) {
  if (!b.empty()) b.resize(r() % b.size());
}

void flipBytes(Bytes& b, std::mt19937& r) {
  if (b.empty()) return;
  // Some in the head, where the directories and headers are, the rest anywhere.
  for (int i = 0; i < 24; ++i) {
    const size_t span = i < 8 ? std::min<size_t>(b.size(), 1024) : b.size();
    b[r() % span] ^= uint8_t(1 + r() % 255);
  }
}

void empty(Bytes& b, std::mt19937&) { b.clear(); }

void swapArchiveMembers(Bytes& b, std::mt19937& r) {
  const uint32_t n = word(b, mlz::kCountOffset);
  if (n < 2 || b.size() < mlz::kHeaderSize + size_t(n) * mlz::kEntrySize) return;
  // Names stay, the stored bytes behind them trade places: a member is found with another's data.
  for (int k = 0; k < 4; ++k) {
    const size_t i = r() % n, j = r() % n;
    uint8_t* a = b.data() + mlz::kHeaderSize + i * mlz::kEntrySize + mlz::kEntryPackedSize;
    uint8_t* c = b.data() + mlz::kHeaderSize + j * mlz::kEntrySize + mlz::kEntryPackedSize;
    std::swap_ranges(a, a + (mlz::kEntrySize - mlz::kEntryPackedSize), c);
  }
}

void raiseArchiveCount(Bytes& b, std::mt19937& r) {
  setWord(b, mlz::kCountOffset, word(b, mlz::kCountOffset) * 4 + 1 + r() % 1000);
}

void raiseMovieCount(Bytes& b, std::mt19937& r) {
  setWord(b, jmv::kFrameCountOffset, word(b, jmv::kFrameCountOffset) * 8 + 1 + r() % 1000);
}

struct Variant {
  std::string name;
  std::function<void(const fs::path& data, std::mt19937&)> apply;
};

/// One file damaged one way.
Variant onFile(const fs::path& relative, const std::string& how, Damage d) {
  return {relative.string() + " " + how, [relative, d](const fs::path& data, std::mt19937& r) {
            Bytes b = readFile(data / relative);
            d(b, r);
            writeFile(data / relative, b);
          }};
}

/// Every file of a sound folder damaged one way at once (each at its own random point).
Variant onFolder(const fs::path& folder, const std::string& ext, const std::string& how, Damage d) {
  return {folder.string() + "/*" + ext + " " + how, [folder, ext, d](const fs::path& data, std::mt19937& r) {
            std::vector<fs::path> files;
            for (const auto& e : fs::directory_iterator(data / folder))
              if (e.path().extension() == ext) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const auto& f : files) {
              Bytes b = readFile(f);
              d(b, r);
              writeFile(f, b);
            }
          }};
}

/// The files of a sound folder trade contents in a ring (a name plays another's sound).
Variant swapFolder(const fs::path& folder, const std::string& ext) {
  return {folder.string() + "/*" + ext + " swapped", [folder, ext](const fs::path& data, std::mt19937&) {
            std::vector<fs::path> files;
            for (const auto& e : fs::directory_iterator(data / folder))
              if (e.path().extension() == ext) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            if (files.size() < 2) return;
            std::vector<Bytes> contents;
            for (const auto& f : files) contents.push_back(readFile(f));
            for (size_t i = 0; i < files.size(); ++i) writeFile(files[i], contents[(i + 1) % files.size()]);
          }};
}

std::vector<Variant> variantsFor(const fs::path& data) {
  std::vector<Variant> out;
  std::vector<fs::path> archives;
  for (const auto& e : fs::directory_iterator(data))
    if (e.path().extension() == ".mlz") archives.push_back(e.path().filename());
  std::sort(archives.begin(), archives.end());
  for (const auto& a : archives) {
    out.push_back(onFile(a, "truncated", truncateAtRandom));
    out.push_back(onFile(a, "flipped", flipBytes));
    out.push_back(onFile(a, "members swapped", swapArchiveMembers));
    out.push_back(onFile(a, "emptied", empty));
    out.push_back(onFile(a, "count raised", raiseArchiveCount));
  }
  const fs::path movie = fs::path("jmv") / "Opening.jmv";
  out.push_back(onFile(movie, "truncated", truncateAtRandom));
  out.push_back(onFile(movie, "flipped", flipBytes));
  out.push_back(onFile(movie, "emptied", empty));
  out.push_back(onFile(movie, "count raised", raiseMovieCount));
  for (const char* folder : {"bgm", "se", "sys", "jmv"}) {
    out.push_back(onFolder(folder, ".mp3", "truncated", truncateAtRandom));
    out.push_back(onFolder(folder, ".mp3", "flipped", flipBytes));
    out.push_back(onFolder(folder, ".mp3", "emptied", empty));
    out.push_back(swapFolder(folder, ".mp3"));
  }
  for (const char* save : {"save/save000.dat", "save/save001.dat"}) {
    out.push_back(onFile(save, "truncated", truncateAtRandom));
    out.push_back(onFile(save, "flipped", flipBytes));
    out.push_back(onFile(save, "emptied", empty));
  }
  return out;
}

/// A copy of the program folder whose data files are hard links to the intact ones (a damaged
/// file is always written afresh, never through its link); the settings and saves are copies.
void linkCopy(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  for (const auto& e : fs::recursive_directory_iterator(from)) {
    const fs::path target = to / fs::relative(e.path(), from);
    if (e.is_directory()) {
      fs::create_directories(target);
    } else {
      fs::create_directories(target.parent_path());
      const bool copy = e.path().filename() == "sorel.cfg" || e.path().parent_path().filename() == "save";
      if (copy) fs::copy_file(e.path(), target);
      else fs::create_hard_link(e.path(), target);
    }
  }
}

bool sanitizerReport(const std::string& output) {
  for (const char* s : {"AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:",
                        "ThreadSanitizer"})
    if (output.find(s) != std::string::npos) return true;
  return false;
}

class DamagedData : public ::testing::Test {
 protected:
  void playEveryVariant(const std::string& program, int size) {
    const fs::path dir = fs::path(SOREL_TEST_TMP) / "damaged_data";
    const fs::path intact = dir / ("intact" + std::to_string(size));
    ASSERT_EQ(copySample(intact, size), "");
    std::ofstream(dir / "input.txt") << kInput;
    std::ofstream(dir / "save.txt") << kSaveInput;

    // The quick save the load comes back to: the centre key saves under KEY_CEN_CTRL=4.
    std::ofstream(intact / "sorel.cfg", std::ios::binary) << "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=4\r\n[KEY_CONFIG]\r\nKEY_START=0D\r\n";
    const std::string frames = " --headless --virtual-clock --frames " + std::to_string(kFrames);
    const std::string common = frames + " --input " + quote((dir / "input.txt").string());
    auto save = runProgram(program, "--root " + quote(intact.string()) + frames + " --input " +
                                        quote((dir / "save.txt").string()));
    ASSERT_EQ(save.exitCode, 0) << save.output;
    ASSERT_TRUE(fs::exists(intact / "data" / "save" / "save001.dat")) << "the quick save";
    std::ofstream(intact / "sorel.cfg", std::ios::binary) << "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=5\r\n[KEY_CONFIG]\r\nKEY_START=0D\r\n";

    // The intact folder plays through with exit 0 and no report: into the story, then back to
    // the saved message by the quick load at frame 380.
    const fs::path dump = dir / "state.txt";
    auto baseline = runProgram(program, "--root " + quote(intact.string()) + common + " --dump-state " +
                                            quote(dump.string()));
    ASSERT_EQ(baseline.exitCode, 0) << baseline.output;
    ASSERT_FALSE(sanitizerReport(baseline.output)) << baseline.output;
    const StateDump lines = readStateDump(dump);
    ASSERT_EQ(lines.frames.size(), size_t(kFrames));
    EXPECT_EQ(lines.get(300, "mode"), "99") << "in the story: " << lines.line(300);
    EXPECT_NE(lines.get(381, "pc"), lines.get(379, "pc")) << "the quick load went back to the saved message";

    const auto variants = variantsFor(intact / "data");
    int refused = 0;
    for (size_t v = 0; v < variants.size(); ++v) {
      const fs::path copy = dir / "damaged";
      linkCopy(intact, copy);
      std::mt19937 random(uint32_t(20261209 + v));
      variants[v].apply(copy / "data", random);
      // A run on the virtual clock takes a few seconds; one still going after minutes hangs.
      auto run = runCommand("timeout -s KILL 300 " + std::string(SOREL_BIN_DIR) + "/" + program + " --root " +
                            quote(copy.string()) + common);
      const std::string what = program + " with " + variants[v].name;
      EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << what << ": exit " << run.exitCode << "\n"
                                                          << run.output.substr(0, 4000);
      EXPECT_FALSE(sanitizerReport(run.output)) << what << "\n" << run.output.substr(0, 8000);
      if (run.exitCode == 1) {
        ++refused;
        // A refusal names its reason on one line starting with the program's name.
        EXPECT_NE(run.output.find(program + ":"), std::string::npos) << what << ":\n" << run.output;
      }
    }
    std::printf("%s: %zu damaged variants played, %d refused to start with a message\n", program.c_str(),
                variants.size(), refused);
    EXPECT_GE(variants.size(), 60u);
  }
};

TEST_F(DamagedData, PocketPlayerSurvivesEveryDamagedFile) { playEveryVariant("pocketplayer", 640); }

TEST_F(DamagedData, HandheldPlayerSurvivesEveryDamagedFile) { playEveryVariant("handheldplayer", 320); }

}  // namespace
}  // namespace sorel::test
