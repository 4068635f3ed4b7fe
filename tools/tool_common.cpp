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

size_t displayWidth(std::string_view utf8) {
  size_t width = 0;
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t lead = static_cast<uint8_t>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    uint32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) c = (c << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    i += length;
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
                      (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    width += wide ? 2 : 1;
  }
  return width;
}

}  // namespace sorel::tool
