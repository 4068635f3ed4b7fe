// The converter's real window under a virtual X server: convSorel opens the dialog, saves a
// screenshot of it and closes it again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/screenshot.h"
#include "tests/e2e/run_program.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

TEST(ConverterWindow, ShowsEveryControlUnderXvfb) {
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string root = std::string(SOREL_TEST_TMP) + "/converter_window";
  fs::remove_all(root);
  fs::create_directories(root + "/game");
  const std::string shot = root + "/dialog.png";
  const std::string cmd = "cd " + test::quote(root) + " && XDG_CONFIG_HOME=" + test::quote(root + "/config") +
                          " xvfb-run -a -s '-screen 0 800x600x24' " + std::string(SOREL_BIN_DIR) +
                          "/convSorel --game " + test::quote(root + "/game") + " --screenshot " + test::quote(shot) +
                          " > " + test::quote(root + "/out.txt") + " 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(shot, std::ios::binary);
  std::vector<uint8_t> png{std::istreambuf_iterator<char>(in), {}};
  std::vector<uint8_t> rgb;
  int w = 0, h = 0;
  ASSERT_TRUE(platform::decodePngRgb(png, rgb, w, h));
  // Room for the folder row, the two sound groups, the content boxes, the picture group and
  // the two text lines beside Start.
  EXPECT_GT(w, 400);
  EXPECT_GT(h, 250);
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  EXPECT_GT(colours.size(), 20u);  // drawn controls and text, not an empty window
}

// Without a display the dialog cannot open: one line, status 2.
TEST(ConverterWindow, NoDisplayIsAOneLineError) {
  const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(SOREL_BIN_DIR) + "/convSorel >/dev/null 2>&1";
  int raw = std::system(cmd.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
}

}  // namespace
}  // namespace sorel
