// convSorel is killed (SIGKILL) at random moments while it converts the sample game, into a folder
// that holds the previous conversion and into an empty one. Every file under its own name is then
// the finished file of a whole run (the conversion repeats byte for byte), never a torn one, and
// the next whole run leaves no temporary behind, also none that an earlier run with other
// settings left.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "tests/e2e/player_run.h"
#include "tests/kill_run.h"

namespace sorel::test {
namespace {

namespace fs = std::filesystem;

constexpr int kKillsOverOldOutput = 5;
constexpr int kKillsFromEmpty = 3;

using Snapshot = std::map<std::string, std::vector<uint8_t>>;

/// Every file below the folder, by its path relative to it.
Snapshot snapshot(const fs::path& folder) {
  Snapshot s;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file()) s[fs::relative(it->path(), folder).string()] = fileBytes(it->path());
  return s;
}

bool isTemporary(const std::string& name) { return name.size() > 5 && name.ends_with(".part"); }

/// Checks that every file under its own name equals the reference's file of that name; true when
/// a temporary was among them.
bool checkFinished(const Snapshot& now, const Snapshot& reference, const std::string& when) {
  bool temporary = false;
  for (const auto& [name, bytes] : now) {
    if (isTemporary(name)) {
      temporary = true;
      continue;
    }
    auto ref = reference.find(name);
    if (ref == reference.end()) ADD_FAILURE() << when << ": " << name << " is not in the whole run's output";
    else EXPECT_TRUE(bytes == ref->second) << when << ": " << name << " differs from the whole run's file";
  }
  return temporary;
}

TEST(ConvertKill, FilesUnderTheirNamesAreWholeWhereverConvSorelIsKilled) {
  const fs::path dir = fs::path(SOREL_TEST_TMP) / "convert_kill";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path out = dir / "out";
  const std::vector<std::string> args = {std::string(SOREL_BIN_DIR) + "/convSorel", "--batch", "--game", sampleGame().string(),
                                         "--out", out.string(), "--size", "320"};

  // The reference is the fixture's conversion with the same options; a whole run gives it again
  // byte for byte.
  const Snapshot reference = snapshot(sampleFolder() / "full320");
  ASSERT_TRUE(reference.count("data/voice.mlz") && reference.count("data/Visual.mlz") &&
              reference.count("data/bgm/BGM_Calm.mp3") && reference.count("data/jmv/Opening.jmv"));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(runToEnd(args).exitCode, 0);
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  ASSERT_TRUE(snapshot(out) == reference) << "a whole run differs from the fixture's";

  std::mt19937 random(20261209);
  std::uniform_int_distribution<int64_t> moment(0, runTime.count());
  int withTemporaries = 0;
  for (int k = 0; k < kKillsOverOldOutput + kKillsFromEmpty; ++k) {
    const bool fromEmpty = k >= kKillsOverOldOutput;
    if (fromEmpty) fs::remove_all(out);
    const pid_t pid = startQuietly(args);
    ASSERT_GT(pid, 0);
    const Ending e = killAfter(pid, std::chrono::microseconds(moment(random)));
    const Snapshot now = snapshot(out);
    const std::string when = "kill " + std::to_string(k) + (e.killed ? "" : " (after the run's end)");
    withTemporaries += checkFinished(now, reference, when);
    // Over the previous output every file is still there: the old one or the new one.
    if (!fromEmpty) {
      for (const auto& [name, bytes] : reference) EXPECT_TRUE(now.count(name)) << when << ": " << name << " is gone";
    }
  }
  // Reported, not required: the moments are random.
  std::printf("%d kills, %d of them leaving temporaries\n", kKillsOverOldOutput + kKillsFromEmpty, withTemporaries);

  // A whole run after the last kill gives the reference again and no temporary: neither those of
  // the kills nor one that a run for the other screen size left. A file of another kind that only
  // looks like a temporary is not touched.
  fs::create_directories(out / "data");
  std::ofstream(out / "data" / "Visual_vga.mlz.part") << "stale";
  std::ofstream(out / "data" / "readme.txt.part") << "not the converter's";
  ASSERT_EQ(runToEnd(args).exitCode, 0);
  Snapshot last = snapshot(out);
  EXPECT_EQ(last.erase("data/readme.txt.part"), 1u);
  for (const auto& [name, bytes] : last) EXPECT_FALSE(isTemporary(name)) << name << " is left behind";
  EXPECT_TRUE(last == reference) << "a whole run after the kills differs from the reference";
}

}  // namespace
}  // namespace sorel::test
