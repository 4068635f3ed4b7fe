#include "tools/tool_common.h"

#include <cstdio>

#include "engine/resources/sjis_text.h"
#include "platform/files.h"
#include "platform/text.h"

namespace sorel::tool {

void error(std::string_view program, std::string_view message) {
  std::fprintf(stderr, "%.*s: %.*s\n", int(program.size()), program.data(), int(message.size()),
               message.data());
}

std::optional<std::string> systemPathArg(std::string_view program, std::string_view hostPath) {
  auto p = platform::systemPath(hostPath);
  if (!p) error(program, std::string(hostPath) + ": path has a character that Shift-JIS cannot hold");
  return p;
}

std::string displayName(std::string_view cp932) { return platform::cp932ToUtf8Lossy(untilNul(cp932)); }

std::string safeFileName(std::string_view cp932) {
  std::string name = displayName(cp932);
  for (char& c : name)
    if (c == '/' || c == '\\' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
  if (name.empty() || name == "." || name == "..") name = "_" + name;
  return name;
}

std::string baseName(std::string_view hostPath) {
  size_t slash = hostPath.find_last_of('/');
  return std::string(slash == std::string_view::npos ? hostPath : hostPath.substr(slash + 1));
}

bool writeOutput(std::string_view program, std::string_view hostPath, std::span<const uint8_t> bytes) {
  auto path = systemPathArg(program, hostPath);
  if (!path) return false;
  if (!platform::writeWholeFile(*path, bytes, false)) {
    error(program, std::string(hostPath) + ": cannot write");
    return false;
  }
  return true;
}

}  // namespace sorel::tool
