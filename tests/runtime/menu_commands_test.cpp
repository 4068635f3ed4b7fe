// The menu's contents and commands: the tree as the player finds it, the marks mirroring the
// settings, what every command number does to its setting, and the side effects through the
// application object.
#include "engine/runtime/menu_commands.h"

#include <gtest/gtest.h>

#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "engine/state/profile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tests/runtime/app_fixture.h"
#include "tests/runtime/waiting_game.h"

namespace sorel {
namespace {

std::string sj(const char* utf8) { return *platform::utf8ToCp932(utf8); }

FontList twoFonts() {
  FontList f;
  f.available = {"Alpha", std::string(30, 'B')};
  return f;
}

/// The labels of a menu's items, separators as "-".
std::vector<std::string> labels(const PopupMenu& m, int menu) {
  std::vector<std::string> out;
  for (const auto& item : m.menu(menu).items)
    out.push_back(item.kind == MenuItemKind::Separator ? "-" : *platform::cp932ToUtf8(item.label));
  return out;
}

int submenuOf(const PopupMenu& m, int parent, const char* utf8) {
  for (const auto& item : m.menu(parent).items)
    if (item.kind == MenuItemKind::Submenu && item.label == sj(utf8)) return item.submenu;
  return -1;
}

TEST(MenuTree, HoldsEveryLabelAndNumber) {
  screenWidth = 320;
  PopupMenu m;
  FontList fonts = twoFonts();
  buildPopupMenu(m, fonts);
  using V = std::vector<std::string>;
  EXPECT_EQ(labels(m, PopupMenu::kRoot), (V{"ﾛｰﾄﾞ", "ｾｰﾌﾞ", "ひとつ前の選択肢に戻る", "-", "表示効果", "設定", "ﾒｯｾｰｼﾞ",
                                            "ﾏｽｺｯﾄ設定", "-", "ﾀｲﾄﾙに戻る", "-", "終了"}));
  const int settings = submenuOf(m, 0, "設定");
  EXPECT_EQ(labels(m, settings), (V{"基準音量", "ﾐｭｰｼﾞｯｸ", "音声", "効果音", "動画", "音声ｶｯﾄﾓｰﾄﾞ", "ｶｰｿﾙ中央",
                                    "ｶｰｿﾙ動作ﾓｰﾄﾞ", "ﾏﾅｰﾓｰﾄﾞ"}));
  const int voice = submenuOf(m, settings, "音声");
  EXPECT_EQ(labels(m, voice), (V{"音量", "-", "再生"}));
  EXPECT_EQ(m.menu(voice).items[2].command, 40067u);
  EXPECT_EQ(labels(m, submenuOf(m, voice, "音量"))[3], "70%");
  const int message = submenuOf(m, 0, "ﾒｯｾｰｼﾞ");
  const int autoMenu = submenuOf(m, message, "自動送り");
  EXPECT_EQ(labels(m, autoMenu), (V{"有効にする", "基準", "文字", "音声と同期させる"}));
  EXPECT_EQ(labels(m, submenuOf(m, autoMenu, "基準")).back(), "基準：2000ms");
  EXPECT_EQ(labels(m, submenuOf(m, autoMenu, "文字")).front(), "文字：0ms");
  // A 30-byte font name is listed cut to 24.
  EXPECT_EQ(m.find(40198)->label, std::string(24, 'B'));
  EXPECT_EQ(m.find(40199), nullptr);
  const int mascot = submenuOf(m, 0, "ﾏｽｺｯﾄ設定");
  ASSERT_EQ(m.menu(mascot).items.size(), 13u);
  EXPECT_EQ(m.menu(mascot).items[12].command, 40190u);
  // Slots read "---- 未定義 ----"; none can be loaded, saving waits for a game, and going back
  // to the previous choice for a choice's save.
  EXPECT_EQ(m.find(40017)->label, sj("---- 未定義 ----"));
  EXPECT_FALSE(m.find(40017)->enabled);
  EXPECT_FALSE(m.find(40046)->enabled);
  EXPECT_FALSE(m.find(40215)->enabled);
}

TEST(MenuMarks, MirrorTheSettings) {
  screenWidth = 320;
  PopupMenu m;
  FontList fonts = twoFonts();
  buildPopupMenu(m, fonts);
  Settings s;
  s.pcm = 0;
  s.voicePlay = 1;
  s.sePlay = 3;      // plays like 2, so shows the mark like 2
  s.masterVol = 55;  // matches no item
  s.musicVol = 80;
  s.transMode = 3;
  s.messageFontIndex = 1;
  s.mascotCharMode = 12;
  syncMenuMarks(m, s, 2);
  struct Mark {
    unsigned command;
    bool enabled, checked;
  };
  for (Mark k : {Mark{40068, false, false}, Mark{40067, true, false}, Mark{40108, true, true},
                 Mark{40071, true, true}, Mark{40070, true, false}, Mark{40054, true, true}, Mark{40051, true, false},
                 Mark{40198, true, true}, Mark{40197, true, false}, Mark{40190, true, true}, Mark{40178, true, false},
                 Mark{40196, false, true}, Mark{40049, true, true}, Mark{40056, true, true}}) {
    SCOPED_TRACE(k.command);
    EXPECT_EQ(m.find(k.command)->enabled, k.enabled);
    EXPECT_EQ(m.find(k.command)->checked, k.checked);
  }
  for (unsigned c = 40126; c <= 40135; ++c) EXPECT_FALSE(m.find(c)->checked) << "a volume of 55 checks none";
  screenWidth = 640;
  syncMenuMarks(m, s, 2);
  EXPECT_TRUE(m.find(40196)->enabled) << "movie interpolation only in VGA mode";
  screenWidth = 320;
}

TEST(MenuCommands, ChangeTheirSettings) {
  FontList fonts = twoFonts();
  struct Case {
    unsigned command;
    int32_t Settings::*field;
    int32_t before, after;
    CommandEffect effect;
  };
  const Case cases[] = {
      {40049, &Settings::effectUse, 1, 0, CommandEffect::Setting},
      {40049, &Settings::effectUse, 7, 1, CommandEffect::Setting},
      {40125, &Settings::messageShadow, 0, 1, CommandEffect::RedrawText},
      {40053, &Settings::transMode, 0, 2, CommandEffect::RedrawText},
      {40057, &Settings::messageSpeed, 1, 2, CommandEffect::Setting},
      {40067, &Settings::voicePlay, 1, 2, CommandEffect::VoiceSwitch},
      {40067, &Settings::voicePlay, 2, 1, CommandEffect::VoiceSwitch},
      {40108, &Settings::sePlay, 0, 1, CommandEffect::EffectSwitch},
      {40068, &Settings::pcm, 1, 2, CommandEffect::MusicSwitch},
      {40128, &Settings::masterVol, 100, 80, CommandEffect::MasterVolume},
      {40078, &Settings::musicVol, 100, 10, CommandEffect::MusicVolume},
      {40080, &Settings::voiceVol, 100, 90, CommandEffect::VoiceVolume},
      {40109, &Settings::seVol, 50, 100, CommandEffect::EffectVolume},
      {40145, &Settings::movVol, 100, 10, CommandEffect::MovieVolume},
      {40214, &Settings::voiceCutMode, 0, 2, CommandEffect::Setting},
      {40168, &Settings::keyCenCtrl, 1, 5, CommandEffect::Setting},
      {40158, &Settings::keyDoubleClick, 0, 1, CommandEffect::Setting},
      {40124, &Settings::keyCurMode, 0, 4, CommandEffect::Setting},
      {40161, &Settings::dispFreeMode, 0, 1, CommandEffect::DisplayFilter},
      {40177, &Settings::manaVoiceCut, 1, 0, CommandEffect::Setting},
      {40183, &Settings::mascotCharMode, 0, 5, CommandEffect::Mascot},
      {40236, &Settings::messageAuto, 0, 1, CommandEffect::Setting},
      {40225, &Settings::messageAutoBase, 0, 9, CommandEffect::Setting},
      {40227, &Settings::messageAutoOne, 0, 1, CommandEffect::Setting},
      {40098, &Settings::voiceAutolock, 0, 1, CommandEffect::Setting},
      {40059, &Settings::readSkip, 0, 1, CommandEffect::Setting},
      {40146, &Settings::lockSkip, 1, 0, CommandEffect::Setting},
      {40191, &Settings::mesColorUse, 1, 0, CommandEffect::Setting},
      {40195, &Settings::mesLogCount, 1, 3, CommandEffect::Setting},
      {40196, &Settings::vgaQuality, 1, 0, CommandEffect::Setting},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Settings s;
    s.*c.field = c.before;
    EXPECT_EQ(applyCommand(s, fonts, c.command).effect, c.effect);
    EXPECT_EQ(s.*c.field, c.after);
  }
  Settings s;
  const Settings untouched = s;
  for (unsigned n : {40009u, 40047u, 40060u, 40150u, 40006u, 40237u, 40199u}) {
    EXPECT_EQ(applyCommand(s, fonts, n).effect, CommandEffect::None) << n;
  }
  EXPECT_EQ(s.messageFontIndex, untouched.messageFontIndex);
  EXPECT_EQ(applyCommand(s, fonts, 40198).effect, CommandEffect::Font);
  EXPECT_EQ(s.messageFontIndex, 1);
  EXPECT_EQ(s.messageFontName, fonts.available[1]);
  CommandResult load = applyCommand(s, fonts, 40031), save = applyCommand(s, fonts, 40032);
  EXPECT_EQ(load.effect, CommandEffect::Load);
  EXPECT_EQ(load.slot, 14);
  EXPECT_EQ(save.effect, CommandEffect::Save);
  EXPECT_EQ(save.slot, 0);
  EXPECT_EQ(applyCommand(s, fonts, 40008).effect, CommandEffect::ReturnToTitle);
  EXPECT_EQ(applyCommand(s, fonts, 40215).effect, CommandEffect::ReturnToChoice);
}

/// The commands on a whole application: the settings, the marks and the side effects.
class DispatchTest : public test::AppFixture<> {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    platform::writeWholeFile(folder + "sorel.cfg", std::vector<uint8_t>(config.begin(), config.end()), false);
    start();
  }
  void command(unsigned n) {
    platform::postMessage(app->window(), platform::WM_COMMAND, n, 0);
    drain();
  }
  /// A key message (down or up, auto-repeat being more downs), then one pass of the loop.
  void key(int vk, bool down) {
    platform::postMessage(app->window(), down ? platform::WM_KEYDOWN : platform::WM_KEYUP, platform::WParam(vk), 1);
    drain();
    app->idlePass();
  }

  std::string config = "[MUSIC_CONFIG]\r\nPCM=0\r\nMUSIC_VOL=80\r\n";
};

TEST_F(DispatchTest, MarksAreSetFromTheSettingsAtStartUp) {
  EXPECT_FALSE(app->popupMenu().find(40068)->enabled) << "no music: its switch is greyed";
  EXPECT_TRUE(app->popupMenu().find(40071)->checked);
  EXPECT_TRUE(app->popupMenu().find(40067)->enabled);
  EXPECT_FALSE(app->popupMenu().find(40067)->checked) << "voices start off";
  EXPECT_FALSE(app->popupMenu().saveEntriesEnabled());
  EXPECT_FALSE(app->popupMenu().find(40215)->enabled) << "no choice saved to go back to";
}

TEST_F(DispatchTest, TheDKeyStepsTheMannerModeWithItsMarks) {
  for (int mode : {1, 2, 0}) {
    app->input().count(Key::D) = 1;
    app->idlePass();
    EXPECT_EQ(app->settings().dispFreeMode, mode);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(app->popupMenu().find(40160 + unsigned(i))->checked, i == mode) << mode;
  }
}

TEST_F(DispatchTest, AHeldKeyIsOnePressForTheMenuAndForTheStoryAfterIt) {
  ASSERT_EQ(test::writeWaitingGame(host), "");
  ASSERT_TRUE(app->startStory("01-01.bin"));
  for (int i = 0; i < 30; ++i) app->idlePass();
  ASSERT_EQ(app->game()->message.markerShown, 1u);
  // X (the menu key) held: auto-repeat neither closes the menu nor opens it again.
  for (int i = 0; i < 4; ++i) {
    key('X', true);
    EXPECT_TRUE(app->popupMenu().isOpen()) << i;
  }
  key('X', false);
  // C held while the menu is open and after a fresh X closed it: the story does not advance.
  key('C', true);
  key('C', true);
  key('X', true);
  ASSERT_FALSE(app->popupMenu().isOpen());
  key('X', false);
  for (int i = 0; i < 3; ++i) key('C', true);
  EXPECT_EQ(app->game()->backlog().count(), 0u) << "the message is still waiting";
  key('C', false);
  key('C', true);
  EXPECT_EQ(app->game()->backlog().count(), 1u) << "a new press advances";
}

TEST_F(DispatchTest, MasterVolumeScalesEveryOutput) {
  command(40133);  // "30%"
  EXPECT_EQ(app->settings().masterVol, 30);
  EXPECT_EQ(app->sound().volume(SoundOutput::Music), 24);
  EXPECT_EQ(app->sound().volume(SoundOutput::Voice), 30);
  EXPECT_TRUE(app->popupMenu().find(40133)->checked);
  EXPECT_FALSE(app->popupMenu().find(40126)->checked) << "the group's old mark goes";
}

TEST_F(DispatchTest, StrongSmoothingRedrawsTheWholeScreenAtTheNextFrame) {
  command(40054);  // "強"
  EXPECT_EQ(app->settings().transMode, 3);
  ASSERT_EQ(app->dirtyList().nodes().size(), 1u);
  EXPECT_EQ(app->dirtyList().nodes()[0].rect, (Rect{0, 0, 320, 240}));
  EXPECT_TRUE(app->popupMenu().find(40054)->checked);
}

TEST_F(DispatchTest, TheVoiceSwitchChosenWithKeysIsWrittenAtExit) {
  // The handheld's X key is B: it opens the menu; then 設定 → 音声 → 再生.
  auto press = [&](int vk) {
    platform::postMessage(app->window(), platform::WM_KEYDOWN, platform::WParam(vk), 1);
    drain();
    app->idlePass();
    platform::postMessage(app->window(), platform::WM_KEYUP, platform::WParam(vk), 1);
    drain();
  };
  press('X');
  ASSERT_TRUE(app->popupMenu().isOpen());
  // ﾛｰﾄﾞ, ｾｰﾌﾞ, (ひとつ前の選択肢に戻る greyed and the separator passed over) 表示効果, 設定.
  for (int i = 0; i < 4; ++i) press(platform::VK_DOWN);
  press(platform::VK_RIGHT);
  for (int i = 0; i < 3; ++i) press(platform::VK_DOWN);
  press(platform::VK_RIGHT);
  for (int i = 0; i < 2; ++i) press(platform::VK_DOWN);
  press(platform::VK_RIGHT);
  EXPECT_FALSE(app->popupMenu().isOpen());
  EXPECT_EQ(app->settings().voicePlay, 2);
  EXPECT_TRUE(app->popupMenu().find(40067)->checked);
  // The greyed music switch cannot be chosen: right on it posts nothing.
  press('X');
  for (int i = 0; i < 4; ++i) press(platform::VK_DOWN);
  press(platform::VK_RIGHT);
  press(platform::VK_DOWN);
  press(platform::VK_DOWN);
  press(platform::VK_RIGHT);  // ﾐｭｰｼﾞｯｸ
  press(platform::VK_DOWN);
  press(platform::VK_DOWN);
  EXPECT_EQ(app->popupMenu().highlight(), 0) << "only 音量 can be highlighted";
  press('X');
  EXPECT_EQ(app->settings().pcm, 0);

  platform::postMessage(app->window(), platform::WM_CLOSE, 0, 0);
  EXPECT_TRUE(drain());
  ASSERT_TRUE(flushProfile());
  EXPECT_EQ(getProfileInt("VOICE_CONFIG", "VOICE_PLAY", 0, folder + "sorel.cfg"), 2);
}

TEST_F(DispatchTest, QuitClosesTheWindow) {
  command(40007);
  EXPECT_FALSE(platform::isWindow(app->window()));
}

TEST_F(DispatchTest, TheGameEnablesTheSaveEntries) {
  ASSERT_NE(app->game(), nullptr);
  app->game()->host().enableSaveMenu(true);
  EXPECT_TRUE(app->popupMenu().find(40040)->enabled);
  app->game()->endScript();
  EXPECT_FALSE(app->popupMenu().find(40040)->enabled);
}

}  // namespace
}  // namespace sorel
