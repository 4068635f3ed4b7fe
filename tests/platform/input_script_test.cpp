#include "platform/input_script.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/shell.h"

namespace platform {
namespace {

using Kind = ScriptEvent::Kind;

TEST(InputScript, ParsesEveryEventKindSortedByFrame) {
  std::vector<ScriptEvent> ev;
  std::string why;
  ASSERT_TRUE(parseInputScript("# comment\n"
                               "5 press Z\n"
                               "\n"
                               "2 down enter   # trailing comment\n"
                               "3 up 0x0d\n"
                               "4 tap 10 20\r\n"
                               "9 close",
                               ev, why))
      << why;
  ASSERT_EQ(ev.size(), 7u);
  EXPECT_EQ(ev[0].frame, 2u);
  EXPECT_EQ(ev[0].kind, Kind::KeyDown);
  EXPECT_EQ(ev[0].keyName, "enter");
  EXPECT_EQ(ev[1].kind, Kind::KeyUp);
  EXPECT_EQ(ev[1].code, 0x0D);
  EXPECT_EQ(ev[2].kind, Kind::PenDown);
  EXPECT_EQ(ev[2].x, 10);
  // Frame 5 holds the press of Z and the tap's release, in the order of their lines.
  EXPECT_EQ(ev[3].frame, 5u);
  EXPECT_EQ(ev[3].kind, Kind::KeyDown);
  EXPECT_EQ(ev[3].keyName, "z");
  EXPECT_EQ(ev[4].frame, 5u);
  EXPECT_EQ(ev[4].kind, Kind::PenUp);
  EXPECT_EQ(ev[5].frame, 6u);
  EXPECT_EQ(ev[5].kind, Kind::KeyUp);
  EXPECT_EQ(ev[6].kind, Kind::Close);
}

TEST(InputScript, DragMovesAcrossFramesAndLiftsAtTheEnd) {
  std::vector<ScriptEvent> ev;
  std::string why;
  ASSERT_TRUE(parseInputScript("1 drag 0 0 40 20 4\n", ev, why)) << why;
  ASSERT_EQ(ev.size(), 6u);
  EXPECT_EQ(ev[0].kind, Kind::PenDown);
  EXPECT_EQ(ev[1].frame, 2u);
  EXPECT_EQ(ev[1].x, 10);
  EXPECT_EQ(ev[3].frame, 4u);
  EXPECT_EQ(ev[4].kind, Kind::PenMove);
  EXPECT_EQ(ev[4].frame, 5u);
  EXPECT_EQ(ev[4].x, 40);
  EXPECT_EQ(ev[5].kind, Kind::PenUp);
  EXPECT_EQ(ev[5].y, 20);
}

TEST(InputScript, BadLinesNameTheirLine) {
  std::vector<ScriptEvent> ev;
  std::string why;
  EXPECT_FALSE(parseInputScript("1 press z\nx press z\n", ev, why));
  EXPECT_EQ(why, "line 2: frame number expected");
  EXPECT_TRUE(ev.empty());
  EXPECT_FALSE(parseInputScript("1 press q\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 tap 1\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 tap -1 5\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 drag 0 0 1 1 0\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 jump\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 down 0x100\n", ev, why));
  EXPECT_FALSE(parseInputScript("99999999999 close\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 pad\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 pad 3\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 pad a sideways\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 pad a down now\n", ev, why));
  EXPECT_FALSE(parseInputScript("1 pad kick\n", ev, why));
}

TEST(InputScript, PadButtonsPressHoldAndRelease) {
  std::vector<ScriptEvent> ev;
  std::string why;
  ASSERT_TRUE(parseInputScript("3 pad A\n4 pad dpleft down\n6 pad DPLEFT up\n7 pad stickup\n",
                               ev, why))
      << why;
  const std::tuple<uint32_t, Kind, PadButton> want[] = {
      {3, Kind::PadDown, PadButton::A},       {4, Kind::PadUp, PadButton::A},
      {4, Kind::PadDown, PadButton::DpadLeft}, {6, Kind::PadUp, PadButton::DpadLeft},
      {7, Kind::PadDown, PadButton::StickUp},  {8, Kind::PadUp, PadButton::StickUp}};
  ASSERT_EQ(ev.size(), std::size(want));
  for (size_t i = 0; i < ev.size(); ++i) {
    EXPECT_EQ(ev[i].frame, std::get<0>(want[i])) << i;
    EXPECT_EQ(ev[i].kind, std::get<1>(want[i])) << i;
    EXPECT_EQ(ev[i].pad, std::get<2>(want[i])) << i;
  }
}

TEST(PenMapping, InvertsTheEnginesConversion) {
  int px, py;
  logicalToPen(PenMapping::HalfRotated, 640, 639, 0, px, py);
  EXPECT_EQ(px, 0);
  EXPECT_EQ(py, 0);
  logicalToPen(PenMapping::HalfRotated, 640, 321, 238, px, py);
  EXPECT_EQ(px, 119);
  EXPECT_EQ(py, 159);
  logicalToPen(PenMapping::Direct, 320, 17, 33, px, py);
  EXPECT_EQ(px, 17);
  EXPECT_EQ(py, 33);
}

TEST(ShellKeys, DesktopKeysStandForTheDevicesButtons) {
  Shell shell;
  ShellConfig c;
  c.headless = true;
  c.buttons = {0xC1, 0xC2, 0xC3, 0x0D};
  std::string why;
  ASSERT_TRUE(shell.open(c, why));
  EXPECT_EQ(shell.virtualKeyForName("z"), 0xC1);
  EXPECT_EQ(shell.virtualKeyForName("c"), 0xC3);
  EXPECT_EQ(shell.virtualKeyForName("enter"), 0x0D);
  EXPECT_EQ(shell.virtualKeyForName("up"), VK_UP);
  EXPECT_EQ(shell.virtualKeyForName("d"), 'D');
  EXPECT_EQ(shell.virtualKeyForName("e"), 'E');
  EXPECT_EQ(shell.virtualKeyForName("q"), 0);
}

}  // namespace
}  // namespace platform
