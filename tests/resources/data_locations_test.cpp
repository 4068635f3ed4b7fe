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

}  // namespace
}  // namespace sorel
