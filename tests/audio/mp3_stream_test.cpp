#include "engine/audio/mp3_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "converter/mlz_writer.h"
#include "engine/resources/mlz_archive.h"
#include "mp3_maker.h"

namespace sorel {
namespace {

using namespace sorel::testing;

/// Everything a stream delivers without loop, in reads of `step` bytes.
std::vector<uint8_t> readAll(Mp3Stream& s, size_t step = 4096) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(step);
  for (int guard = 0; guard < 100000; ++guard) {
    size_t n = s.read(buf.data(), step, false);
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(n));
    if (n < step) break;
  }
  return out;
}

std::vector<uint8_t> decodeAll(const std::vector<uint8_t>& mp3, size_t step = 4096) {
  Mp3Stream s;
  if (!s.openMemory(mp3)) return {};
  return readAll(s, step);
}

class Mp3StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loadBuiltDecoder());
    stereo = encodeMp3(sine(440, 12000, 22050, 44100, 2, true), 2, 44100, 128);
    plain = decodeAll(stereo);
    ASSERT_FALSE(plain.empty());
  }
  void TearDown() override { unloadDecoderModule(); }
  std::vector<uint8_t> stereo;  // half a second, 44100 Hz stereo
  std::vector<uint8_t> plain;   // its PCM
};

TEST_F(Mp3StreamTest, DecodesEveryFrameInTheStreamsFormat) {
  Mp3Stream s;
  ASSERT_TRUE(s.openMemory(stereo));
  EXPECT_EQ(s.channels(), 2);
  EXPECT_EQ(s.rate(), 44100);
  EXPECT_EQ(s.bytesPerSecond(), 176400);
  EXPECT_EQ(s.estimate(), (stereo.size() * 8 / 128 / 1000 + 1) * 176400);
  EXPECT_EQ(s.durationMs(), stereo.size() * 8 / 128);
  auto pcm = readAll(s, 10000);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.frameBytes(), 1152u * 4);
  // Whole frames: 22050 frames of input plus the encoder's padding, 1152 samples each.
  EXPECT_EQ(pcm.size() % (1152 * 4), 0u);
  EXPECT_GE(pcm.size(), 22050u * 4);
  EXPECT_EQ(pcm, plain);
  EXPECT_EQ(s.read(pcm.data(), 100, false), 0u);
}

TEST_F(Mp3StreamTest, ARequestSmallerThanAFrameIsServedFromTheCarryOver) {
  Mp3Stream s;
  ASSERT_TRUE(s.openMemory(stereo));
  std::vector<uint8_t> a(100), b(100);
  ASSERT_EQ(s.read(a.data(), 100, false), 100u);
  EXPECT_EQ(s.carryBytes(), 1152u * 4 - 100);
  ASSERT_EQ(s.read(b.data(), 100, false), 100u);
  EXPECT_EQ(s.carryBytes(), 1152u * 4 - 200);
  EXPECT_EQ(std::memcmp(a.data(), plain.data(), 100), 0);
  EXPECT_EQ(std::memcmp(b.data(), plain.data() + 100, 100), 0);
  // Odd-sized reads across frame boundaries give the same bytes as one pass.
  EXPECT_EQ(decodeAll(stereo, 333), plain);
}

TEST_F(Mp3StreamTest, SkipsTagsAtBothEnds) {
  // ID3v2 with the size bytes 00 00 02 01: 257 bytes of tag behind the 10-byte header. Its body
  // holds a frame header that must never be decoded.
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x02, 0x01};
  tagged.resize(10 + 257, 0);
  tagged[20] = 0xFF;
  tagged[21] = 0xFB;
  tagged[22] = 0x90;
  tagged.insert(tagged.end(), stereo.begin(), stereo.end());
  // An ID3v1 block at the end, after a final frame cut in half.
  size_t cut = stereo.size() - 200;
  tagged.resize(10 + 257 + cut);
  std::vector<uint8_t> v1(128, ' ');
  std::memcpy(v1.data(), "TAG", 3);
  tagged.insert(tagged.end(), v1.begin(), v1.end());

  Mp3Stream s;
  ASSERT_TRUE(s.openMemory(tagged));
  EXPECT_EQ(s.startOffset(), 267u);
  EXPECT_EQ(s.endOffset(), tagged.size() - 128);
  auto pcm = readAll(s);
  // Everything but the cut last frame decodes as without tags.
  ASSERT_EQ(pcm.size(), plain.size() - 1152 * 4);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), plain.begin()));
}

TEST_F(Mp3StreamTest, ALoopingStreamRestartsAtTheFirstFrameAfterTheTag) {
  std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x02, 0x01};
  tagged.resize(10 + 257, 0x55);
  tagged.insert(tagged.end(), stereo.begin(), stereo.end());
  Mp3Stream s;
  ASSERT_TRUE(s.openMemory(tagged));
  std::vector<uint8_t> looped(plain.size() * 2 + 1000);
  ASSERT_EQ(s.read(looped.data(), looped.size(), true), looped.size());
  EXPECT_FALSE(s.ended());
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), looped.begin()));
  // The decoder's filter memory carries over the restart, so the first frames of the second
  // pass may differ slightly; from the third frame on it is the same sound again, to within the
  // rounding of the decoder library's floating-point synthesis (one step on some processors).
  size_t skip = 2 * 1152 * 4;
  int worst = 0;
  for (size_t i = skip; i + 1 < plain.size(); i += 2) {
    auto sample = [](const std::vector<uint8_t>& v, size_t at) { return int16_t(v[at] | v[at + 1] << 8); };
    worst = std::max(worst, std::abs(sample(plain, i) - sample(looped, plain.size() + i)));
  }
  EXPECT_LE(worst, 1);
}

TEST_F(Mp3StreamTest, AFrameThatDecodesToNothingIsSkipped) {
  // LAME's Info frame is a valid frame header around metadata: it decodes to no samples.
  auto withInfo = encodeMp3(sine(440, 12000, 22050, 44100, 2, true), 2, 44100, 128, true);
  ASSERT_GT(withInfo.size(), stereo.size());
  ASSERT_EQ(std::memcmp(withInfo.data() + 36, "Info", 4), 0);  // behind the 32-byte side info
  Mp3Stream s;
  ASSERT_TRUE(s.openMemory(withInfo));
  EXPECT_EQ(readAll(s), plain);
  // And looping over it does not stall.
  std::vector<uint8_t> looped(plain.size() * 3);
  ASSERT_TRUE(s.openMemory(withInfo));
  EXPECT_EQ(s.read(looped.data(), looped.size(), true), looped.size());
}

TEST_F(Mp3StreamTest, MappedFilesAndMemoryDecodeAlike) {
  auto folder = testFolder("stream_file");
  ASSERT_TRUE(writeFile(folder / "a.mp3", stereo));
  Mp3Stream s;
  ASSERT_TRUE(s.openFile(systemFolder(folder) + "a.mp3"));
  EXPECT_EQ(readAll(s), plain);
  s.close();
  EXPECT_FALSE(s.isOpen());
  EXPECT_FALSE(s.openFile(systemFolder(folder) + "missing.mp3"));
}

TEST_F(Mp3StreamTest, SourcesComeFromArchivesOrFiles) {
  auto folder = testFolder("stream_sources");
  std::string sys = systemFolder(folder);
  ASSERT_TRUE(writeFile(folder / "se01.mp3", stereo));
  MlzWriter w;
  ASSERT_TRUE(w.open(sys + "voice.mlz", 2));
  ASSERT_TRUE(w.add("0001.mp3", stereo, false));
  ASSERT_TRUE(w.add("0002.mp3", stereo, true));
  ASSERT_TRUE(w.close());

  Mp3Stream s;
  MlzArchive archive;
  ASSERT_TRUE(openSoundSource(s, "0001.mp3", sys + "voice.mlz", &archive, false));
  EXPECT_EQ(readAll(s), plain);
  ASSERT_TRUE(openSoundSource(s, "0002.MP3", sys + "voice.mlz", nullptr, false));
  EXPECT_EQ(readAll(s), plain);
  EXPECT_FALSE(openSoundSource(s, "0003.mp3", sys + "voice.mlz", &archive, false));
  EXPECT_FALSE(openSoundSource(s, "0001.mp3", sys + "missing.mlz", &archive, false));
  ASSERT_TRUE(openSoundSource(s, "se01.mp3", sys, nullptr, false));
  EXPECT_EQ(readAll(s), plain);
  ASSERT_TRUE(openSoundSource(s, "se01.mp3", sys, nullptr, true));
  EXPECT_EQ(readAll(s), plain);
  EXPECT_FALSE(openSoundSource(s, "se02.mp3", sys, nullptr, true));
  EXPECT_FALSE(openSoundSource(s, "se02.mp3", sys, nullptr, false));
}

TEST_F(Mp3StreamTest, NothingOpensWithoutTheDecoderModule) {
  unloadDecoderModule();
  Mp3Stream s;
  EXPECT_FALSE(s.openMemory(stereo));
}

TEST_F(Mp3StreamTest, AStreamOpenBeforeTheModuleIsUnloadedStillReadsAndCloses) {
  Mp3Stream s;
  ASSERT_TRUE(s.openMemory(stereo));
  unloadDecoderModule();
  EXPECT_EQ(decoderModule(), nullptr);
  EXPECT_EQ(readAll(s), plain);
  s.close();
  Mp3Stream late;
  EXPECT_FALSE(late.openMemory(stereo));
  // Loading again binds afresh while an older stream still holds the first module.
  ASSERT_TRUE(loadBuiltDecoder());
  ASSERT_TRUE(s.openMemory(stereo));
  ASSERT_TRUE(loadBuiltDecoder());
  EXPECT_EQ(readAll(s), plain);
}

TEST_F(Mp3StreamTest, BadInputEndsOrNeverStarts) {
  Mp3Stream s;
  std::vector<uint8_t> buf(50000);
  EXPECT_FALSE(s.openMemory({}));
  EXPECT_FALSE(s.openMemory(std::vector<uint8_t>(4096, 0)));  // zeros: no frame header
  // A tag size past the end of the file.
  std::vector<uint8_t> longTag = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
  longTag.insert(longTag.end(), stereo.begin(), stereo.end());
  EXPECT_FALSE(s.openMemory(longTag));
  // A tag that ends exactly two bytes before the end leaves no whole header.
  std::vector<uint8_t> shortRest = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 2, 0xFF, 0xFB};
  EXPECT_FALSE(s.openMemory(shortRest));

  // One frame cut short, looping: no frame ever decodes, and the stream ends instead of
  // spinning.
  std::vector<uint8_t> oneCut(stereo.begin(), stereo.begin() + 300);
  ASSERT_TRUE(s.openMemory(oneCut));
  EXPECT_EQ(s.read(buf.data(), buf.size(), true), 0u);
  EXPECT_TRUE(s.ended());

  // Truncated in the middle of a frame: the whole frames before play, then the stream ends.
  std::vector<uint8_t> truncated(stereo.begin(), stereo.begin() + static_cast<long>(stereo.size() / 2 + 100));
  ASSERT_TRUE(s.openMemory(truncated));
  auto pcm = readAll(s);
  EXPECT_TRUE(s.ended());
  EXPECT_GT(pcm.size(), 0u);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), plain.begin()));

  // A valid first header followed by garbage: whatever comes out, reading ends, looping or not.
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> junk(stereo.begin(), stereo.begin() + 4);
    for (int i = 0; i < 3000; ++i) junk.push_back(static_cast<uint8_t>(rng()));
    if (round % 2) std::memcpy(junk.data() + 417, stereo.data(), 4);  // a second header
    if (!s.openMemory(junk)) continue;
    s.read(buf.data(), buf.size(), false);
    EXPECT_TRUE(s.ended());
    ASSERT_TRUE(s.openMemory(junk));
    size_t n = s.read(buf.data(), buf.size(), true);
    EXPECT_TRUE(n == buf.size() || s.ended());
  }
}

}  // namespace
}  // namespace sorel
