#pragma once
// The game's own content that the engine and the sample-game kit both need: its title, the
// twelve heroines (names, menu labels, voice files), the scenario members of the chapter
// structure, and the event pictures that manner mode dims. Texts the system compares or shows
// are CP932 byte strings; the UTF-8 form stands in a comment beside each.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace sorel {

/// The game's title (ASCII): the handheld player's window caption is this and " for
/// sigmarion3".
extern const std::string_view kGameTitle;

constexpr int kHeroineCount = 12;

struct Heroine {
  /// Given name in Japanese script (CP932): the speaker's display name and the key of her text
  /// colour in the MESSAGE_COLOR settings section.
  std::string_view givenName;
  /// "name(reading)" (CP932), her item in the mascot menu.
  std::string_view menuLabel;
  /// The name in capitals, as event picture names spell it ("VISUAL_HINA001.bmp").
  std::string_view capitals;
  /// Prefix of her companion voices: voice n is prefix + n as two digits + ".mp3".
  std::string_view voicePrefix;
};

/// Heroines 1 to 12 at indices 0 to 11 (the per-character counters vars[1..12], the route
/// flags 1..12, mascot numbers 1..12 and speakers 1..12 all use this order).
const std::array<Heroine, kHeroineCount>& heroines();

/// The MESSAGE_COLOR keys after the twelve heroines (CP932): protagonist, minor characters,
/// several speakers, other.
std::span<const std::string_view> otherColourKeys();

/// The file the eye-catch plays for picture number e (0 to 15): heroine e's voice 02 for 0 to
/// 11, then "Multi01.mp3", "Multi02.mp3", "Multi03.mp3", "sysmix02.mp3". Empty for other e.
std::string_view eyeCatchVoice(int e);

/// Title music (CP932 "オープニング.wav"; the player asks for it with ".mp3").
extern const std::string_view kTitleMusic;

struct ScenarioInfo {
  std::string_view member;  ///< CP932 member name of the Script archive
  std::string_view title;   ///< CP932 chapter title shown with save slots ("-導入-")
};

/// The chapter structure in story order: the introduction, the three chapter-2 scenes, the
/// twelve routes (heroine order) and the bad end.
std::span<const ScenarioInfo> scenarios();
/// The member New Game starts with ("01-01(導入).bin").
extern const std::string_view kFirstScenario;
/// Jumping to this member ends the story.
extern const std::string_view kSystemScenario;

/// Event pictures that manner mode dims (VISUAL_<NAME><nnn>[<letter>].bmp).
std::span<const std::string_view> displayFilterList();
/// True when the name is on the display-filter list (names compared as the engine compares
/// member names: ASCII letters without regard to case).
bool isDisplayFiltered(std::string_view name);

}  // namespace sorel
