// RIFF/WAVE parsing: the chunk walk, which chunks are taken, and files that are refused.
#include "converter/wave_format.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/resources/byte_io.h"
#include "test_game.h"

namespace sorel {
namespace {

using namespace testgame;

const std::vector<uint8_t> kFormat = formatData(1, 2, 44100, 4, 16);

std::vector<uint8_t> bytesOf(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

TEST(ParseWave, TakesTheFirstFormatAndTheFirstNonEmptyData) {
  // An empty "data" chunk, a chunk of odd length (one pad byte follows it), a second format that
  // is ignored, then the data.
  auto file = riff({chunk("fmt ", kFormat), chunk("data", {}), chunk("LIST", {1, 2, 3}),
                    chunk("fmt ", formatData(1, 1, 8000, 2, 16)), chunk("data", {10, 0, 20, 0})});
  WaveError error;
  auto w = parseWave(file, &error);
  ASSERT_TRUE(w);
  EXPECT_EQ(error, WaveError::None);
  EXPECT_EQ(w->format, kFormat);
  EXPECT_EQ(bytesOf(w->data), (std::vector<uint8_t>{10, 0, 20, 0}));
  WaveFormat f = w->fields();
  EXPECT_EQ(f.tag, 1);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.rate, 44100u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.bits, 16);
  EXPECT_FALSE(w->factFrames);

  // Without the pad byte the walk would land inside the odd chunk and miss the data.
  auto odd = riff({chunk("fmt ", kFormat), chunk("junk", {7}), chunk("data", {1, 2, 3, 4})});
  ASSERT_EQ(odd.size(), 12u + 24 + 10 + 12);
  w = parseWave(odd);
  ASSERT_TRUE(w);
  EXPECT_EQ(bytesOf(w->data), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(ParseWave, FactAndShortFormats) {
  // The 14-byte format of old files: PCM's sample size comes from the block.
  std::vector<uint8_t> old(kFormat.begin(), kFormat.begin() + 14);
  auto file = riff({chunk("fmt ", old), chunk("fact", {0x10, 0x27, 0, 0}), chunk("data", {1, 2, 3, 4})});
  auto w = parseWave(file);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->format.size(), 14u);
  EXPECT_EQ(w->fields().bits, 16);
  EXPECT_EQ(w->factFrames, 10000u);
}

TEST(ParseWave, RefusesWhatItCannotUse) {
  auto check = [](const std::vector<uint8_t>& file, WaveError expected) {
    WaveError error;
    EXPECT_FALSE(parseWave(file, &error));
    EXPECT_EQ(error, expected);
  };
  auto good = riff({chunk("fmt ", kFormat), chunk("data", {1, 2})});
  auto notRiff = good;
  notRiff[0] = 'X';
  check(notRiff, WaveError::NotRiff);
  auto notWave = good;
  notWave[8] = 'A';
  check(notWave, WaveError::NotWave);
  check({'R', 'I', 'F', 'F', 4, 0}, WaveError::NotRiff);
  check(riff({chunk("fmt ", std::vector<uint8_t>(13, 1)), chunk("data", {1, 2})}), WaveError::ShortFormat);
  check(riff({chunk("fmt ", std::vector<uint8_t>(1025, 1)), chunk("data", {1, 2})}), WaveError::LongFormat);
  check(riff({chunk("data", {1, 2})}), WaveError::NoFormat);
  check(riff({chunk("fmt ", kFormat), chunk("data", {})}), WaveError::NoData);

  // Chunks past the RIFF length are not looked at.
  auto beyond = riff({chunk("fmt ", kFormat)});
  auto data = chunk("data", {1, 2});
  beyond.insert(beyond.end(), data.begin(), data.end());
  check(beyond, WaveError::NoData);

  // A format chunk cut short by the end of the file.
  auto cut = riff({chunk("fmt ", kFormat)});
  cut.resize(cut.size() - 4);
  check(cut, WaveError::ShortFormat);
}

TEST(ParseWave, DataCutShortByTheFileIsTakenAsFarAsItGoes) {
  auto file = riff({chunk("fmt ", kFormat), chunk("data", {1, 2, 3, 4, 5, 6, 7, 8})});
  file.resize(file.size() - 3);
  auto w = parseWave(file);
  ASSERT_TRUE(w);
  EXPECT_EQ(bytesOf(w->data), (std::vector<uint8_t>{1, 2, 3, 4, 5}));

  // A RIFF length far beyond the file, and a data length of 4 GiB - 1.
  file = riff({chunk("fmt ", kFormat), chunk("data", {1, 2, 3, 4})});
  storeU32(file.data() + 4, 0xFFFFFFFF);
  storeU32(file.data() + 40, 0xFFFFFFFF);
  w = parseWave(file);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->data.size(), 4u);
}

TEST(ParseWave, HostileBytesStayInsideTheFile) {
  // Mutated headers and lengths: every answer must come without reading outside the bytes
  // (the sanitizer build checks), and any data found lies inside them.
  auto base = riff({chunk("fmt ", kFormat), chunk("fact", {1, 0, 0, 0}), chunk("data", std::vector<uint8_t>(64, 9))});
  std::mt19937 rng(7);
  for (int round = 0; round < 5000; ++round) {
    auto file = base;
    for (int k = 0; k < 3; ++k) file[rng() % file.size()] = static_cast<uint8_t>(rng());
    if (round % 3 == 0) file.resize(rng() % file.size());
    auto w = parseWave(file);
    if (!w) continue;
    EXPECT_GE(w->data.data(), file.data());
    EXPECT_LE(w->data.data() + w->data.size(), file.data() + file.size());
    EXPECT_GE(w->format.size(), 14u);
  }
}

TEST(BuildWave, WritesWhatParseWaveReads) {
  std::vector<uint8_t> format = {2, 0, 1, 0, 0x22, 0x56, 0, 0, 0, 0, 0, 0, 0, 1, 4};  // odd length
  std::vector<uint8_t> data = {5, 6, 7};
  auto file = buildWave(format, data, 1234u);
  auto w = parseWave(file);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->format, format);
  EXPECT_EQ(bytesOf(w->data), data);
  EXPECT_EQ(w->factFrames, 1234u);
  EXPECT_EQ(file.size() % 2, 0u);
  EXPECT_EQ(loadU32(file.data() + 4), file.size() - 8);
}

}  // namespace
}  // namespace sorel
