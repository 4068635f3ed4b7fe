#include "engine/runtime/app_context.h"

#include <algorithm>
#include <cstdio>

#include "engine/runtime/save_writer.h"

#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/runtime/menu_commands.h"
#include "engine/state/profile.h"
#include "platform/clock.h"
#include "platform/device_status.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace sorel {

namespace {
// The object whose window is being created: the routing procedure learns its object from here
// on the window's very first message. Main thread only.
WindowBase* g_creating = nullptr;

/// The caption a window carries until start-up names it (the engine's internal name).
constexpr const char* kProvisionalCaption = "MYSYSTEM";
}  // namespace

// ---------------------------------------------------------------------------------------------
// WindowBase

WindowBase::WindowBase() : m_caption(kProvisionalCaption) {}

WindowBase::~WindowBase() {
  if (m_hwnd && platform::isWindow(m_hwnd)) platform::setWindowUserData(m_hwnd, nullptr);
}

bool WindowBase::registerWindowClass() {
  return platform::registerClass(kWindowClass, &WindowBase::routeMessage);
}

platform::Hwnd WindowBase::createWindow(int width, int height) {
  g_creating = this;
  platform::Hwnd hwnd = platform::createWindow(kWindowClass, m_caption, 0, 0, width, height);
  g_creating = nullptr;
  m_hwnd = hwnd;
  return hwnd;
}

void WindowBase::setCaption(std::string_view caption) {
  m_caption = std::string(caption);
  if (m_hwnd) platform::setWindowText(m_hwnd, m_caption);
}

platform::LResult WindowBase::routeMessage(platform::Hwnd hwnd, uint32_t message,
                                           platform::WParam wParam, platform::LParam lParam) {
  auto* route = static_cast<WindowRoute*>(platform::windowUserData(hwnd));
  if (!route) {
    if (!g_creating) return platform::defWindowProc(hwnd, message, wParam, lParam);
    g_creating->m_route = std::make_unique<WindowRoute>(WindowRoute{g_creating, 0, hwnd});
    route = g_creating->m_route.get();
    g_creating->m_hwnd = hwnd;
    platform::setWindowUserData(hwnd, route);
  }
  if (route->hwnd != hwnd || !route->object) return 0;
  return route->object->windowProc(hwnd, message, wParam, lParam);
}

platform::LResult WindowBase::windowProc(platform::Hwnd hwnd, uint32_t message,
                                         platform::WParam wParam, platform::LParam lParam) {
  switch (message) {
    case platform::WM_SIZE: platform::invalidateWindow(hwnd); return 0;
    case platform::WM_ERASEBKGND: return 1;  // the shell's window background is black
    case platform::WM_PAINT: return 0;
    case platform::WM_CLOSE: platform::destroyWindow(hwnd); return 0;
    case platform::WM_DESTROY:
      platform::postQuitMessage(0);
      return 0;
    case platform::WM_KEYDOWN:
    case platform::WM_KEYUP:
    case platform::WM_CHAR:
    case platform::WM_MOUSEMOVE:
    case platform::WM_LBUTTONDOWN:
    case platform::WM_LBUTTONUP:
    case platform::WM_TIMER:
      return 0;
    default: return platform::defWindowProc(hwnd, message, wParam, lParam);
  }
}

void WindowBase::startFramePacer(uint32_t interval) { m_pacer.start(ticks(), interval); }

bool WindowBase::frameDue() { return m_pacer.due(ticks()); }

// ---------------------------------------------------------------------------------------------
// EngineCore

EngineCore::EngineCore(const EngineConfig& config)
    : m_kind(config.kind), m_pictureArchives(isVga()) {
  // The device's default keys. pocketplayer's emulated Pocket PC reports the direction pad, its
  // three application buttons and the pad's centre press (Enter); the handheld PC has no such
  // list and uses its keyboard: cursor keys and Z, X, C, with no centre key.
  if (m_kind == PlayerKind::Pocket)
    m_keyMap.fromDefaults(platform::VK_UP, platform::VK_DOWN, platform::VK_LEFT,
                          platform::VK_RIGHT, platform::VK_APP1, platform::VK_APP2,
                          platform::VK_APP3, platform::VK_RETURN);
  else
    m_keyMap.fromDefaults(platform::VK_UP, platform::VK_DOWN, platform::VK_LEFT,
                          platform::VK_RIGHT, 'Z', 'X', 'C', 0);
  // The display takes its kind from the build; it is opened once the window exists.
  if (m_kind == PlayerKind::Pocket) {
    m_display = std::make_unique<RawFrameBufferBackend>(m_panel);
  } else {
    auto gdi = std::make_unique<GdiBackend>();
    m_gdi = gdi.get();
    m_display = std::move(gdi);
  }
  m_input = InputState();
  m_pictures.freeAll();
  // The display is opened after the window exists (start-up); the picture-archive slots were
  // named by their constructor for the logical screen size.
  m_paths = makeDataPaths(config.programFolder);
  if (!m_paths.programFolder.empty() && config.writeFiles) createSaveFolder(m_paths);
  m_sound = std::make_unique<EngineSound>(m_mixer, m_music, m_voiceArchive, m_paths, m_settings);
  auto reporter = [this](std::string_view path, std::string_view member, std::string_view what) {
    reportDamagedArchive(path, member, what);
  };
  m_scriptArchive.setDamageReporter(reporter);
  m_voiceArchive.setDamageReporter(reporter);
  for (int i = 0; i < PictureArchives::kSlots; ++i) m_pictureArchives.archive(i).setDamageReporter(reporter);
}

void EngineCore::reportDamagedArchive(std::string_view path, std::string_view member, std::string_view what) {
  if (!m_damagedArchives.insert(std::string(path)).second) return;
  const std::string host = platform::hostPath(path);
  const std::string name = platform::cp932ToUtf8Lossy(member);
  std::fprintf(stderr, "%s: %s is damaged (%s%s%s%s); convert the game again\n", programName(),
               host.empty() ? platform::cp932ToUtf8Lossy(path).c_str() : host.c_str(), member.empty() ? "" : "member ",
               name.c_str(), member.empty() ? "" : ": ", std::string(what).c_str());
  // The status line names the archive's file: "bg_vga.mlz が壊れています（変換し直してください）".
  const auto slash = lastCharOf(path, '\\');
  const std::string file(slash ? path.substr(*slash + 1) : path);
  m_notices.post(file + platform::utf8ToCp932(" が壊れています（変換し直してください）").value_or(""));
}

EngineCore::~EngineCore() {
  // The engine's order: pictures, message text, menu, dirty list, fonts, archives,
  // sound, display. Nothing may still play when the mixer goes: a movie (which draws into the
  // display and plays on the mixer) is stopped first, then the music player and every slot.
  stopMovie();
  m_music.stop();
  m_mixer.stopAll();
  m_pictures.freeAll();
  m_menu.setScreen({});  // the frame it would restore is going away with the rest
  m_menu.close();
  clearDirtyRects(m_dirty);
  m_fonts.reset();
  m_scriptArchive.clear();
  for (int i = 0; i < PictureArchives::kSlots; ++i) m_pictureArchives.archive(i).clear();
  m_voiceArchive.clear();
  m_mixer.destroy();
  m_display->close();
}

DisplayOpenError EngineCore::openDisplay() {
  // The emulated Pocket PC has a 480 × 640 portrait panel.
  if (m_kind == PlayerKind::Pocket && !m_panel.isOpen() && !m_panel.open(480, 640))
    return DisplayOpenError::DisplayLibrary;
  DisplayOpenError e = m_display->open(screenWidth, screenHeight);
  if (e == DisplayOpenError::None) m_surface.resize(screenWidth, screenHeight);
  return e;
}

const uint8_t* EngineCore::deviceFrame() const {
  if (!m_display->isOpen()) return nullptr;
  return m_gdi ? m_gdi->bitmap().lastPixel() : m_panel.framePointer();
}

void EngineCore::showDevice() {
  // What the back-end says changed since the last time, and nothing when nothing did.
  const std::vector<Rect> changed = m_display->takeChanged();
  if (!m_shell || changed.empty()) return;
  std::vector<platform::ScreenRect> rects;
  rects.reserve(changed.size());
  for (const Rect& r : changed) rects.push_back({r.left, r.top, r.right, r.bottom});
  m_shell->show(m_display->displayProperties(), deviceFrame(), rects);
}

void EngineCore::redrawWholeScreen() { addDirtyRect(m_dirty, Rect{0, 0, screenWidth, screenHeight}, true); }

InputSettings EngineCore::inputSettings() const {
  InputSettings s;
  s.cursorMode = m_settings.keyCurMode;
  s.doubleClick = m_settings.keyDoubleClick;
  s.centreAction = m_settings.keyCenCtrl;
  s.lockSkip = m_settings.lockSkip;
  s.penHalfRotated = m_kind == PlayerKind::Pocket;
  s.screenWidth = screenWidth;
  return s;
}

platform::LResult EngineCore::windowProc(platform::Hwnd hwnd, uint32_t message,
                                         platform::WParam wParam, platform::LParam lParam) {
  InputSettings s = inputSettings();
  switch (message) {
    case platform::WM_ACTIVATE: return 0;
    case platform::WM_LBUTTONDOWN:
      onPenDown(m_input, s, platform::pointX(lParam), platform::pointY(lParam));
      return 0;
    case platform::WM_MOUSEMOVE:
      onPenMove(m_input, s, platform::pointX(lParam), platform::pointY(lParam));
      return 0;
    case platform::WM_LBUTTONUP: onPenUp(m_input); return 0;
    case platform::WM_KEYDOWN:
    case platform::WM_KEYUP:
      onKey(m_input, m_keyMap, s, static_cast<int>(wParam & 0xFFFF),
            message == platform::WM_KEYDOWN, [this] { return openMenuFromInput(); });
      return 0;
    case platform::WM_PADBUTTONDOWN:
    case platform::WM_PADBUTTONUP:
      if (wParam < platform::kPadButtonCount)
        onPadButton(m_input, m_keyMap, s, m_padMap, static_cast<platform::PadButton>(wParam),
                    message == platform::WM_PADBUTTONDOWN, [this] { return openMenuFromInput(); });
      return 0;
    default: return WindowBase::windowProc(hwnd, message, wParam, lParam);
  }
}

bool EngineCore::openMenuFromInput() { return m_menu.open(m_hwnd); }

// ---------------------------------------------------------------------------------------------
// GameCore

GameCore::GameCore(const EngineConfig& config) : EngineCore(config), m_saveWriter(std::make_unique<SaveWriter>()) {}

GameCore::~GameCore() = default;

void GameCore::musicSwitchChanged() { m_sound->applyMusicSwitch(); }

void GameCore::voiceSwitchChanged() { m_sound->applyVoiceSwitch(); }

void GameCore::effectSwitchChanged() {
  m_sound->applyEffectSwitch();
  if (m_game && m_settings.sePlay >= 2) m_game->restartLoopEffects();
}

void GameCore::volumeChanged(SoundOutput output) { m_sound->applyVolume(output); }

void GameCore::masterVolumeChanged() { m_sound->applyAllVolumes(); }

void GameCore::gameStep() {
  if (m_game) m_game->gameStep();
}

bool GameCore::startStory(std::string_view scenario) { return m_game && m_game->startStory(scenario); }

platform::LResult GameCore::windowProc(platform::Hwnd hwnd, uint32_t message,
                                       platform::WParam wParam, platform::LParam lParam) {
  return EngineCore::windowProc(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// AppContext

AppContext::AppContext(const EngineConfig& config) : GameCore(config) {}

AppContext::~AppContext() = default;

platform::LResult AppContext::windowProc(platform::Hwnd hwnd, uint32_t message,
                                         platform::WParam wParam, platform::LParam lParam) {
  switch (message) {
    case platform::WM_COMMAND:
      dispatchCommand(*this, static_cast<unsigned>(wParam & 0xFFFF));
      return 0;
    case platform::WM_PAINT:
      // A movie draws straight into the frame buffer: the back buffer under it must not cover it.
      if (m_display->isOpen() && isPlaying()) showDevice();
      else if (m_display->isOpen()) presentWholeScreen();
      if (m_menu.isOpen()) m_menu.invalidate();
      return 0;
    case platform::WM_CLOSE: platform::destroyWindow(hwnd); return 0;
    case platform::WM_DESTROY:
      // Behind a blocking problem screen the game never ran: nothing of the player's to keep.
      if (!blockedByProblems()) saveSystemData();
      flushSaves();
      reportSaveResults();
      if (m_fonts) storeSettings(m_paths.configPath(), m_settings, *m_fonts);
      platform::postQuitMessage(0);
      return 0;
    default: return GameCore::windowProc(hwnd, message, wParam, lParam);
  }
}

void AppContext::latch() {
  latchFrame(m_input, inputSettings(), m_menu.isOpen());
  ++m_frames;
  if (m_observer) m_observer->frameLatched(m_frames);
}

void AppContext::presentFrame(bool wholeScreen) {
  // The window shows what the back-end changed: the dirty rectangles, the whole screen, or
  // nothing at all when the frame changed nothing.
  // A shaking screen is presented whole, moved by the shake offset; so is the first frame after
  // the shake, which puts it back in place.
  int shakeX = m_game ? m_game->shakeX : 0, shakeY = m_game ? m_game->shakeY : 0;
  if (shakeX || shakeY || m_shownShakeX || m_shownShakeY) wholeScreen = true;
  m_shownShakeX = shakeX;
  m_shownShakeY = shakeY;
  present(*m_display, m_surface, m_dirty,
          wholeScreen ? PresentArea::WholeScreen : PresentArea::DirtyRects, shakeX, shakeY);
  showDevice();
}

void AppContext::presentWholeScreen() { presentFrame(true); }

void AppContext::presentArea(const Rect& rect) {
  DirtyRectList area;
  area.setBounds(screenWidth, screenHeight);
  addDirtyRect(area, rect, false);
  present(*m_display, m_surface, area, PresentArea::DirtyRects);
}

MenuStatus AppContext::menuStatus() const {
  MenuStatus s;
  if (platform::clockMode() == platform::ClockMode::Virtual) {
    // A device on 1 January 2000 whose clock started at midnight.
    const uint32_t minutes = ticks() / 60000;
    s.hour = int(minutes / 60 % 24);
    s.minute = int(minutes % 60);
    s.freeMemoryMB = 32;
    s.memoryLoadPercent = 50;
    s.freeStorageMB = 128;
    return s;
  }
  const platform::LocalTime t = platform::localTime();
  s.year = t.year;
  s.month = t.month;
  s.day = t.day;
  s.hour = t.hour;
  s.minute = t.minute;
  s.batteryPercent = platform::batteryPercent();
  s.freeMemoryMB = platform::freeMemoryBytes() >> 20;
  s.memoryLoadPercent = platform::memoryLoadPercent();
  s.freeStorageMB = platform::freeStorageBytes(m_paths.programFolder) >> 20;
  return s;
}

void AppContext::frameStep() {
  platform::resetIdleTimer();
  latch();
  if (problemScreenUp()) {
    problemScreenStep();
    return;
  }
  reportSaveResults();
  gameStep();
  if (errorWord != 0) {
    platform::destroyWindow(m_hwnd);
    clearDirtyRects(m_dirty);
    return;
  }
  setClockFrozen(true);
  if (m_game) m_game->updateLayers(ticks());
  setClockFrozen(false);
  composeFrame();
  // A menu opened by the game step itself draws over this frame at its first step, so the frame
  // is presented underneath it all the same. A movie started by this step owns the screen now;
  // the whole screen is presented again when it has gone.
  if (!isPlaying()) presentFrame(false);
  clearDirtyRects(m_dirty);
}

void AppContext::composeFrame() {
  if (!m_game || m_surface.width <= 0) return;
  m_notices.beforeCompose(ticks(), m_dirty);
  m_game->compose(m_surface, m_frameState, m_dirty, m_settings.transMode + 1, m_settings.messageShadow != 0);
  if (m_notices.shown().empty()) return;
  if (!m_systemText) m_systemText = std::make_unique<TextRenderer>();
  m_notices.afterCompose(m_surface, m_dirty, *m_systemText);
}

void AppContext::idlePass() {
  if (m_virtualStep) {
    platform::advanceVirtualClock(m_virtualStep);
    // The output plays (and the mixer refills) everything due at the new tick before the game
    // looks at the sound, so a run under the virtual clock mixes the same samples every time.
    m_mixer.syncOutput();
  }
  m_pacer.now = ticks();
  uint32_t frameBefore = m_frames;
  if (m_menu.isOpen()) {
    latch();
    m_menu.step(m_hwnd, m_input);
    // The menu drew over the movie (and restores the back buffer, not the movie, when it closes).
    if (isPlaying()) m_repaintMovie = true;
    platform::sleepMs(1);
  } else if (isPlaying()) {
    // The movie runs over the game: a tap or a fresh press of C or right ends it at once.
    latch();
    if (m_repaintMovie) {
      m_repaintMovie = false;
      m_movie->repaint();
      showDevice();
    }
    if (!m_input.tapNow && !m_input.fresh(Key::C) && !m_input.fresh(Key::Right)) {
      stepMovie();
    } else {
      // The press that ended the movie is used up: the screen under it must not see it again.
      m_input.consume(Key::C);
      m_input.consume(Key::Right);
      stopMovie();
    }
  } else if (frameDue()) {
    frameStep();
    if (m_kind == PlayerKind::Handheld) platform::sleepMs(1);
  } else {
    // Nothing happens before the next frame: input arriving meanwhile is read at that frame's
    // start anyway. Sleeping until then, not a millisecond at a time, keeps a still game off the
    // processor (a millisecond's sleep under the virtual clock, which moves per pass).
    const uint32_t wait = m_pacer.nextFrame - ticks();
    platform::sleepMs(m_virtualStep || wait > m_pacer.interval ? 1 : std::max<uint32_t>(wait, 1));
  }
  if (m_observer && m_frames != frameBefore) m_observer->frameDone(m_frames);
}

int AppContext::runMessageLoop() {
  platform::Message msg;
  for (;;) {
    if (m_shell) m_shell->pumpEvents();
    if (platform::peekMessage(msg, true)) {
      if (msg.message == platform::WM_QUIT) return static_cast<int>(msg.wParam);
      platform::dispatchMessage(msg);
    } else {
      idlePass();
    }
  }
}

}  // namespace sorel
