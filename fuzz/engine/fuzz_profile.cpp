// Any bytes as sorel.cfg: read into the profile store, looked up and edited, written back. The
// first bytes of the input pick the names looked up, so keys and sections that exist are hit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/state/profile.h"
#include "platform/files.h"

namespace {
std::string scratchPath() {
  static std::string path = [] {
    auto host = std::filesystem::temp_directory_path() / ("sorel_fuzz_profile_" + std::to_string(getpid()) + ".cfg");
    auto sys = platform::systemPath(host.string());
    return sys ? *sys : std::string();
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = scratchPath();
  if (path.empty()) return 0;
  sorel::clearProfile();
  if (!platform::writeWholeFile(path, std::span<const uint8_t>(data, size), false)) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string section(text.substr(0, 8));
  std::string key(text.substr(size > 8 ? 8 : size, 8));
  std::string out;
  sorel::getProfileInt(section, key, 7, path);
  sorel::getProfileInt("SYSTEM_CONFIG", "PCM", 7, path);
  sorel::getProfileString(section, key, "def", out, 64, path);
  sorel::getProfileString("message_config", "message_speed", "", out, 543, path);
  sorel::writeProfileString(section, key, text.substr(0, 600), path);
  sorel::writeProfileString("SYSTEM_CONFIG", "PCM", "2", path);
  sorel::writeProfileString("NEW", "K", "1", path);
  sorel::flushProfile();
  // What was written reads back.
  sorel::getProfileInt("NEW", "K", 0, path);
  sorel::clearProfile();
  platform::removeFile(path);
  return 0;
}
