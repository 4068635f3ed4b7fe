// Saving and loading through the application object: files in the save folder, the refusals
// that leave the running game untouched, the menu's slots, the system data file with its
// damaged-file handling, the leftovers of an interrupted write, and the choice save.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "converter/mlz_writer.h"
#include "engine/saves/save_data.h"
#include "engine/saves/system_data.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "engine/state/profile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/audio/movie_files.h"
#include "tests/runtime/app_fixture.h"
#include "tools/script_asm.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kScript = R"(
    PUSH_INT 15
    PUSH_INT -1
    PUSH_STRING "\x82\xa0"
    MESSAGE
    CLEAR_STACK
    PUSH_INT 15
    PUSH_INT -1
    PUSH_STRING "\x82\xa2"
    MESSAGE
    CLEAR_STACK
end:
    YIELD
    PUSH_INT 0
    JUMP @end
)";

std::vector<uint8_t> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
}

class SaveLoad : public test::AppFixture<> {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    fs::create_directories(host / "data" / "save");
    auto bytes = script::assemble(kScript).bytes;
    MlzWriter w;
    ASSERT_TRUE(w.open(*platform::systemPath((host / "data" / "Script.mlz").string()), 1));
    ASSERT_TRUE(w.add("01-01.bin", bytes, true));
    ASSERT_TRUE(w.close());
    start();
  }
  /// The story started and waiting at its first message.
  void toFirstMessage() {
    ASSERT_TRUE(app->startStory("01-01.bin"));
    frames(30);
    ASSERT_EQ(app->game()->message.markerShown, 1u);
  }
  /// One frame with a key pressed in it (then let go).
  void pressFor(Key k) {
    app->input().count(k) = 1;
    frames(1);
    app->input().count(k) = 0;
  }
  /// The opening movie playing over the game.
  void playMovie() {
    fs::create_directories(host / "data" / "jmv");
    writeBytes(host / "data" / "jmv" / "Opening.jmv", testing::makeTestMovie(5, 32, 32, 10));
    ASSERT_TRUE(app->startMovie("Opening.jmv"));
  }
  uint32_t snapshotPc() const { return loadU32(app->saves()->saveBlock().data() + save_field::kPc); }
  fs::path save(int slot) const { return host / "data" / "save" / saveFileName(slot); }
  fs::path systemFile() const { return host / "data" / "save" / "save000.dat"; }
};

TEST_F(SaveLoad, NothingIsSavedBeforeTheFirstSnapshotOrWhileSavesAreOff) {
  EXPECT_FALSE(app->saveGame(0));
  EXPECT_FALSE(fs::exists(save(0)));
  toFirstMessage();
  EXPECT_TRUE(app->saveEnabled()) << "the story starts with saving on, as New Game does";
  app->setSaveEnabled(false);
  EXPECT_FALSE(app->game()->host().saveGame(0)) << "quick save obeys the save entries";
  EXPECT_FALSE(app->game()->host().saveGame(600)) << "no automatic choice save in a replay";
  EXPECT_FALSE(fs::exists(save(0)));
  EXPECT_FALSE(fs::exists(save(600)));
  EXPECT_FALSE(app->saveGame(15)) << "slots are 0..14 and 600";
}

TEST_F(SaveLoad, ASaveLoadsBackAfterARestartWithTheReadTable) {
  toFirstMessage();
  const uint32_t pc = app->game()->script.pc;
  ASSERT_TRUE(app->saveGame(3));
  int newest = -2;
  EXPECT_EQ(app->saveSlotEntries(newest)[3].loadEnabled, true) << "seen before it reaches the disk";
  app->flushSaves();
  auto bytes = readBytes(save(3));
  EXPECT_TRUE(isCompleteSaveFile(bytes));
  EXPECT_EQ(bytes.size(), 9624u + 54 + 80 * 64 * 2 + 4) << "the handheld's thumbnail, an empty backlog";
  EXPECT_TRUE(fs::exists(systemFile())) << "the system data follows every save";
  auto slots = app->saveSlotEntries(newest);
  EXPECT_EQ(newest, 3);
  EXPECT_TRUE(slots[3].loadEnabled);
  EXPECT_EQ(slots[3].label, "2004-04-01 00:00:00 ") << "time and (no) chapter title";
  EXPECT_EQ(slots[3].thumbnail.width, 80u);
  EXPECT_FALSE(slots[0].loadEnabled);
  EXPECT_EQ(slots[0].label, "---- \x96\xA2\x92\xE8\x8B\x60 ----");
  // The reader goes on; the message is read.
  app->input().count(Key::Right) = 1;
  frames(30);
  EXPECT_EQ(app->game()->backlog().count(), 1u);
  platform::postMessage(app->window(), platform::WM_CLOSE, 0, 0);
  platform::Message m;
  while (platform::peekMessage(m, true) && m.message != platform::WM_QUIT) platform::dispatchMessage(m);
  start();
  EXPECT_TRUE(app->game()->readTable().isRead("01-01.bin", pc)) << "the read table survives the restart";
  EXPECT_EQ(app->game()->visitedScenarios.size(), 1u);
  ASSERT_TRUE(app->loadGame(3));
  EXPECT_EQ(app->game()->script.pc, pc);
  EXPECT_EQ(app->gameMode, uint32_t(kModeStory));
  EXPECT_TRUE(app->saveEnabled());
  frames(30);
  EXPECT_EQ(app->game()->message.markerShown, 1u);
  EXPECT_EQ(app->game()->backlog().count(), 0u) << "the backlog as it was at the save";
}

TEST_F(SaveLoad, ABadSaveIsRefusedAndTheGameGoesOn) {
  toFirstMessage();
  ASSERT_TRUE(app->saveGame(0));
  app->flushSaves();
  const auto good = readBytes(save(0));
  app->input().count(Key::Right) = 1;
  frames(30);
  const uint32_t pc = app->game()->script.pc;
  const size_t log = app->game()->backlog().count();
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
  };
  const std::vector<Case> cases = {
      {"short", [](auto& b) { b.resize(9000); }},
      {"magic", [](auto& b) { b[1] = 'X'; }},
      {"stack count", [](auto& b) { storeU32(&b[save_field::kStack], 99); }},
      {"scenario without its end", [](auto& b) { std::memset(&b[save_field::kScenario], 'a', 32); }},
      {"thumbnail offset", [](auto& b) { storeU32(&b[4], uint32_t(b.size())); }},
      {"backlog past the end", [](auto& b) { storeU32(&b[b.size() - 4], 0x10000); }},
      {"missing scenario", [](auto& b) { std::memcpy(&b[save_field::kScenario], "99-99.bin", 10); }},
  };
  playMovie();
  for (const Case& c : cases) {
    auto bytes = good;
    c.spoil(bytes);
    writeBytes(save(0), bytes);
    EXPECT_FALSE(app->loadGame(0)) << c.what;
    EXPECT_EQ(app->game()->script.pc, pc) << c.what;
    EXPECT_EQ(app->game()->backlog().count(), log) << c.what;
    EXPECT_TRUE(app->isPlaying()) << c.what << ": a refused load leaves the movie running";
  }
  // A file that does not check out: the slot says so, and is not offered for loading.
  writeBytes(save(0), std::vector<uint8_t>(good.begin(), good.begin() + 9000));
  int newest = 0;
  EXPECT_EQ(app->saveSlotEntries(newest)[0].label, "---- \x94\x6A\x91\xB9 ----");
  EXPECT_FALSE(app->saveSlotEntries(newest)[0].loadEnabled);
  fs::remove(save(0));
  EXPECT_FALSE(app->loadGame(0)) << "missing";
  EXPECT_FALSE(app->saveSlotEntries(newest)[0].loadEnabled);
  EXPECT_EQ(app->saveSlotEntries(newest)[0].label, "---- \x96\xA2\x92\xE8\x8B\x60 ----");
}

TEST_F(SaveLoad, TheStatusLineSaysWhetherASaveWasWritten) {
  toFirstMessage();
  ASSERT_TRUE(app->saveGame(2));
  ASSERT_TRUE(app->game()->host().saveGame(600));
  frames(1);
  // "SAVE_003に保存しました", on the menu's face at the top-left corner; the choice save says nothing.
  EXPECT_EQ(app->notices().shown(), "SAVE_003\x82\xC9\x95\xDB\x91\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD");
  EXPECT_EQ(app->surface().row(6)[4 * 3 + 1], 208);
  frames(200);
  EXPECT_TRUE(app->notices().idle()) << "gone after a few seconds";
  EXPECT_NE(app->surface().row(6)[4 * 3 + 1], 208);
  // A save folder that cannot take the file: "SAVE_005を保存できませんでした", then the system data's.
  fs::remove_all(host / "data" / "save");
  writeBytes(host / "data" / "save", {1});
  ASSERT_TRUE(app->saveGame(4));
  frames(1);
  EXPECT_EQ(app->notices().shown(),
            "SAVE_005\x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD");
  frames(200);
  EXPECT_EQ(app->notices().shown().rfind("\x83\x56\x83\x58\x83\x65\x83\x80", 0), 0u) << "システム…";
  fs::remove(host / "data" / "save");
  fs::create_directories(host / "data" / "save");
}

TEST_F(SaveLoad, ADamagedSystemDataFileIsKeptAsideAndTheListsStartEmpty) {
  toFirstMessage();
  ASSERT_TRUE(app->saveSystemData());
  app->flushSaves();
  auto bytes = readBytes(systemFile());
  bytes[8] = 0x7F;  // a byte length past the end
  writeBytes(systemFile(), bytes);
  start();
  EXPECT_TRUE(app->game()->visitedScenarios.empty());
  EXPECT_EQ(readBytes(fs::path(systemFile().string() + ".bak")), bytes);
  EXPECT_EQ(readBytes(systemFile()), bytes) << "not overwritten until the next write";
}

TEST_F(SaveLoad, LeftoversOfAnInterruptedWriteAreRecoveredOrDropped) {
  toFirstMessage();
  ASSERT_TRUE(app->saveGame(0));
  ASSERT_TRUE(app->saveGame(1));
  app->flushSaves();
  const auto first = readBytes(save(0));
  auto newer = first;
  newer[save_field::kVars] = 7;  // a complete newer file, written but never renamed
  writeBytes(fs::path(save(0).string() + ".part"), newer);
  auto half = first;
  half.resize(half.size() / 2);
  writeBytes(fs::path(save(1).string() + ".part"), half);
  auto system = readBytes(systemFile());
  writeBytes(fs::path(systemFile().string() + ".part"), std::vector<uint8_t>(system.begin(), system.end() - 3));
  writeBytes(host / "data" / "save" / "notes.txt.part", {1, 2, 3});
  start();
  EXPECT_EQ(readBytes(save(0)), newer) << "the complete leftover is put in place";
  EXPECT_EQ(readBytes(save(1)), first) << "the partial one is dropped, the old save stays";
  EXPECT_EQ(readBytes(systemFile()), system);
  EXPECT_FALSE(fs::exists(save(0).string() + ".part"));
  EXPECT_FALSE(fs::exists(save(1).string() + ".part"));
  EXPECT_FALSE(fs::exists(systemFile().string() + ".part"));
  EXPECT_TRUE(fs::exists(host / "data" / "save" / "notes.txt.part")) << "other files are left alone";
}

TEST_F(SaveLoad, TheChoiceSaveIsReturnedToOnce) {
  const MenuItem* back = app->popupMenu().find(PopupMenu::kReturnToChoice);
  EXPECT_FALSE(back->enabled) << "greyed until a choice was saved";
  toFirstMessage();
  app->returnToLastChoice();  // nothing saved yet: nothing happens
  EXPECT_FALSE(app->choiceSaved());
  ASSERT_TRUE(app->game()->host().saveGame(600));
  EXPECT_TRUE(app->choiceSaved());
  EXPECT_TRUE(back->enabled);
  app->flushSaves();
  EXPECT_TRUE(fs::exists(save(600)));
  const uint32_t pc = app->game()->script.pc;
  app->input().count(Key::Right) = 1;
  frames(30);
  ASSERT_NE(app->game()->script.pc, pc);
  app->returnToLastChoice();
  EXPECT_FALSE(app->choiceSaved());
  EXPECT_FALSE(back->enabled);
  EXPECT_EQ(app->game()->script.pc, pc);
}

TEST_F(SaveLoad, TheBacklogGivesTheSaveEntriesBackAsItFoundThem) {
  toFirstMessage();
  pressFor(Key::Right);
  frames(30);  // the second message: the first is in the backlog
  for (bool on : {false, true}) {  // off as in a replay, on in the story
    app->setSaveEnabled(on);
    pressFor(Key::Up);
    ASSERT_EQ(app->gameMode, uint32_t(kModeBacklog)) << on;
    EXPECT_FALSE(app->saveEnabled()) << "no saving from the backlog";
    pressFor(Key::A);
    ASSERT_EQ(app->gameMode, uint32_t(kModeStory)) << on;
    EXPECT_EQ(app->saveEnabled(), on);
  }
}

TEST_F(SaveLoad, TheSnapshotEndsWithTheStoryAndALoadBringsItsOwn) {
  toFirstMessage();
  const uint32_t first = snapshotPc();
  ASSERT_TRUE(app->saveGame(0));
  pressFor(Key::Right);
  frames(30);
  ASSERT_NE(snapshotPc(), first) << "the second message's snapshot";
  ASSERT_TRUE(app->loadGame(0));
  EXPECT_EQ(snapshotPc(), first) << "the loaded block is the snapshot before any frame";
  EXPECT_EQ(std::vector<uint8_t>(app->saves()->backlogData().begin(), app->saves()->backlogData().end()),
            std::vector<uint8_t>(4, 0))
      << "and so is its (empty) backlog";
  // ﾀｲﾄﾙに戻る, then New Game: nothing of the old game can be saved before the first message.
  app->game()->endScript();
  EXPECT_FALSE(app->saves()->hasSnapshot());
  ASSERT_TRUE(app->startStory("01-01.bin"));
  EXPECT_FALSE(app->saveGame(1));
  frames(30);
  EXPECT_TRUE(app->saveGame(1));
}

TEST_F(SaveLoad, ReturningToTheTitleEndsAMovie) {
  toFirstMessage();
  playMovie();
  platform::postMessage(app->window(), platform::WM_COMMAND, 40008, 0);  // ﾀｲﾄﾙに戻る
  platform::Message m;
  while (platform::peekMessage(m, true)) platform::dispatchMessage(m);
  EXPECT_EQ(app->gameMode, uint32_t(kModeTitle));
  EXPECT_FALSE(app->isPlaying());
}

}  // namespace
}  // namespace sorel
