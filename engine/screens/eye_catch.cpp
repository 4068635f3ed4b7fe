// The eye-catch between chapters (the story's EYECATCH command): a jingle, tiles of the
// background scrolling diagonally, the chapter picture revealed cell by cell, the logo, the
// heroine's voice, and a fade to black. Any advance input ends it at once.
#include <algorithm>

#include "engine/screens/game_screens.h"
#include "engine/content/game_content.h"
#include "engine/story/game_random.h"
#include "engine/resources/format.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kBgSlot = 10, kLogoSlot = 11, kPictureSlot = 12;
constexpr int kFirstTile = 64, kLastTile = 111;
constexpr int kFirstCell = 128, kLastCell = 175;
constexpr int kLogoLayer = 56;
constexpr int kVoiceSlot = 2;
// Layers of the story's scene that the eye-catch takes off the screen.
constexpr int kStandLayers = 3;

}  // namespace

bool GameScreens::eyeCatchCommand() {
  if (m_game.script.repeat == 0) {
    m_eyeCatch = EyeCatchState();
    m_eyeCatch.picture = int(m_game.stack.value(2));
    m_eyeCatch.kind = int(m_game.stack.value(1));
  }
  return eyeCatchStep();
}

void GameScreens::eyeCatchEnd() {
  for (int l = kFirstTile; l <= kLastTile; ++l) m_layers.remove(l, true);
  for (int l = kFirstCell; l <= kLastCell; ++l) m_layers.remove(l, true);
  m_layers.remove(kLogoLayer, true);
  for (int s = kBgSlot; s <= kPictureSlot; ++s) m_game.freePicture(s);
  m_game.brightness = 256;
  m_sound->stop(kVoiceSlot);
  m_sound->stopMusic();
  m_game.clearBeforeDraw = true;
  m_game.markWholeScreen();
}

void GameScreens::eyeCatchTiles() {
  EyeCatchState& ec = m_eyeCatch;
  if (ec.finished) return;
  const uint32_t now = ticks();
  const uint32_t t = m_game.elapsed(3);
  const int d = int(t / 16 % 100);
  for (int i = 0; i < 48; ++i) m_layers.setPosition(kFirstTile + i, d + 100 * (i % 8) - 100, d + 100 * (i / 8) - 100);
  // One more cell every 50 ms.
  while (ec.revealed < EyeCatchState::kCells && t >= uint32_t(ec.revealed) * 50) {
    const int n = std::max(gameRandom() % EyeCatchState::kCells, 1);
    int seen = 0, cell = -1;
    for (int k = 0; cell < 0; k = (k + 1) % EyeCatchState::kCells)
      if (!ec.cells[size_t(k)].revealed && ++seen == n) cell = k;
    EyeCatchState::Cell& c = ec.cells[size_t(cell)];
    c.revealed = true;
    c.start = now;
    ++ec.revealed;
    const int cx = cell % 8, cy = cell / 8;
    m_layers.place(kFirstCell + cell, kPictureSlot, DesignRect{80 * cx, 80 * cy, 80, 80}, 80 * cx + 40, 80 * cy, 40, 0, 48);
    m_layers.setScale(kFirstCell + cell, 0, 1000);
  }
  bool allOpen = ec.revealed == EyeCatchState::kCells;
  for (int i = 0; i < EyeCatchState::kCells; ++i) {
    EyeCatchState::Cell& c = ec.cells[size_t(i)];
    if (!c.revealed || c.open) continue;
    const uint32_t age = now - c.start;
    const int scale = age >= 700 ? 1000 : int(age * 1000 / 700);
    if (scale >= 1000) c.open = true;
    else allOpen = false;
    m_layers.setScale(kFirstCell + i, scale, 1000);
  }
  if (allOpen) {
    for (int l = kFirstTile; l <= kLastTile; ++l) m_layers.remove(l, true);
    ec.finished = true;
    m_game.clearBeforeDraw = true;
  }
}

bool GameScreens::eyeCatchStep() {
  EyeCatchState& ec = m_eyeCatch;
  InputState& in = m_host.input;
  if (ec.step >= 1) {
    eyeCatchTiles();
    if (m_game.script.repeat > 0 && (in.count(Key::Right) == 1 || in.count(Key::C) == 1 || in.tapNow)) {
      in.consume(Key::Right);
      in.consume(Key::C);
      in.tapNow = 0;
      eyeCatchEnd();
      ec.step = 6;
      return true;
    }
  }
  const Settings& s = m_host.settings;
  switch (ec.step) {
    case 0: {
      // The story's scene leaves the screen.
      if (m_game.script.windowShown) m_game.setWindowShown(false);
      m_game.showFace(-1);
      m_game.setDim(false);
      m_game.hideScenePicture();
      for (int p = 0; p < kStandLayers; ++p) m_game.hideStand(p);
      m_game.loadPicture(kBgSlot, "System", "EyeCatchBg.bmp");
      m_game.loadPicture(kLogoSlot, "System", "EyeCatchLogo.bmp");
      const std::string picture = format("EyeCatch%z2.bmp", {int64_t(ec.picture) + 1});
      m_game.loadPicture(kPictureSlot, "Visual", picture);
      bool seen = false;
      for (const auto& v : m_game.visitedPictures) seen = seen || sameName(v, picture);
      if (!seen) m_game.visitedPictures.push_back(picture);
      if (s.voicePlay >= 2 && ec.kind < 3) {
        std::string_view voice = eyeCatchVoice(ec.picture);
        if (!voice.empty()) m_sound->playSystemVoiceOn(kVoiceSlot, voice, m_game.voiceVolume(), false);
      }
      for (int i = 0; i < 48; ++i) {
        m_layers.place(kFirstTile + i, kBgSlot, DesignRect{0, 0, 100, 100}, 100 * (i % 8) - 100, 100 * (i / 8) - 100, 0, 0,
                       64);
      }
      ec.cells = {};
      ec.revealed = 0;
      ec.finished = false;
      m_game.brightness = 0;
      m_game.clearBeforeDraw = false;
      if (ec.kind >= 0 && ec.kind <= 3)
        m_sound->playJingle(format("EyeCatch%d.mp3", {ec.kind + 1}), s.musicVol * s.masterVol / 100);
      m_game.startTimer(2);
      m_game.startTimer(3);
      m_game.startTimer(6);
      ec.step = 1;
      m_game.markWholeScreen();
      return false;
    }
    case 1: {
      const uint32_t t = m_game.elapsed(6);
      m_game.brightness = t >= 500 ? 256 : int(t * 256 / 500);
      if (t >= 500) ec.step = 2;
      m_game.markWholeScreen();
      return false;
    }
    case 2:
      if (m_game.elapsed(2) >= 3500) {
        m_layers.place(kLogoLayer, kLogoSlot, DesignRect{0, 0, 200, 93}, 116, 62, 100, 46, 32);
        m_layers.setScale(kLogoLayer, 1300, 1300);
        m_layers.setOpacity(kLogoLayer, 0);
        m_game.startTimer(4);
        ec.step = 3;
      }
      return false;
    case 3: {
      const uint32_t t = std::min<uint32_t>(m_game.elapsed(4), 400);
      const int scale = 1300 - int(t) * 300 / 400;
      m_layers.setScale(kLogoLayer, scale, scale);
      m_layers.setOpacity(kLogoLayer, int(t) * 256 / 400);
      if (t >= 400) {
        m_sound->start(kVoiceSlot);
        ec.step = 4;
      }
      return false;
    }
    case 4:
      if (m_game.elapsed(2) >= 7000) {
        m_game.startTimer(6);
        ec.step = 5;
      }
      return false;
    case 5: {
      if (!fadeToBlackStep(6)) return false;
      eyeCatchEnd();
      ec.step = 6;
      return true;
    }
    default: return true;
  }
}

}  // namespace sorel
