#pragma once
// The in-game pop-up menu. FIXME: only the interface the frame loop and the keys need so far;
// the menu tree, drawing and commands come with the menu work.
#include "platform/messages.h"

namespace sorel {

struct InputState;

class PopupMenu {
 public:
  /// Opens the menu over the game; true when it opened, false when it was open already. The
  /// menu is not built yet, so it never opens.
  bool open(platform::Hwnd window);
  bool isOpen() const { return m_open; }
  /// One menu step while open (input and drawing); false once the menu has closed.
  bool step(platform::Hwnd window, InputState& input);
  void close() { m_open = false; }

 private:
  bool m_open = false;
};

/// The WM_COMMAND handler for menu command numbers (low 16 bits of wParam). Nothing is
/// dispatched yet.
class AppContext;
void dispatchCommand(AppContext& app, unsigned commandNumber);

}  // namespace sorel
