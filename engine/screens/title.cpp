// The title screen (game mode 0): the opening movie, the intro in which the background scrolls
// up under wandering spotlights, the logo with its flash and pulse, falling stars, and the main
// and extras menus whose items grow in and shrink away.
#include <algorithm>

#include "engine/screens/game_screens.h"
#include "engine/content/game_content.h"
#include "engine/story/game_random.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

// Picture slots (all from the System archive).
constexpr int kBgSlot = 10, kLogoSlot = 11, kMenuSlot = 12, kStarSlot = 13, kSpotSlot = 14, kMakerSlot = 15;
// Layers.
constexpr int kBgLayer = 10, kLogoLayer = 11, kMakerLayer = 15, kFlashLayer = 19, kFirstItemLayer = 20;
constexpr int kFirstStarLayer = 128;

constexpr std::string_view kOpeningMovie = "Opening.jmv";

// Timers of the title.
constexpr int kTimerFade = 9, kTimerItems = 5, kTimerLogo = 6, kTimerStars = 10, kTimerSpots = 3, kTimerIntro = 4;

constexpr uint32_t kIntroMs = 6650;
constexpr int kBgStartY = -430;

// The nine star frames of Star.bmp, 36 × 36 each.
constexpr int kStarFrames[9][2] = {{5, 1}, {48, 2}, {89, 4}, {130, 4}, {174, 6}, {4, 48}, {45, 45}, {87, 45}, {131, 46}};

/// Linear from a to b as t runs over 0..span.
int lerp(int a, int b, int t, int span) { return a + (b - a) * t / span; }

}  // namespace

bool GameScreens::loadTitleMenuPictures() {
  bool ok = m_game.loadPicture(kBgSlot, "System", "Title_BG.bmp");
  m_game.loadPicture(kLogoSlot, "System", "Title.bmp");
  m_game.loadPicture(kMenuSlot, "System", "TitleMenu.bmp");
  m_game.loadPicture(kStarSlot, "System", "Star.bmp");
  m_game.loadPicture(kSpotSlot, "System", "SpotLight.bmp");
  m_game.loadPicture(kMakerSlot, "System", "ORBA2003.bmp");
  return ok;
}

// Sub-states 1 and 40: the pictures, the background layer and the music.
void GameScreens::titleEnter(bool returning) {
  m_game.companionVoice(1, false);
  loadTitleMenuPictures();
  m_layers.place(kBgLayer, kBgSlot, DesignRect{0, 0, 640, 911}, 0, returning ? 0 : kBgStartY, 0, 0, 64);
  m_game.brightness = 0;
  m_game.clearBeforeDraw = false;
  const Settings& s = m_host.settings;
  m_sound->playMusic(replaceExtension(kTitleMusic, ".mp3"), s.musicVol * s.masterVol / 100, 0);
  m_game.startTimer(kTimerSpots);
  m_game.startTimer(kTimerIntro);
  if (returning) m_game.startTimer(kTimerFade);
  m_title.spotlightCount = 0;
  m_title.spotlightMoved = ticks();
  m_game.markWholeScreen();
}

void GameScreens::placeTitleItems(int set) {
  for (int i = 0; i < 5; ++i) m_layers.remove(kFirstItemLayer + i, true);
  const int count = set == 0 ? 5 : 4;
  const int firstSource = set == 0 ? 0 : 200;
  for (int i = 0; i < count; ++i) {
    const int layer = kFirstItemLayer + i;
    m_layers.place(layer, kMenuSlot, DesignRect{0, firstSource + 40 * i, 216, 40}, 320, 240 + 48 * i, 108, 20, 48);
    m_layers.setScale(layer, 0, 0);
    m_layers.setOpacity(layer, 192);
  }
  m_title.menuSet = set;
  m_title.itemCount = count;
}

void GameScreens::buildTitleMenu() {
  for (int i = 0; i < 5; ++i) m_layers.remove(kFirstItemLayer + i, true);
  m_layers.colour(kFlashLayer, 0, 0, 640, 480, 0xFFFFFF, 1);
  m_layers.place(kLogoLayer, kLogoSlot, DesignRect{0, 0, 440, 192}, 320, 108, 220, 96, 48);
  m_layers.setScale(kLogoLayer, 0, 0);
  m_layers.place(kMakerLayer, kMakerSlot, DesignRect{0, 0, 144, 32}, 480, 440, 0, 0, 48);
  placeTitleItems(m_title.menuSet);
  m_title.flashGone = false;
  m_game.startTimer(kTimerItems);
  m_game.startTimer(kTimerLogo);
}

bool GameScreens::titleItemAnimation(bool appear) {
  const int t = int(m_game.elapsed(kTimerItems));
  const int count = m_title.itemCount;
  const bool done = t >= (count == 5 ? 850 : 800);
  for (int k = 0; k < count; ++k) {
    const int tk = t - 50 * k;
    int scale;
    if (done) scale = appear ? 1000 : 0;
    else if (appear) scale = tk < 0 ? 0 : tk < 400 ? tk * 1200 / 400 : tk < 600 ? 1200 - (tk - 400) : 1000;
    else scale = tk < 0 ? 1000 : tk < 200 ? 1000 + tk : tk < 600 ? 1200 - 3 * (tk - 200) : 0;
    const Sprite* s = m_layers.get(kFirstItemLayer + k);
    if (s && (s->scaleX != scale || s->scaleY != scale)) m_layers.setScale(kFirstItemLayer + k, scale, scale);
  }
  return done;
}

bool GameScreens::titleIntroCut() {
  InputState& in = m_host.input;
  if (!in.tapNow && !in.fresh(Key::Right) && !in.fresh(Key::C)) return false;
  in.consume(Key::Right);
  in.consume(Key::C);
  in.tapNow = 0;
  return true;
}

void GameScreens::titleLogoAnimation() {
  const int t = int(m_game.elapsed(kTimerLogo));
  int scale = 1000;
  if (t < 600) {
    if (!m_title.flashGone) {
      if (t >= 500) {
        m_layers.remove(kFlashLayer, true);
        m_title.flashGone = true;
      } else {
        m_layers.setOpacity(kFlashLayer, 256 - t * 256 / 500);
      }
    }
    scale = t < 300 ? lerp(0, 1100, t, 300) : lerp(1100, 1000, t - 300, 300);
  } else {
    if (!m_title.flashGone) {
      m_layers.remove(kFlashLayer, true);
      m_title.flashGone = true;
    }
    const int u = t - 600;
    const int p = u % 4500;
    if (u >= 4500 && p < 1200) {
      if (p < 300) scale = lerp(1000, 1100, p, 300);
      else if (p < 600) scale = lerp(1100, 950, p - 300, 300);
      else if (p < 900) scale = lerp(950, 1025, p - 600, 300);
      else scale = lerp(1025, 1000, p - 900, 300);
    }
  }
  const Sprite* s = m_layers.get(kLogoLayer);
  if (s && s->scaleX != scale) m_layers.setScale(kLogoLayer, scale, scale);
}

void GameScreens::titleSpotlights() {
  TitleState& t = m_title;
  const uint32_t now = ticks();
  while (t.spotlightCount < TitleState::kSpotlights && m_game.elapsed(kTimerSpots) >= uint32_t(t.spotlightCount) * 650) {
    TitleState::Spotlight& s = t.spotlights[size_t(t.spotlightCount)];
    s.x = gameRandom() % 40 * 16;
    s.y = gameRandom() % 30 * 16;
    const int dir = gameRandom() % 4;
    s.dx = dir & 1 ? 2 : -2;
    s.dy = dir & 2 ? 2 : -2;
    s.born = now;
    const int layer = kFirstItemLayer + t.spotlightCount;
    m_layers.place(layer, kSpotSlot, DesignRect{0, 0, 160, 160}, s.x, s.y, 80, 80, 32);
    m_layers.setFlags(layer, kSpriteIgnoreTone);
    m_layers.setMode(layer, 1);
    m_layers.setScale(layer, 0, 0);
    ++t.spotlightCount;
  }
  // Two pixels on both axes per 8 ms, bouncing inside the box.
  const uint32_t steps = (now - t.spotlightMoved) / 8;
  t.spotlightMoved += steps * 8;
  for (int i = 0; i < t.spotlightCount; ++i) {
    TitleState::Spotlight& s = t.spotlights[size_t(i)];
    for (uint32_t k = 0; k < steps; ++k) {
      s.x += s.dx;
      s.y += s.dy;
      if (s.x < 40 || s.x > 600) s.dx = -s.dx, s.x = std::clamp(s.x, 40, 600);
      if (s.y < 40 || s.y > 440) s.dy = -s.dy, s.y = std::clamp(s.y, 40, 440);
    }
    const int layer = kFirstItemLayer + i;
    const uint32_t age = now - s.born;
    const int scale = age >= 500 ? 1000 : int(age * 1000 / 500);
    m_layers.setScale(layer, scale, scale);
    m_layers.setPosition(layer, s.x, s.y);
  }
}

void GameScreens::titleStars() {
  TitleState& t = m_title;
  if (m_game.elapsed(kTimerStars) >= 96) {
    m_game.startTimer(kTimerStars);
    for (int i = 0; i < TitleState::kStars; ++i) {
      TitleState::Star& s = t.stars[size_t(i)];
      if (s.used) continue;
      if (gameRandom() % 2) {
        s.x = -18;
        s.y = gameRandom() % 30 * 16;
      } else {
        s.x = gameRandom() % 40 * 16;
        s.y = -18;
      }
      s.used = true;
      const int layer = kFirstStarLayer + i;
      m_layers.place(layer, kStarSlot, DesignRect{kStarFrames[0][0], kStarFrames[0][1], 36, 36}, s.x, s.y, 18, 18, 24);
      m_layers.setMode(layer, 1);
      m_layers.setOpacity(layer, 128);
      const int scale = (gameRandom() % 8 + 6) * 50;
      m_layers.setScale(layer, scale, scale);
      for (int f = 0; f < 9; ++f)
        m_layers.defineFrame(layer, f, (f + 1) % 9, 16, kStarSlot, DesignRect{kStarFrames[f][0], kStarFrames[f][1], 36, 36},
                             18, 18);
      m_layers.startFrames(layer, 0, ticks());
      break;
    }
  }
  for (int i = 0; i < TitleState::kStars; ++i) {
    TitleState::Star& s = t.stars[size_t(i)];
    if (!s.used) continue;
    s.x += 2;
    s.y += 4;
    if (s.x > 676 || s.y > 516) {
      m_layers.remove(kFirstStarLayer + i, true);
      s.used = false;
    } else {
      m_layers.setPosition(kFirstStarLayer + i, s.x, s.y);
    }
  }
}

void GameScreens::deleteStars() {
  for (int i = 0; i < TitleState::kStars; ++i) {
    m_title.stars[size_t(i)].used = false;
    m_layers.remove(kFirstStarLayer + i, true);
  }
}

void GameScreens::titleMenuInput() {
  InputState& in = m_host.input;
  TitleState& t = m_title;
  const int none = TitleState::kNone;
  int cursor = t.cursor;
  if (in.count(Key::Up) == 1) {
    in.consume(Key::Up);
    cursor = cursor == none || cursor == 0 ? t.itemCount - 1 : cursor - 1;
  }
  if (in.count(Key::Down) == 1) {
    in.consume(Key::Down);
    cursor = cursor == none ? 0 : (cursor + 1) % t.itemCount;
  }
  if (in.tapNow) {
    cursor = none;
    for (int i = 0; i < t.itemCount; ++i)
      if (m_game.tapInside(212, 220 + 48 * i, 216, 40)) cursor = i;
  }
  if (cursor != t.cursor) {
    if (t.cursor != none) {
      m_layers.setScale(kFirstItemLayer + t.cursor, 1000, 1000);
      m_layers.setOpacity(kFirstItemLayer + t.cursor, 192);
    }
    if (cursor != none) {
      m_layers.setScale(kFirstItemLayer + cursor, 1200, 1200);
      m_layers.setOpacity(kFirstItemLayer + cursor, 256);
    }
    t.previous = t.cursor;
    t.cursor = cursor;
  }
  const bool go = in.count(Key::Right) == 1 || in.count(Key::C) == 1 || in.tapNow;
  if (!go) return;
  in.consume(Key::Right);
  in.consume(Key::C);
  in.tapNow = 0;
  if (t.cursor == none) return;
  uint32_t& sub = m_host.subMode;
  if (t.menuSet == 0) {
    switch (t.cursor) {
      case 0: m_game.companionVoice(10, true); m_game.startTimer(kTimerFade); sub = 10; break;
      case 1: m_game.companionVoice(11, true); m_game.startTimer(1); m_game.markWholeScreen(); sub = 50; break;
      case 2: m_game.companionVoice(23, true); m_game.startTimer(kTimerFade); break;
      case 3: m_game.companionVoice(12, true); m_game.startTimer(kTimerItems); sub = 20; break;
      case 4: m_game.companionVoice(15, true); m_game.startTimer(kTimerFade); sub = 60; break;
      default: break;
    }
  } else {
    switch (t.cursor) {
      case 0: m_game.companionVoice(19, true); m_sound->fadeOutMusic(1000); m_game.startTimer(kTimerFade); sub = 30; break;
      case 1: m_game.companionVoice(17, true); m_sound->fadeOutMusic(1000); m_game.startTimer(kTimerFade); sub = 31; break;
      case 2: m_game.companionVoice(18, true); m_sound->fadeOutMusic(1000); m_game.startTimer(kTimerFade); sub = 32; break;
      case 3: m_game.companionVoice(7, true); m_game.startTimer(kTimerItems); sub = 22; break;
      default: break;
    }
  }
}

void GameScreens::titleStep() {
  uint32_t& sub = m_host.subMode;
  TitleState& t = m_title;
  auto fade = [&](uint32_t ms) {
    const uint32_t e = m_game.elapsed(kTimerFade);
    m_game.brightness = e >= ms ? 0 : 256 - int(e * 256 / ms);
    m_game.markWholeScreen();
    return e >= ms;
  };
  auto clearAll = [&] {
    m_layers.removeAllScene();
    m_game.freeAllPictures();
    for (auto& s : t.stars) s.used = false;
    t.spotlightCount = 0;
  };
  switch (sub) {
    case 0:
      // The opening movie plays over the game until it ends or is skipped.
      if (m_host.startMovie) m_host.startMovie(kOpeningMovie);
      t.cursor = t.previous = TitleState::kNone;
      t.menuSet = 0;
      t.itemCount = 5;
      sub = 1;
      break;
    case 1:
      if (m_host.moviePlaying && m_host.moviePlaying()) break;
      titleEnter(false);
      sub = 2;
      break;
    case 2: {
      titleSpotlights();
      const uint32_t e = m_game.elapsed(kTimerIntro);
      if (titleIntroCut() || e >= kIntroMs) {
        m_game.brightness = 256;
        m_sound->start(10);
        m_layers.setPosition(kBgLayer, 0, 0);
        buildTitleMenu();
        m_game.startTimer(kTimerStars);
        sub = 3;
      } else {
        m_game.brightness = e >= 5000 ? 256 : int(e * 256 / 5000);
        m_layers.setPosition(kBgLayer, 0, int(e * 430 / kIntroMs) + kBgStartY);
      }
      m_game.markWholeScreen();
      break;
    }
    case 3:
      // The intro goes on while the items grow in: a read-on input ends it here too, with the
      // items at their full size.
      titleLogoAnimation();
      titleStars();
      if (titleIntroCut()) m_game.script.timerStart[size_t(kTimerItems)] = ticks() - 850;
      if (titleItemAnimation(true)) sub = 4;
      break;
    case 4:
      titleLogoAnimation();
      titleStars();
      titleMenuInput();
      break;
    case 10:
      titleLogoAnimation();
      titleStars();
      if (fade(1000)) sub = 11;
      break;
    case 11:
      m_sound->stopMusic();
      m_game.brightness = 256;
      m_game.clearBeforeDraw = true;
      clearAll();
      if (!m_game.startStory(kFirstScenario)) {
        // Without its first scenario the story cannot begin: the title comes back.
        sub = 40;
        break;
      }
      break;
    case 20:
    case 22:
      titleLogoAnimation();
      titleStars();
      if (titleItemAnimation(false)) {
        placeTitleItems(sub == 20 ? 1 : 0);
        t.cursor = t.previous = TitleState::kNone;
        m_game.startTimer(kTimerItems);
        sub = sub == 20 ? 21 : 23;
      }
      break;
    case 21:
    case 23:
      titleLogoAnimation();
      titleStars();
      if (titleItemAnimation(true)) {
        t.cursor = t.previous = TitleState::kNone;
        sub = 4;
      }
      break;
    case 30:
    case 31:
    case 32:
      titleLogoAnimation();
      titleStars();
      if (fade(1000)) {
        const uint32_t next = sub == 30 ? kModeGallery : sub == 31 ? kModeReplay : kModeSoundMode;
        clearAll();
        m_game.brightness = 0;
        m_host.gameMode = next;
        sub = 0;
      }
      break;
    case 40:
      clearAll();
      titleEnter(true);
      t.cursor = t.previous = TitleState::kNone;
      t.menuSet = 0;
      t.itemCount = 5;
      sub = 41;
      break;
    case 41: {
      // Back from the extras: the fade-in is cut short as the first intro is.
      const uint32_t e = m_game.elapsed(kTimerFade);
      if (titleIntroCut() || e >= 1000) {
        m_game.brightness = 256;
        m_sound->start(10);
        buildTitleMenu();
        m_game.startTimer(kTimerStars);
        m_game.startTimer(kTimerFade);
        t.spotlightCount = 0;
        sub = 3;
      } else {
        m_game.brightness = int(e * 256 / 1000);
      }
      m_game.markWholeScreen();
      break;
    }
    case 50: {
      titleLogoAnimation();
      titleStars();
      // Load chosen with the stylus: the menu opens once the pen is lifted, and none of the pen
      // flags of that tap reach it (the lift would be taken as a choice in the menu).
      InputState& in = m_host.input;
      if (in.penDown) break;
      in.tapNow = in.tapPending = 0;
      in.releaseNow = in.releasePending = 0;
      if (m_host.openMenu) m_host.openMenu();
      sub = 4;
      break;
    }
    case 60:
      titleLogoAnimation();
      titleStars();
      if (fade(3500)) {
        m_sound->stopMusic();
        m_game.brightness = 256;
        m_game.clearBeforeDraw = true;
        clearAll();
        if (m_host.postClose) m_host.postClose();
        sub = 999;
      }
      break;
    default: break;  // 999: the program is closing
  }
}

}  // namespace sorel
