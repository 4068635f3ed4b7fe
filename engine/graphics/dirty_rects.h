#pragma once
// The frame's dirty-rectangle list: every change on screen records the rectangle it touches;
// the frame routine redraws exactly these rectangles, the back-end presents them, and the list
// is emptied. Rectangles added with merge swallow and absorb the nodes they overlap or touch, so
// that many small changes in one place become one redraw.
#include <vector>

#include "engine/graphics/rect.h"

namespace sorel {

/// Rectangles in screen pixels, in the order they were added. Owned by the application object.
class DirtyRectList {
 public:
  struct Node {
    Rect rect;
    bool merged = false;  ///< added with merge
  };

  /// The screen the rectangles are clamped to (320 × 240 until set).
  void setBounds(int width, int height) {
    m_width = width;
    m_height = height;
  }
  int width() const { return m_width; }
  int height() const { return m_height; }
  const std::vector<Node>& nodes() const { return m_nodes; }

 private:
  friend bool addDirtyRect(DirtyRectList&, const Rect&, bool);
  friend void clearDirtyRects(DirtyRectList&);
  std::vector<Node> m_nodes;
  int m_width = 320;
  int m_height = 240;
};

/// Adds a rectangle. One lying wholly off the screen (right < 0, left > width, bottom < 0 or
/// top > height) is dropped; otherwise it is clamped to the screen, and dropped when nothing of
/// it remains. Without merge it is appended as it is. With merge the nodes are visited once in
/// order: a node containing the rectangle drops it; a node it contains is removed; a node it
/// overlaps or touches (edges inclusive) is removed and the rectangle grows to their union; then
/// the rectangle is appended. Returns true when it was added (or merged), false when dropped.
bool addDirtyRect(DirtyRectList& list, const Rect& rect, bool merge);

/// Number of rectangles.
int dirtyRectCount(const DirtyRectList& list);
/// The i-th rectangle in list order; false (out untouched) when i is out of range.
bool dirtyRectAt(const DirtyRectList& list, int i, Rect& out);
/// True when a node added with merge overlaps or touches the rectangle (edges inclusive).
bool anyMergedDirtyRectTouches(const DirtyRectList& list, const Rect& rect);
/// Empties the list.
void clearDirtyRects(DirtyRectList& list);

/// Overlap or contact, edges inclusive: what the merge rules test.
inline bool touches(const Rect& a, const Rect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}
/// Whether outer holds all of inner.
inline bool contains(const Rect& outer, const Rect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

}  // namespace sorel
