// Codings to 16-bit PCM (ADPCM lengths and values, PCM of other sizes) and the conversion
// stream (rates, channels, limits).
#include "converter/pcm_convert.h"

#include <gtest/gtest.h>

#include "engine/resources/byte_io.h"
#include "test_game.h"

namespace sorel {
namespace {

using namespace testgame;

/// Zero crossings from below per second of one channel: the frequency of a clean tone.
double toneHz(const std::vector<int16_t>& pcm, int channels, int channel, int rate) {
  int rises = 0;
  size_t frames = pcm.size() / size_t(channels);
  for (size_t i = 1; i < frames; ++i)
    if (pcm[(i - 1) * channels + channel] < 0 && pcm[i * channels + channel] >= 0) ++rises;
  return rises * double(rate) / double(frames);
}

WaveSound parsed(const std::vector<uint8_t>& file) {
  auto w = parseWave(file);
  EXPECT_TRUE(w);
  return w ? *w : WaveSound{};
}

// IMA-ADPCM, 512-byte mono blocks: a 4-byte header (first sample, step index 0, 0), then 508
// bytes of nibbles, 1017 samples a block. Nibbles of 0 at step index 0 keep the first sample.
std::vector<uint8_t> imaAdpcm(int blocks, int16_t level, std::optional<uint32_t> fact) {
  std::vector<uint8_t> format = formatData(0x11, 1, 22050, 512, 4);
  put16(format, 2);     // extra bytes
  put16(format, 1017);  // samples per block
  std::vector<uint8_t> data;
  for (int b = 0; b < blocks; ++b) {
    put16(data, uint16_t(level));
    data.push_back(0);
    data.push_back(0);
    data.insert(data.end(), 508, 0);
  }
  if (fact) {
    std::vector<uint8_t> f;
    put32(f, *fact);
    return riff({chunk("fmt ", format), chunk("fact", f), chunk("data", data)});
  }
  return riff({chunk("fmt ", format), chunk("data", data)});
}

// MS-ADPCM, 256-byte mono blocks: predictor, delta, two first samples (7 bytes), then 249
// bytes of nibbles, 500 samples a block. Predictor 0 (coefficients 256, 0) with nibbles of 0
// repeats the first sample.
std::vector<uint8_t> msAdpcm(int blocks, int16_t level, uint32_t fact) {
  std::vector<uint8_t> format = formatData(2, 1, 44100, 256, 4);
  put16(format, 32);   // extra bytes
  put16(format, 500);  // samples per block
  put16(format, 7);    // coefficient pairs
  for (int c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) put16(format, uint16_t(c));
  std::vector<uint8_t> data;
  for (int b = 0; b < blocks; ++b) {
    data.push_back(0);
    put16(data, 16);
    put16(data, uint16_t(level));
    put16(data, uint16_t(level));
    data.insert(data.end(), 249, 0);
  }
  std::vector<uint8_t> f;
  put32(f, fact);
  return riff({chunk("fmt ", format), chunk("fact", f), chunk("data", data)});
}

TEST(DecodeToPcm16, SixteenBitPcmIsTakenAsItIs) {
  std::vector<int16_t> samples = {1, -2, 300, -400, 32767, -32768};
  auto file = wavePcm16(samples, 2, 22050);
  file.push_back(0x55);  // a stray byte in the data makes no half frame
  storeU32(file.data() + 40, uint32_t(samples.size() * 2 + 1));
  storeU32(file.data() + 4, uint32_t(file.size() - 8));
  auto pcm = decodeToPcm16(parsed(file));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->format, (PcmFormat{2, 22050}));
  EXPECT_EQ(pcm->samples, samples);
}

TEST(DecodeToPcm16, AdpcmIsCutToTheLengthItsFactChunkGives) {
  auto pcm = decodeToPcm16(parsed(imaAdpcm(3, 1234, 2500u)));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->format, (PcmFormat{1, 22050}));
  ASSERT_EQ(pcm->frames(), 2500u);
  for (int16_t s : pcm->samples) ASSERT_EQ(s, 1234);

  // Without a fact chunk the blocks are whole; a fact naming more than the blocks hold is not
  // believed.
  EXPECT_EQ(decodeToPcm16(parsed(imaAdpcm(3, 1234, std::nullopt)))->frames(), 3u * 1017);
  EXPECT_EQ(decodeToPcm16(parsed(imaAdpcm(3, 1234, 999999u)))->frames(), 3u * 1017);

  pcm = decodeToPcm16(parsed(msAdpcm(2, -700, 777)));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->format, (PcmFormat{1, 44100}));
  ASSERT_EQ(pcm->frames(), 777u);
  for (int16_t s : pcm->samples) ASSERT_EQ(s, -700);
}

TEST(DecodeToPcm16, OtherPcmSizesAndRefusals) {
  // 8-bit PCM is unsigned: 0x80 is silence.
  auto eight = riff({chunk("fmt ", formatData(1, 1, 11025, 1, 8)), chunk("data", {0x80, 0xC0, 0x40, 0x80})});
  auto pcm = decodeToPcm16(parsed(eight));
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->samples, (std::vector<int16_t>{0, 16384, -16384, 0}));

  PcmError error;
  auto six = riff({chunk("fmt ", formatData(1, 6, 44100, 12, 16)), chunk("data", std::vector<uint8_t>(24, 0))});
  EXPECT_FALSE(decodeToPcm16(parsed(six), &error));
  EXPECT_EQ(error, PcmError::BadFormat);
  auto unknown = riff({chunk("fmt ", formatData(0x1234, 1, 22050, 2, 16)), chunk("data", {1, 2, 3, 4})});
  EXPECT_FALSE(decodeToPcm16(parsed(unknown), &error));
  EXPECT_EQ(error, PcmError::Undecodable);
}

TEST(AcmConvert, RatesAndChannels) {
  auto tone = sine(1000, 10000, 22050, 22050, 1);
  // Up to 44100 Hz stereo: twice the frames, the same tone, the same samples on both sides.
  auto up = acmConvert({1, 22050}, {2, 44100}, tone);
  ASSERT_TRUE(up);
  EXPECT_NEAR(double(up->size()), 2.0 * 44100, 4);
  for (size_t i = 0; i < up->size(); i += 2) ASSERT_EQ((*up)[i], (*up)[i + 1]);
  EXPECT_NEAR(toneHz(*up, 2, 0, 44100), 1000, 5);

  // Stereo to mono is the mean of both sides, at the same rate without resampling.
  std::vector<int16_t> lr = {100, 300, -5, -6, 32767, 32767, -32768, -32768};
  auto mono = acmConvert({2, 44100}, {1, 44100}, lr);
  ASSERT_TRUE(mono);
  EXPECT_EQ(*mono, (std::vector<int16_t>{200, -6, 32767, -32768}));

  // Down to 22050 Hz: half the frames, the tone kept.
  auto loud = sine(440, 12000, 44100, 44100, 2);
  auto down = acmConvert({2, 44100}, {2, 22050}, loud);
  ASSERT_TRUE(down);
  EXPECT_NEAR(double(down->size()), 2.0 * 22050, 4);
  EXPECT_NEAR(toneHz(*down, 2, 1, 22050), 440, 3);

  EXPECT_TRUE(acmConvert({1, 22050}, {1, 44100}, {})->empty());
  EXPECT_FALSE(acmConvert({3, 22050}, {1, 22050}, lr));
  EXPECT_FALSE(acmConvert({1, 999}, {1, 22050}, lr));
  // A long sound brought to 384000 Hz stereo would pass the size limit: refused before anything
  // is allocated.
  std::vector<int16_t> many(size_t(8000) * 200, 0);
  EXPECT_FALSE(acmConvert({1, 8000}, {2, 384000}, many));
}

}  // namespace
}  // namespace sorel
