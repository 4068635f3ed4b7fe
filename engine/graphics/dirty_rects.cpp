#include "engine/graphics/dirty_rects.h"

#include <algorithm>
#include <cstddef>

namespace sorel {

bool addDirtyRect(DirtyRectList& list, const Rect& rect, bool merge) {
  if (rect.right < 0 || rect.left > list.m_width || rect.bottom < 0 || rect.top > list.m_height)
    return false;
  Rect r{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, list.m_width),
         std::min(rect.bottom, list.m_height)};
  // An empty rectangle would only cost a redraw pass over nothing, and with merge it could
  // join two rectangles that have nothing to do with each other.
  if (r.empty()) return false;
  if (merge) {
    auto& nodes = list.m_nodes;
    for (size_t i = 0; i < nodes.size();) {
      const Rect& n = nodes[i].rect;
      if (contains(n, r)) return false;
      if (contains(r, n)) {
        nodes.erase(nodes.begin() + static_cast<ptrdiff_t>(i));
        continue;
      }
      if (touches(n, r)) {
        r = unite(r, n);
        nodes.erase(nodes.begin() + static_cast<ptrdiff_t>(i));
        continue;
      }
      ++i;
    }
  }
  list.m_nodes.push_back({r, merge});
  return true;
}

int dirtyRectCount(const DirtyRectList& list) { return static_cast<int>(list.nodes().size()); }

bool dirtyRectAt(const DirtyRectList& list, int i, Rect& out) {
  if (i < 0 || i >= dirtyRectCount(list)) return false;
  out = list.nodes()[static_cast<size_t>(i)].rect;
  return true;
}

bool anyMergedDirtyRectTouches(const DirtyRectList& list, const Rect& rect) {
  return std::any_of(list.nodes().begin(), list.nodes().end(),
                     [&](const DirtyRectList::Node& n) { return n.merged && touches(n.rect, rect); });
}

void clearDirtyRects(DirtyRectList& list) { list.m_nodes.clear(); }

}  // namespace sorel
