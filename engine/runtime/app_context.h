#pragma once
// The application object: one window, every engine subsystem, and the idle-time frame loop.
// Four layers, each overriding the window procedure:
//   WindowBase  - the window, its message routing and the frame pacer
//   EngineCore  - everything the engine owns (input, pictures, display, archives, settings …)
//   GameCore    - the game state (game mode, error word)
//   AppContext  - the final object: commands, painting, closing
// Their members are implemented by responsibility: app_context.cpp (the window, message routing
// and the frame loop), app_startup.cpp (start-up and the data-problem screen),
// movie_handoff.cpp (a movie over the game) and save_load.cpp (saves and the system data).
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/audio/movie_player.h"
#include "engine/audio/music_player.h"
#include "engine/audio/sound_mixer.h"
#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/dirty_rects.h"
#include "engine/graphics/draw_item.h"
#include "engine/graphics/picture.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/saves/game_saves.h"
#include "engine/screens/game_screens.h"
#include "engine/story/game.h"
#include "engine/runtime/engine_sound.h"
#include "engine/runtime/frame_pacer.h"
#include "engine/state/input.h"
#include "engine/state/key_map.h"
#include "engine/runtime/popup_menu.h"
#include "engine/runtime/problem_screen.h"
#include "engine/runtime/status_notice.h"
#include "engine/state/pad_map.h"
#include "engine/state/settings.h"
#include "platform/messages.h"

namespace platform {
class Shell;
}

namespace sorel {

/// The two builds of the engine.
enum class PlayerKind { Pocket, Handheld };

/// The window class both builds register; a running instance is found by it.
constexpr const char* kWindowClass = "MYSYSTEM";
/// The caption of pocketplayer's window (the product word).
constexpr const char* kProductCaption = "Sorel";

class WindowBase;

/// What the window's user-data slot holds: the object that handles its messages.
struct WindowRoute {
  WindowBase* object = nullptr;
  uint32_t reserved = 0;
  platform::Hwnd hwnd = nullptr;
};

class WindowBase {
 public:
  WindowBase();
  virtual ~WindowBase();
  WindowBase(const WindowBase&) = delete;
  WindowBase& operator=(const WindowBase&) = delete;

  /// The default handling of messages.
  virtual platform::LResult windowProc(platform::Hwnd hwnd, uint32_t message,
                                       platform::WParam wParam, platform::LParam lParam);
  /// The class procedure of kWindowClass: routes every message to its window's object.
  static platform::LResult routeMessage(platform::Hwnd hwnd, uint32_t message,
                                        platform::WParam wParam, platform::LParam lParam);

  /// Registers the class (once per process); false when that fails.
  static bool registerWindowClass();
  /// Creates this object's window; null on failure.
  platform::Hwnd createWindow(int width, int height);
  platform::Hwnd window() const { return m_hwnd; }
  const std::string& caption() const { return m_caption; }
  void setCaption(std::string_view caption);

  /// Starts the pacer at the current tick.
  void startFramePacer(uint32_t interval);
  /// True when the next frame is due (updates the per-second counts).
  bool frameDue();
  FramePacer& pacer() { return m_pacer; }
  const FramePacer& pacer() const { return m_pacer; }

 protected:
  platform::Hwnd m_hwnd = nullptr;
  std::string m_caption;
  int m_showCommand = 1;
  FramePacer m_pacer;

 private:
  std::unique_ptr<WindowRoute> m_route;  // the window's routing record
};

/// What the player's shell gives the engine.
struct EngineConfig {
  PlayerKind kind = PlayerKind::Pocket;
  /// The program folder (system path ending in '\'); empty when it has no CP932 form.
  std::string programFolder;
  /// False: nothing is created in the program folder (it holds no data and was not chosen).
  bool writeFiles = true;
};

class EngineCore : public WindowBase {
 public:
  explicit EngineCore(const EngineConfig& config);
  ~EngineCore() override;

  platform::LResult windowProc(platform::Hwnd hwnd, uint32_t message, platform::WParam wParam,
                               platform::LParam lParam) override;

  PlayerKind kind() const { return m_kind; }
  KeyMap& keyMap() { return m_keyMap; }
  /// Which gamepad button stands for which key (defaults, then PAD_CONFIG of sorel.cfg).
  PadMap& padMap() { return m_padMap; }
  InputState& input() { return m_input; }
  /// The input rules' view of the settings.
  InputSettings inputSettings() const;
  PictureTable& pictures() { return m_pictures; }
  /// The display back-end (raw frame buffer or GDI imitation), closed until openDisplay.
  DisplayBackend& display() { return *m_display; }
  /// Opens the device and the back-end for the logical screen.
  DisplayOpenError openDisplay();
  /// The 24-bit back buffer every frame is composed in (logical size once the display is open).
  Surface& surface() { return m_surface; }
  /// The device's frame pointer, for reading the screen back (screenshots, the window).
  const uint8_t* deviceFrame() const;
  MusicPlayer& musicPlayer() { return m_music; }
  SoundMixer& mixer() { return m_mixer; }
  /// Opens the sound output (start-up, after the decoder module is loaded). Without an output the
  /// game runs silently.
  bool openSound() { return m_mixer.create(); }
  /// The sound as the game and the settings see it (mixer, music player, voice archive).
  EngineSound& sound() { return *m_sound; }
  DirtyRectList& dirtyList() { return m_dirty; }
  PopupMenu& popupMenu() { return m_menu; }
  MlzArchive& scriptArchive() { return m_scriptArchive; }
  MlzArchive& voiceArchive() { return m_voiceArchive; }
  PictureArchives& pictureArchives() { return m_pictureArchives; }
  FontList* fontList() { return m_fonts.get(); }
  const DataPaths& paths() const { return m_paths; }
  const std::string& programFolder() const { return m_paths.programFolder; }
  Settings& settings() { return m_settings; }

  /// Plays a movie from the movie folder over the game (name: the part after its last '/', with
  /// ".jmv" for its extension) with its sound track at MOV_VOL × MASTER_VOL / 100 on slot 0,
  /// enlarged with interpolation in VGA mode when VGA_QUALITY is set. A movie already playing is
  /// discarded first. False (no movie) when the file is missing or refused.
  bool startMovie(std::string_view name);
  /// A movie exists.
  bool isPlaying() const { return m_movie != nullptr; }
  /// One movie pass; when the movie has ended, slot 0 is stopped and the movie discarded.
  /// False once no movie plays.
  bool stepMovie();
  /// Stops slot 0 and discards the movie at once (nothing when none plays).
  void stopMovie();
  /// The movie playing (null when none).
  MoviePlayer* movie() { return m_movie.get(); }
  /// Why the last startMovie failed.
  MovieRefusal lastMovieRefusal() const { return m_movieRefusal; }

  /// Adds the whole screen to the dirty list: every text is drawn again at the next frame.
  void redrawWholeScreen();

  /// Shows a short message (CP932) on the status line over the game for a few seconds.
  void postNotice(std::string text) { m_notices.post(std::move(text)); }
  StatusNotices& notices() { return m_notices; }
  /// The player's name, as the terminal's lines begin.
  const char* programName() const { return m_kind == PlayerKind::Pocket ? "pocketplayer" : "handheldplayer"; }
  /// An archive found damaged while playing: said once per archive, in a line on the terminal
  /// and on the status line; the game plays on without what could not be read.
  void reportDamagedArchive(std::string_view path, std::string_view member, std::string_view what);

  /// The desktop shell that shows the device (null in unit tests).
  void setShell(platform::Shell* shell) { m_shell = shell; }
  platform::Shell* shell() const { return m_shell; }
  /// Hands the rectangles the display changed since the last call to the shell's window.
  void showDevice();

 protected:
  /// The menu keys' way into the pop-up menu (the B key, the centre key, the pad's Start); true
  /// when it opened.
  bool openMenuFromInput();

  PlayerKind m_kind;
  KeyMap m_keyMap;
  PadMap m_padMap;
  InputState m_input;
  PictureTable m_pictures;
  platform::RawFrameBuffer m_panel;  // pocketplayer's emulated portrait panel
  std::unique_ptr<DisplayBackend> m_display;
  GdiBackend* m_gdi = nullptr;  // m_display, when it is the GDI imitation
  Surface m_surface;
  MusicPlayer m_music;
  SoundMixer m_mixer;
  PopupMenu m_menu;
  DirtyRectList m_dirty;
  MlzArchive m_scriptArchive;
  MlzArchive m_voiceArchive;
  PictureArchives m_pictureArchives;
  std::unique_ptr<FontList> m_fonts;
  DataPaths m_paths;
  Settings m_settings;
  std::unique_ptr<EngineSound> m_sound;  // over the mixer, music player, voice archive, settings
  platform::Shell* m_shell = nullptr;
  std::unique_ptr<MoviePlayer> m_movie;  // drawn straight into the display's frame buffer
  MovieRefusal m_movieRefusal = MovieRefusal::None;
  StatusNotices m_notices;
  std::set<std::string> m_damagedArchives;  // reported already
};

class SaveWriter;

class GameCore : public EngineCore {
 public:
  /// Error word bits raised by broken script references.
  static constexpr uint32_t kErrorPictureSlot = 0x00800000;
  static constexpr uint32_t kErrorElementSlot = 0x08000000;

  explicit GameCore(const EngineConfig& config);
  platform::LResult windowProc(platform::Hwnd hwnd, uint32_t message, platform::WParam wParam,
                               platform::LParam lParam) override;

  ~GameCore() override;

  /// The current game mode's per-frame step (the story and the backlog view so far).
  virtual void gameStep();
  /// The game's own initialisation at the end of start-up: the story state and the data tables.
  virtual void gameInitialise();

  /// The story, from gameInitialise on (null before).
  Game* game() { return m_game.get(); }
  /// The screens around the story and the game's saves, made with the story.
  GameScreens* screens() { return m_screens.get(); }
  GameSaves* saves() { return m_saves.get(); }
  /// Starts straight in story mode with the scenario (CP932 member name of the Script archive);
  /// false when it cannot be loaded.
  bool startStory(std::string_view scenario);

  /// The pop-up menu's sound commands store the new setting, then put it into effect with one of
  /// these. PCM: the music player's mode (music switched on plays its last request again).
  void musicSwitchChanged();
  /// VOICE_PLAY: voices switched off fall silent.
  void voiceSwitchChanged();
  /// SE_PLAY: effects switched off fall silent; switched on, the looping effects the story
  /// keeps play again.
  void effectSwitchChanged();
  /// MUSIC_VOL, VOICE_VOL, SE_VOL or MOV_VOL: that output's level.
  void volumeChanged(SoundOutput output);
  /// MASTER_VOL: every output's level.
  void masterVolumeChanged();

  /// Saves the game held in the snapshot to slot (0..14 the menu's slots, 600 the automatic
  /// choice save); false when refused. The files reach the disk on the save writer's thread
  /// (flushSaves waits for them); everything reading the save folder sees them at once.
  virtual bool saveGame(int slot);
  /// Loads slot (0..14, 600); false when refused (the running game then goes on untouched).
  virtual bool loadGame(int slot);
  /// The menu's return-to-the-previous-choice command.
  virtual void returnToLastChoice();
  /// Relabels the menu's load and save entries from the save folder.
  virtual void refreshSaveMenus();
  /// The fifteen slots as the save folder shows them ("%s %s" of time and title, the load entry
  /// enabled and the thumbnail for a file that would load, "---- 未定義 ----" otherwise); newest
  /// receives the slot with the latest time (-1 for none).
  std::array<PopupMenu::SaveSlotEntry, PopupMenu::kSaveSlots> saveSlotEntries(int& newest) const;
  /// Writes the system data file (after every save and at exit); false when not written.
  bool saveSystemData();
  /// Reads the system data file (start-up, after the settings). A file that does not check out
  /// is copied aside as ".bak" and the lists stay empty.
  void loadSystemData();
  /// Start-up: a save or system data file whose writing was cut short before its rename is put
  /// in place when complete, else deleted.
  void recoverSaveFolder();
  /// The save entries' state (the story enables them; the backlog view and a replay do not).
  void setSaveEnabled(bool enabled);
  bool saveEnabled() const { return m_saveEnabled; }
  /// True while slot 600 holds this run's automatic choice save.
  bool choiceSaved() const { return m_choiceSaved; }
  /// Waits until every save and system data file asked for is on the disk.
  void flushSaves();
  /// Says how the writes finished since the last call: a menu slot's save on the status line,
  /// a file that could not be written there and on the terminal.
  void reportSaveResults();

  uint32_t errorWord = 0;
  uint32_t gameMode = 0;
  uint32_t subMode = 0;

 protected:
  std::unique_ptr<Game> m_game;
  std::unique_ptr<GameScreens> m_screens;  // wired to m_game; declared after it, so gone before it
  std::unique_ptr<GameSaves> m_saves;
  bool m_saveEnabled = false;
  bool m_choiceSaved = false;
  std::unique_ptr<SaveWriter> m_saveWriter;
};

/// Receives the player's frames (the run options use it for scripts, screenshots, limits).
class FrameObserver {
 public:
  virtual ~FrameObserver() = default;
  /// After the input of a frame, menu pass or movie pass was latched.
  virtual void frameLatched(uint32_t frame) = 0;
  /// After that pass has finished (and presented).
  virtual void frameDone(uint32_t frame) = 0;
};

class AppContext : public GameCore {
 public:
  explicit AppContext(const EngineConfig& config);
  ~AppContext() override;

  platform::LResult windowProc(platform::Hwnd hwnd, uint32_t message, platform::WParam wParam,
                               platform::LParam lParam) override;

  /// The initialisation step: font list, menu, pacer, dirty list, settings, game.
  void initialise();
  /// One pass of the message loop without a message: menu, movie or, when due, a frame step.
  void idlePass();
  /// Runs the message loop until the quit message; returns its exit code.
  int runMessageLoop();

  /// Passes that latched input so far (frames, menu passes, movie passes).
  uint32_t framesLatched() const { return m_frames; }
  void setFrameObserver(FrameObserver* observer) { m_observer = observer; }
  /// Advance the virtual clock by one interval before every idle pass.
  void setVirtualClockStep(uint32_t ms) { m_virtualStep = ms; }
  /// Copies the whole back buffer to the device and shows it.
  void presentWholeScreen();
  /// What the pop-up menu's header shows: the device's status, or under the virtual clock a
  /// fixed device whose date and time follow the clock, so that runs repeat exactly.
  MenuStatus menuStatus() const;

  /// Start-up: shows what is wrong with the data (and the decoder module) on the problem screen.
  /// With a blocking problem the screen stays until the player is closed and the game never
  /// steps; with silence problems only, it stays until a read-on input (a tap, C or right), which
  /// it uses up, and the game starts behind it. Notes alone show nothing.
  void showProblems(const std::vector<DataProblem>& problems);
  /// The problem screen is up.
  bool problemScreenUp() const { return !m_problemLines.empty(); }
  /// The problem screen keeps the game from being shown (it stays until the player is closed).
  bool blockedByProblems() const { return problemScreenUp() && m_problemsBlock; }

 private:
  void latch();
  void frameStep();
  void presentFrame(bool wholeScreen);
  /// Presents a rectangle of the composed frame again (what lies under the pop-up menu).
  void presentArea(const Rect& rect);
  /// Redraws the dirty rectangles from the layers, then the message text over them.
  void composeFrame();
  /// A frame of the problem screen: drawn once, then waiting for the input that ends it.
  void problemScreenStep();

  uint32_t m_frames = 0;
  uint32_t m_virtualStep = 0;
  FrameState m_frameState;
  int m_shownShakeX = 0, m_shownShakeY = 0;  // the offset the screen was last presented with
  FrameObserver* m_observer = nullptr;
  bool m_repaintMovie = false;  // the pop-up menu drew over the movie
  std::vector<ProblemScreenLine> m_problemLines;  // the problem screen, empty when it is not up
  bool m_problemsBlock = false;
  bool m_problemsDrawn = false;
  std::unique_ptr<TextRenderer> m_systemText;  // the problem screen's and the status line's text
};

}  // namespace sorel
