// The pop-up menu on its own: stepping with the keys and the pen, what it posts, the box's
// geometry and texts, and what it leaves in the frame buffer of both back-ends.
#include "engine/runtime/popup_menu.h"

#include <gtest/gtest.h>

#include "engine/graphics/backends/display_backend.h"
#include "engine/resources/screen.h"
#include "engine/state/input.h"
#include "platform/display.h"

namespace sorel {
namespace {

class PopupMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::resetWindowing();
    screenWidth = 320;
    screenHeight = 240;
    // Root: [0] "Sub" ▸ {"a" 1, — , "b" 2 (disabled), "c" 3}, [1] —, [2] "Go" 10, [3] "Off" 11
    // (disabled), [4] "Empty" ▸ {"x" 20 (disabled)}.
    sub = menu.addSubmenu(PopupMenu::kRoot, "Sub");
    menu.addItem(sub, 1, MenuItemKind::Command, "a");
    menu.addItem(sub, 0, MenuItemKind::Separator, "");
    menu.addItem(sub, 2, MenuItemKind::Command, "b");
    menu.addItem(sub, 3, MenuItemKind::Command, "c");
    menu.addItem(PopupMenu::kRoot, 0, MenuItemKind::Separator, "");
    menu.addItem(PopupMenu::kRoot, 10, MenuItemKind::Command, "Go");
    menu.addItem(PopupMenu::kRoot, 11, MenuItemKind::Command, "Off");
    empty = menu.addSubmenu(PopupMenu::kRoot, "Empty");
    menu.addItem(empty, 20, MenuItemKind::Command, "x");
    menu.setEnabled(2, false);
    menu.setEnabled(11, false);
    menu.setEnabled(20, false);
  }
  void TearDown() override { platform::resetWindowing(); }

  /// One step with a fresh press of the key.
  bool key(Key k) {
    in.count(k) = 1;
    return menu.step(nullptr, in);
  }
  /// A tap: one step with the pen going down at (x, y), one with it released there.
  bool tap(int x, int y) {
    in.penX = x;
    in.penY = y;
    in.tapNow = in.penDown = 1;
    menu.step(nullptr, in);
    in.tapNow = in.penDown = 0;
    in.releaseNow = 1;
    bool open = menu.step(nullptr, in);
    in.releaseNow = 0;
    return open;
  }
  /// The commands posted so far.
  std::vector<unsigned> posted() {
    std::vector<unsigned> out;
    platform::Message m;
    while (platform::peekMessage(m, true))
      if (m.message == platform::WM_COMMAND) out.push_back(unsigned(m.wParam));
    return out;
  }
  static int rowY(int i) { return PopupMenu::kItemTop + PopupMenu::kItemHeight * i + 5; }

  PopupMenu menu;
  InputState in;
  int sub = -1, empty = -1;
};

TEST_F(PopupMenuTest, UpAndDownSkipSeparatorsAndGreyedItemsAndWrap) {
  ASSERT_TRUE(menu.open(nullptr));
  EXPECT_FALSE(menu.open(nullptr)) << "already open";
  struct Step {
    Key key;
    int highlight;
  };
  // Root: 0 Sub, 2 Go, 4 Empty are selectable.
  for (Step s : {Step{Key::Down, 0}, Step{Key::Down, 2}, Step{Key::Down, 4}, Step{Key::Down, 0}, Step{Key::Up, 4},
                 Step{Key::Up, 2}}) {
    key(s.key);
    EXPECT_EQ(menu.highlight(), s.highlight);
    EXPECT_EQ(in.count(s.key), 2) << "the press is used up";
  }
  menu.close();
  menu.open(nullptr);
  key(Key::Up);
  EXPECT_EQ(menu.highlight(), 4) << "up with nothing highlighted takes the last";
  key(Key::Right);
  EXPECT_EQ(menu.currentMenu(), empty);
  key(Key::Down);
  EXPECT_EQ(menu.highlight(), -1) << "a menu without enabled items keeps no highlight";
  // A held key (count 2) does nothing.
  in.count(Key::Left) = 2;
  menu.step(nullptr, in);
  EXPECT_EQ(menu.currentMenu(), empty);
}

TEST_F(PopupMenuTest, RightEntersAndPostsLeftGoesBackToTheSubmenusItem) {
  menu.open(nullptr);
  key(Key::Down);
  key(Key::Right);
  EXPECT_EQ(menu.currentMenu(), sub);
  EXPECT_EQ(menu.pathText(), "[Sub]");
  EXPECT_EQ(menu.highlight(), -1);
  key(Key::Down);
  key(Key::Down);
  EXPECT_EQ(menu.highlight(), 3) << "past the separator and the greyed item";
  key(Key::A);
  EXPECT_EQ(menu.currentMenu(), PopupMenu::kRoot);
  EXPECT_EQ(menu.highlight(), 0) << "back on the submenu's own item";
  key(Key::Right);
  key(Key::Down);
  EXPECT_TRUE(menu.isOpen());
  EXPECT_FALSE(key(Key::C)) << "C chooses like right, closing the menu";
  EXPECT_EQ(in.count(Key::C), 2) << "used up but still held: its auto-repeat is no new press";
  EXPECT_EQ(posted(), std::vector<unsigned>{1});
}

TEST_F(PopupMenuTest, LeftAtTheRootAndBCloseWithoutACommand) {
  for (Key k : {Key::Left, Key::A, Key::B}) {
    menu.open(nullptr);
    key(Key::Down);
    EXPECT_FALSE(key(k));
    EXPECT_FALSE(menu.isOpen());
  }
  menu.open(nullptr);
  key(Key::Down);
  key(Key::Right);
  EXPECT_FALSE(key(Key::B)) << "B closes from any level";
  EXPECT_TRUE(posted().empty());
}

TEST_F(PopupMenuTest, PenHitsOnlyTheItemsThatExistAndFollowsTheZones) {
  menu.open(nullptr);
  const Rect box = menu.boxRect();
  EXPECT_EQ(box.bottom, 13 * 5 + 40);
  struct Case {
    int x, y, item;
  };
  for (Case c : {Case{11, 34, 0}, Case{10, 34, 0 - 1}, Case{box.right - 12, 46, 0}, Case{box.right - 11, 46, -1},
                 Case{20, 47, 1}, Case{20, rowY(4), 4}, Case{20, 34 + 13 * 5, -1}, Case{20, box.bottom + 20, -1}}) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    EXPECT_EQ(menu.itemAt(c.x, c.y), c.item);
  }
  // Pressing on a greyed item or a separator highlights nothing; releasing there does nothing.
  EXPECT_TRUE(tap(20, rowY(3)));
  EXPECT_TRUE(tap(20, rowY(1)));
  EXPECT_EQ(menu.highlight(), -1);
  // A release on a submenu opens it; on the header it goes back; outside it closes.
  EXPECT_TRUE(tap(20, rowY(0)));
  EXPECT_EQ(menu.currentMenu(), sub);
  EXPECT_TRUE(tap(20, 10));
  EXPECT_EQ(menu.currentMenu(), PopupMenu::kRoot);
  EXPECT_FALSE(tap(box.right + 5, 10));
  EXPECT_TRUE(posted().empty());
  // A release on an enabled command posts it.
  menu.open(nullptr);
  EXPECT_FALSE(tap(20, rowY(2)));
  EXPECT_EQ(posted(), std::vector<unsigned>{10});
}

TEST_F(PopupMenuTest, TheHeaderAtTheRootClosesAndAPenStillDownOnlyHighlights) {
  menu.open(nullptr);
  in.penX = 20;
  in.penY = rowY(2);
  in.penDown = 1;
  EXPECT_TRUE(menu.step(nullptr, in));
  EXPECT_EQ(menu.highlight(), 2);
  in.penY = 40 + 13 * 5 - 2;  // inside the box, below the items
  menu.step(nullptr, in);
  EXPECT_EQ(menu.highlight(), -1);
  in.penDown = 0;
  in.releaseNow = 1;
  in.penY = 5;
  EXPECT_FALSE(menu.step(nullptr, in));
  EXPECT_TRUE(posted().empty());
}

TEST_F(PopupMenuTest, LabelsAreCutSoThatTheBoxStaysOnTheScreen) {
  EXPECT_EQ(fontMenuLabel(std::string(30, 'F')), std::string(24, 'F'));
  // Byte 24 would split "あ" (82 A0): the character is kept whole.
  const std::string name = std::string(23, 'F') + "\x82\xA0" + "GG";
  EXPECT_EQ(fontMenuLabel(name), name.substr(0, 25));
  EXPECT_EQ(fontMenuLabel("Short"), "Short");
  EXPECT_EQ(cutLabel("ab\x82\xA0", 3), "ab");

  menu.addItem(PopupMenu::kRoot, 30, MenuItemKind::Command, std::string(70, 'L'));
  menu.open(nullptr);
  EXPECT_LE(menu.boxRect().right, 320);
  EXPECT_EQ(menu.shownLabel(*menu.find(30)).size(), size_t(320 / 6 - 4));
  screenWidth = 640;
  EXPECT_EQ(menu.shownLabel(*menu.find(30)).size(), 70u);
}

TEST_F(PopupMenuTest, StatusLineFollowsTheScreenSize) {
  MenuStatus s;
  s.year = 2004;
  s.month = 3;
  s.day = 9;
  s.hour = 7;
  s.minute = 5;
  s.batteryPercent = 80;
  s.freeMemoryMB = 12;
  s.memoryLoadPercent = 41;
  s.freeStorageMB = 300;
  EXPECT_EQ(formatMenuStatus(s, false), "[2004-03-09 07:05][80%]");
  EXPECT_EQ(formatMenuStatus(s, true), "[2004-03-09 07:05][80%][12MB(41%)][300MB]");
}

TEST_F(PopupMenuTest, SaveEntriesStartDisabledAndFollowTheSlots) {
  PopupMenu m;
  const int load = m.addSubmenu(PopupMenu::kRoot, "L");
  const int save = m.addSubmenu(PopupMenu::kRoot, "S");
  for (unsigned i = 0; i < 15; ++i) {
    m.addItem(load, PopupMenu::kFirstLoad + i, MenuItemKind::Command, "-");
    m.addItem(save, PopupMenu::kFirstSave + i, MenuItemKind::Command, "-");
  }
  m.setSaveEntriesEnabled(false);
  std::array<PopupMenu::SaveSlotEntry, 15> slots;
  slots[2].label = "03/04 title";
  slots[2].loadEnabled = true;
  slots[2].thumbnail.width = slots[2].thumbnail.height = 2;
  slots[2].thumbnail.pixels.assign(16, 255);
  m.setSaveSlots(slots, 2);
  EXPECT_TRUE(m.find(PopupMenu::kFirstLoad + 2)->enabled);
  EXPECT_FALSE(m.find(PopupMenu::kFirstLoad + 3)->enabled);
  EXPECT_FALSE(m.find(PopupMenu::kFirstSave + 2)->enabled) << "no game to save yet";
  EXPECT_TRUE(m.find(PopupMenu::kFirstSave + 2)->checked);
  EXPECT_EQ(m.find(PopupMenu::kFirstSave + 2)->label, "03/04 title");
  EXPECT_FALSE(m.find(PopupMenu::kFirstSave + 2)->thumbnail.empty());
  m.setSaveEntriesEnabled(true);
  EXPECT_TRUE(m.find(PopupMenu::kFirstSave + 9)->enabled);
  m.setSaveSlots(slots, -1);
  EXPECT_TRUE(m.find(PopupMenu::kFirstSave + 9)->enabled) << "relabelling keeps the story's choice";
  EXPECT_FALSE(m.find(PopupMenu::kFirstLoad + 2)->checked);
}

// The box on both back-ends: drawn at the top-left in its face colour through the mapping (the
// GDI imitation's pitches are negative), and gone again once the menu closes or shrinks.
TEST_F(PopupMenuTest, DrawsIntoBothFrameBuffersAndLeavesNoTrace) {
  for (int kind = 0; kind < 2; ++kind) {
    SCOPED_TRACE(kind == 0 ? "raw frame buffer" : "GDI imitation");
    platform::RawFrameBuffer panel;
    ASSERT_TRUE(panel.open(240, 320));
    std::unique_ptr<DisplayBackend> display;
    if (kind == 0) display = std::make_unique<RawFrameBufferBackend>(panel);
    else display = std::make_unique<GdiBackend>();
    ASSERT_EQ(display->open(320, 240), DisplayOpenError::None);
    // The game's frame: a grey-blue picture everywhere.
    Surface frame;
    frame.resize(320, 240);
    for (size_t i = 0; i < frame.pixels.size(); i += 3) {
      frame.pixels[i] = 200;
      frame.pixels[i + 1] = 100;
      frame.pixels[i + 2] = 50;
    }
    auto restore = [&](const Rect& r) {
      DirtyRectList l;
      addDirtyRect(l, r, false);
      present(*display, frame, l, PresentArea::DirtyRects);
    };
    present(*display, frame, DirtyRectList(), PresentArea::WholeScreen);
    int shown = 0;
    menu.setScreen({display.get(), restore, [&] { ++shown; }, nullptr});
    auto screen = [&] {
      std::vector<uint16_t> px;
      const uint8_t* fp = kind == 0 ? panel.framePointer() : static_cast<GdiBackend&>(*display).bitmap().lastPixel();
      platform::readLogicalRgb565(display->displayProperties(), fp, 320, 240, px);
      return px;
    };
    const auto before = screen();
    const uint16_t face = uint16_t(((212 & 0xF8) << 8) | ((208 & 0xFC) << 3) | (200 >> 3));

    menu.open(nullptr);
    menu.step(nullptr, in);
    EXPECT_EQ(shown, 1);
    const Rect root = menu.boxRect();
    auto after = screen();
    EXPECT_EQ(after[size_t(30 * 320 + root.right - 4)], face);
    EXPECT_EQ(after[0], 0xFFFF) << "white top-left edge";
    EXPECT_EQ(after[size_t((root.bottom - 1) * 320 + 5)], 0) << "black bottom edge";
    EXPECT_EQ(after[size_t(30 * 320 + root.right)], before[size_t(30 * 320 + root.right)]) << "nothing beside it";

    // The submenu's box is smaller: the root's lower part is the game's again.
    key(Key::Down);
    key(Key::Right);
    const Rect child = menu.boxRect();
    ASSERT_LT(child.bottom, root.bottom);
    after = screen();
    EXPECT_EQ(after[size_t((root.bottom - 2) * 320 + 5)], before[size_t((root.bottom - 2) * 320 + 5)]);
    EXPECT_EQ(after[size_t(child.top + 30) * 320 + 5], face);

    menu.close();
    EXPECT_EQ(screen(), before) << "no trace of the menu";

    // A highlighted item's picture (a save slot's thumbnail) shows beside the box, framed in
    // black, and goes when the highlight moves on.
    MenuItem* go = menu.find(10);
    go->thumbnail.width = 8;
    go->thumbnail.height = 6;
    go->thumbnail.pixels.assign(8 * 6 * 4, 0);
    for (size_t i = 2; i < go->thumbnail.pixels.size(); i += 4) go->thumbnail.pixels[i] = 255;  // red
    menu.open(nullptr);
    key(Key::Down);
    key(Key::Down);
    ASSERT_EQ(menu.highlight(), 2);
    const Rect box = menu.boxRect();
    const int row = PopupMenu::kItemTop + 2 * PopupMenu::kItemHeight;
    after = screen();
    EXPECT_EQ(after[size_t(row + 1) * 320 + size_t(box.right + 1)], 0xF800);
    EXPECT_EQ(after[size_t(row) * 320 + size_t(box.right)], 0) << "the frame";
    key(Key::Down);
    after = screen();
    EXPECT_EQ(after[size_t(row + 1) * 320 + size_t(box.right + 1)], before[size_t(row + 1) * 320 + size_t(box.right + 1)]);
    menu.close();
    EXPECT_EQ(screen(), before);
    go->thumbnail = Picture();
  }
}

}  // namespace
}  // namespace sorel
