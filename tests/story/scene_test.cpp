// Layers and the scene: sprites, faces, scene pictures, the display filter, the dimming overlay,
// screen effects, transitions and shakes, on both screen sizes.
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class Scene : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    loadTables();
  }
  std::vector<DrawItem> displayList() {
    std::vector<DrawItem> out;
    for (const DrawItem* i = game->layers().displayList(); i; i = i->next) out.push_back(*i);
    return out;
  }
  bool coversScreen() const {
    for (const Rect& r : dirty)
      if (r.left <= 0 && r.top <= 0 && r.right >= screenWidth && r.bottom >= screenHeight) return true;
    return false;
  }
  void loadTables() {
    game->tables().setStand(standTable({{"F_HINA01.bmp", "ST_HINA01.bmp", ""},
                                        {"F_HINA02.bmp", "ST_HINA02.bmp", "ST_HINA02b.bmp"},
                                        {"F_AOI01.bmp", "ST_AOI01.bmp", ""},
                                        {"F_HINA01.bmp", "", ""}}));
    game->tables().setVisual(visualTable({{"BG_GATE.bmp", ""}, {"VISUAL_HINA002.bmp", ""}, {"BG_X.bmp", "BG_Y.bmp"}}));
    addPicture("F_HINA01.bmp", 160, 171);
    addPicture("F_HINA02.bmp", 160, 171);
    addPicture("ST_HINA01.bmp", 300, 460, 150, 20);
    addPicture("ST_HINA02b.bmp", 300, 460, 140, 20);
    addPicture("ST_AOI01.bmp", 280, 460, 140, 20);
    addPicture("BG_GATE.bmp", 640, 480);
    addPicture("VISUAL_HINA002.bmp", 640, 480);
    addPicture("BG_Y.bmp", 640, 480);
  }
};

TEST_F(Scene, StandsArePlacedAboutTheirCentreLineAndNotReloaded) {
  game->showStand(1, 0);
  const Sprite* s = game->layers().get(25);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->x, 160 - 150);
  EXPECT_EQ(s->y, 20);
  EXPECT_EQ(s->order, 25);
  EXPECT_EQ(fieldView(game->script.standName[1]), "ST_HINA01.bmp");
  size_t loadsBefore = loads.size();
  dirty.clear();
  game->showStand(1, 0);
  EXPECT_EQ(loads.size(), loadsBefore);
  EXPECT_TRUE(dirty.empty());
  // The alternate file is shown; the plain name is remembered.
  game->showStand(0, 1);
  EXPECT_EQ(loads.back(), "C:\\game\\data\\Stand_vga.mlz|ST_HINA02b.bmp");
  EXPECT_EQ(fieldView(game->script.standName[0]), "ST_HINA02.bmp");
  game->showStand(3, 0);  // no such position
  EXPECT_FALSE(game->layers().exists(27));
  game->hideStand(1);
  EXPECT_FALSE(game->layers().exists(25));
  EXPECT_EQ(game->script.stand[1], -1);
}

TEST_F(Scene, FaceFollowsItsSpriteAndSetsTheTextOrigin) {
  game->showStand(1, 0);  // ST_HINA01 on the left
  game->showStand(2, 2);  // ST_AOI01 on the right
  game->showFace(1);      // F_HINA02: its sprite ST_HINA02 shares "ST_HI" with the left one
  const Sprite* face = game->layers().get(21);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->y, 310) << "480 - 171 rounded up to an even line";
  EXPECT_EQ(face->order, 3);
  EXPECT_EQ(face->flags, kSpriteIgnoreTone);
  EXPECT_EQ(game->script.stand[1], 1);
  EXPECT_EQ(game->script.stand[2], 2);
  EXPECT_EQ(game->textBox().originX, 168);
  EXPECT_EQ(game->textBox().charsPerLine, 20);
  game->showFace(-11);
  EXPECT_FALSE(game->layers().exists(21));
  EXPECT_EQ(game->textBox().originX, 64);
  EXPECT_EQ(game->textBox().charsPerLine, 25);
}

TEST_F(Scene, AFaceWithoutASpriteNameShowsNoSprite) {
  game->showStand(1, 0);  // the left position only; centre and right stay empty
  size_t loadsBefore = loads.size();
  game->showFace(3);
  EXPECT_TRUE(game->layers().exists(21));
  EXPECT_FALSE(game->layers().exists(24));
  EXPECT_FALSE(game->layers().exists(26));
  EXPECT_EQ(game->script.stand[0], -1);
  EXPECT_EQ(game->script.stand[1], 0);
  EXPECT_EQ(game->script.stand[2], -1);
  EXPECT_EQ(loads.size(), loadsBefore + 1) << "the face only";
}

TEST_F(Scene, ScenePictureArchivesTintAndVisitedList) {
  game->script.pictureTint = 0xFFCCCC;
  game->showScenePicture(0);
  ASSERT_GE(loads.size(), 1u);
  EXPECT_EQ(loads.back(), "C:\\game\\data\\bg_vga.mlz|BG_GATE.bmp");
  EXPECT_EQ(pictures.get(28)->tint, 0xFFCCCCu);
  EXPECT_EQ(game->layers().get(28)->order, 56);
  // The alternate name is looked up in bg and Visual only.
  files.erase("BG_Y.bmp");
  loads.clear();
  game->showScenePicture(2);
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[1], "C:\\game\\data\\Visual_vga.mlz|BG_Y.bmp");
  EXPECT_FALSE(game->layers().exists(28));
  EXPECT_EQ(game->script.visual, 2) << "the index is recorded even when nothing loaded";
  EXPECT_EQ(game->visitedPictures, (std::vector<std::string>{"BG_GATE.bmp", "BG_Y.bmp"}));
  // Outside the table: nothing is shown and nothing read.
  loads.clear();
  game->showScenePicture(40);
  EXPECT_TRUE(loads.empty());
}

TEST_F(Scene, DisplayFilterDimsListedPicturesByMannerMode) {
  gameMode = kModeStory;
  game->showScenePicture(1);
  for (int mode : {0, 1, 2}) {
    settings.dispFreeMode = mode;
    game->applyDisplayFilter(true);
    game->applyDisplayFilter(false);
    EXPECT_EQ(game->layers().get(28)->brightness, mode == 0 ? 256 : mode == 1 ? 64 : 0) << mode;
    EXPECT_EQ(game->displayFiltered, mode != 0);
  }
  // The D key steps the mode round and resets the filter.
  press(Key::D);
  frame();
  EXPECT_EQ(settings.dispFreeMode, 0);
  EXPECT_EQ(game->layers().get(28)->brightness, 256);
  EXPECT_EQ(input.count(Key::D), 3) << "consumed (2), then held for another frame";
}

TEST_F(Scene, LayerNumbersOutsideTheTableRaiseTheElementError) {
  game->layers().setVisible(300, true);  // empty layer: nothing
  game->layers().remove(511);
  EXPECT_EQ(errorWord, 0u);
  game->layers().place(517, 0, kWholePicture, 0, 0, 0, 0, 0);
  EXPECT_EQ(errorWord, kErrorElementSlot);
  errorWord = 0;
  game->loadPicture(133, "System", "BG_GATE.bmp");
  EXPECT_EQ(errorWord, kErrorPictureSlot);
}

TEST_F(Scene, LoadingIntoAnOccupiedSlotKeepsTheOldPictureUntilTheNewOneDecoded) {
  ASSERT_TRUE(game->loadPicture(5, "System", "BG_GATE.bmp"));
  const Picture* before = pictures.get(5);
  ASSERT_TRUE(game->loadPicture(5, "System", "F_HINA01.bmp"));
  EXPECT_NE(pictures.get(5), nullptr);
  EXPECT_EQ(pictures.get(5)->name, "F_HINA01.bmp");
  (void)before;
  EXPECT_FALSE(game->loadPicture(5, "System", "missing.bmp"));
  EXPECT_EQ(pictures.get(5), nullptr) << "a failed load leaves the slot empty";
}

TEST_F(Scene, HalfSizeScreenScalesDesignUnits) {
  screenWidth = 320;
  screenHeight = 240;
  makeGame();
  loadTables();
  game->showStand(1, 0);
  EXPECT_EQ(loads.back(), "C:\\game\\data\\Stand.mlz|ST_HINA01.bmp");
  const Sprite* s = game->layers().get(25);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->x, 5) << "(160 - 150) / 2";
  EXPECT_EQ(s->src, (Rect{0, 0, 150, 230}));
  // Source rectangles in design units scale per picture: left and top down, right and bottom to
  // nearest.
  game->layers().place(40, 25, {35, 3, 30, 36}, 610, 419, 0, 0, 2);
  const Sprite* m = game->layers().get(40);
  EXPECT_EQ(m->src, (Rect{17, 1, 33, 20}));
  EXPECT_EQ(m->x, 305);
  EXPECT_EQ(m->y, 209);
  game->showFace(0);
  EXPECT_EQ(game->layers().get(21)->y, 310 / 2);
  // markRedraw rounds outward.
  dirty.clear();
  game->markRedraw(1, 1, 3, 3);
  ASSERT_EQ(dirty.size(), 1u);
  EXPECT_EQ(dirty[0], (Rect{0, 0, 2, 2}));
  input.penX = 0;
  input.penY = 2;
  EXPECT_TRUE(game->tapInside(1, 1, 3, 3));
  screenWidth = 640;
  screenHeight = 480;
}

TEST_F(Scene, DimmingOverlay) {
  game->setDim(true);
  const Sprite* d = game->layers().get(20);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->kind, Sprite::Kind::Colour);
  EXPECT_EQ(d->opacity, 128);
  EXPECT_EQ(d->order, 20);
  EXPECT_EQ(game->script.dimmed, 1u);
  game->setDim(false);
  EXPECT_FALSE(game->layers().exists(20));
}

TEST_F(Scene, FlashShowsExactlyOneWhiteFrame) {
  run("PUSH_INT 0\nFLASH\nCLEAR_STACK\nYIELD\n");
  frame();
  EXPECT_EQ(game->brightness, 512);
  EXPECT_TRUE(game->clearToGrey);
  frame();
  EXPECT_EQ(game->brightness, 256);
  EXPECT_FALSE(game->clearToGrey);
  EXPECT_EQ(game->script.pc, 12u);
}

TEST_F(Scene, FadesRunOverASecondOrFinishAtOnceWithoutEffects) {
  run("PUSH_INT 0\nFADE_TO_BLACK\nCLEAR_STACK\nPUSH_INT 0\nFADE_FROM_BLACK\nCLEAR_STACK\nYIELD\n");
  frame();
  EXPECT_EQ(game->brightness, 256);
  frame(31);  // 496 ms
  EXPECT_EQ(game->brightness, 256 - 496 * 256 / 1000);
  frame(32);
  EXPECT_EQ(game->brightness, 0);
  frame();
  EXPECT_EQ(game->script.pc, 12u + 12u) << "advanced into the fade from black";
  settings.effectUse = 0;
  frame();
  EXPECT_EQ(game->brightness, 256);
  EXPECT_EQ(game->script.pc, 30u);
}

TEST_F(Scene, FadeToWhiteFromBlackCoversTheScreen) {
  game->brightness = 0;
  run("PUSH_INT 0\nFADE_TO_WHITE\nYIELD\n");
  frame();
  const Sprite* cover = game->layers().get(0);
  ASSERT_NE(cover, nullptr);
  EXPECT_EQ(cover->order, 12);
  EXPECT_EQ(cover->colour, 0x000000u);
  frame(70);
  EXPECT_EQ(game->brightness, 512);
  EXPECT_FALSE(game->layers().exists(0));
}

TEST_F(Scene, TransitionCapturesTheScreenAndEndsOnAdvance) {
  run("PUSH_INT 0\nPUSH_INT 0\nVISUAL_TRANSITION\nCLEAR_STACK\nYIELD\n");
  frame();
  EXPECT_TRUE(game->layers().exists(28)) << "the new picture is shown under the capture";
  const Sprite* cap = game->layers().get(0);
  ASSERT_NE(cap, nullptr);
  EXPECT_EQ(cap->effect.type, 129);
  EXPECT_EQ(cap->order, 0);
  EXPECT_NE(pictures.get(0), nullptr);
  frame(15);  // 240 ms
  auto items = displayList();
  ASSERT_EQ(items.size(), 2u) << "the new picture, then the fading capture over it";
  EXPECT_EQ(items[0].slot, 28);
  EXPECT_EQ(items[1].slot, 0);
  EXPECT_EQ(items[1].opacity, 256 - 240 * 256 / 1000);
  EXPECT_EQ(game->script.pc, 12u);
  press(Key::Right);
  dirty.clear();
  frame();
  EXPECT_FALSE(game->layers().exists(0));
  EXPECT_EQ(pictures.get(0), nullptr);
  EXPECT_EQ(displayList().size(), 1u);
  EXPECT_TRUE(coversScreen()) << "where the capture was is drawn again";
  EXPECT_EQ(input.count(Key::Right), 3) << "consumed by the transition";
  EXPECT_EQ(game->script.pc, 18u) << "advanced in the frame the effect ended";
}

TEST_F(Scene, SceneTransitionWipesTheCaptureAwayColumnByColumn) {
  // Column k of 8 pixels starts losing its left part at phase k / 2; at 496 ms the phase is
  // 496 × 47 / 1000 = 23 with 80 columns, 496 × 27 / 1000 = 13 with 40.
  struct Case {
    int w, h, cellSize;
    size_t column;
    Rect part;
  };
  for (const Case& c : {Case{640, 480, 24, 40, {323, 0, 328, 480}}, Case{320, 240, 12, 20, {163, 0, 168, 240}}}) {
    screenWidth = c.w;
    screenHeight = c.h;
    makeGame();
    loadTables();
    run("PUSH_INT 0\nVISUAL_SHOW\nCLEAR_STACK\nPUSH_INT 0\nSCENE_TRANSITION\nCLEAR_STACK\nYIELD\n");
    frame();
    const Sprite* cap = game->layers().get(0);
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->effect.type, 134);
    EXPECT_EQ(cap->effect.p3, c.cellSize);
    EXPECT_EQ(cap->effect.tiles.size(), size_t(c.w / 8));
    frame(31);
    auto items = displayList();
    ASSERT_EQ(items.size(), 1 + size_t(c.w / 8)) << c.w;
    EXPECT_EQ(items[0].slot, 28);
    EXPECT_TRUE(items[1].source().empty()) << "the first column has gone";
    EXPECT_EQ(items[1 + c.column].source(), c.part) << c.w;
    EXPECT_EQ(items[1 + c.column].x, c.part.left);
    EXPECT_EQ(items.back().source(), (Rect{c.w - 8, 0, c.w, c.h})) << "the last column is still whole";
    EXPECT_EQ(items.back().flags, kSpriteIgnoreTone);
  }
  screenWidth = 640;
  screenHeight = 480;
}

TEST_F(Scene, TransitionsWithoutEffectsFinishInTheFrameTheyStart) {
  settings.effectUse = 0;
  run("PUSH_INT 0\nSCENE_TRANSITION\nCLEAR_STACK\nPUSH_INT 1\nPUSH_INT 0\nVISUAL_TRANSITION\nCLEAR_STACK\nYIELD\n");
  frame();
  EXPECT_EQ(game->script.pc, 12u);
  EXPECT_FALSE(game->layers().exists(0));
  frame();
  EXPECT_EQ(game->script.pc, 36u);
  EXPECT_FALSE(game->layers().exists(0));
  EXPECT_EQ(pictures.get(0), nullptr) << "nothing was captured";
  auto items = displayList();
  ASSERT_EQ(items.size(), 1u) << "the new picture at once";
  EXPECT_EQ(items[0].slot, 28);
}

TEST_F(Scene, SceneTransitionTo1062StartsDark) {
  run("PUSH_INT 0\nSCENE_TRANSITION_1062\nYIELD\n");
  frame();
  const Sprite* cap = game->layers().get(0);
  ASSERT_NE(cap, nullptr);
  EXPECT_EQ(cap->effect.type, 134);
  EXPECT_EQ(cap->effect.p3, 24);
  EXPECT_EQ(cap->flags, kSpriteIgnoreTone);
  EXPECT_EQ(game->brightness, 0);
  frame(61);
  EXPECT_EQ(game->script.pc, 6u);
  frame(3);
  EXPECT_GE(game->script.pc, 12u);
}

TEST_F(Scene, ShakeAlternatesSixTimesThenRests) {
  run("SHAKE_HORIZONTAL\nYIELD\n");
  std::vector<int> seen;
  for (int i = 0; i < 30 && game->script.pc == 0; ++i) {
    frame();
    if (seen.empty() || seen.back() != game->shakeX) seen.push_back(game->shakeX);
  }
  EXPECT_EQ(seen, (std::vector<int>{10, -10, 10, -10, 10, -10, 0}));
  settings.effectUse = 0;
  run("SHAKE_VERTICAL\nYIELD\n");
  frame();
  EXPECT_EQ(game->script.pc, 6u) << "advances on its first frame";
  EXPECT_EQ(game->shakeY, 0);
}

TEST_F(Scene, FrameAnimationMovesOnWithTheClock) {
  addPicture("Cursor.bmp", 136, 36);
  gameMode = kModeStory;  // a story without a script: only the marker moves
  game->setWindowShown(true);
  ASSERT_TRUE(game->loadPicture(130, "System", "Cursor.bmp"));
  game->showClickMarker(true);
  const Sprite* m = game->layers().get(516);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->src.left, 0);
  dirty.clear();
  frame(6);  // 96 ms
  EXPECT_EQ(m->src.left, 0);
  frame();
  EXPECT_EQ(m->src.left, 35);
  ASSERT_FALSE(dirty.empty());
  for (const Rect& r : dirty) EXPECT_EQ(r, (Rect{610, 419, 640, 455})) << "only the marker redraws";
}

}  // namespace
}  // namespace sorel::test
