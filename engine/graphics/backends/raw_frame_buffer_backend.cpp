#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/backends/mapping.h"

namespace sorel {

DisplayOpenError RawFrameBufferBackend::open(int logicalWidth, int logicalHeight) {
  m_open = false;
  if (!m_device.isOpen()) return DisplayOpenError::DisplayLibrary;
  // The display properties come from the raw frame-buffer query.
  m_props = m_device.properties();
  const int64_t bytes = int64_t(m_props.cxWidth) * int64_t(m_props.cyHeight) * 2;
  // The landscape screen is turned by 90 degrees onto the portrait panel: a panel narrower
  // than the logical height or shorter than the logical width cannot hold it.
  if (m_props.cBPP != 16 || logicalWidth < 1 || logicalHeight < 1 ||
      m_props.cxWidth < static_cast<uint32_t>(logicalHeight) ||
      m_props.cyHeight < static_cast<uint32_t>(logicalWidth) ||
      !mappingFits(m_props, logicalWidth, logicalHeight, 0, bytes))
    return DisplayOpenError::DisplayLibrary;
  m_width = logicalWidth;
  m_height = logicalHeight;
  m_open = true;
  return DisplayOpenError::None;
}

uint8_t* RawFrameBufferBackend::beginDraw() {
  if (!m_open) return nullptr;
  m_rectDrawn = false;
  return m_device.framePointer();
}

void RawFrameBufferBackend::endDraw() {
  if (m_open && !m_rectDrawn) noteWholeScreenChanged();
  m_rectDrawn = false;
}

void RawFrameBufferBackend::endDrawRect(const Rect& rect) {
  if (!m_open) return;
  m_rectDrawn = true;
  noteChanged(rect);
}

}  // namespace sorel
