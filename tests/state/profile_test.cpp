#include "engine/state/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"

namespace sorel {
namespace {

/// A byte string literal with its NUL bytes.
template <size_t N>
std::string bin(const char (&s)[N]) {
  return std::string(s, N - 1);
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearProfile();
    std::string host = std::string(SOREL_TEST_TMP) + "/profile_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg";
    path = *platform::systemPath(host);
    platform::removeFile(path);
  }
  void TearDown() override { clearProfile(); }

  void writeFile(std::string_view bytes) {
    std::vector<uint8_t> b(bytes.begin(), bytes.end());
    ASSERT_TRUE(platform::writeWholeFile(path, b, false));
  }
  std::string readFile() {
    auto b = platform::readWholeFile(path);
    return b ? std::string(b->begin(), b->end()) : std::string("<missing>");
  }

  std::string path;
};

TEST_F(ProfileTest, SectionsAndKeysIgnoreCaseSpacesAndQuotes) {
  writeFile("[ message_config ]\r\nmessage_speed=2\r\n[SYSTEM_CONFIG]\r\n\"KEY CEN\" = 0x10\r\n"
            "NAME=  \"a b\"  c \r\n");
  EXPECT_EQ(getProfileInt("MESSAGE_CONFIG", "MESSAGE_SPEED", 1, path), 2);
  EXPECT_EQ(getProfileInt("system_config", "KEY CEN", 0, path), 16);
  std::string out;
  size_t length = getProfileString("SYSTEM_CONFIG", "NAME", "x", out, 127, path);
  EXPECT_EQ(length, out.size());
  EXPECT_EQ(out, "  a b  c ");
  // The key belongs to a section: the same key elsewhere does not count.
  EXPECT_EQ(getProfileInt("OTHER", "MESSAGE_SPEED", 7, path), 7);
}

TEST_F(ProfileTest, MissingEmptyOrNonNumericValuesGiveTheDefault) {
  writeFile("[S]\r\nEMPTY=\r\nWORD=abc\r\nNEG=-5\r\nLONG=0123456789\r\n");
  EXPECT_EQ(getProfileInt("S", "EMPTY", 9, path), 9);
  EXPECT_EQ(getProfileInt("S", "WORD", 9, path), 9);
  EXPECT_EQ(getProfileInt("S", "NEG", 9, path), -5);
  EXPECT_EQ(getProfileInt("S", "ABSENT", 9, path), 9);
  std::string out;
  getProfileString("S", "LONG", "dflt", out, 5, path);
  EXPECT_EQ(out, "dflt");  // longer than the caller allows
  getProfileString("S", "EMPTY", "dflt", out, 5, path);
  EXPECT_EQ(out, "dflt");
}

TEST_F(ProfileTest, NewKeysGoBelowTheSectionLineInReverseOrder) {
  writeProfileString("A", "ONE", "1", path);
  writeProfileString("A", "TWO", "2", path);
  writeProfileString("B", "THREE", "3", path);
  writeProfileString("A", "one", "10", path);  // replaces, keeping the first spelling's place
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(readFile(), "[A]\r\nTWO=2\r\none=10\r\n[B]\r\nTHREE=3\r\n");
}

TEST_F(ProfileTest, RewriteKeepsUnknownLinesAndLinesOutsideSections) {
  writeFile("; comment\r\nloose=1\r\n\r\n[A]\r\nUNKNOWN = keep me\r\nX=1\r\n[B]\r\nY=2");
  writeProfileString("A", "X", "5", path);
  writeProfileString("B", "Z", "9", path);
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(readFile(),
            "; comment\r\nloose=1\r\n\r\n[A]\r\nUNKNOWN = keep me\r\nX=5\r\n[B]\r\nZ=9\r\nY=2\r\n");
}

TEST_F(ProfileTest, AnEntryIsSearchedOnlyUpToTheNextSection) {
  writeFile("[A]\r\n[B]\r\nK=1\r\n");
  writeProfileString("A", "K", "2", path);
  EXPECT_EQ(getProfileInt("B", "K", 0, path), 1);
  EXPECT_EQ(getProfileInt("A", "K", 0, path), 2);
}

TEST_F(ProfileTest, LinesEndingInLfOrLoneCrAreSplitWithoutLosingBytes) {
  writeFile("[A]\nK=1\rL=2\r\nM=3");
  EXPECT_EQ(getProfileInt("A", "K", 0, path), 1);
  EXPECT_EQ(getProfileInt("A", "L", 0, path), 2);
  EXPECT_EQ(getProfileInt("A", "M", 0, path), 3);
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(readFile(), "[A]\r\nK=1\r\nL=2\r\nM=3\r\n");
}

TEST_F(ProfileTest, OverlongLinesAreReadCutButWrittenBackWhole) {
  std::string longValue(600, 'v');
  // A double-byte character straddling byte 543 is dropped whole from what is read.
  const std::string k = "K=" + std::string(538, 'x') + "\x82\xa0\x82\xa0\x82\xa0";
  writeFile("[A]\r\n" + k + "\r\nN=4\r\n");
  std::string value;
  getProfileString("A", "K", "", value, 1000, path);
  EXPECT_EQ(value.size(), 540u);  // 538 + one character; the second would end at byte 544
  EXPECT_EQ(getProfileInt("A", "N", 0, path), 4);
  writeProfileString("A", "N", "5", path);
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(readFile(), "[A]\r\n" + k + "\r\nN=5\r\n") << "the long line survives the next exit";
  writeProfileString("A", "BIG", longValue, path);
  for (const auto& l : profileLines())
    EXPECT_TRUE(l.rfind("BIG=", 0) != 0 || l.size() <= kProfileLineMax) << "what the engine writes is cut";
}

TEST_F(ProfileTest, GarbageBytesAreToleratedAndKept) {
  std::string garbage = bin("[A]\r\nK=7\r\n\x00\xff\xfe\x81\r\n\x82");
  writeFile(garbage);
  EXPECT_EQ(getProfileInt("A", "K", 0, path), 7);
  writeProfileString("A", "K", "8", path);
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(readFile(), bin("[A]\r\nK=8\r\n\x00\xff\xfe\x81\r\n\x82\r\n"));
}

TEST_F(ProfileTest, AFileOverTheLimitKeepsItsTailAcrossEdits) {
  // Lines past the limit are not looked at, but every byte of them is written back.
  std::string head = "[A]\r\nK=0\r\n";
  std::string big = head;
  while (big.size() < kProfileFileMax + 5000) big += std::string(100, 'g') + "\r\n";
  std::string tail = "[B]\r\nLATE=5\n" + std::string(700, 'x') + "\rend";
  big += tail;
  writeFile(big);
  EXPECT_EQ(getProfileInt("B", "LATE", -1, path), -1);
  writeProfileString("A", "K", "1", path);
  writeProfileString("C", "NEW", "2", path);
  ASSERT_TRUE(flushProfile());
  std::string back = readFile();
  EXPECT_EQ(back.size(), big.size() + std::string("[C]\r\nNEW=2\r\n").size());
  EXPECT_EQ(back.substr(back.size() - tail.size()), tail);
  // The new section comes first: after the last line taken in it would lie past the limit at
  // the next start, unread, and be added once more at every run.
  const std::string added = "[C]\r\nNEW=2\r\n";
  ASSERT_EQ(back.substr(0, added.size()), added);
  const std::string expected = added + "[A]\r\nK=1" + big.substr(head.size() - 2);
  EXPECT_EQ(back.size(), expected.size());
  EXPECT_TRUE(back == expected);  // (not printed: 130 KB)
  // Read again, the new value is found, and another run adds nothing.
  clearProfile();
  EXPECT_EQ(getProfileInt("C", "NEW", -1, path), 2);
  writeProfileString("C", "NEW", "2", path);
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(readFile().size(), expected.size());
}

TEST_F(ProfileTest, OnlyOneFileIsCachedAndClearForgetsWithoutWriting) {
  writeProfileString("A", "K", "1", path);
  std::string other = path + ".other";
  EXPECT_EQ(getProfileInt("A", "K", 0, other), 0);  // drops the first file unwritten
  EXPECT_EQ(readFile(), "<missing>");
  writeProfileString("A", "K", "1", path);
  clearProfile();
  EXPECT_FALSE(flushProfile());
  EXPECT_EQ(readFile(), "<missing>");
}

}  // namespace
}  // namespace sorel
