#pragma once
// The screens around the story: the title screen (game mode 0), the gallery and replay screens
// (60, 70), the sound mode (80), the eye-catch between chapters and the staff roll. GameScreens
// keeps their state and draws them with the Game's layers, pictures and sound; the story reaches
// them through StoryScreens, which the application wires to its Game.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/story/game.h"
#include "engine/story/story_hooks.h"

namespace sorel {

/// The title screen's state (game mode 0).
struct TitleState {
  static constexpr int kNone = 100;
  static constexpr int kStars = 24;
  static constexpr int kSpotlights = 5;
  int menuSet = 0;      ///< 0 main menu, 1 extras
  int itemCount = 5;
  int cursor = kNone;
  int previous = kNone;
  struct Spotlight {
    int x = 0, y = 0, dx = 0, dy = 0;
    uint32_t born = 0;
  };
  std::array<Spotlight, kSpotlights> spotlights{};
  int spotlightCount = 0;
  uint32_t spotlightMoved = 0;  ///< the tick of the last 8 ms movement step
  struct Star {
    bool used = false;
    int x = 0, y = 0;
  };
  std::array<Star, kStars> stars{};
  bool flashGone = false;
};

/// The eye-catch's state (the story's EYECATCH command).
struct EyeCatchState {
  static constexpr int kCells = 48;
  int step = 0;
  int picture = 0;  ///< e
  int kind = 0;     ///< k
  struct Cell {
    bool revealed = false, open = false;
    uint32_t start = 0;
  };
  std::array<Cell, kCells> cells{};
  int revealed = 0;
  bool finished = false;
};

/// One grid cell of the gallery or the replay screen.
struct ExtrasCell {
  static constexpr int kPictures = 20;
  int count = 0;  ///< pictures shown; 0 = locked
  std::array<int32_t, kPictures> indices{};
  std::array<std::string, kPictures> names;
  int firstSlot = -1;  ///< first thumbnail slot
  int slots = 0;       ///< thumbnail slots it holds (1 while it reloads one slot to cycle)
  int shown = 0;       ///< the thumbnail on show
};

/// The gallery, replay and sound-mode screens' state (game modes 60, 70, 80).
struct ExtrasState {
  static constexpr int kNone = 100;
  int page = 0;
  int cursor = kNone;
  std::array<ExtrasCell, 16> cells{};
  int chosen = 0;      ///< the cell being viewed or replayed
  int pictureNumber = 0;
  uint32_t cycleStart = 0;
  int track = 0;       ///< sound mode: the track chosen, 1..14, 0 none
  bool playing = false;
};

class GameScreens : public StoryScreens {
 public:
  /// The screens of a game; the Game outlives them.
  explicit GameScreens(Game& game)
      : m_game(game), m_host(game.host()), m_layers(game.layers()), m_sound(&game.sound()) {}
  GameScreens(const GameScreens&) = delete;
  GameScreens& operator=(const GameScreens&) = delete;

  // StoryScreens (title.cpp, extras.cpp, sound_mode.cpp, eye_catch.cpp, staff_roll.cpp)
  void titleStep() override;
  void galleryStep() override;
  void replayStep() override;
  void soundModeStep() override;
  bool eyeCatchCommand() override;
  void forgetEyeCatch() override { m_eyeCatch = EyeCatchState(); }
  void staffRollBegin() override;
  void animShow() override;
  void animHide() override;
  /// Frees the staff roll's animation table and its sheet (slot 20) and hides its pieces.
  void freeStaffRoll() override;

  /// One frame of the eye-catch; true when it is over.
  bool eyeCatchStep();
  /// Records in the loaded animation table (0 without one).
  size_t staffRollRecords() const;

  const TitleState& titleState() const { return m_title; }
  const EyeCatchState& eyeCatchState() const { return m_eyeCatch; }
  const ExtrasState& extrasState() const { return m_extras; }

 private:
  void buildTitleMenu();
  void placeTitleItems(int set);
  bool titleItemAnimation(bool appear);
  /// A read-on input (a tap, a fresh C or right) during the title's intro: true, and used up.
  bool titleIntroCut();
  void titleLogoAnimation();
  void titleSpotlights();
  void titleStars();
  void titleMenuInput();
  void titleEnter(bool returning);
  void deleteStars();
  bool loadTitleMenuPictures();
  void eyeCatchTiles();
  void eyeCatchEnd();
  void buildExtrasPage(bool replay);
  void extrasHighlight(bool replay);
  void extrasCycle();
  bool extrasSelectable(bool replay, int item) const;
  void extrasLeave();
  /// One frame of the screens' one-second fade to black, timed by script timer `timer`; true
  /// once it is black.
  bool fadeToBlackStep(int timer);
  bool loadListedPicture(int slot, std::string_view name, bool alternate);
  void soundModeHighlight();
  void soundModeStrip();

  Game& m_game;
  // What the screens use most of the Game: its engine services, layers and sound.
  GameHost& m_host;
  LayerTable& m_layers;
  StorySound* m_sound;
  TitleState m_title;
  EyeCatchState m_eyeCatch;
  ExtrasState m_extras;
  std::vector<uint8_t> m_staffRoll;             // the animation table, empty when none
  std::array<int8_t, 24> m_animSlotKind{};      // 0 empty, 1 staff-roll piece, 2 scene picture
};

}  // namespace sorel
