#pragma once
// The smallest game the players run: data\Script.mlz with one scenario, "01-01.bin", that shows
// one message and then waits for ever, a frame at a time. For the tests that run and kill a
// player many times over.
#include <filesystem>
#include <string>

#include "converter/mlz_writer.h"
#include "platform/files.h"
#include "tools/script_asm.h"

namespace sorel::test {

/// Writes root/data/Script.mlz (and creates root/data/save). Empty when all went well, else what
/// failed.
inline std::string writeWaitingGame(const std::filesystem::path& root) {
  std::filesystem::create_directories(root / "data" / "save");
  const auto script = script::assemble(R"(
    PUSH_INT 15
    PUSH_INT -1
    PUSH_STRING "\x82\xa0"
    MESSAGE
    CLEAR_STACK
end:
    YIELD
    PUSH_INT 0
    JUMP @end
)");
  if (!script.errors.empty()) return "the scenario does not assemble";
  MlzWriter w;
  auto path = platform::systemPath((root / "data" / "Script.mlz").string());
  if (!path || !w.open(*path, 1) || !w.add("01-01.bin", script.bytes, true) || !w.close())
    return "Script.mlz cannot be written";
  return {};
}

/// The arguments that run pocketplayer headless on the virtual clock over that game.
inline std::vector<std::string> waitingGameArgs(const std::filesystem::path& root) {
  return {std::string(SOREL_BIN_DIR) + "/pocketplayer", "--root", root.string(), "--headless", "--virtual-clock",
          "--scenario", "01-01.bin"};
}

}  // namespace sorel::test
