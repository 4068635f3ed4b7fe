#pragma once
// The system data file "save000.dat": what belongs to the player rather than to one game. The
// visited pictures and scenarios, the scene flags and system values, and the table of read
// messages. Written whole after every save and at exit, read once at start-up; a file that does
// not check out in every count and length is not used.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/story/backlog.h"
#include "engine/story/script_state.h"

namespace sorel {

struct SystemData {
  std::vector<std::string> visitedPictures;
  std::vector<std::string> visitedScenarios;
  SceneFlags sceneFlags;
  SystemValues systemValues;
  std::vector<ReadTable::Record> readTable;
};

/// The file image: "QVG1", the two name lists (count, byte length, names NUL-terminated), the
/// words 1 and 400 before the scene flags and system values, and the read table (count, byte
/// length, then per scenario its name, the offset count and the offsets).
std::vector<uint8_t> serialiseSystemData(const SystemData& data);
/// Reads a file image; none when the magic, a count, a byte length, a name (64 bytes or longer)
/// or an offset count (over 8192) does not fit, or bytes are left over.
std::optional<SystemData> parseSystemData(std::span<const uint8_t> bytes);

}  // namespace sorel
