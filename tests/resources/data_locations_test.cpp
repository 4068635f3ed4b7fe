#include "engine/resources/data_locations.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/test_support.h"

namespace sorel {
namespace {

TEST(DataLocations, PathsHangBelowTheProgramFolder) {
  DataPaths p = makeDataPaths("\\Storage Card\\Game\\");
  EXPECT_EQ(p.scriptArchivePath, "\\Storage Card\\Game\\data\\Script.mlz");
  EXPECT_EQ(p.pictureArchivePath, "\\Storage Card\\Game\\data\\bg.mlz");
  EXPECT_EQ(p.voiceArchivePath, "\\Storage Card\\Game\\data\\voice.mlz");
  EXPECT_EQ(p.musicFolder, "\\Storage Card\\Game\\data\\bgm\\");
  EXPECT_EQ(p.soundFolder, "\\Storage Card\\Game\\data\\se\\");
  EXPECT_EQ(p.movieFolder, "\\Storage Card\\Game\\data\\jmv\\");
  EXPECT_EQ(p.systemSoundFolder, "\\Storage Card\\Game\\data\\sys\\");
  EXPECT_EQ(p.saveFolder, "\\Storage Card\\Game\\data\\save\\");
  EXPECT_EQ(p.tableArchivePath(), "\\Storage Card\\Game\\data\\Table.mlz");
  EXPECT_EQ(p.configPath(), "\\Storage Card\\Game\\sorel.cfg");
}

TEST(DataLocations, ProgramFolderIsCutAtTheLastRealBackslash) {
  EXPECT_EQ(folderOf("\\Storage Card\\Game\\player.exe"), "\\Storage Card\\Game\\");
  EXPECT_EQ(folderOf("\\Game\x83\x5C\\player.exe"), "\\Game\x83\x5C\\");
  EXPECT_EQ(folderOf("\\Game\x83\x5C"), "\\");  // the ソ's trail byte is no separator
  EXPECT_EQ(folderOf("player.exe"), "player.exe");

  auto dir = test::scratchFolder();
  std::string root = resolveProgramFolder(dir.string());
  EXPECT_EQ(root, test::sys(std::filesystem::canonical(dir)) + "\\");
  std::string own = resolveProgramFolder();
  EXPECT_FALSE(own.empty());
  EXPECT_EQ(own.back(), '\\');
}

TEST(DataLocations, ArchiveNamesAndSlots) {
  EXPECT_EQ(archiveFileName("bg", true), "bg_vga.mlz");
  EXPECT_EQ(archiveFileName("bg.mlz", true), "bg_vga.mlz");
  EXPECT_EQ(archiveFileName("bg", false), "bg.mlz");
  EXPECT_EQ(archiveFileName("bg.mlz", false), "bg.mlz");
  EXPECT_EQ(archiveFileName("pics.dat", true), "pics_vga.mlz");
  EXPECT_EQ(archiveFileName("pics.dat", false), "pics.dat");

  PictureArchives vga(true);
  EXPECT_EQ(vga.name(2), "Stand_vga.mlz");
  EXPECT_EQ(vga.archiveSlot("Stand"), 2);
  EXPECT_EQ(vga.archiveSlot("system"), 3);
  EXPECT_EQ(vga.archiveSlot("Thumbnail.mlz"), 4);
  EXPECT_EQ(vga.archiveSlot("Unknown"), 0);
  EXPECT_TRUE(vga.name(6).empty());
  PictureArchives normal(false);
  EXPECT_EQ(normal.name(5), "Visual.mlz");
  EXPECT_EQ(normal.archiveSlot("Visual"), 5);

  EXPECT_EQ(picturePath("\\G\\data\\bg.mlz", "Stand", true), "\\G\\data\\Stand_vga.mlz");
  EXPECT_EQ(picturePath("\\G\\data\\bg.mlz", "Unknown", true), "\\G\\data\\Unknown_vga.mlz");
  EXPECT_EQ(picturePath("\\G.x\\data\\bg.mlz", "Face", false), "\\G.x\\data\\Face.mlz");
}

TEST(DataLocations, SaveFolderIsCreatedOnce) {
  auto dir = test::scratchFolder();
  DataPaths p = makeDataPaths(test::sys(dir) + "\\");
  ASSERT_TRUE(platform::createFolder(test::sys(dir / "data")));
  createSaveFolder(p);
  EXPECT_TRUE(platform::isFolder(test::sys(dir / "data" / "save")));
  createSaveFolder(p);  // already there: nothing happens
  EXPECT_TRUE(platform::isFolder(test::sys(dir / "data" / "save")));
}

// The start-up diagnosis of a data folder: each case builds a folder and names the key words
// its lines must carry (an empty list: the folder is playable and nothing is said).
TEST(DataLocations, CheckDataFolderSaysWhatIsWrong) {
  // The smallest valid archive: "RLZ2", no members, total size 16.
  const std::vector<uint8_t> emptyArchive = {'R', 'L', 'Z', '2', 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<std::string> normal = {"Script.mlz", "Table.mlz",     "voice.mlz",  "bg.mlz",
                                           "Face.mlz",   "Stand.mlz",     "System.mlz", "Thumbnail.mlz",
                                           "Visual.mlz"};
  std::vector<std::string> vgaSet = normal;
  for (size_t i = 3; i < vgaSet.size(); ++i) vgaSet[i] = archiveFileName(vgaSet[i], true);
  struct Case {
    const char* what;
    bool vga;
    bool dataFolder;
    std::vector<std::string> files;
    std::vector<std::string> broken;  // present but not archives
    std::vector<std::vector<std::string>> lines;  // key words per expected line
    std::vector<std::string> soundFolders = {"bgm", "se", "sys"};
  };
  const std::vector<Case> cases = {
      {"no data folder", true, false, {}, {}, {{"no data folder at", "/data", "convSorel", "--root"}}},
      {"complete normal set", false, true, normal, {}, {}},
      {"complete VGA set", true, true, vgaSet, {}, {}},
      {"normal set for the VGA player", true, true, normal, {},
       {{"320 × 240", "bg.mlz", "needs", "bg_vga.mlz", "--size 640"}}},
      {"VGA set for the normal player", false, true, vgaSet, {},
       {{"640 × 480", "bg_vga.mlz", "needs", "--size 320"}}},
      {"missing script and a picture archive", false, true,
       {"Table.mlz", "voice.mlz", "bg.mlz", "Stand.mlz", "System.mlz", "Thumbnail.mlz", "Visual.mlz"}, {},
       {{"missing in", "Script.mlz", "Face.mlz", "convSorel"}}},
      {"damaged table archive, no voices", false, true,
       {"Script.mlz", "bg.mlz", "Face.mlz", "Stand.mlz", "System.mlz", "Thumbnail.mlz", "Visual.mlz"},
       {"Table.mlz"},
       {{"cannot read", "Table.mlz", "damaged"}, {"voice.mlz", "without voices"}}},
      {"no music folders", false, true, normal, {},
       {{"no bgm, se folders in", "without music and sound effects", "--no-music"}}, {"sys"}},
      {"no system voices", false, true, normal, {}, {{"no sys folder in", "without system voices"}}, {"bgm", "se"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto dir = test::scratchFolder();
    if (c.dataFolder) std::filesystem::create_directories(dir / "data");
    for (const auto& folder : c.soundFolders)
      if (c.dataFolder) std::filesystem::create_directories(dir / "data" / folder);
    for (const auto& f : c.files) ASSERT_TRUE(platform::writeWholeFile(test::sys(dir / "data" / f), emptyArchive));
    for (const auto& f : c.broken)
      ASSERT_TRUE(platform::writeWholeFile(test::sys(dir / "data" / f), test::bytesOf("not an archive")));
    auto lines = checkDataFolder(makeDataPaths(test::sys(dir) + "\\"), c.vga, "player");
    ASSERT_EQ(lines.size(), c.lines.size()) << (lines.empty() ? "" : lines[0]);
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind("player: ", 0), 0u) << lines[i];
      for (const auto& word : c.lines[i]) EXPECT_NE(lines[i].find(word), std::string::npos) << lines[i] << " / " << word;
    }
  }
}

}  // namespace
}  // namespace sorel
