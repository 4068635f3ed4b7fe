#include "engine/resources/data_locations.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "engine/resources/sjis_text.h"
#include "platform/files.h"
#include "platform/text.h"

namespace sorel {

std::string folderOf(std::string_view path) {
  path = untilNul(path);
  auto slash = lastCharOf(path, '\\');
  return std::string(slash ? path.substr(0, *slash + 1) : path);
}

std::string resolveProgramFolder(std::optional<std::string_view> hostFolder) {
  std::string host;
  if (hostFolder) {
    host = std::string(*hostFolder);
    if (host.empty()) host = ".";
    char real[4096];
    if (::realpath(host.c_str(), real)) host = real;
    if (host.back() != '/') host += '/';
  } else {
    std::vector<char> buf(4096);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    host.assign(buf.data(), static_cast<size_t>(n));
  }
  auto system = platform::systemPath(host);
  if (!system) return {};
  return folderOf(*system);
}

namespace {
std::string joined(const std::vector<std::string>& names);

std::string withoutSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}
}  // namespace

DataChoice chooseDataFolder(const DataSearch& where, const std::function<bool(const std::string&)>& holdsData) {
  if (where.root) return {*where.root, DataSource::Root};
  const std::pair<const std::string*, DataSource> places[] = {
      {&where.programFolder, DataSource::ProgramFolder},
      {&where.currentFolder, DataSource::CurrentFolder},
      {&where.userFolder, DataSource::UserFolder}};
  for (const auto& [folder, source] : places)
    if (!folder->empty() && holdsData(*folder)) return {*folder, source};
  return {where.userFolder, DataSource::NotFound};
}

DataChoice chooseDataFolder(const DataSearch& where) {
  return chooseDataFolder(where, [](const std::string& folder) {
    auto data = platform::systemPath(withoutSlash(folder) + "/data");
    return data && platform::isFolder(*data);
  });
}

DataSearch currentDataSearch(std::optional<std::string> root) {
  DataSearch where;
  where.root = std::move(root);
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n > 0) {
    std::string exe(buf.data(), static_cast<size_t>(n));
    auto slash = exe.rfind('/');
    if (slash != std::string::npos) where.programFolder = exe.substr(0, slash + 1);
  }
  if (::getcwd(buf.data(), buf.size())) where.currentFolder = buf.data();
  where.userFolder = platform::userDataFolder();
  return where;
}

DataProblem noDataFound(const DataSearch& where) {
  std::vector<std::string> places;
  for (const std::string* f : {&where.programFolder, &where.currentFolder, &where.userFolder}) {
    const std::string shown = withoutSlash(*f) + "/data";
    if (!f->empty() && std::find(places.begin(), places.end(), shown) == places.end()) places.push_back(shown);
  }
  return {DataProblem::Weight::Blocking, "no data folder (looked for " + joined(places) + ")",
          "convert a game here with convSorel --batch --game DIR, or give --root"};
}

DataPaths makeDataPaths(std::string_view programFolder) {
  DataPaths p;
  p.programFolder = std::string(untilNul(programFolder));
  const std::string& f = p.programFolder;
  p.scriptArchivePath = f + "data\\Script.mlz";
  p.pictureArchivePath = f + "data\\bg.mlz";
  p.voiceArchivePath = f + "data\\voice.mlz";
  p.musicFolder = f + "data\\bgm\\";
  p.soundFolder = f + "data\\se\\";
  p.movieFolder = f + "data\\jmv\\";
  p.systemSoundFolder = f + "data\\sys\\";
  p.saveFolder = f + "data\\save\\";
  return p;
}

namespace {
constexpr const char* kPictureArchives[6] = {"bg", "Face", "Stand", "System", "Thumbnail", "Visual"};

std::string shown(std::string_view systemPath) {
  std::string host = platform::hostPath(systemPath);
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host.empty() ? platform::cp932ToUtf8Lossy(systemPath) : host;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}
}  // namespace

std::vector<DataProblem> findDataProblems(const DataPaths& paths, bool vga, std::string_view program) {
  using Weight = DataProblem::Weight;
  std::vector<DataProblem> problems;
  // The data folder may come from a system that ignores letter case ("SCRIPT.MLZ").
  const std::string data = platform::existingPath(paths.dataFolder());
  const std::string size = vga ? "640" : "320";
  if (!platform::isFolder(data)) {
    problems.push_back({Weight::Blocking, "no data folder at " + shown(data), "convert a game with convSorel or give --root"});
    return problems;
  }
  std::vector<std::string> missing, unreadable;
  auto look = [&](const std::string& file) {
    const std::string path = platform::existingPath(data + file);
    if (!platform::fileExists(path)) {
      missing.push_back(file);
      return false;
    }
    MlzArchive probe;
    if (!probe.loadIndex(path, true)) unreadable.push_back(file);
    return true;
  };
  look("Script.mlz");
  look("Table.mlz");
  int ownSet = 0, otherSet = 0;
  std::vector<std::string> otherNames;
  for (const char* base : kPictureArchives) {
    if (look(archiveFileName(base, vga))) ++ownSet;
    const std::string other = archiveFileName(base, !vga);
    if (platform::fileExists(platform::existingPath(data + other))) {
      ++otherSet;
      otherNames.push_back(other);
    }
  }
  if (ownSet == 0 && otherSet > 0) {
    // Converted for the other screen: say which set is there and how to get the right one.
    for (const char* base : kPictureArchives) std::erase(missing, archiveFileName(base, vga));
    problems.push_back({Weight::Blocking,
                        shown(data) + " holds the " + (vga ? "320 × 240" : "640 × 480") + " picture set (" +
                            otherNames.front() + " ...) but " + std::string(program) + " needs the " +
                            (vga ? "640 × 480" : "320 × 240") + " one (" + archiveFileName("bg", vga) + " ...)",
                        "convert the game with convSorel --size " + size});
  }
  if (!missing.empty())
    problems.push_back({Weight::Blocking, "missing in " + shown(data) + ": " + joined(missing),
                        "convert the game again with convSorel --size " + size});
  for (const std::string& file : unreadable)
    problems.push_back({Weight::Blocking, "cannot read " + shown(data + file),
                        "not an .mlz archive, or a damaged one; convert the game again", ": "});
  // The three sound folders come with the music (convSorel --no-music leaves them out).
  struct SoundFolder {
    const std::string* path;
    const char* name;
    const char* sound;
  };
  std::vector<std::string> absent, sounds;
  for (SoundFolder f : {SoundFolder{&paths.musicFolder, "bgm", "music"}, SoundFolder{&paths.soundFolder, "se", "sound effects"},
                        SoundFolder{&paths.systemSoundFolder, "sys", "system voices"}})
    if (!platform::isFolder(platform::existingPath(*f.path))) {
      absent.push_back(f.name);
      sounds.push_back(f.sound);
    }
  if (!absent.empty()) {
    std::string also;
    for (size_t i = 0; i < sounds.size(); ++i)
      also += (i == 0 ? "" : i + 1 == sounds.size() ? " and " : ", ") + sounds[i];
    problems.push_back({Weight::Silence,
                        "no " + joined(absent) + (absent.size() > 1 ? " folders" : " folder") + " in " + shown(data),
                        "the game plays without " + also + " (convert the game again with its music: convSorel without --no-music)",
                        ": "});
  }
  if (!platform::fileExists(platform::existingPath(paths.voiceArchivePath)))
    problems.push_back({Weight::Note, "no voice.mlz in " + shown(data),
                        "the game plays without voices (convert with voices to hear them)", ": "});
  return problems;
}

std::vector<std::string> checkDataFolder(const DataPaths& paths, bool vga, std::string_view program) {
  std::vector<std::string> lines;
  for (const DataProblem& p : findDataProblems(paths, vga, program)) lines.push_back(p.line(program));
  return lines;
}

bool holdsVoices(const DataPaths& paths) { return platform::fileExists(platform::existingPath(paths.voiceArchivePath)); }

bool holdsEffects(const DataPaths& paths) { return !platform::listFolder(platform::existingPath(paths.soundFolder)).empty(); }

void createSaveFolder(const DataPaths& paths) {
  std::string folder = paths.programFolder + "data\\save";
  if (!platform::fileExists(folder)) platform::createFolder(folder);
}

std::string archiveFileName(std::string_view name, bool vga) {
  std::string out(untilNul(name));
  if (!lastCharOf(out, '.')) out += ".mlz";
  if (vga) out = replaceExtension(out, "_vga.mlz");
  return out;
}

std::string picturePath(std::string_view pictureArchivePath, std::string_view name, bool vga) {
  std::string path = folderOf(pictureArchivePath) + std::string(untilNul(name));
  // The ".mlz" rule looks at the file part only: a '.' in a folder name must not count.
  auto slash = lastCharOf(path, '\\');
  size_t filePart = slash ? *slash + 1 : 0;
  return path.substr(0, filePart) + archiveFileName(std::string_view(path).substr(filePart), vga);
}

PictureArchives::PictureArchives(bool vga) : m_vga(vga) {
  static constexpr const char* kNames[6] = {"bg", "Face", "Stand", "System", "Thumbnail", "Visual"};
  for (int i = 0; i < 6; ++i) m_names[static_cast<size_t>(i)] = archiveFileName(kNames[i], vga);
}

int PictureArchives::archiveSlot(std::string_view name) const {
  std::string file = archiveFileName(name, m_vga);
  for (int i = 0; i < kSlots; ++i)
    if (!m_names[static_cast<size_t>(i)].empty() && sameName(m_names[static_cast<size_t>(i)], file))
      return i;
  return 0;
}

}  // namespace sorel
