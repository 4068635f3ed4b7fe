#include "engine/content/game_content.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/resources/sjis_text.h"
#include "platform/text.h"

namespace sorel {
namespace {

std::string sjis(const char* utf8) { return platform::utf8ToCp932(utf8).value(); }

// The CP932 byte strings are written by hand; their UTF-8 forms must agree.
TEST(GameContent, HeroineTextsAreTheShiftJisOfTheirNames) {
  const char* names[12] = {"陽菜", "葵", "栞", "澪", "千尋", "琴音", "朱里", "紬", "凛", "雫", "結衣", "小春"};
  const char* readings[12] = {"ひな", "あおい", "しおり", "みお", "ちひろ", "ことね",
                              "あかり", "つむぎ", "りん", "しずく", "ゆい", "こはる"};
  std::set<std::string_view> prefixes, capitals;
  for (int i = 0; i < kHeroineCount; ++i) {
    const Heroine& h = heroines()[i];
    EXPECT_EQ(h.givenName, sjis(names[i]));
    EXPECT_EQ(h.menuLabel, sjis(names[i]) + "(" + sjis(readings[i]) + ")");
    EXPECT_EQ(scenarios()[4 + i].member, "03-" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1) + "(" + sjis(names[i]) + ").bin");
    EXPECT_EQ(scenarios()[4 + i].title, "-" + sjis(names[i]) + "-");
    EXPECT_EQ(eyeCatchVoice(i), std::string(h.voicePrefix) + "02.mp3");
    prefixes.insert(h.voicePrefix);
    capitals.insert(h.capitals);
  }
  EXPECT_EQ(prefixes.size(), 12u);
  EXPECT_EQ(capitals.size(), 12u);
  EXPECT_EQ(otherColourKeys()[0], sjis("主人公"));
  EXPECT_EQ(otherColourKeys()[3], sjis("その他"));
  EXPECT_EQ(eyeCatchVoice(15), "sysmix02.mp3");
  EXPECT_TRUE(eyeCatchVoice(16).empty());
}

TEST(GameContent, ChapterStructureAndNames) {
  EXPECT_EQ(kFirstScenario, sjis("01-01(導入).bin"));
  EXPECT_EQ(scenarios()[1].member, sjis("02-01(文化祭).bin"));
  EXPECT_EQ(scenarios()[3].title, sjis("-修学旅行-"));
  EXPECT_EQ(scenarios()[16].member, "03-13(BADEND).bin");
  EXPECT_EQ(kTitleMusic, sjis("オープニング.wav"));
  EXPECT_TRUE(isDisplayFiltered("visual_hina002.BMP"));
  EXPECT_FALSE(isDisplayFiltered("VISUAL_HINA001.bmp"));
  for (std::string_view n : displayFilterList()) EXPECT_EQ(n.substr(0, 7), "VISUAL_");
}

}  // namespace
}  // namespace sorel
