// convSorel: converts the PC game's archives into the engine's data folder. `--batch` runs the
// conversion job from a terminal with the same Start checks and progress line as the dialog.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <filesystem>
#include <string>

#include "sorel_version.h"
#include "converter/conversion_job.h"
#include "converter/converter_dialog_logic.h"
#include "converter/converter_window.h"
#include "engine/resources/sjis_text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

using namespace sorel;
constexpr const char* kProgram = "convSorel";
constexpr const char* kRegistryKey = "Software\\ORBA\\Lumenwish";
constexpr const char* kRegistryValue = "DIRECTORY";

void fail(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str()); }

/// --help names an on/off pair as "--voices / --no-voices" (not the parser's own
/// "--voices,--no-voices{false}").
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_name(const CLI::Option* opt, bool positional) const override {
    if (positional) return CLI::Formatter::make_option_name(opt, positional);
    std::string names;
    for (const std::string& n : opt->get_snames()) names += (names.empty() ? "-" : ", -") + n;
    // A flag with a negated name is an on/off pair.
    const char* between = opt->get_fnames().empty() ? ", --" : " / --";
    for (const std::string& n : opt->get_lnames()) names += (names.empty() ? "--" : between) + n;
    return names;
  }
};

/// The valid values of a bitrate option, as --help lists them.
std::string bitrateChoices(bool music) {
  std::string list;
  for (int i = 0; i < 13; ++i) {
    const int stereo = kBitrateTable[i];
    list += (i ? ", " : "") + (music ? std::to_string(stereo) + "/" + std::to_string(stereo / 2) : std::to_string(stereo / 2));
  }
  return list;
}

/// A list position from the list's value: "64", "64/32" or "64/32kbit" for music ("32" or
/// "32kbit" for voices); the value is the list's first number.
std::optional<int> bitrateIndex(std::string text, bool music) {
  if (text.size() > 4 && text.compare(text.size() - 4, 4, "kbit") == 0) text.resize(text.size() - 4);
  int32_t value = 0;
  size_t digits = text.find_first_not_of("0123456789");
  std::string first = text.substr(0, digits);
  if (first.empty() || !parseInt(first, value)) return std::nullopt;
  for (int i = 0; i < 13; ++i) {
    const int stereo = kBitrateTable[i];
    const int listed = music ? stereo : stereo / 2;
    if (value != listed) continue;
    std::string expected = std::to_string(listed) + (music ? "/" + std::to_string(stereo / 2) : "");
    if (digits == std::string::npos || text == expected) return i;
  }
  return std::nullopt;
}

/// A rate list position from "22050", "22.05", "22.05kHz", "44100", "44.1" or "44.10kHz".
std::optional<int> rateIndex(const std::string& text) {
  for (const char* t : {"22050", "22.05", "22.05kHz"})
    if (text == t) return 0;
  for (const char* t : {"44100", "44.1", "44.10", "44.1kHz", "44.10kHz"})
    if (text == t) return 1;
  return std::nullopt;
}

std::string progressLine(const ConversionJob& job) {
  return sorel::progressLine(job.count(), job.total(), job.currentName());
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

/// Prints the problems of one kind under a header that says what happened to them. A long list is
/// cut after its first lines (a folder that fails once usually fails for every file).
void printProblems(const std::vector<MemberProblem>& problems, bool fileWritten) {
  std::vector<const MemberProblem*> mine;
  for (const MemberProblem& p : problems)
    if (p.fileWritten == fileWritten) mine.push_back(&p);
  if (mine.empty()) return;
  const bool one = mine.size() == 1;
  if (fileWritten)
    std::printf("%zu member%s could not be converted and %s written empty:\n", mine.size(), one ? "" : "s",
                one ? "was" : "were");
  else
    std::printf("%zu sound file%s %s not written:\n", mine.size(), one ? "" : "s", one ? "was" : "were");
  constexpr size_t kShown = 20;
  for (size_t i = 0; i < mine.size() && i < kShown; ++i)
    std::printf("  %s: %s: %s\n", platform::hostPath(mine[i]->archive).c_str(), platform::cp932ToUtf8Lossy(mine[i]->member).c_str(),
                mine[i]->reason.c_str());
  if (mine.size() > kShown) std::printf("  ... and %zu more\n", mine.size() - kShown);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Converts the PC game Lumenwish into the data folder of the handheld players."};
  app.name(kProgram);
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_version_flag("--version", std::string(kProgram) + " " + sorel::kVersion);
  bool batch = false;
  std::string game, out;
  int size = 320;
  std::string quality = "raw";
  bool pictures = true, music = true, voices = true;
  app.add_flag("--batch", batch, "run the conversion from the terminal (without the dialog)");
  app.add_option("--game", game,
                 "the game's folder (holding Lumenwish.exe); default: the DIRECTORY registry value under "
                 "Software\\ORBA\\Lumenwish")
      ->option_text("DIR");
  bool userData = false;
  app.add_option("--out", out, "folder below which data/ is written (default: the current folder); the dialog "
                               "shows it in its output field")
      ->option_text("DIR");
  app.add_flag("--user-data", userData,
               "instead of --out: the per-user data folder (" + platform::userDataFolder() +
                   ", made when missing), where the players look last");
  bool start = false;
  app.add_option("--size", size,
                 "screen size of the data set: 320 (320 × 240, for handheldplayer; the default) or 640 "
                 "(640 × 480, for pocketplayer)")
      ->check(CLI::IsMember({320, 640}))
      ->option_text("320|640");
  app.add_option("--quality", quality,
                 "pictures: raw (the highest quality, RGB565 pixels; the default), or JBP1 at JPEG quality "
                 "100, 90 or 80")
      ->check(CLI::IsMember({"raw", "100", "90", "80"}))
      ->option_text("raw|100|90|80");
  app.add_flag("--pictures,!--no-pictures", pictures, "pictures, scenario and tables (default on)");
  app.add_flag("--music,!--no-music", music, "music, sound effects and system voices (default on)");
  app.add_flag("--voices,!--no-voices", voices, "character voices (default on)");
  std::string musicBitrate = "64/32", musicRate = "22050", voiceBitrate = "32", voiceRate = "22050";
  bool stereo = true;
  app.add_option("--music-bitrate", musicBitrate,
                 "music, effects and system voices: " + bitrateChoices(true) +
                     " kbit/s (stereo/mono; the first number is enough; default 64/32)")
      ->option_text("KBIT");
  app.add_option("--music-rate", musicRate, "music, effects and system voices: 22050 or 44100 Hz (default 22050)")
      ->option_text("HZ");
  app.add_flag("--stereo,!--mono", stereo, "music, effects and system voices in stereo (default) or mono");
  app.add_option("--voice-bitrate", voiceBitrate,
                 "voices (always mono): " + bitrateChoices(false) + " kbit/s (default 32)")
      ->option_text("KBIT");
  app.add_option("--voice-rate", voiceRate, "voices: 22050 or 44100 Hz (default 22050)")->option_text("HZ");
  int jobs = 0;
  app.add_option("--jobs", jobs, "members converted at the same time (default: the number of processor cores)")
      ->check(CLI::Range(1, 64))
      ->option_text("N");
  std::string screenshot;
  app.add_option("--screenshot", screenshot,
                 "dialog only: save a PNG of the dialog once it is shown (with --start: of the box the finished "
                 "conversion shows), then close it (for tests)")
      ->option_text("FILE.png");
  app.add_flag("--start", start, "dialog only: press Start once the dialog is shown");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (userData && !out.empty()) {
    fail("give either --out DIR or --user-data");
    return 2;
  }
  if (userData) {
    // The per-user data folder is made when missing: it is where a launcher's conversion goes.
    out = platform::userDataFolder();
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec) {
      fail("cannot create the folder " + out + ": " + ec.message());
      return 2;
    }
  }
  if (!batch) {
    WindowOptions options;
    options.jobs = jobs;
    options.screenshot = screenshot;
    options.start = start;
    if (!out.empty()) {
      auto path = platform::systemPath(std::filesystem::absolute(out).string());
      if (!path) {
        fail(out + ": the path has a character that Shift-JIS cannot hold");
        return 2;
      }
      options.outputFolder = *path;
    }
    if (!game.empty()) {
      auto path = platform::systemPath(game);
      if (!path) {
        fail(game + ": the path has a character that Shift-JIS cannot hold");
        return 2;
      }
      options.gameFolder = *path;
    }
    return runConverterWindow(argc, argv, options);
  }

  ConversionSettings settings;
  if (!game.empty()) {
    auto path = platform::systemPath(game);
    if (!path) {
      fail(game + ": the path has a character that Shift-JIS cannot hold");
      return 2;
    }
    settings.gameFolder = *path;
  } else {
    settings.gameFolder = registryGameFolder();
  }
  auto musicBitrateIndex = bitrateIndex(musicBitrate, true);
  auto voiceBitrateIndex = bitrateIndex(voiceBitrate, false);
  auto musicRateIndex = rateIndex(musicRate), voiceRateIndex = rateIndex(voiceRate);
  if (!musicBitrateIndex || !voiceBitrateIndex || !musicRateIndex || !voiceRateIndex) {
    fail(!musicBitrateIndex   ? "--music-bitrate " + musicBitrate + ": not one of the music bitrates (" +
                                      bitrateChoices(true) + ")"
         : !voiceBitrateIndex ? "--voice-bitrate " + voiceBitrate + ": not one of the voice bitrates (" +
                                    bitrateChoices(false) + ")"
         : !musicRateIndex    ? "--music-rate " + musicRate + ": not one of the rates (22050, 44100)"
                              : "--voice-rate " + voiceRate + ": not one of the rates (22050, 44100)");
    return 2;
  }

  // Start's checks in the dialog's order: a game folder, the MP3 encoder (whatever the content
  // groups), the game's program in the folder.
  const std::string encoderVersion = probeEncoder();
  StartRefusal refusal = checkStart(settings.gameFolder, encoderVersion);
  if (refusal == StartRefusal::NoGameFolder) {
    fail(std::string("no game folder: give --game DIR, or set the ") + kRegistryValue + " value under " +
         kRegistryKey + " (" + platform::registryFilePath() + ")");
    return 2;
  }
  // A folder that is not there is named as such, before the question of the game's program in it.
  if (!platform::isFolder(settings.gameFolder)) {
    fail((game.empty() ? "the registry's game folder " : "--game ") + platform::hostPath(settings.gameFolder) +
         ": no such folder");
    return game.empty() ? 1 : 2;
  }
  if (refusal != StartRefusal::None) {
    // The dialog's own words first, then what they mean here.
    StartMessage m = startMessage(refusal);
    fail(std::string(m.caption) + ": " + m.text);
    if (refusal == StartRefusal::NoGame)
      fail("no Lumenwish.exe in " + platform::hostPath(settings.gameFolder) +
           ": give --game with the folder the game is installed in");
    else
      fail("the MP3 encoder (LAME) did not answer; install libmp3lame (scripts/setup-deps.sh)");
    return 1;
  }
  std::printf("%s\n", encoderLine(encoderVersion).c_str());

  std::error_code ec;
  // Absolute, so that the summary's folder and the player's --root hold from any folder.
  std::string outHost = out.empty() ? std::filesystem::current_path(ec).string() : out;
  if (!ec) outHost = withoutTrailingSlash(std::filesystem::absolute(outHost, ec).lexically_normal().string());
  auto outPath = platform::systemPath(outHost);
  if (!outPath || outPath->empty()) {
    fail(outHost + ": the output folder cannot be used");
    return 2;
  }
  // A new output folder is made, as a user naming one expects; one that cannot take the data
  // folder is refused before any work, with the system's reason.
  if (std::string why = checkOutputFolder(platform::hostPath(*outPath)); !why.empty()) {
    fail(why);
    return 2;
  }
  settings.outputFolder = *outPath;
  settings.sizeFactor = size == 640 ? 100 : 50;
  settings.qualityIndex = quality == "raw" ? 0 : quality == "100" ? 1 : quality == "90" ? 2 : 3;
  settings.pictures = pictures;
  settings.music = music;
  settings.voices = voices;
  settings.musicBitrateIndex = *musicBitrateIndex;
  settings.musicRateIndex = *musicRateIndex;
  settings.musicStereo = stereo ? 1 : 0;
  settings.voiceBitrateIndex = *voiceBitrateIndex;
  settings.voiceRateIndex = *voiceRateIndex;
  settings.jobs = jobs;

  ConversionJob job(settings);
  const bool terminal = isatty(fileno(stdout)) != 0;
  // A log gets a line per archive step (and per quarter of a long one) instead of the rewritten
  // terminal line.
  ProgressLog log;
  if (!terminal)
    job.setListener([&](const StepProgress& p) {
      if (auto line = log.line(p)) {
        std::printf("%s\n", line->c_str());
        std::fflush(stdout);
      }
    });
  if (!job.start()) {
    fail("cannot start the conversion thread");
    return 1;
  }
  while (!job.done()) {
    if (terminal && job.totalKnown()) {
      std::printf("\r%s\033[K", progressLine(job).c_str());
      std::fflush(stdout);
    }
    platform::sleepMs(100);
  }
  job.wait();
  std::printf(terminal ? "\r%s\033[K\n" : "%s\n", progressLine(job).c_str());

  const ConversionSummary& s = job.summary();
  std::printf("%d members (%d pictures, %d sounds) in %d archives and %d sound files, %d movie file%s copied, %.1f s\n",
              s.members, s.pictures, s.sounds, s.archivesWritten, s.soundFiles, s.movieFiles,
              s.movieFiles == 1 ? "" : "s", s.elapsedMs / 1000.0);
  for (const std::string& note : s.notes) std::printf("note: %s\n", note.c_str());
  if (!s.skipped.empty()) {
    std::string names;
    for (const std::string& n : s.skipped) names += (names.empty() ? "" : ", ") + n;
    std::printf("skipped (not in %s): %s\n", platform::hostPath(settings.gameFolder).c_str(), names.c_str());
  }
  printProblems(s.problems, true);
  printProblems(s.problems, false);
  for (const std::string& f : s.failures) fail(platform::cp932ToUtf8Lossy(f));
  std::fflush(stderr);
  // The last line says where the data went and what plays it.
  const std::string root = platform::hostPath(*outPath);
  const PlayerFor player = playerFor(settings.sizeFactor);
  const bool complete = s.failures.empty() && s.problems.empty();
  std::printf("%" PRIu64 " bytes written to %s for %s (%s); %s\n", s.bytesWritten,
              (root == "/" ? std::string("/data") : root + "/data").c_str(), player.program, player.size,
              complete ? ("play it with: " + playerCommand(settings.sizeFactor, root)).c_str()
                       : "incomplete: see the problems above");
  // A member written empty is a failure too: scripts can tell a complete conversion by the status.
  return complete ? 0 : 1;
}
