// The message window: window frame, text box, typing with inline voice codes, the click marker,
// the reader's wait with the automatic mode and skipping, the mascot figure, and the message
// commands that drive them.
#include <algorithm>

#include "engine/story/game.h"
#include "engine/story/script_opcodes.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/format.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kWindowLayer = 512;
constexpr int kMascotLayer = 515;
constexpr int kMarkerLayer = 516;
constexpr int kFaceLayer = 21;
constexpr int kWindowPicture = 128;
constexpr int kButtonPicture = 129;
constexpr int kCursorPicture = 130;
constexpr int kMascotPicture = 131;

constexpr std::string_view kWindowFiles[3] = {"MessageWindow.bmp", "MessageWindow2.bmp", "MessageWindow3.bmp"};

struct MascotAnchor {
  int x, y;
};
constexpr MascotAnchor kMascotAnchors[12] = {{41, 85}, {39, 83}, {38, 88}, {32, 92}, {38, 85}, {44, 90},
                                             {40, 85}, {42, 88}, {38, 84}, {32, 84}, {36, 88}, {42, 72}};

// Characters that may stand past the line end: 」 。 、 (cell codes, first byte low).
constexpr uint16_t kLineEndMarks[3] = {0x7681, 0x4281, 0x4181};

}  // namespace

int Game::voiceVolume() const {
  const Settings& s = m_host.settings;
  return s.voiceVol * s.masterVol / 100;
}

ColourRef Game::speakerColour(int64_t speaker) const {
  const Settings& s = m_host.settings;
  if (s.mesColorUse == 0) return 0xFFFFFF;
  size_t group = 15;
  if (speaker >= 1 && speaker <= 12) group = size_t(speaker - 1);
  else if (speaker == 0) group = 12;
  else if (speaker == 14) group = 13;
  else if (speaker == 13) group = 14;
  // The settings keep 0x00RRGGBB; the text draws with a colour reference.
  return swapRedBlue(s.messageColour[group]);
}

// ---------------------------------------------------------------------------------------------
// Window

void Game::createWindow() {
  int style = std::clamp(int(script.windowStyle), 0, 2);
  loadPicture(kWindowPicture, "System", kWindowFiles[style]);
  loadPicture(kButtonPicture, "System", "MessageWindowButton.bmp");
  loadPicture(kCursorPicture, "System", "Cursor.bmp");
  if (style == 0) m_layers.place(kWindowLayer, kWindowPicture, {0, 0, 640, 162}, 0, 318, 0, 0, 4);
  else m_layers.place(kWindowLayer, kWindowPicture, {0, 0, 640, 111}, 0, 369, 0, 0, 4);
  m_layers.setFlags(kWindowLayer, kSpriteIgnoreTone);
  m_layers.setVisible(kWindowLayer, false);

  m_box = TextBox();
  m_box.exists = true;
  m_cells.clear();
  m_cells.enabled = true;
  m_cells.hidden = false;
  Picture mark;
  if (m_host.pictureLoader) {
    PictureArchives& archives = m_host.pictureArchives;
    int slot = archives.archiveSlot("System");
    std::string path = picturePath(m_host.paths.pictureArchivePath, "System", isVga());
    if (m_host.pictureLoader(mark, "Mark.rbp", path, archives.archive(slot), 0, nullptr, nullptr))
      m_cells.marks.load(mark, screenWidth, screenHeight);
  }
  m_text->setMessageFace(m_host.settings.messageFontName);
  rebuildMascot();
  script.windowShown = 0;
  script.windowCreated = 1;
}

void Game::destroyWindow() {
  m_box = TextBox();
  m_cells.clear();
  m_cells.enabled = false;
  m_cells.marks = MarkStrip();
  m_layers.setVisible(kWindowLayer, false);
  m_layers.remove(kMarkerLayer, true);
  message.markerShown = 0;
  m_layers.setVisible(kMascotLayer, false);
  script.windowCreated = 0;
}

void Game::setWindowShown(bool on) {
  if (!script.windowCreated) createWindow();
  markWholeScreen();
  m_box.pendingRedraw = false;
  if (m_box.shown == on) return;
  m_box.shown = on;
  m_cells.hidden = !on;
  m_layers.setVisible(kWindowLayer, on);
  m_layers.setVisible(kMarkerLayer, on);
  m_layers.setVisible(kFaceLayer, on);
  m_layers.setVisible(kMascotLayer, on && script.windowStyle == 0);
  script.windowShown = on ? 1 : 0;
}

void Game::setWindowStyle(int style) {
  if (style < 0 || style > 2) return;
  m_layers.setVisible(kWindowLayer, false);
  loadPicture(kWindowPicture, "System", kWindowFiles[style]);
  if (style == 0) m_layers.place(kWindowLayer, kWindowPicture, {0, 0, 640, 162}, 0, 318, 0, 0, 4);
  else m_layers.place(kWindowLayer, kWindowPicture, {0, 0, 640, 111}, 0, 369, 0, 0, 4);
  m_layers.setFlags(kWindowLayer, kSpriteIgnoreTone);
  script.windowStyle = uint32_t(style);
  rebuildMascot();
  m_layers.setVisible(kWindowLayer, script.windowShown != 0);
}

void Game::rebuildMascotOverlay() {
  if (script.windowCreated) rebuildMascot();
}

void Game::applyMessageFont(std::string_view face) {
  m_text->setMessageFace(face);
  if (m_cells.enabled) markCellsForRedraw(m_cells, true);
  markWholeScreen();
}

void Game::rebuildMascot() {
  m_layers.remove(kMascotLayer, true);
  freePicture(kMascotPicture);
  const int m = m_host.settings.mascotCharMode;
  if (m < 1 || m > 12) return;
  if (!loadPicture(kMascotPicture, "System", format("MiniChar%z2.bmp", {m}))) return;
  const int w = m == 12 ? 81 : 80, h = 120;
  const MascotAnchor a = kMascotAnchors[m - 1];
  m_layers.place(kMascotLayer, kMascotPicture, {0, 0, w, h}, 560, 336, a.x, a.y, 3);
  m_layers.setFlags(kMascotLayer, kSpriteIgnoreTone);
  // A blink: open eyes for six seconds, then three quick frames and back.
  static constexpr int kBlink[5] = {0, 1, 2, 3, 1};
  for (int f = 0; f < 5; ++f)
    m_layers.defineFrame(kMascotLayer, f, f == 4 ? 0 : f + 1, f == 0 ? 6000 : 70, kMascotPicture,
                         {kBlink[f] * w, 0, w, h}, a.x, a.y);
  m_layers.startFrames(kMascotLayer, 0, ticks());
  m_layers.setVisible(kMascotLayer, script.windowShown && script.windowStyle == 0);
}

void Game::showClickMarker(bool on) {
  if (!on) {
    m_layers.remove(kMarkerLayer, true);
    message.markerShown = 0;
    return;
  }
  if (!m_layers.exists(kMarkerLayer)) {
    m_layers.place(kMarkerLayer, kCursorPicture, {0, 0, 30, 36}, 610, 419, 0, 0, 2);
    m_layers.setFlags(kMarkerLayer, kSpriteIgnoreTone);
    static constexpr int kFrameX[4] = {0, 35, 68, 101};
    for (int f = 0; f < 4; ++f)
      m_layers.defineFrame(kMarkerLayer, f, (f + 1) % 4, 100, kCursorPicture, {kFrameX[f], 0, 30, 36}, 0, 0);
    m_layers.startFrames(kMarkerLayer, 0, ticks());
    m_layers.setVisible(kMarkerLayer, m_box.shown);
  }
  message.markerShown = 1;
}

// ---------------------------------------------------------------------------------------------
// Typing

void Game::clearText() {
  if (m_cells.count > 0) markRedraw(0, 318, 640, 162);
  m_cells.clear();
  m_box.penX = toScreenX(TextBox::kAreaX + m_box.originX);
  m_box.penY = toScreenY(TextBox::kAreaY + m_box.originY);
  m_box.charsOnLine = 0;
  m_box.lineCount = 0;
  m_box.holdsText = false;
}

void Game::startTyping() {
  m_box.colour = speakerColour(message.speaker);
  m_box.text.assign(fieldView(message.text));
  m_box.readPos = 0;
  m_box.nextCharTime = ticks();
  m_box.voice.clear();
  m_box.voiceStarted = false;
  m_box.typedCount = 0;
}

void Game::typingStep() {
  const Settings& s = m_host.settings;
  if (!m_box.exists) createWindow();
  bool read = false;
  if (s.readSkip) read = m_readTable.isRead(fieldView(script.scriptName), uint32_t(message.offset));
  bool finished = false;
  if (message.step == 0) {
    if (m_box.holdsText || m_cells.count > 0) {
      m_sound->stop(2);
      clearText();
    } else {
      clearText();
    }
    startTyping();
    finished = typeCharacters(read);
  } else if (m_box.hiddenByReader) {
    m_box.nextCharTime = ticks();
  } else {
    finished = typeCharacters(read);
  }
  ++message.step;
  if (finished) {
    message.pending = 0;
    message.typingFinished = 1;
  }
}

bool Game::clickRequest() const {
  const InputState& in = m_host.input;
  return in.tapNow || in.count(Key::C) == 1 || in.count(Key::Right) == 1;
}

void Game::clearClickInputs() {
  InputState& in = m_host.input;
  in.consume(Key::Right);
  in.consume(Key::C);
  in.tapNow = 0;
}

void Game::voiceCode(std::string_view digits) {
  m_box.voice = std::string(digits) + ".mp3";
  const Settings& s = m_host.settings;
  const bool mannerCut = s.manaVoiceCut != 0 && displayFiltered;
  if (s.voicePlay >= 2 && !mannerCut && !skipping())
    m_box.voiceStarted = m_sound->playVoice(m_box.voice, voiceVolume());
}

void Game::placeCell(uint16_t code, int bytes) {
  (void)bytes;
  const int size = toScreenX(int64_t(m_box.glyphSize) * m_box.sizePercent / 100);
  if (m_box.charsOnLine >= m_box.charsPerLine &&
      std::find(std::begin(kLineEndMarks), std::end(kLineEndMarks), code) == std::end(kLineEndMarks)) {
    m_box.penX = toScreenX(TextBox::kAreaX + m_box.originX);
    m_box.penY += toScreenX(m_box.glyphSize) + toScreenY(m_box.lineSpacing);
    m_box.charsOnLine = 0;
    ++m_box.lineCount;
  }
  CharCell c;
  c.state = CharCell::kNew;
  c.code = code;
  c.size = size;
  c.colour = m_box.colour;
  c.rect = {m_box.penX, m_box.penY, m_box.penX + size + 1, m_box.penY + size + 1};
  // A message places at most 256 cells; the rest of a longer text is read but not shown.
  if (m_cells.add(c) && m_host.markDirty) m_host.markDirty(c.rect);
  m_box.penX += size + toScreenX(m_box.charSpacing);
  ++m_box.charsOnLine;
  ++m_box.typedCount;
  m_box.holdsText = true;
}

bool Game::typeCharacters(bool read) {
  (void)read;
  InputState& in = m_host.input;
  const Settings& s = m_host.settings;
  const std::string& t = m_box.text;
  uint32_t delay = m_box.baseDelay;
  const uint32_t now = ticks();
  for (;;) {
    size_t& i = m_box.readPos;
    if (i >= t.size() || t[i] == 0) return true;
    auto b = static_cast<uint8_t>(t[i]);
    if (b == '@') {
      ++i;
      char letter = i < t.size() ? t[i] : 0;
      if (i < t.size()) ++i;
      if (i < t.size() && t[i] == 'v') ++i;
      size_t start = i;
      while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
      if (letter == 'v' || letter == 'V') voiceCode(std::string_view(t).substr(start, i - start));
      continue;
    }
    if (b == ' ') {
      ++i;
      continue;
    }
    size_t at = i;
    if (b == '\\') {
      // An escaped byte is an ordinary character.
      ++at;
      if (at >= t.size() || t[at] == 0) {
        i = at;
        return true;
      }
      b = static_cast<uint8_t>(t[at]);
    }
    int len = isLeadByte(b) && at + 1 < t.size() && t[at + 1] != 0 ? 2 : 1;
    uint16_t code = len == 2 ? uint16_t(b | (uint8_t(t[at + 1]) << 8)) : b;
    if (clickRequest()) {
      // The rest of the text comes at once; the press is held so that it does not also
      // advance the message.
      in.consume(Key::Right);
      in.consume(Key::C);
      in.tapNow = 0;
      delay = 0;
    }
    uint32_t charDelay = uint32_t(std::max(0, s.messageSpeed)) * delay;
    if (m_box.instant || skipping()) charDelay = 0;
    if (int32_t(now - (m_box.nextCharTime + charDelay)) < 0) return false;
    placeCell(code, len);
    m_box.nextCharTime += charDelay;
    i = at + size_t(len);
  }
}

// ---------------------------------------------------------------------------------------------
// The reader's wait

bool Game::readerWaitStep() {
  InputState& in = m_host.input;
  const Settings& s = m_host.settings;
  const uint32_t now = ticks();
  if (script.repeat == 2) {
    m_autoStart = now;
    m_voiceWasPlaying = false;
  }
  if (!m_backlog.empty() && in.count(Key::Up) == 1 && script.repeat > 2) {
    in.consume(Key::Up);
    setWindowShown(false);
    m_box.hiddenByReader = true;
    openBacklogView();
    m_host.gameMode = kModeBacklog;
    return false;
  }
  if (m_sound->isPlaying(2)) {
    m_autoStart = now;
    m_voiceWasPlaying = true;
  }
  if (in.count(Key::Start) == 1 && script.repeat > 0 && (s.keyCenCtrl == 4 || s.keyCenCtrl == 5)) {
    in.consume(Key::Start);
    // Quick save to the first slot, or quick load from it once this frame's step is over.
    if (s.keyCenCtrl == 4) {
      if (m_host.saveGame) m_host.saveGame(0);
    } else {
      m_loadRequest = 0;
    }
    return false;
  }
  const bool read = m_readTable.isRead(fieldView(script.scriptName), uint32_t(message.offset));
  // Skip mode stops at text the reader has not seen.
  if (s.readSkip && !read) in.skipLockLatched = 0;
  if (!m_box.hiddenByReader) {
    // Skipping advances by itself; the C key's count stays the player's own, so that the first
    // real press after a skip is a fresh one.
    const bool skipAdvance = (read || !s.readSkip) && skipping();
    if (!skipAdvance && !clickRequest()) {
      if (s.messageAuto && !m_sound->isPlaying(2)) {
        uint32_t delay = s.voiceAutolock && m_voiceWasPlaying
                             ? 100u
                             : uint32_t((m_box.typedCount * s.messageAutoOne + (s.messageAutoBase + 1) * 20) * 10);
        if (now - m_autoStart >= delay) {
          finishMessage();
          return true;
        }
      }
      if (in.count(Key::Start) == 1 && (s.keyCenCtrl == 2 || s.keyCenCtrl == 3)) {
        in.consume(Key::Start);
        in.consume(Key::A);
        if (s.keyCenCtrl == 2) {
          setWindowShown(false);
          m_box.hiddenByReader = true;
        }
      }
      if (in.count(Key::A) == 1) {
        in.consume(Key::A);
        setWindowShown(false);
        m_box.hiddenByReader = true;
      }
      return false;
    }
    clearClickInputs();
    finishMessage();
    return true;
  }
  if (clickRequest() || in.count(Key::A) == 1) {
    clearClickInputs();
    in.consume(Key::A);
    m_box.hiddenByReader = false;
    markCellsForRedraw(m_cells, true);
    setWindowShown(true);
  }
  return false;
}

void Game::finishMessage() {
  const Settings& s = m_host.settings;
  m_backlog.add(uint32_t(message.speaker), m_box.voice, fieldView(message.text), s.mesLogCount);
  if (s.voiceCutMode == 0) m_sound->stop(2);
  else if (s.voiceCutMode == 2) m_sound->fadeOut(2, 1500);
  showFace(-1);
  clearText();
  m_readTable.markRead(fieldView(script.scriptName), uint32_t(message.offset));
  markRedraw(0, 318, 640, 168);
  showClickMarker(false);
  m_voiceWasPlaying = false;
}

// ---------------------------------------------------------------------------------------------
// Message commands

Game::Flow Game::messageCommand(uint16_t opcode) {
  const bool nowait = opcode == op::kMessageNowait || opcode == op::kMessageNowait + 2;
  const uint32_t next = script.pc + kInstructionSize;
  m_continue = false;
  if (message.pending && message.offset != int64_t(script.pc)) {
    // An earlier message is still typing: wait for it without counting.
    m_keepRepeat = true;
    return Flow::EndFrame;
  }
  if (script.repeat == 0 || nowait) {
    takeSnapshot();
    if (!script.windowShown) setWindowShown(true);
    message.pending = 1;
    message.typingFinished = 0;
    message.step = 0;
    message.markerShown = 0;
    message.offset = script.pc;
    message.speaker = stack.value(3);
    message.face = stack.value(2);
    copyField(message.text, stack.text(1));
    showFace(message.face);
    // The automatic message's second without a voice counts from here when the text is typed
    // in this very frame.
    if (opcode == op::kMessageAuto) script.voiceEndTick = ticks();
    typingStep();
    if (nowait) script.pc = next;
    return Flow::EndFrame;
  }
  if (opcode == op::kMessage) {
    if (message.pending) return Flow::EndFrame;
    if (!message.markerShown) {
      script.repeat = 2;
      showClickMarker(true);
    }
    if (readerWaitStep()) script.pc = next;
    return Flow::EndFrame;
  }
  // MESSAGE_AUTO: goes on by itself after its voice.
  const uint32_t now = ticks();
  if (message.pending || m_sound->isPlaying(2)) {
    script.voiceEndTick = now;
    return Flow::EndFrame;
  }
  if (skipping() || clickRequest()) {
    clearClickInputs();
    script.pc = next;
  } else if (m_box.voiceStarted || now - script.voiceEndTick >= 1000) {
    // A line whose voice was heard goes on as the voice ends; one without (none named, voices
    // off, or the voice could not be played) stays a second to be read.
    script.pc = next;
  }
  return Flow::EndFrame;
}

Game::Flow Game::waitClick() {
  m_continue = false;
  if (message.pending) {
    m_keepRepeat = true;
    return Flow::EndFrame;
  }
  if (!message.markerShown) {
    script.repeat = 2;
    showClickMarker(true);
  }
  if (readerWaitStep()) script.pc += kInstructionSize;
  return Flow::EndFrame;
}

}  // namespace sorel
