#include "engine/runtime/player.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "engine/audio/decoder_module.h"
#include "engine/content/game_content.h"
#include "engine/resources/screen.h"
#include "engine/state/profile.h"
#include "platform/audio_config.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/input_script.h"
#include "platform/screenshot.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/single_instance.h"
#include "sorel_version.h"

namespace sorel {
namespace {

const char* programName(PlayerKind kind) {
  return kind == PlayerKind::Pocket ? "pocketplayer" : "handheldplayer";
}

void printUsage(PlayerKind kind) {
  std::printf(
      "Usage: %s [options]\n"
      "\n"
      "Plays a game converted by convSorel: the data/ folder of the first of these places\n"
      "that holds one: the folder given with --root; the program's own folder (a portable\n"
      "folder, as copied to a handheld); the current folder; $XDG_DATA_HOME/sorel (default\n"
      "~/.local/share/sorel), where the converter's desktop entry (convSorel --user-data)\n"
      "converts to. Settings (sorel.cfg) and saves (data/save) are kept beside that data/\n"
      "folder.\n"
      "\n"
      "Options:\n"
      "  --root DIR               the folder holding data/ and sorel.cfg\n"
      "  --headless               no window and no audio device\n"
      "  --frames N               close after N frames\n"
      "  --virtual-clock          the clock advances 16 ms per idle pass (repeatable runs)\n"
      "  --input FILE             play an input script (see README)\n"
      "  --screenshot FRAME:FILE  write the screen after that frame as PNG (repeatable)\n"
      "  --scale N                window pixels per screen pixel, 1 to 8 (default 1); the\n"
      "                           window can then be resized at will\n"
      "  --fullscreen             start on the whole screen (Alt+Enter or F11 toggles)\n"
      "  --integer-scale          show the screen only in whole-pixel steps\n"
      "  --audio-out FILE.wav     also write the sound output to a WAV file\n"
      "  --dump-input FILE        write the latched input of every frame (for tests)\n"
      "  --dump-state FILE        write the story's state after every frame (for tests)\n"
      "  --check-present          check every window update against a whole redraw and count\n"
      "                           the updates (for tests)\n"
      "  --fail-at STEP           make a start-up step fail: window, fullscreen, display\n"
      "  --scenario NAME          start straight in the story with that scenario, for example\n"
      "                           \"01-01(導入).bin\"\n"
      "  --movie NAME             play that movie of data/jmv at start-up, for example\n"
      "                           Opening.jmv (a tap, C or right ends it)\n"
      "                           (with --scenario or --movie, problems with the data are\n"
      "                           printed but not drawn in the window)\n"
      "  --version                the version\n"
      "  --help                   this text\n"
      "\n"
      "Keys: arrows, Z, X, C, Enter (centre), D, E; the mouse is the stylus. X opens the menu.\n"
      "Gamepad: d-pad and left stick, face buttons C (bottom), B (right), A (left), centre (top),\n"
      "shoulders D and E, Start the menu (change under [PAD_CONFIG] in sorel.cfg).\n"
      "SOREL_RENDERER=software (or accelerated) decides how the window is drawn.\n",
      programName(kind));
}

bool parseCount(std::string_view s, uint32_t lo, uint32_t hi, uint32_t& out) {
  uint64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

/// Feeds the input script, takes screenshots, ends the run after the frame limit and records the
/// latched input.
class RunControl : public FrameObserver {
 public:
  RunControl(const PlayerOptions& options, AppContext& app, platform::Shell& shell,
             std::vector<platform::ScriptEvent> events)
      : m_options(options), m_app(app), m_shell(shell), m_events(std::move(events)) {}

  void start() { postEventsUpTo(1); }

  void frameLatched(uint32_t frame) override {
    if (!m_options.dumpInput.empty())
      m_dump += describeLatchedInput(frame, m_app.input()) + "\n";
  }

  void frameDone(uint32_t frame) override {
    if (!m_options.dumpState.empty()) {
      if (Game* game = m_app.game())
        m_state += describeStoryState(frame, *game, *m_app.screens(), m_app.gameMode) + "\n";
    }
    for (const auto& shot : m_options.screenshots)
      if (shot.frame == frame) takeScreenshot(shot.path);
    if (m_options.frames && frame >= m_options.frames && !m_closing) {
      m_closing = true;
      platform::postMessage(m_app.window(), platform::WM_CLOSE, 0, 0);
    }
    postEventsUpTo(frame + 1);
  }

  /// Writes the input dump; false (with a line on stderr) when that or a screenshot failed.
  bool finish(const char* program) {
    auto write = [&](const std::string& file, const std::string& text) {
      if (file.empty()) return;
      auto path = platform::systemPath(file);
      std::vector<uint8_t> bytes(text.begin(), text.end());
      if (!path || !platform::writeWholeFile(*path, bytes, false)) {
        std::fprintf(stderr, "%s: cannot write %s\n", program, file.c_str());
        m_failed = true;
      }
    };
    write(m_options.dumpInput, m_dump);
    write(m_options.dumpState, m_state);
    for (const auto& shot : m_options.screenshots)
      if (shot.frame > m_app.framesLatched())
        std::fprintf(stderr, "%s: frame %u was never reached; no screenshot %s\n", program,
                     shot.frame, shot.path.c_str());
    return !m_failed;
  }

 private:
  void takeScreenshot(const std::string& path) {
    std::vector<uint16_t> pixels;
    const uint8_t* frame = m_app.deviceFrame();
    if (!frame) return;
    platform::readLogicalRgb565(m_app.display().displayProperties(), frame, screenWidth,
                                screenHeight, pixels);
    std::string why;
    if (!platform::writeRgb565Png(path, pixels, screenWidth, screenHeight, why)) {
      std::fprintf(stderr, "screenshot: %s\n", why.c_str());
      m_failed = true;
    }
  }

  void postEventsUpTo(uint32_t frame) {
    using Kind = platform::ScriptEvent::Kind;
    platform::Hwnd hwnd = m_app.window();
    const auto& cfg = m_shell.config();
    for (; m_next < m_events.size() && m_events[m_next].frame <= frame; ++m_next) {
      const auto& e = m_events[m_next];
      int px = 0, py = 0;
      platform::logicalToPen(cfg.pen, cfg.logicalWidth, e.x, e.y, px, py);
      switch (e.kind) {
        case Kind::KeyDown:
        case Kind::KeyUp: {
          uint16_t vk = e.code ? e.code : m_shell.virtualKeyForName(e.keyName);
          if (vk)
            platform::postMessage(hwnd, e.kind == Kind::KeyDown ? platform::WM_KEYDOWN
                                                                : platform::WM_KEYUP,
                                  vk, 1);
          break;
        }
        case Kind::PenDown:
          platform::postMessage(hwnd, platform::WM_LBUTTONDOWN, 1, platform::makePointParam(px, py));
          break;
        case Kind::PenMove:
          platform::postMessage(hwnd, platform::WM_MOUSEMOVE, 1, platform::makePointParam(px, py));
          break;
        case Kind::PenUp:
          platform::postMessage(hwnd, platform::WM_LBUTTONUP, 0, platform::makePointParam(px, py));
          break;
        case Kind::PadDown:
        case Kind::PadUp:
          platform::postMessage(hwnd, e.kind == Kind::PadDown ? platform::WM_PADBUTTONDOWN
                                                              : platform::WM_PADBUTTONUP,
                                static_cast<platform::WParam>(e.pad), 0);
          break;
        case Kind::Close: platform::postMessage(hwnd, platform::WM_CLOSE, 0, 0); break;
      }
    }
  }

  const PlayerOptions& m_options;
  AppContext& m_app;
  platform::Shell& m_shell;
  std::vector<platform::ScriptEvent> m_events;
  size_t m_next = 0;
  bool m_closing = false;
  bool m_failed = false;
  std::string m_dump;
  std::string m_state;
};

/// Shows a start-up failure the way the engine does, then says in the terminal what it means
/// here (with the system's reason when there is one), and gives the exit code of that failure.
int startFailure(DisplayOpenError error, bool headless, const char* program, const std::string& reason = {}) {
  platform::showMessageBox(displayErrorMessage(error), kErrorCaption, headless);
  const char* meaning = error == DisplayOpenError::WindowCreation
                            ? "no window could be opened; without a display, run with --headless"
                        : error == DisplayOpenError::FullScreen ? "the window could not be switched to full screen"
                                                                : "the display could not be opened";
  std::fprintf(stderr, "%s: %s%s%s\n", program, meaning, reason.empty() ? "" : ": ", reason.c_str());
  return 1;
}

}  // namespace

std::string describeLatchedInput(uint32_t frame, const InputState& in) {
  char line[320];
  std::snprintf(line, sizeof line,
                "frame=%u up=%d down=%d left=%d right=%d start=%d a=%d b=%d c=%d d=%d e=%d "
                "tap=%d release=%d pen=%d x=%d y=%d lock=%d",
                frame, in.count(Key::Up), in.count(Key::Down), in.count(Key::Left),
                in.count(Key::Right), in.count(Key::Start), in.count(Key::A), in.count(Key::B),
                in.count(Key::C), in.count(Key::D), in.count(Key::E), in.tapNow, in.releaseNow,
                in.penDown, in.penX, in.penY, in.skipLockLatched);
  return line;
}

std::string describeStoryState(uint32_t frame, Game& game, const GameScreens& screens, uint32_t gameMode) {
  const ScriptState& s = game.script;
  std::string name = platform::cp932ToUtf8Lossy(fieldView(s.scriptName));
  const Sprite* capture = game.layers().get(0);
  // The message text and the backlog as FNV-1a hashes: equal hashes, equal texts.
  auto fnv = [](uint32_t h, std::string_view t) {
    for (char c : t) h = (h ^ uint8_t(c)) * 16777619u;
    return h;
  };
  const uint32_t text = fnv(2166136261u, fieldView(game.message.text));
  uint32_t log = 2166136261u;
  for (size_t i = 0; i < game.backlog().count(); ++i) {
    const BacklogEntry& e = game.backlog().entry(i);
    log = fnv(fnv(fnv(log, std::to_string(e.speaker)), e.voice + "|"), e.text + "|");
  }
  char line[512];
  std::snprintf(line, sizeof line,
                "frame=%u mode=%u scenario=%s pc=%u visual=%d stands=%d,%d,%d window=%u face=%d "
                "cells=%d marker=%u backlog=%zu brightness=%d shake=%d,%d effect=%u capture=%d "
                "text=%08x log=%08x choices=%u ccursor=%d chosen=%d",
                frame, gameMode, name.c_str(), s.pc, int(s.visual), int(s.stand[0]), int(s.stand[1]),
                int(s.stand[2]), s.windowShown, int(game.message.face),
                game.textCells().count, game.message.markerShown, game.backlog().count(),
                game.brightness, game.shakeX, game.shakeY, game.effect.active ? unsigned(game.effect.opcode) : 0u,
                capture && capture->effect.active ? capture->effect.type : 0, text, log, game.choices.count,
                game.choiceMenu().cursor, int(game.choices.chosen));
  // The screens: the sub-state, the title's menu set and cursor, the eye-catch step, the
  // extras' page, cursor, unlocked cells and track, the music requested and the staff roll.
  const TitleState& title = screens.titleState();
  const ExtrasState& extras = screens.extrasState();
  int unlocked = 0;
  for (const auto& c : extras.cells) unlocked += c.count > 0 ? 1 : 0;
  std::string music = platform::cp932ToUtf8Lossy(game.sound().musicName());
  char more[300];
  std::snprintf(more, sizeof more,
                " sub=%u menu=%d cursor=%d eyecatch=%d page=%d xcursor=%d unlocked=%d track=%d playing=%d "
                "staffroll=%zu grey=%d music=%s",
                game.host().subMode, title.menuSet, title.cursor, screens.eyeCatchState().step, extras.page,
                extras.cursor, unlocked, extras.track, extras.playing ? 1 : 0, screens.staffRollRecords(),
                game.clearToGrey ? 1 : 0, music.empty() ? "-" : music.c_str());
  return std::string(line) + more;
}

bool parsePlayerOptions(int argc, const char* const* argv, PlayerOptions& out, std::string& why) {
  out = PlayerOptions();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    auto needValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        why = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto noValue = [&]() {
      if (hasValue) why = arg + " takes no value";
      return !hasValue;
    };
    if (arg == "--help" || arg == "-h") {
      if (!noValue()) return false;
      out.help = true;
    } else if (arg == "--version") {
      if (!noValue()) return false;
      out.version = true;
    } else if (arg == "--headless") {
      if (!noValue()) return false;
      out.headless = true;
    } else if (arg == "--virtual-clock") {
      if (!noValue()) return false;
      out.virtualClock = true;
    } else if (arg == "--root") {
      if (!needValue()) return false;
      if (value.empty()) {
        why = "--root needs a folder";
        return false;
      }
      out.root = value;
    } else if (arg == "--frames") {
      if (!needValue()) return false;
      if (!parseCount(value, 1, 100000000, out.frames)) {
        why = "--frames expects a whole number from 1, not '" + value + "'";
        return false;
      }
    } else if (arg == "--scale") {
      if (!needValue()) return false;
      uint32_t s;
      if (!parseCount(value, 1, 8, s)) {
        why = "--scale expects a whole number from 1 to 8, not '" + value + "'";
        return false;
      }
      out.scale = static_cast<int>(s);
    } else if (arg == "--fullscreen") {
      if (!noValue()) return false;
      out.fullscreen = true;
    } else if (arg == "--integer-scale") {
      if (!noValue()) return false;
      out.integerScale = true;
    } else if (arg == "--check-present") {
      if (!noValue()) return false;
      out.checkPresent = true;
    } else if (arg == "--input") {
      if (!needValue()) return false;
      out.inputScript = value;
    } else if (arg == "--audio-out") {
      if (!needValue()) return false;
      out.audioOut = value;
    } else if (arg == "--dump-input") {
      if (!needValue()) return false;
      out.dumpInput = value;
    } else if (arg == "--dump-state") {
      if (!needValue()) return false;
      out.dumpState = value;
    } else if (arg == "--fail-at") {
      if (!needValue()) return false;
      if (value != "window" && value != "fullscreen" && value != "display") {
        why = "--fail-at expects window, fullscreen or display, not '" + value + "'";
        return false;
      }
      out.failAt = value;
    } else if (arg == "--scenario") {
      if (!needValue()) return false;
      if (value.empty() || !platform::utf8ToCp932(value)) {
        why = "--scenario expects a scenario name in Shift-JIS characters, not '" + value + "'";
        return false;
      }
      out.scenario = value;
    } else if (arg == "--movie") {
      if (!needValue()) return false;
      if (value.empty() || !platform::utf8ToCp932(value)) {
        why = "--movie expects a movie name in Shift-JIS characters, not '" + value + "'";
        return false;
      }
      out.movie = value;
    } else if (arg == "--screenshot") {
      if (!needValue()) return false;
      auto colon = value.find(':');
      uint32_t frame = 0;
      if (colon == std::string::npos || colon + 1 >= value.size() ||
          !parseCount(std::string_view(value).substr(0, colon), 1, 100000000, frame)) {
        why = "--screenshot expects FRAME:FILE.png with a frame from 1, not '" + value + "'";
        return false;
      }
      out.screenshots.push_back({frame, value.substr(colon + 1)});
    } else {
      why = "unknown option '" + std::string(argv[i]) + "' (see --help)";
      return false;
    }
  }
  return true;
}

int runPlayer(PlayerKind kind, int argc, const char* const* argv) {
  const char* program = programName(kind);
  PlayerOptions options;
  std::string why;
  if (!parsePlayerOptions(argc, argv, options, why)) {
    std::fprintf(stderr, "%s: %s\n", program, why.c_str());
    return 2;
  }
  if (options.help) {
    printUsage(kind);
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", program, kVersion);
    return 0;
  }

  // The logical screen is settled before anything else exists.
  if (kind == PlayerKind::Pocket) {
    screenWidth = fullWidth;
    screenHeight = fullHeight;
  }
  // A sound device plays at its own pace, which the virtual clock does not follow: under that
  // clock the output is paced by it, in a window too, so that every such run repeats exactly.
  platform::setAudioConfig({options.headless || options.virtualClock, options.audioOut});
  if (options.virtualClock) platform::setClockMode(platform::ClockMode::Virtual, 0);

  // Without a display nothing could be seen: said once, before anything is read, written or
  // locked.
  platform::Shell shell;
  if (!options.headless && options.failAt != "window" && !shell.connect(why)) {
    std::fprintf(stderr, "%s: %s\n", program, why.c_str());
    return 1;
  }

  std::vector<platform::ScriptEvent> events;
  if (!options.inputScript.empty()) {
    auto path = platform::systemPath(options.inputScript);
    auto text = path ? platform::readWholeFile(*path) : std::nullopt;
    if (!text) {
      std::fprintf(stderr, "%s: cannot read the input script %s\n", program,
                   options.inputScript.c_str());
      return 2;
    }
    std::string_view script(reinterpret_cast<const char*>(text->data()), text->size());
    if (!platform::parseInputScript(script, events, why)) {
      std::fprintf(stderr, "%s: %s: %s\n", program, options.inputScript.c_str(), why.c_str());
      return 2;
    }
  }
  if (options.root && !platform::isFolder(platform::systemPath(*options.root).value_or(""))) {
    std::fprintf(stderr, "%s: --root: no such folder: %s\n", program, options.root->c_str());
    return 2;
  }
  // The folder played, with sorel.cfg and the saves beside its data/: --root, else the first of
  // the program's folder, the current folder and the per-user folder that holds data/.
  const DataSearch search = currentDataSearch(options.root);
  const DataChoice choice = chooseDataFolder(search);
  std::string folder = resolveProgramFolder(choice.folder);
  if (folder.empty()) {
    std::fprintf(stderr, "%s: the folder %s has no Shift-JIS name\n", program, choice.folder.c_str());
    return 2;
  }

  // One instance per played folder: a second start of the same game brings the running one to
  // the front instead. A headless run shows no window, so it neither looks for nor blocks a
  // windowed one.
  platform::SingleInstance instance;
  if (!options.headless &&
      instance.acquire(kWindowClass, platform::hostPath(folder), program) ==
          platform::SingleInstance::Result::AnotherRuns) {
    const platform::SingleInstance::Owner& owner = instance.owner();
    const std::string pid = owner.pid > 0 ? std::to_string(owner.pid) : "unknown";
    std::fprintf(stderr, "%s: already running %s on %s, pid %s\n", program,
                 owner.program.empty() ? "a player" : owner.program.c_str(), owner.folder.c_str(), pid.c_str());
    return 1;
  }

  // The engine plays on whatever it finds, so a folder it cannot use is said here, once. When no
  // place holds data/, nothing is written anywhere (no sorel.cfg, no save folder).
  const DataPaths paths = makeDataPaths(folder);
  const bool writeFiles = choice.source != DataSource::NotFound;
  std::vector<DataProblem> problems = writeFiles ? findDataProblems(paths, kind == PlayerKind::Pocket, program)
                                                 : std::vector<DataProblem>{noDataFound(search)};
  for (const DataProblem& p : problems) std::fprintf(stderr, "%s\n", p.line(program).c_str());

  EngineConfig config;
  config.kind = kind;
  config.programFolder = folder;
  config.writeFiles = writeFiles;
  auto app = std::make_unique<AppContext>(config);

  if (!WindowBase::registerWindowClass()) return 0;

  platform::ShellConfig shellConfig;
  shellConfig.headless = options.headless;
  shellConfig.scale = options.scale;
  shellConfig.fullscreen = options.fullscreen;
  shellConfig.integerScale = options.integerScale;
  shellConfig.checkPresent = options.checkPresent;
  shellConfig.logicalWidth = screenWidth;
  shellConfig.logicalHeight = screenHeight;
  if (kind == PlayerKind::Pocket) {
    shellConfig.pen = platform::PenMapping::HalfRotated;
    shellConfig.buttons = {platform::VK_APP1, platform::VK_APP2, platform::VK_APP3,
                           platform::VK_RETURN};
    shellConfig.titleUtf8 = kProductCaption;
  } else {
    shellConfig.pen = platform::PenMapping::Direct;
    shellConfig.buttons = {'Z', 'X', 'C', platform::VK_RETURN};
    shellConfig.titleUtf8 = std::string(kGameTitle) + " for sigmarion3";
  }
  platform::Hwnd hwnd = nullptr;
  why.clear();
  if (options.failAt != "window" && shell.open(shellConfig, why))
    hwnd = app->createWindow(screenWidth, screenHeight);
  if (!hwnd) return startFailure(DisplayOpenError::WindowCreation, options.headless, program, why);
  app->setCaption(shellConfig.titleUtf8);
  shell.attach(hwnd);
  shell.watchInstance(&instance);
  app->setShell(&shell);

  if (kind == PlayerKind::Pocket && options.failAt == "fullscreen")
    return startFailure(DisplayOpenError::FullScreen, options.headless, program);
  DisplayOpenError displayError =
      options.failAt == "display" ? DisplayOpenError::DisplayLibrary : app->openDisplay();
  if (displayError != DisplayOpenError::None) return startFailure(displayError, options.headless, program);
  // The decoder module lies beside the program itself (a portable folder) or in ../lib/sorel of
  // an installed tree, wherever the data folder is.
  if (!loadDecoderModule()) {
    problems.push_back({DataProblem::Weight::Silence, "no MP3 decoder module Quillon.ovl beside the program",
                        "the game plays without sound; put Quillon.ovl beside the program or in ../lib/sorel/", ": "});
    std::fprintf(stderr, "%s\n", problems.back().line(program).c_str());
  }
  app->openSound();
  clearProfile();
  platform::sendMessage(hwnd, platform::WM_PAINT, 0, 0);

  app->initialise();
  if (!options.scenario.empty() && !app->startStory(*platform::utf8ToCp932(options.scenario))) {
    std::fprintf(stderr, "%s: --scenario: no scenario %s in the Script archive\n", program,
                 options.scenario.c_str());
    app->display().close();
    return 1;
  }
  if (!options.movie.empty() && !app->startMovie(*platform::utf8ToCp932(options.movie))) {
    std::fprintf(stderr, "%s: --movie: cannot play %s: %s\n", program, options.movie.c_str(),
                 movieRefusalText(app->lastMovieRefusal()));
    app->display().close();
    return 1;
  }
  // What is wrong is shown in the window too, for whoever sees no terminal. A start straight in a
  // scenario or a movie (for tests and scenario writers) asked for exactly that and goes there.
  if (options.scenario.empty() && options.movie.empty()) app->showProblems(problems);
  RunControl control(options, *app, shell, std::move(events));
  app->setFrameObserver(&control);
  if (options.virtualClock) app->setVirtualClockStep(16);
  control.start();
  int exitCode = app->runMessageLoop();
  // A player that could not show the game did not do its job, however it was closed.
  if (app->blockedByProblems()) exitCode = 1;

  // A movie draws into the display and plays on the mixer: it goes before either.
  app->stopMovie();
  app->display().close();
  if (writeFiles) flushProfile();
  else clearProfile();
  bool ok = control.finish(program);
  if (options.checkPresent) {
    const platform::ShowStats& stats = shell.stats();
    std::fprintf(stderr, "%s: present check: %llu window updates, %llu differing from a whole redraw\n", program,
                 static_cast<unsigned long long>(stats.updates), static_cast<unsigned long long>(stats.differences));
    if (stats.differences) ok = false;
  }
  app->setFrameObserver(nullptr);
  app.reset();
  shell.close();
  unloadDecoderModule();
  return ok ? exitCode : 1;
}

}  // namespace sorel
