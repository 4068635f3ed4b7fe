// The layer table with sprite effects: tiles in place of the sprite's item in the display list,
// their layout at chosen times, finishing (by time, by deletion, at once), the dirty marking, and
// the effect sizes on the half-size screen.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/story/layers.h"
#include "engine/resources/screen.h"

namespace sorel {
namespace {

class Layers : public ::testing::Test {
 protected:
  void SetUp() override { useScreen(640, 480); }
  void TearDown() override {
    screenWidth = 640;
    screenHeight = 480;
  }
  void useScreen(int w, int h) {
    screenWidth = w;
    screenHeight = h;
    layers = std::make_unique<LayerTable>(pictures, errorWord);
    layers->setDirtyMarker([this](const Rect& r) { dirty.push_back(r); });
  }
  void picture(int slot, uint32_t w, uint32_t h) {
    auto p = std::make_unique<Picture>();
    p->width = w;
    p->height = h;
    p->designWidth = int32_t(w * 640 / uint32_t(screenWidth));
    p->designHeight = int32_t(h * 480 / uint32_t(screenHeight));
    p->pixels.assign(size_t(w) * h * 4, 255);
    pictures.put(slot, std::move(p));
  }
  /// The display list as a vector.
  std::vector<DrawItem> list() {
    std::vector<DrawItem> out;
    for (const DrawItem* i = layers->displayList(); i; i = i->next) out.push_back(*i);
    return out;
  }
  Rect dirtyUnion() const {
    Rect u;
    for (const Rect& r : dirty) u = u.empty() ? r : unite(u, r);
    return u;
  }

  PictureTable pictures;
  uint32_t errorWord = 0;
  std::vector<Rect> dirty;
  std::unique_ptr<LayerTable> layers;
};

TEST_F(Layers, ColumnWipeOutReplacesTheSpriteByItsTilesUntilItEnds) {
  picture(28, 640, 480);
  picture(0, 640, 480);
  layers->place(28, 28, kWholePicture, 0, 0, 0, 0, 56);
  layers->place(0, 0, kWholePicture, 0, 0, 0, 0, 0);
  ASSERT_TRUE(layers->startEffect(0, 134, 1000, 24, 1, 1, 5000));
  // 80 columns of 8 pixels, two starting per phase: 79 / 2 + 8 = 47 phases.
  const EffectState& e = layers->get(0)->effect;
  EXPECT_EQ(e.tiles.size(), 80u);
  EXPECT_EQ(e.phases, 47);
  auto items = list();
  ASSERT_EQ(items.size(), 81u) << "the scene picture, then the capture's tiles on top";
  EXPECT_EQ(items[0].slot, 28);
  EXPECT_EQ(items[1].source(), (Rect{0, 0, 8, 480}));
  EXPECT_EQ(items[80].source(), (Rect{632, 0, 640, 480}));
  EXPECT_EQ(items[80].next, nullptr);

  // 500 ms: phase 23. Column 0 has gone, column 40 (starting at phase 20) lost 3 pixels from its
  // left, column 79 (phase 39) is whole; the remaining part stays in its place.
  dirty.clear();
  layers->update(5500);
  items = list();
  ASSERT_EQ(items.size(), 81u);
  EXPECT_TRUE(items[1].source().empty());
  EXPECT_EQ(items[41].source(), (Rect{323, 0, 328, 480}));
  EXPECT_EQ(items[41].x, 323);
  EXPECT_EQ(items[80].source(), (Rect{632, 0, 640, 480}));
  ASSERT_FALSE(dirty.empty());
  EXPECT_LE(dirtyUnion().right, 640);
  EXPECT_GE(dirtyUnion().right, 328) << "the columns that moved are redrawn";

  // The time is up: the out effect removes its layer and redraws where it was.
  dirty.clear();
  layers->update(6000);
  EXPECT_FALSE(layers->exists(0));
  EXPECT_EQ(list().size(), 1u);
  EXPECT_EQ(dirtyUnion(), (Rect{0, 0, 640, 480}));
}

TEST_F(Layers, FadeOutOpacityFollowsTheClock) {
  picture(0, 640, 480);
  layers->place(0, 0, kWholePicture, 0, 0, 0, 0, 0);
  layers->setFlags(0, kSpriteIgnoreTone);
  ASSERT_TRUE(layers->startEffect(0, 129, 1000, 0, 0, 0, 100));
  EXPECT_TRUE(layers->effectRunning(0, 100));
  for (uint32_t t : {0u, 250u, 500u, 999u}) {
    layers->update(100 + t);
    auto items = list();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].opacity, int32_t(256 - t * 256 / 1000)) << t;
    EXPECT_EQ(items[0].flags, kSpriteIgnoreTone) << "tiles are copies of the sprite's item";
  }
  EXPECT_FALSE(layers->effectRunning(0, 1100));
  layers->update(1100);
  EXPECT_FALSE(layers->exists(0));
}

TEST_F(Layers, FinishingRestoresTheSpriteAndDeletingFinishesFirst) {
  picture(24, 300, 460);
  layers->place(24, 24, kWholePicture, 170, 20, 0, 0, 25);
  layers->setOpacity(24, 100);
  // A fade in ended early shows the sprite whole, at full opacity, as its own single item.
  ASSERT_TRUE(layers->startEffect(24, 1, 1000, 0, 0, 0, 0));
  layers->update(300);
  layers->finishEffect(24);
  const Sprite* s = layers->get(24);
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->effect.active);
  EXPECT_EQ(s->opacity, 256);
  auto items = list();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].source(), (Rect{0, 0, 300, 460}));
  EXPECT_EQ(items[0].x, 170);

  // A slide in from the left has its tile left of the sprite; deleting the layer with redraw
  // clears where the tile was, not only the sprite's own rectangle.
  ASSERT_TRUE(layers->startEffect(24, 32, 1000, 0, 0, 0, 1000));
  layers->update(1250);  // a quarter: the tile lies 225 pixels left of its place
  EXPECT_EQ(list()[0].x, 170 - 300 + 75);
  dirty.clear();
  layers->remove(24, true);
  EXPECT_FALSE(layers->exists(24));
  EXPECT_LE(dirtyUnion().left, 0);
  EXPECT_GE(dirtyUnion().right, 470);
  // Finishing or stepping an empty or effect-free layer does nothing.
  layers->finishEffect(24);
  layers->update(3000);
  EXPECT_EQ(errorWord, 0u);
}

TEST_F(Layers, EffectsAreRefusedOutsideTheirTypesAndOnEmptyLayers) {
  picture(5, 10, 10);
  layers->place(5, 5, kWholePicture, 0, 0, 0, 0, 5);
  EXPECT_FALSE(layers->startEffect(5, 0, 100, 0, 0, 0, 0));
  EXPECT_FALSE(layers->startEffect(5, 192, 100, 0, 0, 0, 0));
  EXPECT_FALSE(layers->get(5)->effect.active);
  EXPECT_FALSE(layers->startEffect(6, 1, 100, 0, 0, 0, 0));
  EXPECT_EQ(errorWord, 0u);
  EXPECT_FALSE(layers->startEffect(600, 1, 100, 0, 0, 0, 0));
  EXPECT_EQ(errorWord, kErrorElementSlot);
  // A layer placed afresh loses the effect of the layer it replaces.
  ASSERT_TRUE(layers->startEffect(5, 160, 1000, 0, 0, 0, 0));
  layers->place(5, 5, kWholePicture, 0, 0, 0, 0, 5);
  EXPECT_FALSE(layers->get(5)->effect.active);
}

TEST_F(Layers, HalfSizeScreenScalesTheDissolveCellsAndTheBands) {
  useScreen(320, 240);
  picture(0, 320, 240);
  layers->place(0, 0, kWholePicture, 0, 0, 0, 0, 0);
  ASSERT_TRUE(layers->startEffect(0, 178, 1000, 0, 0, 0, 0));
  auto items = list();
  ASSERT_EQ(items.size(), 64u);
  EXPECT_EQ(items[9].source(), (Rect{40, 30, 80, 60})) << "cells of an eighth of the screen";
  EXPECT_EQ(items[9].x, 40);
  layers->update(500);
  int hidden = 0;
  for (const DrawItem& i : list()) hidden += i.source().empty() ? 1 : 0;
  EXPECT_EQ(hidden, 32);
  // Bands given in design units: 48 design lines are 24 screen lines.
  ASSERT_TRUE(layers->startEffect(0, 11, 1000, 48, 1, 2, 0));
  EXPECT_EQ(layers->get(0)->effect.stripSize, 24);
  EXPECT_EQ(layers->get(0)->effect.tiles.size(), 10u);
}

}  // namespace
}  // namespace sorel
