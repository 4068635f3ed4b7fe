#pragma once
// Short messages on the status line over the game ("saved", "could not be saved", a damaged
// archive): a box in the pop-up menu's colours at the top-left corner of the screen, in the
// status font, shown for a few seconds each, one after the other. They never wait for the
// player: the game goes on underneath.
#include <cstdint>
#include <deque>
#include <string>

#include "engine/graphics/dirty_rects.h"
#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"

namespace sorel {

class TextRenderer;

class StatusNotices {
 public:
  static constexpr uint32_t kShowMs = 2500;
  static constexpr int kGlyphSize = 12;

  /// Queues a message (CP932).
  void post(std::string text);
  /// The message on show, or empty.
  const std::string& shown() const { return m_shown; }
  bool idle() const { return m_shown.empty() && m_queue.empty(); }

  /// Before the frame is composed: a message whose time is up gives its box back to the game
  /// (its rectangle is redrawn), and the next one comes up.
  void beforeCompose(uint32_t now, DirtyRectList& dirty);
  /// After the frame was composed: the box is drawn when it is new or something was redrawn
  /// under it, and its rectangle is then presented with the frame.
  void afterCompose(Surface& surface, DirtyRectList& dirty, TextRenderer& renderer);
  /// The box of the message on show (empty when none).
  Rect box() const { return m_box; }

 private:
  std::deque<std::string> m_queue;
  std::string m_shown;
  uint32_t m_since = 0;
  bool m_drawn = false;
  Rect m_box;
};

}  // namespace sorel
