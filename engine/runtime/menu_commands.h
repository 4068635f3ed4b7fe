#pragma once
// The pop-up menu's contents and commands: the tree with its labels and command numbers, the
// marks that mirror the settings, and what each command number changes. dispatchCommand
// (popup_menu.h) puts a command's side effects into action on the application object.
#include "engine/runtime/popup_menu.h"
#include "engine/state/settings.h"

namespace sorel {

/// Menu command numbers the dispatcher knows by name.
namespace cmd {
constexpr unsigned kQuit = 40007;
constexpr unsigned kTitle = 40008;
constexpr unsigned kVoicePlay = 40067;
constexpr unsigned kMusicPlay = 40068;
constexpr unsigned kSePlay = 40108;
constexpr unsigned kVgaQuality = 40196;
constexpr unsigned kFirstFont = 40197;
constexpr unsigned kFirstMascot = 40178;
}  // namespace cmd

/// Builds the whole tree once (start-up, before the settings are read): the root, the
/// settings and message submenus, one font item per available font and one mascot item per
/// heroine. Save and load entries read "---- 未定義 ----" until the save folder relabels them;
/// the save entries and "ひとつ前の選択肢に戻る" start disabled.
void buildPopupMenu(PopupMenu& menu, const FontList& fonts);

/// Sets every check mark and enabled flag from the settings: each radio group checks the item
/// of its value (none when no item has it), on/off items are checked when on, the three play
/// switches are greyed at 0 and checked from 2 on (every value that plays), and the movie interpolation is greyed below a
/// 640-wide screen.
void syncMenuMarks(PopupMenu& menu, const Settings& s, int fontCount);

/// What a command needs beyond its new setting value.
enum class CommandEffect {
  None,          ///< not a command (or a number without one)
  Setting,       ///< only the value changed
  Quit,
  ReturnToTitle,
  Load,          ///< slot = the save slot 0..14
  Save,
  ReturnToChoice,
  RedrawText,    ///< anti-aliasing or shadow: every text is drawn again
  MusicSwitch,
  VoiceSwitch,
  EffectSwitch,
  MusicVolume,
  VoiceVolume,
  EffectVolume,
  MovieVolume,
  MasterVolume,
  DisplayFilter,
  Mascot,
  Font,
};

struct CommandResult {
  CommandEffect effect = CommandEffect::None;
  int slot = -1;
};

/// Stores the new value a command gives its setting (a toggle sets 1 unless the value was 1,
/// then 0) and says what else has to happen. Loading, saving, the title and quitting change no
/// setting. A font command for an index beyond the list changes nothing.
CommandResult applyCommand(Settings& s, const FontList& fonts, unsigned commandNumber);

}  // namespace sorel
