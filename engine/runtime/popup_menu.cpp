#include "engine/runtime/popup_menu.h"

namespace sorel {

bool PopupMenu::open(platform::Hwnd) { return false; }

bool PopupMenu::step(platform::Hwnd, InputState&) {
  m_open = false;
  return false;
}

void PopupMenu::setSaveSlots(const std::array<SaveSlotEntry, kSaveSlots>&, int) {}
void PopupMenu::setSaveEntriesEnabled(bool) {}
void PopupMenu::setReturnToChoiceEnabled(bool) {}

void dispatchCommand(AppContext&, unsigned) {}

}  // namespace sorel
