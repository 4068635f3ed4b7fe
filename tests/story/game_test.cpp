// The interpreter core: loading, the frame rules with `repeat`, the stack instructions, chaining
// and ending, the set commands, and what broken scripts do.
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

using GameInterpreter = GameFixture;

TEST_F(GameInterpreter, WaitingCommandCountsRepeatPerFrameAndResetsAfter) {
  run("PUSH_INT 60\nWAIT\nCLEAR_STACK\nYIELD\nYIELD\n");
  // The command sees repeat 0 on its first frame; after each frame it has counted that frame.
  frame();  // pushes, then WAIT's first execution
  EXPECT_EQ(game->script.pc, 6u);
  EXPECT_EQ(game->script.repeat, 1u);
  frame();
  EXPECT_EQ(game->script.repeat, 2u);
  // 60 units are 960 ms: 60 frames of 16 ms after the first.
  frame(58);
  EXPECT_EQ(game->script.pc, 6u);
  EXPECT_EQ(game->script.repeat, 60u);
  frame();
  EXPECT_EQ(game->script.pc, 12u) << "the wait ends its last frame too";
  EXPECT_EQ(game->script.repeat, 0u);
  frame();
  EXPECT_EQ(game->script.pc, 24u) << "CLEAR_STACK and the first YIELD ran";
}

TEST_F(GameInterpreter, WaitEndsOnSkipButNotOnAdvance) {
  run("PUSH_INT 1000\nWAIT\nYIELD\n");
  frame();
  press(Key::Right);
  frame();
  EXPECT_EQ(game->script.pc, 6u) << "a tap or the advance input does not end a wait";
  input.skipLockLatched = 1;
  frame();
  EXPECT_EQ(game->script.pc, 12u);
}

TEST_F(GameInterpreter, StackInstructions) {
  run(R"(
      PUSH_STRING "ab", 40        ; operand longer than the string: the rest is skipped
      PUSH_INT 7
      PUSH_INT2 7
      JUMP_UNLESS_EQUAL @bad
      PUSH_INT 1
      PUSH_INT 2
      JUMP_UNLESS_EQUAL @good
  bad:
      YIELD
  good:
      YIELD
  )");
  frame();
  EXPECT_EQ(game->stack.sp, 5u);
  EXPECT_EQ(game->stack.text(5), "ab");
  EXPECT_EQ(game->stack.fromBottom(0).kind, 1u);
  EXPECT_EQ(game->stack.value(1), 2);
  // Ended on the YIELD at "good": past PUSH_STRING (46 bytes) and six 6-byte instructions.
  EXPECT_EQ(game->script.pc, 46u + 6 * 6 + 6 + 6);
}

TEST_F(GameInterpreter, ConditionPushes) {
  run(R"(
      PUSH_SELECTED_VALUE
      CLEAR_STACK
      PUSH_INT 4
      PUSH_NOT_BELOW_PREVIOUS
      YIELD
      CLEAR_STACK
      PUSH_INT 5
      PUSH_SELECTED_IF_AT_LEAST
      PUSH_SELECTOR_IF_ALL_SET
      PUSH_SELECTOR_OR_ZERO
      PUSH_SELECTOR
      YIELD
  )");
  game->script.flags[3] = 1;
  game->script.flags[7] = 1;
  game->script.vars[3] = 5;
  game->script.vars[4] = 4;
  frame();
  EXPECT_EQ(game->stack.sp, 3u);
  EXPECT_EQ(game->stack.value(2), 1) << "P[3] >= P[4]";
  EXPECT_EQ(game->stack.value(1), 1);
  EXPECT_EQ(game->stack.fromTop(1).kind, 29u);
  game->script.vars[0] = 3;
  frame();
  EXPECT_EQ(game->stack.value(4), 3) << "P[P[0]] = 5 >= 5";
  EXPECT_EQ(game->stack.value(3), -1) << "P[13..15] not all set";
  EXPECT_EQ(game->stack.value(2), 0) << "selector below 13 with a route flag set";
  EXPECT_EQ(game->stack.value(1), 3);
}

TEST_F(GameInterpreter, SelectedValueBySelector) {
  run("PUSH_SELECTED_VALUE\nYIELD\nCLEAR_STACK\nJUMP 0\n");
  frame();
  EXPECT_EQ(game->stack.value(1), 0) << "no flag set";
  game->script.flags[7] = 1;
  game->script.flags[3] = 1;
  frame();
  EXPECT_EQ(game->stack.value(1), 3);
  game->script.vars[0] = 18;
  game->choices.chosen = 42;
  frame();
  EXPECT_EQ(game->stack.value(1), 42);
  game->script.vars[0] = 200;  // outside 0..15 and 18
  frame();
  EXPECT_EQ(game->stack.value(1), 0);
}

TEST_F(GameInterpreter, SetCommandForms) {
  run(R"(
      PUSH_INT 0
      PUSH_INT 5
      SET
      CLEAR_STACK
      PUSH_INT 0
      PUSH_INT 25       ; no flag 25: nothing
      SET
      CLEAR_STACK
      PUSH_INT 1
      PUSH_INT 0
      SET                ; add a point to the selected heroine
      CLEAR_STACK
      PUSH_INT 14
      PUSH_INT -3
      SET
      CLEAR_STACK
      PUSH_INT 17
      PUSH_INT 1
      SET
      CLEAR_STACK
      PUSH_INT 6
      SET_SELECTOR
      CLEAR_STACK
      PUSH_INT 1
      PUSH_INT 0
      SET
      CLEAR_STACK
      PUSH_INT 3
      PUSH_INT 99
      SET_SYSTEM_VALUE
      CLEAR_STACK
      PUSH_INT 70        ; outside the 64 scene flags: nothing
      SET_SCENE_FLAG
      CLEAR_STACK
      PUSH_INT 63
      SET_SCENE_FLAG
      CLEAR_STACK
      PUSH_INT 31
      PUSH_STRING "name"
      SET_STRING
      CLEAR_STACK
      YIELD
  )");
  frame();
  EXPECT_EQ(game->script.flags[5], 1u);
  EXPECT_EQ(game->systemValues.get(16), 1);
  EXPECT_EQ(game->systemValues.get(36), 0);
  EXPECT_EQ(game->script.vars[14], -3);
  EXPECT_EQ(game->script.pictureTint, 0xFFCCCCu);
  EXPECT_EQ(game->script.vars[0], 6);
  EXPECT_EQ(game->script.vars[6], 1) << "only the add after SET_SELECTOR counted";
  EXPECT_EQ(game->systemValues.get(3), 99);
  EXPECT_EQ(game->sceneFlags.get(63), 1u);
  EXPECT_EQ(game->strings.get(31), "name");
  EXPECT_EQ(game->strings.get(32), "");
}

TEST_F(GameInterpreter, JumpToSystemEndsTheStoryButKeepsPersistentValues) {
  run(R"(
      PUSH_INT 0
      PUSH_INT 2
      SET
      CLEAR_STACK
      PUSH_INT 5
      PUSH_INT 1
      SET_SYSTEM_VALUE
      CLEAR_STACK
      PUSH_STRING "SYSTEM.BIN"
      PUSH_INT 0
      JUMP_FILE
  )");
  game->script.vars[13] = 4;
  frame();
  EXPECT_FALSE(game->scriptLoaded());
  EXPECT_EQ(gameMode, uint32_t(kModeTitle));
  EXPECT_EQ(game->script.flags[2], 0u);
  EXPECT_EQ(game->script.vars[13], 0);
  EXPECT_EQ(game->systemValues.get(5), 1);
  EXPECT_EQ(game->systemValues.get(13), 1) << "flag 2 also set system value 13";
  EXPECT_EQ(game->script.pc, 0u);
  frame();  // nothing runs without a script
  EXPECT_EQ(gameMode, uint32_t(kModeTitle));
}

TEST_F(GameInterpreter, JumpLabelUsesTheEntryAfterTheFirst) {
  run(R"(
      .table @start @one @two
  start:
      PUSH_INT 1
      JUMP_LABEL
  one:
      YIELD
  two:
      YIELD
  )");
  frame();
  EXPECT_EQ(game->script.pc, 24u) << "label 1 is table entry 2 (two), whose YIELD ran";
}

TEST_F(GameInterpreter, UnknownOpcodeStopsTheStoryWhereItStands) {
  run("NOP\nOP 1031\nYIELD\n");
  frame();
  EXPECT_EQ(game->script.pc, 6u);
  EXPECT_EQ(game->script.repeat, 1u);
  frame(3);
  EXPECT_EQ(game->script.pc, 6u);
  EXPECT_EQ(game->script.repeat, 4u);
}

TEST_F(GameInterpreter, BrokenScriptsStopInsteadOfReachingOutside) {
  // A label table of 512 labels (513 entries) is refused.
  std::vector<uint8_t> big(12 + 4 * 513 + 6, 0);
  big[8] = 0x00;
  big[9] = 0x02;  // N = 512
  EXPECT_FALSE(game->loadScriptImage("big.bin", big));
  EXPECT_FALSE(game->scriptLoaded());
  // A label table that runs past the file.
  std::vector<uint8_t> cut = {0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(game->loadScriptImage("cut.bin", cut));
  // A name of 32 bytes or more.
  EXPECT_FALSE(game->loadScriptImage(std::string(32, 'a'), assemble("YIELD\n")));
  EXPECT_TRUE(game->loadScriptImage(std::string(31, 'a'), assemble("YIELD\n")));

  // A seventeenth push stops at the push.
  std::string pushes;
  for (int i = 0; i < 17; ++i) pushes += "PUSH_INT " + std::to_string(i) + "\n";
  run(pushes);
  frame(2);
  EXPECT_EQ(game->stack.sp, 16u);
  EXPECT_EQ(game->script.pc, 16u * 6);
  EXPECT_EQ(game->script.repeat, 2u);

  // A jump outside the code stops at the jump.
  run("NOP\nJUMP 4000\n");
  frame();
  EXPECT_EQ(game->script.pc, 6u);
  // A label beyond the table stops at the jump.
  run("PUSH_INT 9\nJUMP_LABEL\n");
  frame();
  EXPECT_EQ(game->script.pc, 6u);
  // A string whose data runs past the code stops at the push.
  auto bytes = assemble("NOP\nPUSH_STRING \"abc\"\n");
  bytes[16 + 6 + 2] = 200;  // operand: 200 bytes of string data
  ASSERT_TRUE(game->loadScriptImage("s.bin", bytes));
  frame();
  EXPECT_EQ(game->script.pc, 6u);
  // Running off the end of the code stops there.
  run("NOP\nNOP\n");
  frame(2);
  EXPECT_EQ(game->script.pc, 12u);
  EXPECT_TRUE(game->scriptLoaded());
}

TEST_F(GameInterpreter, LongStringsAreCutAtACharacterBoundary) {
  std::string text(254, 'a');
  text += "\xE3\x81\x82";  // あ: two bytes in Shift-JIS, crossing the 255th byte
  text += std::string(20, 'b');
  run("PUSH_STRING \"" + text + "\"\nYIELD\n");
  frame();
  EXPECT_EQ(game->stack.text(1).size(), 254u);
}

TEST_F(GameInterpreter, ScriptThatNeverEndsAFrameDoesNotHoldTheFrameLoop) {
  run("loop: JUMP @loop\n");
  frame();  // returns
  EXPECT_EQ(game->script.pc, 0u);
  run("a: NOP\nJUMP @a\n");
  frame();
  SUCCEED();
}

TEST_F(GameInterpreter, JumpFileToAMissingScenarioReturnsToTheTitle) {
  run("PUSH_STRING \"99-99(none).bin\"\nPUSH_INT 0\nJUMP_FILE\n");
  frame();
  EXPECT_FALSE(game->scriptLoaded());
  EXPECT_EQ(gameMode, uint32_t(kModeTitle));
  EXPECT_EQ(errorWord, 0u);
}

TEST_F(GameInterpreter, ChainsIntoAnotherScenarioAtTheOffset) {
  // The Script archive is read from the data folder below a scratch program folder.
  auto dir = std::filesystem::path(SOREL_TEST_TMP) / "GameInterpreter.Chains";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "data");
  auto second = assemble("YIELD\nPUSH_INT 3\nYIELD\n");
  ASSERT_TRUE(writeTestArchive(dir / "data" / "Script.mlz", {{"b.bin", second}}));
  paths = makeDataPaths(sys(dir) + "\\");
  makeGame();
  run("PUSH_STRING \"B.BIN\"\nPUSH_INT 6\nJUMP_FILE\n", "a.bin");
  frame();
  EXPECT_EQ(fieldView(game->script.scriptName), "B.BIN");
  EXPECT_EQ(game->script.pc, 18u) << "went on in the same frame from offset 6 to the YIELD";
  EXPECT_EQ(game->stack.value(1), 3);
  ASSERT_EQ(game->visitedScenarios.size(), 2u);
}

}  // namespace
}  // namespace sorel::test
