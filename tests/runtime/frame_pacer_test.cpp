#include "engine/runtime/frame_pacer.h"

#include <gtest/gtest.h>

namespace sorel {
namespace {

TEST(FramePacer, StartStoresTheIntervalAndAOneSecondWindow) {
  FramePacer p;
  p.start(500, 16);
  EXPECT_EQ(p.interval, 16u);
  EXPECT_EQ(p.secondLength, 1000u);
  EXPECT_EQ(p.nextFrame, 516u);
  EXPECT_EQ(p.nextSecond, 1500u);
}

TEST(FramePacer, EveryPassIsAFrameWhenTheClockMovesByTheInterval) {
  FramePacer p;
  p.start(0, 16);
  for (uint32_t t = 16; t <= 16 * 50; t += 16) EXPECT_TRUE(p.due(t)) << t;
  EXPECT_FALSE(p.due(16 * 50 + 5));
}

TEST(FramePacer, MissedDeadlinesGiveOneFrameAndAreDropped) {
  FramePacer p;
  p.start(0, 16);
  EXPECT_FALSE(p.due(15));
  // Six deadlines (16 … 96) have passed: one frame, and the next deadline lies ahead of now.
  EXPECT_TRUE(p.due(100));
  EXPECT_EQ(p.nextFrame, 112u);
  EXPECT_EQ(p.framesThisSecond, 1u);
  EXPECT_FALSE(p.due(111));
  EXPECT_TRUE(p.due(112));
}

TEST(FramePacer, CountsTheFramesOfThePreviousSecond) {
  FramePacer p;
  p.start(0, 16);
  uint32_t t = 0;
  int frames = 0;
  while (t + 16 < 1000) {
    t += 16;
    frames += p.due(t);
  }
  p.due(1000);
  EXPECT_EQ(frames, 62);
  EXPECT_EQ(p.framesLastSecond, 62u);
  // A pause over two second boundaries leaves an empty previous second.
  p.due(3500);
  EXPECT_EQ(p.framesLastSecond, 0u);
  EXPECT_EQ(p.nextSecond, 4000u);
}

TEST(FramePacer, SurvivesTheTickWrap) {
  FramePacer p;
  p.start(0xFFFFFFF0u, 16);
  EXPECT_FALSE(p.due(0xFFFFFFF8u));
  EXPECT_TRUE(p.due(0x00000000u));  // deadline 0xFFFFFFF0 + 16 wraps to 0
  EXPECT_FALSE(p.due(0x00000008u));
}

TEST(FramePacer, ZeroIntervalDoesNotHang) {
  FramePacer p;
  p.start(0, 0);
  EXPECT_TRUE(p.due(10));
}

}  // namespace
}  // namespace sorel
