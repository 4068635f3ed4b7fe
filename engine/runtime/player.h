#pragma once
// The players' shared start-up, message loop and shutdown, with the desktop options:
//   --root DIR               the folder holding data\ and sorel.cfg (else: chooseDataFolder)
//   --headless               no window, no audio device
//   --frames N               close after N frames
//   --virtual-clock          the clock advances 16 ms per idle pass (repeatable runs)
//   --input FILE             input script (platform/input_script.h)
//   --screenshot FRAME:FILE  PNG of the logical screen after that frame (repeatable)
//   --scale N                window pixels per logical pixel (1..8), the window's first size
//   --fullscreen             start on the whole screen (Alt+Enter / F11 toggle)
//   --integer-scale          the screen grows only in whole-pixel steps
//   --audio-out FILE.wav     capture the wave output
//   --dump-input FILE        the latched input of every frame, one line each (tests)
//   --dump-state FILE        the story's state after every frame, one line each (tests)
//   --check-present          every window update checked against a whole redraw (tests)
//   --fail-at STEP           pretend a start-up step fails: window, fullscreen, display (tests)
//   --scenario NAME          start straight in story mode with that scenario (UTF-8 member name)
//   --movie NAME             play that movie of the movie folder at start-up (tests)
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/runtime/app_context.h"

namespace sorel {

struct PlayerOptions {
  std::optional<std::string> root;
  bool headless = false;
  uint32_t frames = 0;  ///< 0: no limit
  bool virtualClock = false;
  std::string inputScript;
  struct Screenshot {
    uint32_t frame;
    std::string path;
  };
  std::vector<Screenshot> screenshots;
  int scale = 1;
  bool fullscreen = false;
  bool integerScale = false;
  bool checkPresent = false;
  std::string audioOut;
  std::string dumpInput;
  std::string dumpState;
  std::string failAt;
  std::string scenario;  ///< UTF-8 member name of the Script archive; empty: the title
  std::string movie;     ///< UTF-8 name of a movie in data\jmv\ played at start-up
  bool help = false;
  bool version = false;
};

/// Parses the command line. False with a one-line reason on a bad option or value.
bool parsePlayerOptions(int argc, const char* const* argv, PlayerOptions& out, std::string& why);

/// One line per latched frame: "frame=N up=.. down=.. left=.. right=.. start=.. a=.. b=.. c=..
/// d=.. e=.. tap=.. release=.. pen=.. x=.. y=.. lock=..".
std::string describeLatchedInput(uint32_t frame, const InputState& in);

/// One line per frame of the story's state after the frame: "frame=N mode=.. scenario=NAME
/// pc=.. visual=.. stands=C,L,R window=.. face=.. cells=.. marker=.. backlog=.. brightness=..
/// shake=X,Y effect=.. capture=.. text=.. log=.. choices=.. cursor=.. chosen=..": the scenario
/// name in UTF-8, the face of the current or last message (-1 none), the text cells on screen,
/// the screen effect's opcode (0 none), the sprite effect type on the transition's capture layer
/// (0 none), hashes of the message text and of the backlog, the choice list's count, the choice
/// menu's cursor (100 none) and the chosen value.
std::string describeStoryState(uint32_t frame, Game& game, const GameScreens& screens, uint32_t gameMode);

/// The whole life of a player: options, start-up, message loop, shutdown. Returns the exit code.
int runPlayer(PlayerKind kind, int argc, const char* const* argv);

}  // namespace sorel
