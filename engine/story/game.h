#pragma once
// The game: the scenario interpreter and its commands, the scene layers built from them, the
// message window with its typing, reader wait, backlog and read table, and the game-mode
// dispatcher that steps the story (mode 99) and the backlog view (mode 95) once per frame, and
// the screens (title, gallery, replay, sound mode) through StoryScreens.
//
// The application object owns one Game and hands it the engine services it needs through a
// GameHost, and the screens and saves through story_hooks.h; the Game keeps every piece of story
// state itself, so that saving a game is copying these records.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/story/backlog.h"
#include "engine/story/data_tables.h"
#include "engine/story/layers.h"
#include "engine/story/script_program.h"
#include "engine/story/script_state.h"
#include "engine/story/story_hooks.h"
#include "engine/story/story_sound.h"
#include "engine/graphics/picture.h"
#include "engine/graphics/text.h"

namespace sorel {

class MlzArchive;
class PictureArchives;
struct DataPaths;
struct InputState;
struct Settings;

/// Game modes of the dispatcher.
enum GameMode : uint32_t {
  kModeTitle = 0,
  kModeGallery = 60,
  kModeReplay = 70,
  kModeSoundMode = 80,
  kModeBacklog = 95,
  kModeStory = 99,
};

/// The save slot of the automatic save a decided choice makes.
constexpr int kChoiceSaveSlot = 600;

/// What the engine lends the game. Every reference outlives the Game.
struct GameHost {
  PictureTable& pictures;
  PictureArchives& pictureArchives;
  MlzArchive& scriptArchive;  ///< used in turn for scripts and tables
  const DataPaths& paths;
  Settings& settings;
  InputState& input;
  uint32_t& errorWord;
  uint32_t& gameMode;
  uint32_t& subMode;
  /// Marks a screen rectangle (screen pixels) for redrawing.
  std::function<void(const Rect&)> markDirty;
  /// The back buffer, for the transitions' screen capture (may be null in tests).
  std::function<const Surface*()> surface;
  /// Enables or disables the pop-up menu's save entries (may be empty).
  std::function<void(bool)> enableSaveMenu;
  /// Decodes a picture file (any extension; the loader reads its ".rbp" member) from the
  /// archive at archivePath into out, with the tint applied when non-zero, and gives its stored
  /// placement. False leaves out untouched.
  std::function<bool(Picture& out, std::string_view file, std::string_view archivePath, MlzArchive& archive,
                     ColourWord tint, int* x, int* y)>
      pictureLoader;
  /// Saves the snapshot to a slot through the engine (quick save to slot 0, the automatic save
  /// of a decided choice to slot 600); refused while the save entries are disabled. May be empty.
  std::function<bool(int slot)> saveGame;
  /// Loads a slot through the engine (quick load); refused while the save entries are disabled.
  /// Called between frames' game steps, never from inside a command. May be empty.
  std::function<bool(int slot)> loadGame;
  /// Opens the pop-up menu over the game (the title's Load); false when it could not open.
  /// Empty: Load does nothing.
  std::function<bool()> openMenu = nullptr;
  /// Posts the close message to the main window (the title's Quit). Empty: nothing.
  std::function<void()> postClose = nullptr;
  /// Starts a movie of the movie folder at the movie volume; false when none plays. Empty: the
  /// title goes straight on.
  std::function<bool(std::string_view)> startMovie = nullptr;
  /// True while a movie started through startMovie plays. Empty: none plays.
  std::function<bool()> moviePlaying = nullptr;
  /// True while the pop-up menu's save entries are enabled. Empty: they count as enabled.
  std::function<bool()> saveMenuEnabled = nullptr;
  /// Stops a movie playing over the game (the story's end, a load). Empty: nothing.
  std::function<void()> stopMovie = nullptr;
  /// The game changed a setting itself (the D key's manner mode): the pop-up menu's marks follow
  /// it. Empty: nothing.
  std::function<void()> settingChanged = nullptr;
};

/// The screen effect in progress (fades, flash, transitions).
struct ScreenEffectState {
  uint32_t active = 0;
  uint16_t opcode = 0;
  uint32_t step = 0;
  int32_t parameter = 0;
  uint32_t scratch = 0;  ///< the flash's one white frame
};

/// The message in progress (saved with a game).
struct MessageState {
  uint32_t pending = 0;
  uint32_t typingFinished = 0;
  uint32_t step = 0;
  uint32_t markerShown = 0;
  int64_t offset = -1;  ///< code offset of the message instruction, -1 none
  int32_t face = -1;
  int32_t speaker = 0;
  std::array<char, 256> text{};
};

/// The text box: layout and typing state of the message window (design units unless noted).
struct TextBox {
  static constexpr int kAreaX = 0, kAreaY = 318, kAreaW = 640, kAreaH = 162;
  bool exists = false;
  bool shown = false;
  bool hiddenByReader = false;
  bool instant = false;
  bool pendingRedraw = false;
  int glyphSize = 22;
  int sizePercent = 100;
  int originX = 64, originY = 52;
  int charsPerLine = 25;
  int wrap2 = 3;
  int charSpacing = 0, lineSpacing = 0;
  uint32_t baseDelay = 20;
  int penX = 0, penY = 0;  ///< screen pixels
  int charsOnLine = 0;
  int lineCount = 0;
  int typedCount = 0;      ///< characters typed for this message
  std::string text;
  size_t readPos = 0;
  uint32_t nextCharTime = 0;
  std::string voice;       ///< the voice the message named
  bool voiceStarted = false;  ///< that voice was started on slot 2
  ColourRef colour = 0xFFFFFF;
  bool holdsText = false;  ///< text of an earlier message is still on screen
};

/// The choice menu's state while CHOICE_RUN waits.
struct ChoiceMenuState {
  static constexpr int kNone = 100;
  int count = 0;            ///< bars placed (at most 6)
  int cursor = kNone;
  int previous = kNone;
  std::array<int, 6> y{};   ///< bar tops, design units
};

/// The backlog view's state (game mode 95).
struct BacklogView {
  int scroll = 0;       ///< pixels from the newest end
  int listHeight = 0;
  uint32_t openedAt = 0;
  bool saveWasEnabled = true;  ///< the save entries' state the view found (a replay keeps them off)
  std::vector<std::pair<Rect, size_t>> voiceIcons;  ///< screen rectangle and entry
};

class Game {
 public:
  explicit Game(const GameHost& host, StorySound* sound = nullptr);
  ~Game();
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  /// Reads the data tables from Table.mlz (start-up, after the settings).
  int loadDataTables();
  /// The game-mode dispatcher, once per frame.
  void gameStep();
  /// Starts the story at a scenario in story mode; false when it cannot be loaded.
  bool startStory(std::string_view scenario);

  // Interpreter -------------------------------------------------------------------------------
  /// Replaces the loaded script with the member of the Script archive; false when it cannot be
  /// read, is not a script, or the name is 32 bytes or longer (nothing is loaded then).
  bool loadScript(std::string_view name);
  /// Loads a script image directly (tests and tools); same rules as loadScript.
  bool loadScriptImage(std::string_view name, std::vector<uint8_t> file);
  /// Ends the story and returns to the title.
  void endScript();
  /// One frame of story mode.
  void stepScript();
  void startTimer(int i);
  uint32_t elapsed(int i) const;
  bool scriptLoaded() const { return m_program.loaded(); }
  const ScriptProgram& program() const { return m_program; }

  // Layers and scene ---------------------------------------------------------------------------
  LayerTable& layers() { return m_layers; }
  const LayerTable& layers() const { return m_layers; }
  /// Loads a picture into a slot from an archive by base name ("Stand", "System" ...); the old
  /// picture is released once the new one decoded. Slot 133 or more raises the picture bit of the
  /// error word. outX/outY receive the stored placement.
  bool loadPicture(int slot, std::string_view archive, std::string_view file, int* outX = nullptr,
                   int* outY = nullptr, bool tinted = false);
  void freePicture(int slot);
  void freeAllPictures();
  bool blankPicture(int slot, int width, int height);
  void markRedraw(int x, int y, int width, int height);
  void markWholeScreen() { markRedraw(0, 0, 640, 480); }
  bool tapInside(int x, int y, int width, int height) const;

  void showStand(int position, int index);
  void hideStand(int position);
  void showFace(int index);
  void showScenePicture(int index);
  void hideScenePicture();
  void applyDisplayFilter(bool reset);
  void setDim(bool on);
  bool transitionStep(int kind);

  // Message window ------------------------------------------------------------------------------
  void createWindow();
  void destroyWindow();
  void setWindowShown(bool on);
  void setWindowStyle(int style);
  void showClickMarker(bool on);
  /// The text colour (0x00BBGGRR) of a speaker number.
  ColourRef speakerColour(int64_t speaker) const;
  TextCells& textCells() { return m_cells; }
  TextRenderer& textRenderer() { return *m_text; }
  const TextBox& textBox() const { return m_box; }
  /// True when the message text should be drawn this frame (window exists, not hidden).
  bool textVisible() const { return m_box.exists && m_cells.enabled && !m_cells.hidden; }
  Backlog& backlog() { return m_backlog; }
  ReadTable& readTable() { return m_readTable; }

  // Sound ---------------------------------------------------------------------------------------
  /// Companion voice n of the mascot heroine (MASCOT_CHAR_MODE 1 to 12; none at 0) from the
  /// system-sound folder on slot 10, when voices are on, at the voice volume; started now, or
  /// prepared for a later sound().start(10).
  void companionVoice(int n, bool startNow);
  /// The mascot setting changed: the overlay beside the message window is built again.
  void rebuildMascotOverlay();
  /// The message font changed (face name, CP932): every text on screen is drawn in it at the
  /// next frame.
  void applyMessageFont(std::string_view face);
  /// The menu's mascot voice k: companion voice k, started at once.
  void mascotVoice(int k) { companionVoice(k, true); }
  /// Plays the looping effects the story keeps in loopSeName again on slots 4 and 5 (effects
  /// switched back on, a saved game loaded); nothing while effects are off.
  void restartLoopEffects();
  /// Plays track `index` of the music table at the music volume, fading in over fadeInMs;
  /// nothing when that track already plays.
  void playMusic(int32_t index, int fadeInMs);
  /// The voice volume after the master volume.
  int voiceVolume() const;

  // Screens and saves (story_hooks.h) ---------------------------------------------------------
  /// The screens the dispatcher and the screen commands reach; null: none.
  void setScreens(StoryScreens* screens) { m_screens = screens; }
  StoryScreens* screens() const { return m_screens; }
  /// Where the message and choice commands' snapshots go; null: none is taken.
  void setSnapshots(StorySnapshots* snapshots) { m_snapshots = snapshots; }
  /// Frees the staff roll through the screens.
  void freeStaffRoll();
  /// Copies the story's state for saving through the snapshots (the message and choice commands
  /// call it on their first execution).
  void takeSnapshot();
  /// A saved game replaces the running one: the choice menu, the backlog view and a quick load
  /// asked for are forgotten.
  void forgetViews();
  /// After a saved game was put back: the voice wait and the automatic advance start over, and
  /// the frame in progress ends with `repeat` as restored.
  void resumeAfterLoad();

  // Choice menu (choice_menu.cpp) --------------------------------------------------------------
  /// One frame of the choice menu: the decided choice's value, or none while undecided.
  std::optional<int32_t> runChoiceMenu();
  const ChoiceMenuState& choiceMenu() const { return m_choice; }

  // Frame ---------------------------------------------------------------------------------------
  /// The element update of the frame step (frames and effects), under the frozen clock.
  void updateLayers(uint32_t now) { m_layers.update(now); }
  /// Composes the frame: redraws the dirty rectangles from the layers at the game's brightness
  /// and clear flags, then the message text over them (cells under a merged rectangle again, and
  /// every new cell) with smoothing factor f and the shadow.
  void compose(Surface& surface, FrameState& frame, const DirtyRectList& dirty, int f, bool shadow);
  /// Skipping: the skip mode (the skip lock) or the skip key held.
  bool skipping() const;
  bool skipMode() const;

  // State (all of it saved with a game, except what the system data keeps) ---------------------
  ScriptState script;
  OperandStack stack;
  StringVars strings;
  SystemValues systemValues;
  SceneFlags sceneFlags;
  ChoiceList choices;
  ScreenEffectState effect;
  MessageState message;

  int brightness = 256;          ///< the screen tone: 0 black, 256 normal, 512 white
  bool clearBeforeDraw = true;
  bool clearToGrey = false;      ///< the white-background flag
  int shakeX = 0, shakeY = 0;    ///< screen pixels
  std::string scenePictureName;
  bool displayFiltered = false;
  std::vector<std::string> visitedScenarios;
  std::vector<std::string> visitedPictures;

  DataTables& tables() { return m_tables; }
  StorySound& sound() { return *m_sound; }
  GameHost& host() { return m_host; }

 private:
  // Interpreter (game.cpp)
  enum class Flow { Continue, EndFrame };
  Flow execute(uint16_t opcode, uint32_t operand);
  Flow executeStack(uint16_t opcode, uint32_t operand);
  Flow executeCommand(uint16_t opcode);
  bool stopHere();  // leaves pc on the instruction and ends the frame

  // Commands (commands.cpp)
  Flow messageCommand(uint16_t opcode);
  Flow waitClick();
  Flow screenEffectCommand(uint16_t opcode);
  bool screenEffectStep();
  Flow shakeCommand(bool vertical);
  Flow waitSlot(int slot, bool stopOnAdvance);
  void setCommand(int32_t k, int32_t v);
  void playEffect(int slot, std::string_view file, bool loop);
  void jumpFile(std::string_view name, uint32_t offset);

  // Message window (message_window.cpp)
  void typingStep();
  bool typeCharacters(bool read);
  bool readerWaitStep();
  void finishMessage();
  void clearText();
  void startTyping();
  void rebuildMascot();
  void placeCell(uint16_t code, int bytes);
  void voiceCode(std::string_view digits);
  bool clickRequest() const;
  void clearClickInputs();

  // Backlog view (backlog_view.cpp)
  void openBacklogView();
  void closeBacklogView();
  void backlogViewStep();
  void drawBacklogView();

  GameHost m_host;
  std::unique_ptr<StorySound> m_silent;
  StorySound* m_sound;
  ScriptProgram m_program;
  DataTables m_tables;
  LayerTable m_layers;
  std::unique_ptr<TextRenderer> m_text;
  TextCells m_cells;
  TextBox m_box;
  Backlog m_backlog;
  ReadTable m_readTable;
  BacklogView m_view;
  ChoiceMenuState m_choice;
  int m_loadRequest = -1;     // the quick load asked for this slot; done after the game step
  StoryScreens* m_screens = nullptr;
  StorySnapshots* m_snapshots = nullptr;
  bool m_continue = true;
  bool m_keepRepeat = false;  // the instruction asked that `repeat` stay as it is this frame
  uint32_t m_loads = 0;       // scripts loaded so far (tells a chained scenario from a wait)
  bool m_voiceWasPlaying = false;
  uint32_t m_autoStart = 0;
  bool m_messageRead = false;
  int m_transitionOpcode = 0;
  std::vector<Rect> m_mergedScratch;
};

}  // namespace sorel
