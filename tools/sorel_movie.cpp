// sorel-movie: makes a .jmv movie and its .mp3 sound track for the players' movie folder, from a
// folder of numbered PNG or BMP frames and an optional WAVE, or from a generated test animation;
// `info` prints a movie's header and index.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tools/jmv_writer.h"
#include "tools/tool_common.h"
#include "sorel_version.h"

namespace {

using namespace sorel;
constexpr const char* kProgram = "sorel-movie";
namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

/// The frame files of a folder: every .png and .bmp, in the order of the numbers in their names
/// (then by name), so that "frame2.png" comes before "frame10.png".
std::vector<fs::path> frameFiles(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    const std::string ext = lower(e.path().extension().string());
    if (e.is_regular_file() && (ext == ".png" || ext == ".bmp")) files.push_back(e.path());
  }
  auto key = [](const fs::path& p) {
    const std::string name = p.filename().string();
    uint64_t number = 0;
    bool any = false;
    for (char c : name)
      if (c >= '0' && c <= '9') {
        number = number * 10 + uint64_t(c - '0');
        any = true;
        if (number > (uint64_t(1) << 50)) break;
      }
    return std::make_tuple(any ? number : UINT64_MAX, name);
  };
  std::sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) { return key(a) < key(b); });
  return files;
}

bool parseSize(const std::string& s, uint32_t& w, uint32_t& h) {
  unsigned a = 0, b = 0;
  char x = 0, rest = 0;
  if (std::sscanf(s.c_str(), "%u%c%u%c", &a, &x, &b, &rest) != 3 || (x != 'x' && x != 'X')) return false;
  w = a;
  h = b;
  return w > 0 && h > 0;
}

void showProgress(uint32_t done, uint32_t total, void*) {
  if (done == total || done % 10 == 0) std::fprintf(stderr, "\r%s: encoding frame %u / %u", kProgram, done, total);
  if (done == total) std::fprintf(stderr, "\n");
}

int make(const std::string& out, const std::string& framesDir, bool test, const std::string& sizeText, double seconds,
         uint32_t fps, int quality, const std::string& wave, bool noSound, int kbps, bool mono, bool quiet) {
  if (lower(fs::path(out).extension().string()) != ".jmv") {
    tool::error(kProgram, out + ": the movie's name must end in .jmv (the engine looks for NAME.jmv and NAME.mp3)");
    return 2;
  }
  if (test == !framesDir.empty()) {
    tool::error(kProgram, "give either --frames DIR or --test");
    return 2;
  }
  jmvtool::MovieSettings settings;
  settings.fps = fps;
  settings.quality = quality;
  std::vector<jmvtool::Frame> frames;
  if (test) {
    uint32_t w = 320, h = 240;
    if (!parseSize(sizeText, w, h)) {
      tool::error(kProgram, "--size expects WIDTHxHEIGHT, not '" + sizeText + "'");
      return 2;
    }
    if (seconds <= 0 || seconds > 600) {
      tool::error(kProgram, "--seconds must be above 0 and at most 600");
      return 2;
    }
    const uint32_t count = std::max<uint32_t>(1, uint32_t(seconds * fps + 0.5));
    if (w > jmvtool::kMaxSide || h > jmvtool::kMaxSide) {
      tool::error(kProgram, "--size: frames larger than 640 pixels a side");
      return 2;
    }
    for (uint32_t i = 0; i < count; ++i) frames.push_back(jmvtool::testFrame(i, count, w, h));
  } else {
    std::error_code ec;
    if (!fs::is_directory(framesDir, ec)) {
      tool::error(kProgram, framesDir + ": no such folder");
      return 1;
    }
    auto files = frameFiles(framesDir);
    if (files.empty()) {
      tool::error(kProgram, framesDir + ": no .png or .bmp frames in it");
      return 1;
    }
    for (const auto& f : files) {
      std::string problem;
      auto frame = jmvtool::readFrameFile(f.string(), problem);
      if (!frame) {
        tool::error(kProgram, f.string() + ": " + problem);
        return 1;
      }
      frames.push_back(std::move(*frame));
    }
  }
  if (std::string why = jmvtool::checkFrames(frames, settings); !why.empty()) {
    tool::error(kProgram, why);
    return 1;
  }

  // The sound track first: a bad WAVE must stop us before anything is written.
  std::vector<uint8_t> mp3;
  const bool sound = !noSound && (test || !wave.empty());
  if (sound) {
    std::vector<uint8_t> waveBytes;
    if (!wave.empty()) {
      auto path = tool::systemPathArg(kProgram, wave);
      if (!path) return 1;
      auto bytes = platform::readWholeFile(*path);
      if (!bytes) {
        tool::error(kProgram, wave + ": cannot be read");
        return 1;
      }
      waveBytes = std::move(*bytes);
    } else {
      const uint32_t ms = uint32_t(uint64_t(frames.size()) * 1000 / fps);
      waveBytes = jmvtool::waveFile(jmvtool::testSound(ms), 22050, 2);
    }
    std::string problem;
    mp3 = jmvtool::soundTrack(waveBytes, kbps, mono, problem);
    if (mp3.empty()) {
      tool::error(kProgram, (wave.empty() ? std::string("the test sound") : wave) + ": " + problem);
      return 1;
    }
  }
  settings.soundTrack = sound;
  std::string problem;
  auto movie = jmvtool::makeMovie(frames, settings, problem, quiet ? nullptr : showProgress);
  if (movie.empty()) {
    tool::error(kProgram, problem);
    return 1;
  }
  const fs::path mp3Path = fs::path(out).replace_extension(".mp3");
  if (sound && !tool::writeOutput(kProgram, mp3Path.string(), mp3)) return 1;
  if (!tool::writeOutput(kProgram, out, movie)) return 1;
  if (!quiet) {
    std::fprintf(stderr, "%s: wrote %s (%zu frames of %u x %u at %u fps, %zu bytes)", kProgram, out.c_str(),
                 frames.size(), frames[0].width, frames[0].height, fps, movie.size());
    if (sound) std::fprintf(stderr, " and %s (%zu bytes)", mp3Path.string().c_str(), mp3.size());
    std::fprintf(stderr, "\n");
  }
  std::error_code ec;
  if (!sound && fs::exists(mp3Path, ec))
    std::fprintf(stderr, "%s: note: %s is left from before; the player plays it as this movie's sound track\n",
                 kProgram, mp3Path.string().c_str());
  return 0;
}

int info(const std::string& file) {
  auto path = tool::systemPathArg(kProgram, file);
  if (!path) return 1;
  auto bytes = platform::readWholeFile(*path);
  if (!bytes) {
    tool::error(kProgram, file + ": cannot be read");
    return 1;
  }
  std::string text = jmvtool::describeMovie(*bytes);
  std::fputs(text.c_str(), stdout);
  return text.find("player       plays it") != std::string::npos ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Make .jmv movies (JBP1 frames and an MP3 sound track) for the players' data/jmv folder."};
  app.name(kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + sorel::kVersion);
  app.require_subcommand(1);

  auto* makeCmd = app.add_subcommand("make", "make OUT.jmv (and OUT.mp3) from frames or a test animation");
  std::string out, framesDir, sizeText = "320x240", wave;
  bool test = false, noSound = false, mono = false, quiet = false;
  double seconds = 4;
  uint32_t fps = 15;
  int quality = 80, kbps = 64;
  makeCmd->add_option("OUT", out, "the movie to write, NAME.jmv; its sound track becomes NAME.mp3")->required();
  makeCmd->add_option("--frames", framesDir, "folder of numbered .png or .bmp frames, all of one size");
  makeCmd->add_flag("--test", test, "a generated test animation (with a generated sound track)");
  makeCmd->add_option("--size", sizeText, "test animation: WIDTHxHEIGHT (default 320x240)");
  makeCmd->add_option("--seconds", seconds, "test animation: length in seconds (default 4)");
  makeCmd->add_option("--fps", fps, "frames per second (default 15)")->check(CLI::Range(1, 1000));
  makeCmd->add_option("--quality", quality, "JPEG quality of the frames, 1 to 100 (default 80)")->check(CLI::Range(1, 100));
  makeCmd->add_option("--sound", wave, "a WAVE file (any coding) for the sound track");
  makeCmd->add_flag("--no-sound", noSound, "no sound track (the player then times the frames by its clock)");
  makeCmd->add_option("--bitrate", kbps, "sound track bitrate in kbit/s for stereo (default 64)")->check(CLI::Range(16, 320));
  makeCmd->add_flag("--mono", mono, "a mono sound track at half the bitrate");
  makeCmd->add_flag("-q,--quiet", quiet, "print nothing but errors");

  auto* infoCmd = app.add_subcommand("info", "print a movie's header and index, and whether the player accepts it");
  std::string infoFile;
  infoCmd->add_option("FILE", infoFile, "a .jmv movie")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (*infoCmd) return info(infoFile);
  return make(out, framesDir, test, sizeText, seconds, fps, quality, wave, noSound, kbps, mono, quiet);
}
