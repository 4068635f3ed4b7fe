// sorel-movie end to end: numbered PNG and BMP frames and a WAVE become a movie whose `info`
// lists what was put in and whose every frame the engine decodes, in the frames' number order;
// unusable input is refused with one line and leaves nothing behind.
#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>
#include <fstream>

#include "engine/audio/jmv_format.h"
#include "engine/audio/movie_reader.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/resources/byte_io.h"
#include "platform/files.h"
#include "tests/e2e/run_program.h"
#include "tools/jmv_writer.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;
using test::quote;
using test::runProgram;

constexpr uint32_t kW = 48, kH = 32;

/// The colour (red, green, blue) of the frame that comes at position i.
std::array<uint8_t, 3> colourOf(int i) { return {uint8_t(40 * i + 20), uint8_t(200 - 40 * i), 90}; }

void writePng(const fs::path& p, std::array<uint8_t, 3> rgb) {
  std::vector<uint8_t> px(size_t(kW) * kH * 3);
  for (size_t i = 0; i < px.size(); i += 3) std::copy(rgb.begin(), rgb.end(), px.begin() + long(i));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kW;
  image.height = kH;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, p.c_str(), 0, px.data(), 0, nullptr));
}

void writeBmp(const fs::path& p, std::array<uint8_t, 3> rgb, uint32_t w = kW) {
  const uint32_t stride = (w * 3 + 3) & ~3u, size = 54 + stride * kH;
  std::vector<uint8_t> b(size);
  b[0] = 'B';
  b[1] = 'M';
  storeU32(&b[2], size);
  storeU32(&b[10], 54);
  storeU32(&b[14], 40);
  storeU32(&b[18], w);
  storeU32(&b[22], kH);
  storeU16(&b[26], 1);
  storeU16(&b[28], 24);
  for (uint32_t y = 0; y < kH; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* px = &b[54 + y * stride + x * 3];
      px[0] = rgb[2];
      px[1] = rgb[1];
      px[2] = rgb[0];
    }
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class SorelMovie : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::path(SOREL_TEST_TMP) / "sorel_movie";
    fs::remove_all(dir);
    fs::create_directories(dir / "frames");
    // Named so that only number order gives 0, 1, 2, 3.
    writePng(dir / "frames/shot1.png", colourOf(0));
    writeBmp(dir / "frames/shot2.BMP", colourOf(1));
    writePng(dir / "frames/shot3.png", colourOf(2));
    writePng(dir / "frames/shot10.png", colourOf(3));
    std::ofstream(dir / "frames/notes.txt") << "not a frame";
    auto wave = jmvtool::waveFile(jmvtool::testSound(400), 22050, 2);
    std::ofstream(dir / "sound.wav", std::ios::binary).write(reinterpret_cast<const char*>(wave.data()),
                                                               std::streamsize(wave.size()));
  }
  fs::path dir;
};

TEST_F(SorelMovie, InfoListsWhatWasPutInAndTheEngineDecodesEveryFrameInNumberOrder) {
  auto made = runProgram("sorel-movie", "make " + quote((dir / "m.jmv").string()) + " --frames " +
                                            quote((dir / "frames").string()) + " --fps 12 --quality 90 --sound " +
                                            quote((dir / "sound.wav").string()) + " -q");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ASSERT_TRUE(fs::exists(dir / "m.mp3"));
  EXPECT_GT(fs::file_size(dir / "m.mp3"), 500u);

  auto info = runProgram("sorel-movie", "info " + quote((dir / "m.jmv").string()));
  EXPECT_EQ(info.exitCode, 0) << info.output;
  for (const char* line : {"magic        JMV1", "frames       4", "fps          12", "quality      90",
                           "size         48 x 32", "duration     333 ms", "sound track  yes", "player       plays it"})
    EXPECT_NE(info.output.find(line), std::string::npos) << line << "\n" << info.output;

  MovieReader reader;
  ASSERT_EQ(reader.open(*platform::systemPath((dir / "m.jmv").string()), jmv::kBufferBytes), MovieRefusal::None);
  ASSERT_TRUE(reader.start());
  Jbp1Decoder d;
  initDecoder(d);
  std::vector<uint16_t> pixels(48 * 32);
  d.output = pixels;
  for (uint32_t f = 0; f < 4; ++f) {
    std::span<const uint8_t> bytes;
    ASSERT_TRUE(reader.frame(f, bytes));
    ASSERT_EQ(decodeMovieFrame(d, bytes), 1) << f;
    EXPECT_EQ(d.width, kW);
    EXPECT_EQ(d.height, kH);
    const uint16_t px = pixels[16 * 48 + 24];
    auto rgb = colourOf(int(f));
    EXPECT_NEAR((px >> 11) << 3, rgb[0], 12) << "frame " << f;
    EXPECT_NEAR(((px >> 5) & 63) << 2, rgb[1], 12) << "frame " << f;
    EXPECT_NEAR((px & 31) << 3, rgb[2], 12) << "frame " << f;
  }
}

TEST_F(SorelMovie, UnusableInputIsRefusedWithOneLineAndNothingWritten) {
  struct Case {
    std::string args;
    int exitCode;
    std::string says;
  };
  writeBmp(dir / "odd.bmp", colourOf(0), 40);
  fs::create_directories(dir / "mixed");
  fs::copy(dir / "frames/shot1.png", dir / "mixed/a1.png");
  fs::copy(dir / "odd.bmp", dir / "mixed/a2.bmp");
  fs::create_directories(dir / "big");
  std::ofstream(dir / "big/x1.bmp") << "BMnot really";
  const std::string out = quote((dir / "bad.jmv").string());
  const std::vector<Case> cases = {
      {"make " + out + " --frames " + quote((dir / "mixed").string()), 1, "frame 1 is 40 x 32, not 48 x 32"},
      {"make " + out + " --frames " + quote((dir / "big").string()), 1, "x1.bmp"},
      {"make " + out + " --frames " + quote((dir / "nowhere").string()), 1, "no such folder"},
      {"make " + out + " --frames " + quote((dir / "frames").string()) + " --sound " + quote((dir / "odd.bmp").string()),
       1, "odd.bmp"},
      {"make " + out + " --test --size 640x480", 1, "600 macroblocks"},
      {"make " + quote((dir / "bad.avi").string()) + " --test", 2, "must end in .jmv"},
      {"make " + out, 2, "either --frames DIR or --test"},
      {"make " + out + " --test --quality 0", 2, ""},
  };
  for (const Case& c : cases) {
    auto r = runProgram("sorel-movie", c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_FALSE(fs::exists(dir / "bad.jmv")) << c.args;
    EXPECT_FALSE(fs::exists(dir / "bad.mp3")) << c.args;
  }
  auto info = runProgram("sorel-movie", "info " + quote((dir / "odd.bmp").string()));
  EXPECT_EQ(info.exitCode, 1);
}

}  // namespace
}  // namespace sorel
