#include "engine/runtime/display_seam.h"

#include <algorithm>
#include <cstring>

namespace sorel {

void DirtyList::add(DirtyRect r) {
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, m_width);
  r.bottom = std::min(r.bottom, m_height);
  if (r.left < r.right && r.top < r.bottom) m_rects.push_back(r);
}

bool Display::open(DisplayKind kind, int w, int h) {
  close();
  m_kind = kind;
  if (kind == DisplayKind::RawFrameBuffer) {
    if (!m_raw.open()) return false;
    m_props = m_raw.properties();
  } else {
    if (!m_dib.create(w, h)) return false;
    m_props = m_dib.properties();
  }
  // A portrait device must hold the landscape screen turned by 90 degrees.
  if (m_props.cxWidth < static_cast<uint32_t>(h) || m_props.cyHeight < static_cast<uint32_t>(w))
    return false;
  m_surface.resize(w, h);
  m_open = true;
  return true;
}

void Display::close() {
  m_open = false;
  m_raw = platform::RawFrameBuffer();
  m_dib = platform::DibSection();
  m_surface = Surface();
}

uint8_t* Display::beginDraw() {
  if (!m_open) return nullptr;
  return m_kind == DisplayKind::RawFrameBuffer ? m_raw.framePointer() : m_dib.lastPixel();
}

bool Display::present(const std::vector<DirtyRect>& rects, bool wholeScreen) {
  if (!m_open || (!wholeScreen && rects.empty())) return false;
  uint8_t* frame = beginDraw();
  const int w = m_surface.width;
  auto copy = [&](const DirtyRect& r) {
    for (int y = r.top; y < r.bottom; ++y) {
      const uint8_t* src = m_surface.row(y) + size_t(r.left) * 3;
      for (int x = r.left; x < r.right; ++x, src += 3) {
        uint16_t v = static_cast<uint16_t>(((src[2] & 0xF8) << 8) | ((src[1] & 0xFC) << 3) |
                                           (src[0] >> 3));
        std::memcpy(frame + platform::logicalOffset(m_props, w, x, y), &v, 2);
      }
    }
  };
  if (wholeScreen) copy({0, 0, w, m_surface.height});
  else
    for (const DirtyRect& r : rects) copy(r);
  endDraw();
  return true;
}

}  // namespace sorel
