#include "engine/resources/format.h"

#include <gtest/gtest.h>

namespace sorel {
namespace {

TEST(Format, ZeroPaddedNumbersKeepTheLowestDigits) {
  EXPECT_EQ(formatText("save%z3.dat", 1), "save001.dat");
  EXPECT_EQ(formatText("save%z3.dat", 1000), "save000.dat");
  EXPECT_EQ(formatText("%z2", 5), "05");
  EXPECT_EQ(formatText("%z2", 123), "23");
  EXPECT_EQ(formatText("%z4", 2005), "2005");
  EXPECT_EQ(formatText("%z", 77), "77");
  EXPECT_EQ(formatText("%z3", 0), "000");
  EXPECT_EQ(formatText("PUT_LIST_%z2", 14), "PUT_LIST_14");
}

TEST(Format, StatusLine) {
  EXPECT_EQ(formatText("[%z4-%z2-%z2 %z2:%z2][%d%c]", 2005, 11, 19, 23, 6, 85, '%'),
            "[2005-11-19 23:06][85%]");
}

TEST(Format, SignsAndWidths) {
  EXPECT_EQ(formatText("%d", -5), "5");
  EXPECT_EQ(formatText("%d+", -5), "-5");
  EXPECT_EQ(formatText("%d+", 5), "+5");
  EXPECT_EQ(formatText("%d-4", 5), "   5");
  EXPECT_EQ(formatText("%d-4", -5), "  -5");
  EXPECT_EQ(formatText("%d3", 7), "  7");
  EXPECT_EQ(formatText("%d3", 0), "  0");
  EXPECT_EQ(formatText("%d", 0), "0");
  EXPECT_EQ(formatText("%d+2", -12), "-12");  // no room in the width: the sign goes in front
  EXPECT_EQ(formatText("%u+4", 42u), "  42");
  EXPECT_EQ(formatText("%ld", 12), "12");
}

TEST(Format, HexOctalAndWideNumbers) {
  EXPECT_EQ(formatText("%x4", 0x1F), "001F");
  EXPECT_EQ(formatText("%X2", 0x1F), "\x82\x50\x82\x65");  // １Ｆ
  EXPECT_EQ(formatText("%o3", 8), "010");
  EXPECT_EQ(formatText("%t", uint64_t(10000000000ull)), "10000000000");
  EXPECT_EQ(formatText("%t12", uint64_t(5)), "           5");
  EXPECT_EQ(formatText("%D", 12), "\x82\x50\x82\x51");
}

TEST(Format, TextsAndTheRest) {
  EXPECT_EQ(formatText("%s3", "ab"), "ab ");
  EXPECT_EQ(formatText("%s3", "abcd"), "abc");
  EXPECT_EQ(formatText("%s", "x"), "x");
  // A width never splits a double-byte character.
  EXPECT_EQ(formatText("%s3", "\x82\xA0\x82\xA2"), "\x82\xA0 ");
  EXPECT_EQ(formatText("%S2", "ab"), "\x82\x81\x82\x82");
  EXPECT_EQ(formatText("%S3", "a"), "\x82\x81    ");
  EXPECT_EQ(formatText("100%%"), "100%");
  EXPECT_EQ(formatText("a%qb"), "ab");  // unknown letters produce nothing
  EXPECT_EQ(formatText("%d %d", 1), "1 0");  // a missing argument reads as 0
  EXPECT_EQ(formatText("%f.2", 3.14159), "3.14");
  EXPECT_EQ(formatText("%f+.1", 2.0), "+2.0");
}

TEST(Format, ContinueAppendsToTheTextAlreadyThere) {
  std::string out = "[A]";
  formatInto(out, "%r->[%s]", std::vector<FormatArg>{"B"});
  EXPECT_EQ(out, "[A]->[B]");
  out = "old text";
  formatInto(out, "new", {});
  EXPECT_EQ(out, "new");
}

}  // namespace
}  // namespace sorel
