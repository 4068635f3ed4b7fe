#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

// "ソ" is 0x83 0x5C in CP932: its trail byte is the backslash byte.
const std::string kSo = "\x83\x5C";
const std::string kScenarioName = "01-01(\x93\xB1\x93\xFC).bin";  // 01-01(導入).bin
const std::string kMsGothic = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック

TEST(PlatformText, Cp932RoundTripsTheSystemsNames) {
  for (const std::string& s : {kSo, kScenarioName, kMsGothic, std::string("plain\\path.mlz")}) {
    auto utf8 = platform::cp932ToUtf8(s);
    ASSERT_TRUE(utf8);
    auto back = platform::utf8ToCp932(*utf8);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, s);
  }
  EXPECT_EQ(*platform::cp932ToUtf8(kScenarioName), "01-01(導入).bin");
  EXPECT_EQ(*platform::cp932ToUtf8(kMsGothic), "ＭＳ ゴシック");
  // The backslash stays a backslash (a plain Shift-JIS table would make it a yen sign).
  EXPECT_EQ(*platform::cp932ToUtf8("a\\b"), "a\\b");
}

TEST(PlatformText, WaveDashFormsMapToOneCode) {
  EXPECT_EQ(*platform::utf8ToCp932("\u301C"), "\x81\x60");
  EXPECT_EQ(*platform::utf8ToCp932("\uFF5E"), "\x81\x60");
}

TEST(PlatformText, InvalidInputIsReportedOrReplaced) {
  EXPECT_FALSE(platform::cp932ToUtf8("\x81"));       // lead byte without its trail
  EXPECT_FALSE(platform::utf8ToCp932("\xF0\x9F\x98\x80"));  // an emoji has no CP932 form
  EXPECT_EQ(platform::cp932ToUtf8Lossy("a\x81"), "a\xEF\xBF\xBD");
}

TEST(PlatformText, WideForms) {
  auto u32 = platform::cp932ToUtf32(kSo + "A");
  ASSERT_TRUE(u32);
  EXPECT_EQ(*u32, U"\u30BDA");
  auto u16 = platform::cp932ToUtf16(kMsGothic);
  ASSERT_TRUE(u16);
  EXPECT_EQ(*u16, u"ＭＳ ゴシック");
}

}  // namespace
