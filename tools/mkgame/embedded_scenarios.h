#pragma once
// The scenario sources of tools/mkgame/scenarios, built into the program (the build generates
// the definition from the .txt files).
#include <cstddef>
#include <span>

namespace sorel::mkgame {

struct EmbeddedFile {
  const char* name;  ///< file name below tools/mkgame/scenarios
  const char* text;  ///< UTF-8, not NUL-terminated
  size_t size;
};

std::span<const EmbeddedFile> embeddedScenarios();

}  // namespace sorel::mkgame
