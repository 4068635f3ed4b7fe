#include "engine/state/settings.h"

#include "engine/content/game_content.h"
#include "engine/resources/format.h"
#include "engine/resources/sjis_text.h"
#include "engine/state/profile.h"

namespace sorel {

const std::string_view kDefaultFontName = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック

static_assert(kHeroineCount + 4 == kColourGroups, "twelve heroines and four other groups");

std::array<std::string_view, kColourGroups> messageColourKeys() {
  std::array<std::string_view, kColourGroups> keys{};
  const auto& heroines = sorel::heroines();
  for (size_t i = 0; i < heroines.size(); ++i) keys[i] = heroines[i].givenName;
  auto others = otherColourKeys();
  for (size_t i = 0; i < others.size() && heroines.size() + i < keys.size(); ++i)
    keys[heroines.size() + i] = others[i];
  return keys;
}

int32_t clampVolume(int32_t v) { return v < 10 || v > 100 ? 100 : v; }

void FontList::read(std::string_view configPath, const std::vector<std::string>& installed) {
  wanted.clear();
  available.clear();
  for (int i = 0; i < kMax; ++i) {
    std::string name;
    getProfileString("FONT_LIST_CONFIG", formatText("PUT_LIST_%z2", i), "", name, kNameMax,
                     configPath);
    if (name.empty()) break;
    wanted.push_back(std::move(name));
  }
  auto eligible = [](const std::string& name) {
    return !name.empty() && name[0] != '@' && name[0] != '$';
  };
  auto taken = [&](const std::string& name) {
    for (const auto& a : available)
      if (a == name) return true;
    return false;
  };
  for (const auto& family : installed) {
    if (static_cast<int>(available.size()) >= kMax) break;
    if (!eligible(family) || taken(family)) continue;
    for (const auto& w : wanted)
      if (sameName(family, w)) {
        available.push_back(family);
        break;
      }
  }
  for (const auto& family : installed) {
    if (static_cast<int>(available.size()) >= kMax) break;
    if (eligible(family) && !taken(family)) available.push_back(family);
  }
  if (available.empty()) available.emplace_back(kDefaultFontName);
}

int FontList::indexOf(std::string_view name) const {
  for (size_t i = 0; i < available.size(); ++i)
    if (sameName(available[i], name)) return static_cast<int>(i);
  return 0;
}

SettingDefaults firstStartDefaults(bool configExists, bool holdsVoices, bool holdsEffects) {
  SettingDefaults d;
  if (configExists) return d;
  if (holdsVoices) d.voicePlay = 2;
  if (holdsEffects) d.sePlay = 2;
  return d;
}

void readSettings(std::string_view path, Settings& s, KeyMap& keys, const FontList& fonts,
                  const SettingDefaults& defaults) {
  auto get = [&](const char* section, std::string_view key, int32_t def) {
    return getProfileInt(section, key, def, path);
  };
  // A fresh installation plays music: PCM absent means on.
  s.pcm = get("MUSIC_CONFIG", "PCM", 2);
  s.memStream = get("MUSIC_CONFIG", "MEM_STREAM", 0);
  s.deviceVol = get("MUSIC_CONFIG", "DEVICE_VOL", 65535);
  s.voicePlay = get("VOICE_CONFIG", "VOICE_PLAY", defaults.voicePlay);
  s.sePlay = get("SE_CONFIG", "SE_PLAY", defaults.sePlay);
  s.masterVol = clampVolume(get("MUSIC_CONFIG", "MASTER_VOL", 100));
  s.musicVol = clampVolume(get("MUSIC_CONFIG", "MUSIC_VOL", 100));
  s.voiceVol = clampVolume(get("VOICE_CONFIG", "VOICE_VOL", 100));
  s.seVol = clampVolume(get("SE_CONFIG", "SE_VOL", 100));
  s.movVol = clampVolume(get("MOV_CONFIG", "MOV_VOL", 100));
  auto colourKeys = messageColourKeys();
  for (int i = 0; i < kColourGroups; ++i)
    s.messageColour[size_t(i)] =
        static_cast<uint32_t>(get("MESSAGE_COLOR", colourKeys[size_t(i)], 0xFFFFFF));
  s.mesColorUse = get("MESSAGE_COLOR", "MES_COLOR_USE", 1);
  s.mesLogCount = get("MESSAGE_CONFIG", "MES_LOG_COUNT", 1);
  s.effectUse = get("MESSAGE_CONFIG", "EFFECT_USE", 1);
  s.messageAuto = get("MESSAGE_CONFIG", "MESSAGE_AUTO", 0);
  s.messageAutoBase = get("MESSAGE_CONFIG", "MESSAGE_AUTO_BASE", 0);
  s.messageAutoOne = get("MESSAGE_CONFIG", "MESSAGE_AUTO_ONE", 0);
  s.transMode = get("MESSAGE_CONFIG", "TRANS_MODE", 0);
  s.messageSpeed = get("MESSAGE_CONFIG", "MESSAGE_SPEED", 1);
  s.readSkip = get("MESSAGE_CONFIG", "READ_SKIP", 0);
  s.lockSkip = get("MESSAGE_CONFIG", "LOCK_SKIP", 0);
  s.messageShadow = get("MESSAGE_CONFIG", "MESSAGE_SADOW", 0);
  s.keyCenCtrl = get("SYSTEM_CONFIG", "KEY_CEN_CTRL", 1);
  s.keyCurMode = get("SYSTEM_CONFIG", "KET_CUR_MODE", 0);
  s.keyDoubleClick = get("SYSTEM_CONFIG", "KET_DOUBLE_CLICK", 0);
  s.voiceAutolock = get("MESSAGE_CONFIG", "VOICE_AUTOLOCK", 0);
  s.dispFreeMode = get("SYSTEM_CONFIG", "DISP_FREE_MODE", 0);
  s.manaVoiceCut = get("SYSTEM_CONFIG", "MANA_VOICE_CUT", 0);
  s.voiceCutMode = get("VOICE_CONFIG", "VOICE_CUT_MODE", 0);
  s.mascotCharMode = get("SYSTEM_CONFIG", "MASCOT_CHAR_MODE", 0);
  s.vgaQuality = get("MOV_CONFIG", "VGA_QUALITY", 1);
  getProfileString("SYSTEM_CONFIG", "MESSAGE_FONT_NAME", "", s.messageFontName, FontList::kNameMax,
                   path);
  // The message text uses the font at the chosen index, so that a name that is not installed
  // looks the same on the first run (index 0) as on every later one (written back as that name).
  s.messageFontIndex = fonts.indexOf(s.messageFontName);
  if (size_t(s.messageFontIndex) < fonts.available.size())
    s.messageFontName = fonts.available[size_t(s.messageFontIndex)];

  // The configuration lists the keys in its own order; each is matched to its logical key by
  // name.
  static constexpr Key kConfigOrder[kKeyCount] = {Key::Up, Key::Down, Key::Left, Key::Right,
                                                  Key::Start, Key::A, Key::B, Key::C,
                                                  Key::D, Key::E};
  for (Key key : kConfigOrder) {
    std::string text;
    getProfileString("KEY_CONFIG", keyConfigName(key), "", text, 30, path);
    if (!text.empty()) keys.setKey(key, text);
  }
}

void storeSettings(std::string_view path, const Settings& s, const FontList& fonts) {
  auto put = [&](const char* section, const char* key, int32_t v) {
    writeProfileString(section, key, formatText("%d", v), path);
  };
  put("MUSIC_CONFIG", "PCM", s.pcm);
  put("VOICE_CONFIG", "VOICE_PLAY", s.voicePlay);
  put("SE_CONFIG", "SE_PLAY", s.sePlay);
  put("MUSIC_CONFIG", "MASTER_VOL", s.masterVol);
  put("MUSIC_CONFIG", "MUSIC_VOL", s.musicVol);
  put("VOICE_CONFIG", "VOICE_VOL", s.voiceVol);
  put("SE_CONFIG", "SE_VOL", s.seVol);
  put("MOV_CONFIG", "MOV_VOL", s.movVol);
  put("VOICE_CONFIG", "VOICE_CUT_MODE", s.voiceCutMode);
  put("MOV_CONFIG", "VGA_QUALITY", s.vgaQuality);
  std::string_view font = kDefaultFontName;
  if (s.messageFontIndex >= 0 && static_cast<size_t>(s.messageFontIndex) < fonts.available.size())
    font = fonts.available[static_cast<size_t>(s.messageFontIndex)];
  writeProfileString("SYSTEM_CONFIG", "MESSAGE_FONT_NAME", font, path);
  put("MESSAGE_CONFIG", "EFFECT_USE", s.effectUse);
  put("MESSAGE_CONFIG", "READ_SKIP", s.readSkip);
  put("MESSAGE_CONFIG", "LOCK_SKIP", s.lockSkip);
  put("MESSAGE_CONFIG", "VOICE_AUTOLOCK", s.voiceAutolock);
  put("MESSAGE_CONFIG", "TRANS_MODE", s.transMode);
  put("MESSAGE_CONFIG", "MESSAGE_SPEED", s.messageSpeed);
  put("MESSAGE_CONFIG", "MESSAGE_SADOW", s.messageShadow);
  put("MESSAGE_CONFIG", "MESSAGE_AUTO", s.messageAuto);
  put("MESSAGE_CONFIG", "MESSAGE_AUTO_BASE", s.messageAutoBase);
  put("MESSAGE_CONFIG", "MESSAGE_AUTO_ONE", s.messageAutoOne);
  put("SYSTEM_CONFIG", "MASCOT_CHAR_MODE", s.mascotCharMode);
  put("MESSAGE_COLOR", "MES_COLOR_USE", s.mesColorUse);
  put("MESSAGE_CONFIG", "MES_LOG_COUNT", s.mesLogCount);
  put("SYSTEM_CONFIG", "KEY_CEN_CTRL", s.keyCenCtrl);
  put("SYSTEM_CONFIG", "KET_CUR_MODE", s.keyCurMode);
  put("SYSTEM_CONFIG", "KET_DOUBLE_CLICK", s.keyDoubleClick);
  put("SYSTEM_CONFIG", "DISP_FREE_MODE", s.dispFreeMode);
  put("SYSTEM_CONFIG", "MANA_VOICE_CUT", s.manaVoiceCut);
}

}  // namespace sorel
