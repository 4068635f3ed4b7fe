#include "platform/files.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/registry.h"
#include "tests/test_support.h"

namespace {

using sorel::test::scratchFolder;
using sorel::test::sys;

TEST(PlatformFiles, PathConversionNeverSplitsADoubleByteCharacter) {
  // "ソ\x" : the 0x5C inside ソ is not a separator, the one after it is.
  EXPECT_EQ(platform::hostPath("data\\\x83\x5C\\x.mlz"), "data/ソ/x.mlz");
  EXPECT_EQ(*platform::systemPath("data/ソ/x.mlz"), "data\\\x83\x5C\\x.mlz");
  EXPECT_EQ(platform::hostPath("\x81"), "");  // not CP932: no path at all
}

TEST(PlatformFiles, ReadAtHonoursTheOrigins) {
  auto dir = scratchFolder();
  std::string path = sys(dir / "f.bin");
  const char text[] = "0123456789";
  ASSERT_EQ(platform::writeAt(path, text, platform::kSeekStart, 0, 10, true), 10u);
  char buf[4] = {};
  EXPECT_EQ(platform::readAt(path, buf, platform::kSeekStart, 2, 3), 3u);
  EXPECT_EQ(std::string(buf, 3), "234");
  EXPECT_EQ(platform::readAt(path, buf, platform::kSeekEnd, -2, 4), 2u);
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(platform::readAt(path, buf, 7, 5, 2), 2u);  // unknown origin: no move
  EXPECT_EQ(std::string(buf, 2), "01");
  EXPECT_EQ(platform::readAt(sys(dir / "missing"), buf, 0, 0, 2), 0u);
  EXPECT_EQ(platform::fileSize(path), 10);
  EXPECT_EQ(platform::fileSize(sys(dir / "missing")), -1);
  EXPECT_TRUE(platform::fileExists(sys(dir)));  // folders count
  EXPECT_EQ(platform::fileSize(sys(dir)), -1);  // but have no size
}

TEST(PlatformFiles, WholeFileWritesReplaceAtomically) {
  auto dir = scratchFolder();
  std::string path = sys(dir / "\xE3\x83\x86.dat");  // a UTF-8 name is fine here: bytes pass through
  std::string japanese = sys(dir) + "\\\x83\x5C.dat";  // ソ.dat
  std::vector<uint8_t> a(1000, 1), b(10, 2);
  ASSERT_TRUE(platform::writeWholeFile(japanese, a));
  ASSERT_TRUE(platform::writeWholeFile(japanese, b));
  auto got = platform::readWholeFile(japanese, 3);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->size(), 13u);
  EXPECT_TRUE(std::equal(b.begin(), b.end(), got->begin()));
  EXPECT_EQ((*got)[10], 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "ソ.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir / "ソ.dat.part"));
  // A folder that does not exist: nothing written, failure reported.
  EXPECT_FALSE(platform::writeWholeFile(sys(dir / "no" / "x"), b));
  (void)path;
}

TEST(PlatformFiles, UncommittedOutputLeavesNothingBehind) {
  auto dir = scratchFolder();
  std::string path = sys(dir / "out.bin");
  {
    platform::OutputFile f;
    ASSERT_TRUE(f.create(path));
    ASSERT_TRUE(f.write("abc", 3));
    EXPECT_TRUE(std::filesystem::exists(dir / "out.bin.part"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out.bin.part"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));

  platform::OutputFile f;
  ASSERT_TRUE(f.create(path));
  ASSERT_TRUE(f.write("abcdef", 6));
  ASSERT_TRUE(f.writeAt(1, "XY", 2));
  EXPECT_EQ(f.size(), 6u);
  ASSERT_TRUE(f.commit());
  auto got = platform::readWholeFile(path);
  EXPECT_EQ(std::string(got->begin(), got->end()), "aXYdef");
}

TEST(PlatformFiles, FoldersAreCreatedAndListed) {
  auto dir = scratchFolder();
  std::string nested = sys(dir / "a" / "b" / "c");
  EXPECT_TRUE(platform::createFolders(nested));
  EXPECT_TRUE(platform::isFolder(nested));
  EXPECT_TRUE(platform::createFolder(nested));  // already there: still success
  platform::writeWholeFile(sys(dir / "a" / "z.txt"), sorel::test::bytesOf("z"));
  auto names = platform::listFolder(sys(dir / "a"));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "b");
  EXPECT_EQ(names[1], "z.txt");
}

// Names asked for in one letter case find the entry written in another, folder by folder; a
// name that exists as asked is taken as it is, and ソ's trail byte is never a letter or a
// separator.
TEST(PlatformFiles, ExistingPathIgnoresAsciiLetterCase) {
  auto dir = scratchFolder();
  std::filesystem::create_directories(dir / "Data" / "BGM");
  for (const char* name : {"Data/BGM/BGM01.MP3", "Data/BGM/bgm02.mp3", "Data/BGM/BGM02.mp3", "Data/ソ.MLZ"})
    ASSERT_TRUE(std::ofstream(dir / name) << "x");
  const std::string root = sys(dir) + "\\";
  struct Case {
    const char* asked;
    const char* found;
  } const cases[] = {
      {"data\\bgm\\bgm01.mp3", "Data\\BGM\\BGM01.MP3"},
      {"DATA\\bgm\\", "Data\\BGM\\"},
      {"data\\bgm\\BGM02.MP3", "Data\\BGM\\BGM02.mp3"},  // of two, the first in byte order
      {"Data\\BGM\\bgm02.mp3", "Data\\BGM\\bgm02.mp3"},  // as asked when it exists
      {"data\\\x83\x5C.mlz", "Data\\\x83\x5C.MLZ"},
      {"data\\bgm\\bgm03.mp3", "data\\bgm\\bgm03.mp3"},  // nothing matches: as asked
  };
  for (const Case& c : cases) EXPECT_EQ(platform::existingPath(root + c.asked), root + c.found) << c.asked;
}

TEST(PlatformFiles, UserDataFolderFollowsXdgDataHome) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_DATA_HOME", "/x/data", 1);
  EXPECT_EQ(platform::userDataFolder(), "/x/data/sorel");
  setenv("XDG_DATA_HOME", "", 1);  // empty counts as unset
  EXPECT_EQ(platform::userDataFolder(), home + "/.local/share/sorel");
  if (old) setenv("XDG_DATA_HOME", saved.c_str(), 1); else unsetenv("XDG_DATA_HOME");
}

TEST(PlatformClock, VirtualClockMovesOnlyWhenTold) {
  platform::setClockMode(platform::ClockMode::Virtual, 1000);
  EXPECT_EQ(platform::tickCount(), 1000u);
  platform::sleepMs(2);
  EXPECT_EQ(platform::tickCount(), 1000u);
  platform::advanceVirtualClock(16);
  EXPECT_EQ(platform::tickCount(), 1016u);
  platform::setClockMode(platform::ClockMode::Real);
  uint32_t a = platform::tickCount();
  platform::sleepMs(5);
  EXPECT_GE(platform::tickCount() - a, 5u);
}

TEST(PlatformRegistry, ValuesSurviveAndKeysIgnoreCase) {
  auto dir = scratchFolder();
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  EXPECT_FALSE(platform::registryGetString("Software\\ORBA\\Lumenwish", "DIRECTORY"));
  ASSERT_TRUE(platform::registrySetString("Software\\ORBA\\Lumenwish", "DIRECTORY", "\\game\\\x83\x5C\\"));
  ASSERT_TRUE(platform::registrySetString("Software\\Other", "DIRECTORY", "other"));
  ASSERT_TRUE(platform::registrySetString("software\\orba\\lumenwish", "Extra", "x=y"));
  auto v = platform::registryGetString("SOFTWARE\\ORBA\\LUMENWISH", "directory");
  ASSERT_TRUE(v);
  EXPECT_EQ(*v, "\\game\\\x83\x5C\\");
  EXPECT_EQ(*platform::registryGetString("Software\\ORBA\\Lumenwish", "Extra"), "x=y");
  EXPECT_EQ(*platform::registryGetString("Software\\Other", "DIRECTORY"), "other");
  ASSERT_TRUE(platform::registrySetString("Software\\ORBA\\Lumenwish", "DIRECTORY", "new"));
  EXPECT_EQ(*platform::registryGetString("Software\\ORBA\\Lumenwish", "DIRECTORY"), "new");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
