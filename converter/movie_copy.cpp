#include "converter/movie_copy.h"

#include "engine/resources/sjis_text.h"
#include "platform/files.h"

namespace sorel {

std::vector<std::string> movieFiles(std::string_view gameFolder) {
  std::vector<std::string> out;
  const std::string folder = std::string(gameFolder) + kGameMovieFolder;
  if (!platform::isFolder(folder)) return out;
  for (const std::string& name : platform::listFolder(folder)) {
    const std::string_view ext = extensionOf(name);
    if ((sameName(ext, ".jmv") || sameName(ext, ".mp3")) && !platform::isFolder(folder + "\\" + name))
      out.push_back(name);
  }
  return out;
}

MovieCopyResult copyMovies(std::string_view gameFolder, std::string_view dataFolder,
                           const std::function<bool()>& stop) {
  MovieCopyResult r;
  const std::vector<std::string> files = movieFiles(gameFolder);
  if (files.empty()) return r;
  const std::string target = std::string(dataFolder) + "jmv";
  if (!platform::createFolders(target)) {
    r.failures.push_back("data\\jmv: cannot be created");
    return r;
  }
  for (const std::string& name : files) {
    if (stop && stop()) break;
    auto bytes = platform::readWholeFile(std::string(gameFolder) + kGameMovieFolder + "\\" + name);
    if (!bytes) {
      r.failures.push_back(std::string(kGameMovieFolder) + "\\" + name + ": cannot be read");
      continue;
    }
    if (!platform::writeWholeFile(target + "\\" + name, *bytes, false)) {
      r.failures.push_back("data\\jmv\\" + name + ": cannot be written");
      continue;
    }
    ++r.files;
    r.bytes += bytes->size();
  }
  return r;
}

}  // namespace sorel
