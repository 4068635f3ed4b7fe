// The title's extras: the picture gallery (game mode 60), 13 pages of the event pictures the
// player has seen, and the replay screen (game mode 70), 2 pages of scenes unlocked by finished
// routes. Both are a grid of thumbnails over a background with page and back buttons.
#include <algorithm>

#include "engine/screens/game_screens.h"
#include "engine/resources/format.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"

namespace sorel {
namespace {

constexpr int kBgSlot = 10, kButtonSlot = 11, kCursorSlot = 12, kNoDataSlot = 13;
constexpr int kViewSlot = 31;
// Thumbnails take slots 32 to 127; the rest of the table belongs to the system.
constexpr int kFirstThumbSlot = 32, kLastThumbSlot = 127;
constexpr int kBgLayer = 10, kFirstButtonLayer = 11, kViewLayer = 31, kFirstCellLayer = 32;
constexpr int kGalleryHighlight = 30, kReplayHighlight = 16;
constexpr int kTimerFade = 9;
constexpr uint32_t kCycleMs = 1000;

constexpr int kGalleryPages = 13;
constexpr int kGalleryCellsPerPage[kGalleryPages] = {14, 13, 13, 13, 12, 13, 13, 14, 13, 12, 13, 13, 8};
constexpr int kReplayPages = 2;
constexpr int kReplayCells = 12;

struct Layout {
  int cells;      // cells a page can hold
  int pages;
  int pageItem;   // the first page button's cursor item
  int backItem;
  int items;      // cursor items
  int highlight;  // the highlight's layer
};
constexpr Layout kGallery{16, kGalleryPages, 16, 29, 30, kGalleryHighlight};
constexpr Layout kReplay{kReplayCells, kReplayPages, 12, 14, 15, kReplayHighlight};

int cellX(int i) { return 16 + 136 * (i % 4) + (i % 4 >= 2 ? 32 : 0); }
int cellY(int i) { return 27 + 112 * (i / 4); }

/// Cells of page p that exist (only those are built and selectable).
int cellsOnPage(bool replay, int page) {
  if (replay) return page >= 0 && page < kReplayPages ? kReplayCells : 0;
  return page >= 0 && page < kGalleryPages ? kGalleryCellsPerPage[page] : 0;
}

}  // namespace

bool GameScreens::loadListedPicture(int slot, std::string_view name, bool alternate) {
  // The same archives the scene picture is looked up in.
  static constexpr std::string_view kPlain[] = {"bg", "Visual", "System"};
  static constexpr std::string_view kAlternate[] = {"bg", "Visual"};
  std::span<const std::string_view> archives =
      alternate ? std::span<const std::string_view>(kAlternate) : std::span<const std::string_view>(kPlain);
  for (std::string_view a : archives)
    if (m_game.loadPicture(slot, a, name, nullptr, nullptr, true)) return true;
  return false;
}

bool GameScreens::extrasSelectable(bool replay, int item) const {
  const Layout& l = replay ? kReplay : kGallery;
  if (item < 0 || item >= l.items) return false;
  if (item >= l.pageItem) return true;
  return item < cellsOnPage(replay, m_extras.page) && m_extras.cells[size_t(item)].count > 0;
}

void GameScreens::buildExtrasPage(bool replay) {
  const Layout& l = replay ? kReplay : kGallery;
  ExtrasState& x = m_extras;
  m_layers.removeAllScene();
  m_game.freeAllPictures();
  m_game.loadPicture(kBgSlot, "System", "CGModeBG.bmp");
  m_game.loadPicture(kButtonSlot, "System", "CGModeButton.bmp");
  m_game.loadPicture(kCursorSlot, "Thumbnail", "thum_cursor.bmp");
  m_game.loadPicture(kNoDataSlot, "Thumbnail", "thum_nodata.bmp");
  m_layers.place(kBgLayer, kBgSlot, kWholePicture, 0, 0, 0, 0, 64);
  for (int p = 0; p < l.pages; ++p) {
    const int sx = replay ? 448 + 32 * p : 32 * p;
    m_layers.place(kFirstButtonLayer + p, kButtonSlot, DesignRect{sx, p == x.page ? 0 : 32, 32, 32}, 608, 24 + 32 * p, 0,
                   0, 56);
  }
  m_layers.place(kFirstButtonLayer + l.pages, kButtonSlot, DesignRect{416, 0, 32, 32}, 608, 448, 0, 0, 56);

  const int count = cellsOnPage(replay, x.page);
  for (int e = 0; e < 16; ++e) {
    ExtrasCell& c = x.cells[size_t(e)];
    c = ExtrasCell();
    if (e >= count) continue;
    auto entry = replay ? m_game.tables().replayEntry(x.page, e) : m_game.tables().galleryEntry(x.page, e);
    if (!entry) continue;
    const bool unlocked = !replay || (x.page == 0 ? m_game.systemValues.get(12 + e) != 0 : m_game.systemValues.get(e) != 0);
    if (!unlocked) continue;
    for (int32_t index : *entry) {
      if (index == -1 || c.count >= ExtrasCell::kPictures) continue;
      auto rec = m_game.tables().visual(index);
      if (!rec) continue;
      const std::string_view name = rec->alternateName.empty() ? rec->fileName : rec->alternateName;
      if (name.empty()) continue;
      bool visible = replay;
      for (const auto& v : m_game.visitedPictures) visible = visible || sameName(v, name);
      if (!visible) continue;
      c.indices[size_t(c.count)] = index;
      c.names[size_t(c.count)].assign(name);
      ++c.count;
    }
  }
  // Thumbnail slots in cell order. A cell takes one slot per picture while that leaves one for
  // every unlocked cell after it; otherwise it keeps a single slot and reloads it as it cycles.
  int unlockedAfter = 0;
  for (const ExtrasCell& c : x.cells) unlockedAfter += c.count > 0 ? 1 : 0;
  int nextSlot = kFirstThumbSlot;
  for (ExtrasCell& c : x.cells) {
    if (c.count == 0) continue;
    --unlockedAfter;
    const int room = kLastThumbSlot + 1 - nextSlot - unlockedAfter;
    c.firstSlot = nextSlot;
    c.slots = c.count <= room ? c.count : 1;
    for (int k = 0; k < c.slots; ++k)
      m_game.loadPicture(nextSlot + k, "Thumbnail", format("Thum_%z3.bmp", {c.indices[size_t(k)]}));
    nextSlot += c.slots;
  }
  for (int e = 0; e < count; ++e) {
    const ExtrasCell& c = x.cells[size_t(e)];
    const int slot = c.count > 0 ? c.firstSlot : kNoDataSlot;
    m_layers.place(kFirstCellLayer + e, slot, DesignRect{0, 0, 128, 96}, cellX(e), cellY(e), 0, 0, 48);
  }
  x.cycleStart = ticks();
  extrasHighlight(replay);
  m_game.markWholeScreen();
}

void GameScreens::extrasCycle() {
  ExtrasState& x = m_extras;
  const uint32_t shown = (ticks() - x.cycleStart) / kCycleMs;
  for (int e = 0; e < 16; ++e) {
    ExtrasCell& c = x.cells[size_t(e)];
    if (c.count < 2) continue;
    const int k = int(shown % uint32_t(c.count));
    if (k == c.shown) continue;
    c.shown = k;
    int slot = c.firstSlot + k;
    if (c.slots < c.count) {
      slot = c.firstSlot;
      m_game.loadPicture(slot, "Thumbnail", format("Thum_%z3.bmp", {c.indices[size_t(k)]}));
    }
    m_layers.place(kFirstCellLayer + e, slot, DesignRect{0, 0, 128, 96}, cellX(e), cellY(e), 0, 0, 48);
  }
}

void GameScreens::extrasHighlight(bool replay) {
  const Layout& l = replay ? kReplay : kGallery;
  const int c = m_extras.cursor;
  m_layers.remove(l.highlight, true);
  if (c < 0 || c >= l.items) return;
  if (c < l.pageItem) {
    m_layers.place(l.highlight, kCursorSlot, DesignRect{0, 0, 132, 100}, cellX(c) - 2, cellY(c) - 2, 0, 0, 32);
  } else {
    const int y = c == l.backItem ? 448 : 24 + 32 * (c - l.pageItem);
    m_layers.colour(l.highlight, 608, y, 32, 32, 0x808080, 32);
    m_layers.setMode(l.highlight, 1);
  }
}

bool GameScreens::fadeToBlackStep(int timer) {
  const uint32_t t = m_game.elapsed(timer);
  m_game.brightness = t >= 1000 ? 0 : 256 - int(t * 256 / 1000);
  m_game.markWholeScreen();
  return t >= 1000;
}

void GameScreens::extrasLeave() {
  m_layers.removeAllScene();
  m_game.freeAllPictures();
  m_game.brightness = 0;
  m_host.gameMode = kModeTitle;
  m_host.subMode = 40;
  m_game.markWholeScreen();
}

namespace {

/// The cursor movement and tap shared by the gallery and the replay screen: the new cursor.
template <class Selectable>
int moveExtrasCursor(InputState& in, const Layout& l, int cursor, Selectable&& selectable, const std::function<bool(int, int, int, int)>& tapInside,
                     int cellCount) {
  const int none = ExtrasState::kNone;
  if (in.count(Key::Up) == 1) {
    in.consume(Key::Up);
    int c = cursor == none || cursor == 0 ? l.backItem : cursor - 1;
    while (c >= 0 && !selectable(c)) --c;
    cursor = c < 0 ? l.backItem : c;
  }
  if (in.count(Key::Down) == 1) {
    in.consume(Key::Down);
    int c = cursor == none ? 0 : (cursor + 1) % l.items;
    for (int n = 0; n < l.items && !selectable(c); ++n) c = (c + 1) % l.items;
    cursor = c;
  }
  if (in.tapNow) {
    int hit = none;
    for (int e = 0; e < cellCount; ++e)
      if (selectable(e) && tapInside(cellX(e), cellY(e), 128, 96)) hit = e;
    for (int p = 0; p < l.backItem - l.pageItem; ++p)
      if (tapInside(608, 24 + 32 * p, 32, 32)) hit = l.pageItem + p;
    if (tapInside(608, 448, 32, 32)) hit = l.backItem;
    // A tap beside every item (or on a locked cell) is used up without choosing anything: it must
    // not start the item the keys selected.
    if (hit == none) in.tapNow = 0;
    else cursor = hit;
  }
  return cursor;
}

}  // namespace

void GameScreens::galleryStep() { replayStep(); }

void GameScreens::replayStep() {
  const bool replay = m_host.gameMode == kModeReplay;
  const Layout& l = replay ? kReplay : kGallery;
  InputState& in = m_host.input;
  ExtrasState& x = m_extras;
  uint32_t& sub = m_host.subMode;
  switch (sub) {
    case 0:
      m_sound->stopMusic();
      x.page = 0;
      x.cursor = ExtrasState::kNone;
      buildExtrasPage(replay);
      m_game.startTimer(kTimerFade);
      m_game.brightness = 0;
      sub = 1;
      break;
    case 1: {
      extrasCycle();
      const uint32_t t = m_game.elapsed(kTimerFade);
      m_game.brightness = t >= 1000 ? 256 : int(t * 256 / 1000);
      m_game.markWholeScreen();
      if (t >= 1000) sub = 2;
      break;
    }
    case 2: {
      extrasCycle();
      auto tap = [this](int a, int b, int c, int d) { return m_game.tapInside(a, b, c, d); };
      const int cursor = moveExtrasCursor(
          in, l, x.cursor, [&](int item) { return extrasSelectable(replay, item); }, tap, cellsOnPage(replay, x.page));
      const bool tapped = in.tapNow != 0;
      if (cursor != x.cursor) {
        x.cursor = cursor;
        extrasHighlight(replay);
      }
      const bool go = in.count(Key::Right) == 1 || in.count(Key::C) == 1 || tapped;
      if (!go) break;
      in.consume(Key::Right);
      in.consume(Key::C);
      in.tapNow = 0;
      const int c = x.cursor;
      if (c == l.backItem) {
        m_game.companionVoice(7, true);
        m_game.startTimer(kTimerFade);
        sub = 30;
      } else if (c >= l.pageItem && c < l.backItem) {
        if (c - l.pageItem != x.page) {
          x.page = c - l.pageItem;
          buildExtrasPage(replay);
        }
      } else if (extrasSelectable(replay, c)) {
        x.chosen = c;
        x.pictureNumber = 0;
        if (replay) m_game.startTimer(kTimerFade);
        sub = 20;
      }
      break;
    }
    case 20:
      if (replay) {
        if (fadeToBlackStep(kTimerFade)) sub = 21;
        break;
      } else {
        m_layers.remove(kViewLayer, true);
        m_game.freePicture(kViewSlot);
        const ExtrasCell& c = x.cells[size_t(x.chosen)];
        if (x.pictureNumber >= c.count) {
          sub = 1;
          break;
        }
        auto rec = m_game.tables().visual(c.indices[size_t(x.pictureNumber)]);
        const bool alternate = rec && !rec->alternateName.empty();
        if (loadListedPicture(kViewSlot, c.names[size_t(x.pictureNumber)], alternate))
          m_layers.place(kViewLayer, kViewSlot, DesignRect{0, 0, 640, 480}, 0, 0, 0, 0, 16);
        ++x.pictureNumber;
        sub = 21;
      }
      break;
    case 21:
      if (replay) {
        const std::string name = format("Replay%z2.bin", {12 * x.page + x.chosen + 1});
        m_sound->stopMusic();
        m_game.brightness = 256;
        m_layers.removeAllScene();
        m_game.freeAllPictures();
        m_game.clearBeforeDraw = true;
        if (!m_game.loadScript(name)) {
          // A replay that cannot be loaded leaves the player on the title, not on a dead screen.
          extrasLeave();
          break;
        }
        m_host.gameMode = kModeStory;
        sub = 0;
        if (m_host.enableSaveMenu) m_host.enableSaveMenu(false);
        m_game.markWholeScreen();
      } else if (in.count(Key::Right) == 1 || in.count(Key::C) == 1 || in.tapNow) {
        in.consume(Key::Right);
        in.consume(Key::C);
        in.tapNow = 0;
        sub = 20;
      }
      break;
    case 30:
      if (fadeToBlackStep(kTimerFade)) extrasLeave();
      break;
    default: break;
  }
}

}  // namespace sorel
