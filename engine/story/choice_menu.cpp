// The choice menu: up to six bars over the scene, each with its text, a pair of animated arrows
// at the selected bar, moved with up and down or a tap, decided with a tap, the advance or the
// skip-advance input. Deciding makes the automatic save that "return to the previous choice"
// loads again.
#include <algorithm>

#include "engine/story/game.h"
#include "engine/resources/screen.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"
#include "engine/resources/ticks.h"

namespace sorel {
namespace {

constexpr int kMenuPicture = 5;   // "SelectMenu.bmp": caps, middle piece, arrow frames
constexpr int kTextPicture = 6;   // the rendered choice texts, 20 rows each
constexpr int kBarLayer = 128;    // bar i: layers 128 + 24 i to 150 + 24 i
constexpr int kLastBarLayer = 271;
constexpr int kTextLayer = 312;   // text i: layer 312 + i
constexpr int kArrowLayer = 320;  // arrows: 320 (left) and 321 (right)
constexpr int kBarOrder = 9, kTextOrder = 8, kArrowOrder = 6;
constexpr int kFirstBarY[6] = {136, 112, 88, 64, 48, 32};
constexpr int kBarStep = 48;
constexpr ColourRef kTextColour = 0x20F0F0;
constexpr int kArrowFrameX[4] = {0, 29, 53, 29};

}  // namespace

std::optional<int32_t> Game::runChoiceMenu() {
  InputState& in = m_host.input;
  const int n = std::min<int>(int(choices.count), ChoiceList::kMax);
  if (script.repeat == 0) {
    m_choice = ChoiceMenuState();
    m_choice.count = n;
    loadPicture(kMenuPicture, "System", "SelectMenu.bmp");
    blankPicture(kTextPicture, toScreenX(640), toScreenY(128));
    Picture* texts = m_host.pictures.get(kTextPicture);
    for (int i = 0; i < n; ++i) {
      const int y = kFirstBarY[n - 1] + kBarStep * i;
      m_choice.y[size_t(i)] = y;
      const int first = kBarLayer + 24 * i;
      m_layers.place(first, kMenuPicture, {0, 0, 32, 48}, 120, y, 0, 0, kBarOrder);
      for (int j = 0; j < 21; ++j)
        m_layers.place(first + 1 + j, kMenuPicture, {32, 0, 16, 48}, 152 + 16 * j, y, 0, 0, kBarOrder);
      m_layers.place(first + 22, kMenuPicture, {48, 0, 32, 48}, 488, y, 0, 0, kBarOrder);
      for (int l = first; l <= first + 22; ++l) m_layers.setFlags(l, kSpriteIgnoreTone);
      if (texts)
        drawTextToPicture(*m_text, m_cells.marks, *texts, fieldView(choices.texts[size_t(i)]), 20, 100, 0, kTextColour, 0,
                          20 * i, m_host.settings.transMode + 1);
      m_layers.place(kTextLayer + i, kTextPicture, {0, 20 * i, 460, 20}, 180, y + 10, 0, 0, kTextOrder);
      m_layers.setFlags(kTextLayer + i, kSpriteIgnoreTone);
    }
    return std::nullopt;
  }
  if (n == 0) return std::nullopt;

  ChoiceMenuState& m = m_choice;
  if (in.count(Key::Up) == 1) {
    in.consume(Key::Up);
    m.cursor = m.cursor == ChoiceMenuState::kNone || m.cursor == 0 ? n - 1 : m.cursor - 1;
  }
  if (in.count(Key::Down) == 1) {
    in.consume(Key::Down);
    m.cursor = m.cursor == ChoiceMenuState::kNone ? 0 : (m.cursor + 1) % n;
  }
  if (in.tapNow) {
    // The tap stays set: a tap on a bar selects and decides in one frame.
    m.cursor = ChoiceMenuState::kNone;
    for (int i = 0; i < n; ++i)
      if (tapInside(120, m.y[size_t(i)], 400, 40)) m.cursor = i;
  }
  if (m.cursor != m.previous) {
    m_layers.remove(kArrowLayer, true);
    m_layers.remove(kArrowLayer + 1, true);
    if (m.cursor >= 0 && m.cursor < n) {
      const int y = m.y[size_t(m.cursor)] + 10;
      const uint32_t now = ticks();
      for (int a = 0; a < 2; ++a) {
        const int layer = kArrowLayer + a;
        m_layers.place(layer, kMenuPicture, {0, 48, 24, 22}, a == 0 ? 148 : 468, y, 0, 0, kArrowOrder);
        m_layers.setFlags(layer, kSpriteIgnoreTone);
        for (int f = 0; f < 4; ++f)
          m_layers.defineFrame(layer, f, (f + 1) % 4, 200, kMenuPicture, {kArrowFrameX[f], 48, 24, 22}, 0, 0);
        m_layers.startFrames(layer, 0, now);
      }
    }
    m.previous = m.cursor;
  }
  if (!in.tapNow && in.count(Key::C) != 1 && in.count(Key::Right) != 1) return std::nullopt;
  in.tapNow = 0;
  in.consume(Key::C);
  in.consume(Key::Right);
  if (m.cursor < 0 || m.cursor >= n) return std::nullopt;

  const int32_t value = choices.values[size_t(m.cursor)];
  // The automatic save holds the snapshot CHOICE_BEGIN took, so loading it runs the choice
  // again. The engine refuses it while the save entries are disabled (a replay).
  if (m_host.saveGame) m_host.saveGame(kChoiceSaveSlot);
  for (int l = kTextLayer; l < kTextLayer + ChoiceList::kMax; ++l) m_layers.remove(l, true);
  m_layers.remove(kArrowLayer, true);
  m_layers.remove(kArrowLayer + 1, true);
  for (int l = kBarLayer; l <= kLastBarLayer; ++l) m_layers.remove(l, true);
  freePicture(kMenuPicture);
  freePicture(kTextPicture);
  markWholeScreen();
  m_box.originX = 64;
  m_box.originY = 52;
  m_box.charsPerLine = 25;
  m_box.wrap2 = 4;
  m_choice = ChoiceMenuState();
  return value;
}

}  // namespace sorel
