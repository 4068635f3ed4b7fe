#include "engine/resources/mlz_archive.h"

#include <gtest/gtest.h>

#include "engine/resources/byte_io.h"
#include "engine/resources/lzss_decoder.h"
#include "platform/files.h"
#include "tests/test_support.h"

namespace sorel {
namespace {

struct Member {
  std::string name;
  std::vector<uint8_t> stored;
  uint32_t method = 0;
  uint32_t unpacked = 0;  // 0: the stored size
};

// Builds an archive image by hand, field by field, so the reader is tested against the layout
// rather than against our own writer.
std::vector<uint8_t> buildMlz(const std::vector<Member>& members, char digit = '2') {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.bytes(std::vector<uint8_t>{'R', 'L', 'Z', static_cast<uint8_t>(digit)});
  w.u32(static_cast<uint32_t>(members.size()));
  w.u32(0);  // total size: not trusted by the reader
  w.u32(0);
  uint32_t offset = 0;
  for (const Member& m : members) {
    w.fixedText(m.name, 64);
    w.u32(static_cast<uint32_t>(m.stored.size()));
    w.u32(m.unpacked ? m.unpacked : static_cast<uint32_t>(m.stored.size()));
    w.u32(m.method);
    w.u32(offset);
    w.u32(0);
    offset += static_cast<uint32_t>(m.stored.size());
  }
  for (const Member& m : members) w.bytes(m.stored);
  return out;
}

std::string writeArchive(const std::filesystem::path& dir, const std::string& file,
                         const std::vector<uint8_t>& bytes) {
  std::string path = test::sys(dir / file);
  EXPECT_TRUE(platform::writeWholeFile(path, bytes));
  return path;
}

std::vector<uint8_t> unpack(std::vector<uint8_t> stream, size_t size) {
  std::vector<uint8_t> out(size, 0xEE);
  UnpackResult r = unpackMember(out, stream);
  out.resize(r.produced);
  return out;
}

TEST(LzssDecoder, ReferenceLengthsAndTheZeroedRing) {
  // Flag 0x00: a reference. Position 0 (b0 = 0, b1 high nibble 0), length nibble 3 → 5 bytes,
  // read from the zero-filled ring.
  EXPECT_EQ(unpack({0x00, 0x00, 0x03}, 5), std::vector<uint8_t>(5, 0));
  // Nibble 0 copies 2 bytes, nibble 15 copies 17.
  EXPECT_EQ(unpack({0x00, 0x00, 0x00}, 2).size(), 2u);
  EXPECT_EQ(unpack({0x00, 0x00, 0x0F}, 17).size(), 17u);
  // A literal 'a', then a reference to ring position 2031 (0x7EF: b0 0xEF, b1 0x70 | 2) of 4
  // bytes: the copy reads the bytes it has just written.
  EXPECT_EQ(unpack({0x01, 'a', 0xEF, 0x72}, 5), std::vector<uint8_t>(5, 'a'));
}

TEST(LzssDecoder, GroupsTakeFlagBitsFromTheLowEnd) {
  // Flags 0b00000101: literal, reference, literal.
  std::vector<uint8_t> got = unpack({0x05, 'x', 0xEF, 0x70, 'y'}, 4);
  EXPECT_EQ(std::string(got.begin(), got.end()), "xxxy");
}

TEST(LzssDecoder, NeverWritesPastTheOutputOrReadsPastTheInput) {
  std::vector<uint8_t> out(3, 0xEE);
  // A 17-byte reference into a 3-byte output copies the three bytes that fit and ends there.
  UnpackResult r = unpackMember(out, std::vector<uint8_t>{0x00, 0x00, 0x0F});
  EXPECT_FALSE(r.complete);
  EXPECT_TRUE(r.overran);
  EXPECT_EQ(r.produced, 3u);
  EXPECT_EQ(out, std::vector<uint8_t>(3, 0));
  // A reference cut after its first byte.
  r = unpackMember(out, std::vector<uint8_t>{0x00, 0x00});
  EXPECT_FALSE(r.complete);
  // Long random garbage into a small buffer: bounded, and the sanitizers watch the rest.
  auto garbage = test::noise(5000);
  std::vector<uint8_t> small(100);
  r = unpackMember(small, garbage);
  EXPECT_LE(r.produced, 100u);
}

TEST(MlzArchive, OpensBothFormatDigitsAndNothingElse) {
  auto dir = test::scratchFolder();
  Member m{"a.txt", test::bytesOf("hello")};
  MlzArchive a;
  EXPECT_TRUE(a.loadIndex(writeArchive(dir, "two.mlz", buildMlz({m}, '2'))));
  EXPECT_TRUE(a.loadIndex(writeArchive(dir, "three.mlz", buildMlz({m}, '3'))));
  EXPECT_FALSE(a.loadIndex(writeArchive(dir, "one.mlz", buildMlz({m}, '1'))));
  EXPECT_FALSE(a.loadIndex(writeArchive(dir, "four.mlz", buildMlz({m}, '4'))));
  EXPECT_FALSE(a.loadIndex(writeArchive(dir, "empty.mlz", {})));
  EXPECT_FALSE(a.loadIndex(test::sys(dir / "missing.mlz")));
  // A failed load keeps what was loaded before.
  EXPECT_EQ(a.cachedPath(), test::sys(dir / "three.mlz"));
  EXPECT_EQ(a.memberCount(), 1u);

  std::string none = writeArchive(dir, "none.mlz", buildMlz({}));
  EXPECT_TRUE(a.loadIndex(none));
  EXPECT_FALSE(a.extract(none, "a.txt"));
}

TEST(MlzArchive, ExtractFindsTheFirstMatchIgnoringCase) {
  auto dir = test::scratchFolder();
  std::string path = writeArchive(dir, "t.mlz", buildMlz({
      {"StandInfo.DAT", test::bytesOf("first")},
      {"standinfo.dat", test::bytesOf("second")},
      {"\x83\x5C.txt", test::bytesOf("so")},
      // A stored member whose unpacked-size field differs is still returned as stored.
      {"odd.bin", test::bytesOf("raw"), 7, 99},
      // An LZSS member: literal 'a' and a 4-byte self-referencing copy.
      {"packed.bin", {0x01, 'a', 0xEF, 0x72}, 1, 5},
  }));
  MlzArchive a;
  uint32_t size = 0;
  auto got = a.extract(path, "STANDINFO.DAT", &size);
  ASSERT_TRUE(got);
  EXPECT_EQ(std::string(got->begin(), got->end()), "first");
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(a.extract(path, "\x83\x5C.TXT"));
  EXPECT_FALSE(a.extract(path, "\x83\x7C.txt"));  // double-byte characters match exactly
  got = a.extract(path, "odd.bin", &size);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->size(), 3u);
  EXPECT_EQ(size, 99u);
  got = a.extract(path, "packed.bin");
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, std::vector<uint8_t>(5, 'a'));
  EXPECT_FALSE(a.extract(path, "absent"));
}

// The member is what the stream produces until its packed bytes are used up, cut to the
// unpacked size; never refused for ending early or late.
TEST(MlzArchive, LzssMembersDecodeToTheEndOfTheirBytesAndAreCutToSize) {
  struct Case {
    const char* what;
    std::vector<uint8_t> stream;
    uint32_t unpacked;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      // flags 0x01: literal 'a'; then a reference to ring position 2031 (b0 0xEF, b1 0x70 | 2)
      // of 4 bytes. Five bytes produced, three kept.
      {"overrun cut to size", {0x01, 'a', 0xEF, 0x72}, 3, {'a', 'a', 'a'}},
      // A literal past the size is dropped likewise: flags 0x03, literals 'x' 'y'.
      {"literal past the size", {0x03, 'x', 'y'}, 1, {'x'}},
      // flags 0x01: literal 'a', then nothing: the other nine bytes stay zero.
      {"short stream zero-filled", {0x01, 'a'}, 10, {'a', 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // flags 0x01: literal 'a'; item 1 is a reference with only its first byte (0xEF): ignored.
      {"half a reference", {0x01, 'a', 0xEF}, 2, {'a', 0}},
      // flags 0x00: a reference to position 0 (zeros) of 17 bytes into a 4-byte member.
      {"reference into the zeroed ring", {0x00, 0x00, 0x0F}, 4, {0, 0, 0, 0}},
  };
  auto dir = test::scratchFolder();
  for (const Case& c : cases) {
    std::string path = writeArchive(dir, "fidelity.mlz", buildMlz({{"m", c.stream, 1, c.unpacked}}));
    MlzArchive a;
    uint32_t size = 0;
    auto got = a.extract(path, "m", &size);
    ASSERT_TRUE(got) << c.what;
    EXPECT_EQ(*got, c.expected) << c.what;
    EXPECT_EQ(size, c.unpacked) << c.what;
  }
}

TEST(MlzArchive, SwitchingArchivesReloadsTheDirectory) {
  auto dir = test::scratchFolder();
  std::string pa = writeArchive(dir, "a.mlz", buildMlz({{"x", test::bytesOf("A1")}}));
  std::string pb = writeArchive(dir, "b.mlz", buildMlz({{"x", test::bytesOf("B")}}));
  MlzArchive a;
  EXPECT_EQ(a.extract(pa, "x")->size(), 2u);
  EXPECT_EQ(a.extract(pb, "x")->size(), 1u);
  // The file changed on the card meanwhile: asking for A again reads its new directory.
  writeArchive(dir, "a.mlz", buildMlz({{"x", test::bytesOf("A222")}}));
  EXPECT_EQ(a.extract(pa, "x")->size(), 4u);
  // The same path again keeps the loaded directory (no re-read), unless forced.
  writeArchive(dir, "a.mlz", buildMlz({{"y", test::bytesOf("Z")}}));
  EXPECT_TRUE(a.extract(pa, "x") == std::nullopt);  // directory still says x, bytes moved: damaged
  EXPECT_TRUE(a.loadIndex(pa, true));
  EXPECT_TRUE(a.extract(pa, "y"));
}

TEST(MlzArchive, HostileArchivesAreRefused) {
  auto dir = test::scratchFolder();
  MlzArchive a;
  // Each refusal is told as damage: the archive's file, the member and why.
  std::vector<std::string> told;
  a.setDamageReporter([&](std::string_view path, std::string_view member, std::string_view what) {
    told.push_back(std::string(path.substr(path.rfind('\\') + 1)) + "|" + std::string(member) + "|" + std::string(what));
  });
  // A count far larger than the file.
  auto big = buildMlz({{"a", test::bytesOf("a")}});
  storeU32(big.data() + 4, 0x7FFFFFFF);
  EXPECT_FALSE(a.loadIndex(writeArchive(dir, "count.mlz", big)));
  // A member whose offset or size runs past the end of the file.
  auto past = buildMlz({{"a", test::bytesOf("abc")}});
  storeU32(past.data() + 16 + 76, 1000);  // offset
  std::string p1 = writeArchive(dir, "offset.mlz", past);
  EXPECT_FALSE(a.extract(p1, "a"));
  past = buildMlz({{"a", test::bytesOf("abc")}});
  storeU32(past.data() + 16 + 64, 0xFFFFFFF0);  // packed size
  EXPECT_FALSE(a.extract(writeArchive(dir, "size.mlz", past), "a"));
  // An LZSS member claiming an absurd unpacked size is refused before anything is allocated.
  EXPECT_FALSE(a.extract(writeArchive(dir, "huge.mlz", buildMlz({{"a", {0x01, 'a'}, 1, 0xFFFFFFFF}})), "a"));
  // A member name filling all 64 bytes without a NUL is read within its field.
  auto noNul = buildMlz({{"a", test::bytesOf("x")}});
  std::fill(noNul.begin() + 16, noNul.begin() + 16 + 64, 'N');
  ASSERT_TRUE(a.loadIndex(writeArchive(dir, "nonul.mlz", noNul)));
  EXPECT_EQ(a.entry(0).name, std::string(64, 'N'));
  // A missing archive or member, and a stream that fills its member exactly, are no damage; a
  // stream that runs short is.
  EXPECT_FALSE(a.extract(test::sys(dir / "absent.mlz"), "a"));
  EXPECT_FALSE(a.extract(p1, "absent"));
  EXPECT_TRUE(a.extract(writeArchive(dir, "exact.mlz", buildMlz({{"a", {0x01, 'a'}, 1, 1}})), "a"));
  EXPECT_TRUE(a.extract(writeArchive(dir, "short.mlz", buildMlz({{"a", {0x01, 'a'}, 1, 5}})), "a"));
  EXPECT_EQ(told, (std::vector<std::string>{"count.mlz||its directory runs past its end",
                                            "offset.mlz|a|its bytes lie past the end of the archive",
                                            "size.mlz|a|its bytes lie past the end of the archive",
                                            "huge.mlz|a|it claims an implausible size",
                                            "short.mlz|a|its packed data does not fill it exactly"}));
}

}  // namespace
}  // namespace sorel
