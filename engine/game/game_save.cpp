// The story's side of saving: the snapshot taken when a message or a choice begins, a checked
// save file put back into the running game, and the system data's lists and values.
#include <algorithm>
#include <cstring>

#include "engine/game/game.h"
#include "engine/game/save_data.h"
#include "engine/game/system_data.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kMarkerLayer = 516;

}  // namespace

void Game::takeSnapshot() {
  SaveSnapshot s;
  s.title = std::string(chapterTitle(fieldView(script.scriptName)));
  s.visual = script.visual;
  s.stand = script.stand;
  s.standName = script.standName;
  s.scenario = script.scriptName;
  copyField(s.music, m_sound->musicName());
  s.loopSe = script.loopSeName;
  s.stack = stack;
  s.strings = strings;
  s.effect = effect;
  s.message = message;
  s.markerLayer = m_layers.exists(kMarkerLayer) ? 1 : 0;
  s.choices = choices;
  s.windowShown = script.windowShown;
  s.windowCreated = script.windowCreated;
  s.windowStyle = script.windowStyle;
  s.pictureTint = script.pictureTint;
  s.dimmed = script.dimmed;
  s.vars = script.vars;
  s.flags = script.flags;
  s.gameMode = m_host.gameMode;
  s.subMode = m_host.subMode;
  s.pc = script.pc;
  s.repeat = script.repeat;
  s.brightness = uint32_t(brightness);
  s.clearToGrey = clearToGrey ? 1 : 0;
  s.clearBeforeDraw = clearBeforeDraw ? 1 : 0;
  m_saveBlock.resize(kSaveBlockSize);
  writeSaveBlock(s, std::span<uint8_t, kSaveBlockSize>(m_saveBlock.data(), kSaveBlockSize));
  m_backlogData = serialiseBacklog(m_backlog);
}

bool Game::hasSnapshot() const {
  return m_saveBlock.size() == kSaveBlockSize && std::memcmp(m_saveBlock.data(), "QVD", 3) == 0;
}

bool Game::loadSavedGame(const SaveFile& file) {
  const SaveSnapshot& s = file.snapshot;
  // The scenario is read and checked before anything of the running game is touched.
  const std::string name(fieldView(s.scenario));
  if (name.empty()) return false;
  auto bytes = m_host.scriptArchive.extract(m_host.paths.scriptArchivePath, name);
  if (!bytes) return false;
  {
    ScriptProgram probe;
    if (!probe.load(*bytes)) return false;
  }

  // Tear the running game down.
  if (m_host.stopMovie) m_host.stopMovie();
  freeStaffRoll();
  m_eyeCatch = EyeCatchState();
  scenePictureName.clear();
  m_sound->stopMusic();
  m_sound->stopAll();
  companionVoice(22, true);
  m_layers.removeAllScene();
  freeAllPictures();
  destroyWindow();
  m_backlog.clear();
  m_choice = ChoiceMenuState();
  m_view = BacklogView();
  m_loadRequest = -1;
  script.stand = {-1, -1, -1};
  script.standName = {};
  script.visual = -1;
  script.loopSeName = s.loopSe;

  createWindow();
  loadScriptImage(name, std::move(*bytes));

  // The script state as the snapshot holds it.
  script.pc = s.pc;
  script.repeat = s.repeat;
  m_host.gameMode = s.gameMode;
  m_host.subMode = s.subMode;
  brightness = int(std::min<uint32_t>(s.brightness, 512));
  clearToGrey = s.clearToGrey != 0;
  clearBeforeDraw = true;
  script.windowStyle = std::min<uint32_t>(s.windowStyle, 2);
  script.pictureTint = s.pictureTint;
  script.vars = s.vars;
  script.flags = s.flags;
  stack = s.stack;
  strings = s.strings;
  effect = s.effect;
  message = s.message;
  choices = s.choices;
  strings.set(0, {});
  strings.set(16, {});

  // The scene: window style and shown state, scene picture, sprites, dimming.
  setWindowStyle(int(script.windowStyle));
  setWindowShown(s.windowShown != 0);
  if (s.visual != -1) {
    showScenePicture(s.visual);
    applyDisplayFilter(false);
  }
  for (int p = 0; p < 3; ++p)
    if (s.stand[size_t(p)] != -1) showStand(p, s.stand[size_t(p)]);
  setDim(s.dimmed != 0);
  // The face comes with the message that runs again from the snapshot's pc: the message state
  // in the block is that of the message before it, whose face had gone from the screen.
  script.timerStart = {};
  m_voiceWasPlaying = false;
  m_autoStart = 0;
  m_keepRepeat = true;  // a load inside the frame leaves `repeat` as restored
  m_continue = false;
  if (s.version >= '3') m_backlog.restore(file.backlog);

  markWholeScreen();
  shakeX = shakeY = 0;
  std::string_view music = fieldView(s.music);
  if (!music.empty()) {
    const Settings& st = m_host.settings;
    m_sound->playMusic(music, st.musicVol * st.masterVol / 100, 0);
  }
  restartLoopEffects();
  // Until the next message or choice begins, a save stores the game just loaded, not the one it
  // replaced.
  m_saveBlock.resize(kSaveBlockSize);
  writeSaveBlock(s, std::span<uint8_t, kSaveBlockSize>(m_saveBlock.data(), kSaveBlockSize));
  m_backlogData = serialiseBacklog(m_backlog);
  return true;
}

SystemData Game::systemData() const {
  SystemData d;
  d.visitedPictures = visitedPictures;
  d.visitedScenarios = visitedScenarios;
  d.sceneFlags = sceneFlags;
  d.systemValues = systemValues;
  d.readTable = m_readTable.records();
  return d;
}

void Game::setSystemData(SystemData data) {
  visitedPictures = std::move(data.visitedPictures);
  visitedScenarios = std::move(data.visitedScenarios);
  sceneFlags = data.sceneFlags;
  systemValues = data.systemValues;
  m_readTable.setRecords(std::move(data.readTable));
}

}  // namespace sorel
