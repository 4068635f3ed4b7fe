// Both players headless under the virtual clock, playing a movie with --movie: the screen shows
// the frame the sound has reached, centred (doubled on pocketplayer) on black; the captured WAV
// holds the sound track; a tap ends the movie and silences it; and a run repeats byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/audio/movie_files.h"
#include "tests/e2e/player_run.h"

namespace sorel::test {
namespace {

namespace fs = std::filesystem;
using namespace sorel::testing;

constexpr int kRate = 22050;
constexpr double kToneHz = 660;
constexpr uint32_t kFrames = 40, kFps = 10, kW = 160, kH = 120;
constexpr int kTapFrame = 150;  // 2.4 s into the run
constexpr int kRunFrames = 250;

std::vector<uint8_t> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

/// A screenshot's pixel as 0xRRGGBB.
uint32_t rgbAt(const Shot& s, int x, int y) {
  const uint8_t* p = s.at(x, y);
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

/// The tone's amplitude in 50 ms windows of the left channel of a 44-byte-header WAV.
std::vector<double> toneTrack(const std::vector<uint8_t>& wav, double hz) {
  std::vector<double> track;
  if (wav.size() < 44) return track;
  std::vector<int16_t> left;
  for (size_t o = 44; o + 4 <= wav.size(); o += 4) left.push_back(int16_t(wav[o] | wav[o + 1] << 8));
  const size_t window = kRate / 20;
  const double w = 2 * M_PI * hz / kRate, k = 2 * std::cos(w);
  for (size_t at = 0; at + window <= left.size(); at += window) {
    double s1 = 0, s2 = 0;
    for (size_t i = at; i < at + window; ++i) {
      double s0 = left[i] + k * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    track.push_back(2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - k * s1 * s2)) / double(window));
  }
  return track;
}

class MoviePlayers : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    root = fs::path(SOREL_TEST_TMP) / (std::string("e2e_movie_") + GetParam());
    fs::remove_all(root);
    fs::create_directories(root / "data/jmv");
    fs::create_directories(root / "runtime");
    // Frames of clearly different colours, each marked at its own place.
    std::vector<jmvtool::Frame> frames;
    for (uint32_t i = 0; i < kFrames; ++i)
      frames.push_back(flatFrame(kW, kH, uint8_t(i * 6), uint8_t(200 - i * 4), uint8_t(30 + i * 5), i));
    jmvtool::MovieSettings s;
    s.fps = kFps;
    std::string problem;
    auto movie = jmvtool::makeMovie(frames, s, problem);
    ASSERT_FALSE(movie.empty()) << problem;
    // Not "Opening.jmv": the title would play that one again once the tap has ended this one.
    ASSERT_TRUE(writeFile(root / "data/jmv/Trailer.jmv", movie));
    auto mp3 = encodeMp3(sine(kToneHz, 6000, kRate * int(kFrames / kFps), kRate, 1), 1, kRate, 64);
    ASSERT_TRUE(writeFile(root / "data/jmv/Trailer.mp3", mp3));
    std::ofstream(root / "input.txt") << kTapFrame << " tap 100 100\n";
  }

  struct Run {
    std::vector<uint8_t> wav, early, late, after;
  };

  Run run(const std::string& tag) {
    auto file = [&](const std::string& n) { return root / (tag + n); };
    std::string args = "--headless --virtual-clock --frames " + std::to_string(kRunFrames) + " --movie Trailer.jmv" +
                       " --root " + quote(root.string()) + " --audio-out " + quote(file(".wav").string()) +
                       " --input " + quote((root / "input.txt").string()) + " --screenshot 40:" +
                       quote(file("-early.png").string()) + " --screenshot 100:" + quote(file("-late.png").string()) +
                       " --screenshot 200:" + quote(file("-after.png").string());
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    ProgramResult r = runProgram(GetParam(), args);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return {readBytes(file(".wav")), readBytes(file("-early.png")), readBytes(file("-late.png")),
            readBytes(file("-after.png"))};
  }

  fs::path root;
};

TEST_P(MoviePlayers, ShowsTheMovieCentredPlaysItsTrackEndsOnATapAndRepeats) {
  const bool vga = std::string(GetParam()) == "pocketplayer";
  const int scale = vga ? 2 : 1, W = vga ? 640 : 320, H = vga ? 480 : 240;
  const int x0 = W / 2 - int(kW) * scale / 2, y0 = H / 2 - int(kH) * scale / 2;
  Run first = run("first");
  Shot early = readShot(root / "first-early.png"), late = readShot(root / "first-late.png"),
       after = readShot(root / "first-after.png");
  ASSERT_EQ(early.width, W);
  ASSERT_EQ(late.width, W);
  ASSERT_EQ(after.width, W);

  auto inside = [&](int x, int y) { return x >= x0 && x < x0 + int(kW) * scale && y >= y0 && y < y0 + int(kH) * scale; };
  int outsideLit = 0, insideDark = 0, insideChanged = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      if (!inside(x, y)) {
        outsideLit += rgbAt(early, x, y) != 0 || rgbAt(late, x, y) != 0;
      } else {
        insideDark += rgbAt(early, x, y) == 0;
        insideChanged += rgbAt(early, x, y) != rgbAt(late, x, y);
      }
    }
  EXPECT_EQ(outsideLit, 0) << "black around the movie";
  EXPECT_EQ(insideDark, 0) << "the movie fills its place";
  EXPECT_GT(insideChanged, int(kW * kH) * scale * scale * 9 / 10) << "a later frame at 1.6 s than at 0.64 s";
  // The marks tell which frame shows: frame f is marked with white at x = 8 f. The frame shown
  // follows the sound, which is heard about 0.35 s after the pass that queued it.
  auto markedFrame = [&](const Shot& s) {
    for (uint32_t f = 0; f < kFrames; ++f)
      if ((rgbAt(s, x0 + int(8 * f + 3) * scale, y0 + 3 * scale) & 0xE0E0E0) == 0xE0E0E0) return int(f);
    return -1;
  };
  const int earlyFrame = markedFrame(early), lateFrame = markedFrame(late);
  EXPECT_GE(earlyFrame, 2);
  EXPECT_LE(earlyFrame, 6);
  EXPECT_GE(lateFrame, 11);
  EXPECT_LE(lateFrame, 15);
  int afterLit = 0;
  for (uint8_t v : after.rgb) afterLit += v != 0;
  EXPECT_EQ(afterLit, 0) << "the tap ended the movie: the blank game screen is back";

  auto tone = toneTrack(first.wav, kToneHz);
  ASSERT_GT(tone.size(), 70u);
  // Heard from about 0.4 s until the tap at 2.4 s, silent from half a second after it.
  for (size_t i = 12; i < 46; ++i) EXPECT_GT(tone[i], 1500) << "window " << i;
  for (size_t i = 56; i < tone.size(); ++i) EXPECT_LT(tone[i], 100) << "window " << i << " after the tap";

  Run second = run("second");
  EXPECT_TRUE(first.wav == second.wav) << "the same sound every run";
  EXPECT_TRUE(first.early == second.early && first.late == second.late && first.after == second.after)
      << "the same pictures every run";
}

INSTANTIATE_TEST_SUITE_P(BothPlayers, MoviePlayers, ::testing::Values("pocketplayer", "handheldplayer"));

}  // namespace
}  // namespace sorel::test
