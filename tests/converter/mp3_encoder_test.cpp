// The MP3 encoder module: the bitrates MPEG allows, plain constant-bitrate streams the engine's
// decoder plays, refusals, and long inputs.
#include "converter/mp3_encoder.h"

#include <gtest/gtest.h>

#include <random>

#include "mp3_check.h"
#include "test_game.h"

namespace sorel {
namespace {

using namespace testgame;

class Mp3Encoder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mp3check::loadBuiltDecoder());
    ASSERT_TRUE(encoder.load());
  }
  void TearDown() override { unloadDecoderModule(); }
  Mp3EncoderModule encoder;
};

TEST(Mp3Bitrates, NearestAllowedBitrate) {
  EXPECT_EQ(nearestMp3Bitrate(64, 22050), 64);
  EXPECT_EQ(nearestMp3Bitrate(320, 22050), 160);
  EXPECT_EQ(nearestMp3Bitrate(192, 22050), 160);
  EXPECT_EQ(nearestMp3Bitrate(8, 44100), 32);
  EXPECT_EQ(nearestMp3Bitrate(16, 44100), 32);
  EXPECT_EQ(nearestMp3Bitrate(144, 44100), 128);  // between 128 and 160: the lower one
  EXPECT_EQ(nearestMp3Bitrate(144, 22050), 144);
  EXPECT_EQ(nearestMp3Bitrate(64, 11025), 0);
}

TEST_F(Mp3Encoder, PlainConstantBitrateFramesTheEngineDecodes) {
  struct Case {
    int channels, rate, kbps;
  };
  for (Case c : {Case{1, 22050, 32}, Case{2, 22050, 64}, Case{2, 44100, 128}, Case{1, 44100, 160}, Case{1, 22050, 8}}) {
    SCOPED_TRACE(std::to_string(c.channels) + " ch " + std::to_string(c.rate) + " Hz " + std::to_string(c.kbps));
    auto tone = sine(700, 9000, c.rate, c.rate, c.channels);  // one second
    auto mp3 = encoder.encode(tone, {c.channels, c.rate}, c.kbps);
    ASSERT_TRUE(mp3);
    // Nothing but frames, all at the one bitrate: no Info frame, no tags.
    auto fs = mp3check::frames(*mp3);
    ASSERT_FALSE(fs.empty());
    for (const auto& f : fs) {
      ASSERT_EQ(f.kbps, c.kbps);
      ASSERT_EQ(f.rate, c.rate);
      ASSERT_EQ(f.channels, c.channels);
      ASSERT_EQ(f.mpeg1, c.rate == 44100);
    }
    EXPECT_EQ(std::string(mp3->begin() + 4, mp3->begin() + 40).find("Info"), std::string::npos);

    auto d = mp3check::decode(*mp3);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->channels, c.channels);
    EXPECT_EQ(d->rate, c.rate);
    // Every frame plays; the encoder's and decoder's delay (1105 samples) and the last frame's
    // padding come on top of the second of sound.
    const size_t perFrame = c.rate == 44100 ? 1152 : 576;
    EXPECT_EQ(d->samples.size(), fs.size() * perFrame * size_t(c.channels));
    EXPECT_GE(d->samples.size() / size_t(c.channels), size_t(c.rate));
    // The tone's level survives (9000 peak: 6364 RMS).
    for (int ch = 0; ch < c.channels; ++ch) EXPECT_NEAR(mp3check::rms(d->samples, c.channels, ch, 2000), 6364 * 0.95, 800);
  }
}

TEST_F(Mp3Encoder, RefusesWhatMpegCannotCarry) {
  auto tone = sine(440, 1000, 2205, 22050, 2);
  EXPECT_FALSE(encoder.encode(tone, {2, 22050}, 320));   // MPEG-2 ends at 160
  EXPECT_FALSE(encoder.encode(tone, {2, 44100}, 16));    // MPEG-1 starts at 32
  EXPECT_FALSE(encoder.encode(tone, {2, 11025}, 32));    // not a rate the engine takes
  EXPECT_FALSE(encoder.encode(tone, {3, 22050}, 32));
  Mp3EncoderModule unbound;
  EXPECT_EQ(unbound.version(), "");
  EXPECT_FALSE(unbound.encode(tone, {2, 22050}, 32));
  EXPECT_EQ(encoder.version().rfind("LAME ", 0), 0u);
}

TEST_F(Mp3Encoder, LongLoudInputGrowsTheOutput) {
  // Ten seconds of full-scale stereo noise at 320 kbit/s: far more output than a tone, written
  // piece by piece into a growing buffer.
  std::mt19937 rng(3);
  std::vector<int16_t> noise(size_t(441000) * 2);
  for (auto& s : noise) s = int16_t(rng());
  auto mp3 = encoder.encode(noise, {2, 44100}, 320);
  ASSERT_TRUE(mp3);
  auto fs = mp3check::frames(*mp3);
  ASSERT_FALSE(fs.empty());
  EXPECT_GE(fs.size() * 1152, 441000u);
  EXPECT_NEAR(double(mp3->size()), 10.0 * 320000 / 8, 10000);
}

}  // namespace
}  // namespace sorel
