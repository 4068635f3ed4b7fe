#pragma once
// A Game, with its screens and saves wired as the application wires them, on stand-in engine
// services: pictures come from a table of sizes instead of archives, scripts are assembled in the
// test, the clock is virtual, and every dirty rectangle is kept.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/saves/game_saves.h"
#include "engine/screens/game_screens.h"
#include "engine/story/game.h"
#include "engine/story/script_opcodes.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/screen.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"
#include "platform/clock.h"
#include "tools/script_asm.h"
#include "converter/mlz_writer.h"
#include "tests/test_support.h"

#include <filesystem>

namespace sorel::test {

/// A sound stand-in that records requests and plays each voice for a set time.
class RecordingSound : public StorySound {
 public:
  bool playVoice(std::string_view name, int volume) override {
    voices.emplace_back(name);
    voiceVolumes.push_back(volume);
    voiceUntil = platform::tickCount() + voiceLength;
    return true;
  }
  bool playSystemVoice(std::string_view name, int volume, bool startNow) override {
    systemVoices.push_back(std::string(name) + "@" + std::to_string(volume) + (startNow ? "" : ":prepared"));
    return true;
  }
  void start(int slot) override { starts.push_back(slot); }
  bool isPlaying(int slot) override {
    if (slot == 0) return musicPlaying;
    if (slot == 6 || slot == 7) return effectPlaying[size_t(slot - 6)];
    return slot == 2 && int32_t(platform::tickCount() - voiceUntil) < 0;
  }
  void stop(int slot) override {
    if (slot == 2) voiceUntil = platform::tickCount();
    if (slot == 0) musicPlaying = false;
    if (slot == 6 || slot == 7) effectPlaying[size_t(slot - 6)] = false;
    stops.push_back(slot);
  }
  void fadeOut(int slot, int ms) override {
    fades.push_back(std::to_string(slot) + ":" + std::to_string(ms));
    stop(slot);
  }
  void stopAll() override { voiceUntil = platform::tickCount(); }
  void playEffect(int slot, std::string_view name, int volume, bool loop) override {
    effects.push_back(std::to_string(slot) + ":" + std::string(name) + (loop ? ":loop" : "") + "@" +
                      std::to_string(volume));
    if (slot == 6 || slot == 7) effectPlaying[size_t(slot - 6)] = true;
  }
  void playMusic(std::string_view name, int volume, int fade) override {
    music.assign(name);
    musicPlaying = true;
    musicRequests.push_back(std::string(name) + "@" + std::to_string(fade) + "@" + std::to_string(volume));
  }
  /// The fade leaves slot 0 playing until the test ends it (musicPlaying = false).
  void fadeOutMusic(int ms) override {
    music.clear();
    musicFades.push_back(ms);
  }
  void stopMusic() override {
    music.clear();
    musicPlaying = false;
  }
  std::string_view musicName() override { return music; }
  void playJingle(std::string_view name, int volume) override {
    music.assign(name);
    musicPlaying = true;
    musicRequests.push_back(std::string(name) + "@once@" + std::to_string(volume));
  }
  bool playSystemVoiceOn(int slot, std::string_view name, int volume, bool startNow) override {
    systemVoices.push_back(std::to_string(slot) + ":" + std::string(name) + "@" + std::to_string(volume) +
                           (startNow ? "" : ":prepared"));
    return true;
  }

  uint32_t voiceLength = 0;
  uint32_t voiceUntil = 0;
  std::vector<std::string> voices, effects, musicRequests, systemVoices, fades;
  std::vector<int> stops, starts, musicFades, voiceVolumes;
  bool musicPlaying = false;
  std::array<bool, 2> effectPlaying{};
  std::string music;
};

/// Writes an archive of the given members (stored, not compressed).
inline bool writeTestArchive(const std::filesystem::path& host,
                             const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members) {
  MlzWriter w;
  if (!w.open(sys(host), uint32_t(members.size()))) return false;
  for (const auto& [name, bytes] : members)
    if (!w.add(name, bytes, true)) return false;
  return w.close();
}

class GameFixture : public ::testing::Test {
 protected:
  GameFixture() : paths(makeDataPaths("C:\\game\\")) {}

  void SetUp() override {
    screenWidth = 640;
    screenHeight = 480;
    platform::setClockMode(platform::ClockMode::Virtual, 100000);
    makeGame();
  }
  void TearDown() override { platform::setClockMode(platform::ClockMode::Real); }

  void makeGame() {
    saves.reset();
    screens.reset();
    game.reset();
    archives = std::make_unique<PictureArchives>(isVga());
    GameHost host{pictures, *archives, scriptArchive, paths, settings, input, errorWord, gameMode, subMode,
                  [this](const Rect& r) { dirty.push_back(r); }, [this]() -> const Surface* { return &surface; },
                  nullptr, nullptr, [this](int slot) { return saveHook ? saveHook(slot) : false; },
                  [this](int slot) { return loadHook ? loadHook(slot) : false; }};
    host.pictureLoader = [this](Picture& out, std::string_view file, std::string_view archivePath, MlzArchive&,
                                ColourWord tint, int* x, int* y) {
      loads.push_back(std::string(archivePath) + "|" + std::string(file));
      auto it = files.find(std::string(file));
      if (it == files.end()) return false;
      const FakePicture& f = it->second;
      // Half-size pictures when the screen is half-size, as the non-VGA archives hold them.
      uint32_t w = uint32_t(f.w * screenWidth / 640), h = uint32_t(f.h * screenHeight / 480);
      out.width = w;
      out.height = h;
      out.designWidth = f.w;
      out.designHeight = f.h;
      out.name.assign(file);
      out.tint = tint;
      out.pixels.assign(size_t(w) * h * 4, 255);
      if (x) *x = f.x;
      if (y) *y = f.y;
      return true;
    };
    game = std::make_unique<Game>(host, &sound);
    screens = std::make_unique<GameScreens>(*game);
    saves = std::make_unique<GameSaves>(*game);
    game->setScreens(screens.get());
    game->setSnapshots(saves.get());
    surface.resize(screenWidth, screenHeight);
  }

  /// Assembles scenario text; fails the test on errors.
  static std::vector<uint8_t> assemble(std::string_view text) {
    auto r = script::assemble(text);
    for (const auto& e : r.errors) ADD_FAILURE() << "line " << e.line << ": " << e.message;
    return r.bytes;
  }
  /// Loads assembled text as the named scenario and enters story mode.
  void run(std::string_view text, std::string_view name = "test.bin") {
    ASSERT_TRUE(game->loadScriptImage(name, assemble(text)));
    gameMode = kModeStory;
  }
  /// One frame: the clock moves 16 ms, then the game steps and the layers update.
  void frame(int n = 1) {
    for (int i = 0; i < n; ++i) {
      platform::advanceVirtualClock(16);
      game->gameStep();
      game->updateLayers(platform::tickCount());
      input.tapNow = 0;
      for (auto& c : input.counts)
        if (c > 0) ++c;  // a key still down counts on (auto-repeat)
    }
  }
  void press(Key k) { input.count(k) = 1; }
  void release(Key k) { input.count(k) = 0; }
  void tap(int x, int y) {
    input.tapNow = 1;
    input.penX = x;
    input.penY = y;
  }

  /// A picture the loader knows: design size and stored placement.
  struct FakePicture {
    int w, h, x = 0, y = 0;
  };
  void addPicture(const std::string& name, int w, int h, int x = 0, int y = 0) { files[name] = {w, h, x, y}; }

  /// A sprite table with records (face, sprite, alternate).
  static std::vector<uint8_t> standTable(const std::vector<std::array<std::string, 3>>& recs) {
    std::vector<uint8_t> t(recs.size() * DataTables::kStandRecordSize, 0);
    for (size_t i = 0; i < recs.size(); ++i)
      for (size_t f = 0; f < 3; ++f)
        std::copy(recs[i][f].begin(), recs[i][f].end(), t.begin() + long(i * 224 + f * 32));
    return t;
  }
  static std::vector<uint8_t> visualTable(const std::vector<std::array<std::string, 2>>& recs) {
    std::vector<uint8_t> t(recs.size() * DataTables::kVisualRecordSize, 0);
    for (size_t i = 0; i < recs.size(); ++i)
      for (size_t f = 0; f < 2; ++f)
        std::copy(recs[i][f].begin(), recs[i][f].end(), t.begin() + long(i * 196 + 4 + f * 32));
    return t;
  }

  /// Sprite and event-picture tables of n records (face Fi, sprite Si, event picture Vi) whose
  /// pictures the loader knows, and the message window's pictures.
  void standInTables(int n) {
    std::vector<std::array<std::string, 3>> stands;
    std::vector<std::array<std::string, 2>> visuals;
    for (int i = 0; i < n; ++i) {
      stands.push_back({"F" + std::to_string(i) + ".bmp", "S" + std::to_string(i) + ".bmp", ""});
      visuals.push_back({"V" + std::to_string(i) + ".bmp", ""});
      addPicture("F" + std::to_string(i) + ".bmp", 160, 172);
      addPicture("S" + std::to_string(i) + ".bmp", 300, 460, 150, 20);
      addPicture("V" + std::to_string(i) + ".bmp", 640, 480);
    }
    game->tables().setStand(standTable(stands));
    game->tables().setVisual(visualTable(visuals));
    for (const char* f : {"MessageWindow.bmp", "MessageWindow2.bmp", "Cursor.bmp"}) addPicture(f, 640, 162);
  }

  PictureTable pictures;
  std::unique_ptr<PictureArchives> archives;
  MlzArchive scriptArchive;
  DataPaths paths;
  Settings settings;
  InputState input;
  uint32_t errorWord = 0, gameMode = 0, subMode = 0;
  Surface surface;
  std::vector<Rect> dirty;
  std::vector<std::string> loads;
  std::map<std::string, FakePicture> files;
  RecordingSound sound;
  /// What the game's save and load requests (quick save, the choice's automatic save) reach.
  std::function<bool(int)> saveHook, loadHook;
  std::unique_ptr<Game> game;
  std::unique_ptr<GameScreens> screens;
  std::unique_ptr<GameSaves> saves;
};

}  // namespace sorel::test
