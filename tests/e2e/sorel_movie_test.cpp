// sorel-movie end to end: numbered PNG and BMP frames and a WAVE become a movie whose `info`
// lists what was put in and whose every frame the engine decodes, in the frames' number order;
// unusable input is refused with one line naming the file and leaves nothing behind; a sound of
// any length gives a movie whose every frame the player shows; a video file made by FFmpeg
// becomes a movie that plays with its sound.
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "engine/audio/jmv_format.h"
#include "engine/audio/movie_reader.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/resources/byte_io.h"
#include "platform/files.h"
#include "platform/screenshot.h"
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

void writePng(const fs::path& p, std::array<uint8_t, 3> rgb, uint32_t w = kW, uint32_t h = kH) {
  std::vector<uint8_t> px(size_t(w) * h * 3);
  for (size_t i = 0; i < px.size(); i += 3) std::copy(rgb.begin(), rgb.end(), px.begin() + long(i));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
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
  std::ofstream(dir / "clip.mp4") << "not a video";
  const std::vector<Case> cases = {
      {"make " + out + " --frames " + quote((dir / "mixed").string()), 1, "a2.bmp is 40 x 32, not 48 x 32 like a1.png"},
      {"make " + out + " --frames " + quote((dir / "big").string()), 1, "x1.bmp"},
      {"make " + out + " --frames " + quote((dir / "nowhere").string()), 1, "no such folder"},
      {"make " + out + " --frames " + quote((dir / "frames").string()) + " --sound " + quote((dir / "odd.bmp").string()),
       1, "odd.bmp"},
      {"make " + out + " --test --size 640x480", 2, "larger than the players show (320 x 240"},
      {"make " + quote((dir / "bad.avi").string()) + " --test", 2, "must end in .jmv"},
      {"make " + out, 2, "give one of --video FILE, --frames DIR or --test"},
      {"make " + out + " --test --video " + quote((dir / "clip.mp4").string()), 2, "give one of"},
      {"make " + out + " --video " + quote((dir / "clip.mp4").string()), 1, "clip.mp4: not a video file"},
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

// Frames larger than the players show are scaled to fit 320 x 240, not refused.
TEST_F(SorelMovie, LargeFramesAreScaledToThePlayersSize) {
  fs::create_directories(dir / "large");
  writePng(dir / "large/f1.png", colourOf(0), 640, 480);
  writePng(dir / "large/f2.png", colourOf(1), 640, 480);
  auto made = runProgram("sorel-movie", "make " + quote((dir / "large.jmv").string()) + " --frames " +
                                            quote((dir / "large").string()) + " --no-sound");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  EXPECT_NE(made.output.find("f1.png and the other frames are 640 x 480: scaled to fit 320 x 240"), std::string::npos)
      << made.output;
  auto info = runProgram("sorel-movie", "info " + quote((dir / "large.jmv").string()));
  EXPECT_NE(info.output.find("size         320 x 240"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("player       plays it"), std::string::npos) << info.output;
}

/// The screen as 0xRRGGBB values.
std::vector<uint32_t> screenPixels(const fs::path& png, int& w) {
  std::ifstream in(png, std::ios::binary);
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}}, rgb;
  int h = 0;
  w = 0;
  std::vector<uint32_t> px;
  if (!platform::decodePngRgb(bytes, rgb, w, h)) return px;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) px.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
  return px;
}

/// Plays data/jmv/<name> on handheldplayer under the virtual clock for `frames` frames, with a
/// screenshot every `step` frames from `from` and the sound captured; the screenshots in order.
std::vector<fs::path> playMovie(const fs::path& root, const std::string& name, int frames, int from, int step) {
  fs::create_directories(root / "runtime");
  std::string args = "--headless --virtual-clock --frames " + std::to_string(frames) + " --movie " + name + " --root " +
                     quote(root.string()) + " --audio-out " + quote((root / "sound.wav").string());
  std::vector<fs::path> shots;
  for (int f = from; f < frames; f += step) {
    shots.push_back(root / ("shot" + std::to_string(f) + ".png"));
    args += " --screenshot " + std::to_string(f) + ":" + quote(shots.back().string());
  }
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
  auto r = runProgram("handheldplayer", args);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return shots;
}

// A sound shorter than the frames is padded, a longer one cut: either way the player shows every
// frame up to the last (bright red, the others dark), and both sound tracks are as long as the
// frames. Piped progress is a plain line per tenth.
TEST_F(SorelMovie, EveryFrameIsShownWhateverTheSoundsLength) {
  constexpr uint32_t kFrames = 20;
  fs::create_directories(dir / "counted");
  for (uint32_t i = 0; i < kFrames; ++i)
    writePng(dir / "counted" / ("f" + std::to_string(i) + ".png"),
             i + 1 == kFrames ? std::array<uint8_t, 3>{255, 0, 0} : std::array<uint8_t, 3>{0, uint8_t(40 + 8 * i), 120});
  struct Case {
    const char* name;
    uint32_t soundMs;
    const char* says;
  } cases[] = {{"short", 400, "the sound (0.4 s) is shorter than the frames (1.3 s): padded with silence"},
               {"long", 3000, "the sound (3.0 s) is longer than the frames (1.3 s): cut at the last frame"}};
  std::vector<uintmax_t> trackBytes;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = dir / c.name;
    fs::create_directories(root / "data/jmv");
    auto wave = jmvtool::waveFile(jmvtool::testSound(c.soundMs), 22050, 2);
    std::ofstream(root / "sound.wav", std::ios::binary).write(reinterpret_cast<const char*>(wave.data()),
                                                               std::streamsize(wave.size()));
    auto made = runProgram("sorel-movie", "make " + quote((root / "data/jmv/Count.jmv").string()) + " --frames " +
                                              quote((dir / "counted").string()) + " --fps 15 --sound " +
                                              quote((root / "sound.wav").string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_NE(made.output.find(c.says), std::string::npos) << made.output;
    EXPECT_NE(made.output.find("sorel-movie: encoding frame 2 / 20 (10 %)\n"), std::string::npos) << made.output;
    EXPECT_EQ(made.output.find('\r'), std::string::npos) << "no terminal line in a pipe";
    trackBytes.push_back(fs::file_size(root / "data/jmv/Count.mp3"));

    // 1.33 s of frames heard about 0.35 s late: the end falls between frames 60 and 140.
    int lastShown = 0, w = 0;
    for (const fs::path& shot : playMovie(root, "Count.jmv", 140, 50, 2)) {
      auto px = screenPixels(shot, w);
      ASSERT_FALSE(px.empty()) << shot;
      const uint32_t centre = px[size_t(120 * w + 160)];
      lastShown += (centre >> 16) > 200 && ((centre >> 8) & 0xFF) < 80;
    }
    EXPECT_GT(lastShown, 0) << "the last frame reached the screen";
  }
  EXPECT_EQ(trackBytes[0], trackBytes[1]) << "both sound tracks last as long as the frames";
}

/// The strength of a tone in the left channel of a captured 22050 Hz stereo WAV, per 50 ms.
std::vector<double> toneStrength(const fs::path& wav, double hz) {
  std::ifstream in(wav, std::ios::binary);
  std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), {}};
  std::vector<double> out;
  const size_t window = 22050 / 20;
  const double k = 2 * std::cos(2 * M_PI * hz / 22050);
  for (size_t at = 44; at + window * 4 <= b.size(); at += window * 4) {
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < window; ++i) {
      const double s0 = int16_t(b[at + 4 * i] | b[at + 4 * i + 1] << 8) + k * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    out.push_back(2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - k * s1 * s2)) / double(window));
  }
  return out;
}

// A video made here by FFmpeg (its test picture and a 660 Hz tone) becomes a 320 x 240 movie
// whose pictures the player shows and whose tone it plays.
TEST_F(SorelMovie, AVideoFileBecomesAMovieThatPlaysWithItsSound) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  const fs::path root = dir / "video";
  fs::create_directories(root / "data/jmv");
  const fs::path clip = root / "clip.mkv";
  auto made = test::runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=400x300:rate=25:duration=2 -f lavfi -i "
                               "sine=frequency=660:duration=2 -c:v mpeg4 -q:v 4 -c:a pcm_s16le " +
                               quote(clip.string()));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const fs::path movie = root / "data/jmv/Clip.jmv";
  auto converted = runProgram("sorel-movie", "make " + quote(movie.string()) + " --video " + quote(clip.string()));
  ASSERT_EQ(converted.exitCode, 0) << converted.output;
  EXPECT_NE(converted.output.find("pictures of 400 x 300 scaled to fit 320 x 240"), std::string::npos)
      << converted.output;
  auto info = runProgram("sorel-movie", "info " + quote(movie.string()));
  for (const char* line : {"frames       30", "fps          15", "size         320 x 240", "sound track  yes",
                           "player       plays it"})
    EXPECT_NE(info.output.find(line), std::string::npos) << line << "\n" << info.output;

  int w = 0;
  auto shots = playMovie(root, "Clip.jmv", 170, 60, 200);
  // 4:3 into 4:3: the picture fills the screen; FFmpeg's test picture has many colours.
  auto px = screenPixels(shots.front(), w);
  ASSERT_EQ(w, 320);
  std::set<uint32_t> colours(px.begin(), px.end());
  EXPECT_GT(colours.size(), 50u);
  // The test picture's right-hand bar is white from top to bottom: no bars for a picture of the
  // movie's shape.
  EXPECT_NE(px[size_t(2 * 320 + 316)], 0u);
  EXPECT_NE(px[size_t(237 * 320 + 316)], 0u);
  auto tone = toneStrength(root / "sound.wav", 660);
  ASSERT_GT(tone.size(), 40u);
  double loudest = 0;
  for (size_t i = 10; i < 40; ++i) loudest = std::max(loudest, tone[i]);
  EXPECT_GT(loudest, 1000) << "the video's tone is heard";
}

}  // namespace
}  // namespace sorel
