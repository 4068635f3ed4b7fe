// The converter's real window under a virtual X server: convSorel opens the dialog, saves a
// screenshot of it and closes it again; with --start it converts and shows the finish box.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/files.h"
#include "platform/screenshot.h"
#include "test_game.h"
#include "tests/e2e/run_program.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

/// Runs convSorel with the arguments under a virtual X server in `root`; its exit status.
int underXvfb(const std::string& root, const std::string& args) {
  const std::string cmd = "cd " + test::quote(root) + " && XDG_CONFIG_HOME=" + test::quote(root + "/config") +
                          " xvfb-run -a -s '-screen 0 800x600x24' " + std::string(SOREL_BIN_DIR) + "/convSorel " +
                          args + " > " + test::quote(root + "/out.txt") + " 2>&1";
  const int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

/// The screenshot's size and how many colours it has (text and controls, not an empty window).
struct Shot {
  int w = 0, h = 0;
  size_t colours = 0;
};
Shot readShot(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> png{std::istreambuf_iterator<char>(in), {}};
  std::vector<uint8_t> rgb;
  Shot s;
  if (!platform::decodePngRgb(png, rgb, s.w, s.h)) return s;
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  s.colours = colours.size();
  return s;
}

TEST(ConverterWindow, ShowsEveryControlUnderXvfb) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string root = std::string(SOREL_TEST_TMP) + "/converter_window";
  fs::remove_all(root);
  fs::create_directories(root + "/game");
  ASSERT_EQ(underXvfb(root, "--game " + test::quote(root + "/game") + " --screenshot " + test::quote(root + "/dialog.png")), 0);
  // Room for the two folder rows, the two sound groups, the content boxes, the picture group and
  // the two text lines beside Start and 中止.
  Shot dialog = readShot(root + "/dialog.png");
  EXPECT_GT(dialog.w, 400);
  EXPECT_GT(dialog.h, 280);
  EXPECT_GT(dialog.colours, 20u);
}

// Start pressed on a small game: the conversion runs into --out and the finish box appears.
TEST(ConverterWindow, StartConvertsAndShowsTheFinishBox) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string root = std::string(SOREL_TEST_TMP) + "/converter_window_start";
  fs::remove_all(root);
  fs::create_directories(root + "/game");
  ASSERT_TRUE(platform::writeWholeFile(testgame::systemPath(root + "/game/Lumenwish.exe"), std::vector<uint8_t>{'M', 'Z'}));
  ASSERT_TRUE(platform::writeWholeFile(testgame::systemPath(root + "/game/BG.pac"),
                                       testgame::pac({{"bg01.bmp", testgame::solid(64, 48, 10, 20, 30)}})));
  ASSERT_EQ(underXvfb(root, "--game " + test::quote(root + "/game") + " --out " + test::quote(root + "/new out") +
                                " --start --screenshot " + test::quote(root + "/finish.png")),
            0);
  EXPECT_TRUE(fs::exists(root + "/new out/data/bg.mlz"));
  // A box, smaller than the dialog, with its lines of text.
  Shot box = readShot(root + "/finish.png");
  EXPECT_GT(box.w, 200);
  EXPECT_GT(box.h, 100);
  EXPECT_LT(box.h, 400);
  EXPECT_GT(box.colours, 10u);
}

// Without a display the dialog cannot open: one line, status 2.
TEST(ConverterWindow, NoDisplayIsAOneLineError) {
  const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(SOREL_BIN_DIR) + "/convSorel >/dev/null 2>&1";
  int raw = std::system(cmd.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
}

}  // namespace
}  // namespace sorel
