#include "engine/resources/sjis_text.h"

#include <gtest/gtest.h>

namespace sorel {
namespace {

// ソ (0x83 0x5C) ends in the backslash byte; Ａ is 0x82 0x60 and ａ 0x82 0x81.
const std::string kSo = "\x83\x5C";

TEST(SjisText, LastCharOfSkipsTrailBytes) {
  EXPECT_EQ(lastCharOf("a\\b\\c", '\\'), 3u);
  EXPECT_FALSE(lastCharOf("abc", '\\'));
  // The last folder name ends in ソ: its 0x5C must not be taken for the separator.
  std::string path = "\\Card\\Game" + kSo;
  EXPECT_EQ(lastCharOf(path, '\\'), 5u);
  EXPECT_EQ(lastCharOf("x.y" + kSo + ".z", '.'), 5u);
  EXPECT_EQ(lastCharOf(std::string("ab\0.c", 5), '.'), std::nullopt);  // ends at the NUL
  // A folder ending in ソ has no separator yet; one ending in a backslash of its own has.
  EXPECT_FALSE(endsInBackslash(path));
  EXPECT_EQ(withBackslash(path), path + "\\");
  EXPECT_EQ(withBackslash(path + "\\"), path + "\\");
  EXPECT_EQ(withBackslash(""), "");
}

TEST(SjisText, SameNameIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(sameName("Bg.MLZ", "bg.mlz"));
  EXPECT_TRUE(sameName("STANDINFO.DAT", "StandInfo.DAT"));
  EXPECT_FALSE(sameName("bg.mlz", "bg.mlz2"));
  EXPECT_FALSE(sameName("\x82\x60", "\x82\x81"));      // Ａ vs ａ: full-width case matters
  EXPECT_FALSE(sameName("\x83\x41", "\x83\x61"));      // trail bytes that look like A / a
  EXPECT_TRUE(sameName(kSo + "X", kSo + "x"));
  EXPECT_FALSE(sameName("[", "{"));                    // only letters fold
  EXPECT_TRUE(sameNamePrefix("Alice_01.bmp", "ALICE_02.bmp", 5));
  EXPECT_FALSE(sameNamePrefix("Alic", "Alice", 5));
}

TEST(SjisText, ExtensionsAreFoundOutsideDoubleByteCharacters) {
  EXPECT_EQ(extensionOf("Title.bmp"), ".bmp");
  EXPECT_EQ(extensionOf("noext"), "");
  EXPECT_EQ(replaceExtension("Title.bmp", ".rbp"), "Title.rbp");
  EXPECT_EQ(replaceExtension("se01", ".mp3"), "se01.mp3");
  EXPECT_EQ(replaceExtension("a.b.wav", ".mp3"), "a.b.mp3");
}

TEST(SjisText, FullWidthTable) {
  std::string out;
  EXPECT_EQ(toFullWidth(out, "A1-"), 3);
  EXPECT_EQ(out, "\x82\x60\x82\x50\x81\x51");  // Ａ１＿ (the hyphen becomes the low line)
  EXPECT_EQ(toFullWidth("\"'\\~ "), "\x81\x68\x81\x66\x81\x8F\x81\x50\x81\x40");  // ”’￥￣　
  EXPECT_EQ(toFullWidth(kSo + "\xB1"), kSo + "\xB1");  // double-byte and half-width kana kept
}

TEST(SjisText, CopyTokenHonoursQuotesAndSqueeze) {
  std::string out;
  EXPECT_EQ(copyToken("key = value", out, "=", false), 4u);
  EXPECT_EQ(out, "key ");
  EXPECT_EQ(copyToken("k e\ty=1", out, "=", true), 5u);
  EXPECT_EQ(out, "key");
  EXPECT_EQ(copyToken("\"a = b\"=c", out, "=", true), 7u);
  EXPECT_EQ(out, "a = b");
  EXPECT_EQ(copyToken("\"open = end", out, "=", false), 11u);
  EXPECT_EQ(out, "open = end");
  EXPECT_EQ(copyToken("a\r\nb", out, "", true), 4u);
  EXPECT_EQ(out, "ab");
  // A trail byte equal to a delimiter does not end the token.
  EXPECT_EQ(copyToken(kSo + "\\x", out, "\\", false), 2u);
  EXPECT_EQ(out, kSo);
}

TEST(SjisText, ParseInt) {
  EXPECT_EQ(parseInt("12"), 12);
  EXPECT_EQ(parseInt("-5"), -5);
  EXPECT_EQ(parseInt("+7"), 7);
  EXPECT_EQ(parseInt("0x1F"), 31);
  EXPECT_EQ(parseInt("0xffffff"), 0xFFFFFF);
  EXPECT_EQ(parseInt("0xFFFFFFFF"), -1);
  EXPECT_EQ(parseInt("  42  "), 42);
  EXPECT_EQ(parseInt("3abc"), 3);
  int32_t v = 9;
  EXPECT_FALSE(parseInt("abc", v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(parseInt("", v));
  EXPECT_FALSE(parseInt("0x", v));
}

}  // namespace
}  // namespace sorel
