// One WAVE member to one MP3: the targets of the dialog's lists, the pass-through case, and
// whole conversions decoded as the engine decodes them.
#include "converter/audio_conversion.h"

#include <gtest/gtest.h>

#include "mp3_check.h"
#include "test_game.h"

namespace sorel {
namespace {

using namespace testgame;

TEST(SoundTarget, ListsToFormatAndBitrate) {
  // The dialog's defaults: music "64/32kbit", 22.05 kHz, stereo; voices "32kbit", mono.
  SoundTarget music = soundTarget(3, 0, true);
  EXPECT_EQ(music.format, (PcmFormat{2, 22050}));
  EXPECT_EQ(music.kbps, 64);
  SoundTarget voice = soundTarget(3, 0, false);
  EXPECT_EQ(voice.format, (PcmFormat{1, 22050}));
  EXPECT_EQ(voice.kbps, 32);

  // "128/64kbit" without stereo: mono at 64.
  SoundTarget mono = soundTarget(7, 1, false);
  EXPECT_EQ(mono.format, (PcmFormat{1, 44100}));
  EXPECT_EQ(mono.kbps, 64);
  // The voice list's last entry, "160kbit".
  EXPECT_EQ(soundTarget(12, 0, false).kbps, 160);
  EXPECT_EQ(soundTarget(12, 0, false).requestedKbps, 160);

  // Beyond what MPEG audio has at the rate: the nearest bitrate, the request kept for the note.
  SoundTarget high = soundTarget(12, 0, true);
  EXPECT_EQ(high.requestedKbps, 320);
  EXPECT_EQ(high.kbps, 160);
  SoundTarget low = soundTarget(0, 1, true);
  EXPECT_EQ(low.requestedKbps, 16);
  EXPECT_EQ(low.kbps, 32);
  // Out-of-range positions stay inside the lists.
  EXPECT_EQ(soundTarget(99, 7, true).format.rate, 44100);
  EXPECT_EQ(soundTarget(-1, -1, true).requestedKbps, 16);
}

TEST(PrepareSound, SameFormatPassesUnchangedOtherwiseConverted) {
  auto tone = sine(500, 8000, 4410, 44100, 2);
  std::string problem;
  auto same = prepareSound(wavePcm16(tone, 2, 44100), {2, 44100}, problem);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->samples, tone);

  auto mono = prepareSound(wavePcm16(tone, 2, 44100), {1, 22050}, problem);
  ASSERT_TRUE(mono);
  EXPECT_EQ(mono->format, (PcmFormat{1, 22050}));
  EXPECT_NEAR(double(mono->frames()), 2205, 2);

  EXPECT_FALSE(prepareSound(std::vector<uint8_t>{'R', 'I', 'F', 'F'}, {1, 22050}, problem));
  EXPECT_EQ(problem, "not a RIFF file");
}

class ConvertSound : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(mp3check::loadBuiltDecoder()); }
  void TearDown() override { unloadDecoderModule(); }
};

TEST_F(ConvertSound, StereoMusicWithStereoClearedIsMonoAtHalfTheBitrate) {
  // A stereo tone at 22050 Hz, "128/64kbit" at 44.10 kHz without stereo.
  auto tone = sine(1000, 10000, 22050, 22050, 2);
  std::string problem;
  auto mp3 = convertSound(wavePcm16(tone, 2, 22050), soundTarget(7, 1, false), problem);
  ASSERT_FALSE(mp3.empty()) << problem;
  auto fs = mp3check::frames(mp3);
  ASSERT_FALSE(fs.empty());
  EXPECT_EQ(fs[0].kbps, 64);
  EXPECT_EQ(fs[0].channels, 1);
  EXPECT_EQ(fs[0].rate, 44100);

  auto d = mp3check::decode(mp3);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->channels, 1);
  EXPECT_EQ(d->rate, 44100);
  // One second of tone at 44100 Hz: its level and pitch survive resampling and encoding.
  EXPECT_GE(d->samples.size(), 44100u);
  EXPECT_LE(d->samples.size(), 44100u + 3 * 1152);
  EXPECT_NEAR(mp3check::rms(d->samples, 1, 0, 2000), 7071, 700);
  int rises = 0;
  for (size_t i = 2001; i < 2000 + 44100 / 2; ++i) rises += d->samples[i - 1] < 0 && d->samples[i] >= 0;
  EXPECT_NEAR(rises, 500, 3);
}

TEST_F(ConvertSound, AdpcmVoiceAndRefusedMembers) {
  // IMA-ADPCM voice, 22050 Hz: 2 blocks of 1017 samples, 1500 of them real.
  std::vector<uint8_t> format = formatData(0x11, 1, 22050, 512, 4);
  put16(format, 2);
  put16(format, 1017);
  std::vector<uint8_t> data;
  for (int b = 0; b < 2; ++b) {
    put16(data, 3000);
    put16(data, 0);
    data.insert(data.end(), 508, 0x77);  // a steady rise and fall around the first sample
  }
  std::vector<uint8_t> fact;
  put32(fact, 1500);
  auto wave = riff({chunk("fmt ", format), chunk("fact", fact), chunk("data", data)});
  std::string problem;
  auto pcm = prepareSound(wave, {1, 22050}, problem);
  ASSERT_TRUE(pcm) << problem;
  EXPECT_EQ(pcm->frames(), 1500u);
  auto mp3 = convertSound(wave, soundTarget(12, 0, false), problem);
  ASSERT_FALSE(mp3.empty()) << problem;
  auto fs = mp3check::frames(mp3);
  ASSERT_FALSE(fs.empty());
  EXPECT_EQ(fs[0].kbps, 160);
  EXPECT_EQ(fs[0].channels, 1);
  auto d = mp3check::decode(mp3);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->rate, 22050);
  EXPECT_EQ(d->samples.size(), fs.size() * 576);
  EXPECT_GE(d->samples.size(), 1500u);
  EXPECT_GT(mp3check::rms(d->samples, 1, 0), 1000);

  EXPECT_TRUE(convertSound(riff({chunk("data", {1, 2})}), soundTarget(3, 0, false), problem).empty());
  EXPECT_EQ(problem, "no format chunk");
  // One byte of 16-bit data is no sample at all.
  EXPECT_TRUE(convertSound(riff({chunk("fmt ", formatData(1, 1, 22050, 2, 16)), chunk("data", {1})}),
                           soundTarget(3, 0, false), problem)
                  .empty());
  EXPECT_EQ(problem, "no samples");
}

}  // namespace
}  // namespace sorel
