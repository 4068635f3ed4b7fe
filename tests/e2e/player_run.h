#pragma once
// What the end-to-end tests share besides the sample game (tests/sample_game.h): a player run
// with its state dump, screenshots and captured sound read back, and the measures the tests take
// of a screenshot.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/screenshot.h"
#include "tests/e2e/run_program.h"
#include "tests/sample_game.h"

namespace sorel::test {

// Screenshots ----------------------------------------------------------------------------------------

struct Shot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
  bool empty() const { return rgb.empty(); }
};

/// The screenshot a player wrote; empty when there is none.
inline Shot readShot(const std::filesystem::path& png) {
  std::ifstream in(png, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Shot s;
  if (bytes.empty() || !platform::decodePngRgb(bytes, s.rgb, s.width, s.height)) return Shot{};
  return s;
}

/// Mean of the three channels over a rectangle.
inline double meanLevel(const Shot& s, int x, int y, int w, int h) {
  double sum = 0;
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) sum += s.at(i, j)[0] + s.at(i, j)[1] + s.at(i, j)[2];
  return sum / (3.0 * w * h);
}

/// Pixels of the w × h rectangle of a at (ax, ay) that differ from the one of b at (bx, by).
inline int differing(const Shot& a, int ax, int ay, const Shot& b, int bx, int by, int w, int h) {
  int n = 0;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (std::memcmp(a.at(ax + i, ay + j), b.at(bx + i, by + j), 3) != 0) ++n;
  return n;
}

/// Pixels of the rectangle of exactly the colour c.
inline int countColour(const Shot& s, int x, int y, int w, int h, std::array<uint8_t, 3> c) {
  int n = 0;
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i)
      if (std::memcmp(s.at(i, j), c.data(), 3) == 0) ++n;
  return n;
}

// Player runs ----------------------------------------------------------------------------------------

/// A state dump (--dump-state): a line of key=value words per frame, frame n at n - 1.
struct StateDump {
  std::vector<std::map<std::string, std::string>> frames;

  std::string get(int frame, const std::string& key) const {
    if (frame < 1 || size_t(frame) > frames.size()) return "";
    auto it = frames[size_t(frame) - 1].find(key);
    return it == frames[size_t(frame) - 1].end() ? "" : it->second;
  }
  int num(int frame, const std::string& key) const { return std::atoi(get(frame, key).c_str()); }
  /// The whole line, for failure messages.
  std::string line(int frame) const {
    std::string s;
    if (frame >= 1 && size_t(frame) <= frames.size())
      for (const auto& [k, v] : frames[size_t(frame) - 1]) s += k + "=" + v + " ";
    return s;
  }
};

inline StateDump readStateDump(const std::filesystem::path& file) {
  StateDump dump;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::map<std::string, std::string> values;
    std::istringstream words(line);
    for (std::string word; words >> word;)
      if (auto eq = word.find('='); eq != std::string::npos) values[word.substr(0, eq)] = word.substr(eq + 1);
    dump.frames.push_back(std::move(values));
  }
  return dump;
}

/// What a run asks of the player; its files (input.txt, state.txt, <frame>.png, sound.wav) go
/// to the run's own folder.
struct Play {
  std::string input;             ///< the input script
  int frames = 0;                ///< --frames
  std::string scenario;          ///< --scenario, none when empty
  std::vector<int> shots;        ///< frames to take a screenshot of
  bool sound = false;            ///< capture the sound
  std::string show = "--headless";  ///< or window options (then SDL's dummy drivers)
};

struct PlayerRun : StateDump {
  int exitCode = -1;
  std::string output;
  std::map<int, Shot> shots;
  std::vector<int16_t> sound;  ///< interleaved stereo, 22050 Hz
};

/// Runs a player on the game at root on the virtual clock and reads back what it wrote to dir.
inline PlayerRun play(const std::string& program, const std::filesystem::path& root, const std::filesystem::path& dir,
                      const Play& p) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(dir, ec);
  for (const char* stale : {"state.txt", "sound.wav"}) fs::remove(dir / stale, ec);
  std::ofstream(dir / "input.txt") << p.input;
  std::string args = "--root " + quote(root.string()) + " " + p.show + " --virtual-clock --input " +
                     quote((dir / "input.txt").string()) + " --frames " + std::to_string(p.frames) + " --dump-state " +
                     quote((dir / "state.txt").string());
  if (!p.scenario.empty()) args += " --scenario " + quote(p.scenario);
  if (p.sound) args += " --audio-out " + quote((dir / "sound.wav").string());
  for (int f : p.shots) {
    fs::remove(dir / (std::to_string(f) + ".png"), ec);
    args += " --screenshot " + quote(std::to_string(f) + ":" + (dir / (std::to_string(f) + ".png")).string());
  }
  const bool window = p.show.find("--headless") == std::string::npos;
  auto r = window ? runCommand("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR=" + quote(dir.string()) +
                               " " + SOREL_BIN_DIR + "/" + program + " " + args)
                  : runProgram(program, args);
  PlayerRun run;
  static_cast<StateDump&>(run) = readStateDump(dir / "state.txt");
  run.exitCode = r.exitCode;
  run.output = r.output;
  for (int f : p.shots)
    if (Shot s = readShot(dir / (std::to_string(f) + ".png")); !s.empty()) run.shots[f] = std::move(s);
  if (p.sound) {
    // A 44-byte WAVE header and 16-bit stereo samples.
    std::ifstream wav(dir / "sound.wav", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(wav)), std::istreambuf_iterator<char>());
    if (bytes.size() > 44) {
      run.sound.resize((bytes.size() - 44) / 2);
      std::memcpy(run.sound.data(), bytes.data() + 44, run.sound.size() * 2);
    }
  }
  return run;
}

}  // namespace sorel::test
