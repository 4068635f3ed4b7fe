#include "engine/runtime/status_notice.h"

#include <algorithm>

#include "engine/graphics/text.h"

namespace sorel {
namespace {

// The pop-up menu's face, edges and ink (red, green, blue).
constexpr uint8_t kFace[3] = {212, 208, 200};
constexpr uint8_t kWhite[3] = {255, 255, 255};
constexpr uint8_t kDarkGrey[3] = {64, 64, 64};
constexpr uint8_t kBlack[3] = {0, 0, 0};

void fill(Surface& s, const Rect& r, const uint8_t rgb[3]) {
  for (int y = std::max(r.top, 0); y < std::min(r.bottom, s.height); ++y)
    for (int x = std::max(r.left, 0); x < std::min(r.right, s.width); ++x) {
      uint8_t* d = s.row(y) + size_t(x) * 3;
      d[0] = rgb[2];
      d[1] = rgb[1];
      d[2] = rgb[0];
    }
}

}  // namespace

void StatusNotices::post(std::string text) {
  if (!text.empty()) m_queue.push_back(std::move(text));
}

void StatusNotices::beforeCompose(uint32_t now, DirtyRectList& dirty) {
  if (!m_shown.empty() && now - m_since < kShowMs) return;
  if (!m_box.empty()) addDirtyRect(dirty, m_box, true);
  m_shown.clear();
  m_box = {};
  if (m_queue.empty()) return;
  m_shown = std::move(m_queue.front());
  m_queue.pop_front();
  m_since = now;
  m_drawn = false;
  const int w = int(m_shown.size()) * (kGlyphSize / 2) + 12;
  m_box = intersect(Rect{0, 0, w, kGlyphSize + 8}, Rect{0, 0, dirty.width(), dirty.height()});
}

void StatusNotices::afterCompose(Surface& surface, DirtyRectList& dirty, TextRenderer& renderer) {
  if (m_shown.empty() || m_box.empty()) return;
  bool under = false;
  for (const auto& node : dirty.nodes()) under = under || touches(node.rect, m_box);
  if (m_drawn && !under) return;
  const Rect& b = m_box;
  fill(surface, b, kFace);
  fill(surface, {b.left, b.top, b.right, b.top + 1}, kWhite);
  fill(surface, {b.left, b.top, b.left + 1, b.bottom}, kWhite);
  fill(surface, {b.left + 1, b.bottom - 2, b.right - 1, b.bottom - 1}, kDarkGrey);
  fill(surface, {b.right - 2, b.top + 1, b.right - 1, b.bottom - 1}, kDarkGrey);
  fill(surface, {b.left, b.bottom - 1, b.right, b.bottom}, kBlack);
  fill(surface, {b.right - 1, b.top, b.right, b.bottom}, kBlack);
  drawStatusLine(renderer, surface, m_shown, b.left + 6, b.top + 4, kGlyphSize, 0x000000);
  addDirtyRect(dirty, m_box, false);
  m_drawn = true;
}

}  // namespace sorel
