#include "platform/display.h"

#include <cstring>

namespace platform {

bool RawFrameBuffer::open(uint32_t physicalWidth, uint32_t physicalHeight) {
  if (physicalWidth == 0 || physicalHeight == 0) return false;
  m_props.cxWidth = physicalWidth;
  m_props.cyHeight = physicalHeight;
  m_props.cbxPitch = 2;
  m_props.cbyPitch = static_cast<int32_t>(physicalWidth * 2);
  m_props.cBPP = 16;
  m_props.ffFormat = kFormatRgb565;
  m_memory.assign(size_t(physicalWidth) * physicalHeight * 2, 0);
  return true;
}

bool DibSection::create(int clientWidth, int clientHeight) {
  if (clientWidth < 320) clientWidth = 320;
  if (clientHeight < 240) clientHeight = 240;
  if (clientWidth > 8192 || clientHeight > 8192) return false;
  m_width = clientWidth;
  m_height = clientHeight;
  m_bits.assign(size_t(clientWidth) * size_t(clientHeight) * 2, 0);
  m_props.cxWidth = static_cast<uint32_t>(clientHeight);
  m_props.cyHeight = static_cast<uint32_t>(clientWidth);
  m_props.cbxPitch = -2 * clientWidth;
  m_props.cbyPitch = -2;
  m_props.cBPP = 16;
  m_props.ffFormat = kFormatDibImitation;
  return true;
}

void readLogicalRgb565(const DisplayProperties& p, const uint8_t* framePointer, int W, int H,
                       std::vector<uint16_t>& out) {
  out.assign(size_t(W) * size_t(H), 0);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint16_t v;
      std::memcpy(&v, framePointer + logicalOffset(p, W, x, y), 2);
      out[size_t(y) * size_t(W) + size_t(x)] = v;
    }
}

}  // namespace platform
