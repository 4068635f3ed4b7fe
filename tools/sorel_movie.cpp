// sorel-movie: makes a .jmv movie and its .mp3 sound track for the players' movie folder, from a
// video file, a folder of numbered PNG or BMP frames and an optional WAVE, or a generated test
// animation; `info` prints a movie's header and index.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "sorel_version.h"
#include "tools/jmv_writer.h"
#include "tools/tool_common.h"
#include "tools/video_input.h"

namespace {

using namespace sorel;
constexpr const char* kProgram = "sorel-movie";
namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string sizeText(uint32_t w, uint32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

std::string secondsText(uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", double(ms) / 1000.0);
  return text;
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

/// Encoding progress on standard error: a rewritten line on a terminal, a plain line per tenth
/// when it goes to a pipe or a file, nothing with --quiet.
class Progress {
 public:
  Progress(bool quiet, uint32_t expected) : m_quiet(quiet), m_terminal(isatty(fileno(stderr)) != 0), m_expected(expected) {}

  void frame(uint32_t done) {
    if (m_quiet || m_expected == 0) return;
    const uint32_t shownTotal = std::max(done, m_expected);
    if (m_terminal) {
      if (done % 5 == 0) std::fprintf(stderr, "\r%s: encoding frame %u / %u", kProgram, done, shownTotal);
      m_open = true;
      return;
    }
    const uint32_t tenth = uint32_t(std::min<uint64_t>(10, uint64_t(done) * 10 / m_expected));
    if (tenth <= m_tenth) return;
    m_tenth = tenth;
    std::fprintf(stderr, "%s: encoding frame %u / %u (%u %%)\n", kProgram, done, shownTotal, tenth * 10);
  }
  /// Ends the terminal line before anything else is printed.
  void end(uint32_t done) {
    if (!m_open) return;
    std::fprintf(stderr, "\r%s: encoding frame %u / %u\n", kProgram, done, done);
    m_open = false;
  }

 private:
  bool m_quiet, m_terminal;
  uint32_t m_expected;
  uint32_t m_tenth = 0;
  bool m_open = false;
};

struct MakeOptions {
  std::string out, framesDir, video, size, wave;
  bool test = false, noSound = false, mono = false, quiet = false;
  double seconds = 4;
  uint32_t fps = 15;
  int quality = 80, kbps = 64;
};

void note(const MakeOptions& o, const std::string& line) {
  if (!o.quiet) std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

int make(const MakeOptions& o) {
  if (lower(fs::path(o.out).extension().string()) != ".jmv") {
    tool::error(kProgram, o.out + ": the movie's name must end in .jmv (the engine looks for NAME.jmv and NAME.mp3)");
    return 2;
  }
  if (int(o.test) + int(!o.framesDir.empty()) + int(!o.video.empty()) != 1) {
    tool::error(kProgram, "give one of --video FILE, --frames DIR or --test");
    return 2;
  }
  // The movie's size: --size, else the frames' own when the players show them whole, else the
  // largest the players show.
  uint32_t w = 0, h = 0;
  if (!o.size.empty()) {
    if (!parseSize(o.size, w, h)) {
      tool::error(kProgram, "--size expects WIDTHxHEIGHT, not '" + o.size + "'");
      return 2;
    }
    if (w > jmvtool::kMaxWidth || h > jmvtool::kMaxHeight) {
      tool::error(kProgram, "--size " + o.size + ": larger than the players show (" +
                                sizeText(jmvtool::kMaxWidth, jmvtool::kMaxHeight) +
                                "; pocketplayer doubles it): use at most " + std::to_string(jmvtool::kMaxWidth) + "x" +
                                std::to_string(jmvtool::kMaxHeight));
      return 2;
    }
  }
  if (o.test && (o.seconds <= 0 || o.seconds > 600)) {
    tool::error(kProgram, "--seconds must be above 0 and at most 600");
    return 2;
  }

  std::vector<fs::path> files;
  std::optional<jmvtool::Frame> firstFrame;
  std::optional<jmvtool::VideoInfo> videoInfo;
  if (!o.framesDir.empty()) {
    std::error_code ec;
    if (!fs::is_directory(o.framesDir, ec)) {
      tool::error(kProgram, o.framesDir + ": no such folder");
      return 1;
    }
    files = frameFiles(o.framesDir);
    if (files.empty()) {
      tool::error(kProgram, o.framesDir + ": no .png or .bmp frames in it");
      return 1;
    }
    std::string problem;
    firstFrame = jmvtool::readFrameFile(files[0].string(), problem);
    if (!firstFrame) {
      tool::error(kProgram, files[0].string() + ": " + problem);
      return 1;
    }
    if (w == 0) {
      const bool fits = firstFrame->width <= jmvtool::kMaxWidth && firstFrame->height <= jmvtool::kMaxHeight;
      w = fits ? firstFrame->width : jmvtool::kMaxWidth;
      h = fits ? firstFrame->height : jmvtool::kMaxHeight;
    }
  } else if (!o.video.empty()) {
    std::string problem;
    videoInfo = jmvtool::probeVideo(o.video, problem);
    if (!videoInfo) {
      tool::error(kProgram, o.video + ": " + problem);
      return 1;
    }
  }
  if (w == 0) {
    w = jmvtool::kMaxWidth;
    h = jmvtool::kMaxHeight;
  }

  // The sound first: a bad WAVE must stop us before any work is done or anything is written.
  std::optional<PcmSound> sound;
  const PcmFormat soundFormat = jmvtool::soundTrackFormat(o.mono);
  if (!o.noSound && !o.wave.empty()) {
    auto path = tool::systemPathArg(kProgram, o.wave);
    if (!path) return 1;
    auto bytes = platform::readWholeFile(*path);
    if (!bytes) {
      tool::error(kProgram, o.wave + ": cannot be read");
      return 1;
    }
    std::string problem;
    sound = jmvtool::soundTrackPcm(*bytes, o.mono, problem);
    if (!sound) {
      tool::error(kProgram, o.wave + ": " + problem);
      return 1;
    }
  } else if (!o.noSound && !o.video.empty() && videoInfo->sound) {
    std::string problem;
    sound = jmvtool::readVideoSound(o.video, soundFormat, problem);
    if (!sound) {
      tool::error(kProgram, o.video + ": " + problem);
      return 1;
    }
  }

  jmvtool::MovieSettings settings;
  settings.fps = o.fps;
  settings.quality = o.quality;
  jmvtool::MovieBuilder movie(w, h, settings);
  std::string problem;
  uint32_t expected = 0;
  if (o.test) expected = std::max<uint32_t>(1, uint32_t(o.seconds * o.fps + 0.5));
  else if (!files.empty()) expected = uint32_t(files.size());
  else expected = uint32_t(std::ceil(videoInfo->seconds * o.fps));
  Progress progress(o.quiet, expected);
  auto add = [&](const jmvtool::Frame& f) {
    if (!movie.add(f, problem)) return false;
    progress.frame(movie.frames());
    return true;
  };

  if (o.test) {
    for (uint32_t i = 0; i < expected; ++i)
      if (!add(jmvtool::testFrame(i, expected, w, h))) break;
  } else if (!files.empty()) {
    const uint32_t firstW = firstFrame->width, firstH = firstFrame->height;
    if (firstW != w || firstH != h)
      note(o, files[0].filename().string() + " and the other frames are " + sizeText(firstW, firstH) +
                  ": scaled to fit " + sizeText(w, h));
    for (size_t i = 0; i < files.size(); ++i) {
      std::optional<jmvtool::Frame> frame =
          i == 0 ? std::move(firstFrame) : jmvtool::readFrameFile(files[i].string(), problem);
      if (!frame) {
        problem = files[i].string() + ": " + problem;
        break;
      }
      // Every frame has the first one's size: a stray picture in the folder is named, not scaled.
      if (frame->width != firstW || frame->height != firstH) {
        problem = files[i].string() + " is " + sizeText(frame->width, frame->height) + ", not " +
                  sizeText(firstW, firstH) + " like " + files[0].filename().string();
        break;
      }
      if (!add(jmvtool::fitFrame(*frame, w, h))) {
        problem = files[i].string() + ": " + problem;
        break;
      }
    }
  } else {
    if (videoInfo->width != w || videoInfo->height != h)
      note(o, o.video + ": pictures of " + sizeText(videoInfo->width, videoInfo->height) + " scaled to fit " +
                  sizeText(w, h));
    if (!jmvtool::readVideoFrames(o.video, o.fps, w, h, add, problem)) problem = o.video + ": " + problem;
  }
  progress.end(movie.frames());
  if (!problem.empty()) {
    tool::error(kProgram, problem);
    return 1;
  }

  // The sound track lasts as long as the frames: the player ends the movie with its sound.
  std::vector<uint8_t> mp3;
  if (o.test && !o.noSound && !sound) {
    const uint32_t ms = uint32_t(uint64_t(movie.frames()) * 1000 / o.fps);
    sound = jmvtool::soundTrackPcm(jmvtool::waveFile(jmvtool::testSound(ms), 22050, 2), o.mono, problem);
  }
  if (sound) {
    const uint64_t soundLength = jmvtool::soundMs(*sound), framesLength = uint64_t(movie.frames()) * 1000 / o.fps;
    switch (jmvtool::fitSound(*sound, movie.frames(), o.fps)) {
      case jmvtool::SoundFit::Padded:
        note(o, "the sound (" + secondsText(soundLength) + ") is shorter than the frames (" + secondsText(framesLength) +
                    "): padded with silence to the last frame");
        break;
      case jmvtool::SoundFit::Cut:
        note(o, "the sound (" + secondsText(soundLength) + ") is longer than the frames (" + secondsText(framesLength) +
                    "): cut at the last frame");
        break;
      case jmvtool::SoundFit::Exact: break;
    }
    mp3 = jmvtool::encodeSoundTrack(*sound, o.kbps, problem);
    if (mp3.empty()) {
      tool::error(kProgram, "the sound track: " + problem);
      return 1;
    }
  }
  movie.setSoundTrack(!mp3.empty());
  const std::vector<uint8_t> bytes = movie.finish();
  const fs::path mp3Path = fs::path(o.out).replace_extension(".mp3");
  if (!mp3.empty() && !tool::writeOutput(kProgram, mp3Path.string(), mp3)) return 1;
  if (!tool::writeOutput(kProgram, o.out, bytes)) return 1;
  if (!o.quiet) {
    std::fprintf(stderr, "%s: wrote %s (%u frames of %u x %u at %u fps, %zu bytes)", kProgram, o.out.c_str(),
                 movie.frames(), w, h, o.fps, bytes.size());
    if (!mp3.empty()) std::fprintf(stderr, " and %s (%zu bytes)", mp3Path.string().c_str(), mp3.size());
    std::fprintf(stderr, "\n");
  }
  std::error_code ec;
  if (mp3.empty() && fs::exists(mp3Path, ec))
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

  auto* makeCmd = app.add_subcommand("make", "make OUT.jmv (and OUT.mp3) from a video, frames or a test animation");
  MakeOptions o;
  makeCmd->add_option("OUT", o.out, "the movie to write, NAME.jmv; its sound track becomes NAME.mp3")->required();
  makeCmd->add_option("--video", o.video,
                      "a video file (any format FFmpeg reads); its pictures are scaled to fit the movie's size and "
                      "its sound becomes the sound track")
      ->option_text("FILE");
  makeCmd->add_option("--frames", o.framesDir, "folder of numbered .png or .bmp frames, all of one size")
      ->option_text("DIR");
  makeCmd->add_flag("--test", o.test, "a generated test animation (with a generated sound track)");
  makeCmd->add_option("--size", o.size,
                      "the movie's size, at most 320x240 (the players' largest; pocketplayer doubles it); default: "
                      "the frames' own size when they fit, else 320x240")
      ->option_text("WxH");
  makeCmd->add_option("--seconds", o.seconds, "test animation: length in seconds (default 4)")->option_text("S");
  makeCmd->add_option("--fps", o.fps, "frames per second (default 15)")->check(CLI::Range(1, 1000))->option_text("N");
  makeCmd->add_option("--quality", o.quality, "JPEG quality of the frames, 1 to 100 (default 80)")
      ->check(CLI::Range(1, 100))
      ->option_text("Q");
  makeCmd->add_option("--sound", o.wave, "a WAVE file (any coding) for the sound track, instead of the video's own")
      ->option_text("FILE.wav");
  makeCmd->add_flag("--no-sound", o.noSound, "no sound track (the player then times the frames by its clock)");
  makeCmd->add_option("--bitrate", o.kbps, "sound track bitrate in kbit/s for stereo (default 64)")
      ->check(CLI::Range(16, 320))
      ->option_text("KBIT");
  makeCmd->add_flag("--mono", o.mono, "a mono sound track at half the bitrate");
  makeCmd->add_flag("-q,--quiet", o.quiet, "print nothing but errors");

  auto* infoCmd = app.add_subcommand("info", "print a movie's header and index, and whether the player accepts it");
  std::string infoFile;
  infoCmd->add_option("FILE", infoFile, "a .jmv movie")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (*infoCmd) return info(infoFile);
  return make(o);
}
