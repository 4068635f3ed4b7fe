// The choice menu as the reader meets it: bars placed by the number of choices, the cursor
// moved by up, down and taps, the decision by tap, advance or skip-advance, the automatic save
// on deciding, and the value the script then reads.
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

class ChoiceMenu : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    addPicture("SelectMenu.bmp", 80, 70);
    saveHook = [this](int slot) {
      saves.push_back(slot);
      return true;
    };
  }
  /// A script offering the given choices (value, text), then storing the chosen value as
  /// the selector through PUSH_SELECTED_VALUE.
  void offer(const std::vector<std::pair<int, std::string>>& list) {
    std::string text = "    CHOICE_BEGIN\n    CLEAR_STACK\n";
    for (const auto& [v, t] : list)
      text += "    PUSH_INT " + std::to_string(v) + "\n    PUSH_STRING \"" + t + "\"\n    CHOICE_ADD\n    CLEAR_STACK\n";
    text +=
        "    CHOICE_RUN\n    CLEAR_STACK\n    PUSH_INT 18\n    SET_SELECTOR\n    CLEAR_STACK\n"
        "    PUSH_SELECTED_VALUE\n    SET_SELECTOR\n    CLEAR_STACK\nend:\n    YIELD\n    PUSH_INT 0\n    JUMP @end\n";
    run(text);
    frame();  // builds the menu
  }
  Rect layerRect(int layer) { return game->layers().get(layer)->screenRect(); }
  bool decided() const { return game->choiceMenu().count == 0; }
  std::vector<int> saves;
};

TEST_F(ChoiceMenu, BarsAndTextsArePlacedByTheNumberOfChoices) {
  struct Case {
    int n, firstY;
  };
  for (Case c : {Case{1, 136}, Case{2, 112}, Case{3, 88}, Case{6, 32}}) {
    makeGame();
    std::vector<std::pair<int, std::string>> list;
    for (int i = 0; i < c.n; ++i) list.push_back({i, "c" + std::to_string(i)});
    offer(list);
    for (int i = 0; i < 6; ++i) {
      const int first = 128 + 24 * i;
      ASSERT_EQ(game->layers().exists(first), i < c.n) << c.n << " choices, bar " << i;
      ASSERT_EQ(game->layers().exists(312 + i), i < c.n);
      if (i >= c.n) continue;
      const int y = c.firstY + 48 * i;
      EXPECT_EQ(layerRect(first).top, y);
      EXPECT_EQ(layerRect(first).left, 120);
      EXPECT_EQ(layerRect(first + 22).left, 488) << "right cap";
      EXPECT_EQ(layerRect(first + 21).left, 152 + 16 * 20) << "last middle piece";
      EXPECT_EQ(layerRect(312 + i).top, y + 10) << "text";
      EXPECT_EQ(game->layers().get(first)->order, 9);
      EXPECT_EQ(game->layers().get(312 + i)->order, 8);
    }
    EXPECT_FALSE(game->layers().exists(320)) << "no arrows before a selection";
  }
  // The texts are rendered into picture 6, 20 rows each, in the menu's yellow.
  const Picture* texts = pictures.get(6);
  ASSERT_NE(texts, nullptr);
  bool yellow = false;
  for (uint32_t y = 0; y < 20 && !yellow; ++y)
    for (uint32_t x = 0; x < texts->width; ++x)
      if (texts->pixel(x, y)[3] > 0) {
        EXPECT_EQ(texts->pixel(x, y)[0], 0x20) << "blue";
        EXPECT_EQ(texts->pixel(x, y)[2], 0xF0) << "red";
        yellow = true;
        break;
      }
  EXPECT_TRUE(yellow);
}

TEST_F(ChoiceMenu, UpAndDownWrapAndTheArrowsFollow) {
  offer({{1, "a"}, {2, "b"}, {3, "c"}});
  press(Key::Up);
  frame();
  EXPECT_EQ(game->choiceMenu().cursor, 2) << "up with no selection selects the last";
  ASSERT_TRUE(game->layers().exists(320));
  EXPECT_EQ(layerRect(320).top, 184 + 10);
  EXPECT_EQ(layerRect(320).left, 148);
  EXPECT_EQ(layerRect(321).left, 468);
  release(Key::Up);
  press(Key::Down);
  frame();
  EXPECT_EQ(game->choiceMenu().cursor, 0) << "down on the last wraps to the first";
  EXPECT_EQ(layerRect(320).top, 88 + 10);
  release(Key::Down);
  press(Key::Up);
  frame();
  EXPECT_EQ(game->choiceMenu().cursor, 2) << "up on the first wraps to the last";
  // The arrows animate through four frames of 200 ms.
  const Sprite* arrow = game->layers().get(320);
  ASSERT_EQ(arrow->frames.size(), 4u);
  EXPECT_EQ(arrow->frames[2].src.left, 53);
  EXPECT_EQ(arrow->frames[3].durationMs, 200u);
  EXPECT_TRUE(saves.empty());
  EXPECT_FALSE(decided());
}

TEST_F(ChoiceMenu, ATapOnABarDecidesAtOnceAndBetweenBarsNothing) {
  offer({{1, "a"}, {-5, "b"}, {3, "c"}});
  tap(300, 88 + 48 + 44);  // below bar 1's 40 rows, above bar 2
  frame();
  EXPECT_EQ(game->choiceMenu().cursor, ChoiceMenuState::kNone);
  EXPECT_FALSE(decided());
  tap(300, 88 + 48 + 20);
  frame();
  EXPECT_TRUE(decided());
  EXPECT_EQ(game->choices.chosen, -5) << "a negative value decides too";
  EXPECT_EQ(saves, std::vector<int>{600}) << "the automatic save";
  for (int l : {128, 150, 271, 312, 314, 320, 321}) EXPECT_FALSE(game->layers().exists(l)) << l;
  EXPECT_EQ(pictures.get(5), nullptr);
  EXPECT_EQ(pictures.get(6), nullptr);
  frame(2);
  EXPECT_EQ(game->script.vars[0], -5) << "PUSH_SELECTED_VALUE with selector 18 reads the chosen value";
}

TEST_F(ChoiceMenu, AdvanceAndSkipAdvanceDecideOnlyWithASelection) {
  for (Key decide : {Key::Right, Key::C}) {
    makeGame();
    saves.clear();
    offer({{7, "a"}, {8, "b"}});
    press(decide);
    frame();
    EXPECT_FALSE(decided()) << "nothing selected";
    release(decide);
    press(Key::Down);
    frame();
    release(Key::Down);
    press(decide);
    frame();
    release(decide);
    EXPECT_TRUE(decided());
    EXPECT_EQ(game->choices.chosen, 7);
  }
  // The skip key held decides nothing by itself.
  makeGame();
  offer({{7, "a"}, {8, "b"}});
  press(Key::Down);
  frame();
  input.count(Key::Left) = 5;
  frame(5);
  EXPECT_FALSE(decided());
}

TEST_F(ChoiceMenu, EmptyListsGoOnAndSeventhChoicesAreDropped) {
  run("    CHOICE_BEGIN\n    CHOICE_RUN\n    PUSH_INT 42\n    SET_SELECTOR\nend:\n    YIELD\n    PUSH_INT 0\n    JUMP @end\n");
  frame();
  EXPECT_EQ(game->script.vars[0], 42) << "CHOICE_RUN with no choices advances at once";
  std::vector<std::pair<int, std::string>> seven;
  for (int i = 0; i < 7; ++i) seven.push_back({i, "x"});
  makeGame();
  offer(seven);
  EXPECT_EQ(game->choices.count, 6u);
  EXPECT_FALSE(game->layers().exists(128 + 24 * 6));
  EXPECT_FALSE(game->layers().exists(318));
}

TEST_F(ChoiceMenu, ARefusedAutomaticSaveStillDecides) {
  saveHook = [this](int slot) {
    saves.push_back(slot);
    return false;  // the save entries are disabled (a replay)
  };
  offer({{1, "a"}});
  tap(300, 136 + 10);
  frame();
  EXPECT_TRUE(decided());
  EXPECT_EQ(saves, std::vector<int>{600});
}

}  // namespace
}  // namespace sorel::test
