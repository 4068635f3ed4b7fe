// The movie player: the RGB565 averages, the three ways of drawing through the display mapping,
// the engine clock without a sound track, the sound track's clock, and frames that are skipped
// or refused.
#include "engine/audio/movie_player.h"

#include <gtest/gtest.h>

#include "engine/audio/sound_mixer.h"
#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/jbp1_format.h"
#include "platform/audio_config.h"
#include "platform/clock.h"
#include "tests/audio/movie_files.h"

namespace sorel {
namespace {

using namespace sorel::testing;
using movie::avg2;
using movie::avg4;

TEST(MovieAverages, MasksGiveTheChannelMeans) {
  struct Case {
    uint16_t p, q, expected;
  };
  for (const Case& c : std::vector<Case>{{0x1234, 0x1234, 0x1234},
                                         {0xFFFF, 0xFFFF, 0xFFFF},
                                         {0xFFFF, 0x0000, 0x7BEF},
                                         {0xF800, 0x0000, 0x7800},  // red 31 and 0 → 15
                                         // The low bit of a channel survives where both have it,
                                         // the rest is halved: green 63 and 1 give 31, not 32.
                                         {0x07E0, 0x0020, 0x03E0},
                                         {0x001F, 0x0001, 0x000F},
                                         {0x001F, 0x001E, 0x001E}})
    EXPECT_EQ(avg2(c.p, c.q), c.expected) << std::hex << c.p << " " << c.q;
  EXPECT_EQ(avg4(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), 0xFFFF);
  EXPECT_EQ(avg4(0xABCD, 0xABCD, 0xABCD, 0xABCD), 0xABCD);
  EXPECT_EQ(avg4(0, 0, 0, 0), 0);
  EXPECT_EQ(avg4(0xF800, 0, 0, 0), 0x3800) << "red 31 / 4 → 7";
  EXPECT_EQ(avg4(0x001F, 0x001F, 0x001F, 0x0000), 21) << "blue (28 + 28 + 28 + 0) / 4: the low bits differ";
  EXPECT_EQ(avg4(0x001F, 0x001F, 0x001F, 0x001F), 31);
}

/// A portrait raw frame buffer as pocketplayer's (480 × 640, x stride 2, y stride 960), read back
/// in logical order.
struct Panel {
  platform::RawFrameBuffer device;
  Panel() { device.open(480, 640); }
  uint16_t at(int x, int y) const {
    uint16_t v;
    std::memcpy(&v, device.framePointer() + platform::logicalOffset(device.properties(), 640, x, y), 2);
    return v;
  }
};

TEST(MovieDrawing, OneToOneDoubledAndInterpolatedThroughTheMapping) {
  // A 3 × 2 frame in a row stride of 4: a b e / c d f.
  const uint16_t a = 0xF800, b = 0x07E0, e = 0x001F, c = 0xFFFF, d = 0x0000, f = 0x1234;
  const std::vector<uint16_t> src = {a, b, e, 0x5555, c, d, f, 0x5555};
  {
    Panel p;
    movie::drawFrame(p.device.framePointer(), p.device.properties(), 640, src.data(), 4, 3, 2, 10, 20,
                     movie::Scale::OneToOne);
    EXPECT_EQ(p.at(10, 20), a);
    EXPECT_EQ(p.at(12, 20), e);
    EXPECT_EQ(p.at(11, 21), d);
    EXPECT_EQ(p.at(13, 20), 0) << "nothing right of the frame";
    EXPECT_EQ(p.at(10, 22), 0) << "nothing below it";
  }
  {
    Panel p;
    movie::drawFrame(p.device.framePointer(), p.device.properties(), 640, src.data(), 4, 3, 2, 0, 0,
                     movie::Scale::Doubled);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(p.at(x, y), src[size_t(y / 2) * 4 + size_t(x / 2)]) << x << "," << y;
    EXPECT_EQ(p.at(6, 0), 0);
  }
  {
    Panel p;
    movie::drawFrame(p.device.framePointer(), p.device.properties(), 640, src.data(), 4, 3, 2, 100, 50,
                     movie::Scale::Interpolated);
    const std::vector<std::vector<uint16_t>> expected = {
        {a, avg2(a, b), b, avg2(b, e), e, e},
        {avg2(a, c), avg4(a, b, c, d), avg2(b, d), avg4(b, e, d, f), e, e},
        {c, c, d, d, f, f},  // the last row doubled as it is
        {c, c, d, d, f, f},
    };
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(p.at(100 + x, 50 + y), expected[size_t(y)][size_t(x)]) << x << "," << y;
    EXPECT_EQ(p.at(106, 50), 0);
    EXPECT_EQ(p.at(100, 54), 0);
  }
}

TEST(MovieDrawing, TwoEqualPixelsInterpolateToThemselves) {
  const std::vector<uint16_t> src = {0x4A69, 0x4A69};
  Panel p;
  movie::drawFrame(p.device.framePointer(), p.device.properties(), 640, src.data(), 2, 2, 1, 0, 0,
                   movie::Scale::Interpolated);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(p.at(x, 0), 0x4A69);
}

TEST(MoviePath, TheNameAfterItsLastSlashWithTheMovieExtension) {
  EXPECT_EQ(movie::moviePath("data\\jmv\\", "Opening.jmv"), "data\\jmv\\Opening.jmv");
  EXPECT_EQ(movie::moviePath("data\\jmv\\", "movie/Opening.avi"), "data\\jmv\\Opening.jmv");
  EXPECT_EQ(movie::moviePath("data\\jmv\\", "Ending"), "data\\jmv\\Ending.jmv");
}

/// A movie on the handheld's 320 × 240 GDI imitation or pocketplayer's panel, under the virtual
/// clock.
class MoviePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClockMode(platform::ClockMode::Virtual, 1000);
    folder = testFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    sys = systemFolder(folder);
    ASSERT_EQ(gdi.open(320, 240), DisplayOpenError::None);
  }
  void TearDown() override {
    player.close();
    mixer.destroy();
    unloadDecoderModule();
    platform::setAudioConfig({});
    platform::setClockMode(platform::ClockMode::Real);
  }
  std::string put(const std::string& name, const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(writeFile(folder / name, bytes));
    return sys + name;
  }
  uint16_t pixel(int x, int y) {
    std::vector<uint16_t> px;
    platform::readLogicalRgb565(gdi.displayProperties(), gdi.bitmap().lastPixel(), 320, 240, px);
    return px[size_t(y) * 320 + size_t(x)];
  }
  /// The logical picture of frame f of frameStreams(n, w, h), decoded.
  std::vector<uint16_t> decoded(uint32_t n, uint32_t w, uint32_t h, uint32_t f) {
    auto streams = frameStreams(n, w, h);
    Jbp1Decoder d;
    initDecoder(d);
    d.input = streams[f];
    EXPECT_EQ(parseHeader(d), 1);
    EXPECT_EQ(decodePicture(d), 1);
    return d.ownedOutput;
  }

  std::filesystem::path folder;
  std::string sys;
  GdiBackend gdi;
  SoundMixer mixer;
  MoviePlayer player;
};

TEST_F(MoviePlayerTest, WithoutASoundTrackTheEngineClockTimesTheFramesAndSkippedOnesAreNotDecoded) {
  const std::string path = put("m.jmv", makeTestMovie(20, 64, 48, 10));
  ASSERT_EQ(player.open(path, gdi, &mixer, 100, false, true), MovieRefusal::None);
  EXPECT_FALSE(player.hasSound());
  EXPECT_EQ(player.framesDrawn(), 1u) << "frame 0 at open";
  // Centred: (160 − 32, 120 − 24); black outside.
  auto frame0 = decoded(20, 64, 48, 0);
  EXPECT_EQ(pixel(128, 96), frame0[0]);
  EXPECT_EQ(pixel(128 + 63, 96 + 47), frame0[47 * 64 + 63]);
  EXPECT_EQ(pixel(127, 96), 0);
  EXPECT_EQ(pixel(128, 144), 0);

  // 10 fps: frame 1 at 100 ms. 99 ms is still frame 0.
  platform::advanceVirtualClock(99);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.framesDrawn(), 1u);
  platform::advanceVirtualClock(1);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.shownFrame(), 1u);
  // A long pause: frames 2..6 are passed over, 7 is drawn.
  platform::advanceVirtualClock(600);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.shownFrame(), 7u);
  EXPECT_EQ(player.framesDrawn(), 3u);
  EXPECT_EQ(player.skippedFrames(), 5u);
  auto frame7 = decoded(20, 64, 48, 7);
  EXPECT_EQ(pixel(128, 96), frame7[0]);
  // Frame 19 is the last; at 2000 ms the movie is over.
  platform::advanceVirtualClock(1299);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.shownFrame(), 19u);
  platform::advanceVirtualClock(1);
  EXPECT_FALSE(player.step());
}

TEST_F(MoviePlayerTest, FramesOfAnotherSizeAreSkippedAndTheScreenKeepsTheLastGoodOne) {
  auto streams = frameStreams(3, 64, 48);
  streams[1] = frameStreams(1, 32, 48)[0];  // a frame that is not w × h
  jmvtool::MovieSettings s;
  s.fps = 10;
  ASSERT_EQ(player.open(put("m.jmv", jmvtool::assembleMovie(streams, 64, 48, s)), gdi, nullptr, 100, false, false),
            MovieRefusal::None);
  const uint16_t before = pixel(128, 96);
  platform::advanceVirtualClock(100);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.badFrames(), 1u);
  EXPECT_EQ(pixel(128, 96), before);
  platform::advanceVirtualClock(100);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.framesDrawn(), 2u);
}

/// The stream without its quantisation tables (flag and the 128 bytes behind the run-length
/// coded AC counts), as a movie writer may leave them to the first frame.
std::vector<uint8_t> withoutTables(std::vector<uint8_t> s) {
  size_t at = jbp1::kHeaderSize + jbp1::kDcCountBytes, filled = 0;
  for (; filled < jbp1::kAcCountBytes; at += s[at] ? 1 : 2) filled += s[at] ? 1 : size_t(s[at + 1]) + 1;
  at += (4 - (at - jbp1::kHeaderSize - jbp1::kDcCountBytes) % 4) % 4;
  s.erase(s.begin() + std::ptrdiff_t(at), s.begin() + std::ptrdiff_t(at + 2 * jbp1::kQuantTableBytes));
  storeU32(s.data() + 8, loadU32(s.data() + 8) & ~jbp1::kFlagQuantTables);
  return s;
}

// A frame that fails at its very end (AC stream one word short, other tables) has already
// written its macroblocks and read its tables: a repaint keeps the last good frame, and the next
// frame without tables of its own decodes with the last good ones.
TEST_F(MoviePlayerTest, AFrameThatFailsLeavesTheLastGoodFrameAndTables) {
  auto streams = frameStreams(3, 64, 48);
  jmvtool::Frame other = flatFrame(64, 48, 200, 30, 90, 5);
  streams[1] = Jbp1Encoder().encode(Bgr24View{other.bgr.data(), 64, 48, 64 * 3}, 30);
  storeU32(streams[1].data() + jbp1::kAcLengthOffset, loadU32(streams[1].data() + jbp1::kAcLengthOffset) - 4);
  streams[2] = withoutTables(streams[2]);
  jmvtool::MovieSettings settings;
  settings.fps = 10;
  ASSERT_EQ(player.open(put("m.jmv", jmvtool::assembleMovie(streams, 64, 48, settings)), gdi, nullptr, 100, false, false),
            MovieRefusal::None);
  auto expect = [&](const std::vector<uint16_t>& frame, const char* what) {
    for (int y = 0; y < 48; y += 3)
      for (int x = 0; x < 64; x += 3) ASSERT_EQ(pixel(128 + x, 96 + y), frame[size_t(y) * 64 + size_t(x)]) << what;
  };
  platform::advanceVirtualClock(100);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.badFrames(), 1u);
  player.repaint();
  expect(decoded(3, 64, 48, 0), "frame 0 after the broken frame 1");
  platform::advanceVirtualClock(100);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.framesDrawn(), 2u);
  expect(decoded(3, 64, 48, 2), "frame 2 with frame 0's tables");
}

// The movie folder may come from a system that ignores letter case.
TEST_F(MoviePlayerTest, AMovieIsFoundWhateverTheCaseOfItsName) {
  put("OPENING.JMV", makeTestMovie(2, 32, 32, 10));
  EXPECT_EQ(player.open(sys + "opening.jmv", gdi, nullptr, 100, false, false), MovieRefusal::None);
  EXPECT_EQ(player.open(sys + "closing.jmv", gdi, nullptr, 100, false, false), MovieRefusal::NoFile);
}

TEST_F(MoviePlayerTest, AFrameLargerThanTheScreenIsRefusedBeforeAnythingIsDrawn) {
  // 336 × 48 on the 320-wide handheld screen; 336 × 240 doubled on the 640-wide panel.
  EXPECT_EQ(player.open(put("wide.jmv", makeTestMovie(2, 336, 48, 10)), gdi, nullptr, 100, false, true),
            MovieRefusal::DoesNotFitScreen);
  EXPECT_FALSE(player.isOpen());
  platform::RawFrameBuffer panel;
  ASSERT_TRUE(panel.open(480, 640));
  RawFrameBufferBackend raw(panel);
  ASSERT_EQ(raw.open(640, 480), DisplayOpenError::None);
  EXPECT_EQ(player.open(put("wide2.jmv", makeTestMovie(2, 336, 32, 10)), raw, nullptr, 100, false, true),
            MovieRefusal::DoesNotFitScreen);
  // 320 × 240 fills the panel doubled; its corners are the frame's corners.
  ASSERT_EQ(player.open(put("full.jmv", makeTestMovie(2, 320, 240, 10)), raw, nullptr, 100, false, false),
            MovieRefusal::None);
  auto frame0 = decoded(2, 320, 240, 0);
  auto at = [&](int x, int y) {
    uint16_t v;
    std::memcpy(&v, panel.framePointer() + platform::logicalOffset(panel.properties(), 640, x, y), 2);
    return v;
  };
  EXPECT_EQ(at(0, 0), frame0[0]);
  EXPECT_EQ(at(639, 479), frame0[239 * 320 + 319]);
  EXPECT_EQ(at(638, 478), frame0[239 * 320 + 319]);
}

TEST_F(MoviePlayerTest, TheSoundTrackClocksTheFramesAndAFailedTrackLeavesTheEngineClock) {
  ASSERT_TRUE(loadBuiltDecoder());
  platform::AudioConfig config;
  config.headless = true;
  platform::setAudioConfig(config);
  ASSERT_TRUE(mixer.create());
  // A track that cannot be decoded: the movie runs on the engine clock.
  put("bad.mp3", std::vector<uint8_t>(100, 0x55));
  ASSERT_EQ(player.open(put("bad.jmv", makeTestMovie(30, 32, 32, 10)), gdi, &mixer, 100, false, true),
            MovieRefusal::None);
  EXPECT_FALSE(player.hasSound());
  platform::advanceVirtualClock(250);
  EXPECT_TRUE(player.step());
  EXPECT_EQ(player.shownFrame(), 2u);

  // A real track of 3 s: the frame follows the output's position, not the engine clock.
  put("good.mp3", encodeMp3(sine(440, 4000, 22050 * 3, 22050, 1), 1, 22050, 32));
  ASSERT_EQ(player.open(put("good.jmv", makeTestMovie(30, 32, 32, 10)), gdi, &mixer, 100, false, true),
            MovieRefusal::None);
  EXPECT_TRUE(player.hasSound());
  EXPECT_TRUE(mixer.isPlaying(movie::kTrackSlot));
  uint32_t lastShown = 0;
  for (int pass = 0; pass < 100; ++pass) {
    platform::advanceVirtualClock(16);
    ASSERT_TRUE(mixer.syncOutput());
    ASSERT_TRUE(player.step());
    const int32_t ms = mixer.positionMs(movie::kTrackSlot);
    EXPECT_EQ(player.shownFrame(), uint32_t(ms) * 10 / 1000) << "pass " << pass;
    EXPECT_GE(player.shownFrame(), lastShown);
    lastShown = player.shownFrame();
  }
  EXPECT_GT(lastShown, 5u);
  EXPECT_LT(lastShown, 16u) << "the output's position trails the engine clock";
  // The track stops: the movie ends with it.
  mixer.stop(movie::kTrackSlot);
  EXPECT_FALSE(player.step());
}

}  // namespace
}  // namespace sorel
