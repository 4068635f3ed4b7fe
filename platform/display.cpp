#include "platform/display.h"

#include <algorithm>
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
  readLogicalRgb565(p, framePointer, W, H, ScreenRect{0, 0, W, H}, out);
}

void readLogicalRgb565(const DisplayProperties& p, const uint8_t* framePointer, int W, int H,
                       const ScreenRect& r, std::vector<uint16_t>& out) {
  const int left = std::max(r.left, 0), top = std::max(r.top, 0);
  const int right = std::min(r.right, W), bottom = std::min(r.bottom, H);
  if (right <= left || bottom <= top || out.size() < size_t(W) * size_t(H)) return;
  // The mapping is affine: one step along logical x is −cbyPitch bytes, along y cbxPitch.
  for (int y = top; y < bottom; ++y) {
    const uint8_t* s = framePointer + logicalOffset(p, W, left, y);
    uint16_t* d = out.data() + size_t(y) * size_t(W) + size_t(left);
    for (int x = left; x < right; ++x, s -= p.cbyPitch) std::memcpy(d++, s, 2);
  }
}

}  // namespace platform
