// Saving a running game: the snapshot taken when a message or a choice begins, a checked
// save file put back into the running game, and the system data's lists and values.
#include <algorithm>
#include <cstring>

#include "engine/saves/game_saves.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kMarkerLayer = 516;

}  // namespace

void GameSaves::takeSnapshot() {
  SaveSnapshot s;
  s.title = std::string(chapterTitle(fieldView(m_game.script.scriptName)));
  s.visual = m_game.script.visual;
  s.stand = m_game.script.stand;
  s.standName = m_game.script.standName;
  s.scenario = m_game.script.scriptName;
  copyField(s.music, m_game.sound().musicName());
  s.loopSe = m_game.script.loopSeName;
  s.stack = m_game.stack;
  s.strings = m_game.strings;
  s.effect = m_game.effect;
  s.message = m_game.message;
  s.markerLayer = m_game.layers().exists(kMarkerLayer) ? 1 : 0;
  s.choices = m_game.choices;
  s.windowShown = m_game.script.windowShown;
  s.windowCreated = m_game.script.windowCreated;
  s.windowStyle = m_game.script.windowStyle;
  s.pictureTint = m_game.script.pictureTint;
  s.dimmed = m_game.script.dimmed;
  s.vars = m_game.script.vars;
  s.flags = m_game.script.flags;
  s.gameMode = m_game.host().gameMode;
  s.subMode = m_game.host().subMode;
  s.pc = m_game.script.pc;
  s.repeat = m_game.script.repeat;
  s.brightness = uint32_t(m_game.brightness);
  s.clearToGrey = m_game.clearToGrey ? 1 : 0;
  s.clearBeforeDraw = m_game.clearBeforeDraw ? 1 : 0;
  m_saveBlock.resize(kSaveBlockSize);
  writeSaveBlock(s, std::span<uint8_t, kSaveBlockSize>(m_saveBlock.data(), kSaveBlockSize));
  m_backlogData = serialiseBacklog(m_game.backlog());
}

void GameSaves::dropSnapshot() {
  m_saveBlock.clear();
  m_backlogData.clear();
}

bool GameSaves::hasSnapshot() const {
  return m_saveBlock.size() == kSaveBlockSize && std::memcmp(m_saveBlock.data(), "QVD", 3) == 0;
}

bool GameSaves::loadSavedGame(const SaveFile& file) {
  const SaveSnapshot& s = file.snapshot;
  // The scenario is read and checked before anything of the running game is touched.
  const std::string name(fieldView(s.scenario));
  if (name.empty()) return false;
  auto bytes = m_game.host().scriptArchive.extract(m_game.host().paths.scriptArchivePath, name);
  if (!bytes) return false;
  {
    ScriptProgram probe;
    if (!probe.load(*bytes)) return false;
  }

  // Tear the running game down.
  if (m_game.host().stopMovie) m_game.host().stopMovie();
  m_game.freeStaffRoll();
  if (StoryScreens* screens = m_game.screens()) screens->forgetEyeCatch();
  m_game.scenePictureName.clear();
  m_game.sound().stopMusic();
  m_game.sound().stopAll();
  m_game.companionVoice(22, true);
  m_game.layers().removeAllScene();
  m_game.freeAllPictures();
  m_game.destroyWindow();
  m_game.backlog().clear();
  m_game.forgetViews();
  m_game.script.stand = {-1, -1, -1};
  m_game.script.standName = {};
  m_game.script.visual = -1;
  m_game.script.loopSeName = s.loopSe;

  m_game.createWindow();
  m_game.loadScriptImage(name, std::move(*bytes));

  // The script state as the snapshot holds it.
  m_game.script.pc = s.pc;
  m_game.script.repeat = s.repeat;
  m_game.host().gameMode = s.gameMode;
  m_game.host().subMode = s.subMode;
  m_game.brightness = int(std::min<uint32_t>(s.brightness, 512));
  m_game.clearToGrey = s.clearToGrey != 0;
  m_game.clearBeforeDraw = true;
  m_game.script.windowStyle = std::min<uint32_t>(s.windowStyle, 2);
  m_game.script.pictureTint = s.pictureTint;
  m_game.script.vars = s.vars;
  m_game.script.flags = s.flags;
  m_game.stack = s.stack;
  m_game.strings = s.strings;
  m_game.effect = s.effect;
  m_game.message = s.message;
  m_game.choices = s.choices;
  m_game.strings.set(0, {});
  m_game.strings.set(16, {});

  // The scene: window style and shown state, scene picture, sprites, dimming.
  m_game.setWindowStyle(int(m_game.script.windowStyle));
  m_game.setWindowShown(s.windowShown != 0);
  if (s.visual != -1) {
    m_game.showScenePicture(s.visual);
    m_game.applyDisplayFilter(false);
  }
  for (int p = 0; p < 3; ++p)
    if (s.stand[size_t(p)] != -1) m_game.showStand(p, s.stand[size_t(p)]);
  m_game.setDim(s.dimmed != 0);
  // The face comes with the message that runs again from the snapshot's pc: the message state
  // in the block is that of the message before it, whose face had gone from the screen.
  m_game.script.timerStart = {};
  m_game.resumeAfterLoad();
  if (s.version >= '3') m_game.backlog().restore(file.backlog);

  m_game.markWholeScreen();
  m_game.shakeX = m_game.shakeY = 0;
  std::string_view music = fieldView(s.music);
  if (!music.empty()) {
    const Settings& st = m_game.host().settings;
    m_game.sound().playMusic(music, st.musicVol * st.masterVol / 100, 0);
  }
  m_game.restartLoopEffects();
  // Until the next message or choice begins, a save stores the game just loaded, not the one it
  // replaced.
  m_saveBlock.resize(kSaveBlockSize);
  writeSaveBlock(s, std::span<uint8_t, kSaveBlockSize>(m_saveBlock.data(), kSaveBlockSize));
  m_backlogData = serialiseBacklog(m_game.backlog());
  return true;
}

SystemData GameSaves::systemData() const {
  SystemData d;
  d.visitedPictures = m_game.visitedPictures;
  d.visitedScenarios = m_game.visitedScenarios;
  d.sceneFlags = m_game.sceneFlags;
  d.systemValues = m_game.systemValues;
  d.readTable = m_game.readTable().records();
  return d;
}

void GameSaves::setSystemData(SystemData data) {
  m_game.visitedPictures = std::move(data.visitedPictures);
  m_game.visitedScenarios = std::move(data.visitedScenarios);
  m_game.sceneFlags = data.sceneFlags;
  m_game.systemValues = data.systemValues;
  m_game.readTable().setRecords(std::move(data.readTable));
}

}  // namespace sorel
