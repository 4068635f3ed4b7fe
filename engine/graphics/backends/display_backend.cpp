// What both back-ends share: the start-up failure messages and present, the conversion of the
// changed rectangles of the 24-bit frame into the 16-bit frame buffer.
#include "engine/graphics/backends/display_backend.h"

#include <algorithm>
#include <cstring>

#include "engine/graphics/backends/mapping.h"

namespace sorel {

std::string_view displayErrorMessage(DisplayOpenError error) {
  // CP932 bytes of the engine's own start-up messages.
  switch (error) {
    case DisplayOpenError::None:
      return {};
    case DisplayOpenError::WindowCreation:  // ウィンドウの作成に失敗しました。
      return "\x83\x45\x83\x42\x83\x93\x83\x68\x83\x45\x82\xCC\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94\x73"
             "\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
    case DisplayOpenError::FullScreen:  // ウィンドウのフルスクリーン化に失敗しました
      return "\x83\x45\x83\x42\x83\x93\x83\x68\x83\x45\x82\xCC\x83\x74\x83\x8B\x83\x58\x83\x4E\x83\x8A"
             "\x81\x5B\x83\x93\x89\xBB\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
    case DisplayOpenError::DisplayLibrary:  // GAPIライブラリのロードに失敗しました
      return "\x47\x41\x50\x49\x83\x89\x83\x43\x83\x75\x83\x89\x83\x8A\x82\xCC\x83\x8D\x81\x5B\x83\x68"
             "\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
  }
  return {};
}

namespace {

// One rectangle of the logical screen, read from the surface displaced by (-dx, -dy). The
// walk goes in bands of 16 logical rows, column by column inside a band: on the portrait panel
// a logical column is a run of neighbouring device pixels, on the bitmap a logical row is, and
// a band keeps both the 16 surface rows and the device lines it touches in the cache.
void convertRect(uint8_t* frame, const platform::DisplayProperties& p, const Surface& s, const Rect& r,
                 int dx, int dy) {
  constexpr int kBand = 16;
  const ptrdiff_t srcRow = ptrdiff_t(s.width) * 3;
  const ptrdiff_t stepY = p.cbxPitch;
  for (int top = r.top; top < r.bottom; top += kBand) {
    const int rows = std::min(kBand, r.bottom - top);
    for (int x = r.left; x < r.right; ++x) {
      uint8_t* o = frame + platform::logicalOffset(p, s.width, x, top);
      const uint8_t* sp = s.row(top - dy) + ptrdiff_t(x - dx) * 3;
      for (int i = 0; i < rows; ++i, o += stepY, sp += srcRow) {
        const uint16_t v = static_cast<uint16_t>(((sp[2] & 0xF8) << 8) | ((sp[1] & 0xFC) << 3) | (sp[0] >> 3));
        std::memcpy(o, &v, 2);
      }
    }
  }
}

}  // namespace

void present(DisplayBackend& display, const Surface& surface, const DirtyRectList& dirty,
             PresentArea area, int shakeX, int shakeY) {
  const int w = display.logicalWidth(), h = display.logicalHeight();
  if (!display.isOpen() || surface.width != w || surface.height != h ||
      surface.pixels.size() < size_t(w) * size_t(h) * 3)
    return;
  if (area == PresentArea::DirtyRects && dirty.nodes().empty()) return;
  uint8_t* frame = display.beginDraw();
  if (!frame) return;
  const platform::DisplayProperties& p = display.displayProperties();
  const Rect screen{0, 0, w, h};
  // The picture moves by the shake offset: a rectangle's destination is the rectangle displaced
  // and kept on the screen; its source, displaced back, lies inside the rectangle itself.
  auto destination = [&](const Rect& r) {
    return intersect(Rect{r.left + shakeX, r.top + shakeY, r.right + shakeX, r.bottom + shakeY}, screen);
  };
  if (area == PresentArea::WholeScreen) {
    const Rect dst = destination(screen);
    if (!dst.empty()) convertRect(frame, p, surface, dst, shakeX, shakeY);
  } else {
    for (const auto& node : dirty.nodes()) {
      const Rect r = intersect(node.rect, screen);
      if (r.empty()) continue;
      const Rect dst = destination(r);
      if (dst.empty()) continue;
      convertRect(frame, p, surface, dst, shakeX, shakeY);
      display.endDrawRect(dst);
    }
  }
  display.endDraw();
}

}  // namespace sorel
