// The placement of the logical screen in a window of any size, and the way back for the pen.
#include "platform/letterbox.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

struct Case {
  int ww, wh, lw, lh;
  ScaleSteps steps;
  ViewRect want;
};

TEST(Letterbox, PlacesTheScreenAsLargeAsFitsWithBars) {
  const Case cases[] = {
      // Same aspect ratio: the whole window, no bars.
      {640, 480, 640, 480, ScaleSteps::Any, {0, 0, 640, 480}},
      {1280, 960, 320, 240, ScaleSteps::Any, {0, 0, 1280, 960}},
      // A 16:10 screen: bars left and right.
      {1280, 800, 640, 480, ScaleSteps::Any, {106, 0, 1067, 800}},
      // Whole steps where 2× does not fit: 1×, centred.
      {1280, 800, 640, 480, ScaleSteps::Whole, {320, 160, 640, 480}},
      // A tall window: bars above and below.
      {640, 1000, 640, 480, ScaleSteps::Any, {0, 260, 640, 480}},
      {500, 1000, 320, 240, ScaleSteps::Any, {0, 312, 500, 375}},
      // Whole-pixel steps: the largest multiple that fits, centred.
      {1280, 800, 320, 240, ScaleSteps::Whole, {160, 40, 960, 720}},
      {1000, 700, 320, 240, ScaleSteps::Whole, {180, 110, 640, 480}},
      {639, 479, 320, 240, ScaleSteps::Whole, {159, 119, 320, 240}},
      // Smaller than the screen: whole steps cannot fit, so it shrinks like Any.
      {320, 240, 640, 480, ScaleSteps::Whole, {0, 0, 320, 240}},
      {400, 240, 640, 480, ScaleSteps::Any, {40, 0, 320, 240}},
      // Nothing to show into.
      {0, 480, 640, 480, ScaleSteps::Any, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    ViewRect got = letterbox(c.ww, c.wh, c.lw, c.lh, c.steps);
    EXPECT_EQ(got, c.want) << c.ww << "x" << c.wh << " for " << c.lw << "x" << c.lh << ": got "
                           << got.x << "," << got.y << " " << got.w << "x" << got.h;
  }
}

TEST(Letterbox, PenPositionsGoBackToTheLogicalPixelTheyShow) {
  const int sizes[][2] = {{640, 480}, {1280, 800}, {800, 1280}, {1920, 1080}, {643, 481},
                          {1000, 700}, {320, 240}, {333, 999}};
  for (auto [lw, lh] : {std::pair{640, 480}, std::pair{320, 240}})
    for (auto steps : {ScaleSteps::Any, ScaleSteps::Whole})
      for (const auto& size : sizes) {
        ViewRect v = letterbox(size[0], size[1], lw, lh, steps);
        SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " for " << lw << "x" << lh);
        // Every window pixel of the picture lands on a logical pixel, and the mapping never runs
        // backwards (so a drag moves the same way on both sides).
        int prev = -1;
        for (int px = v.x; px < v.x + v.w; ++px) {
          int lx, ly;
          ASSERT_TRUE(windowToLogical(v, lw, lh, px, v.y + v.h / 2, lx, ly));
          ASSERT_GE(lx, prev);
          prev = lx;
        }
        // A shrunk picture drops pixels, but never the last column of a full-size one.
        if (v.w >= lw) EXPECT_EQ(prev, lw - 1);
        // Where the picture is at least the logical size, each logical pixel's middle window
        // pixel maps back to it: corners, centre and a spread of points.
        if (v.w < lw) continue;
        for (int lx : {0, 1, lw / 3, lw / 2, lw - 2, lw - 1})
          for (int ly : {0, 1, lh / 3, lh / 2, lh - 2, lh - 1}) {
            int px, py, bx, by;
            logicalToWindow(v, lw, lh, lx, ly, px, py);
            EXPECT_TRUE(windowToLogical(v, lw, lh, px, py, bx, by));
            EXPECT_EQ(bx, lx);
            EXPECT_EQ(by, ly);
          }
      }
}

TEST(Letterbox, TheBarsAreOutsideAndClampToTheNearestEdge) {
  ViewRect v = letterbox(1280, 800, 640, 480, ScaleSteps::Any);  // picture x 106..1172
  int lx, ly;
  EXPECT_FALSE(windowToLogical(v, 640, 480, 105, 400, lx, ly));
  EXPECT_EQ(lx, 0);
  EXPECT_EQ(ly, 240);
  EXPECT_TRUE(windowToLogical(v, 640, 480, 106, 0, lx, ly));
  EXPECT_EQ(lx, 0);
  EXPECT_TRUE(windowToLogical(v, 640, 480, 1172, 799, lx, ly));
  EXPECT_EQ(lx, 639);
  EXPECT_EQ(ly, 479);
  EXPECT_FALSE(windowToLogical(v, 640, 480, 1173, 799, lx, ly));
  EXPECT_EQ(lx, 639);
  EXPECT_FALSE(windowToLogical(v, 640, 480, -50, -3, lx, ly));
  EXPECT_EQ(lx, 0);
  EXPECT_EQ(ly, 0);
}

}  // namespace
}  // namespace platform
