#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/backends/mapping.h"

namespace sorel {

DisplayOpenError GdiBackend::open(int logicalWidth, int logicalHeight) {
  close();
  // The bitmap has the window's client size, which is the logical screen.
  if (logicalWidth < 1 || logicalHeight < 1 || !m_bitmap.create(logicalWidth, logicalHeight))
    return DisplayOpenError::DisplayLibrary;
  const int64_t bytes = int64_t(m_bitmap.bits().size());
  if (!mappingFits(m_bitmap.properties(), logicalWidth, logicalHeight, bytes - 2, 2)) {
    close();
    return DisplayOpenError::DisplayLibrary;
  }
  m_width = logicalWidth;
  m_height = logicalHeight;
  return DisplayOpenError::None;
}

void GdiBackend::close() {
  m_bitmap = platform::DibSection();
  m_width = m_height = 0;
  m_rectDrawn = false;
}

uint8_t* GdiBackend::beginDraw() {
  if (!isOpen()) return nullptr;
  m_rectDrawn = false;
  return m_bitmap.lastPixel();
}

void GdiBackend::endDraw() {
  if (isOpen() && !m_rectDrawn) {
    noteWholeScreenChanged();
    if (m_windowCopy) m_windowCopy(Rect{0, 0, m_bitmap.width(), m_bitmap.height()});
  }
  m_rectDrawn = false;
}

void GdiBackend::endDrawRect(const Rect& rect) {
  if (!isOpen()) return;
  m_rectDrawn = true;
  noteChanged(rect);
  if (m_windowCopy) m_windowCopy(rect);
}

}  // namespace sorel
