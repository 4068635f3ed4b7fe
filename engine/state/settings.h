#pragma once
// Every user setting of sorel.cfg, the font list, and the steps that read them at start-up and
// put them back at exit. Values are kept as the file holds them; only the five volumes and
// DEVICE_VOL are range-checked, other indices simply match no menu entry.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/state/key_map.h"

namespace sorel {

/// The text colour groups of MESSAGE_COLOR: twelve heroines, then protagonist, minor
/// characters, several speakers, other.
constexpr int kColourGroups = 16;

/// The configuration keys of MESSAGE_COLOR in reading order (CP932).
std::array<std::string_view, kColourGroups> messageColourKeys();

struct Settings {
  int32_t pcm = 2;  ///< music: 0 unavailable, 1 off, 2 on (absent from the file: on)
  int32_t memStream = 0;
  int32_t deviceVol = 65535;
  int32_t voicePlay = 1;
  int32_t sePlay = 1;
  int32_t masterVol = 100;
  int32_t musicVol = 100;
  int32_t voiceVol = 100;
  int32_t seVol = 100;
  int32_t movVol = 100;
  std::array<uint32_t, kColourGroups> messageColour{};  ///< 0x00RRGGBB each
  int32_t mesColorUse = 1;
  int32_t mesLogCount = 1;
  int32_t effectUse = 1;
  int32_t messageAuto = 0;
  int32_t messageAutoBase = 0;
  int32_t messageAutoOne = 0;
  int32_t transMode = 0;
  int32_t messageSpeed = 1;
  int32_t readSkip = 0;
  int32_t lockSkip = 0;
  int32_t messageShadow = 0;  ///< MESSAGE_SADOW
  int32_t keyCenCtrl = 1;     ///< KEY_CEN_CTRL
  int32_t keyCurMode = 0;     ///< KET_CUR_MODE
  int32_t keyDoubleClick = 0; ///< KET_DOUBLE_CLICK
  int32_t voiceAutolock = 0;
  int32_t dispFreeMode = 0;
  int32_t manaVoiceCut = 0;
  int32_t voiceCutMode = 0;
  int32_t mascotCharMode = 0;
  int32_t vgaQuality = 1;
  /// The message font: the index MESSAGE_FONT_NAME selects in the font list (0 when it names no
  /// installed font) and the name at that index, which is what the message text uses.
  std::string messageFontName;
  int messageFontIndex = 0;

  Settings() { messageColour.fill(0xFFFFFF); }
};

/// A volume as the engine accepts it: below 10 or above 100 becomes 100.
int32_t clampVolume(int32_t v);

/// The fonts the menu offers: the wanted names of FONT_LIST_CONFIG and the installed families
/// taken from them.
struct FontList {
  static constexpr int kMax = 15;
  static constexpr size_t kNameMax = 127;
  std::vector<std::string> wanted;     ///< PUT_LIST_00.. (CP932)
  std::vector<std::string> available;  ///< installed families taken (CP932), at most 15

  /// Reads PUT_LIST_00..14 up to the first missing or empty one, then takes installed TrueType
  /// families in two passes: first those named in `wanted` (in installed order), then all
  /// others; never a name starting with '@' or '$'. With nothing taken, the list is the single
  /// name "ＭＳ ゴシック".
  void read(std::string_view configPath, const std::vector<std::string>& installed);
  /// Index of the first available name equal to name (sameName), else 0.
  int indexOf(std::string_view name) const;
};

/// "ＭＳ ゴシック" in CP932.
extern const std::string_view kDefaultFontName;

/// What a setting the configuration file lacks starts as, where that is not always the same.
struct SettingDefaults {
  int32_t voicePlay = 1;
  int32_t sePlay = 1;
};
/// On a first start (no configuration file yet) voices and effects play when the data folder
/// holds them: whoever converted them means to hear them. Otherwise, and whenever the file
/// exists, the usual defaults (off).
SettingDefaults firstStartDefaults(bool configExists, bool holdsVoices, bool holdsEffects);

/// Reads every setting in the engine's order (the font list must be read already); key texts of
/// KEY_CONFIG go into the key map.
void readSettings(std::string_view configPath, Settings& s, KeyMap& keys, const FontList& fonts,
                  const SettingDefaults& defaults = {});
/// Puts the written-back settings into the cached configuration, in the engine's order.
/// KEY_CONFIG, FONT_LIST_CONFIG, the colours, MEM_STREAM and DEVICE_VOL are never written.
void storeSettings(std::string_view configPath, const Settings& s, const FontList& fonts);

}  // namespace sorel
