#include "engine/state/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/content/game_content.h"
#include "engine/state/profile.h"
#include "platform/files.h"

namespace sorel {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearProfile();
    std::string host = std::string(SOREL_TEST_TMP) + "/settings_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg";
    path = *platform::systemPath(host);
    platform::removeFile(path);
    keys.fromDefaults(0x26, 0x28, 0x25, 0x27, 0xC1, 0xC2, 0xC3, 0x0D);
    fonts.read(path, installed);
  }
  void TearDown() override { clearProfile(); }

  void writeFile(std::string_view text) {
    std::vector<uint8_t> b(text.begin(), text.end());
    ASSERT_TRUE(platform::writeWholeFile(path, b, false));
    clearProfile();
  }
  std::vector<std::string> fileLines() {
    auto b = platform::readWholeFile(path);
    std::vector<std::string> lines;
    if (!b) return lines;
    std::string text(b->begin(), b->end()), line;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        lines.push_back(line);
        line.clear();
        ++i;
      } else {
        line += text[i];
      }
    }
    return lines;
  }

  std::string path;
  KeyMap keys;
  FontList fonts;
  std::vector<std::string> installed = {"IPA\x83\x53\x83\x56\x83\x62\x83\x4e", "Tahoma",
                                        "@Vertical", "$System", "Courier New"};
};

TEST_F(SettingsTest, NoFileGivesTheDefaultsWithMusicOn) {
  Settings s;
  s.pcm = 0;
  s.masterVol = 10;
  readSettings(path, s, keys, fonts);
  EXPECT_EQ(s.pcm, 2);
  EXPECT_EQ(s.voicePlay, 1);
  EXPECT_EQ(s.masterVol, 100);
  EXPECT_EQ(s.deviceVol, 65535);
  EXPECT_EQ(s.messageSpeed, 1);
  EXPECT_EQ(s.keyCenCtrl, 1);
  EXPECT_EQ(s.vgaQuality, 1);
  EXPECT_EQ(s.messageColour[15], 0xFFFFFFu);
  EXPECT_EQ(s.messageFontIndex, 0);
  EXPECT_EQ(keys.code(Key::Start), 0x0D);
}

TEST_F(SettingsTest, StoredPcmValuesAreKept) {
  writeFile("[MUSIC_CONFIG]\r\nPCM=0\r\n");
  Settings s;
  readSettings(path, s, keys, fonts);
  EXPECT_EQ(s.pcm, 0);
}

TEST_F(SettingsTest, VolumesOutsideTenToHundredBecomeHundred) {
  writeFile("[MUSIC_CONFIG]\r\nMASTER_VOL=5\r\nMUSIC_VOL=150\r\n[VOICE_CONFIG]\r\nVOICE_VOL=50\r\n"
            "[SE_CONFIG]\r\nSE_VOL=-3\r\n[MOV_CONFIG]\r\nMOV_VOL=10\r\n"
            "[MESSAGE_CONFIG]\r\nMESSAGE_SPEED=7\r\n");
  Settings s;
  readSettings(path, s, keys, fonts);
  EXPECT_EQ(s.masterVol, 100);
  EXPECT_EQ(s.musicVol, 100);
  EXPECT_EQ(s.voiceVol, 50);
  EXPECT_EQ(s.seVol, 100);
  EXPECT_EQ(s.movVol, 10);
  EXPECT_EQ(s.messageSpeed, 7);  // other values are kept; they simply match no menu entry
}

TEST_F(SettingsTest, KeyConfigIsMatchedByNameAndNeverWrittenBack) {
  writeFile("[KEY_CONFIG]\r\nKEY_START=20\r\nKEY_A=41\r\nKEY_UP=ARROW\r\nKEY_D=KEY_B\r\n"
            "KEY_E=0123456789012345678901234567890123\r\n");
  Settings s;
  readSettings(path, s, keys, fonts);
  EXPECT_EQ(keys.code(Key::Start), 0x20);
  EXPECT_EQ(keys.code(Key::A), 0x41);
  EXPECT_EQ(keys.code(Key::Up), 0x26);
  EXPECT_EQ(keys.code(Key::D), 0xC2);
  EXPECT_EQ(keys.code(Key::E), 0);  // longer than 30 bytes: ignored
  storeSettings(path, s, fonts);
  ASSERT_TRUE(flushProfile());
  auto lines = fileLines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "[KEY_CONFIG]");
  EXPECT_EQ(lines[1], "KEY_START=20");
  EXPECT_EQ(lines[4], "KEY_D=KEY_B");
}

TEST_F(SettingsTest, FileWrittenFromNothingListsKeysInReverseWritingOrder) {
  Settings s;
  readSettings(path, s, keys, fonts);
  s.messageSpeed = 2;
  s.lockSkip = 1;
  s.mascotCharMode = 4;
  storeSettings(path, s, fonts);
  ASSERT_TRUE(flushProfile());

  // The engine's writing order.
  const std::vector<std::pair<std::string, std::string>> order = {
      {"MUSIC_CONFIG", "PCM"},           {"VOICE_CONFIG", "VOICE_PLAY"},
      {"SE_CONFIG", "SE_PLAY"},          {"MUSIC_CONFIG", "MASTER_VOL"},
      {"MUSIC_CONFIG", "MUSIC_VOL"},     {"VOICE_CONFIG", "VOICE_VOL"},
      {"SE_CONFIG", "SE_VOL"},           {"MOV_CONFIG", "MOV_VOL"},
      {"VOICE_CONFIG", "VOICE_CUT_MODE"}, {"MOV_CONFIG", "VGA_QUALITY"},
      {"SYSTEM_CONFIG", "MESSAGE_FONT_NAME"}, {"MESSAGE_CONFIG", "EFFECT_USE"},
      {"MESSAGE_CONFIG", "READ_SKIP"},   {"MESSAGE_CONFIG", "LOCK_SKIP"},
      {"MESSAGE_CONFIG", "VOICE_AUTOLOCK"}, {"MESSAGE_CONFIG", "TRANS_MODE"},
      {"MESSAGE_CONFIG", "MESSAGE_SPEED"}, {"MESSAGE_CONFIG", "MESSAGE_SADOW"},
      {"MESSAGE_CONFIG", "MESSAGE_AUTO"}, {"MESSAGE_CONFIG", "MESSAGE_AUTO_BASE"},
      {"MESSAGE_CONFIG", "MESSAGE_AUTO_ONE"}, {"SYSTEM_CONFIG", "MASCOT_CHAR_MODE"},
      {"MESSAGE_COLOR", "MES_COLOR_USE"}, {"MESSAGE_CONFIG", "MES_LOG_COUNT"},
      {"SYSTEM_CONFIG", "KEY_CEN_CTRL"}, {"SYSTEM_CONFIG", "KET_CUR_MODE"},
      {"SYSTEM_CONFIG", "KET_DOUBLE_CLICK"}, {"SYSTEM_CONFIG", "DISP_FREE_MODE"},
      {"SYSTEM_CONFIG", "MANA_VOICE_CUT"}};
  std::map<std::string, std::vector<std::string>> expected;
  std::vector<std::string> sectionOrder;
  for (const auto& [section, key] : order) {
    if (!expected.count(section)) sectionOrder.push_back(section);
    expected[section].insert(expected[section].begin(), key);
  }
  std::vector<std::string> want;
  for (const auto& section : sectionOrder) {
    want.push_back("[" + section + "]");
    for (const auto& key : expected[section]) want.push_back(key);
  }
  std::vector<std::string> got;
  for (const auto& line : fileLines()) got.push_back(line.substr(0, line.find('=')));
  EXPECT_EQ(got, want);

  Settings back;
  readSettings(path, back, keys, fonts);
  EXPECT_EQ(back.messageSpeed, 2);
  EXPECT_EQ(back.lockSkip, 1);
  EXPECT_EQ(back.mascotCharMode, 4);
  EXPECT_EQ(back.pcm, 2);
  EXPECT_EQ(back.messageFontIndex, 0);
}

TEST_F(SettingsTest, AFontNameNotInstalledSelectsTheFirstAndIsWrittenAsIt) {
  writeFile("[SYSTEM_CONFIG]\r\nMESSAGE_FONT_NAME=No Such Font\r\n");
  Settings s;
  readSettings(path, s, keys, fonts);
  EXPECT_EQ(s.messageFontIndex, 0);
  EXPECT_EQ(s.messageFontName, fonts.available[0]) << "the message text uses the font it falls back to";
  storeSettings(path, s, fonts);
  std::string name;
  getProfileString("SYSTEM_CONFIG", "MESSAGE_FONT_NAME", "", name, 127, path);
  EXPECT_EQ(name, fonts.available[0]);
}

TEST_F(SettingsTest, FontListTakesWantedFamiliesFirstAndSkipsSpecialNames) {
  writeFile("[FONT_LIST_CONFIG]\r\nPUT_LIST_00=courier new\r\nPUT_LIST_01=Tahoma\r\n");
  fonts.read(path, installed);
  ASSERT_EQ(fonts.wanted.size(), 2u);
  std::vector<std::string> want = {"Tahoma", "Courier New", installed[0]};
  EXPECT_EQ(fonts.available, want);  // pass 1 in installed order, then the rest
  EXPECT_EQ(fonts.indexOf("COURIER NEW"), 1);
}

TEST_F(SettingsTest, AnEmptyFirstPreferenceStopsTheList) {
  writeFile("[FONT_LIST_CONFIG]\r\nPUT_LIST_00=\r\nPUT_LIST_01=Tahoma\r\n");
  fonts.read(path, installed);
  EXPECT_TRUE(fonts.wanted.empty());
  EXPECT_EQ(fonts.available[0], installed[0]);
}

TEST_F(SettingsTest, NoInstalledFamiliesFallsBackToTheDeviceFace) {
  fonts.read(path, {"@Only", "$Hidden"});
  ASSERT_EQ(fonts.available.size(), 1u);
  EXPECT_EQ(fonts.available[0], kDefaultFontName);
}

TEST_F(SettingsTest, AtMostFifteenFamiliesAreTaken) {
  std::vector<std::string> many;
  for (int i = 0; i < 30; ++i) many.push_back("Font" + std::to_string(i));
  fonts.read(path, many);
  EXPECT_EQ(fonts.available.size(), 15u);
}

TEST_F(SettingsTest, ColourKeysEndWithTheFourGroups) {
  auto k = messageColourKeys();
  EXPECT_EQ(k[0], heroines()[0].givenName);
  EXPECT_EQ(k[11], heroines()[11].givenName);
  EXPECT_EQ(k[12], "\x8e\xe5\x90\x6c\x8c\xf6");  // 主人公
  EXPECT_EQ(k[15], "\x82\xbb\x82\xcc\x91\xbc");  // その他
  writeFile("[MESSAGE_COLOR]\r\n\x83\x54\x83\x75=0xFF0000\r\n");
  Settings s;
  readSettings(path, s, keys, fonts);
  EXPECT_EQ(s.messageColour[13], 0xFF0000u);
  EXPECT_EQ(s.messageColour[12], 0xFFFFFFu);
}

}  // namespace
}  // namespace sorel
