#include "engine/runtime/menu_commands.h"

#include "engine/story/game.h"
#include "engine/content/game_content.h"
#include "engine/resources/format.h"
#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "platform/text.h"

namespace sorel {
namespace {

/// The menu's labels are written here in UTF-8 and turned into the engine's CP932 once, while
/// the tree is built.
std::string sj(std::string_view utf8) { return platform::utf8ToCp932(utf8).value_or(std::string(utf8)); }

/// A radio group: first command number, the value the first item stands for, and the step
/// between the items' values (volumes go 100, 90, … 10).
struct Group {
  unsigned first;
  int count;
  int firstValue;
  int step;
  int32_t Settings::*field;
};

constexpr Group kGroups[] = {
    {40126, 10, 100, -10, &Settings::masterVol},    {40069, 10, 100, -10, &Settings::musicVol},
    {40079, 10, 100, -10, &Settings::voiceVol},     {40109, 10, 100, -10, &Settings::seVol},
    {40136, 10, 100, -10, &Settings::movVol},       {40212, 3, 0, 1, &Settings::voiceCutMode},
    {40163, 6, 0, 1, &Settings::keyCenCtrl},        {40120, 5, 0, 1, &Settings::keyCurMode},
    {40160, 3, 0, 1, &Settings::dispFreeMode},      {40051, 4, 0, 1, &Settings::transMode},
    {40055, 3, 0, 1, &Settings::messageSpeed},      {40216, 10, 0, 1, &Settings::messageAutoBase},
    {40226, 10, 0, 1, &Settings::messageAutoOne},   {40192, 4, 0, 1, &Settings::mesLogCount},
    {40178, 13, 0, 1, &Settings::mascotCharMode},
};

/// On/off settings and whether any non-zero value counts as on (else only 1 does).
struct Toggle {
  unsigned command;
  int32_t Settings::*field;
  bool nonZeroIsOn;
};

constexpr Toggle kToggles[] = {
    {40049, &Settings::effectUse, false},    {40125, &Settings::messageShadow, true},
    {40059, &Settings::readSkip, false},     {40146, &Settings::lockSkip, false},
    {40196, &Settings::vgaQuality, true},    {40158, &Settings::keyDoubleClick, false},
    {40177, &Settings::manaVoiceCut, false}, {40236, &Settings::messageAuto, true},
    {40098, &Settings::voiceAutolock, false}, {40191, &Settings::mesColorUse, false},
};

/// Adds "100%" … "10%" as commands first … first + 9.
void addPercentages(PopupMenu& menu, int parent, unsigned first) {
  for (int i = 0; i < 10; ++i) menu.addItem(parent, first + unsigned(i), MenuItemKind::Command, formatText("%d%c", 100 - 10 * i, '%'));
}

void addList(PopupMenu& menu, int parent, unsigned first, std::initializer_list<std::string_view> labels) {
  unsigned n = first;
  for (auto label : labels) menu.addItem(parent, n++, MenuItemKind::Command, sj(label));
}

void separator(PopupMenu& menu, int parent) { menu.addItem(parent, 0, MenuItemKind::Separator, ""); }

}  // namespace

void buildPopupMenu(PopupMenu& menu, const FontList& fonts) {
  menu.clear();
  const int root = PopupMenu::kRoot;
  const std::string undefined = sj("---- 未定義 ----");

  const int load = menu.addSubmenu(root, sj("ﾛｰﾄﾞ"));
  for (int i = 0; i < PopupMenu::kSaveSlots; ++i) menu.addItem(load, PopupMenu::kFirstLoad + unsigned(i), MenuItemKind::Command, undefined);
  const int save = menu.addSubmenu(root, sj("ｾｰﾌﾞ"));
  for (int i = 0; i < PopupMenu::kSaveSlots; ++i) menu.addItem(save, PopupMenu::kFirstSave + unsigned(i), MenuItemKind::Command, undefined);
  menu.addItem(root, PopupMenu::kReturnToChoice, MenuItemKind::Command, sj("ひとつ前の選択肢に戻る"));
  separator(menu, root);

  const int effects = menu.addSubmenu(root, sj("表示効果"));
  menu.addItem(effects, 40049, MenuItemKind::Command, sj("ｴﾌｪｸﾄ有効"));

  const int settings = menu.addSubmenu(root, sj("設定"));
  addPercentages(menu, menu.addSubmenu(settings, sj("基準音量")), 40126);
  struct Output {
    const char* label;
    unsigned volumes, play;
  };
  for (Output o : {Output{"ﾐｭｰｼﾞｯｸ", 40069, 40068}, Output{"音声", 40079, 40067}, Output{"効果音", 40109, 40108}}) {
    const int m = menu.addSubmenu(settings, sj(o.label));
    addPercentages(menu, menu.addSubmenu(m, sj("音量")), o.volumes);
    separator(menu, m);
    menu.addItem(m, o.play, MenuItemKind::Command, sj("再生"));
  }
  const int movie = menu.addSubmenu(settings, sj("動画"));
  addPercentages(menu, menu.addSubmenu(movie, sj("音量")), 40136);
  menu.addItem(movie, cmd::kVgaQuality, MenuItemKind::Command, sj("線形補間[VGA]"));
  addList(menu, menu.addSubmenu(settings, sj("音声ｶｯﾄﾓｰﾄﾞ")), 40212, {"ﾃｷｽﾄ送りで停止", "次の台詞の音声まで", "音声ﾌｪｰﾄﾞｱｳﾄ"});
  const int centre = menu.addSubmenu(settings, sj("ｶｰｿﾙ中央"));
  addList(menu, centre, 40163, {"無効", "ﾒﾆｭｰ表示", "ｳｨﾝﾄﾞｳ消去", "ﾃｷｽﾄ回想", "ｸｲｯｸｾｰﾌﾞ", "ｸｲｯｸﾛｰﾄﾞ"});
  separator(menu, centre);
  menu.addItem(centre, 40158, MenuItemKind::Command, sj("二度押し設定"));
  addList(menu, menu.addSubmenu(settings, sj("ｶｰｿﾙ動作ﾓｰﾄﾞ")), 40120, {"通常", "基本抑制", "横優先", "縦優先", "完全抑制"});
  const int manner = menu.addSubmenu(settings, sj("ﾏﾅｰﾓｰﾄﾞ"));
  addList(menu, manner, 40160, {"気にしないよ", "少しくらいなら……", "見ちゃダメお兄ちゃん！"});
  separator(menu, manner);
  menu.addItem(manner, 40177, MenuItemKind::Command, sj("音声も恥ずかしいの……"));

  const int message = menu.addSubmenu(root, sj("ﾒｯｾｰｼﾞ"));
  const int fontMenu = menu.addSubmenu(message, sj("ﾌｫﾝﾄ選択"));
  for (size_t i = 0; i < fonts.available.size(); ++i)
    menu.addItem(fontMenu, cmd::kFirstFont + unsigned(i), MenuItemKind::Command, fontMenuLabel(fonts.available[i]));
  const int smoothing = menu.addSubmenu(message, sj("ｱﾝﾁｴｲﾘｱｽ"));
  addList(menu, smoothing, 40051, {"無効", "弱", "中", "強"});
  separator(menu, smoothing);
  menu.addItem(smoothing, 40125, MenuItemKind::Command, sj("影文字"));
  addList(menu, menu.addSubmenu(message, sj("表示速度")), 40055, {"速い", "普通", "遅い"});
  const int autoMenu = menu.addSubmenu(message, sj("自動送り"));
  menu.addItem(autoMenu, 40236, MenuItemKind::Command, sj("有効にする"));
  const int base = menu.addSubmenu(autoMenu, sj("基準"));
  for (int i = 0; i < 10; ++i)
    menu.addItem(base, 40216 + unsigned(i), MenuItemKind::Command, sj("基準：") + formatText("%dms", 200 * (i + 1)));
  const int perChar = menu.addSubmenu(autoMenu, sj("文字"));
  for (int i = 0; i < 10; ++i)
    menu.addItem(perChar, 40226 + unsigned(i), MenuItemKind::Command, sj("文字：") + formatText("%dms", 10 * i));
  menu.addItem(autoMenu, 40098, MenuItemKind::Command, sj("音声と同期させる"));
  const int skip = menu.addSubmenu(message, sj("ｽｷｯﾌﾟ制御"));
  menu.addItem(skip, 40059, MenuItemKind::Command, sj("未読停止"));
  menu.addItem(skip, 40146, MenuItemKind::Command, sj("ｽｷｯﾌﾟﾛｯｸ"));
  addList(menu, menu.addSubmenu(message, sj("文字色")), 40191, {"キャラ別に設定"});
  addList(menu, menu.addSubmenu(message, sj("過去ログ記録数")), 40192, {"32", "64", "128", "256"});

  const int mascot = menu.addSubmenu(root, sj("ﾏｽｺｯﾄ設定"));
  menu.addItem(mascot, cmd::kFirstMascot, MenuItemKind::Command, sj("未設定"));
  for (size_t i = 0; i < heroines().size(); ++i)
    menu.addItem(mascot, cmd::kFirstMascot + 1 + unsigned(i), MenuItemKind::Command, heroines()[i].menuLabel);
  separator(menu, root);
  menu.addItem(root, cmd::kTitle, MenuItemKind::Command, sj("ﾀｲﾄﾙに戻る"));
  separator(menu, root);
  menu.addItem(root, cmd::kQuit, MenuItemKind::Command, sj("終了"));

  // Saving needs a game in progress: the story enables the entries. Going back to the previous
  // choice needs that choice's save, made when it is decided.
  menu.setSaveEntriesEnabled(false);
  menu.setReturnToChoiceEnabled(false);
  for (int i = 0; i < PopupMenu::kSaveSlots; ++i) menu.setEnabled(PopupMenu::kFirstLoad + unsigned(i), false);
}

void syncMenuMarks(PopupMenu& menu, const Settings& s, int fontCount) {
  for (const Group& g : kGroups)
    for (int i = 0; i < g.count; ++i) menu.setChecked(g.first + unsigned(i), s.*g.field == g.firstValue + g.step * i);
  for (const Toggle& t : kToggles) menu.setChecked(t.command, t.nonZeroIsOn ? s.*t.field != 0 : s.*t.field == 1);
  struct Play {
    unsigned command;
    int32_t value;
  };
  for (Play p : {Play{cmd::kMusicPlay, s.pcm}, Play{cmd::kVoicePlay, s.voicePlay}, Play{cmd::kSePlay, s.sePlay}}) {
    // Anything from 2 on plays, so anything from 2 on shows the mark.
    menu.setEnabled(p.command, p.value != 0);
    menu.setChecked(p.command, p.value >= 2);
  }
  // Movies are only ever enlarged on a 640-wide screen.
  menu.setEnabled(cmd::kVgaQuality, isVga());
  for (int i = 0; i < fontCount; ++i) menu.setChecked(cmd::kFirstFont + unsigned(i), s.messageFontIndex == i);
}

CommandResult applyCommand(Settings& s, const FontList& fonts, unsigned n) {
  CommandResult r;
  auto toggle = [](int32_t& v) { v = v != 1 ? 1 : 0; };
  auto cycle = [](int32_t& v) { v = v == 1 ? 2 : 1; };
  if (n == cmd::kQuit) return {CommandEffect::Quit};
  if (n == cmd::kTitle) return {CommandEffect::ReturnToTitle};
  if (n >= PopupMenu::kFirstLoad && n < PopupMenu::kFirstLoad + PopupMenu::kSaveSlots)
    return {CommandEffect::Load, int(n - PopupMenu::kFirstLoad)};
  if (n >= PopupMenu::kFirstSave && n < PopupMenu::kFirstSave + PopupMenu::kSaveSlots)
    return {CommandEffect::Save, int(n - PopupMenu::kFirstSave)};
  if (n == PopupMenu::kReturnToChoice) return {CommandEffect::ReturnToChoice};
  if (n == cmd::kMusicPlay) {
    cycle(s.pcm);
    return {CommandEffect::MusicSwitch};
  }
  if (n == cmd::kVoicePlay) {
    cycle(s.voicePlay);
    return {CommandEffect::VoiceSwitch};
  }
  if (n == cmd::kSePlay) {
    cycle(s.sePlay);
    return {CommandEffect::EffectSwitch};
  }
  if (n >= cmd::kFirstFont && n < cmd::kFirstFont + unsigned(FontList::kMax)) {
    const size_t i = n - cmd::kFirstFont;
    if (i >= fonts.available.size()) return r;
    s.messageFontIndex = int(i);
    s.messageFontName = fonts.available[i];
    return {CommandEffect::Font};
  }
  for (const Toggle& t : kToggles)
    if (t.command == n) {
      toggle(s.*t.field);
      return {n == 40125 ? CommandEffect::RedrawText : CommandEffect::Setting};
    }
  for (const Group& g : kGroups) {
    if (n < g.first || n >= g.first + unsigned(g.count)) continue;
    s.*g.field = g.firstValue + g.step * int(n - g.first);
    switch (g.first) {
      case 40126: return {CommandEffect::MasterVolume};
      case 40069: return {CommandEffect::MusicVolume};
      case 40079: return {CommandEffect::VoiceVolume};
      case 40109: return {CommandEffect::EffectVolume};
      case 40136: return {CommandEffect::MovieVolume};
      case 40051: return {CommandEffect::RedrawText};
      case 40160: return {CommandEffect::DisplayFilter};
      case 40178: return {CommandEffect::Mascot};
      default: return {CommandEffect::Setting};
    }
  }
  return r;
}

void dispatchCommand(AppContext& app, unsigned n) {
  FontList none;
  const FontList& fonts = app.fontList() ? *app.fontList() : none;
  const CommandResult r = applyCommand(app.settings(), fonts, n);
  Game* game = app.game();
  switch (r.effect) {
    case CommandEffect::None: return;
    case CommandEffect::Setting: break;
    case CommandEffect::Quit: platform::postMessage(app.window(), platform::WM_CLOSE, 0, 0); return;
    case CommandEffect::ReturnToTitle:
      if (game) {
        game->endScript();
        game->mascotVoice(7);
      }
      return;
    case CommandEffect::Load: app.loadGame(r.slot); return;
    case CommandEffect::Save: app.saveGame(r.slot); return;
    case CommandEffect::ReturnToChoice: app.returnToLastChoice(); return;
    case CommandEffect::RedrawText: app.redrawWholeScreen(); break;
    case CommandEffect::MusicSwitch: app.musicSwitchChanged(); break;
    case CommandEffect::VoiceSwitch: app.voiceSwitchChanged(); break;
    case CommandEffect::EffectSwitch: app.effectSwitchChanged(); break;
    case CommandEffect::MusicVolume: app.volumeChanged(SoundOutput::Music); break;
    case CommandEffect::VoiceVolume: app.volumeChanged(SoundOutput::Voice); break;
    case CommandEffect::EffectVolume: app.volumeChanged(SoundOutput::Effect); break;
    case CommandEffect::MovieVolume: app.volumeChanged(SoundOutput::Movie); break;
    case CommandEffect::MasterVolume: app.masterVolumeChanged(); break;
    case CommandEffect::DisplayFilter:
      if (game) game->applyDisplayFilter(true);
      break;
    case CommandEffect::Mascot:
      if (game) {
        game->mascotVoice(23);
        game->rebuildMascotOverlay();
      }
      break;
    case CommandEffect::Font:
      if (game) game->applyMessageFont(app.settings().messageFontName);
      break;
  }
  syncMenuMarks(app.popupMenu(), app.settings(), int(fonts.available.size()));
}

}  // namespace sorel
