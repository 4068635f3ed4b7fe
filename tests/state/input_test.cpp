#include "engine/state/input.h"

#include <gtest/gtest.h>

namespace sorel {
namespace {

constexpr int kUp = 0x26, kDown = 0x28, kLeft = 0x25, kRight = 0x27;
constexpr int kA = 0xC1, kB = 0xC2, kC = 0xC3, kStart = 0x0D, kD = 0x44, kE = 0x45;

class InputTest : public ::testing::Test {
 protected:
  InputTest() {
    map.fromDefaults(kUp, kDown, kLeft, kRight, kA, kB, kC, kStart);
    map.setKey(Key::D, "44");
    map.setKey(Key::E, "45");
    settings.centreAction = 0;  // keep the menu out of the way unless a test wants it
  }
  void press(int vk) { onKey(in, map, settings, vk, true, opener); }
  void release(int vk) { onKey(in, map, settings, vk, false, opener); }
  /// Press and release, as one tap of a key.
  void stroke(int vk) {
    press(vk);
    int32_t counts[kKeyCount];
    for (int i = 0; i < kKeyCount; ++i) counts[i] = in.counts[size_t(i)];
    release(vk);
    for (int i = 0; i < kKeyCount; ++i) seen[size_t(i)] += counts[i];
  }
  int seenCount(Key k) const { return seen[InputState::countIndex(k)]; }

  KeyMap map;
  InputState in;
  InputSettings settings;
  MenuOpener opener = [this] {
    ++menuRequests;
    return menuOpens;
  };
  int menuRequests = 0;
  bool menuOpens = false;
  std::array<int, kKeyCount> seen{};
};

TEST_F(InputTest, KeysCountPressesAndReleaseClears) {
  press(kA);
  press(kA);  // auto-repeat
  EXPECT_EQ(in.count(Key::A), 2);
  EXPECT_EQ(map.pressCount, 2u);
  press(kD);
  press(kE);
  EXPECT_EQ(in.count(Key::D), 1);
  EXPECT_EQ(in.count(Key::E), 1);
  release(kA);
  EXPECT_EQ(in.count(Key::A), 0);
  EXPECT_EQ(in.count(Key::D), 1);
}

TEST_F(InputTest, CountsSitInTheirOwnOrder) {
  // The counts list start and C before A and B, unlike the key map.
  press(kStart);
  EXPECT_EQ(in.counts[4], 1);
  press(kC);
  EXPECT_EQ(in.counts[5], 1);
  press(kA);
  EXPECT_EQ(in.counts[6], 1);
}

TEST_F(InputTest, OneCodeMayDriveSeveralKeys) {
  map.setKey(Key::D, "C1");
  press(kA);
  EXPECT_EQ(in.count(Key::A), 1);
  EXPECT_EQ(in.count(Key::D), 1);
}

TEST_F(InputTest, Mode0CountsEveryDirection) {
  settings.cursorMode = 0;
  press(kLeft);
  press(kUp);
  EXPECT_EQ(in.count(Key::Left), 1);
  EXPECT_EQ(in.count(Key::Up), 1);
}

TEST_F(InputTest, Mode1CountsOnlyWhileTheOtherDirectionsAreIdle) {
  settings.cursorMode = 1;
  press(kLeft);
  press(kUp);  // left still held
  EXPECT_EQ(in.count(Key::Left), 1);
  EXPECT_EQ(in.count(Key::Up), 0);
  release(kLeft);
  press(kUp);
  EXPECT_EQ(in.count(Key::Up), 1);
}

TEST_F(InputTest, Mode2SwallowsTheFirstVerticalPressAfterAHorizontalOne) {
  settings.cursorMode = 2;
  stroke(kRight);
  stroke(kDown);
  stroke(kDown);
  stroke(kLeft);
  stroke(kUp);
  stroke(kUp);
  EXPECT_EQ(seenCount(Key::Right), 1);
  EXPECT_EQ(seenCount(Key::Left), 1);
  EXPECT_EQ(seenCount(Key::Down), 1);
  EXPECT_EQ(seenCount(Key::Up), 1);
}

TEST_F(InputTest, Mode3IsTheMirrorOfMode2) {
  settings.cursorMode = 3;
  stroke(kUp);
  stroke(kRight);
  stroke(kRight);
  stroke(kDown);
  stroke(kLeft);
  EXPECT_EQ(seenCount(Key::Up), 1);
  EXPECT_EQ(seenCount(Key::Down), 1);
  EXPECT_EQ(seenCount(Key::Right), 1);
  EXPECT_EQ(seenCount(Key::Left), 0);
}

TEST_F(InputTest, Mode4SwallowsEveryChangeOfDirection) {
  settings.cursorMode = 4;
  stroke(kLeft);
  stroke(kUp);
  stroke(kUp);
  EXPECT_EQ(seenCount(Key::Left), 0);
  EXPECT_EQ(seenCount(Key::Up), 1);
  stroke(kLeft);
  stroke(kLeft);
  EXPECT_EQ(seenCount(Key::Left), 1);
}

TEST_F(InputTest, UnknownCursorModeCountsNoDirection) {
  settings.cursorMode = 7;
  press(kUp);
  press(kA);
  EXPECT_EQ(in.count(Key::Up), 0);
  EXPECT_EQ(in.count(Key::A), 1);
}

TEST_F(InputTest, DoublePressNeedsTwoCentrePressesWithoutADirectionBetween) {
  settings.doubleClick = 1;
  stroke(kStart);
  stroke(kLeft);
  stroke(kStart);
  EXPECT_EQ(seenCount(Key::Start), 0);
  stroke(kStart);
  EXPECT_EQ(seenCount(Key::Start), 1);
  settings.doubleClick = 0;
  stroke(kStart);
  EXPECT_EQ(seenCount(Key::Start), 2);
  EXPECT_EQ(in.startArmed, 0);
}

TEST_F(InputTest, CentreKeyOrBOpensTheMenuAndTheirPressesAreUsedUp) {
  settings.centreAction = 1;
  menuOpens = true;
  press(kStart);
  EXPECT_EQ(menuRequests, 1);
  EXPECT_EQ(in.count(Key::Start), 2) << "held, not fresh";
  press(kB);
  EXPECT_EQ(in.count(Key::B), 2);
  press(kB);  // auto-repeat of the held key
  EXPECT_EQ(menuRequests, 2) << "the repeat asks for nothing";
  EXPECT_EQ(in.count(Key::B), 3);
  // Already open: the counts stay.
  menuOpens = false;
  release(kB);
  press(kB);
  EXPECT_EQ(in.count(Key::B), 1);
}

TEST_F(InputTest, WithAnotherCentreActionOnlyBOpensTheMenu) {
  settings.centreAction = 3;
  menuOpens = true;
  press(kStart);
  EXPECT_EQ(in.count(Key::Start), 1);
  EXPECT_EQ(menuRequests, 0);
  press(kB);
  EXPECT_EQ(menuRequests, 1);
  EXPECT_EQ(in.count(Key::B), 2);
}

TEST_F(InputTest, PenOnThePocketIsHalfResolutionAndRotated) {
  settings.penHalfRotated = true;
  settings.screenWidth = 640;
  onPenDown(in, settings, 0, 0);
  EXPECT_EQ(in.penX, 639);
  EXPECT_EQ(in.penY, 0);
  onPenMove(in, settings, 119, 159);
  EXPECT_EQ(in.penX, 321);
  EXPECT_EQ(in.penY, 238);
  InputSettings direct;
  onPenMove(in, direct, 119, 159);
  EXPECT_EQ(in.penX, 119);
  EXPECT_EQ(in.penY, 159);
}

TEST_F(InputTest, LatchMovesPenFlagsIntoTheFrame) {
  onPenDown(in, settings, 10, 10);
  EXPECT_EQ(in.tapNow, 0);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.tapNow, 1);
  EXPECT_EQ(in.penDown, 1);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.tapNow, 0);
  onPenUp(in);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.releaseNow, 1);
  EXPECT_EQ(in.penDown, 0);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.releaseNow, 0);
}

// Messages arrive between frames: a stroke or a tap that is over before the next latch still
// counts once, in that frame only.
TEST_F(InputTest, AQuickStrokeOrTapBetweenTwoFramesCountsOnce) {
  latchFrame(in, settings, false);
  press(kC);
  release(kC);
  EXPECT_EQ(in.count(Key::C), 0);  // between frames the key is up again ...
  latchFrame(in, settings, false);
  EXPECT_TRUE(in.fresh(Key::C));  // ... and the frame still sees one fresh press
  latchFrame(in, settings, false);
  EXPECT_EQ(in.count(Key::C), 0);  // once

  // A press the game already saw ends at once when released.
  press(kRight);
  latchFrame(in, settings, false);
  EXPECT_TRUE(in.fresh(Key::Right));
  release(kRight);
  EXPECT_EQ(in.count(Key::Right), 0);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.count(Key::Right), 0);

  // A quick stroke, then the same key pressed again and held before the frame after it.
  press(kA);
  release(kA);
  latchFrame(in, settings, false);
  EXPECT_TRUE(in.fresh(Key::A));
  press(kA);
  latchFrame(in, settings, false);
  EXPECT_TRUE(in.fresh(Key::A));  // a second press of its own, not the first one held on

  // The pen: down and up between two latches is a tap and its release in one frame.
  onPenDown(in, settings, 40, 30);
  onPenUp(in);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.tapNow, 1);
  EXPECT_EQ(in.releaseNow, 1);
  EXPECT_EQ(in.penDown, 0);
  EXPECT_EQ(in.penX, 40);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.tapNow, 0);
  EXPECT_EQ(in.releaseNow, 0);
}

TEST_F(InputTest, ATapCancelsTheKeysOfItsFrameButDAndE) {
  press(kA);
  press(kUp);
  press(kD);
  press(kE);
  onPenDown(in, settings, 5, 5);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.count(Key::A), 0);
  EXPECT_EQ(in.count(Key::Up), 0);
  EXPECT_EQ(in.count(Key::D), 1);
  EXPECT_EQ(in.count(Key::E), 1);
}

TEST_F(InputTest, AFreshButtonWinsOverDirectionsAndCentre) {
  press(kUp);
  press(kStart);
  press(kB);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.count(Key::Up), 0);
  EXPECT_EQ(in.count(Key::Start), 0);
  EXPECT_EQ(in.count(Key::B), 1);
  // A held button (count 2) does not.
  release(kB);
  press(kC);
  press(kC);
  press(kUp);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.count(Key::Up), 1);
}

TEST_F(InputTest, SkipLockEngagesOnLeftAndReleasesOnRightBothUnseen) {
  settings.lockSkip = 1;
  press(kLeft);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.skipLockLatched, 1);
  EXPECT_EQ(in.count(Key::Left), 0);
  release(kLeft);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.skipLockLatched, 1);  // nothing releases it
  press(kRight);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.skipLockLatched, 0);
  EXPECT_NE(in.count(Key::Right), 1);  // the game never sees a fresh right
  // Held: auto-repeat must not make it fresh again.
  press(kRight);
  latchFrame(in, settings, false);
  EXPECT_GT(in.count(Key::Right), 1);
}

TEST_F(InputTest, ReleasingTheLockLeavesUnpressedKeysAlone) {
  settings.lockSkip = 1;
  press(kLeft);
  latchFrame(in, settings, false);
  release(kLeft);
  onPenDown(in, settings, 1, 1);
  latchFrame(in, settings, false);
  EXPECT_EQ(in.skipLockLatched, 0);
  EXPECT_EQ(in.tapNow, 0);
  EXPECT_EQ(in.count(Key::C), 0);  // consuming never invents a held key
  EXPECT_EQ(in.count(Key::Right), 0);
}

TEST_F(InputTest, SkipLockIsNotTouchedWhileTheMenuIsOpen) {
  settings.lockSkip = 1;
  press(kLeft);
  latchFrame(in, settings, true);
  EXPECT_EQ(in.skipLockLatched, 0);
  EXPECT_EQ(in.count(Key::Left), 1);
  settings.lockSkip = 0;
  latchFrame(in, settings, false);
  EXPECT_EQ(in.skipLockLatched, 0);
}

TEST_F(InputTest, ConsumeMarksPressedKeysHeldOnly) {
  in.count(Key::A) = 1;
  in.consume(Key::A);
  EXPECT_EQ(in.count(Key::A), 2);
  in.consume(Key::B);
  EXPECT_EQ(in.count(Key::B), 0);
  in.count(Key::C) = 5;
  in.consume(Key::C);
  EXPECT_EQ(in.count(Key::C), 2);
}

}  // namespace
}  // namespace sorel
