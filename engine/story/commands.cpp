// The command instructions (opcodes 1024 to 1107): what each takes from the operand stack,
// what it asks of the scene, the message window and the sound, whether it waits and whether it
// ends the frame.
#include <algorithm>

#include "engine/story/game.h"
#include "engine/content/game_content.h"
#include "engine/story/script_opcodes.h"
#include "engine/resources/format.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

// "System.bin": jumping to it ends the story.
constexpr std::string_view kSystemScript = "System.bin";

// The music player's mixer slot.
constexpr int kMusicSlot = 0;

}  // namespace

Game::Flow Game::executeCommand(uint16_t opcode) {
  const uint32_t next = script.pc + kInstructionSize;
  auto advance = [&] { script.pc = next; };
  auto endFrame = [&] {
    m_continue = false;
    return Flow::EndFrame;
  };
  switch (opcode) {
    case op::kStaffrollEnd:
      freeStaffRoll();
      clearToGrey = false;
      brightness = 256;
      markWholeScreen();
      advance();
      return Flow::Continue;
    case op::kStaffrollBegin:
      if (m_screens) m_screens->staffRollBegin();
      advance();
      return Flow::Continue;
    case op::kAnimShow:
      if (m_screens) m_screens->animShow();
      advance();
      return Flow::Continue;
    case op::kAnimHide:
      if (m_screens) m_screens->animHide();
      advance();
      return Flow::Continue;
    case op::kEyecatch:
      if (!m_screens || m_screens->eyeCatchCommand()) advance();
      return endFrame();
    case op::kChoiceBegin:
      companionVoice(16, true);
      takeSnapshot();
      choices.clear();
      advance();
      return Flow::Continue;
    case op::kChoiceAdd:
      // A seventh choice has no place in the menu and is dropped.
      choices.add(stack.value(2), stack.text(1));
      advance();
      return Flow::Continue;
    case op::kChoiceRun: {
      // An empty list has nothing to offer: the story goes on at once.
      if (choices.count == 0) {
        advance();
        return Flow::Continue;
      }
      if (auto chosen = runChoiceMenu()) {
        choices.chosen = *chosen;
        advance();
      }
      return endFrame();
    }

    case op::kSetString:
      strings.set(stack.fromBottom(0).value, fieldView(stack.fromBottom(1).text));
      advance();
      return Flow::Continue;
    case op::kSet:
      setCommand(stack.value(2), stack.value(1));
      advance();
      return Flow::Continue;
    case op::kSetSelector:
      script.vars[0] = stack.value(1);
      advance();
      return Flow::Continue;
    case op::kSetSystemValue:
      systemValues.set(stack.value(2), stack.value(1));
      advance();
      return Flow::Continue;
    case op::kSetSceneFlag:
      sceneFlags.set(stack.value(1));
      advance();
      return Flow::Continue;

    case op::kVisualShow:
      showScenePicture(stack.value(1));
      applyDisplayFilter(false);
      advance();
      return Flow::Continue;
    case op::kVisualHide:
      hideScenePicture();
      advance();
      return Flow::Continue;

    case op::kFadeFromBlack:
    case op::kFadeFromBlack + 1:
    case op::kFadeToBlack:
    case op::kFadeToBlack + 1:
    case op::kFlash:
    case op::kFlash + 1:
    case op::kFadeToWhite:
    case op::kFadeToWhite + 1:
    case op::kVisualTransition:
    case op::kVisualTransition + 1:
    case op::kSceneTransition:
    case op::kSceneTransition + 2:
    case op::kSceneTransition + 3: return screenEffectCommand(opcode);

    case op::kDimOff:
      setDim(false);
      advance();
      return Flow::Continue;
    case op::kDimOn:
      setDim(true);
      advance();
      return Flow::Continue;

    case op::kShakeVertical: return shakeCommand(true);
    case op::kShakeHorizontal: return shakeCommand(false);

    case op::kStandSet:
    case op::kStandSet + 1:
    case op::kStandSet + 2:
      showStand(stack.value(2), stack.value(1));
      advance();
      return Flow::Continue;
    case op::kStandShow:
    case op::kStandShow + 1:
      showStand(stack.value(2), stack.value(1));
      advance();
      return endFrame();
    case op::kStandHide:
    case op::kStandHide + 1:
      hideStand(stack.value(1));
      advance();
      return Flow::Continue;

    case op::kWindowShow:
      if (!script.windowShown) setWindowShown(true);
      advance();
      return endFrame();
    case op::kWindowHide:
      if (script.windowShown) setWindowShown(false);
      showFace(-1);
      advance();
      return endFrame();

    case op::kMessage:
    case op::kMessageNowait:
    case op::kMessageAuto:
    case op::kMessageNowait + 2: return messageCommand(opcode);
    case op::kWaitClick: return waitClick();

    case op::kWaitVoice: return waitSlot(2, true);
    case op::kWaitSe6: return waitSlot(6, false);
    case op::kWaitSe7: return waitSlot(7, false);

    case op::kWait: {
      if (script.repeat == 0) {
        startTimer(1);
        return endFrame();
      }
      InputState& in = m_host.input;
      bool done = elapsed(1) >= uint32_t(stack.value(1)) * 16u || in.count(Key::Left) > 0 ||
                  in.count(Key::C) == 1 || skipMode();
      if (done) {
        in.consume(Key::C);
        advance();
      }
      return endFrame();
    }
    case op::kYield: advance(); return endFrame();
    case op::kNop: advance(); return Flow::Continue;

    case op::kJumpFile: {
      std::string name(stack.text(2));
      uint32_t offset = uint32_t(stack.value(1));
      jumpFile(name, offset);
      return m_program.loaded() ? Flow::Continue : endFrame();
    }
    case op::kJumpLabel: {
      auto target = m_program.tableEntry(int64_t(stack.value(1)) + 1);
      // A label outside the table, or one that points outside the code, stops the story here.
      if (stack.value(1) < 0 || !target || !m_program.holdsInstruction(*target)) return endFrame();
      script.pc = *target;
      return Flow::Continue;
    }

    case op::kSePlay6: playEffect(6, stack.text(1), false); advance(); return Flow::Continue;
    case op::kSePlay7: playEffect(7, stack.text(1), false); advance(); return Flow::Continue;
    case op::kLoopSePlay4:
      copyField(script.loopSeName[0], stack.text(1));
      playEffect(4, stack.text(1), true);
      advance();
      return Flow::Continue;
    case op::kLoopSePlay5:
      copyField(script.loopSeName[1], stack.text(1));
      playEffect(5, stack.text(1), true);
      advance();
      return Flow::Continue;
    case op::kLoopSeStop4:
      m_sound->stop(4);
      script.loopSeName[0] = {};
      advance();
      return Flow::Continue;
    case op::kLoopSeStop5:
      m_sound->stop(5);
      script.loopSeName[1] = {};
      advance();
      return Flow::Continue;
    case op::kBgmPlay:
    case op::kBgmPlay + 1: playMusic(stack.value(1), 0); advance(); return Flow::Continue;
    case op::kBgmPlayT2: playMusic(stack.value(2), 0); advance(); return Flow::Continue;
    case op::kBgmPlayFade: playMusic(stack.value(2), 1000); advance(); return Flow::Continue;
    case op::kBgmFadeOut: m_sound->fadeOutMusic(500); advance(); return Flow::Continue;
    case op::kBgmFadeOutWait:
      // Waits for the music itself (slot 0) to fade away; with music off nothing plays and the
      // story goes on at once.
      if (script.repeat == 0) m_sound->fadeOutMusic(1000);
      if (m_sound->isPlaying(kMusicSlot) && skipping()) m_sound->stop(kMusicSlot);
      if (!m_sound->isPlaying(kMusicSlot)) {
        advance();
        return Flow::Continue;
      }
      return endFrame();

    default:
      // Not a command: the story stays here and tries it again every frame.
      return endFrame();
  }
}

void Game::setCommand(int32_t k, int32_t v) {
  switch (k) {
    case 0:
      // Route flags 1 to 24; any other number sets nothing.
      if (v >= 1 && v <= ScriptState::kFlags) {
        script.flags[size_t(v)] = 1;
        systemValues.set(11 + int64_t(v), 1);
      }
      break;
    case 1: {
      int32_t p0 = script.vars[0];
      if (p0 >= 1 && p0 <= 12) ++script.vars[size_t(p0)];
      break;
    }
    case 13:
    case 14:
    case 15: script.vars[size_t(k)] = v; break;
    case 16: setWindowStyle(v); break;
    case 17:
      if (v == 0) script.pictureTint = 0;
      else if (v == 1) script.pictureTint = 0xFFCCCC;
      break;
    default: break;
  }
}

void Game::jumpFile(std::string_view name, uint32_t offset) {
  if (sameName(name, kSystemScript)) {
    endScript();
    return;
  }
  if (!loadScript(name)) {
    // The story cannot go on without its next scenario: back to the title, as at its end.
    endScript();
    return;
  }
  script.pc = offset;
}

void Game::playEffect(int slot, std::string_view file, bool loop) {
  std::string name = untilNul(file).empty() ? std::string() : replaceExtension(untilNul(file), ".mp3");
  const Settings& s = m_host.settings;
  if (name.empty() || s.sePlay < 2) return;
  m_sound->playEffect(slot, name, s.seVol * s.masterVol / 100, loop);
}

void Game::playMusic(int32_t index, int fadeInMs) {
  auto file = m_tables.bgm(index);
  if (!file || file->empty()) return;
  std::string name = replaceExtension(*file, ".mp3");
  if (sameName(name, m_sound->musicName())) return;
  const Settings& s = m_host.settings;
  m_sound->playMusic(name, s.musicVol * s.masterVol / 100, fadeInMs);
}

void Game::companionVoice(int n, bool startNow) {
  const Settings& s = m_host.settings;
  const int m = s.mascotCharMode;
  // No mascot (0, or a number no heroine has): no companion.
  if (m < 1 || m > kHeroineCount || s.voicePlay < 2) return;
  std::string name = std::string(heroines()[size_t(m - 1)].voicePrefix) + format("%z2", {n}) + ".mp3";
  m_sound->playSystemVoice(name, voiceVolume(), startNow);
}

void Game::restartLoopEffects() {
  for (int i = 0; i < 2; ++i) {
    std::string_view name = fieldView(script.loopSeName[size_t(i)]);
    if (!name.empty()) playEffect(4 + i, name, true);
  }
}

Game::Flow Game::waitSlot(int slot, bool stopOnAdvance) {
  const uint32_t next = script.pc + kInstructionSize;
  if (!m_sound->isPlaying(slot)) {
    if (stopOnAdvance) m_sound->stop(slot);
    script.pc = next;
    return Flow::Continue;
  }
  if (skipping()) {
    m_sound->stop(slot);
    script.pc = next;
    return Flow::Continue;
  }
  m_continue = false;
  return Flow::EndFrame;
}

// ---------------------------------------------------------------------------------------------
// Screen effects

Game::Flow Game::screenEffectCommand(uint16_t opcode) {
  if (script.repeat == 0) {
    if (opcode == op::kVisualTransition || opcode == op::kVisualTransition + 1) {
      // The new picture goes under the capture before the first step, so the effect reveals it.
      showScenePicture(stack.value(2));
      applyDisplayFilter(false);
    }
    effect.opcode = opcode;
    effect.parameter = stack.value(1);
    effect.step = 0;
    effect.active = 1;
    if (screenEffectStep()) effect.active = 0;
  }
  if (!effect.active) {
    setDim(false);
    script.pc += kInstructionSize;
  }
  m_continue = false;
  return Flow::EndFrame;
}

bool Game::screenEffectStep() {
  const uint16_t op = effect.opcode;
  const bool animate = m_host.settings.effectUse != 0 && !skipping();
  bool finished = false;
  auto timeline = [&](int endState, auto&& during) {
    uint32_t t = elapsed(10);
    if (!animate || t >= 1000) {
      brightness = endState;
      finished = true;
    } else {
      during(int(t * 256 / 1000));
    }
  };
  if (op == op::kFadeFromBlack || op == op::kFadeFromBlack + 1) {
    if (effect.step == 0) {
      brightness = 0;
      clearToGrey = false;
      startTimer(10);
    }
    timeline(256, [&](int f) { brightness = f; });
  } else if (op == op::kFadeToBlack || op == op::kFadeToBlack + 1) {
    if (effect.step == 0) {
      // From white, a white cover keeps the screen white while the tone drops to normal.
      if (brightness == 512) m_layers.colour(0, 0, 0, 640, 480, 0xFFFFFF, 12);
      brightness = 256;
      clearToGrey = false;
      startTimer(10);
    }
    timeline(0, [&](int f) { brightness = 256 - f; });
    if (finished) m_layers.remove(0, true);
  } else if (op == op::kFlash || op == op::kFlash + 1) {
    if (effect.step == 0) {
      startTimer(10);
      if (brightness == 256 && animate) {
        brightness = 512;
        clearToGrey = true;
        effect.scratch = 1;  // one frame of white
      } else {
        effect.scratch = 0;
      }
    } else if (effect.scratch == 1) {
      brightness = 256;
      clearToGrey = false;
      finished = true;
    }
    if (!finished && effect.scratch == 0) {
      timeline(256, [&](int f) { brightness = brightness < 256 ? f : 512 - f; });
      if (finished) clearToGrey = false;
    }
  } else if (op == op::kFadeToWhite || op == op::kFadeToWhite + 1) {
    if (effect.step == 0) {
      if (brightness == 0) m_layers.colour(0, 0, 0, 640, 480, 0x000000, 12);
      brightness = 256;
      clearToGrey = true;
      startTimer(10);
    }
    timeline(512, [&](int f) { brightness = 256 + f; });
    if (finished) m_layers.remove(0, true);
  } else if (op >= op::kVisualTransition && op <= op::kSceneTransition + 3) {
    m_transitionOpcode = op;
    finished = transitionStep(op >= op::kSceneTransition ? 1 : 0);
  } else {
    finished = true;
  }
  if (op < op::kVisualTransition) markWholeScreen();
  ++effect.step;
  return finished;
}

Game::Flow Game::shakeCommand(bool vertical) {
  const uint32_t now = ticks();
  const uint32_t next = script.pc + kInstructionSize;
  if (script.repeat == 0) {
    if (m_host.settings.effectUse == 0 || skipping()) {
      script.pc = next;
    } else {
      if (vertical) shakeY = toScreenY(10);
      else shakeX = toScreenX(10);
      script.shakeCount = 6;
      script.shakeTick = now;
    }
  } else if (now - script.shakeTick > 50) {
    if (script.shakeCount-- <= 1) {
      shakeX = shakeY = 0;
      markWholeScreen();
      script.pc = next;
    } else {
      shakeX = -shakeX;
      shakeY = -shakeY;
      script.shakeTick = now;
    }
  }
  m_continue = false;
  return Flow::EndFrame;
}

}  // namespace sorel
