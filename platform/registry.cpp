#include "platform/registry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string configHome() {
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return x;
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.config";
  return ".";
}

std::vector<std::string> readLines(const std::string& hostFile) {
  std::vector<std::string> lines;
  std::ifstream in(hostFile, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Values are stored with '\' and newlines escaped so a folder path survives a round trip.
std::string escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      ++i;
      out += s[i] == 'n' ? '\n' : s[i];
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string registryFilePath() { return configHome() + "/sorel/registry"; }

std::optional<std::string> registryGetString(std::string_view keyPath, std::string_view name) {
  auto keyUtf8 = cp932ToUtf8(keyPath);
  auto nameUtf8 = cp932ToUtf8(name);
  if (!keyUtf8 || !nameUtf8) return std::nullopt;
  bool inKey = false;
  for (const std::string& line : readLines(registryFilePath())) {
    if (!line.empty() && line.front() == '[') {
      size_t end = line.rfind(']');
      inKey = end != std::string::npos && sameIgnoringAsciiCase(line.substr(1, end - 1), *keyUtf8);
      continue;
    }
    size_t eq = line.find('=');
    if (inKey && eq != std::string::npos && sameIgnoringAsciiCase(line.substr(0, eq), *nameUtf8))
      return utf8ToCp932(unescape(std::string_view(line).substr(eq + 1)));
  }
  return std::nullopt;
}

bool registrySetString(std::string_view keyPath, std::string_view name, std::string_view value) {
  auto keyUtf8 = cp932ToUtf8(keyPath);
  auto nameUtf8 = cp932ToUtf8(name);
  auto valueUtf8 = cp932ToUtf8(value);
  if (!keyUtf8 || !nameUtf8 || !valueUtf8) return false;
  std::string file = registryFilePath();
  std::vector<std::string> lines = readLines(file);
  std::string entry = *nameUtf8 + "=" + escape(*valueUtf8);

  size_t keyLine = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    size_t end = l.rfind(']');
    if (!l.empty() && l.front() == '[' && end != std::string::npos &&
        sameIgnoringAsciiCase(l.substr(1, end - 1), *keyUtf8)) {
      keyLine = i;
      break;
    }
  }
  if (keyLine == lines.size()) {
    lines.push_back("[" + *keyUtf8 + "]");
    lines.push_back(entry);
  } else {
    size_t i = keyLine + 1;
    bool replaced = false;
    for (; i < lines.size() && (lines[i].empty() || lines[i].front() != '['); ++i) {
      size_t eq = lines[i].find('=');
      if (eq != std::string::npos && sameIgnoringAsciiCase(lines[i].substr(0, eq), *nameUtf8)) {
        lines[i] = entry;
        replaced = true;
        break;
      }
    }
    if (!replaced) lines.insert(lines.begin() + static_cast<long>(keyLine) + 1, entry);
  }

  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  auto dir = systemPath(configHome() + "/sorel");
  auto path = systemPath(file);
  if (!dir || !path || !createFolders(*dir)) return false;
  return writeWholeFile(*path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

}  // namespace platform
