// A player that quick-saves on every other frame is killed (SIGKILL) at random moments, many
// times over. After every kill the save file and the system data file are each a complete file
// (the one before or the one being written), never a torn one; a leftover ".part" is recovered
// or dropped when the player starts again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "converter/mlz_writer.h"
#include "engine/game/save_data.h"
#include "engine/game/system_data.h"
#include "platform/files.h"
#include "tools/script_asm.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

constexpr int kKills = 40;

std::vector<uint8_t> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

pid_t startPlayer(const fs::path& root, const fs::path& input, int frames, const fs::path& dump = {}) {
  const std::string program = std::string(SOREL_BIN_DIR) + "/pocketplayer";
  std::vector<std::string> args = {program, "--root", root.string(), "--headless", "--virtual-clock",
                                   "--scenario", "01-01.bin", "--input", input.string()};
  if (frames) {
    args.push_back("--frames");
    args.push_back(std::to_string(frames));
  }
  if (!dump.empty()) {
    args.push_back("--dump-state");
    args.push_back(dump.string());
  }
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

TEST(SaveKill, FilesAreWholeWhereverAPlayerIsKilled) {
  const fs::path root = fs::path(SOREL_TEST_TMP) / "save_kill";
  fs::remove_all(root);
  fs::create_directories(root / "data" / "save");
  const auto script = script::assemble(R"(
    PUSH_INT 15
    PUSH_INT -1
    PUSH_STRING "\x82\xa0"
    MESSAGE
    CLEAR_STACK
end:
    YIELD
    PUSH_INT 0
    JUMP @end
)");
  ASSERT_TRUE(script.errors.empty());
  MlzWriter w;
  ASSERT_TRUE(w.open(*platform::systemPath((root / "data" / "Script.mlz").string()), 1));
  ASSERT_TRUE(w.add("01-01.bin", script.bytes, true));
  ASSERT_TRUE(w.close());
  // The centre key saves to the first slot; it is pressed on every other frame from the first
  // message on.
  std::ofstream(root / "sorel.cfg", std::ios::binary) << "[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=4\r\n";
  {
    std::ofstream in(root / "input.txt");
    for (int f = 20; f < 20000; f += 2) in << f << " press enter\n";
  }
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);

  const fs::path save = root / "data" / "save" / "save001.dat";
  const fs::path system = root / "data" / "save" / "save000.dat";
  {
    // A short run first: the loop does save.
    pid_t pid = startPlayer(root, root / "input.txt", 40, root / "dump.txt");
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream dump(root / "dump.txt");
    std::string line, last;
    while (std::getline(dump, line)) last = line;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << last;
    ASSERT_TRUE(fs::exists(save)) << last;
    fs::remove(save);
  }
  std::mt19937 random(20261208);
  int killedWhileWriting = 0, checked = 0;
  for (int k = 0; k < kKills; ++k) {
    pid_t pid = startPlayer(root, root / "input.txt", 0);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 600));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the player was still running when killed (kill " << k << ")";
    if (fs::exists(save.string() + ".part") || fs::exists(system.string() + ".part")) ++killedWhileWriting;
    if (!fs::exists(save)) continue;  // killed before its first save
    ++checked;
    EXPECT_TRUE(isCompleteSaveFile(readBytes(save))) << "kill " << k;
    ASSERT_TRUE(fs::exists(system));
    EXPECT_TRUE(parseSystemData(readBytes(system))) << "kill " << k;
  }
  EXPECT_GT(checked, kKills / 2);
  // Reported, not required: the moments are random.
  std::printf("%d kills, %d with files checked, %d while a file was being written\n", kKills, checked,
              killedWhileWriting);

  // A run to its end recovers or drops whatever the last kill left behind.
  std::ofstream(root / "none.txt") << "";
  pid_t pid = startPlayer(root, root / "none.txt", 5);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(fs::exists(save.string() + ".part"));
  EXPECT_FALSE(fs::exists(system.string() + ".part"));
  EXPECT_TRUE(isCompleteSaveFile(readBytes(save)));
  EXPECT_TRUE(parseSystemData(readBytes(system)));
}

}  // namespace
}  // namespace sorel
