#pragma once
// The sample game: every archive of a PC installation of Lumenwish, built in memory.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/mkgame/movie.h"
#include "tools/pac_writer.h"

namespace sorel::mkgame {

struct PacFile {
  std::string fileName;  ///< "BG.pac", ...
  uint32_t method = 0;   ///< pac::kMethod*
  std::vector<PacMember> members;
};

struct GameImage {
  std::vector<PacFile> archives;  ///< the twelve archives of the converter's steps, then Update.pac
  std::vector<uint8_t> executable;  ///< Lumenwish.exe, a placeholder
  std::vector<LooseFile> files;     ///< files outside the archives (the opening movie)
  /// Event pictures that keep pure black opaque (converter/opaque_visuals.txt lists them).
  std::vector<std::string> opaqueVisuals;
};

/// One scenario source and the member it becomes.
struct ScenarioSource {
  std::string fileName;  ///< below tools/mkgame/scenarios
  std::string member;    ///< CP932 member name
  std::string archive;   ///< "Script.pac" or "Update.pac"
  std::string text;      ///< UTF-8 scenario text
};

/// The scenario sources built into the program, in story order.
std::vector<ScenarioSource> scenarioSources();

/// Builds the game. progress receives one short line per step. None with error set (one line)
/// when a scenario does not assemble or espeak-ng is missing. A scale above 1 adds scale - 1
/// further sets of full-size pictures, music and voices that no scenario uses, so that the
/// conversion can be measured at the size of a real installation; the result is still the same
/// bytes on every run.
std::optional<GameImage> buildGame(const std::function<void(std::string_view)>& progress, std::string& error,
                                   int scale = 1);

}  // namespace sorel::mkgame
