// The backlog view (game mode 95): the finished messages, newest at the bottom, in frames cut
// from "BackLog.bmp", scrolled by half a screen with up and down, closed with the advance or
// cancel input (or down at the newest end); a tap on a speaker icon replays that voice.
//
// The frames and texts are composed into one screen-sized picture (slot 66) shown on layer 128;
// the speaker icons are layers from 129 on, the scroll bar layers 96 to 107.
#include <algorithm>

#include "engine/story/game.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kShadeLayer = 64;
constexpr int kScrollLayer = 96;
constexpr int kPageLayer = 128;
constexpr int kIconLayer = 129;
constexpr int kLastViewLayer = 255;
constexpr int kScrollPicture = 64;
constexpr int kFramePicture = 65;
constexpr int kPagePicture = 66;
constexpr int kCharsPerLine = 23;
constexpr int kLineHeight = 30;
constexpr int kFrameWidth = 616;
constexpr int kGlyph = 22;

int entryLines(const BacklogEntry& e, std::string_view name) {
  return int(backlogLines(e.text, kCharsPerLine).size()) + (name.empty() ? 0 : 1);
}

/// Copies a design-unit rectangle of one picture into another at a design position (alpha
/// kept as it is: the page picture is drawn as a whole later).
void copyPiece(const LayerTable& layers, int fromSlot, DesignRect src, Picture& to, int x, int y) {
  const Picture* from = const_cast<LayerTable&>(layers).pictures().get(fromSlot);
  if (!from || from->empty() || to.empty()) return;
  Rect r = layers.pictureRect(fromSlot, src);
  r = intersect(r, Rect{0, 0, int32_t(from->width), int32_t(from->height)});
  int dx = toScreenX(x), dy = toScreenY(y);
  for (int j = r.top; j < r.bottom; ++j) {
    int ty = dy + (j - r.top);
    if (ty < 0 || ty >= int(to.height)) continue;
    for (int i = r.left; i < r.right; ++i) {
      int tx = dx + (i - r.left);
      if (tx < 0 || tx >= int(to.width)) continue;
      const uint8_t* s = from->pixel(uint32_t(i), uint32_t(j));
      uint8_t* d = to.pixel(uint32_t(tx), uint32_t(ty));
      if (s[3] == 0) continue;
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = s[3];
    }
  }
}

}  // namespace

void Game::openBacklogView() {
  loadPicture(kScrollPicture, "System", "ScrollBar.bmp");
  loadPicture(kFramePicture, "System", "BackLog.bmp");
  m_layers.colour(kShadeLayer, 0, 0, 640, 480, 0x000000, 5);
  m_layers.setOpacity(kShadeLayer, 128);
  m_layers.setFlags(kShadeLayer, kSpriteIgnoreTone);
  int height = 0;
  for (size_t i = 0; i < m_backlog.count(); ++i) {
    const BacklogEntry& e = m_backlog.entry(i);
    height += kLineHeight * entryLines(e, strings.get(e.speaker)) + 20;
  }
  m_view = BacklogView();
  m_view.saveWasEnabled = !m_host.saveMenuEnabled || m_host.saveMenuEnabled();
  m_view.listHeight = std::max(0, height - 4);
  m_view.openedAt = ticks();
  if (m_view.listHeight >= 480) {
    m_layers.place(kScrollLayer, kScrollPicture, {0, 0, 24, 40}, 616, 0, 0, 0, 4);
    m_layers.place(kScrollLayer + 1, kScrollPicture, {28, 0, 24, 40}, 616, 440, 0, 0, 4);
    for (int k = 0; k < 10; ++k)
      m_layers.place(kScrollLayer + 2 + k, kScrollPicture, {52, 0, 24, 40}, 616, 40 + 40 * k, 0, 0, 4);
    for (int k = 0; k < 12; ++k) m_layers.setFlags(kScrollLayer + k, kSpriteIgnoreTone);
  }
  drawBacklogView();
  if (m_host.enableSaveMenu) m_host.enableSaveMenu(false);
}

void Game::drawBacklogView() {
  for (int l = kPageLayer; l <= kLastViewLayer; ++l) m_layers.remove(l, true);
  m_view.voiceIcons.clear();
  if (!blankPicture(kPagePicture, screenWidth, screenHeight)) return;
  Picture& page = *m_host.pictures.get(kPagePicture);
  // Newest at the bottom; the scroll position moves the list down to show older entries.
  int bottom = 476 + m_view.scroll;
  int icon = 0;
  for (size_t i = 0; i < m_backlog.count() && bottom > 0; ++i) {
    const BacklogEntry& e = m_backlog.entry(i);
    std::string_view name = strings.get(e.speaker);
    int lines = entryLines(e, name);
    int h = kLineHeight * lines + 20;
    int top = bottom - h + 4;
    bottom = top - 4;
    if (top >= 480) continue;
    // Frame: top edge, side pieces down the entry, bottom edge.
    copyPiece(m_layers, kFramePicture, {0, 0, 616, 16}, page, 0, top);
    for (int y = top + 16; y < top + h - 16; y += 14) {
      copyPiece(m_layers, kFramePicture, {0, 16, 8, 14}, page, 0, y);
      copyPiece(m_layers, kFramePicture, {608, 16, 8, 14}, page, 608, y);
    }
    copyPiece(m_layers, kFramePicture, {0, 32, 616, 16}, page, 0, top + h - 16);
    const ColourRef colour = speakerColour(e.speaker);
    int y = top + 10;
    if (!name.empty()) {
      drawTextToPicture(*m_text, m_cells.marks, page, name, kGlyph, 100, 0, colour, 24, y, m_host.settings.transMode + 1);
      y += kLineHeight;
    }
    for (std::string_view line : backlogLines(e.text, kCharsPerLine)) {
      drawTextToPicture(*m_text, m_cells.marks, page, line, kGlyph, 100, 0, colour, 40, y, m_host.settings.transMode + 1);
      y += kLineHeight;
    }
    if (!e.voice.empty() && kIconLayer + icon <= kLastViewLayer) {
      int layer = kIconLayer + icon++;
      int ix = kFrameWidth - 40, iy = top + 8;
      m_layers.place(layer, kFramePicture, {32, 16, 20, 16}, ix, iy, 0, 0, 3);
      m_layers.defineFrame(layer, 0, 1, 500, kFramePicture, {32, 16, 20, 16}, 0, 0);
      m_layers.defineFrame(layer, 1, 0, 500, kFramePicture, {52, 16, 20, 16}, 0, 0);
      m_layers.startFrames(layer, 0, ticks());
      m_layers.setFlags(layer, kSpriteIgnoreTone);
      m_view.voiceIcons.push_back({Rect{ix, iy, ix + 20, iy + 16}, i});
    }
  }
  m_layers.place(kPageLayer, kPagePicture, kWholePicture, 0, 0, 0, 0, 4);
  m_layers.setFlags(kPageLayer, kSpriteIgnoreTone);
  // The scroll thumb: the visible 480 pixels' share of the list.
  if (m_view.listHeight >= 480) {
    int track = 400;
    int len = std::max(8, track * 480 / m_view.listHeight);
    int pos = 40 + (track - len) - (track - len) * m_view.scroll / std::max(1, m_view.listHeight - 480);
    Rect area = toScreenRect(626, 40, 12, track);
    (void)area;
    Rect thumb = toScreenRect(626, pos, 12, len);
    auto fill = [&](const Rect& r, ColourWord c) {
      for (int yy = std::max(0, r.top); yy < std::min<int>(r.bottom, int(page.height)); ++yy)
        for (int xx = std::max(0, r.left); xx < std::min<int>(r.right, int(page.width)); ++xx) {
          uint8_t* d = page.pixel(uint32_t(xx), uint32_t(yy));
          d[0] = uint8_t(c);
          d[1] = uint8_t(c >> 8);
          d[2] = uint8_t(c >> 16);
          d[3] = 255;
        }
    };
    fill(thumb, 0xFFCDCD);
    fill({thumb.left + 1, thumb.top + 1, thumb.right - 1, thumb.bottom - 1}, 0x8A1B1B);
    fill({thumb.left + 2, thumb.top + 2, thumb.right - 2, thumb.bottom - 2}, 0xFF5A5A);
  }
  markWholeScreen();
}

void Game::closeBacklogView() {
  for (int l = kPageLayer; l <= kLastViewLayer; ++l) m_layers.remove(l, true);
  for (int l = kScrollLayer; l < kScrollLayer + 12; ++l) m_layers.remove(l, true);
  m_layers.remove(kShadeLayer, true);
  freePicture(kScrollPicture);
  freePicture(kFramePicture);
  freePicture(kPagePicture);
  m_box.hiddenByReader = false;
  markCellsForRedraw(m_cells, true);
  setWindowShown(true);
  // Saving comes back only if it was on when the view opened: a replay never saves.
  if (m_host.enableSaveMenu && m_view.saveWasEnabled) m_host.enableSaveMenu(true);
  m_host.gameMode = kModeStory;
}

void Game::backlogViewStep() {
  InputState& in = m_host.input;
  if (in.count(Key::Right) == 1 || in.count(Key::A) == 1) {
    in.consume(Key::Right);
    in.consume(Key::A);
    closeBacklogView();
    return;
  }
  const int maxScroll = std::max(0, m_view.listHeight - 480);
  if (in.count(Key::Down) == 1 && m_view.scroll == 0) {
    in.consume(Key::Down);
    closeBacklogView();
    return;
  }
  if (m_view.listHeight > 480) {
    int before = m_view.scroll;
    if (in.count(Key::Up) == 1) m_view.scroll = std::min(maxScroll, m_view.scroll + 240);
    if (in.count(Key::Down) == 1) m_view.scroll = std::max(0, m_view.scroll - 240);
    in.consume(Key::Up);
    in.consume(Key::Down);
    if (in.tapNow && tapInside(616, 40, 24, 400)) {
      in.tapNow = 0;
      int track = 400;
      int len = std::max(8, track * 480 / m_view.listHeight);
      int pos = 40 + (track - len) - (track - len) * m_view.scroll / std::max(1, maxScroll);
      int py = in.penY * 480 / screenHeight;
      if (py < pos) m_view.scroll = std::min(maxScroll, m_view.scroll + 480);
      else if (py > pos + len) m_view.scroll = std::max(0, m_view.scroll - 480);
    }
    if (m_view.scroll != before) drawBacklogView();
  }
  if (in.tapNow) {
    for (const auto& [r, entry] : m_view.voiceIcons) {
      if (!tapInside(r.left, r.top, r.width(), r.height())) continue;
      in.tapNow = 0;
      const BacklogEntry& e = m_backlog.entry(entry);
      if (m_host.settings.voicePlay >= 2) m_sound->playVoice(e.voice, voiceVolume());
      break;
    }
  }
}

}  // namespace sorel
