// The players as programs: options, headless runs driven by an input script, screenshots, the
// configuration file across runs, start-up failures and the single-instance rule.
#include "engine/runtime/player.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace sorel {
namespace {

std::string readText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

struct Outcome {
  int exitCode = -1;
  std::string err;
};

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::string(SOREL_TEST_TMP) + "/player_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/runtime'").c_str());
    // The players' own behaviour is tested here: a data folder they take without a word.
    test::writeEmptyDataSet(dir);
  }
  Outcome run(const std::string& program, const std::string& args, const std::string& env = "",
              const std::string& cwd = "") {
    std::string cmd = (cwd.empty() ? "" : "cd '" + cwd + "' && ") + "XDG_RUNTIME_DIR='" + dir + "/runtime' SDL_VIDEODRIVER=dummy " +
                      "SDL_AUDIODRIVER=dummy " + env + " '" + SOREL_BIN_DIR + "/" + program +
                      "' " + args + " >/dev/null 2>'" + dir + "/stderr.txt'";
    int status = std::system(cmd.c_str());
    Outcome r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readText(dir + "/stderr.txt");
    return r;
  }
  std::vector<std::string> dumpLines() {
    std::vector<std::string> lines;
    std::stringstream s(readText(dir + "/dump.txt"));
    for (std::string l; std::getline(s, l);) lines.push_back(l);
    return lines;
  }

  std::string dir;
};

TEST(PlayerOptions, ParsesEveryOption) {
  const char* argv[] = {"p", "--root", "/x", "--headless", "--frames=30", "--virtual-clock",
                        "--input", "in.txt", "--screenshot", "5:a.png", "--screenshot=9:b.png",
                        "--scale", "3", "--audio-out", "o.wav", "--dump-state", "s.txt",
                        "--fullscreen", "--integer-scale"};
  PlayerOptions o;
  std::string why;
  ASSERT_TRUE(parsePlayerOptions(19, argv, o, why)) << why;
  EXPECT_EQ(*o.root, "/x");
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.frames, 30u);
  EXPECT_TRUE(o.virtualClock);
  EXPECT_EQ(o.inputScript, "in.txt");
  ASSERT_EQ(o.screenshots.size(), 2u);
  EXPECT_EQ(o.screenshots[1].frame, 9u);
  EXPECT_EQ(o.screenshots[1].path, "b.png");
  EXPECT_EQ(o.scale, 3);
  EXPECT_EQ(o.audioOut, "o.wav");
  EXPECT_EQ(o.dumpState, "s.txt");
  EXPECT_TRUE(o.fullscreen);
  EXPECT_TRUE(o.integerScale);
}

TEST(PlayerOptions, BadValuesGiveOneReason) {
  auto fails = [](std::vector<const char*> args) {
    args.insert(args.begin(), "p");
    PlayerOptions o;
    std::string why;
    bool ok = parsePlayerOptions(static_cast<int>(args.size()), args.data(), o, why);
    EXPECT_EQ(why.find('\n'), std::string::npos);
    return !ok && !why.empty();
  };
  EXPECT_TRUE(fails({"--frames", "0"}));
  EXPECT_TRUE(fails({"--frames", "ten"}));
  EXPECT_TRUE(fails({"--scale", "9"}));
  EXPECT_TRUE(fails({"--screenshot", "a.png"}));
  EXPECT_TRUE(fails({"--screenshot", "0:a.png"}));
  EXPECT_TRUE(fails({"--root"}));
  EXPECT_TRUE(fails({"--dump-state"}));
  EXPECT_TRUE(fails({"--headless=yes"}));
  EXPECT_TRUE(fails({"--fullscreen=1"}));
  EXPECT_TRUE(fails({"--fail-at", "moon"}));
  EXPECT_TRUE(fails({"--bogus"}));
}

TEST_F(PlayerTest, BadOptionsExitWithTwoAndOneLine) {
  for (const char* program : {"pocketplayer", "handheldplayer"}) {
    Outcome r = run(program, "--frames -3");
    EXPECT_EQ(r.exitCode, 2) << program;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(run(program, "--root '" + dir + "/missing' --headless").exitCode, 2);
    writeText(dir + "/bad.txt", "1 press z\n2 wiggle\n");
    r = run(program, "--headless --input '" + dir + "/bad.txt'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
  }
  EXPECT_EQ(run("pocketplayer", "--help").exitCode, 0);
}

TEST_F(PlayerTest, ScriptedKeysDriveTheLatchInBothPlayers) {
  writeText(dir + "/in.txt",
            "2 press right\n"
            "3 down up\n"
            "3 press z      # a fresh button wins over the direction of its frame\n"
            "6 up up\n"
            "7 tap 321 238\n"
            "9 press d\n");
  for (const char* program : {"pocketplayer", "handheldplayer"}) {
    Outcome r = run(program, "--root '" + dir + "' --headless --virtual-clock --frames 10 --input '" +
                             dir + "/in.txt' --dump-input '" + dir + "/dump.txt'");
    ASSERT_EQ(r.exitCode, 0) << program << ": " << r.err;
    auto lines = dumpLines();
    ASSERT_EQ(lines.size(), 10u) << program;
    EXPECT_NE(lines[1].find(" right=1 "), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(" up=0 "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(" a=1 "), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(" a=0 "), std::string::npos) << lines[3];
    EXPECT_NE(lines[6].find(" tap=1 "), std::string::npos) << lines[6];
    // The tap reaches the engine as the device reports it (half resolution and turned on the
    // pocket) and comes back to the same logical point.
    EXPECT_NE(lines[6].find(" x=321 y=238 "), std::string::npos) << lines[6];
    EXPECT_NE(lines[7].find(" release=1 "), std::string::npos) << lines[7];
    // D has no key until configured.
    EXPECT_NE(lines[8].find(" d=0 "), std::string::npos) << lines[8];
  }
}

TEST_F(PlayerTest, ConfiguredKeysAndSkipLockThroughTheScript) {
  writeText(dir + "/sorel.cfg",
            "[KEY_CONFIG]\r\nKEY_D=44\r\nKEY_START=20\r\n[MESSAGE_CONFIG]\r\nLOCK_SKIP=1\r\n");
  writeText(dir + "/in.txt", "1 press d\n2 press left\n4 press right\n");
  Outcome r = run("handheldplayer", "--root '" + dir +
                                    "' --headless --virtual-clock --frames 6 --input '" + dir +
                                    "/in.txt' --dump-input '" + dir + "/dump.txt'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto lines = dumpLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_NE(lines[0].find(" d=1 "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(" left=0 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find(" lock=1"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" lock=1"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(" right=2 "), std::string::npos) << lines[3];  // consumed
  EXPECT_NE(lines[3].find(" lock=0"), std::string::npos) << lines[3];
  std::string cfg = readText(dir + "/sorel.cfg");
  EXPECT_EQ(cfg.rfind("[KEY_CONFIG]\r\nKEY_D=44\r\nKEY_START=20\r\n", 0), 0u) << cfg;
  EXPECT_NE(cfg.find("LOCK_SKIP=1\r\n"), std::string::npos);
}

TEST_F(PlayerTest, AGamepadSessionDrivesTheLatchLikeTheSameKeySession) {
  // D and E get key codes so that the keyboard session has them too; the pad has them anyway.
  writeText(dir + "/sorel.cfg",
            "[KEY_CONFIG]\r\nKEY_D=44\r\nKEY_E=45\r\nKEY_START=0D\r\n"
            "[PAD_CONFIG]\r\nPAD_A=turbo x\r\nPAD_C=a,TURBO\r\n");
  writeText(dir + "/keys.txt",
            "2 press right\n3 down up\n4 press c\n6 up up\n7 press z\n8 press x\n"
            "9 press enter\n10 press d\n11 down left\n13 up left\n14 press e\n"
            "15 tap 100 100\n15 press c\n17 down down\n18 press right\n19 up down\n");
  writeText(dir + "/pads.txt",
            "2 pad dpright\n3 pad dpup down\n4 pad a\n6 pad dpup up\n7 pad x\n8 pad b\n"
            "9 pad y\n10 pad leftshoulder\n11 pad stickleft down\n13 pad stickleft up\n"
            "14 pad rightshoulder\n15 tap 100 100\n15 pad a\n17 pad stickdown down\n"
            "18 pad dpright\n19 pad stickdown up\n");
  for (const char* program : {"pocketplayer", "handheldplayer"}) {
    std::string dumps[2];
    for (int i = 0; i < 2; ++i) {
      Outcome r = run(program, "--root '" + dir + "' --headless --virtual-clock --frames 20 --input '" +
                                   dir + (i ? "/pads.txt'" : "/keys.txt'") + " --dump-input '" + dir +
                                   "/dump.txt'");
      ASSERT_EQ(r.exitCode, 0) << program << ": " << r.err;
      // The unknown name is reported once, and only once per run.
      size_t at = r.err.find("'turbo'");
      EXPECT_NE(at, std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("turbo", at + 7), std::string::npos) << r.err;
      dumps[i] = readText(dir + "/dump.txt");
    }
    EXPECT_EQ(dumps[1], dumps[0]) << program;
    // And the session really pressed something: C, then D and E.
    EXPECT_NE(dumps[0].find(" c=1 "), std::string::npos) << dumps[0];
    EXPECT_NE(dumps[0].find(" d=1 "), std::string::npos);
    EXPECT_NE(dumps[0].find(" e=1 "), std::string::npos);
  }
}

TEST_F(PlayerTest, ScreenshotsShowTheBlankScreenAtTheLogicalSize) {
  for (auto [program, w, h] : {std::tuple{"pocketplayer", 640, 480},
                               std::tuple{"handheldplayer", 320, 240}}) {
    std::string png = dir + "/" + program + ".png";
    Outcome r = run(program, "--root '" + dir + "' --headless --virtual-clock --frames 3 " +
                             "--screenshot 2:'" + png + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string bytes = readText(png);
    ASSERT_GT(bytes.size(), 24u);
    auto be32 = [&](size_t at) {
      return (uint8_t(bytes[at]) << 24) | (uint8_t(bytes[at + 1]) << 16) |
             (uint8_t(bytes[at + 2]) << 8) | uint8_t(bytes[at + 3]);
    };
    EXPECT_EQ(be32(16), w);
    EXPECT_EQ(be32(20), h);
  }
}

TEST_F(PlayerTest, SettingsSurviveARunFromNothing) {
  // A first start plays the voices and effects the data folder holds; later starts keep what the
  // file says, whatever the folder holds by then.
  const struct {
    bool voices, effects;
    const char* voicePlay;
    const char* sePlay;
  } cases[] = {{false, false, "VOICE_PLAY=1", "SE_PLAY=1"}, {true, true, "VOICE_PLAY=2", "SE_PLAY=2"}};
  for (const auto& c : cases) {
    std::filesystem::remove(dir + "/sorel.cfg");
    std::filesystem::remove(dir + "/data/voice.mlz");
    std::filesystem::remove(dir + "/data/se/door.mp3");
    if (c.voices) test::writeEmptyDataSet(dir);
    if (c.effects) writeText(dir + "/data/se/door.mp3", "an effect");
    Outcome r = run("pocketplayer", "--root '" + dir + "' --headless --virtual-clock --frames 2");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string first = readText(dir + "/sorel.cfg");
    EXPECT_EQ(first.rfind("[MUSIC_CONFIG]\r\nMUSIC_VOL=100\r\nMASTER_VOL=100\r\nPCM=2\r\n"
                          "[VOICE_CONFIG]\r\n", 0),
              0u)
        << first;
    EXPECT_NE(first.find(std::string(c.voicePlay) + "\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find(std::string(c.sePlay) + "\r\n"), std::string::npos) << first;
    if (c.voices) std::filesystem::remove(dir + "/data/voice.mlz");
    else test::writeEmptyDataSet(dir);
    r = run("pocketplayer", "--root '" + dir + "' --headless --virtual-clock --frames 2");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readText(dir + "/sorel.cfg"), first);
  }
}

// Without --root the player plays the first of its own folder, the current folder and the
// per-user folder that holds data/, and keeps sorel.cfg and the saves beside that data/.
TEST_F(PlayerTest, SettingsAndSavesLandBesideTheDataFolderFound) {
  namespace fs = std::filesystem;
  // The fixture's own folder holds data; these runs start in folders of their own.
  const std::string here = dir + "/here", elsewhere = dir + "/runtime", user = dir + "/xdg/sorel",
                    env = "XDG_DATA_HOME='" + dir + "/xdg'";
  test::writeEmptyDataSet(here);
  test::writeEmptyDataSet(user);
  const std::string args = "--headless --virtual-clock --frames 2";
  Outcome r = run("handheldplayer", args, env, here);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(here + "/sorel.cfg")) << r.err;
  EXPECT_TRUE(fs::exists(here + "/data/save/save000.dat"));
  EXPECT_FALSE(fs::exists(user + "/sorel.cfg"));
  EXPECT_FALSE(fs::exists(user + "/data/save"));

  // Started elsewhere (as from a desktop entry): the per-user folder.
  r = run("handheldplayer", args, env, elsewhere);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(user + "/sorel.cfg")) << r.err;
  EXPECT_TRUE(fs::exists(user + "/data/save/save000.dat"));
  EXPECT_FALSE(fs::exists(elsewhere + "/sorel.cfg"));

  // Nowhere: one line names every place, and nothing is written.
  fs::remove_all(user);
  r = run("handheldplayer", args, env, elsewhere);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("no data folder (looked for "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(elsewhere + "/data, " + user + "/data"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(elsewhere + "/sorel.cfg"));
  EXPECT_FALSE(fs::exists(user));
}

TEST_F(PlayerTest, StartUpFailuresShowTheirMessage) {
  Outcome r = run("pocketplayer", "--root '" + dir + "' --headless --fail-at display");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Error: GAPIライブラリのロードに失敗しました"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pocketplayer: the display could not be opened"), std::string::npos) << r.err;
  r = run("pocketplayer", "--root '" + dir + "' --headless --fail-at fullscreen");
  EXPECT_NE(r.err.find("ウィンドウのフルスクリーン化に失敗しました"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("full screen"), std::string::npos) << r.err;
  r = run("handheldplayer", "--root '" + dir + "' --headless --fail-at window");
  EXPECT_NE(r.err.find("ウィンドウの作成に失敗しました。"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no window could be opened"), std::string::npos) << r.err;
  // The handheld has no full-screen switch.
  r = run("handheldplayer", "--root '" + dir + "' --headless --virtual-clock --frames 1 "
                                                "--fail-at fullscreen");
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(PlayerTest, AnInterruptedHeadlessRunClosesAndSaves) {
  // Wait until the player handles SIGTERM (bit 14 of SigCgt), stop it, and take its exit code.
  writeText(dir + "/stop.sh",
            "'" + std::string(SOREL_BIN_DIR) + "/handheldplayer' --root '" + dir +
                "' --headless & p=$!\n"
                "for i in $(seq 1 500); do\n"
                "  m=$(awk '/^SigCgt/ {print $2}' /proc/$p/status 2>/dev/null)\n"
                "  [ -n \"$m\" ] && [ $(( 0x$m & 0x4000 )) -ne 0 ] && break\n"
                "  sleep 0.02\n"
                "done\n"
                "kill -TERM $p\n"
                "wait $p\n");
  int status = std::system(("bash '" + dir + "/stop.sh'").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(readText(dir + "/sorel.cfg").find("[MUSIC_CONFIG]"), std::string::npos);
}

TEST_F(PlayerTest, ASecondStartOfTheSameGameSaysWhoRunsAndExitsWithOne) {
  // The first player runs in a window on SDL's dummy video driver until it is told to stop. It
  // is started detached from the test's output (so the test runner never waits on it) and
  // bounded by `timeout`, and it is stopped however the test ends.
  writeText(dir + "/in.txt", "100000 close\n");
  // A short runtime folder: a socket path must fit in 108 bytes, which a deep build tree exceeds.
  char runtimeDir[] = "/tmp/sorel-rt-XXXXXX";
  ASSERT_NE(::mkdtemp(runtimeDir), nullptr);
  struct RemoveDir {
    std::string path;
    ~RemoveDir() { std::filesystem::remove_all(path); }
  } removeRuntime{runtimeDir};
  const std::string env = "XDG_RUNTIME_DIR='" + std::string(runtimeDir) + "'";
  std::string first = env + " SDL_VIDEODRIVER=dummy timeout 300 sh -c 'echo $$ > \"$0\"; exec \"$@\"' '" + dir +
                      "/pid' '" + SOREL_BIN_DIR + "/pocketplayer' --root '" + dir + "' --input '" + dir +
                      "/in.txt' >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(first.c_str()), 0);
  struct Stop {
    std::string pidFile;
    ~Stop() { std::system(("kill $(cat '" + pidFile + "') 2>/dev/null").c_str()); }
  } stop{dir + "/pid"};
  // Wait until it listens for other instances (its socket appears); slow under sanitizers.
  std::string wait = "for i in $(seq 1 3000); do ls '" + std::string(runtimeDir) +
                     "'/sorel/MYSYSTEM-*.sock >/dev/null 2>&1 && exit 0; sleep 0.02; done; exit 1";
  ASSERT_EQ(std::system(wait.c_str()), 0);
  std::string pid = readText(dir + "/pid");
  pid.erase(pid.find_last_not_of('\n') + 1);
  // The same folder, by another path and from the other player: one line naming the running one.
  Outcome second = run("handheldplayer", "--root '" + dir + "/./' --frames 100000", env);
  EXPECT_EQ(second.exitCode, 1) << second.err;
  EXPECT_NE(second.err.find("handheldplayer: already running pocketplayer on " +
                            std::filesystem::canonical(dir).string() + ", pid " + pid + "\n"),
            std::string::npos)
      << second.err;
  // Another folder is another game: it plays alongside.
  test::writeEmptyDataSet(dir + "/other");
  Outcome other = run("handheldplayer", "--root '" + dir + "/other' --virtual-clock --frames 3", env);
  EXPECT_EQ(other.exitCode, 0) << other.err;
}

TEST_F(PlayerTest, WithoutADisplayOneLineAndExitOne) {
  // No X, no Wayland and no driver asked for: SDL would fall back to drawing nowhere.
  Outcome r = run("pocketplayer", "--root '" + dir + "'", "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.rfind("pocketplayer: no display: neither DISPLAY nor WAYLAND_DISPLAY is set", 0), 0u) << r.err;
  // Nothing was written or locked on the way out.
  EXPECT_FALSE(std::filesystem::exists(dir + "/sorel.cfg"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/runtime/sorel"));
}

}  // namespace
}  // namespace sorel
