#include "engine/content/game_content.h"

#include "engine/resources/sjis_text.h"

namespace sorel {
namespace {

// Japanese texts are spelled as their CP932 bytes; the UTF-8 text is in the comment.
constexpr std::array<Heroine, kHeroineCount> kHeroines = {{
    {"\x97\x7A\x8D\xD8", "\x97\x7A\x8D\xD8(\x82\xD0\x82\xC8)", "HINA", "hina"},           // 陽菜(ひな)
    {"\x88\xA8", "\x88\xA8(\x82\xA0\x82\xA8\x82\xA2)", "AOI", "aoi"},                      // 葵(あおい)
    {"\x9E\x78", "\x9E\x78(\x82\xB5\x82\xA8\x82\xE8)", "SHIORI", "shiori"},                // 栞(しおり)
    {"\xE0\x59", "\xE0\x59(\x82\xDD\x82\xA8)", "MIO", "mio"},                              // 澪(みお)
    {"\x90\xE7\x90\x71", "\x90\xE7\x90\x71(\x82\xBF\x82\xD0\x82\xEB)", "CHIHIRO", "chihiro"},  // 千尋(ちひろ)
    {"\x8B\xD5\x89\xB9", "\x8B\xD5\x89\xB9(\x82\xB1\x82\xC6\x82\xCB)", "KOTONE", "kotone"},    // 琴音(ことね)
    {"\x8E\xE9\x97\xA2", "\x8E\xE9\x97\xA2(\x82\xA0\x82\xA9\x82\xE8)", "AKARI", "akari"},      // 朱里(あかり)
    {"\x92\xDB", "\x92\xDB(\x82\xC2\x82\xDE\x82\xAC)", "TSUMUGI", "tsumugi"},              // 紬(つむぎ)
    {"\x99\x7A", "\x99\x7A(\x82\xE8\x82\xF1)", "RIN", "rin"},                              // 凛(りん)
    {"\x8E\xB4", "\x8E\xB4(\x82\xB5\x82\xB8\x82\xAD)", "SHIZUKU", "shizuku"},              // 雫(しずく)
    {"\x8C\x8B\x88\xDF", "\x8C\x8B\x88\xDF(\x82\xE4\x82\xA2)", "YUI", "yui"},              // 結衣(ゆい)
    {"\x8F\xAC\x8F\x74", "\x8F\xAC\x8F\x74(\x82\xB1\x82\xCD\x82\xE9)", "KOHARU", "koharu"},    // 小春(こはる)
}};

constexpr std::string_view kOtherColourKeys[] = {
    "\x8E\xE5\x90\x6C\x8C\xF6",  // 主人公
    "\x83\x54\x83\x75",          // サブ
    "\x95\xA1\x8D\x87",          // 複合
    "\x82\xBB\x82\xCC\x91\xBC",  // その他
};

constexpr std::string_view kEyeCatchVoices[16] = {
    "hina02.mp3",    "aoi02.mp3",   "shiori02.mp3", "mio02.mp3",     "chihiro02.mp3", "kotone02.mp3",
    "akari02.mp3",   "tsumugi02.mp3", "rin02.mp3",  "shizuku02.mp3", "yui02.mp3",     "koharu02.mp3",
    "Multi01.mp3",   "Multi02.mp3", "Multi03.mp3",  "sysmix02.mp3",
};

constexpr ScenarioInfo kScenarios[] = {
    {"01-01(\x93\xB1\x93\xFC).bin", "-\x93\xB1\x93\xFC-"},                              // 01-01(導入) -導入-
    {"02-01(\x95\xB6\x89\xBB\x8D\xD5).bin", "-\x95\xB6\x89\xBB\x8D\xD5-"},              // 02-01(文化祭)
    {"02-02(\x91\xCC\x88\xE7\x8D\xD5).bin", "-\x91\xCC\x88\xE7\x8D\xD5-"},              // 02-02(体育祭)
    {"02-03(\x8F\x43\x8A\x77\x97\xB7\x8D\x73).bin", "-\x8F\x43\x8A\x77\x97\xB7\x8D\x73-"},  // 02-03(修学旅行)
    {"03-01(\x97\x7A\x8D\xD8).bin", "-\x97\x7A\x8D\xD8-"},                              // 陽菜
    {"03-02(\x88\xA8).bin", "-\x88\xA8-"},                                              // 葵
    {"03-03(\x9E\x78).bin", "-\x9E\x78-"},                                              // 栞
    {"03-04(\xE0\x59).bin", "-\xE0\x59-"},                                              // 澪
    {"03-05(\x90\xE7\x90\x71).bin", "-\x90\xE7\x90\x71-"},                              // 千尋
    {"03-06(\x8B\xD5\x89\xB9).bin", "-\x8B\xD5\x89\xB9-"},                              // 琴音
    {"03-07(\x8E\xE9\x97\xA2).bin", "-\x8E\xE9\x97\xA2-"},                              // 朱里
    {"03-08(\x92\xDB).bin", "-\x92\xDB-"},                                              // 紬
    {"03-09(\x99\x7A).bin", "-\x99\x7A-"},                                              // 凛
    {"03-10(\x8E\xB4).bin", "-\x8E\xB4-"},                                              // 雫
    {"03-11(\x8C\x8B\x88\xDF).bin", "-\x8C\x8B\x88\xDF-"},                              // 結衣
    {"03-12(\x8F\xAC\x8F\x74).bin", "-\x8F\xAC\x8F\x74-"},                              // 小春
    {"03-13(BADEND).bin", "-BADEND-"},
};

// Each heroine's ending picture, and the one variant picture that shows more than the story
// needs to show in a quiet train carriage.
constexpr std::string_view kDisplayFilter[] = {
    "VISUAL_HINA002.bmp",    "VISUAL_AOI002.bmp",    "VISUAL_SHIORI002.bmp", "VISUAL_MIO002.bmp",
    "VISUAL_CHIHIRO002.bmp", "VISUAL_KOTONE002.bmp", "VISUAL_AKARI002.bmp",  "VISUAL_TSUMUGI002.bmp",
    "VISUAL_RIN002.bmp",     "VISUAL_SHIZUKU002.bmp", "VISUAL_YUI002.bmp",   "VISUAL_KOHARU002.bmp",
    "VISUAL_HINA001a.bmp",
};

}  // namespace

const std::string_view kGameTitle = "Lumenwish";
const std::string_view kTitleMusic = "\x83\x49\x81\x5B\x83\x76\x83\x6A\x83\x93\x83\x4F.wav";  // オープニング.wav
const std::string_view kFirstScenario = kScenarios[0].member;
const std::string_view kSystemScenario = "System.bin";

const std::array<Heroine, kHeroineCount>& heroines() { return kHeroines; }

std::span<const std::string_view> otherColourKeys() { return kOtherColourKeys; }

std::string_view eyeCatchVoice(int e) { return e >= 0 && e < 16 ? kEyeCatchVoices[e] : std::string_view(); }

std::span<const ScenarioInfo> scenarios() { return kScenarios; }

std::span<const std::string_view> displayFilterList() { return kDisplayFilter; }

bool isDisplayFiltered(std::string_view name) {
  for (std::string_view n : kDisplayFilter)
    if (sameName(n, name)) return true;
  return false;
}

}  // namespace sorel
