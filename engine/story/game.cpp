#include "engine/story/game.h"

#include <algorithm>

#include "engine/story/script_opcodes.h"
#include "engine/graphics/blit.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

// A stretch of script without a command that ends the frame runs to its end within one frame.
// A script that loops without ever ending a frame would hold the frame loop for good; past this
// many instructions the frame ends and the script goes on in the next one.
constexpr uint32_t kInstructionsPerFrame = 1u << 16;

void appendOnce(std::vector<std::string>& list, std::string_view name) {
  for (const auto& n : list)
    if (sameName(n, name)) return;
  list.emplace_back(untilNul(name));
}

}  // namespace

Game::Game(const GameHost& host, StorySound* sound)
    : m_host(host),
      m_silent(sound ? nullptr : std::make_unique<SilentStorySound>()),
      m_sound(sound ? sound : m_silent.get()),
      m_layers(host.pictures, host.errorWord),
      m_text(std::make_unique<TextRenderer>()) {
  m_layers.setDirtyMarker(m_host.markDirty);
}

Game::~Game() = default;

int Game::loadDataTables() { return m_tables.load(m_host.scriptArchive, m_host.paths.tableArchivePath()); }

bool Game::skipMode() const { return m_host.input.skipLockLatched != 0; }
bool Game::skipping() const { return skipMode() || m_host.input.count(Key::Left) > 0; }

// ---------------------------------------------------------------------------------------------
// Dispatcher

void Game::gameStep() {
  InputState& in = m_host.input;
  if (in.count(Key::D) == 1) {
    // The D key steps manner mode 0 → 1 → 2 → 0.
    Settings& s = m_host.settings;
    s.dispFreeMode = s.dispFreeMode >= 2 || s.dispFreeMode < 0 ? 0 : s.dispFreeMode + 1;
    if (m_host.settingChanged) m_host.settingChanged();
    applyDisplayFilter(true);
    in.consume(Key::D);
  }
  switch (m_host.gameMode) {
    case kModeTitle:
      if (m_screens) m_screens->titleStep();
      break;
    case kModeGallery:
      if (m_screens) m_screens->galleryStep();
      break;
    case kModeReplay:
      if (m_screens) m_screens->replayStep();
      break;
    case kModeSoundMode:
      if (m_screens) m_screens->soundModeStep();
      break;
    case kModeBacklog: backlogViewStep(); break;
    case kModeStory: stepScript(); break;
    default: break;
  }
  if (m_loadRequest >= 0) {
    const int slot = m_loadRequest;
    m_loadRequest = -1;
    if (m_host.loadGame) m_host.loadGame(slot);
  }
}

bool Game::startStory(std::string_view scenario) {
  if (!loadScript(scenario)) return false;
  brightness = 256;
  clearBeforeDraw = true;
  m_host.gameMode = kModeStory;
  m_host.subMode = 0;
  if (m_host.enableSaveMenu) m_host.enableSaveMenu(true);
  markWholeScreen();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Timers

void Game::startTimer(int i) {
  if (i >= 0 && i < ScriptState::kTimers) script.timerStart[size_t(i)] = ticks();
}

uint32_t Game::elapsed(int i) const {
  if (i < 0 || i >= ScriptState::kTimers) return 0;
  return ticks() - script.timerStart[size_t(i)];
}

// ---------------------------------------------------------------------------------------------
// Loading and ending

bool Game::loadScript(std::string_view name) {
  name = untilNul(name);
  if (name.size() >= ScriptState::kNameSize) {
    m_program.unload();
    return false;
  }
  auto bytes = m_host.scriptArchive.extract(m_host.paths.scriptArchivePath, name);
  if (!bytes) {
    m_program.unload();
    copyField(script.scriptName, name);
    return false;
  }
  return loadScriptImage(name, std::move(*bytes));
}

bool Game::loadScriptImage(std::string_view name, std::vector<uint8_t> file) {
  name = untilNul(name);
  m_program.unload();
  if (name.size() >= ScriptState::kNameSize) return false;
  copyField(script.scriptName, name);
  if (!m_program.load(std::move(file))) return false;
  // Only scenarios that exist enter the visited list.
  appendOnce(visitedScenarios, name);
  ++m_loads;
  script.pc = 0;
  stack.clear();
  effect = ScreenEffectState();
  message.pending = 0;
  message.step = 0;
  message.offset = -1;
  return true;
}

void Game::endScript() {
  if (m_host.enableSaveMenu) m_host.enableSaveMenu(false);
  m_program.unload();
  if (m_host.stopMovie) m_host.stopMovie();
  m_sound->stopMusic();
  m_sound->stopAll();
  scenePictureName.clear();
  destroyWindow();
  freeStaffRoll();
  brightness = 256;
  shakeX = shakeY = 0;
  clearBeforeDraw = true;
  clearToGrey = false;
  m_layers.removeAllScene();
  freeAllPictures();
  script.pc = 0;
  script.repeat = 0;
  script.scriptName = {};
  m_host.gameMode = kModeTitle;
  m_host.subMode = 0;
  markWholeScreen();
  strings.clear();
  stack = OperandStack();
  effect = ScreenEffectState();
  message = MessageState();
  choices.clear();
  script.windowShown = script.windowCreated = script.windowStyle = 0;
  script.pictureTint = 0;
  displayFiltered = false;
  script.stand = {-1, -1, -1};
  script.visual = -1;
  script.standName = {};
  script.loopSeName = {};
  script.vars = {};
  script.flags = {};
  // Nothing of the ended game may be saved: saving waits for the next message or choice.
  if (m_snapshots) m_snapshots->dropSnapshot();
}

// ---------------------------------------------------------------------------------------------
// Screens and saves

void Game::freeStaffRoll() {
  if (m_screens) m_screens->freeStaffRoll();
}

void Game::takeSnapshot() {
  if (m_snapshots) m_snapshots->takeSnapshot();
}

void Game::forgetViews() {
  m_choice = ChoiceMenuState();
  m_view = BacklogView();
  m_loadRequest = -1;
}

void Game::resumeAfterLoad() {
  m_voiceWasPlaying = false;
  m_autoStart = 0;
  m_keepRepeat = true;  // a load inside the frame leaves `repeat` as restored
  m_continue = false;
}

// ---------------------------------------------------------------------------------------------
// The frame step

bool Game::stopHere() {
  m_continue = false;
  return true;
}

void Game::stepScript() {
  if (!m_program.loaded()) return;
  if (effect.active && screenEffectStep()) effect.active = 0;
  if (message.pending) typingStep();
  m_continue = true;
  for (uint32_t budget = kInstructionsPerFrame; budget > 0; --budget) {
    if (!m_program.loaded()) return;  // the story ended inside a command
    const uint32_t pcBefore = script.pc;
    const uint32_t loadsBefore = m_loads;
    const auto ins = m_program.fetch(script.pc);
    if (!ins) {
      // pc lies outside the code area (a script without an ending, or a jump into nowhere
      // from a chained scenario): the story stops here, as at an unknown instruction.
      ++script.repeat;
      return;
    }
    script.lastOperand = ins->operand;
    m_keepRepeat = false;
    Flow flow = execute(ins->opcode, ins->operand);
    if (!m_program.loaded()) return;
    if (m_keepRepeat) {
      // left as it was
    } else if (script.pc == pcBefore && m_loads == loadsBefore) {
      ++script.repeat;
    } else {
      script.repeat = 0;
    }
    if (flow == Flow::EndFrame || !m_continue) return;
  }
}

Game::Flow Game::execute(uint16_t opcode, uint32_t operand) {
  if (opcode >= 1024) return executeCommand(opcode);
  return executeStack(opcode, operand);
}

Game::Flow Game::executeStack(uint16_t opcode, uint32_t operand) {
  auto push = [&](uint32_t kind, int32_t value) {
    // A seventeenth push would leave the stack's room: the story stops at it.
    if (!stack.push(kind, value)) return stopHere(), Flow::EndFrame;
    script.pc += kInstructionSize;
    return Flow::Continue;
  };
  auto jump = [&](uint64_t target) {
    if (!m_program.holdsInstruction(target)) return stopHere(), Flow::EndFrame;
    script.pc = uint32_t(target);
    return Flow::Continue;
  };
  const int32_t p0 = script.var(0);
  switch (opcode) {
    case op::kPushInt:
    case op::kPushInt2: return push(0, int32_t(operand));
    case op::kPushString: {
      uint64_t end = uint64_t(script.pc) + kInstructionSize + operand;
      if (end > m_program.codeSize()) return stopHere(), Flow::EndFrame;
      auto data = m_program.code().subspan(script.pc + kInstructionSize, operand);
      std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
      // Strings longer than an entry holds are cut at 255 bytes (on a character boundary).
      if (!stack.push(1, 0, text.substr(0, cutAtCharacter(text, 255)))) return stopHere(), Flow::EndFrame;
      script.pc = uint32_t(end);
      return Flow::Continue;
    }
    case op::kJump: return jump(operand);
    case op::kJumpUnlessEqual:
      if (stack.value(2) == stack.value(1)) {
        script.pc += kInstructionSize;
        return Flow::Continue;
      }
      return jump(operand);
    case op::kClearStack:
      stack.clear();
      script.pc += kInstructionSize;
      return Flow::Continue;
    case op::kPushSelector: return push(op::kPushSelector, p0);
    case op::kPushNotBelowPrevious: {
      int64_t k = stack.value(1);
      uint32_t a = uint32_t(script.var(k - 1)), b = uint32_t(script.var(k));
      if (stack.sp + 2 > OperandStack::kDepth) return stopHere(), Flow::EndFrame;
      stack.push(op::kPushNotBelowPrevious, a >= b ? 1 : 0);
      return push(op::kPushNotBelowPrevious, 1);
    }
    case op::kPushSelectedIfAtLeast:
      return push(op::kPushSelectedIfAtLeast,
                  uint32_t(script.var(p0)) >= uint32_t(stack.value(1)) ? p0 : -1);
    case op::kPushSelectedValue: {
      int32_t v = 0;
      if (p0 == 18) v = choices.chosen;
      else if (p0 >= 1 && p0 <= 15) v = script.var(p0);
      else if (p0 == 0) {
        for (int i = 1; i <= 12; ++i)
          if (script.flag(i)) {
            v = i;
            break;
          }
      }
      // Any other selector pushes 0.
      return push(op::kPushSelectedValue, v);
    }
    case op::kPushSelectorIfAllSet:
      return push(op::kPushSelectorIfAllSet, script.var(13) && script.var(14) && script.var(15) ? p0 : -1);
    case op::kPushSelectorOrZero:
      return push(op::kPushSelectorOrZero, p0 < 13 && script.anyRouteFlag() ? 0 : p0);
    default:
      // Outside the instruction set: the story stays at this instruction and retries it.
      return stopHere(), Flow::EndFrame;
  }
}

// ---------------------------------------------------------------------------------------------
// Pictures

bool Game::loadPicture(int slot, std::string_view archive, std::string_view file, int* outX, int* outY,
                       bool tinted) {
  if (slot >= PictureTable::kSlots || slot < 0) {
    m_host.errorWord |= kErrorPictureSlot;
    return false;
  }
  if (untilNul(file).empty() || !m_host.pictureLoader) {
    m_host.pictures.free(slot);
    return false;
  }
  PictureArchives& archives = m_host.pictureArchives;
  int archiveSlot = archives.archiveSlot(archive);
  std::string path = picturePath(m_host.paths.pictureArchivePath, archive, isVga());
  auto picture = std::make_unique<Picture>();
  ColourWord tint = tinted ? script.pictureTint : 0;
  if (!m_host.pictureLoader(*picture, file, path, archives.archive(archiveSlot), tint, outX, outY)) {
    m_host.pictures.free(slot);
    return false;
  }
  // The old picture goes only now that the new one decoded.
  m_host.pictures.put(slot, std::move(picture));
  return true;
}

void Game::freePicture(int slot) {
  if (slot >= PictureTable::kSlots || slot < 0) {
    m_host.errorWord |= kErrorPictureSlot;
    return;
  }
  m_host.pictures.free(slot);
}

void Game::freeAllPictures() {
  for (int i = 0; i < 128; ++i) m_host.pictures.free(i);
}

bool Game::blankPicture(int slot, int width, int height) {
  if (slot < 0 || slot >= 128) return false;
  auto picture = std::make_unique<Picture>();
  if (!sorel::blankPicture(*picture, width, height)) return false;
  m_host.pictures.put(slot, std::move(picture));
  return true;
}

void Game::markRedraw(int x, int y, int width, int height) {
  if (m_host.markDirty) m_host.markDirty(toScreenRect(x, y, width, height));
}

bool Game::tapInside(int x, int y, int width, int height) const {
  Rect r = toScreenRect(x, y, width, height);
  const InputState& in = m_host.input;
  return in.penX >= r.left && in.penX <= r.right && in.penY >= r.top && in.penY <= r.bottom;
}

void Game::compose(Surface& surface, FrameState& frame, const DirtyRectList& dirty, int f, bool shadow) {
  frame.clearBeforeDraw = clearBeforeDraw;
  frame.clearToGrey = clearToGrey;
  FrameTarget target{surface, m_host.pictures, frame};
  drawFrame(target, dirty, m_layers.displayList(), brightness);
  if (!textVisible()) return;
  m_mergedScratch.clear();
  for (const auto& node : dirty.nodes())
    if (node.merged) m_mergedScratch.push_back(node.rect);
  markCellsInRects(m_cells, m_mergedScratch);
  drawTextCells(m_cells, *m_text, surface, f, shadow);
}

}  // namespace sorel
