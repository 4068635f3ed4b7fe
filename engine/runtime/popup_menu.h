#pragma once
// The in-game pop-up menu: a tree of text items built once at start-up, worked with the keys
// and the pen, and drawn by the engine itself over the game into the frame buffer, one box at
// the top-left corner showing the current level. Choosing an enabled command item closes the
// menu and posts WM_COMMAND with its number; the window procedure then calls dispatchCommand.
//
//   PopupMenu menu;
//   int settings = menu.addSubmenu(PopupMenu::kRoot, label);     // CP932 labels
//   menu.addItem(settings, 40067, MenuItemKind::Command, label);
//   menu.setChecked(40067, true);
//   menu.setScreen({&display, restore, shown, status});           // before it is first opened
//   if (menu.open(hwnd)) while (menu.step(hwnd, input)) { ... }   // the idle pass's job
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/graphics/picture.h"
#include "engine/graphics/rect.h"
#include "platform/messages.h"

namespace sorel {

struct InputState;
class DisplayBackend;
class TextRenderer;

enum class MenuItemKind { Command, Submenu, Separator };

struct MenuItem {
  std::string label;  ///< CP932, shown as stored (cut only to keep the box on the screen)
  MenuItemKind kind = MenuItemKind::Command;
  unsigned command = 0;  ///< command items only
  int submenu = -1;      ///< submenu items: the menu they open
  bool enabled = true;
  bool checked = false;
  Picture thumbnail;     ///< the save slots' pictures (empty for none)
};

struct Menu {
  std::string label;  ///< CP932; the root's is empty
  int parent = -1;
  std::vector<MenuItem> items;
};

/// What the header's status line shows.
struct MenuStatus {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
  int batteryPercent = 100;
  uint64_t freeMemoryMB = 0;
  int memoryLoadPercent = 0;
  uint64_t freeStorageMB = 0;
};

/// The status line as the header writes it: date, time and battery; in VGA mode also free
/// memory with the memory load, and free storage.
std::string formatMenuStatus(const MenuStatus& status, bool vga);
/// Cuts a CP932 text to at most maxBytes bytes without splitting a double-byte character.
std::string cutLabel(std::string_view text, size_t maxBytes);
/// A font name as the font menu lists it: cut to 24 bytes, or to 25 when byte 24 would split a
/// double-byte character.
std::string fontMenuLabel(std::string_view name);

class PopupMenu {
 public:
  static constexpr int kRoot = 0;
  /// Item geometry of the box (pixels from its top-left corner).
  static constexpr int kItemTop = 34, kItemHeight = 13, kHeaderBottom = 33, kItemInset = 11;
  /// Box colours (red, green, blue).
  static constexpr uint8_t kFace[3] = {212, 208, 200};

  PopupMenu();
  ~PopupMenu();
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  /// Forgets the whole tree (the root stays, empty) and closes the menu.
  void clear();
  /// Adds a submenu item to parent and returns the new menu's number (-1 for a bad parent).
  int addSubmenu(int parent, std::string_view label);
  /// Adds a command or separator item to menu.
  void addItem(int menu, unsigned commandNumber, MenuItemKind kind, std::string_view label);
  /// Every command item with that number (enabled items post their command; others are greyed).
  void setEnabled(unsigned commandNumber, bool flag);
  void setChecked(unsigned commandNumber, bool flag);
  /// The first command item with that number, or null.
  const MenuItem* find(unsigned commandNumber) const;
  MenuItem* find(unsigned commandNumber);
  /// Relabels a command item (the save slots); its thumbnail goes with it.
  void setLabel(unsigned commandNumber, std::string_view label);

  /// Where the menu is drawn. restore presents a screen rectangle again from the composed frame
  /// (what lies under the menu); shown tells the shell the device changed; status gives the
  /// header's status line. Without a display the menu works but draws nothing.
  struct Screen {
    DisplayBackend* display = nullptr;
    std::function<void(const Rect&)> restore;
    std::function<void()> shown;
    std::function<MenuStatus()> status;
  };
  void setScreen(Screen screen) { m_screen = std::move(screen); }

  /// Opens the menu at the root with nothing highlighted; true when it opened, false when it
  /// was open already.
  bool open(platform::Hwnd window);
  bool isOpen() const { return m_open; }
  /// One menu step while open: keys, then the pen, then drawing when something changed. False
  /// once the menu has closed (the screen under it is then presented again).
  bool step(platform::Hwnd window, InputState& input);
  /// Closes the menu without a command and presents the screen under it again.
  void close();
  /// The screen was painted over (the window's WM_PAINT): the box is drawn again at the next
  /// step.
  void invalidate() { m_dirty = true; }

  /// One save slot as the save folder shows it (slots 0..14, the menu's LOAD_001 … and
  /// SAVE_001 …): the label both entries carry, whether the load entry is enabled, and the
  /// slot's thumbnail (empty picture for none).
  struct SaveSlotEntry {
    std::string label;  ///< CP932
    bool loadEnabled = false;
    Picture thumbnail;
  };
  static constexpr int kSaveSlots = 15;
  static constexpr unsigned kFirstLoad = 40017, kFirstSave = 40032, kReturnToChoice = 40215;
  /// Relabels the fifteen load and save entries; newest (0..14, or -1) gets the check mark in
  /// both lists.
  void setSaveSlots(const std::array<SaveSlotEntry, kSaveSlots>& slots, int newest);
  /// Enables or disables the fifteen save entries (the story enables them, a replay does not).
  /// They start disabled.
  void setSaveEntriesEnabled(bool enabled);
  bool saveEntriesEnabled() const { return m_saveEnabled; }
  /// Enables or disables "return to the previous choice" (40215).
  void setReturnToChoiceEnabled(bool enabled) { setEnabled(kReturnToChoice, enabled); }

  // What is on show (tests, and the title's own checks) --------------------------------------
  int currentMenu() const { return m_path.empty() ? kRoot : m_path.back(); }
  const Menu& menu(int index) const { return m_menus[size_t(index)]; }
  int menuCount() const { return int(m_menus.size()); }
  int highlight() const { return m_highlight; }
  /// The header's second line: "[" + label + "]" per open level, joined by "->".
  std::string pathText() const;
  /// The box of the current level (screen pixels), as it is drawn and hit-tested.
  Rect boxRect() const;
  /// Labels as the box shows them (cut so that the box stays on the screen).
  std::string shownLabel(const MenuItem& item) const;
  /// The item under a pen position of the current box, or -1 for none (the header, the edge,
  /// between items, or outside).
  int itemAt(int x, int y) const;

 private:
  enum class PenZone { Outside, Header, Inside, Item };
  PenZone penZone(int x, int y, int& item) const;
  bool selectable(const MenuItem& item) const;
  void moveHighlight(int direction);
  void goBack();
  void enter(int itemIndex, platform::Hwnd window);
  void closeMenu();
  void draw();
  void drawBox(Surface& box, const std::string& status);
  int maxLabelBytes(int reserve) const;
  void drawText(Surface& box, int x, int y, std::string_view text, const uint8_t rgb[3]);
  void refreshStatus();

  std::vector<Menu> m_menus;
  std::vector<int> m_path;  // open submenus below the root
  int m_highlight = -1;
  bool m_open = false;
  bool m_dirty = false;
  bool m_saveEnabled = false;
  Rect m_shown;       // what the last drawing covered (box and thumbnail), empty when none
  Rect m_shownThumb;
  std::string m_statusText;  // the header's first line as last read
  uint32_t m_lastStatus = 0;
  Screen m_screen;
  std::unique_ptr<TextRenderer> m_text;
};

/// The WM_COMMAND handler for menu command numbers (low 16 bits of wParam): changes the setting
/// with its side effects, or loads, saves, returns to the title or quits.
class AppContext;
void dispatchCommand(AppContext& app, unsigned commandNumber);

}  // namespace sorel
