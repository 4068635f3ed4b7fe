// The dirty-rectangle list: dropping and clamping at the screen, the merge rules, and the
// one-pass visit order.
#include <gtest/gtest.h>

#include <vector>

#include "engine/graphics/dirty_rects.h"

namespace sorel {
namespace {

std::vector<Rect> all(const DirtyRectList& list) {
  std::vector<Rect> out;
  for (int i = 0; i < dirtyRectCount(list); ++i) {
    Rect r;
    EXPECT_TRUE(dirtyRectAt(list, i, r));
    out.push_back(r);
  }
  return out;
}

TEST(DirtyRects, DropsOffScreenAndClampsTheRest) {
  DirtyRectList list;  // 320 × 240 until set
  EXPECT_FALSE(addDirtyRect(list, {-20, 0, -1, 10}, false));
  EXPECT_FALSE(addDirtyRect(list, {321, 0, 400, 10}, false));
  EXPECT_FALSE(addDirtyRect(list, {0, 241, 10, 300}, true));
  EXPECT_FALSE(addDirtyRect(list, {0, -9, 10, -1}, true));
  // Touching the screen's edge from outside leaves nothing to redraw.
  EXPECT_FALSE(addDirtyRect(list, {-10, 0, 0, 10}, false));
  EXPECT_TRUE(addDirtyRect(list, {-10, -10, 400, 300}, false));
  EXPECT_EQ(all(list), (std::vector<Rect>{{0, 0, 320, 240}}));
  list.setBounds(640, 480);
  clearDirtyRects(list);
  EXPECT_TRUE(addDirtyRect(list, {600, 400, 700, 500}, false));
  EXPECT_EQ(all(list), (std::vector<Rect>{{600, 400, 640, 480}}));
  Rect r{1, 2, 3, 4};
  EXPECT_FALSE(dirtyRectAt(list, 1, r));
  EXPECT_FALSE(dirtyRectAt(list, -1, r));
  EXPECT_EQ(r, (Rect{1, 2, 3, 4}));
}

TEST(DirtyRects, WithoutMergeEverythingIsAppended) {
  DirtyRectList list;
  EXPECT_TRUE(addDirtyRect(list, {0, 0, 10, 10}, false));
  EXPECT_TRUE(addDirtyRect(list, {0, 0, 10, 10}, false));
  EXPECT_TRUE(addDirtyRect(list, {5, 5, 8, 8}, false));
  EXPECT_EQ(dirtyRectCount(list), 3);
}

TEST(DirtyRects, MergeRules) {
  DirtyRectList list;
  ASSERT_TRUE(addDirtyRect(list, {10, 10, 50, 50}, true));
  // Already covered by a node: dropped, list unchanged.
  EXPECT_FALSE(addDirtyRect(list, {20, 20, 30, 30}, true));
  EXPECT_FALSE(addDirtyRect(list, {10, 10, 50, 50}, true));
  EXPECT_EQ(all(list), (std::vector<Rect>{{10, 10, 50, 50}}));
  // Touching edges (right = other's left) become one.
  EXPECT_TRUE(addDirtyRect(list, {50, 10, 70, 30}, true));
  EXPECT_EQ(all(list), (std::vector<Rect>{{10, 10, 70, 50}}));
  // A node the new rectangle contains is removed; a separate node stays in its place.
  ASSERT_TRUE(addDirtyRect(list, {100, 100, 110, 110}, false));
  EXPECT_TRUE(addDirtyRect(list, {0, 0, 80, 60}, true));
  EXPECT_EQ(all(list), (std::vector<Rect>{{100, 100, 110, 110}, {0, 0, 80, 60}}));
  // Even a corner contact merges.
  EXPECT_TRUE(addDirtyRect(list, {110, 110, 120, 120}, true));
  EXPECT_EQ(all(list), (std::vector<Rect>{{0, 0, 80, 60}, {100, 100, 120, 120}}));
}

TEST(DirtyRects, NodesVisitedBeforeTheRectangleGrewStay) {
  DirtyRectList list;
  ASSERT_TRUE(addDirtyRect(list, {0, 0, 10, 10}, false));
  ASSERT_TRUE(addDirtyRect(list, {10, 0, 20, 10}, false));
  // The first node does not touch (15..30); the second does, and the grown rectangle (10..30)
  // would now touch the first, which is not visited again.
  EXPECT_TRUE(addDirtyRect(list, {15, 0, 30, 10}, true));
  EXPECT_EQ(all(list), (std::vector<Rect>{{0, 0, 10, 10}, {10, 0, 30, 10}}));
}

TEST(DirtyRects, GrowingRectangleAbsorbsEveryLaterNodeItReaches) {
  DirtyRectList list;
  ASSERT_TRUE(addDirtyRect(list, {0, 0, 10, 10}, true));
  ASSERT_TRUE(addDirtyRect(list, {20, 0, 30, 10}, true));
  ASSERT_TRUE(addDirtyRect(list, {40, 0, 50, 10}, true));
  // Reaches the first; grown to (0..12) it does not reach the others.
  EXPECT_TRUE(addDirtyRect(list, {5, 0, 12, 10}, true));
  EXPECT_EQ(dirtyRectCount(list), 3);
  // Spanning everything: each node is absorbed as it is met.
  EXPECT_TRUE(addDirtyRect(list, {11, 2, 41, 3}, true));
  EXPECT_EQ(all(list), (std::vector<Rect>{{0, 0, 50, 10}}));
}

TEST(DirtyRects, AnyMergedTouchesLooksOnlyAtMergedNodes) {
  DirtyRectList list;
  ASSERT_TRUE(addDirtyRect(list, {0, 0, 10, 10}, false));
  ASSERT_TRUE(addDirtyRect(list, {100, 100, 110, 110}, true));
  EXPECT_FALSE(anyMergedDirtyRectTouches(list, {5, 5, 6, 6}));
  EXPECT_TRUE(anyMergedDirtyRectTouches(list, {110, 105, 120, 106}));  // edge contact
  EXPECT_FALSE(anyMergedDirtyRectTouches(list, {111, 105, 120, 106}));
  clearDirtyRects(list);
  EXPECT_EQ(dirtyRectCount(list), 0);
  EXPECT_FALSE(anyMergedDirtyRectTouches(list, {0, 0, 320, 240}));
}

}  // namespace
}  // namespace sorel
