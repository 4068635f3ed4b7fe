#include "converter/pac_archive.h"

#include <gtest/gtest.h>

#include "converter/update_list.h"
#include "engine/resources/byte_io.h"
#include "platform/files.h"
#include "tests/test_support.h"

namespace sorel {
namespace {

struct PacMember {
  std::string name;
  std::vector<uint8_t> packed;
  uint32_t unpacked;
};

// A .pac image built field by field: 12-byte header, 76-byte entries with absolute offsets.
std::vector<uint8_t> buildPac(uint32_t method, const std::vector<PacMember>& members) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.u32(0x31434150);  // a first word the reader ignores
  w.u32(static_cast<uint32_t>(members.size()));
  w.u32(method);
  uint32_t offset = 12 + 76 * static_cast<uint32_t>(members.size());
  for (const PacMember& m : members) {
    w.fixedText(m.name, 64);
    w.u32(offset);
    w.u32(m.unpacked);
    w.u32(static_cast<uint32_t>(m.packed.size()));
    offset += static_cast<uint32_t>(m.packed.size());
  }
  for (const PacMember& m : members) w.bytes(m.packed);
  return out;
}

// MSB-first bit writer for hand-made Huffman streams.
struct Bits {
  std::vector<uint8_t> bytes;
  int used = 8;
  void put(unsigned bit) {
    if (used == 8) {
      bytes.push_back(0);
      used = 0;
    }
    if (bit) bytes.back() |= static_cast<uint8_t>(0x80 >> used);
    ++used;
  }
  void put(unsigned value, int n) {
    for (int i = n - 1; i >= 0; --i) put((value >> i) & 1);
  }
};

std::string write(const std::filesystem::path& dir, const std::string& name, const std::vector<uint8_t>& b) {
  std::string p = test::sys(dir / name);
  EXPECT_TRUE(platform::writeWholeFile(p, b));
  return p;
}

TEST(PacLzss, LengthsAndRingPositions) {
  std::vector<uint8_t> out(3);
  // One reference to ring position 0 with length nibble 0: three zeros.
  EXPECT_TRUE(decodePacLzss(out, std::vector<uint8_t>{0x00, 0x00, 0x00}));
  out.assign(18, 1);
  EXPECT_TRUE(decodePacLzss(out, std::vector<uint8_t>{0x00, 0x00, 0x0F}));
  EXPECT_EQ(out, std::vector<uint8_t>(18, 0));
  // 'q', then a reference to position 4078 (0xFEE: b0 0xEE, b1 0xF0 | n) of 3: "qqqq".
  out.assign(4, 0);
  EXPECT_TRUE(decodePacLzss(out, std::vector<uint8_t>{0x01, 'q', 0xEE, 0xF0}));
  EXPECT_EQ(std::string(out.begin(), out.end()), "qqqq");
  // The count of bytes produced is returned, whatever the buffer's size; a stream that would
  // write past the buffer is refused.
  out.assign(5, 0);
  EXPECT_EQ(decodePacLzss(out, std::vector<uint8_t>{0x01, 'q', 0xEE, 0xF0}), 4u);
  out.assign(2, 0);
  EXPECT_FALSE(decodePacLzss(out, std::vector<uint8_t>{0x01, 'q', 0xEE, 0xF0}));
}

TEST(PacHuffman, TreeThenSymbols) {
  // Tree: inner(leaf 'a', inner(leaf 'b', leaf 'c')). Codes: a=0, b=10, c=11.
  Bits b;
  b.put(1);
  b.put(0);
  b.put('a', 8);
  b.put(1);
  b.put(0);
  b.put('b', 8);
  b.put(0);
  b.put('c', 8);
  for (char c : std::string("abcab")) {
    if (c == 'a') b.put(0);
    if (c == 'b') b.put(2, 2);
    if (c == 'c') b.put(3, 2);
  }
  std::vector<uint8_t> out(5);
  ASSERT_TRUE(decodePacHuffman(out, b.bytes));
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcab");
  // Asking for more symbols than the stream holds: the last byte's three zero bits give 'a's,
  // then every bit past the end reads as 1, which is 'c'.
  std::vector<uint8_t> longer(40);
  ASSERT_TRUE(decodePacHuffman(longer, b.bytes));
  EXPECT_EQ(std::string(longer.begin(), longer.end()), "abcabaaa" + std::string(32, 'c'));
}

TEST(PacHuffman, SingleLeafTreeAndOversizedTrees) {
  Bits one;
  one.put(0);
  one.put('z', 8);
  std::vector<uint8_t> out(4);
  ASSERT_TRUE(decodePacHuffman(out, one.bytes));
  EXPECT_EQ(std::string(out.begin(), out.end()), "zzzz");
  // A stream of all ones asks for inner node after inner node: more than 255 makes it invalid.
  std::vector<uint8_t> ones(200, 0xFF);
  EXPECT_FALSE(decodePacHuffman(out, ones));
  EXPECT_FALSE(decodePacHuffman(out, std::vector<uint8_t>{}));
}

TEST(PacArchive, ReadsEveryMethod) {
  auto dir = test::scratchFolder();
  PacArchive pac;
  ASSERT_TRUE(pac.open(write(dir, "stored.pac", buildPac(0, {{"A.BMP", test::bytesOf("xyz"), 3}}))));
  EXPECT_EQ(pac.memberCount(), 1u);
  EXPECT_EQ(pac.find("a.bmp"), 0u);
  EXPECT_EQ(*pac.readMember(0), test::bytesOf("xyz"));

  ASSERT_TRUE(pac.open(write(dir, "lzss.pac", buildPac(1, {{"a", {0x01, 'q', 0xEE, 0xF0}, 4}}))));
  EXPECT_EQ(*pac.readMember(0), test::bytesOf("qqqq"));
  PacArchive inMemory;
  ASSERT_TRUE(inMemory.openImage(buildPac(1, {{"a", {0x01, 'q', 0xEE, 0xF0}, 4}})));
  EXPECT_EQ(*inMemory.readMember(0), test::bytesOf("qqqq"));

  Bits b;
  b.put(0);
  b.put('h', 8);
  ASSERT_TRUE(pac.open(write(dir, "huff.pac", buildPac(7, {{"a", b.bytes, 3}}))));
  EXPECT_EQ(*pac.readMember(0), test::bytesOf("hhh"));

  ASSERT_TRUE(pac.open(write(dir, "empty.pac", buildPac(1, {}))));
  EXPECT_EQ(pac.memberCount(), 0u);
}

// Members as the game reads them: the unpacked size decides the member's length whatever the
// stream does; refused are streams that cannot be decoded within bounds and sizes the method
// cannot make of the packed bytes (a damaged size field).
TEST(PacArchive, MembersTakeTheirUnpackedSizeWhateverTheStream) {
  Bits tree;  // inner node (leaf 'a', leaf 'b'): code 0 is 'a', 1 is 'b'; no symbol bits follow
  tree.put(1);
  tree.put(0);
  tree.put('a', 8);
  tree.put(0);
  tree.put('b', 8);  // 19 bits: the third byte's five low bits are zero
  std::vector<uint8_t> overrunBytes;
  for (int k = 0; k < 3; ++k) {  // 3 groups of 8 references of 18 zeros: 432 bytes
    overrunBytes.push_back(0x00);
    for (int j = 0; j < 8; ++j) overrunBytes.insert(overrunBytes.end(), {0x00, 0x0F});
  }
  std::vector<uint8_t> nine = {0x00, 0x00, 0x0F, 0x00, 0x0F, 0x00, 0x0F, 0x00, 0x0F};  // 4 references: 72 bytes
  struct Case {
    const char* what;
    uint32_t method;
    std::vector<uint8_t> packed;
    uint32_t unpacked;
    std::optional<std::string> expected;  // none: refused for the reason below
    PacError refused = PacError::BadStream;
  };
  const Case cases[] = {
      // flags 0x01: literal 'q'; a reference to ring position 4078 (b0 0xEE, b1 0xF0 | 0) of 3.
      {"LZSS last group past the size is cut", 1, {0x01, 'q', 0xEE, 0xF0}, 2, "qq"},
      {"LZSS short stream leaves zeros", 1, {0x01, 'q', 0xEE, 0xF0}, 6, std::string("qqqq\0\0", 6)},
      // flags 0x01: literal 'q'; item 1 a reference with only its first byte: ignored.
      {"LZSS half a reference at the end", 1, {0x01, 'q', 0xEE}, 1, "q"},
      // 432 bytes produced for a 100-byte member: past the 256 spare bytes.
      {"LZSS past the spare room", 1, overrunBytes, 100, std::nullopt},
      {"LZSS within the spare room", 1, overrunBytes, 432 - 256, std::string(176, '\0')},
      // The five zero bits behind the tree hold five symbols of one bit at most.
      {"Huffman up to the bits stored", 2, tree.bytes, 5, "aaaaa"},
      {"Huffman past the bits stored", 2, tree.bytes, 6, std::nullopt, PacError::Damaged},
      {"stored, unpacked size smaller", 0, test::bytesOf("abcdef"), 3, "abc"},
      {"stored, unpacked size larger", 0, test::bytesOf("abc"), 5, std::nullopt, PacError::Damaged},
      // 9 bytes make at most 144 + 256: 400 MB from them is a damaged size, never allocated.
      {"LZSS within 144 per 17 bytes", 1, nine, 144 + 256, std::string(144 + 256, '\0')},
      {"LZSS 400 MB from 9 bytes", 1, nine, 400u << 20, std::nullopt, PacError::Damaged},
      {"LZSS one past the bound", 1, nine, 144 + 256 + 1, std::nullopt, PacError::Damaged},
  };
  auto dir = test::scratchFolder();
  for (const Case& c : cases) {
    PacArchive pac;
    ASSERT_TRUE(pac.open(write(dir, "fidelity.pac", buildPac(c.method, {{"m", c.packed, c.unpacked}}))));
    PacError err;
    auto got = pac.readMember(0, &err);
    if (!c.expected) {
      EXPECT_FALSE(got) << c.what;
      EXPECT_EQ(err, c.refused) << c.what;
      continue;
    }
    ASSERT_TRUE(got) << c.what;
    EXPECT_EQ(std::string(got->begin(), got->end()), *c.expected) << c.what;
  }
}

TEST(PacArchive, HostileArchivesNeverReadOutside) {
  auto dir = test::scratchFolder();
  PacArchive pac;
  PacError err;
  auto img = buildPac(0, {{"a", test::bytesOf("abc"), 3}});
  storeU32(img.data() + 4, 1000000);  // count far past the file
  EXPECT_FALSE(pac.open(write(dir, "count.pac", img)));
  EXPECT_FALSE(looksLikePac(img, img.size()));

  img = buildPac(0, {{"a", test::bytesOf("abc"), 3}});
  storeU32(img.data() + 12 + 64, 5000);  // offset past the end
  ASSERT_TRUE(pac.open(write(dir, "offset.pac", img)));
  EXPECT_FALSE(pac.readMember(0, &err));
  EXPECT_EQ(err, PacError::Truncated);
  EXPECT_FALSE(looksLikePac(img, img.size()));

  img = buildPac(1, {{"a", {0x01, 'q'}, 0xFFFFFF00}});  // absurd unpacked size
  ASSERT_TRUE(pac.open(write(dir, "huge.pac", img)));
  EXPECT_FALSE(pac.readMember(0, &err));

  img = buildPac(0, {{"a", test::bytesOf("abc"), 3}});
  std::fill(img.begin() + 12, img.begin() + 12 + 64, 'N');  // a name without its NUL
  EXPECT_FALSE(looksLikePac(img, img.size()));
  ASSERT_TRUE(pac.open(write(dir, "nonul.pac", img)));
  EXPECT_EQ(pac.entry(0).name.size(), 64u);

  EXPECT_FALSE(pac.open(write(dir, "short.pac", {1, 2, 3})));
  EXPECT_FALSE(pac.open(test::sys(dir / "missing.pac")));
}

TEST(UpdateList, UpdatesMatchIgnoringCaseAndKeepArchiveOrder) {
  auto dir = test::scratchFolder();
  UpdateList none;
  EXPECT_EQ(none.build(test::sys(dir)), 0u);
  write(dir, "Update.pac", buildPac(0, {{"01-01(X).BIN", test::bytesOf("new"), 3},
                                        {"01-01(x).bin", test::bytesOf("newer"), 5},
                                        {"02-01.bin", test::bytesOf("ab"), 9}}));
  UpdateList list;
  std::vector<UpdateProblem> problems;
  EXPECT_EQ(list.build(test::sys(dir) + "\\", &problems), 2u);
  ASSERT_EQ(problems.size(), 1u) << "the member that cannot be unpacked is named";
  EXPECT_EQ(problems[0].member, "02-01.bin");
  UpdateNode* n = list.findUpdate("01-01(x).bin");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->bytes, test::bytesOf("new"));
  EXPECT_FALSE(list.findUpdate("02-01(x).bin"));
}

}  // namespace
}  // namespace sorel
