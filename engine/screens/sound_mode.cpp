// The sound mode (game mode 80): fourteen track buttons, the playing track's title strip
// scrolling through a window, and play again, stop and back.
#include "engine/screens/game_screens.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"

namespace sorel {
namespace {

constexpr int kBgSlot = 10, kButtonSlot = 11;
constexpr int kBgLayer = 10, kStripLayer = 12, kStripWrapLayer = 13, kHighlightLayer = 14, kFirstTrackLayer = 32;
constexpr int kTracks = 14;
constexpr int kPlayAgain = 14, kStop = 15, kBack = 16, kItems = 17;
constexpr int kTimerFade = 9;

int trackX(int i) { return 64 + 272 * (i % 2); }
int trackY(int i) { return 48 + 40 * (i / 2); }

// The three further buttons: where they are and the highlighted piece of the button sheet.
struct Button {
  int x, y, sourceY;
};
constexpr Button kButtons[3] = {{536, 330, 288}, {496, 380, 352}, {448, 430, 416}};

}  // namespace

void GameScreens::soundModeHighlight() {
  const int c = m_extras.cursor;
  m_layers.remove(kHighlightLayer, true);
  if (c >= 0 && c < kTracks) {
    m_layers.colour(kHighlightLayer, trackX(c), trackY(c), 242, 34, 0x202020, 32);
    m_layers.setMode(kHighlightLayer, 1);
  } else if (c >= kPlayAgain && c < kItems) {
    const Button& b = kButtons[c - kPlayAgain];
    m_layers.place(kHighlightLayer, kButtonSlot, DesignRect{0, b.sourceY, 102, 50}, b.x, b.y, 0, 0, 32);
    m_layers.setOpacity(kHighlightLayer, 128);
  }
}

void GameScreens::soundModeStrip() {
  m_layers.remove(kStripLayer, true);
  m_layers.remove(kStripWrapLayer, true);
  const ExtrasState& x = m_extras;
  if (!x.playing || x.track < 1) return;
  const int n = x.track;
  const int sx = 128 + 256 * ((n - 1) % 2), sy = 280 + 32 * ((n - 1) / 2);
  const int d = int(m_game.elapsed(kTimerFade) / 16 % 320);
  if (d < 240) m_layers.place(kStripLayer, kButtonSlot, DesignRect{sx + d, sy, 240 - d, 32}, 64, 384, 0, 0, 16);
  if (d > 80) m_layers.place(kStripWrapLayer, kButtonSlot, DesignRect{sx, sy, d - 80, 32}, 384 - d, 384, 0, 0, 16);
}

void GameScreens::soundModeStep() {
  InputState& in = m_host.input;
  ExtrasState& x = m_extras;
  uint32_t& sub = m_host.subMode;
  switch (sub) {
    case 0:
      m_sound->stopMusic();
      m_layers.removeAllScene();
      m_game.freeAllPictures();
      m_game.loadPicture(kBgSlot, "System", "SoundModeBG.bmp");
      m_game.loadPicture(kButtonSlot, "System", "SoundModeButton.bmp");
      m_layers.place(kBgLayer, kBgSlot, kWholePicture, 0, 0, 0, 0, 48);
      for (int i = 0; i < kTracks; ++i)
        m_layers.place(kFirstTrackLayer + i, kButtonSlot, DesignRect{(i % 2) * 242, (i / 2) * 34, 242, 34}, trackX(i),
                       trackY(i), 0, 0, 40);
      x.cursor = ExtrasState::kNone;
      x.track = 0;
      x.playing = false;
      m_game.brightness = 0;
      m_game.startTimer(kTimerFade);
      m_game.markWholeScreen();
      sub = 1;
      break;
    case 1: {
      const uint32_t t = m_game.elapsed(kTimerFade);
      m_game.brightness = t >= 1000 ? 256 : int(t * 256 / 1000);
      m_game.markWholeScreen();
      if (t >= 1000) sub = 2;
      break;
    }
    case 2: {
      soundModeStrip();
      int c = x.cursor;
      const int none = ExtrasState::kNone;
      if (in.count(Key::Up) == 1) {
        in.consume(Key::Up);
        c = c == none || c == 0 ? kBack : c - 1;
      }
      if (in.count(Key::Down) == 1) {
        in.consume(Key::Down);
        c = c == none ? 0 : (c + 1) % kItems;
      }
      bool tapped = false;
      if (in.tapNow) {
        int hit = none;
        for (int i = 0; i < kTracks; ++i)
          if (m_game.tapInside(trackX(i), trackY(i), 242, 34)) hit = i;
        for (int k = 0; k < 3; ++k)
          if (m_game.tapInside(kButtons[k].x, kButtons[k].y, 102, 50)) hit = kPlayAgain + k;
        // A tap beside every button is used up without playing the track the keys selected.
        tapped = hit != none;
        if (tapped) c = hit;
        else in.tapNow = 0;
      }
      if (c != x.cursor) {
        x.cursor = c;
        soundModeHighlight();
      }
      if (!(in.count(Key::Right) == 1 || in.count(Key::C) == 1 || tapped)) break;
      in.consume(Key::Right);
      in.consume(Key::C);
      in.tapNow = 0;
      if (c >= 0 && c < kTracks) {
        m_sound->stopMusic();
        m_game.playMusic(c, 0);
        x.track = c + 1;
        x.playing = true;
        m_game.startTimer(kTimerFade);
      } else if (c == kPlayAgain) {
        if (x.track > 0 && !x.playing) {
          m_game.playMusic(x.track - 1, 0);
          x.playing = true;
          m_game.startTimer(kTimerFade);
        }
      } else if (c == kStop) {
        if (x.playing) {
          m_sound->stopMusic();
          x.playing = false;
          soundModeStrip();
        }
      } else if (c == kBack) {
        m_sound->stopMusic();
        x.playing = false;
        soundModeStrip();
        m_game.companionVoice(7, true);
        m_game.startTimer(kTimerFade);
        sub = 30;
      }
      break;
    }
    case 30:
      if (fadeToBlackStep(kTimerFade)) extrasLeave();
      break;
    default: break;
  }
}

}  // namespace sorel
