// The story's snapshot and its way back: a game saved while a message waits comes back at that
// message with its scene, sprites, window, sounds and backlog; a save whose scenario is gone is
// refused without touching the running game; the centre key's quick save and quick load; the
// system data's lists.
#include <cstring>

#include "engine/saves/save_data.h"
#include "engine/saves/system_data.h"
#include "tests/game_fixture.h"

namespace sorel::test {
namespace {

constexpr const char* kScript = R"(
    PUSH_INT 3
    PUSH_STRING "name"
    SET_STRING
    CLEAR_STACK
    PUSH_INT 16
    PUSH_STRING "gone"
    SET_STRING
    CLEAR_STACK
    PUSH_INT 16
    PUSH_INT 1
    SET
    CLEAR_STACK
    PUSH_INT 2
    VISUAL_SHOW
    CLEAR_STACK
    PUSH_INT 0
    PUSH_INT 1
    STAND_SET
    CLEAR_STACK
    PUSH_STRING "rain.wav"
    LOOP_SE_PLAY_4
    CLEAR_STACK
    PUSH_INT 15
    PUSH_INT -1
    PUSH_STRING "\x82\xa0"
    MESSAGE
    CLEAR_STACK
    PUSH_INT 3
    PUSH_INT -1
    PUSH_STRING "\x82\xa2\x82\xa4"
    MESSAGE
    CLEAR_STACK
end:
    YIELD
    PUSH_INT 0
    JUMP @end
)";

class GameSave : public GameFixture {
 protected:
  void SetUp() override {
    GameFixture::SetUp();
    dir = scratchFolder();
    std::filesystem::create_directories(dir / "data");
    ASSERT_TRUE(writeTestArchive(dir / "data" / "Script.mlz", {{"01-01.bin", assemble(kScript)}}));
    paths = makeDataPaths(sys(dir) + "\\");
    settings.messageSpeed = 0;
    settings.sePlay = 2;
    prepare();
  }
  void prepare() {
    makeGame();
    standInTables(4);
  }
  /// Plays up to the second message, waiting with its marker up.
  void playToSecondMessage() {
    ASSERT_TRUE(game->startStory("01-01.bin"));
    sound.music = "bgm01.mp3";
    for (int i = 0; i < 200 && game->backlog().count() == 0; ++i) {
      if (game->message.markerShown && i % 5 == 0) press(Key::Right);
      frame();
      release(Key::Right);
    }
    frame(3);
    ASSERT_EQ(game->backlog().count(), 1u);
    ASSERT_EQ(game->message.markerShown, 1u);
  }
  std::vector<uint8_t> saveFile() {
    auto block = saves->saveBlock();
    auto thumb = makeThumbnail(surface, 160, 128);
    return buildSaveFile(std::span<const uint8_t, kSaveBlockSize>(block.data(), kSaveBlockSize), {2004, 1, 2, 3, 4, 5},
                         thumb, saves->backlogData());
  }
  std::filesystem::path dir;
};

TEST_F(GameSave, TheSnapshotIsTakenWhenAMessageBegins) {
  EXPECT_FALSE(saves->hasSnapshot());
  playToSecondMessage();
  ASSERT_TRUE(saves->hasSnapshot());
  auto f = readSaveFile(saveFile());
  ASSERT_TRUE(f);
  const SaveSnapshot& s = f->snapshot;
  EXPECT_EQ(s.pc, game->script.pc) << "the waiting message's own instruction";
  EXPECT_EQ(s.repeat, 0u);
  EXPECT_EQ(s.stack.sp, 3u) << "its arguments";
  EXPECT_EQ(fieldView(s.scenario), "01-01.bin");
  EXPECT_EQ(fieldView(s.music), "bgm01.mp3");
  EXPECT_EQ(s.visual, 2);
  EXPECT_EQ(s.stand[0], 1);
  EXPECT_EQ(s.windowStyle, 1u);
  EXPECT_EQ(s.gameMode, 99u);
  ASSERT_EQ(f->backlog.size(), 1u) << "the backlog as it was when the message began";
  EXPECT_EQ(f->backlog[0].text, "\x82\xa0");
}

TEST_F(GameSave, ALoadedGameResumesAtItsMessage) {
  playToSecondMessage();
  const uint32_t pc = game->script.pc;
  auto bytes = saveFile();
  // A fresh game, somewhere else entirely.
  prepare();
  auto f = readSaveFile(bytes);
  ASSERT_TRUE(f);
  sound.effects.clear();
  sound.musicRequests.clear();
  ASSERT_TRUE(saves->loadSavedGame(*f));
  EXPECT_EQ(fieldView(game->script.scriptName), "01-01.bin");
  EXPECT_EQ(game->script.pc, pc);
  EXPECT_EQ(gameMode, uint32_t(kModeStory));
  EXPECT_EQ(game->script.visual, 2);
  EXPECT_TRUE(game->layers().exists(28)) << "the scene picture";
  EXPECT_EQ(game->script.stand[0], 1);
  EXPECT_TRUE(game->layers().exists(24)) << "the sprite";
  EXPECT_EQ(game->script.windowStyle, 1u);
  EXPECT_EQ(game->script.windowShown, 1u);
  EXPECT_EQ(game->strings.get(3), "name");
  EXPECT_EQ(game->strings.get(16), "") << "entries 0 and 16 are cleared by a load";
  EXPECT_EQ(game->backlog().count(), 1u);
  EXPECT_EQ(sound.musicRequests, std::vector<std::string>{"bgm01.mp3@0@" + std::to_string(settings.musicVol * settings.masterVol / 100)});
  ASSERT_EQ(sound.effects.size(), 1u);
  EXPECT_EQ(sound.effects[0].rfind("4:rain.mp3:loop", 0), 0u) << sound.effects[0];
  // The message runs again from its arguments.
  frame(3);
  EXPECT_EQ(game->message.offset, int64_t(pc));
  EXPECT_EQ(fieldView(game->message.text), "\x82\xa2\x82\xa4");
  EXPECT_EQ(game->textCells().count, 2);
  EXPECT_EQ(game->message.markerShown, 1u);
}

TEST_F(GameSave, ASaveWhoseScenarioIsGoneIsRefusedUntouched) {
  playToSecondMessage();
  auto bytes = saveFile();
  std::memset(bytes.data() + save_field::kScenario, 0, 32);
  std::memcpy(bytes.data() + save_field::kScenario, "02-01.bin", 9);
  auto f = readSaveFile(bytes);
  ASSERT_TRUE(f);
  const uint32_t pc = game->script.pc;
  const int cells = game->textCells().count;
  EXPECT_FALSE(saves->loadSavedGame(*f));
  EXPECT_EQ(game->script.pc, pc);
  EXPECT_EQ(fieldView(game->script.scriptName), "01-01.bin");
  EXPECT_EQ(game->textCells().count, cells);
  EXPECT_TRUE(game->layers().exists(28));
  EXPECT_EQ(game->backlog().count(), 1u);
}

TEST_F(GameSave, TheCentreKeySavesOrLoadsTheFirstSlot) {
  std::vector<std::string> calls;
  saveHook = [&](int slot) {
    calls.push_back("save " + std::to_string(slot));
    return true;
  };
  loadHook = [&](int slot) {
    calls.push_back("load " + std::to_string(slot));
    return true;
  };
  settings.keyCenCtrl = 4;
  playToSecondMessage();
  press(Key::Start);
  frame();
  release(Key::Start);
  EXPECT_EQ(calls, std::vector<std::string>{"save 0"});
  EXPECT_EQ(game->backlog().count(), 1u) << "the message still waits";
  settings.keyCenCtrl = 5;
  press(Key::Start);
  frame();
  EXPECT_EQ(calls, (std::vector<std::string>{"save 0", "load 0"}));
  settings.keyCenCtrl = 1;
  release(Key::Start);
  press(Key::Start);
  frame();
  EXPECT_EQ(calls.size(), 2u) << "other centre-key actions neither save nor load";
}

TEST_F(GameSave, SystemDataCarriesTheReadTableAndTheLists) {
  playToSecondMessage();
  SystemData d = saves->systemData();
  ASSERT_EQ(d.readTable.size(), 1u);
  EXPECT_EQ(d.readTable[0].scenario, "01-01.bin");
  EXPECT_EQ(d.visitedScenarios, std::vector<std::string>{"01-01.bin"});
  EXPECT_EQ(d.visitedPictures, std::vector<std::string>{"V2.bmp"});
  auto bytes = serialiseSystemData(d);
  prepare();
  EXPECT_FALSE(game->readTable().isRead("01-01.bin", d.readTable[0].offsets[0]));
  saves->setSystemData(*parseSystemData(bytes));
  EXPECT_TRUE(game->readTable().isRead("01-01.bin", d.readTable[0].offsets[0]));
  EXPECT_EQ(game->visitedPictures.size(), 1u);
}

}  // namespace
}  // namespace sorel::test
