#pragma once
// The in-game pop-up menu. FIXME: only the interface the frame loop and the keys need so far;
// the menu tree, drawing and commands come with the menu work.
#include <array>
#include <string>

#include "engine/graphics/picture.h"
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

  /// One save slot as the save folder shows it (slots 0..14, the menu's LOAD_001 … and
  /// SAVE_001 …): the label both entries carry, whether the load entry is enabled, and the
  /// slot's thumbnail (empty picture for none).
  struct SaveSlotEntry {
    std::string label;  ///< CP932
    bool loadEnabled = false;
    Picture thumbnail;
  };
  static constexpr int kSaveSlots = 15;
  /// Relabels the fifteen load and save entries; newest (0..14, or -1) gets the check mark in
  /// both lists.
  void setSaveSlots(const std::array<SaveSlotEntry, kSaveSlots>& slots, int newest);
  /// Enables or disables the fifteen save entries (the story enables them, a replay does not).
  void setSaveEntriesEnabled(bool enabled);
  /// Enables or disables "return to the previous choice" (40215).
  void setReturnToChoiceEnabled(bool enabled);

 private:
  bool m_open = false;
};

/// The WM_COMMAND handler for menu command numbers (low 16 bits of wParam). Nothing is
/// dispatched yet.
class AppContext;
void dispatchCommand(AppContext& app, unsigned commandNumber);

}  // namespace sorel
