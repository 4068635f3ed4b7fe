// The staff roll: the animation table read from the System archive of the data set, pieces shown
// from its records in animation slots, records and slots outside the table showing nothing, scene
// pictures in a slot, and everything freed at the end and when the story ends.
#include "engine/story/data_tables.h"
#include "engine/resources/byte_io.h"
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class StaffRoll : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    addPicture("Sheet.bmp", 512, 448);
    addPicture("V0.bmp", 640, 480);
    game->tables().setVisual(visualTable({{"V0.bmp", ""}}));
  }
  /// A System archive (the VGA one, as the 640 × 480 screen reads it) holding a table of n
  /// records: record k is source (16, 40 k), 480 × 32, anchor (240, 16).
  void writeTable(int records) {
    auto dir = std::filesystem::path(SOREL_TEST_TMP) / "StaffRoll";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    std::vector<uint8_t> ani(48 + 28 * size_t(records), 0);
    for (int k = 0; k < records; ++k) {
      uint8_t* r = ani.data() + 48 + 28 * k;
      const uint32_t fields[7] = {16, uint32_t(40 * k), 480 - 2, 32 - 2, 240, 16, 0};
      for (int f = 0; f < 7; ++f) storeU32(r + 4 * f, fields[f]);
    }
    ASSERT_TRUE(writeTestArchive(dir / "data" / "System_vga.mlz", {{"STAFFROLL.ANI", ani}}));
    paths = makeDataPaths(sys(dir) + "\\");
    makeGame();
    SetUp();
  }
  static std::string show(int slot, int kind, int index, int record, int x, int y) {
    std::string s;
    for (int v : {slot, kind, index, record, x, y}) s += "PUSH_INT " + std::to_string(v) + "\n";
    return s + "ANIM_SHOW\nCLEAR_STACK\n";
  }
};

TEST_F(StaffRoll, PiecesComeFromTheTableAndOnlyFromIt) {
  writeTable(3);
  run("PUSH_STRING \"Sheet.bmp\"\nPUSH_INT 0\nPUSH_INT 0\nSTAFFROLL_BEGIN\nCLEAR_STACK\n" + show(0, 1, 0, 2, 320, 200) +
      show(1, 1, 0, 3, 320, 260) + show(24, 1, 0, 0, 320, 260) + show(-1, 1, 0, 0, 0, 0) + "YIELD\n" +
      "PUSH_INT 0\nANIM_HIDE\nCLEAR_STACK\nYIELD\nSTAFFROLL_END\nYIELD\n");
  frame();
  EXPECT_EQ(screens->staffRollRecords(), 3u);
  EXPECT_TRUE(game->clearToGrey) << "the white background";
  ASSERT_NE(pictures.get(20), nullptr);
  const Sprite* piece = game->layers().get(40);
  ASSERT_NE(piece, nullptr);
  EXPECT_EQ(piece->src, (Rect{16, 80, 496, 112}));
  EXPECT_EQ(piece->x, 320);
  EXPECT_EQ(piece->anchorX, 240);
  EXPECT_EQ(piece->order, 20);
  EXPECT_FALSE(game->layers().exists(41)) << "record 3 is past the table";
  EXPECT_FALSE(game->layers().exists(64)) << "slot 24 is no animation slot";
  EXPECT_EQ(errorWord, 0u);
  frame();
  EXPECT_FALSE(game->layers().exists(40));
  frame();
  EXPECT_EQ(screens->staffRollRecords(), 0u);
  EXPECT_EQ(pictures.get(20), nullptr);
  EXPECT_FALSE(game->clearToGrey);
}

TEST_F(StaffRoll, WithoutATableNothingShowsAndScenePicturesStillDo) {
  run(show(0, 1, 0, 0, 320, 200) + show(2, 2, 0, 0, 0, 0) + "YIELD\nPUSH_INT 2\nANIM_HIDE\nYIELD\n");
  frame();
  EXPECT_FALSE(game->layers().exists(40));
  EXPECT_EQ(game->script.visual, 0);
  EXPECT_TRUE(game->layers().exists(28));
  frame();
  EXPECT_EQ(game->script.visual, -1);
}

TEST_F(StaffRoll, TheEndOfTheStoryFreesIt) {
  writeTable(2);
  run("PUSH_STRING \"Sheet.bmp\"\nPUSH_INT 0\nPUSH_INT 0\nSTAFFROLL_BEGIN\nCLEAR_STACK\n" + show(0, 1, 0, 1, 0, 0) +
      "YIELD\n");
  frame();
  ASSERT_TRUE(game->layers().exists(40));
  game->endScript();
  EXPECT_EQ(screens->staffRollRecords(), 0u);
  EXPECT_FALSE(game->layers().exists(40));
  EXPECT_FALSE(game->clearToGrey);
}

// A record's stored size is the piece's size less 2; a size no sheet can have is damage and the
// record shows nothing (the + 2 would otherwise overflow).
TEST(StaffRollTableRecords, SizesAndDamage) {
  std::vector<uint8_t> ani(48 + 28 * 2, 0);
  const uint32_t good[7] = {16, 40, 478, 30, 240, 16, 0};
  const uint32_t huge[7] = {0, 0, 0x7FFFFFFF, 30, 0, 0, 0};
  for (int f = 0; f < 7; ++f) storeU32(ani.data() + 48 + 4 * f, good[f]);
  for (int f = 0; f < 7; ++f) storeU32(ani.data() + 48 + 28 + 4 * f, huge[f]);
  ASSERT_EQ(StaffRollTable::records(ani), 2u);
  auto p = StaffRollTable::piece(ani, 0);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 480);
  EXPECT_EQ(p->height, 32);
  EXPECT_EQ(p->anchorX, 240);
  EXPECT_FALSE(StaffRollTable::piece(ani, 1));
  EXPECT_FALSE(StaffRollTable::piece(ani, 2));
  EXPECT_FALSE(StaffRollTable::piece(ani, -1));
  EXPECT_EQ(StaffRollTable::records(std::vector<uint8_t>(47)), 0u);
}

}  // namespace
}  // namespace sorel::test
