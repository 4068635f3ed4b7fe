#include "platform/screen_scaler.h"

#include <algorithm>
#include <cstring>

namespace platform {

void ScreenScaler::setup(int lw, int lh, const ViewRect& view) {
  m_lw = std::max(lw, 0);
  m_lh = std::max(lh, 0);
  m_view = (m_lw > 0 && m_lh > 0 && view.w > 0 && view.h > 0) ? view : ViewRect{};
  // Picture column c shows logical column floor(c · lw / w), as windowToLogical reads a tap; the
  // first column showing logical column l is therefore ceil(l · w / lw).
  auto build = [](int logical, int size, std::vector<int>& source, std::vector<int>& first) {
    source.resize(size_t(size));
    for (int c = 0; c < size; ++c) source[size_t(c)] = int(int64_t(c) * logical / size);
    first.resize(size_t(logical) + 1);
    for (int l = 0; l <= logical; ++l)
      first[size_t(l)] = size > 0 ? int((int64_t(l) * size + logical - 1) / logical) : 0;
  };
  build(m_lw, m_view.w, m_sourceX, m_firstX);
  build(m_lh, m_view.h, m_sourceY, m_firstY);
}

ViewRect ScreenScaler::windowRect(const ScreenRect& r) const {
  const int left = std::clamp(r.left, 0, m_lw), right = std::clamp(r.right, 0, m_lw);
  const int top = std::clamp(r.top, 0, m_lh), bottom = std::clamp(r.bottom, 0, m_lh);
  if (m_view.w <= 0 || right <= left || bottom <= top) return {};
  const int x0 = m_firstX[size_t(left)], x1 = m_firstX[size_t(right)];
  const int y0 = m_firstY[size_t(top)], y1 = m_firstY[size_t(bottom)];
  if (x1 <= x0 || y1 <= y0) return {};
  return {m_view.x + x0, m_view.y + y0, x1 - x0, y1 - y0};
}

namespace {

template <int kBytes>
void drawRows(const uint16_t* logical, int lw, const std::vector<int>& sourceX, const std::vector<int>& sourceY,
              int x0, int x1, int y0, int y1, uint8_t* origin, int pitch, const uint32_t* table) {
  const size_t span = size_t(x1 - x0) * kBytes;
  const uint8_t* previous = nullptr;
  int previousSource = -1;
  for (int y = y0; y < y1; ++y) {
    uint8_t* out = origin + int64_t(y) * pitch + int64_t(x0) * kBytes;
    const int sy = sourceY[size_t(y)];
    // A row enlarged into several window rows is converted once and copied.
    if (sy == previousSource) {
      std::memcpy(out, previous, span);
      continue;
    }
    const uint16_t* row = logical + size_t(sy) * size_t(lw);
    uint8_t* d = out;
    for (int x = x0; x < x1; ++x, d += kBytes) {
      const uint32_t v = table[row[sourceX[size_t(x)]]];
      if constexpr (kBytes == 4) {
        std::memcpy(d, &v, 4);
      } else if constexpr (kBytes == 2) {
        const uint16_t h = uint16_t(v);
        std::memcpy(d, &h, 2);
      } else {
        d[0] = uint8_t(v), d[1] = uint8_t(v >> 8), d[2] = uint8_t(v >> 16);
      }
    }
    previous = out;
    previousSource = sy;
  }
}

}  // namespace

void ScreenScaler::draw(const uint16_t* logical, const ScreenRect& r, uint8_t* window, int pitch, int bytesPerPixel,
                        const PixelTable& table) const {
  const ViewRect w = windowRect(r);
  if (w.w <= 0 || table.size() < 65536) return;
  // Picture coordinates, relative to the view; the window origin moves to the view's corner.
  const int x0 = w.x - m_view.x, x1 = x0 + w.w, y0 = w.y - m_view.y, y1 = y0 + w.h;
  uint8_t* origin = window + int64_t(m_view.y) * pitch + int64_t(m_view.x) * bytesPerPixel;
  switch (bytesPerPixel) {
    case 4: drawRows<4>(logical, m_lw, m_sourceX, m_sourceY, x0, x1, y0, y1, origin, pitch, table.data()); break;
    case 3: drawRows<3>(logical, m_lw, m_sourceX, m_sourceY, x0, x1, y0, y1, origin, pitch, table.data()); break;
    case 2: drawRows<2>(logical, m_lw, m_sourceX, m_sourceY, x0, x1, y0, y1, origin, pitch, table.data()); break;
    default: break;
  }
}

}  // namespace platform
