#include "engine/state/profile.h"

#include <optional>

#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {
namespace {

// The one cached file. Process-wide by design: the store stands in for system profile
// functions that take a path on every call.
struct ProfileCache {
  bool loaded = false;
  std::string path;
  std::vector<std::string> lines;
  // The file's bytes past the part taken in as lines, written back exactly as read.
  std::string tail;
  int64_t fileSize = 0;
};

ProfileCache& cache() {
  static ProfileCache c;
  return c;
}

/// The text cut to at most max bytes without splitting a double-byte character.
std::string_view clampedView(std::string_view text, size_t max = kProfileLineMax) {
  if (text.size() <= max) return text;
  size_t i = 0;
  while (i < text.size()) {
    size_t step = isLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (i + step > max) break;
    i += step;
  }
  return text.substr(0, i);
}
std::string clampLine(std::string_view text) { return std::string(clampedView(text)); }

/// What the store reads of a line: a longer line is looked at only up to the limit, but kept
/// whole, so that a rewrite does not cut it.
std::string_view readable(const std::string& line) { return clampedView(line); }

bool isSectionLine(std::string_view line) { return !line.empty() && line[0] == '['; }

std::string sectionName(std::string_view line) {
  std::string name;
  copyToken(line.substr(1), name, "]", true);
  return name;
}

/// Key and value position of an entry line; none when the line holds no '=' (outside quotes).
std::optional<size_t> entryKey(std::string_view line, std::string& key) {
  key.clear();
  size_t stop = copyToken(line, key, "=", true);
  if (stop >= line.size() || line[stop] != '=') return std::nullopt;
  return stop + 1;
}

/// The raw value of the first entry `key` in any section named `section`, or none.
std::optional<std::string_view> findValue(std::string_view section, std::string_view key) {
  bool inSection = false;
  std::string k;
  for (const std::string& whole : cache().lines) {
    const std::string_view line = readable(whole);
    if (isSectionLine(line)) {
      inSection = sameName(sectionName(line), section);
      continue;
    }
    if (!inSection) continue;
    auto valueAt = entryKey(line, k);
    if (valueAt && sameName(k, key)) return std::string_view(line).substr(*valueAt);
  }
  return std::nullopt;
}

}  // namespace

void loadProfile(std::string_view path) {
  ProfileCache& c = cache();
  if (c.loaded && sameName(c.path, path)) return;
  c.loaded = true;
  c.path = std::string(untilNul(path));
  c.lines.clear();
  c.tail.clear();
  c.fileSize = 0;
  auto bytes = platform::readWholeFile(c.path);
  if (!bytes) return;
  c.fileSize = static_cast<int64_t>(bytes->size());
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  size_t kept = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::string line(text.substr(pos, end - pos));
    // Lines past the size the store works on are not looked at, but they are kept as they are
    // and written back unchanged.
    if (kept + line.size() + 2 > kProfileFileMax) {
      c.tail.assign(text.substr(pos));
      break;
    }
    kept += line.size() + 2;
    c.lines.push_back(std::move(line));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    pos = end + 1;
  }
}

int32_t getProfileInt(std::string_view section, std::string_view key, int32_t def,
                      std::string_view path) {
  loadProfile(path);
  auto value = findValue(section, key);
  if (!value || value->empty()) return def;
  int32_t v;
  return parseInt(*value, v) ? v : def;
}

size_t getProfileString(std::string_view section, std::string_view key, std::string_view def,
                        std::string& out, size_t maxLength, std::string_view path) {
  out = std::string(def);
  loadProfile(path);
  auto value = findValue(section, key);
  if (value) {
    std::string text;
    copyToken(*value, text, "", false);
    if (!text.empty() && text.size() <= maxLength) out = std::move(text);
  }
  return out.size();
}

void writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                        std::string_view path) {
  loadProfile(path);
  auto& lines = cache().lines;
  size_t sectionAt = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (isSectionLine(lines[i]) && sameName(sectionName(readable(lines[i])), section)) {
      sectionAt = i;
      break;
    }
  if (sectionAt == lines.size()) {
    // A file over the size the store reads ends in lines it never looks at: a section added
    // after the last line taken in would fall past the limit at the next start and be added
    // again and again. Then the new section goes first.
    if (!cache().tail.empty()) sectionAt = 0;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionAt), clampLine("[" + std::string(section) + "]"));
  }
  std::string entry = clampLine(std::string(key) + "=" + std::string(value));
  std::string k;
  for (size_t i = sectionAt + 1; i < lines.size() && !isSectionLine(lines[i]); ++i)
    if (entryKey(readable(lines[i]), k) && sameName(k, key)) {
      lines[i] = std::move(entry);
      return;
    }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionAt + 1), std::move(entry));
}

bool flushProfile() {
  ProfileCache& c = cache();
  if (!c.loaded) return false;
  std::vector<uint8_t> bytes;
  for (const std::string& line : c.lines) {
    bytes.insert(bytes.end(), line.begin(), line.end());
    bytes.push_back('\r');
    bytes.push_back('\n');
  }
  bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
  bool ok = platform::writeWholeFile(c.path, bytes);
  clearProfile();
  return ok;
}

void clearProfile() {
  ProfileCache& c = cache();
  c.loaded = false;
  c.path.clear();
  c.lines.clear();
  c.tail.clear();
  c.fileSize = 0;
}

const std::vector<std::string>& profileLines() { return cache().lines; }
const std::string& profilePath() { return cache().path; }

}  // namespace sorel
