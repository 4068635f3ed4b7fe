// The extras: the gallery's cells (seen pictures only, locked cells passed over, only the page's
// cells built, thumbnails from slot 32 on, cycling), viewing a cell's pictures; the replay
// screen's unlocks from the route marks and a replay that cannot be loaded; the sound mode's
// tracks, play again, stop and back.
#include <cstring>
#include <set>

#include "engine/resources/byte_io.h"
#include "engine/resources/format.h"
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class Extras : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    std::vector<std::array<std::string, 2>> visuals;
    for (int i = 0; i < 8; ++i) {
      visuals.push_back({"V" + std::to_string(i) + ".bmp", ""});
      addPicture("V" + std::to_string(i) + ".bmp", 640, 480);
      addPicture(format("Thum_%z3.bmp", {i}), 128, 96);
    }
    game->tables().setVisual(visualTable(visuals));
    // Gallery page 0: cell 0 pictures 0, 1, 2; cell 1 picture 3; cell 2 picture 4; cell 15 (past
    // the page's 14 cells) picture 5.
    std::vector<uint8_t> cg(13 * 1280, 0xFF);
    auto entry = [](std::vector<uint8_t>& t, size_t at, std::initializer_list<int> v) {
      for (int x : v) storeU32(t.data() + at, uint32_t(x)), at += 4;
    };
    entry(cg, 0, {0, 1, 2});
    entry(cg, 80, {3});
    entry(cg, 160, {4});
    entry(cg, 15 * 80, {5});
    game->tables().setGallery(cg);
    std::vector<uint8_t> scenes(2 * 960, 0xFF);
    entry(scenes, 0, {6, 7});
    entry(scenes, 80, {6});
    entry(scenes, 960, {7});
    game->tables().setReplay(scenes);
    for (const char* f : {"CGModeBG.bmp", "CGModeButton.bmp", "thum_cursor.bmp", "thum_nodata.bmp", "SoundModeBG.bmp",
                          "SoundModeButton.bmp"})
      addPicture(f, 640, 480);
  }
  void open(uint32_t mode) {
    gameMode = mode;
    subMode = 0;
    frame(1000 / 16 + 3);
    ASSERT_EQ(subMode, 2u);
  }
  void pressAndStep(Key k) {
    press(k);
    frame();
    release(k);
  }
  int cursor() const { return screens->extrasState().cursor; }
};

TEST_F(Extras, GalleryShowsSeenPicturesAndPassesOverLockedCells) {
  game->visitedPictures = {"V0.bmp", "V2.bmp", "V4.bmp", "V5.bmp"};
  open(kModeGallery);
  const auto& cells = screens->extrasState().cells;
  EXPECT_EQ(cells[0].count, 2) << "V1 never seen";
  EXPECT_EQ(cells[0].names[1], "V2.bmp");
  EXPECT_EQ(cells[1].count, 0);
  EXPECT_EQ(cells[2].count, 1);
  EXPECT_EQ(cells[15].count, 0) << "past the page's cells";
  EXPECT_EQ(cells[0].firstSlot, 32);
  EXPECT_EQ(cells[2].firstSlot, 34);
  EXPECT_TRUE(game->layers().exists(32 + 13));
  EXPECT_FALSE(game->layers().exists(32 + 14)) << "only the page's 14 cells are built";
  EXPECT_EQ(game->layers().get(33)->slot, 13) << "a locked cell shows the locked picture";
  // Down: 0, 2 (over the locked 1), then the first page button; up from 0 goes to back.
  const std::pair<Key, int> steps[] = {{Key::Down, 0}, {Key::Down, 2}, {Key::Down, 16}, {Key::Up, 2},
                                       {Key::Up, 0},   {Key::Up, 29},  {Key::Down, 0}};
  for (auto [k, want] : steps) {
    pressAndStep(k);
    EXPECT_EQ(cursor(), want);
  }
  EXPECT_EQ(game->layers().get(30)->x, 16 - 2) << "the highlight over cell 0";
  // Cell 0 cycles its two thumbnails, 1000 ms each.
  std::set<int> shown;
  for (int i = 0; i < 2 * 1000 / 16; ++i) {
    frame();
    shown.insert(game->layers().get(32)->slot);
  }
  EXPECT_EQ(shown, (std::set<int>{32, 33}));
}

TEST_F(Extras, ThumbnailsStayInSlots32To127AndCellsShareWhenTheyRunOut) {
  // Fourteen cells of twenty seen pictures each: 280 thumbnails for 96 slots.
  std::vector<std::array<std::string, 2>> visuals;
  std::vector<uint8_t> cg(13 * 1280, 0xFF);
  for (int i = 0; i < 280; ++i) {
    visuals.push_back({"P" + std::to_string(i) + ".bmp", ""});
    game->visitedPictures.push_back("P" + std::to_string(i) + ".bmp");
    addPicture(format("Thum_%z3.bmp", {i}), 128, 96);
    storeU32(cg.data() + 4 * size_t(i), uint32_t(i));
  }
  game->tables().setVisual(visualTable(visuals));
  game->tables().setGallery(cg);
  open(kModeGallery);
  const auto& cells = screens->extrasState().cells;
  int used = 32;
  for (int e = 0; e < 14; ++e) {
    ASSERT_EQ(cells[size_t(e)].count, 20) << e;
    EXPECT_EQ(cells[size_t(e)].firstSlot, used) << e;
    EXPECT_TRUE(cells[size_t(e)].slots == 20 || cells[size_t(e)].slots == 1) << e;
    used += cells[size_t(e)].slots;
  }
  EXPECT_LE(used, 128);
  EXPECT_EQ(cells[13].slots, 1);
  // The last cell reloads its one slot as it cycles.
  const int slot = cells[13].firstSlot;
  std::set<std::string> names;
  for (int i = 0; i < 3 * 1000 / 16; ++i) {
    frame();
    names.insert(pictures.get(slot)->name);
    EXPECT_EQ(game->layers().get(32 + 13)->slot, slot);
  }
  EXPECT_GE(names.size(), 3u) << "a new picture every second";
}

TEST_F(Extras, ViewingACellShowsItsPicturesOneAfterAnother) {
  game->visitedPictures = {"V0.bmp", "V1.bmp", "V2.bmp"};
  open(kModeGallery);
  tap(16 + 10, 27 + 10);
  frame();
  EXPECT_EQ(cursor(), 0);
  frame();
  for (const char* name : {"V0.bmp", "V1.bmp", "V2.bmp"}) {
    ASSERT_NE(pictures.get(31), nullptr);
    EXPECT_EQ(pictures.get(31)->name, name);
    EXPECT_EQ(subMode, 21u);
    pressAndStep(Key::Right);
    frame();
  }
  EXPECT_FALSE(game->layers().exists(31));
  frame(2);
  EXPECT_EQ(subMode, 2u) << "back on the grid";
}

TEST_F(Extras, ATapOnALockedCellDoesNothingAndBackReturnsToTheTitle) {
  open(kModeGallery);
  tap(16 + 10, 27 + 10);
  frame();
  EXPECT_EQ(cursor(), ExtrasState::kNone);
  EXPECT_EQ(subMode, 2u);
  tap(608 + 5, 448 + 5);
  frame();
  EXPECT_EQ(subMode, 30u);
  frame(1000 / 16 + 2);
  EXPECT_EQ(gameMode, uint32_t(kModeTitle));
  EXPECT_GE(subMode, 40u) << "the title comes back";
}

TEST_F(Extras, ATapThatHitsNoItemLeavesTheKeySelectionAlone) {
  game->visitedPictures = {"V0.bmp"};  // gallery page 0: cell 0 unlocked, cell 3 locked
  game->systemValues.set(12 + 1, 1);   // replay page 0: cell 1 unlocked, cell 0 locked
  std::vector<uint8_t> bgm(14 * DataTables::kBgmRecordSize, 0);
  for (int i = 0; i < 14; ++i) bgm[size_t(i) * DataTables::kBgmRecordSize] = 'T';
  game->tables().setBgm(bgm);
  struct Case {
    uint32_t mode;
    int x, y;  // a locked cell, or nothing at all
  };
  for (const Case& c : {Case{kModeGallery, 456 + 10, 27 + 10}, Case{kModeReplay, 16 + 10, 27 + 10},
                        Case{kModeSoundMode, 10, 10}}) {
    open(c.mode);
    pressAndStep(Key::Down);
    const int selected = cursor();
    ASSERT_NE(selected, ExtrasState::kNone) << c.mode;
    tap(c.x, c.y);
    frame();
    EXPECT_EQ(subMode, 2u) << c.mode << ": nothing starts";
    EXPECT_EQ(cursor(), selected) << c.mode;
    EXPECT_TRUE(sound.musicRequests.empty()) << c.mode;
  }
}

TEST_F(Extras, ReplayCellsUnlockWithTheRouteMarksAndAMissingReplayStaysOnTheTitle) {
  game->systemValues.set(12 + 1, 1);  // the second route cleared: page 1, cell 1
  open(kModeReplay);
  const auto& cells = screens->extrasState().cells;
  EXPECT_EQ(cells[0].count, 0);
  EXPECT_EQ(cells[1].count, 1) << "listed whether seen or not";
  pressAndStep(Key::Down);
  EXPECT_EQ(cursor(), 1);
  pressAndStep(Key::Down);
  EXPECT_EQ(cursor(), 12) << "over the locked cells to the page buttons";
  pressAndStep(Key::Down);
  pressAndStep(Key::Right);
  EXPECT_EQ(screens->extrasState().page, 1);
  EXPECT_EQ(cells[0].count, 0) << "page 2 waits for system value 0";
  game->systemValues.set(0, 1);
  pressAndStep(Key::Right);  // the same page: nothing
  pressAndStep(Key::Up);
  pressAndStep(Key::Right);  // the first page again
  pressAndStep(Key::Down);
  pressAndStep(Key::Right);
  EXPECT_EQ(screens->extrasState().page, 1);
  EXPECT_EQ(cells[0].count, 1);
  // Choosing it fades out and tries "Replay13.bin", which this game lacks.
  tap(16 + 10, 27 + 10);
  frame();
  ASSERT_EQ(cursor(), 0);
  frame(1000 / 16 + 3);
  EXPECT_EQ(fieldView(game->script.scriptName), "Replay13.bin");
  EXPECT_EQ(gameMode, uint32_t(kModeTitle));
}

TEST_F(Extras, SoundModePlaysStopsAndPlaysAgain) {
  std::vector<uint8_t> bgm(14 * DataTables::kBgmRecordSize, 0);
  for (int i = 0; i < 14; ++i) {
    std::string name = "T" + std::to_string(i) + ".wav";
    std::memcpy(bgm.data() + i * DataTables::kBgmRecordSize, name.data(), name.size());
  }
  game->tables().setBgm(bgm);
  open(kModeSoundMode);
  for (int i = 0; i < 14; ++i) EXPECT_TRUE(game->layers().exists(32 + i));
  auto tapButton = [&](int x, int y) {
    tap(x + 10, y + 10);
    frame();
  };
  tapButton(536, 330);  // play again: nothing chosen yet
  EXPECT_TRUE(sound.musicRequests.empty());
  tapButton(64 + 272, 48 + 40);  // track 4
  ASSERT_EQ(sound.musicRequests.size(), 1u);
  EXPECT_EQ(sound.music, "T3.mp3");
  EXPECT_TRUE(screens->extrasState().playing);
  frame(10);
  EXPECT_TRUE(game->layers().exists(12)) << "the title strip";
  tapButton(536, 330);  // play again while it plays: nothing
  EXPECT_EQ(sound.musicRequests.size(), 1u);
  tapButton(496, 380);  // stop
  EXPECT_TRUE(sound.music.empty());
  EXPECT_FALSE(game->layers().exists(12));
  tapButton(536, 330);  // play again
  EXPECT_EQ(sound.musicRequests.size(), 2u);
  EXPECT_EQ(sound.music, "T3.mp3");
  // Up from play again: the last track.
  pressAndStep(Key::Up);
  EXPECT_EQ(cursor(), 13);
  tapButton(448, 430);  // back
  EXPECT_TRUE(sound.music.empty());
  EXPECT_EQ(subMode, 30u);
}

}  // namespace
}  // namespace sorel::test
