// Frame composition: the transform set-up against values worked out by hand from its rules,
// straight and transformed placement and clipping, the picture-bounds trim, the screen tone and
// the frame loop over the dirty rectangles.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/graphics/draw_item.h"

namespace sorel {
namespace {

struct Rng {
  uint32_t s;
  uint32_t next() {
    s ^= s << 13, s ^= s >> 17, s ^= s << 5;
    return s;
  }
  int range(int lo, int hi) { return lo + int(next() % uint32_t(hi - lo + 1)); }
};

Picture randomPicture(Rng& rng, int w, int h) {
  Picture p;
  p.width = uint32_t(w), p.height = uint32_t(h);
  p.pixels.resize(size_t(w) * h * 4);
  for (size_t i = 0; i < p.pixels.size(); i += 4) {
    for (int c = 0; c < 3; ++c) p.pixels[i + c] = uint8_t(rng.next());
    const uint32_t r = rng.next() % 3;
    p.pixels[i + 3] = r == 0 ? 0 : r == 1 ? 255 : uint8_t(1 + rng.next() % 254);
  }
  return p;
}

Surface randomSurface(Rng& rng, int w, int h) {
  Surface s;
  s.resize(w, h);
  for (auto& b : s.pixels) b = uint8_t(rng.next());
  return s;
}

struct Scene {
  Surface surface;
  PictureTable pictures;
  FrameState frame;
  FrameTarget target{surface, pictures, frame};
};

DrawItem pictureItem(int slot, Rect src, int x, int y) {
  DrawItem it;
  it.kind = kItemPicture;
  it.slot = slot;
  it.setSource(src);
  it.x = x, it.y = y;
  return it;
}

const uint8_t* px(const Surface& s, int x, int y) { return s.row(y) + x * 3; }

TEST(Transform, RotationTermsOfWholeDegrees) {
  struct Case {
    int angle;
    RotationTerms want;
  };
  // {s1, c1, s2, c2, sin(θ1 + π/2), cos(θ1 + π/2)}, truncated toward zero.
  const Case cases[] = {
      {1, {-17, 1023, 17, 1023, 1023, 17}},     {30, {-511, 886, 512, 886, 886, 511}},
      {45, {-724, 724, 724, 724, 724, 724}},    {60, {-886, 512, 886, 511, 512, 886}},
      {90, {-1023, 0, 1023, 0, 0, 1023}},       {180, {0, -1023, 0, -1023, -1023, 0}},
      {270, {1023, 0, -1023, 0, 0, -1023}},     {359, {17, 1023, -17, 1023, 1023, -17}},
      {-90, {1023, 0, -1023, 0, 0, -1023}},     {400, {-658, 784, 658, 784, 784, 658}},
  };
  for (const Case& c : cases) {
    const RotationTerms r = rotationTerms(c.angle);
    SCOPED_TRACE(c.angle);
    EXPECT_EQ(r.s1, c.want.s1);
    EXPECT_EQ(r.c1, c.want.c1);
    EXPECT_EQ(r.s2, c.want.s2);
    EXPECT_EQ(r.c2, c.want.c2);
    EXPECT_EQ(r.sq, c.want.sq);
    EXPECT_EQ(r.cq, c.want.cq);
  }
}

void expectTransform(const BlitTransform& t, std::vector<int32_t> want) {
  EXPECT_EQ((std::vector<int32_t>{t.width, t.height, t.skipX, t.skipY, t.x0, t.y0, t.x1, t.y1, t.dudx, t.dvdx,
                                  t.dudy, t.dvdy, t.startU, t.startV}),
            want);
}

TEST(Transform, QuarterTurnOfATenByTwentyBoxIsTwentyOneSquare) {
  DrawItem it = pictureItem(0, {0, 0, 10, 20}, 100, 50);
  it.pivotX = 5, it.pivotY = 10, it.angle = 90;
  BlitTransform t;
  ASSERT_TRUE(setUpTransform(it, {0, 0, 640, 480}, t));
  expectTransform(t, {21, 21, 0, 0, 95, 50, 116, 71, 0, -1023, 1023, 0, -5110, 20470});
  EXPECT_EQ(itemBounds(it), (Rect{95, 50, 116, 71}));
}

TEST(Transform, RotationWithUnequalScalesUsesTheMeanAndClips) {
  DrawItem it = pictureItem(0, {3, 4, 43, 34}, 200, 100);
  it.pivotX = 20, it.pivotY = 15, it.angle = 30, it.scaleX = 1500, it.scaleY = 500;
  BlitTransform t;
  ASSERT_TRUE(setUpTransform(it, {-1000, -1000, 1000, 1000}, t));
  expectTransform(t, {55, 55, 0, 0, 193, 88, 248, 143, 886, -511, 511, 886, -17239, 5235});
  ASSERT_TRUE(setUpTransform(it, {210, 95, 260, 150}, t));
  expectTransform(t, {38, 48, 17, 7, 210, 95, 248, 143, 886, -511, 511, 886, -17239, 5235});
  // Scaled up about the pivot.
  it.angle = 45, it.scaleX = it.scaleY = 2000, it.pivotX = it.pivotY = 0, it.x = 50, it.y = 40;
  it.setSource({0, 0, 16, 8});
  ASSERT_TRUE(setUpTransform(it, {0, 0, 640, 480}, t));
  expectTransform(t, {45, 47, 0, 0, 34, 34, 79, 81, 362, -362, 362, 362, -7736, 4096});
  // Wholly outside the clip, or no mean scale: nothing.
  EXPECT_FALSE(setUpTransform(it, {200, 200, 300, 300}, t));
  it.scaleX = 5, it.scaleY = -5;
  EXPECT_FALSE(setUpTransform(it, {0, 0, 640, 480}, t));
}

TEST(Transform, ScaleOnlyStepsAndOffset) {
  DrawItem it = pictureItem(0, {0, 0, 30, 30}, 10, 10);
  it.pivotX = 7, it.pivotY = 3, it.scaleY = 999;
  BlitTransform t;
  ASSERT_TRUE(setUpTransform(it, {0, 0, 640, 480}, t));
  expectTransform(t, {30, 29, 0, 0, 10, 11, 40, 40, 1024, 0, 0, 1025, 0, 0});
  ASSERT_TRUE(setUpTransform(it, {0, 0, 640, 480}, t, -15, 2));
  expectTransform(t, {25, 29, 5, 0, 0, 13, 25, 42, 1024, 0, 0, 1025, 0, 0});
}

TEST(Transform, RotatedItemLeftOfTheScreenKeepsItsOwnBox) {
  // Every corner lies left of x = 0: the box is that of the corners, so the picture keeps its
  // place (and a clip at the screen leaves nothing to draw).
  DrawItem it = pictureItem(0, {0, 0, 20, 20}, -100, 10);
  it.pivotX = 10, it.pivotY = 10, it.angle = 90;
  EXPECT_EQ(itemBounds(it), (Rect{-100, 10, -79, 31}));
  BlitTransform t;
  EXPECT_FALSE(setUpTransform(it, {0, 0, 640, 480}, t));
}

TEST(DrawItem, StraightPlacementAndClipping) {
  Rng rng{11};
  Scene sc;
  sc.surface = randomSurface(rng, 64, 48);
  const Surface base = sc.surface;
  sc.pictures.put(3, std::make_unique<Picture>(randomPicture(rng, 20, 16)));
  const Picture& pic = *sc.pictures.get(3);
  const DrawItem it = pictureItem(3, {2, 1, 18, 15}, 30, 20);
  const Rect clip{35, 22, 60, 30};
  drawItem(sc.target, it, &clip);
  // The same as a blit of the clipped part, and nothing outside the clip.
  Surface want = base;
  pictureBlit(pic, {7, 3, 18, 11}, want, 35, 22, 256, 256, Mix::Blend);
  EXPECT_EQ(sc.surface.pixels, want.pixels);

  // A box whose right edge is exactly the clip's left edge passes and draws nothing.
  sc.surface = base;
  const Rect right{46, 0, 64, 48};
  drawItem(sc.target, it, &right);
  EXPECT_EQ(sc.surface.pixels, base.pixels);
}

TEST(DrawItem, TransformedAtNaturalSizeMatchesStraightInsideAnyClip) {
  Rng rng{21};
  Scene sc;
  sc.surface = randomSurface(rng, 64, 48);
  const Surface base = sc.surface;
  sc.pictures.put(0, std::make_unique<Picture>(randomPicture(rng, 25, 19)));
  DrawItem it = pictureItem(0, {1, 2, 24, 17}, 9, 7);
  it.pivotX = 4, it.pivotY = 6, it.opacity = 180, it.brightness = 300;
  for (const Rect clip : {Rect{0, 0, 64, 48}, Rect{12, 10, 20, 40}, Rect{0, 0, 10, 8}}) {
    sc.surface = base;
    drawItem(sc.target, it, &clip);
    Surface straight = sc.surface;
    BlitTransform t;
    ASSERT_TRUE(setUpTransform(it, clip, t));
    Surface transformed = base;
    pictureBlitTransformed(*sc.pictures.get(0), it.source(), transformed, t, 180, 300, Mix::Blend);
    EXPECT_EQ(transformed.pixels, straight.pixels);
  }
}

TEST(DrawItem, ClippingATransformedItemOnlyCutsIt) {
  Rng rng{31};
  Scene sc;
  const Surface base = randomSurface(rng, 80, 60);
  sc.pictures.put(5, std::make_unique<Picture>(randomPicture(rng, 30, 22)));
  for (int trial = 0; trial < 30; ++trial) {
    DrawItem it = pictureItem(5, {rng.range(0, 4), rng.range(0, 4), rng.range(20, 30), rng.range(15, 22)},
                              rng.range(-10, 60), rng.range(-10, 45));
    it.angle = rng.range(-400, 400), it.pivotX = rng.range(-5, 20), it.pivotY = rng.range(-5, 20);
    it.scaleX = rng.range(300, 2500), it.scaleY = rng.range(300, 2500);
    it.mode = int(rng.next() % 2);
    const Rect clip{rng.range(0, 40), rng.range(0, 30), rng.range(40, 80), rng.range(30, 60)};
    sc.surface = base;
    drawItem(sc.target, it);
    const Surface full = sc.surface;
    sc.surface = base;
    drawItem(sc.target, it, &clip);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x) {
        const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
        ASSERT_EQ(0, std::memcmp(px(sc.surface, x, y), px(inside ? full : base, x, y), 3))
            << "trial " << trial << " at " << x << "," << y;
      }
  }
}

TEST(DrawItem, SourceReachingPastThePictureDrawsOnlyItsPixels) {
  Rng rng{41};
  Scene sc;
  sc.surface = randomSurface(rng, 64, 48);
  const Surface base = sc.surface;
  // A design-unit rectangle (40 × 30) on a half-size picture (20 × 15).
  sc.pictures.put(1, std::make_unique<Picture>(randomPicture(rng, 20, 15)));
  drawItem(sc.target, pictureItem(1, {0, 0, 40, 30}, 5, 6));
  Surface want = base;
  pictureBlit(*sc.pictures.get(1), {0, 0, 20, 15}, want, 5, 6, 256, 256, Mix::Blend);
  EXPECT_EQ(sc.surface.pixels, want.pixels);
  // Reaching out on the left and top: the existing pixels keep their place.
  sc.surface = base;
  drawItem(sc.target, pictureItem(1, {-4, -3, 10, 10}, 5, 6));
  want = base;
  pictureBlit(*sc.pictures.get(1), {0, 0, 10, 10}, want, 9, 9, 256, 256, Mix::Blend);
  EXPECT_EQ(sc.surface.pixels, want.pixels);
  // Rotated: samples outside the picture draw nothing (the sanitiser build checks the reads).
  sc.surface = base;
  DrawItem turned = pictureItem(1, {-30, -30, 90, 90}, 0, 0);
  turned.angle = 33;
  drawItem(sc.target, turned);
}

TEST(DrawItem, WhatDrawsNothing) {
  Rng rng{51};
  Scene sc;
  sc.surface = randomSurface(rng, 32, 32);
  const Surface base = sc.surface;
  sc.pictures.put(2, std::make_unique<Picture>(randomPicture(rng, 8, 8)));
  DrawItem it = pictureItem(2, {0, 0, 8, 8}, 4, 4);
  DrawItem negativeSlot = it, emptySlot = it, otherKind = it, otherMode = it, hidden = it, squashed = it;
  // Positions and sources from damaged data, whose sums leave 32 bits: far off the surface.
  DrawItem farOut = it, farSource = it;
  farOut.x = -2000000000, farOut.srcLeft = 2000000000 - 8, farOut.srcRight = 2000000000;
  farSource.x = 2000000000, farSource.srcLeft = -2000000000;
  negativeSlot.slot = -1;
  emptySlot.slot = 9;
  otherKind.kind = 2;
  otherMode.mode = 2;
  hidden.opacity = 0, hidden.hideWhenClear = -1;
  squashed.scaleX = 0;
  DrawItem colour;
  colour.kind = kItemColour;
  colour.setSource({0, 0, 10, 10});
  colour.colour = 0xFFFFFF;
  DrawItem clearColour = colour, addTurned = colour, flatColour = colour;
  clearColour.opacity = 0;
  addTurned.mode = 1, addTurned.angle = 10;  // no transformed additive rectangle
  flatColour.scaleY = 0;
  for (const DrawItem* d : {&negativeSlot, &emptySlot, &otherKind, &otherMode, &hidden, &squashed, &clearColour,
                            &addTurned, &flatColour, &farOut, &farSource})
    drawItem(sc.target, *d);
  EXPECT_EQ(sc.surface.pixels, base.pixels);
}

TEST(DrawItem, ClearPictureWithoutHideStillMasksToTheDisplay) {
  Scene sc;
  sc.surface.resize(4, 1);
  std::fill(sc.surface.pixels.begin(), sc.surface.pixels.end(), uint8_t(0xFF));
  auto pic = std::make_unique<Picture>();
  pic->width = 4, pic->height = 1;
  pic->pixels = {9, 9, 9, 255, 9, 9, 9, 0, 9, 9, 9, 255, 9, 9, 9, 128};
  sc.pictures.put(0, std::move(pic));
  DrawItem it = pictureItem(0, {0, 0, 4, 1}, 0, 0);
  it.opacity = 0;  // hideWhenClear 0: drawn, and opacity 0 keeps only what RGB565 shows
  drawItem(sc.target, it);
  EXPECT_EQ(sc.surface.pixels,
            (std::vector<uint8_t>{0xF8, 0xFC, 0xF8, 0xFF, 0xFF, 0xFF, 0xF8, 0xFC, 0xF8, 0xF8, 0xFC, 0xF8}));
}

TEST(DrawItem, ColourRectanglesStraightAndTurned) {
  Scene sc;
  sc.surface.resize(40, 40);
  DrawItem it;
  it.kind = kItemColour;
  it.colour = 0x00102030;
  it.setSource({100, 100, 110, 105});  // only the size counts
  it.x = 35, it.y = 38;
  drawItem(sc.target, it);
  EXPECT_EQ(px(sc.surface, 35, 38)[0], 0x30);
  EXPECT_EQ(px(sc.surface, 39, 39)[2], 0x10);
  EXPECT_EQ(px(sc.surface, 34, 38)[0], 0);
  // A quarter turn of a 10 × 2 bar about its centre stands it upright.
  sc.surface.resize(40, 40);
  it.setSource({0, 0, 10, 2});
  it.x = 10, it.y = 10, it.pivotX = 5, it.pivotY = 1, it.angle = 90;
  drawItem(sc.target, it);
  int count = 0, minX = 99, maxX = -1, minY = 99, maxY = -1;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      if (px(sc.surface, x, y)[0] == 0x30) {
        ++count;
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  // The truncated steps (1023/1024 of a pixel) sample one row and one column more than the
  // bar's 2 × 10.
  EXPECT_EQ(count, 33);
  EXPECT_EQ(maxX - minX + 1, 3);
  EXPECT_EQ(maxY - minY + 1, 11);
}

TEST(DrawFrame, ScreenToneStartsEveryRectangleAtTheGameBrightness) {
  Scene sc;
  sc.surface.resize(40, 20);
  auto white = std::make_unique<Picture>();
  white->width = 40, white->height = 20;
  white->pixels.assign(40 * 20 * 4, 255);
  sc.pictures.put(0, std::move(white));
  DrawItem background = pictureItem(0, {0, 0, 40, 20}, 0, 0);
  DrawItem tone;
  tone.kind = kItemScreenTone;
  tone.brightness = 128;
  DrawItem overlay = pictureItem(0, {0, 0, 40, 20}, 0, 0);
  DrawItem steady = overlay;
  steady.flags = kItemIgnoresTone;
  steady.setSource({0, 0, 2, 2});
  background.next = &tone;
  tone.next = &overlay;
  overlay.next = &steady;
  DirtyRectList dirty;
  dirty.setBounds(40, 20);
  addDirtyRect(dirty, {0, 0, 10, 10}, false);
  addDirtyRect(dirty, {20, 0, 30, 10}, false);
  drawFrame(sc.target, dirty, &background, 256);
  // In both rectangles the background is drawn at the game's 256, the overlay at 128 (white
  // 255 toned to 127); the item that ignores the tone stays white.
  EXPECT_EQ(px(sc.surface, 5, 5)[0], 127);
  EXPECT_EQ(px(sc.surface, 25, 5)[0], 127);
  EXPECT_EQ(px(sc.surface, 1, 1)[0], 255);
  EXPECT_EQ(px(sc.surface, 15, 5)[0], 0);  // not dirty
  EXPECT_EQ(sc.frame.screenTone, 128);

  // A tone item with toneFill fills its clip with the grey of the tone; 0 only changes it.
  tone.toneFill = 1;
  tone.brightness = 512;
  tone.next = nullptr;
  clearDirtyRects(dirty);
  addDirtyRect(dirty, {0, 10, 5, 20}, false);
  drawFrame(sc.target, dirty, &tone, 256);
  EXPECT_EQ(px(sc.surface, 2, 15)[1], 255);  // white, not a wrapped grey
  EXPECT_EQ(toneGrey(200), 0x00C7C7C7u);
  EXPECT_EQ(toneGrey(384), 0x00FFFFFFu);  // (384 × 255) >> 8 = 382 is held at white
  EXPECT_EQ(toneGrey(0), 0u);
}

TEST(DrawFrame, ClearBeforeDrawingToBlackOrGrey) {
  Scene sc;
  sc.surface.resize(10, 10);
  std::fill(sc.surface.pixels.begin(), sc.surface.pixels.end(), uint8_t(77));
  DirtyRectList dirty;
  dirty.setBounds(10, 10);
  addDirtyRect(dirty, {0, 0, 2, 2}, false);
  drawFrame(sc.target, dirty, nullptr, 256);
  EXPECT_EQ(px(sc.surface, 0, 0)[0], 77);  // no clearing asked for
  sc.frame.clearBeforeDraw = true;
  drawFrame(sc.target, dirty, nullptr, 256);
  EXPECT_EQ(px(sc.surface, 1, 1)[2], 0);
  EXPECT_EQ(px(sc.surface, 2, 2)[2], 77);
  sc.frame.clearToGrey = true;
  drawFrame(sc.target, dirty, nullptr, 128);  // grey of the game's tone: (128 × 255) >> 8
  EXPECT_EQ(px(sc.surface, 0, 1)[1], 127);
}

TEST(DrawFrame, EffectiveBrightness) {
  DrawItem it;
  it.brightness = 300;
  EXPECT_EQ(effectiveBrightness(it, 256), 300);
  EXPECT_EQ(effectiveBrightness(it, 128), 150);
  EXPECT_EQ(effectiveBrightness(it, 0), 0);
  it.flags = kItemIgnoresTone;
  EXPECT_EQ(effectiveBrightness(it, 0), 300);
}

}  // namespace
}  // namespace sorel
