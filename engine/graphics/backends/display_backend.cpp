// What both back-ends share: the start-up failure messages and present, the conversion of the
// changed rectangles of the 24-bit frame into the 16-bit frame buffer.
#include "engine/graphics/backends/display_backend.h"

#include "engine/graphics/backends/convert_rgb565.h"

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

std::vector<Rect> DisplayBackend::takeChanged() {
  std::vector<Rect> changed;
  changed.swap(m_changed);
  return changed;
}

void DisplayBackend::noteChanged(const Rect& rect) {
  const Rect r = intersect(rect, Rect{0, 0, m_width, m_height});
  if (r.empty()) return;
  for (const Rect& c : m_changed)
    if (c.left <= r.left && c.top <= r.top && c.right >= r.right && c.bottom >= r.bottom) return;
  // A frame changes in a handful of places; a long list (nobody took it for a while) costs the
  // window more in separate updates than one rectangle around them all.
  constexpr size_t kMostRects = 32;
  if (m_changed.size() >= kMostRects) {
    Rect all = r;
    for (const Rect& c : m_changed) all = unite(all, c);
    m_changed.assign(1, all);
    return;
  }
  m_changed.push_back(r);
}

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
  const rgb565::ConvertKernel convertRect = rgb565::convertKernel();
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
