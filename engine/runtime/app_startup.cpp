// Start-up: the game wired to its screens and saves and its tables read, the fonts, menu,
// settings and pad map read, the save folder recovered and the system data loaded; and the
// screen that names the data folder's problems before the game starts (or instead of it).
#include <cstdio>

#include "engine/graphics/picture_loader.h"
#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "engine/runtime/menu_commands.h"
#include "engine/state/profile.h"
#include "platform/files.h"
#include "platform/glyphs.h"
#include "platform/text.h"

namespace sorel {

void GameCore::gameInitialise() {
  GameHost host{m_pictures,
                m_pictureArchives,
                m_scriptArchive,
                m_paths,
                m_settings,
                m_input,
                errorWord,
                gameMode,
                subMode,
                [this](const Rect& r) { addDirtyRect(m_dirty, r, true); },
                [this]() -> const Surface* { return &m_surface; },
                [this](bool on) { setSaveEnabled(on); },
                [](Picture& out, std::string_view file, std::string_view archivePath, MlzArchive& archive,
                   ColourWord tint, int* x, int* y) {
                  std::string member(file);
                  return loadPicture(out, member, archivePath, 0, &archive, tint, x, y) == 1;
                },
                [this](int slot) { return m_saveEnabled && saveGame(slot); },
                [this](int slot) { return m_saveEnabled && loadGame(slot); }};
  host.openMenu = [this] { return m_menu.open(m_hwnd); };
  host.postClose = [this] { platform::postMessage(m_hwnd, platform::WM_CLOSE, 0, 0); };
  host.startMovie = [this](std::string_view name) { return startMovie(name); };
  host.moviePlaying = [this] { return isPlaying(); };
  host.saveMenuEnabled = [this] { return m_saveEnabled; };
  host.stopMovie = [this] { stopMovie(); };
  host.settingChanged = [this] { syncMenuMarks(m_menu, m_settings, m_fonts ? int(m_fonts->available.size()) : 0); };
  m_game = std::make_unique<Game>(host, m_sound.get());
  m_screens = std::make_unique<GameScreens>(*m_game);
  m_saves = std::make_unique<GameSaves>(*m_game);
  m_game->setScreens(m_screens.get());
  m_game->setSnapshots(m_saves.get());
  m_game->loadDataTables();
}


void AppContext::initialise() {
  m_fonts = std::make_unique<FontList>();
  m_fonts->read(m_paths.configPath(), platform::installedFontFamilies());
  buildPopupMenu(m_menu, *m_fonts);
  m_menu.setScreen({m_display.get(), [this](const Rect& r) { presentArea(r); }, [this] { showDevice(); },
                    [this] { return menuStatus(); }});
  startFramePacer(16);
  m_dirty.setBounds(screenWidth, screenHeight);
  // A first start turns on the voices and effects the data folder holds.
  const SettingDefaults defaults =
      firstStartDefaults(platform::fileExists(m_paths.configPath()), holdsVoices(m_paths), holdsEffects(m_paths));
  readSettings(m_paths.configPath(), m_settings, m_keyMap, *m_fonts, defaults);
  syncMenuMarks(m_menu, m_settings, int(m_fonts->available.size()));
  m_padMap.read(m_paths.configPath(), [](std::string_view key, std::string_view name) {
    std::string shown = platform::cp932ToUtf8Lossy(name);
    std::fprintf(stderr, "sorel.cfg: [PAD_CONFIG] %.*s: unknown gamepad button '%s' ignored\n",
                 int(key.size()), key.data(), shown.c_str());
  });
  m_sound->applyStartSettings();
  gameInitialise();
  recoverSaveFolder();
  loadSystemData();
  refreshSaveMenus();
  gameMode = 0;
  subMode = 0;
}


void AppContext::showProblems(const std::vector<DataProblem>& problems) {
  m_problemLines.clear();
  if (!worthAScreen(problems)) return;
  m_problemsBlock = blocksTheGame(problems);
  m_problemLines = layoutProblemScreen(problems, screenWidth, screenHeight);
  m_problemsDrawn = false;
}

void AppContext::problemScreenStep() {
  if (!m_problemsBlock && (m_input.tapNow || m_input.fresh(Key::C) || m_input.fresh(Key::Right))) {
    // The input that ends the screen is used up by it; the game starts at the next frame, which
    // draws the whole screen afresh.
    m_input.tapNow = 0;
    m_input.consume(Key::C);
    m_input.consume(Key::Right);
    m_problemLines.clear();
    clearDirtyRects(m_dirty);
    redrawWholeScreen();
    return;
  }
  if (!m_problemsDrawn && m_surface.width > 0) {
    if (!m_systemText) m_systemText = std::make_unique<TextRenderer>();
    m_systemText->setMessageFace(kDefaultFontName, 2);
    drawProblemScreen(m_surface, *m_systemText, m_problemLines);
    presentFrame(true);
    m_problemsDrawn = true;
  }
  clearDirtyRects(m_dirty);
}

}  // namespace sorel
