#include "engine/runtime/popup_menu.h"

#include <algorithm>

#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/text.h"
#include "engine/resources/format.h"
#include "engine/resources/screen.h"
#include "engine/resources/sjis_text.h"
#include "engine/resources/ticks.h"
#include "engine/state/input.h"

namespace sorel {
namespace {

constexpr int kGlyphSize = 12;  // the box's text: 6 pixels a byte, 12 a line
constexpr int kCharWidth = 6;
constexpr uint8_t kBlack[3] = {0, 0, 0};
constexpr uint8_t kWhite[3] = {255, 255, 255};
constexpr uint8_t kGrey[3] = {128, 128, 128};
constexpr uint8_t kDarkGrey[3] = {64, 64, 64};
constexpr uint8_t kHighlight[3] = {10, 36, 106};
constexpr uint32_t kStatusRefreshMs = 1000;

// The two glyphs of the item rows, 6 × 12, one row a string ('#' drawn).
constexpr const char* kCheckGlyph[12] = {"......", "......", "......", "......", "....#.", ".#.##.",
                                         ".###..", "..#...", "......", "......", "......", "......"};
constexpr const char* kArrowGlyph[12] = {"......", "......", "......", ".#....", ".##...", ".###..",
                                         ".####.", ".###..", ".##...", ".#....", "......", "......"};

void putPixel(Surface& s, int x, int y, const uint8_t rgb[3]) {
  if (x < 0 || y < 0 || x >= s.width || y >= s.height) return;
  uint8_t* d = s.row(y) + size_t(x) * 3;
  d[0] = rgb[2];
  d[1] = rgb[1];
  d[2] = rgb[0];
}

void fillRect(Surface& s, int x0, int y0, int x1, int y1, const uint8_t rgb[3]) {
  for (int y = std::max(y0, 0); y < std::min(y1, s.height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, s.width); ++x) putPixel(s, x, y, rgb);
}

void drawGlyph(Surface& s, const char* const rows[12], int x, int y, const uint8_t rgb[3]) {
  for (int j = 0; j < 12; ++j)
    for (int i = 0; i < 6; ++i)
      if (rows[j][i] == '#') putPixel(s, x + i, y + j, rgb);
}

uint16_t rgb565(const uint8_t* bgr) {
  return uint16_t(((bgr[2] & 0xF8) << 8) | ((bgr[1] & 0xFC) << 3) | (bgr[0] >> 3));
}

}  // namespace

std::string formatMenuStatus(const MenuStatus& s, bool vga) {
  if (!vga)
    return formatText("[%z4-%z2-%z2 %z2:%z2][%d%c]", s.year, s.month, s.day, s.hour, s.minute,
                      s.batteryPercent, '%');
  return formatText("[%z4-%z2-%z2 %z2:%z2][%d%c][%dMB(%d%c)][%dMB]", s.year, s.month, s.day, s.hour,
                    s.minute, s.batteryPercent, '%', s.freeMemoryMB, s.memoryLoadPercent, '%',
                    s.freeStorageMB);
}

std::string cutLabel(std::string_view text, size_t maxBytes) {
  size_t i = 0;
  while (i < text.size()) {
    size_t len = isLeadByte(uint8_t(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return std::string(text.substr(0, i));
}

std::string fontMenuLabel(std::string_view name) {
  // A character that starts before byte 24 is kept whole.
  size_t i = 0;
  while (i < name.size() && i < 24) i += isLeadByte(uint8_t(name[i])) && i + 1 < name.size() ? 2 : 1;
  return std::string(name.substr(0, i));
}

PopupMenu::PopupMenu() : m_text(std::make_unique<TextRenderer>()) { clear(); }

PopupMenu::~PopupMenu() = default;

void PopupMenu::clear() {
  m_menus.assign(1, Menu());
  m_path.clear();
  m_highlight = -1;
  m_open = false;
  m_shown = m_shownThumb = Rect();
}

int PopupMenu::addSubmenu(int parent, std::string_view label) {
  if (parent < 0 || parent >= int(m_menus.size())) return -1;
  Menu m;
  m.label = std::string(label);
  m.parent = parent;
  m_menus.push_back(std::move(m));
  MenuItem item;
  item.label = std::string(label);
  item.kind = MenuItemKind::Submenu;
  item.submenu = int(m_menus.size()) - 1;
  m_menus[size_t(parent)].items.push_back(std::move(item));
  return item.submenu;
}

void PopupMenu::addItem(int menu, unsigned commandNumber, MenuItemKind kind, std::string_view label) {
  if (menu < 0 || menu >= int(m_menus.size()) || kind == MenuItemKind::Submenu) return;
  MenuItem item;
  item.label = std::string(label);
  item.kind = kind;
  item.command = kind == MenuItemKind::Command ? commandNumber : 0;
  m_menus[size_t(menu)].items.push_back(std::move(item));
}

MenuItem* PopupMenu::find(unsigned commandNumber) {
  for (auto& m : m_menus)
    for (auto& item : m.items)
      if (item.kind == MenuItemKind::Command && item.command == commandNumber) return &item;
  return nullptr;
}

const MenuItem* PopupMenu::find(unsigned commandNumber) const {
  return const_cast<PopupMenu*>(this)->find(commandNumber);
}

void PopupMenu::setEnabled(unsigned commandNumber, bool flag) {
  for (auto& m : m_menus)
    for (auto& item : m.items)
      if (item.kind == MenuItemKind::Command && item.command == commandNumber && item.enabled != flag) {
        item.enabled = flag;
        m_dirty = true;
      }
}

void PopupMenu::setChecked(unsigned commandNumber, bool flag) {
  for (auto& m : m_menus)
    for (auto& item : m.items)
      if (item.kind == MenuItemKind::Command && item.command == commandNumber && item.checked != flag) {
        item.checked = flag;
        m_dirty = true;
      }
}

void PopupMenu::setLabel(unsigned commandNumber, std::string_view label) {
  if (MenuItem* item = find(commandNumber)) {
    item->label = std::string(label);
    m_dirty = true;
  }
}

void PopupMenu::setSaveSlots(const std::array<SaveSlotEntry, kSaveSlots>& slots, int newest) {
  for (int i = 0; i < kSaveSlots; ++i) {
    const SaveSlotEntry& e = slots[size_t(i)];
    for (unsigned first : {kFirstLoad, kFirstSave}) {
      MenuItem* item = find(first + unsigned(i));
      if (!item) continue;
      item->label = e.label;
      item->thumbnail = e.thumbnail;
      item->checked = i == newest;
      item->enabled = first == kFirstLoad ? e.loadEnabled : m_saveEnabled;
    }
  }
  m_dirty = true;
}

void PopupMenu::setSaveEntriesEnabled(bool enabled) {
  m_saveEnabled = enabled;
  for (int i = 0; i < kSaveSlots; ++i) setEnabled(kFirstSave + unsigned(i), enabled);
}

// ---------------------------------------------------------------------------------------------
// Opening and stepping

bool PopupMenu::open(platform::Hwnd) {
  if (m_open) return false;
  m_open = true;
  m_path.clear();
  m_highlight = -1;
  m_dirty = true;
  refreshStatus();
  return true;
}

void PopupMenu::refreshStatus() {
  const MenuStatus status = m_screen.status ? m_screen.status() : MenuStatus();
  std::string text = formatMenuStatus(status, isVga());
  if (text != m_statusText) m_dirty = true;
  m_statusText = std::move(text);
  m_lastStatus = ticks();
}

void PopupMenu::close() {
  if (m_open) closeMenu();
}

void PopupMenu::closeMenu() {
  m_open = false;
  m_path.clear();
  m_highlight = -1;
  // Nothing of the menu may stay on the screen: what lay under it is presented again.
  if (!m_shown.empty() && m_screen.display && m_screen.restore) {
    m_screen.restore(m_shown);
    if (!m_shownThumb.empty()) m_screen.restore(m_shownThumb);
    if (m_screen.shown) m_screen.shown();
  }
  m_shown = m_shownThumb = Rect();
}

bool PopupMenu::selectable(const MenuItem& item) const {
  return item.kind != MenuItemKind::Separator && item.enabled;
}

void PopupMenu::moveHighlight(int direction) {
  const auto& items = m_menus[size_t(currentMenu())].items;
  const int n = int(items.size());
  int start = m_highlight;
  if (start < 0 || start >= n) start = direction > 0 ? -1 : n;
  for (int k = 1; k <= n; ++k) {
    int i = ((start + direction * k) % n + n) % n;
    if (selectable(items[size_t(i)])) {
      if (i != m_highlight) m_dirty = true;
      m_highlight = i;
      return;
    }
  }
  if (m_highlight != -1) m_dirty = true;
  m_highlight = -1;
}

void PopupMenu::goBack() {
  if (m_path.empty()) {
    closeMenu();
    return;
  }
  const int child = m_path.back();
  m_path.pop_back();
  m_highlight = -1;
  const auto& items = m_menus[size_t(currentMenu())].items;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].kind == MenuItemKind::Submenu && items[i].submenu == child) m_highlight = int(i);
  m_dirty = true;
}

void PopupMenu::enter(int index, platform::Hwnd window) {
  const auto& items = m_menus[size_t(currentMenu())].items;
  if (index < 0 || index >= int(items.size())) return;
  const MenuItem& item = items[size_t(index)];
  if (!selectable(item)) return;
  if (item.kind == MenuItemKind::Submenu) {
    m_path.push_back(item.submenu);
    m_highlight = -1;
    m_dirty = true;
    return;
  }
  const unsigned command = item.command;
  closeMenu();
  platform::postMessage(window, platform::WM_COMMAND, command, 0);
}

bool PopupMenu::step(platform::Hwnd window, InputState& in) {
  if (!m_open) return false;
  // A key the menu takes is used up but stays held: its auto-repeat is no new press, neither for
  // the menu nor for the game once the menu has closed.
  auto fresh = [&](Key k) {
    if (in.count(k) != 1) return false;
    in.consume(k);
    return true;
  };
  if (fresh(Key::Up)) moveHighlight(-1);
  if (m_open && fresh(Key::Down)) moveHighlight(1);
  // Both keys of a pair are taken even when the first one acts.
  auto eitherFresh = [&](Key a, Key b) {
    const bool first = fresh(a);
    const bool second = fresh(b);
    return first || second;
  };
  if (m_open && eitherFresh(Key::Left, Key::A)) goBack();
  if (m_open && eitherFresh(Key::Right, Key::C)) enter(m_highlight, window);
  if (m_open && fresh(Key::B)) closeMenu();

  if (m_open && (in.tapNow || in.penDown || in.releaseNow)) {
    int item = -1;
    const int old = m_highlight;
    switch (penZone(in.penX, in.penY, item)) {
      case PenZone::Outside:
        m_highlight = -1;
        if (in.releaseNow) closeMenu();
        break;
      case PenZone::Header:
        m_highlight = -1;
        if (in.releaseNow) goBack();
        break;
      case PenZone::Inside: m_highlight = -1; break;
      case PenZone::Item: {
        const MenuItem& it = m_menus[size_t(currentMenu())].items[size_t(item)];
        m_highlight = selectable(it) ? item : -1;
        if (in.releaseNow && selectable(it)) enter(item, window);
        break;
      }
    }
    if (m_open && m_highlight != old) m_dirty = true;
  }
  if (!m_open) return false;

  // The clock on the status line moves on while the menu stays open.
  if (ticks() - m_lastStatus >= kStatusRefreshMs) refreshStatus();
  if (m_dirty) draw();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Geometry

int PopupMenu::maxLabelBytes(int reserve) const { return std::max(0, screenWidth / kCharWidth - reserve); }

std::string PopupMenu::shownLabel(const MenuItem& item) const {
  return cutLabel(item.label, size_t(maxLabelBytes(4)));
}

std::string PopupMenu::pathText() const {
  std::string text;
  for (int m : m_path) {
    if (!text.empty()) text += "->";
    text += "[" + m_menus[size_t(m)].label + "]";
  }
  return text;
}

Rect PopupMenu::boxRect() const {
  const auto& items = m_menus[size_t(currentMenu())].items;
  size_t chars = std::max(m_statusText.size(), pathText().size()) + 2;
  for (const auto& item : items) chars = std::max(chars, shownLabel(item).size() + 4);
  const int w = std::min(int(chars) * kCharWidth, screenWidth);
  const int h = std::min(kItemHeight * int(items.size()) + 40, screenHeight);
  return {0, 0, w, h};
}

PopupMenu::PenZone PopupMenu::penZone(int x, int y, int& item) const {
  const Rect box = boxRect();
  const int n = int(m_menus[size_t(currentMenu())].items.size());
  item = -1;
  if (x >= kItemInset && x < box.right - kItemInset && y >= kItemTop) {
    const int i = (y - kItemTop) / kItemHeight;
    if (i < n) {
      item = i;
      return PenZone::Item;
    }
  }
  if (x < 0 || y < 0 || x >= box.right || y >= box.bottom) return PenZone::Outside;
  if (y < kHeaderBottom) return PenZone::Header;
  return PenZone::Inside;
}

int PopupMenu::itemAt(int x, int y) const {
  int item = -1;
  return penZone(x, y, item) == PenZone::Item ? item : -1;
}

// ---------------------------------------------------------------------------------------------
// Drawing

void PopupMenu::drawText(Surface& box, int x, int y, std::string_view text, const uint8_t rgb[3]) {
  for (size_t i = 0; i < text.size();) {
    const auto b = uint8_t(text[i]);
    const bool dbcs = isLeadByte(b) && i + 1 < text.size();
    const uint16_t code = dbcs ? uint16_t(b | (uint8_t(text[i + 1]) << 8)) : b;
    auto mask = m_text->statusGlyph(code, kGlyphSize);
    for (int j = 0; j < kGlyphSize && !mask.empty(); ++j)
      for (int k = 0; k < kGlyphSize; ++k)
        if (mask[size_t(j * kGlyphSize + k)]) putPixel(box, x + k, y + j, rgb);
    x += dbcs ? 2 * kCharWidth : kCharWidth;
    i += dbcs ? 2 : 1;
  }
}

void PopupMenu::drawBox(Surface& box, const std::string& status) {
  const int w = box.width, h = box.height;
  fillRect(box, 0, 0, w, h, kFace);
  fillRect(box, 0, 0, w, 1, kWhite);
  fillRect(box, 0, 0, 1, h, kWhite);
  fillRect(box, 1, h - 2, w - 1, h - 1, kDarkGrey);
  fillRect(box, w - 2, 1, w - 1, h - 1, kDarkGrey);
  fillRect(box, 0, h - 1, w, h, kBlack);
  fillRect(box, w - 1, 0, w, h, kBlack);
  drawText(box, 6, 4, cutLabel(status, size_t(maxLabelBytes(2))), kBlack);
  drawText(box, 6, 16, cutLabel(pathText(), size_t(maxLabelBytes(2))), kBlack);

  const auto& items = m_menus[size_t(currentMenu())].items;
  for (size_t n = 0; n < items.size(); ++n) {
    const MenuItem& item = items[n];
    const int y = kItemTop + kItemHeight * int(n);
    if (y + kItemHeight > h) break;
    if (item.kind == MenuItemKind::Separator) {
      fillRect(box, 12, y + 6, w - 12, y + 7, kGrey);
      fillRect(box, 12, y + 7, w - 12, y + 8, kWhite);
      continue;
    }
    const bool lit = int(n) == m_highlight && selectable(item);
    if (lit) fillRect(box, 3, y, w - 3, y + kItemHeight, kHighlight);
    const uint8_t* ink = lit ? kWhite : kBlack;
    auto mark = [&](int x, const uint8_t rgb[3]) {
      if (item.checked) drawGlyph(box, kCheckGlyph, x - 8, y, rgb);
      if (item.kind == MenuItemKind::Submenu) drawGlyph(box, kArrowGlyph, w - 12 + (x - 12), y, rgb);
    };
    const std::string label = shownLabel(item);
    if (item.enabled) {
      mark(12, ink);
      drawText(box, 12, y, label, ink);
    } else {
      // Engraved: a white copy one pixel down and right under the grey one.
      mark(13, kWhite);
      drawText(box, 13, y + 1, label, kWhite);
      mark(12, kGrey);
      drawText(box, 12, y, label, kGrey);
    }
  }
}

void PopupMenu::draw() {
  m_dirty = false;
  DisplayBackend* display = m_screen.display;
  if (!display || !display->isOpen()) return;
  const Rect box = boxRect();
  // The thumbnail of a highlighted save slot, beside its row.
  Rect thumb;
  const Picture* picture = nullptr;
  const auto& items = m_menus[size_t(currentMenu())].items;
  if (m_highlight >= 0 && m_highlight < int(items.size()) && !items[size_t(m_highlight)].thumbnail.empty()) {
    picture = &items[size_t(m_highlight)].thumbnail;
    const int top = std::min(kItemTop + kItemHeight * m_highlight, screenHeight - int(picture->height) - 2);
    thumb = intersect(Rect{box.right, std::max(top, 0), box.right + int(picture->width) + 2,
                           std::max(top, 0) + int(picture->height) + 2},
                      Rect{0, 0, screenWidth, screenHeight});
  }
  // What the last drawing covered and this one does not is the game's again.
  if (m_screen.restore) {
    for (const Rect& old : {m_shown, m_shownThumb}) {
      if (old.empty() || contains(box, old) || (!thumb.empty() && contains(thumb, old))) continue;
      m_screen.restore(old);
    }
  }

  Surface canvas;
  canvas.resize(box.width(), box.height());
  drawBox(canvas, m_statusText);

  uint8_t* frame = display->beginDraw();
  if (!frame) return;
  const platform::DisplayProperties& p = display->displayProperties();
  const int W = display->logicalWidth(), H = display->logicalHeight();
  auto put = [&](int x, int y, uint16_t v) {
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    uint8_t* d = frame + platform::logicalOffset(p, W, x, y);
    d[0] = uint8_t(v);
    d[1] = uint8_t(v >> 8);
  };
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x) put(box.left + x, box.top + y, rgb565(canvas.row(y) + size_t(x) * 3));
  display->endDrawRect(intersect(box, Rect{0, 0, W, H}));
  if (picture && !thumb.empty()) {
    for (int y = thumb.top; y < thumb.bottom; ++y)
      for (int x = thumb.left; x < thumb.right; ++x) {
        const int px = x - thumb.left - 1, py = y - thumb.top - 1;
        if (px < 0 || py < 0 || px >= int(picture->width) || py >= int(picture->height)) {
          put(x, y, 0);  // a black frame
          continue;
        }
        put(x, y, rgb565(picture->pixel(uint32_t(px), uint32_t(py))));
      }
    display->endDrawRect(thumb);
  }
  display->endDraw();
  m_shown = box;
  m_shownThumb = thumb;
  if (m_screen.shown) m_screen.shown();
}

}  // namespace sorel
