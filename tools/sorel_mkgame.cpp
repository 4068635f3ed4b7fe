// sorel-mkgame: writes a complete PC installation of the sample game into a folder: the
// placeholder Lumenwish.exe, the twelve archives the converter reads and Update.pac. With
// --install it also records the folder in the registry, as the game's installer would.
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "sorel_version.h"
#include "engine/resources/sjis_text.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "tools/mkgame/game_builder.h"
#include "tools/tool_common.h"

namespace {

using namespace sorel;
constexpr const char* kProgram = "sorel-mkgame";
constexpr const char* kRegistryKey = "Software\\ORBA\\Lumenwish";

int run(const std::string& outDir, bool install, bool quiet, int scale) {
  auto start = std::chrono::steady_clock::now();
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(outDir, ec);
  if (ec) {
    tool::error(kProgram, outDir + ": cannot resolve the folder");
    return 1;
  }
  std::string hostDir = absolute.lexically_normal().string();
  while (hostDir.size() > 1 && hostDir.back() == '/') hostDir.pop_back();
  auto dir = tool::systemPathArg(kProgram, hostDir);
  if (!dir) return 1;
  if (platform::fileExists(*dir) && !platform::isFolder(*dir)) {
    tool::error(kProgram, outDir + ": exists and is not a folder");
    return 1;
  }
  auto progress = [&](std::string_view step) {
    if (!quiet) std::fprintf(stderr, "%s: %.*s\n", kProgram, int(step.size()), step.data());
  };
  std::string error;
  auto game = mkgame::buildGame(progress, error, scale);
  if (!game) {
    tool::error(kProgram, error);
    return 1;
  }

  if (!platform::createFolders(*dir)) {
    tool::error(kProgram, outDir + ": cannot create the folder");
    return 1;
  }
  progress("packing " + std::to_string(game->archives.size()) + " archives");
  std::vector<std::vector<uint8_t>> images(game->archives.size());
  std::vector<bool> built(game->archives.size(), false);
  {
    std::vector<std::thread> workers;
    std::atomic<size_t> next{0};
    auto work = [&] {
      for (size_t i; (i = next.fetch_add(1)) < images.size();) {
        auto image = buildPac(game->archives[i].members, game->archives[i].method);
        if (image) images[i] = std::move(*image), built[i] = true;
      }
    };
    workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
  }
  uint64_t total = 0;
  for (size_t i = 0; i < images.size(); ++i) {
    const std::string& name = game->archives[i].fileName;
    if (!built[i]) {
      tool::error(kProgram, name + ": a member name does not fit the archive directory");
      return 1;
    }
    if (!platform::writeWholeFile(*dir + "\\" + name, images[i], false)) {
      tool::error(kProgram, hostDir + "/" + name + ": cannot write");
      return 1;
    }
    total += images[i].size();
  }
  if (!platform::writeWholeFile(*dir + "\\Lumenwish.exe", game->executable, false)) {
    tool::error(kProgram, hostDir + "/Lumenwish.exe: cannot write");
    return 1;
  }
  total += game->executable.size();
  for (const mkgame::LooseFile& f : game->files) {
    const std::string path = *dir + "\\" + f.path;
    if (!platform::createFolders(path.substr(0, path.rfind('\\'))) || !platform::writeWholeFile(path, f.bytes, false)) {
      tool::error(kProgram, hostDir + "/" + tool::displayName(f.path) + ": cannot write");
      return 1;
    }
    total += f.bytes.size();
  }

  if (install) {
    // The installer stores the folder with a trailing backslash; the converter cuts the value at
    // its last backslash and so gets the folder itself.
    if (!platform::registrySetString(kRegistryKey, "DIRECTORY", *dir + "\\")) {
      tool::error(kProgram, "cannot write the registry file " + platform::registryFilePath());
      return 1;
    }
    progress("recorded " + hostDir + " as the installed game (" + platform::registryFilePath() + ")");
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!quiet)
    std::fprintf(stderr, "%s: wrote %zu files, %" PRIu64 " bytes, to %s in %.1f s\n", kProgram,
                 images.size() + 1 + game->files.size(), total,
                 hostDir.c_str(), seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Write a complete PC installation of the sample game (Lumenwish.exe and the .pac archives)."};
  app.name(kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + sorel::kVersion);
  std::string outDir;
  bool install = false, quiet = false;
  app.add_option("OUTDIR", outDir, "folder to write the game into (created if missing)")->required();
  app.add_flag("--install", install, "record OUTDIR in the registry as the installed game's folder");
  app.add_flag("-q,--quiet", quiet, "print nothing but errors");
  int scale = 1;
  app.add_option("--scale", scale,
                 "N times the pictures (full 640x480), music and voices, for measuring the converter (default 1)")
      ->check(CLI::Range(1, 100));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return run(outDir, install, quiet, scale);
}
