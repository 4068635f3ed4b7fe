#include "engine/resources/data_locations.h"

#include <unistd.h>

#include <vector>

#include "engine/resources/sjis_text.h"
#include "platform/files.h"

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
