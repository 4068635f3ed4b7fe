#include "converter/mlz_writer.h"

#include <cstring>

#include <gtest/gtest.h>

#include "converter/lzss_encoder.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/lzss_decoder.h"
#include "engine/resources/mlz_archive.h"
#include "tests/test_support.h"

namespace sorel {
namespace {

std::vector<uint8_t> roundTrip(const std::vector<uint8_t>& input) {
  std::vector<uint8_t> stream = encodeLzss(input);
  std::vector<uint8_t> out(input.size());
  UnpackResult r = unpackMember(out, stream);
  EXPECT_TRUE(r.complete);
  return out;
}

// Text-like and picture-like data: what archives mostly hold.
std::vector<uint8_t> mixedData(size_t n) {
  std::vector<uint8_t> out;
  const char* words[] = {"message ", "window ", "\x82\xA0\x82\xA2 ", "sprite ", "voice ", "0123 "};
  uint32_t x = 7;
  while (out.size() < n / 2) {
    x = x * 1103515245 + 12345;
    const char* w = words[(x >> 16) % 6];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  for (size_t i = 0; out.size() < n; ++i) out.push_back(static_cast<uint8_t>((i / 7) ^ (i % 640 / 3)));
  return out;
}

// Picture rows and scenario text; the expected stream was produced by the classic byte-by-byte
// tree encoder, so any speed work on the match finder must keep this exact hash.
std::vector<uint8_t> goldenInput() {
  std::vector<uint8_t> out;
  uint32_t x = 2024;
  for (int y = 0; y < 120; ++y)
    for (int i = 0; i < 320; ++i) {
      x = x * 1664525 + 1013904223;
      int v = ((i / 9) ^ (y / 5)) + ((x >> 29) & 1);
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 3));
    }
  const char* words[] = {"\x82\xA0\x82\xA2", "MESSAGE", "@v0012", "\x81\x42", "BG01.bmp", " "};
  while (out.size() < 150000) {
    x = x * 1664525 + 1013904223;
    const char* w = words[(x >> 24) % 6];
    while (*w) out.push_back(static_cast<uint8_t>(*w++));
    if ((x & 0xFF) < 8) out.push_back(static_cast<uint8_t>(x >> 8));
  }
  return out;
}

uint64_t fnv1a(const std::vector<uint8_t>& v) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : v) {
    h ^= b;
    h *= 1099511628211ull;
  }
  return h;
}

TEST(LzssEncoder, PinnedOutput) {
  std::vector<uint8_t> s = encodeLzss(goldenInput());
  EXPECT_EQ(s.size(), 32626u);
  EXPECT_EQ(fnv1a(s), 0x2ab81aeee5ac8f5dull);
}

// More shapes of data pinned to the classic encoder's bytes: noise (every item a literal, the
// trees shallow), a flat 24-bit picture with rare changes (long references, many full-length
// matches replacing nodes), and text repeating at short and long distances (deep trees).
TEST(LzssEncoder, PinnedOutputOfOtherShapes) {
  struct Case {
    const char* what;
    std::vector<uint8_t> input;
    size_t size;
    uint64_t hash;
  };
  std::vector<uint8_t> flat, repeats;
  uint32_t x = 77;
  for (int i = 0; i < 40000; ++i) {
    x = x * 1664525 + 1013904223;
    uint8_t colour[3] = {static_cast<uint8_t>(i / 3000), 0x40, static_cast<uint8_t>((x >> 28) == 0 ? x >> 8 : 0x80)};
    flat.insert(flat.end(), colour, colour + 3);
  }
  while (repeats.size() < 60000) {
    x = x * 1664525 + 1013904223;
    size_t back = 1 + (x >> 8) % 2000;
    if (repeats.size() > back + 40 && (x & 7) != 0) {
      size_t from = repeats.size() - back, n = 3 + (x >> 20) % 30;
      for (size_t k = 0; k < n; ++k) repeats.push_back(repeats[from + k]);
    } else {
      repeats.push_back(static_cast<uint8_t>('a' + (x >> 27)));
    }
  }
  const Case cases[] = {
      {"noise", test::noise(50000, 9), 56063, 0x5eb66306dd88783aull},
      {"flat picture", flat, 19475, 0xa47a7de3207d0112ull},
      {"repeats", repeats, 11680, 0x8b069b038486f95cull},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> s = encodeLzss(c.input);
    EXPECT_EQ(s.size(), c.size) << c.what;
    EXPECT_EQ(fnv1a(s), c.hash) << c.what;
    EXPECT_EQ(roundTrip(c.input), c.input) << c.what;
  }
}

TEST(LzssEncoder, SmallestCases) {
  EXPECT_TRUE(encodeLzss(std::vector<uint8_t>{}).empty());
  EXPECT_EQ(encodeLzss(std::vector<uint8_t>{0x42}), (std::vector<uint8_t>{0x01, 0x42}));
  // Two equal bytes are too short to find each other (the match would reach past the input).
  EXPECT_EQ(encodeLzss(std::vector<uint8_t>{'a', 'a'}), (std::vector<uint8_t>{0x03, 'a', 'a'}));
}

TEST(LzssEncoder, LeadingZerosReferToTheZeroedRing) {
  std::vector<uint8_t> zeros(40, 0);
  std::vector<uint8_t> s = encodeLzss(zeros);
  ASSERT_GE(s.size(), 3u);
  EXPECT_EQ(s[0] & 1, 0);  // the first item is a reference
  unsigned position = s[1] | ((s[2] & 0xF0u) << 4);
  EXPECT_LT(position, 2031u);
  EXPECT_EQ((s[2] & 0x0F) + 2, 17);
  EXPECT_EQ(roundTrip(zeros), zeros);
}

TEST(LzssEncoder, RoundTripsAndIsDeterministic) {
  for (size_t n : {1u, 17u, 18u, 2047u, 2048u, 2049u, 70000u}) {
    auto mixed = mixedData(n);
    EXPECT_EQ(roundTrip(mixed), mixed) << n;
    auto rnd = test::noise(n, static_cast<uint32_t>(n));
    EXPECT_EQ(roundTrip(rnd), rnd) << n;
    EXPECT_LE(encodeLzss(rnd).size(), n * 9 / 8 + 1);
  }
  auto data = mixedData(100000);
  EXPECT_EQ(encodeLzss(data), encodeLzss(data));
  EXPECT_LT(encodeLzss(data).size(), data.size() / 2);
  std::vector<uint8_t> run(5000, 'x');
  EXPECT_EQ(roundTrip(run), run);
}

TEST(MlzWriter, WritesTheLayoutTheReaderExpects) {
  auto dir = test::scratchFolder();
  std::string path = test::sys(dir / "out.mlz");
  auto text = mixedData(3000);
  MlzWriter w;
  ASSERT_TRUE(w.open(path, 4));
  ASSERT_TRUE(w.add("Script.txt", text, true));
  ASSERT_TRUE(w.add("voice.mp3", test::bytesOf("ID3stored"), false));
  ASSERT_TRUE(w.add("empty", {}, true));
  // A name of 70 bytes is cut to 63 and never splits a double-byte character.
  std::string longName = std::string(62, 'n') + "\x82\xA0" + "xxxxxx";
  ASSERT_TRUE(w.add(longName, test::bytesOf("z"), true));
  EXPECT_FALSE(w.add("fifth", test::bytesOf("z"), true));
  ASSERT_TRUE(w.close());

  auto file = *platform::readWholeFile(path);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RLZ2");
  EXPECT_EQ(loadU32(&file[4]), 4u);
  EXPECT_EQ(loadU32(&file[8]), file.size());
  EXPECT_EQ(loadU32(&file[12]), 0u);
  const uint8_t* e0 = &file[16];
  EXPECT_EQ(loadU32(e0 + 68), 3000u);
  EXPECT_EQ(loadU32(e0 + 72), 1u);
  EXPECT_EQ(loadU32(e0 + 76), 0u);
  const uint8_t* e1 = e0 + 84;
  EXPECT_EQ(loadU32(e1 + 72), 0u);
  EXPECT_EQ(loadU32(e1 + 76), loadU32(e0 + 64));  // offsets run on from the end of the directory
  const uint8_t* e2 = e1 + 84;
  EXPECT_EQ(loadU32(e2 + 64), 0u);                  // an empty member: nothing stored
  EXPECT_EQ(loadU32(e2 + 76), loadU32(e1 + 76) + loadU32(e1 + 64));

  MlzArchive a;
  EXPECT_EQ(*a.extract(path, "script.TXT"), text);
  EXPECT_EQ(*a.extract(path, "voice.mp3"), test::bytesOf("ID3stored"));
  ASSERT_TRUE(a.loadIndex(path));
  EXPECT_EQ(a.entry(3).name, std::string(62, 'n'));
}

TEST(MlzWriter, AnInterruptedArchiveNeverAppearsUnderItsName) {
  auto dir = test::scratchFolder();
  std::string path = test::sys(dir / "cut.mlz");
  {
    MlzWriter w;
    ASSERT_TRUE(w.open(path, 2));
    ASSERT_TRUE(w.add("a", test::bytesOf("abc"), true));
    // While being written, the placeholder header says total size 0.
    auto part = platform::readWholeFile(path + ".part");
    ASSERT_TRUE(part);
    EXPECT_EQ(loadU32(&(*part)[8]), 0u);
  }  // destroyed without close
  EXPECT_FALSE(platform::fileExists(path));
  EXPECT_FALSE(platform::fileExists(path + ".part"));
}

}  // namespace
}  // namespace sorel
