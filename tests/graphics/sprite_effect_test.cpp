// Sprite effects: tile rectangles, positions, opacities and tones at chosen times for every
// family of types, completion, finishing, the dirty marking, and a wipe drawn through the
// compositor.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/graphics/sprite_effect.h"

namespace sorel {
namespace {

struct Fixture {
  DrawItem item;
  DirtyRectList dirty;
  EffectContext context;
  EffectState effect;
  int64_t px = 0, py = 0;
  int anchorX = 0, anchorY = 0;

  Fixture(int w, int h, int x = 0, int y = 0, int screenW = 640, int screenH = 480) {
    item.kind = kItemPicture;
    item.slot = 0;
    item.setSource({0, 0, w, h});
    item.x = x, item.y = y;
    px = int64_t(x) * 1000, py = int64_t(y) * 1000;
    dirty.setBounds(screenW, screenH);
    context.dirty = &dirty;
    context.screenWidth = screenW;
    context.screenHeight = screenH;
  }
  EffectSprite view() const { return EffectSprite{item, px, py, anchorX, anchorY}; }
  int start(int type, uint32_t d, int p3 = 0, int p4 = 0, int p5 = 0) {
    context.now = 1000;
    return startEffect(effect, view(), context, type, d, p3, p4, p5);
  }
  int at(uint32_t t) {
    context.now = 1000 + t;
    return stepEffect(effect, view(), context);
  }
  const DrawItem& tile(size_t i) const { return effect.tiles.at(i); }
};

TEST(SpriteEffect, TypesOutsideTheRangeAreRejected) {
  Fixture f(10, 10);
  for (int type : {0, -1, 192, 255, 1000}) {
    EXPECT_EQ(f.start(type, 100), 0) << type;
    EXPECT_FALSE(f.effect.active);
  }
  EXPECT_EQ(f.start(1, 100), 1);
  EXPECT_EQ(f.start(191, 100), 1);
  EXPECT_EQ(f.start(100, 100), 1);  // undefined types hold the sprite for the duration
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 10, 10}));
  EXPECT_EQ(f.at(99), 0);
  EXPECT_EQ(f.at(100), 1);
}

TEST(SpriteEffect, FadeInAndOut) {
  Fixture f(40, 30, 5, 6);
  f.start(1, 1000);
  ASSERT_EQ(f.effect.tiles.size(), 1u);
  EXPECT_EQ(f.tile(0).opacity, 0);
  EXPECT_EQ(f.at(500), 0);
  EXPECT_EQ(f.tile(0).opacity, 128);
  EXPECT_EQ((Rect{f.tile(0).x, f.tile(0).y, 0, 0}), (Rect{5, 6, 0, 0}));
  EXPECT_EQ(f.at(1000), 1);
  EXPECT_EQ(f.tile(0).opacity, 256);
  EffectFinish done = finishEffect(f.effect, f.view(), f.context);
  EXPECT_EQ(done.result, 1);
  EXPECT_TRUE(done.opacityTo256);
  EXPECT_FALSE(done.removeSprite);
  EXPECT_FALSE(f.effect.active);
  EXPECT_TRUE(f.effect.tiles.empty());

  f.start(129, 1000);
  EXPECT_EQ(f.at(250), 0);
  EXPECT_EQ(f.tile(0).opacity, 192);
  EXPECT_EQ(f.at(5000), 1);
  EXPECT_EQ(f.tile(0).opacity, 0);
  done = finishEffect(f.effect, f.view(), f.context);
  EXPECT_TRUE(done.removeSprite);
  EXPECT_FALSE(done.opacityTo256);

  // 60 / 188: clamped fades that hide the tile when clear as asked.
  f.start(188, 400, 0, 0, -1);
  f.at(100);
  EXPECT_EQ(f.tile(0).opacity, 192);
  EXPECT_EQ(f.tile(0).hideWhenClear, -1);
}

TEST(SpriteEffect, ToneFades) {
  Fixture f(10, 10);
  f.start(63, 1000, 0, 0, 1);  // from white
  f.at(500);
  EXPECT_EQ(f.tile(0).brightness, 384);
  f.at(999);
  EXPECT_EQ(f.tile(0).brightness, 257);
  f.at(1000);
  EXPECT_EQ(f.tile(0).brightness, 256);
  f.start(63, 1000, 0, 0, 0);  // from black
  f.at(250);
  EXPECT_EQ(f.tile(0).brightness, 64);
  f.start(191, 1000, 0, 0, 1);  // to white
  f.at(750);
  EXPECT_EQ(f.tile(0).brightness, 448);
  f.at(2000);
  EXPECT_EQ(f.tile(0).brightness, 512);
  f.start(191, 1000, 0, 0, 0);  // to black
  f.at(500);
  EXPECT_EQ(f.tile(0).brightness, 128);
  f.at(1000);
  EXPECT_EQ(f.tile(0).brightness, 0);
}

TEST(SpriteEffect, ColumnWipeOfATwentyPixelSprite) {
  Fixture f(20, 12, 100, 50);
  f.anchorX = 0;
  f.start(6, 900);
  ASSERT_EQ(f.effect.tiles.size(), 3u);
  EXPECT_EQ(f.effect.phases, 9);
  EXPECT_EQ(f.effect.columns, 3);
  // Phase 1: columns 0 and 1 (started at phase 0) show one pixel, column 2 starts now.
  f.at(150);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 1, 12}));
  EXPECT_EQ(f.tile(1).source(), (Rect{8, 0, 9, 12}));
  EXPECT_EQ(f.tile(2).source(), (Rect{16, 0, 16, 12}));
  EXPECT_EQ(f.tile(1).x, 108);
  EXPECT_EQ(f.tile(1).y, 50);
  // Phase 8: column 2 has 7 of its 8 pixels, clipped to the sprite's 4.
  f.at(850);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 8, 12}));
  EXPECT_EQ(f.tile(2).source(), (Rect{16, 0, 20, 12}));
  // Out (134): what remains shrinks toward the right, drawn moved right by r.
  f.start(134, 900);
  f.at(250);  // phase 2
  EXPECT_EQ(f.tile(0).source(), (Rect{2, 0, 8, 12}));
  EXPECT_EQ(f.tile(0).x, 102);
  EXPECT_EQ(f.tile(2).source(), (Rect{17, 0, 20, 12}));  // started at phase 1: r = 1, clipped
  f.start(138, 900);  // right to left, keeping the left part
  f.at(250);
  EXPECT_EQ(f.tile(2).source(), (Rect{16, 0, 20, 12}));  // starts at phase 0: r = 2 leaves 6, clipped to 4
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 7, 12}));   // starts at phase 1
  EXPECT_EQ(f.tile(0).x, 100);
}

TEST(SpriteEffect, RowWipesGrowFromTheirEdges) {
  Fixture f(16, 20, 0, 100);
  f.start(5, 900);  // top to bottom, from each strip's top edge
  ASSERT_EQ(f.effect.tiles.size(), 3u);
  f.at(300);  // phase 3
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 16, 3}));
  EXPECT_EQ(f.tile(2).source(), (Rect{0, 16, 16, 18}));  // starts at phase 1
  EXPECT_EQ(f.tile(2).y, 116);
  f.start(9, 900);  // bottom to top, growing upward from each strip's bottom edge
  f.at(300);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 6, 16, 8}));  // starts at phase 1
  EXPECT_EQ(f.tile(0).y, 106);
  // The bottom strip is 4 pixels of a nominal 8: its bottom-anchored part appears after 4.
  EXPECT_EQ(f.tile(2).source().height(), 0);
  f.at(700);  // phase 7: r = 7 reaches 3 pixels into it, from its nominal bottom at 24
  EXPECT_EQ(f.tile(2).source(), (Rect{0, 17, 16, 20}));
  f.start(133, 900);  // shrinks toward the bottom
  f.at(300);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 3, 16, 8}));
  EXPECT_EQ(f.tile(0).y, 103);
  f.start(137, 900);  // keeps the top part
  f.at(300);
  EXPECT_EQ(f.tile(1).source(), (Rect{0, 8, 16, 13}));
  // 24 and 26: one strip per phase, N = strips + 7.
  f.start(24, 900);
  EXPECT_EQ(f.effect.phases, 10);
  EXPECT_EQ(f.effect.stagger, 1);
}

TEST(SpriteEffect, BandsWithStaggerOneComeOneAfterAnother) {
  Fixture f(32, 160);
  // S = 480 × 40 / 480 = 40, R = 39 + 1 = 40: a band opens in one phase; G = p4 = 1.
  f.start(11, 400, 40, 1, 39);
  ASSERT_EQ(f.effect.tiles.size(), 4u);
  EXPECT_EQ(f.effect.phases, 4);  // (4 − 1) / 1 + 40 / 40
  f.at(200);                      // phase 2
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 32, 40}));
  EXPECT_EQ(f.tile(1).source(), (Rect{0, 40, 32, 80}));
  EXPECT_EQ(f.tile(2).source().height(), 0);
  EXPECT_EQ(f.tile(3).source().height(), 0);
  // A slower step: band 0 grows upward from its bottom edge.
  f.start(11, 700, 40, 1, 9);  // R = 10, N = 3 + 4 = 7
  EXPECT_EQ(f.effect.phases, 7);
  f.at(200);  // phase 2: band 0 shows 20, band 1 10
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 20, 32, 40}));
  EXPECT_EQ(f.tile(1).source(), (Rect{0, 70, 32, 80}));
  // Out: the band's bottom part goes first, the top stays.
  f.start(139, 700, 40, 1, 9);
  f.at(200);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 32, 20}));
  // Vertical bands scale with the screen width; a zero size or stagger is held at 1.
  Fixture small(64, 10, 0, 0, 320, 240);
  small.start(13, 100, 64, 0, 0);
  EXPECT_EQ(small.effect.stripSize, 32);
  EXPECT_EQ(small.effect.stagger, 1);
  EXPECT_EQ(small.effect.step, 1);
  small.start(14, 100, 0, 2, 0);
  EXPECT_EQ(small.effect.stripSize, 1);
  EXPECT_EQ(small.effect.tiles.size(), 64u);
}

TEST(SpriteEffect, StaggeredFadesOfCells) {
  Fixture f(200, 100, 10, 20);
  f.start(20, 800, 64, 0, 64);  // cells of 64, level step 64
  EXPECT_EQ(f.effect.columns, 4);
  EXPECT_EQ(f.effect.rows, 2);
  EXPECT_EQ(f.effect.phases, 8);  // 4 + 2 − 1 starts, + 256 / 64 − 1
  for (const DrawItem& t : f.effect.tiles) EXPECT_EQ(t.opacity, 0);
  EXPECT_EQ(f.tile(3).source(), (Rect{192, 0, 200, 64}));  // the last column is clipped
  EXPECT_EQ(f.tile(7).source(), (Rect{192, 64, 200, 100}));
  EXPECT_EQ(f.tile(5).x, 74);
  EXPECT_EQ(f.tile(5).y, 84);
  f.at(200);  // phase 2
  EXPECT_EQ(f.tile(0).opacity, 128);  // start 0
  EXPECT_EQ(f.tile(1).opacity, 64);   // start 1
  EXPECT_EQ(f.tile(4).opacity, 64);   // row 1, column 0: start 1
  EXPECT_EQ(f.tile(5).opacity, 0);    // start 2
  f.at(700);                          // phase 7
  EXPECT_EQ(f.tile(0).opacity, 256);
  EXPECT_EQ(f.tile(7).opacity, 192);  // start 4
  f.start(149, 800, 64, 0, 64);  // out, from the bottom-right
  f.at(200);
  EXPECT_EQ(f.tile(7).opacity, 128);
  EXPECT_EQ(f.tile(0).opacity, 256);
  f.start(17, 100, 64, 0, 128);  // vertical strips, right to left
  EXPECT_EQ(f.effect.tiles.size(), 4u);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 64, 100}));
  EXPECT_EQ(f.effect.phases, 5);  // 4 + 2 − 1
  f.start(18, 100, 64, 0, 0);     // horizontal strips; a level step of 0 is held at 1
  EXPECT_EQ(f.effect.tiles.size(), 2u);
  EXPECT_EQ(f.tile(1).source(), (Rect{0, 64, 200, 100}));
  EXPECT_EQ(f.effect.phases, 2 + 256 - 1);
}

TEST(SpriteEffect, SlidesMoveOneTile) {
  Fixture f(100, 60, 200, 100);
  f.anchorX = 10, f.anchorY = 20;  // the item's top-left is at (190, 80)
  const int types[8] = {32, 33, 34, 35, 160, 161, 162, 163};
  const int wantX[8] = {190 - 100 + 50, 190 + 100 - 50, 190, 190, 190 + 50, 190 - 50, 190, 190};
  const int wantY[8] = {80, 80, 80 - 60 + 30, 80 + 60 - 30, 80, 80, 80 + 30, 80 - 30};
  for (int i = 0; i < 8; ++i) {
    f.start(types[i], 1000);
    f.at(500);
    EXPECT_EQ(f.tile(0).x, wantX[i]) << types[i];
    EXPECT_EQ(f.tile(0).y, wantY[i]) << types[i];
    EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 100, 60}));
  }
}

TEST(SpriteEffect, InterlacedWipesFromTheOrigin) {
  Fixture f(64, 36, 0, 0);
  f.start(40, 1000, 8);  // 36 / 8 = 4 whole strips: the last 4 rows are never shown
  ASSERT_EQ(f.effect.tiles.size(), 4u);
  f.at(250);  // m = 16
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 16, 8}));
  EXPECT_EQ(f.tile(0).x, 0);
  EXPECT_EQ(f.tile(1).source(), (Rect{48, 8, 64, 16}));
  EXPECT_EQ(f.tile(1).x, 48);
  EXPECT_EQ(f.tile(1).y, 8);
  f.start(168, 1000, 8);
  f.at(250);
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 48, 8}));
  EXPECT_EQ(f.tile(1).source(), (Rect{16, 8, 64, 16}));
  EXPECT_EQ(f.tile(1).x, 16);
  f.start(41, 1000, 16);  // vertical strips revealed along y
  ASSERT_EQ(f.effect.tiles.size(), 4u);
  f.at(500);  // m = 18
  EXPECT_EQ(f.tile(0).source(), (Rect{0, 0, 16, 18}));
  EXPECT_EQ(f.tile(1).source(), (Rect{16, 18, 32, 36}));
  EXPECT_EQ(f.tile(1).y, 18);
  f.start(169, 1000, 16);
  f.at(250);  // m = 9
  EXPECT_EQ(f.tile(1).source(), (Rect{16, 9, 32, 36}));
  EXPECT_EQ(f.tile(1).y, 9);
}

TEST(SpriteEffect, RandomDissolveCellsScaleWithTheScreen) {
  Fixture f(640, 480);
  uint32_t seed = 99;
  f.context.random = [&] {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 16) & 0x7FFF);
  };
  f.start(178, 640);
  ASSERT_EQ(f.effect.tiles.size(), 64u);
  EXPECT_EQ(f.tile(9).source(), (Rect{80, 60, 160, 120}));
  EXPECT_EQ(f.tile(9).x, 80);
  f.at(320);
  int hidden = 0;
  for (const DrawItem& t : f.effect.tiles) hidden += t.source().empty() ? 1 : 0;
  EXPECT_EQ(hidden, 32);
  f.at(630);
  hidden = 0;
  for (const DrawItem& t : f.effect.tiles) hidden += t.source().empty() ? 1 : 0;
  EXPECT_EQ(hidden, 63);

  // A random source that always says the same still ends every step.
  Fixture g(320, 240, 0, 0, 320, 240);
  g.context.random = [] { return 5; };
  g.start(178, 64);
  g.at(63);
  hidden = 0;
  for (const DrawItem& t : g.effect.tiles) hidden += t.source().empty() ? 1 : 0;
  EXPECT_EQ(hidden, 63);
  // Cell 5, then the free cells after it in turn: only cell 4 (a 40 × 30 cell) is left.
  EXPECT_EQ(g.tile(4).source(), (Rect{160, 0, 200, 30}));
  // The in variant (50) shows the chosen cells.
  g.start(50, 64);
  g.at(16);
  int shown = 0;
  for (const DrawItem& t : g.effect.tiles) shown += t.source().empty() ? 0 : 1;
  EXPECT_EQ(shown, 16);
}

TEST(SpriteEffect, RasterWaveOnePixelRowPerTile) {
  Fixture f(100, 30, 50, 40);
  f.item.opacity = 200;
  f.start(48, 1000, 0, 2);  // N = (100 / 2) × 2 = 100
  ASSERT_EQ(f.effect.tiles.size(), 30u);
  EXPECT_EQ(f.effect.phases, 100);
  EXPECT_EQ(f.tile(7).source(), (Rect{0, 7, 100, 8}));
  EXPECT_EQ(f.tile(7).y, 47);
  // At time 0 the wave has its full amplitude of 50 pixels: row 0 sits at sin 0, row 2 at
  // sin 24 degrees (12 a row on a 480-line screen).
  EXPECT_EQ(f.tile(0).x, 50);
  EXPECT_EQ(f.tile(2).x, 50 + ((50 * 416) >> 10));
  EXPECT_EQ(f.tile(2).opacity, 200);
  f.at(999);  // phase 99: the amplitude has settled to 0
  for (const DrawItem& t : f.effect.tiles) EXPECT_EQ(t.x, 50);
  f.start(49, 1000, 0, 2);  // fades in from 0 to the sprite's opacity
  EXPECT_EQ(f.tile(0).opacity, 0);
  f.at(500);
  EXPECT_EQ(f.tile(0).opacity, 100);
  f.start(177, 1000, 0, 2);  // out: the wave grows and the sprite fades away
  EXPECT_EQ(f.tile(5).x, 50);
  f.at(500);
  EXPECT_EQ(f.tile(0).opacity, 100);
}

TEST(SpriteEffect, HiddenTileIsNotDrawnAndFinishTellsTheSprite) {
  Fixture f(30, 30, 7, 8);
  f.start(51, 300);
  ASSERT_EQ(f.effect.tiles.size(), 1u);
  EXPECT_EQ(f.tile(0).mode, kHiddenTileMode);
  Surface surface;
  surface.resize(64, 64);
  PictureTable pictures;
  auto pic = std::make_unique<Picture>();
  pic->width = 30, pic->height = 30;
  pic->pixels.assign(30 * 30 * 4, 255);
  pictures.put(0, std::move(pic));
  FrameState frame;
  FrameTarget target{surface, pictures, frame};
  drawItem(target, f.tile(0));
  for (uint8_t b : surface.pixels) ASSERT_EQ(b, 0);
  EXPECT_EQ(finishEffect(f.effect, f.view(), f.context).result, 1);
  EXPECT_EQ(finishEffect(f.effect, f.view(), f.context).result, 0);  // none active
  f.start(179, 300);
  EXPECT_TRUE(finishEffect(f.effect, f.view(), f.context).removeSprite);
  f.start(64, 300);
  EXPECT_EQ(finishEffect(f.effect, f.view(), f.context).result, 2);
  f.start(127, 300);
  EXPECT_EQ(finishEffect(f.effect, f.view(), f.context).result, 2);
}

TEST(SpriteEffect, TilesAreChainedAndFinishRestoresThePosition) {
  Fixture f(40, 40, 10, 10);
  f.start(20, 100, 16, 0, 64);
  ASSERT_EQ(f.effect.tiles.size(), 9u);
  const DrawItem* t = f.effect.firstTile();
  for (size_t i = 0; i < 8; ++i, t = t->next) ASSERT_EQ(t, &f.effect.tiles[i]);
  EXPECT_EQ(t, f.effect.lastTile());
  EXPECT_EQ(t->next, nullptr);
  f.px = 99000;  // the sprite moved while the effect ran
  const EffectFinish done = finishEffect(f.effect, f.view(), f.context);
  EXPECT_EQ(done.positionX, 10000);
  EXPECT_EQ(done.positionY, 10000);
  EXPECT_EQ(f.effect.firstTile(), nullptr);
}

TEST(SpriteEffect, StepsMarkOnlyWhatChanged) {
  Fixture f(100, 50, 20, 30);
  f.start(129, 1000);
  ASSERT_EQ(dirtyRectCount(f.dirty), 1);
  Rect r;
  dirtyRectAt(f.dirty, 0, r);
  EXPECT_EQ(r, (Rect{20, 30, 120, 80}));
  clearDirtyRects(f.dirty);
  f.at(100);
  EXPECT_EQ(dirtyRectCount(f.dirty), 1);
  clearDirtyRects(f.dirty);
  f.at(101);  // same opacity as at 100 (25): nothing to redraw
  EXPECT_EQ(dirtyRectCount(f.dirty), 0);
  // A slide marks where the tile was and where it is.
  f.start(160, 1000);
  clearDirtyRects(f.dirty);
  f.at(500);
  dirtyRectAt(f.dirty, 0, r);
  EXPECT_EQ(r, (Rect{20, 30, 170, 80}));
  // Finishing marks the tiles' area and the sprite's own rectangle.
  clearDirtyRects(f.dirty);
  finishEffect(f.effect, f.view(), f.context);
  dirtyRectAt(f.dirty, 0, r);
  EXPECT_EQ(r, (Rect{20, 30, 170, 80}));
}

TEST(SpriteEffect, WipeDrawnThroughTheCompositor) {
  // A column wipe half-way: revealed columns show the sprite, the rest the background.
  Surface surface;
  surface.resize(40, 20);
  PictureTable pictures;
  auto sprite = std::make_unique<Picture>();
  sprite->width = 24, sprite->height = 10;
  sprite->pixels.resize(24 * 10 * 4);
  for (size_t i = 0; i < sprite->pixels.size(); i += 4)
    sprite->pixels[i] = uint8_t(i / 4), sprite->pixels[i + 1] = 7, sprite->pixels[i + 2] = 9, sprite->pixels[i + 3] = 255;
  pictures.put(0, std::move(sprite));
  FrameState frame;
  frame.clearBeforeDraw = true;
  FrameTarget target{surface, pictures, frame};
  Fixture f(24, 10, 8, 5, 40, 20);
  f.start(6, 1000);  // 3 columns, N = 9
  f.at(560);         // phase 5: every column shows 5 or 4 pixels
  DirtyRectList all;
  all.setBounds(40, 20);
  addDirtyRect(all, {0, 0, 40, 20}, false);
  drawFrame(target, all, f.effect.firstTile(), 256);
  for (int x = 0; x < 40; ++x) {
    const int sx = x - 8, column = sx / 8, within = sx % 8;
    const int revealed = column == 2 ? 4 : 5;  // column 2 started one phase later
    const bool shown = sx >= 0 && sx < 24 && within < revealed;
    const uint8_t* p = surface.row(7) + x * 3;
    EXPECT_EQ(p[1], shown ? 7 : 0) << x;
    if (shown) {
      EXPECT_EQ(p[0], uint8_t(2 * 24 + sx));
    }
  }
}

}  // namespace
}  // namespace sorel
