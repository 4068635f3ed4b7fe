#include "engine/audio/sound_mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/audio/mp3_stream.h"
#include "mp3_maker.h"
#include "platform/audio_config.h"
#include "platform/clock.h"

namespace sorel {
namespace {

using namespace sorel::testing;

constexpr size_t kBufferSamples = SoundMixer::kBufferBytes / 2;

/// The mixer's output under the virtual clock, captured to a WAV file by the headless output.
class SoundMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClockMode(platform::ClockMode::Virtual, 50000);
    ASSERT_TRUE(loadBuiltDecoder());
    folder = testFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    sys = systemFolder(folder);
    platform::AudioConfig config;
    config.headless = true;
    config.captureHostPath = (folder / "out.wav").string();
    platform::setAudioConfig(config);
  }
  void TearDown() override {
    mixer.destroy();
    unloadDecoderModule();
    platform::setAudioConfig({});
    platform::setClockMode(platform::ClockMode::Real);
  }

  void put(const std::string& name, const std::vector<uint8_t>& mp3) { ASSERT_TRUE(writeFile(folder / name, mp3)); }

  /// Moves the clock on until n more buffers have been refilled.
  void runRefills(int n) {
    uint64_t target = mixer.queuedCount() + static_cast<uint64_t>(n);
    for (int guard = 0; guard < 200 * n && mixer.queuedCount() < target; ++guard) {
      platform::advanceVirtualClock(1);
      ASSERT_TRUE(mixer.syncOutput());
    }
    ASSERT_EQ(mixer.queuedCount(), target);
  }

  /// Closes the mixer and returns the captured samples that follow the three buffers of
  /// silence queued at create(): refill 1, 2, … in order.
  std::vector<int16_t> captured() {
    mixer.destroy();
    auto wav = platform::readWholeFile(sys + "out.wav");
    EXPECT_TRUE(wav);
    if (!wav || wav->size() < 44) return {};
    std::vector<int16_t> all((wav->size() - 44) / 2);
    std::memcpy(all.data(), wav->data() + 44, all.size() * 2);
    EXPECT_GE(all.size(), 3 * kBufferSamples);
    for (size_t i = 0; i < std::min(all.size(), 3 * kBufferSamples); ++i) EXPECT_EQ(all[i], 0);
    return {all.begin() + static_cast<long>(std::min(all.size(), 3 * kBufferSamples)), all.end()};
  }

  /// The source's own PCM, as the mixer's decoder delivers it.
  std::vector<int16_t> decoded(const std::vector<uint8_t>& mp3) {
    Mp3Stream s;
    EXPECT_TRUE(s.openMemory(mp3));
    std::vector<uint8_t> bytes(4 << 20);
    bytes.resize(s.read(bytes.data(), bytes.size(), false));
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
  }

  SoundMixer mixer;
  std::filesystem::path folder;
  std::string sys;
};

TEST_F(SoundMixerTest, TwoFullScaleChannelsSaturate) {
  auto loud = encodeMp3(sine(300, 32000, 22050, 22050, 2, true), 2, 22050, 64);
  put("a.mp3", loud);
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(6, "a.mp3", sys, nullptr, 100, 0, false, true, false));
  ASSERT_TRUE(mixer.play(7, "a.mp3", sys, nullptr, 100, 0, false, true, false));
  runRefills(3 + 4);
  auto out = captured();
  auto src = decoded(loud);
  ASSERT_GE(out.size(), 4 * kBufferSamples);
  ASSERT_GE(src.size(), 4 * kBufferSamples);
  int high = 0, low = 0;
  for (size_t i = 0; i < 4 * kBufferSamples; ++i) {
    int32_t sum = 2 * int32_t{src[i]};
    ASSERT_EQ(out[i], std::clamp(sum, -32768, 32767)) << i;
    high += out[i] == 32767;
    low += out[i] == -32768;
  }
  EXPECT_GT(high, 1000);
  EXPECT_GT(low, 1000);
}

TEST_F(SoundMixerTest, AMono44100SourcePlaysAsEqualSidesAtHalfTheRate) {
  auto mono = encodeMp3(sine(500, 16000, 44100, 44100, 1), 1, 44100, 64);
  put("m.mp3", mono);
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(2, "m.mp3", sys, nullptr, 100, 0, false, true, false));
  auto st = mixer.status(2);
  ASSERT_TRUE(st);
  EXPECT_EQ(st->channels, 1);
  EXPECT_EQ(st->rate, 44100);
  runRefills(3 + 3);
  auto out = captured();
  auto src = decoded(mono);
  ASSERT_GE(out.size(), 3 * kBufferSamples);
  for (size_t f = 0; f < 3 * kBufferSamples / 2; ++f) {
    int16_t expect = static_cast<int16_t>(src[2 * f] / 2 + src[2 * f + 1] / 2);
    ASSERT_EQ(out[2 * f], expect) << f;
    ASSERT_EQ(out[2 * f + 1], expect) << f;
  }
}

TEST_F(SoundMixerTest, AStereo44100SourceIsHalvedPerSideAndScaledByItsLevel) {
  auto st44 = encodeMp3(sine(700, 20000, 44100, 44100, 2, true), 2, 44100, 128);
  put("s.mp3", st44);
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(4, "s.mp3", sys, nullptr, 30, 0, true, true, false));
  mixer.setVolume(4, 150);  // out of range: the level stays
  EXPECT_EQ(mixer.status(4)->requestedLevel, 30);
  EXPECT_EQ(mixer.status(4)->effectiveLevel, 30);
  runRefills(3 + 2);
  auto out = captured();
  auto src = decoded(st44);
  ASSERT_GE(out.size(), 2 * kBufferSamples);
  for (size_t f = 0; f < 2 * kBufferSamples / 2; ++f)
    for (size_t side = 0; side < 2; ++side) {
      int32_t half = src[4 * f + side] / 2 + src[4 * f + 2 + side] / 2;
      ASSERT_EQ(out[2 * f + side], half * 30 / 100) << f;
    }
}

TEST_F(SoundMixerTest, AFadeOutEndsWithTheSlotEmpty) {
  put("loop.mp3", encodeMp3(sine(440, 10000, 22050, 22050, 2), 2, 22050, 64));
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(0, "loop.mp3", sys, nullptr, 100, 0, true, true, false));
  runRefills(5);
  uint32_t start = platform::tickCount();
  mixer.fadeOut(0, 1500);
  std::vector<int> levels;
  while (mixer.hasChannel(0)) {
    uint32_t before = platform::tickCount();
    levels.push_back(mixer.status(0)->effectiveLevel);
    runRefills(1);
    if (mixer.hasChannel(0)) {
      EXPECT_LT(platform::tickCount() - start, 1500u);
    } else {
      // Destroyed by the first refill at or after 1500 ms.
      EXPECT_GE(platform::tickCount() - start, 1500u);
      EXPECT_LT(before - start, 1500u);
    }
    ASSERT_LT(levels.size(), 40u);
  }
  EXPECT_TRUE(std::is_sorted(levels.rbegin(), levels.rend()));
  EXPECT_FALSE(mixer.isPlaying(0));
  EXPECT_EQ(mixer.positionMs(0), -1);
  size_t refillsDuringFade = levels.size();
  runRefills(3 + 2);  // everything after the fade has been played
  auto out = captured();
  size_t silentFrom = (5 + refillsDuringFade) * kBufferSamples;
  ASSERT_GE(out.size(), silentFrom + 2 * kBufferSamples);
  EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(silentFrom), out.end(), [](int16_t s) { return s == 0; }));
  // The fade's refills grow quieter.
  auto peak = [&](size_t refill) {
    int p = 0;
    for (size_t i = refill * kBufferSamples; i < (refill + 1) * kBufferSamples; ++i) p = std::max(p, std::abs(int{out[i]}));
    return p;
  };
  EXPECT_GT(peak(5), peak(5 + refillsDuringFade - 2));
}

TEST_F(SoundMixerTest, PositionStartsCountingAtTheThirdRefillAfterStart) {
  put("m.mp3", encodeMp3(sine(440, 10000, 22050 * 3, 22050, 2), 2, 22050, 64));
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(0, "m.mp3", sys, nullptr, 100, 0, false, false, false));
  EXPECT_EQ(mixer.positionMs(0), -1);  // prepared, not started
  EXPECT_FALSE(mixer.isPlaying(0));
  mixer.start(0, false);
  EXPECT_TRUE(mixer.isPlaying(0));
  EXPECT_EQ(mixer.positionMs(0), 0);
  runRefills(1);
  platform::advanceVirtualClock(50);
  EXPECT_EQ(mixer.positionMs(0), 0);
  runRefills(1);
  platform::advanceVirtualClock(50);
  EXPECT_EQ(mixer.positionMs(0), 0);
  runRefills(1);  // the baseline is taken now
  uint32_t base = platform::tickCount();
  EXPECT_EQ(mixer.positionMs(0), 0);
  platform::advanceVirtualClock(58);
  // The output's position moves in whole sample frames, so the milliseconds may round down.
  EXPECT_NEAR(mixer.positionMs(0), 58, 1);
  runRefills(10);
  int32_t ms = mixer.positionMs(0);
  uint32_t elapsed = platform::tickCount() - base;
  EXPECT_LE(ms, static_cast<int32_t>(elapsed));
  EXPECT_GE(ms, static_cast<int32_t>(elapsed) - 1);
}

TEST_F(SoundMixerTest, AChannelThatEndsStaysSilentInItsSlotUntilStopped) {
  put("short.mp3", encodeMp3(sine(440, 10000, 2000, 22050, 2), 2, 22050, 64));
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(6, "short.mp3", sys, nullptr, 100, 0, false, true, false));
  runRefills(3);
  EXPECT_FALSE(mixer.isPlaying(6));
  EXPECT_TRUE(mixer.hasChannel(6));
  EXPECT_EQ(mixer.status(6)->state, ChannelStatus::kIdle);
  EXPECT_EQ(mixer.positionMs(6), -1);
  mixer.stop(6);
  EXPECT_FALSE(mixer.hasChannel(6));
}

TEST_F(SoundMixerTest, StopNeverWaitsForARefill) {
  put("a.mp3", encodeMp3(sine(440, 10000, 22050, 22050, 2), 2, 22050, 64));
  ASSERT_TRUE(mixer.create());
  // The clock stands still: no refill comes, and stop() still empties the slot at once.
  ASSERT_TRUE(mixer.play(5, "a.mp3", sys, nullptr, 100, 0, true, true, false));
  mixer.stop(5);
  EXPECT_FALSE(mixer.hasChannel(5));
  // Also when the output is gone.
  ASSERT_TRUE(mixer.play(5, "a.mp3", sys, nullptr, 100, 0, true, true, false));
  ASSERT_TRUE(mixer.play(6, "a.mp3", sys, nullptr, 100, 500, true, true, false));
  EXPECT_EQ(mixer.status(6)->fadeLevel, 0);
  EXPECT_TRUE(mixer.status(6)->fadingIn);
  mixer.destroy();
  EXPECT_FALSE(mixer.hasChannel(5));
  ASSERT_TRUE(mixer.play(5, "a.mp3", sys, nullptr, 100, 0, true, true, false));
  mixer.stopAll();
  EXPECT_FALSE(mixer.hasChannel(5));
}

TEST_F(SoundMixerTest, AChannelThatCannotBeFedIsNotPlaying) {
  put("a.mp3", encodeMp3(sine(440, 10000, 22050 * 4, 22050, 2), 2, 22050, 64));
  {
    // The output never opened: the channel exists but nothing will ever play it.
    SoundMixer unopened;
    ASSERT_TRUE(unopened.play(2, "a.mp3", sys, nullptr, 100, 0, true, true, false));
    EXPECT_TRUE(unopened.hasChannel(2));
    EXPECT_FALSE(unopened.isPlaying(2));
    EXPECT_EQ(unopened.positionMs(2), -1);
  }
  // An output that refuses buffers after the fifth: once the last one it held is back, the
  // looping channel stops counting as playing.
  platform::AudioConfig config = platform::audioConfig();
  config.acceptBuffers = 5;
  platform::setAudioConfig(config);
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(2, "a.mp3", sys, nullptr, 100, 0, true, true, false));
  EXPECT_TRUE(mixer.isPlaying(2));
  for (int guard = 0; guard < 200 && mixer.outputFed(); ++guard) {
    platform::advanceVirtualClock(50);
    ASSERT_TRUE(mixer.syncOutput());
  }
  EXPECT_FALSE(mixer.outputFed());
  EXPECT_EQ(mixer.queuedCount(), 5u);
  EXPECT_TRUE(mixer.hasChannel(2));
  EXPECT_FALSE(mixer.isPlaying(2));
  EXPECT_EQ(mixer.positionMs(2), -1);
}

TEST_F(SoundMixerTest, PlayFailsWithTheSlotEmpty) {
  put("a.mp3", encodeMp3(sine(440, 10000, 22050, 22050, 2), 2, 22050, 64));
  put("odd.mp3", encodeMp3(sine(440, 10000, 32000, 32000, 2), 2, 32000, 64));
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(2, "a.mp3", sys, nullptr, 100, 0, false, true, false));
  EXPECT_FALSE(mixer.play(2, "missing.mp3", sys, nullptr, 100, 0, false, true, false));
  EXPECT_FALSE(mixer.hasChannel(2));
  EXPECT_FALSE(mixer.play(2, std::string(64, 'a'), sys, nullptr, 100, 0, false, true, false));
  EXPECT_FALSE(mixer.play(2, "odd.mp3", sys, nullptr, 100, 0, false, true, false));  // 32 kHz
  EXPECT_FALSE(mixer.play(64, "a.mp3", sys, nullptr, 100, 0, false, true, false));
  EXPECT_FALSE(mixer.play(-1, "a.mp3", sys, nullptr, 100, 0, false, true, false));
  EXPECT_FALSE(mixer.hasChannel(2));
  put("zeros.mp3", std::vector<uint8_t>(5000, 0));
  EXPECT_FALSE(mixer.play(2, "zeros.mp3", sys, nullptr, 100, 0, false, true, true));
}

TEST_F(SoundMixerTest, ALoopingSourceWithoutADecodableFrameEndsInsteadOfHangingTheRefill) {
  auto good = encodeMp3(sine(440, 10000, 22050, 22050, 2), 2, 22050, 64);
  put("cut.mp3", std::vector<uint8_t>(good.begin(), good.begin() + 100));  // one frame, cut short
  std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 3 + 7));
  put("trunc.mp3", truncated);
  ASSERT_TRUE(mixer.create());
  ASSERT_TRUE(mixer.play(4, "cut.mp3", sys, nullptr, 100, 0, true, true, false));
  ASSERT_TRUE(mixer.play(6, "trunc.mp3", sys, nullptr, 100, 0, false, true, true));
  runRefills(6);
  EXPECT_FALSE(mixer.isPlaying(4));
  EXPECT_FALSE(mixer.isPlaying(6));
}

}  // namespace
}  // namespace sorel
