// A player run headless under the virtual clock with its sound captured: a tiny game whose
// scenario plays music, an effect and a voiced automatic message, then fades the music out. The
// captured WAV must hold each sound, by its own tone, where the scenario put it, and two runs
// must capture the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "converter/mlz_writer.h"
#include "tests/audio/mp3_maker.h"
#include "tests/e2e/run_program.h"
#include "tools/script_asm.h"

namespace sorel::test {
namespace {

namespace fs = std::filesystem;
using sorel::testing::encodeMp3;
using sorel::testing::sine;

constexpr int kRate = 22050;
constexpr double kMusicHz = 440, kEffectHz = 1500, kVoiceHz = 900;
constexpr int kFrames = 300;  // 4.8 s of game time

// Music from the start; the effect after a wait of 62 × 16 ms; the voice half a second after the
// effect has ended; then the music fades out and the story waits.
constexpr const char* kScenario = R"(
    PUSH_INT 0
    BGM_PLAY
    CLEAR_STACK
    PUSH_INT 62
    WAIT
    CLEAR_STACK
    PUSH_STRING "door.wav"
    SE_PLAY_6
    CLEAR_STACK
    WAIT_SE_6
    PUSH_INT 31
    WAIT
    CLEAR_STACK
    PUSH_INT 1
    PUSH_INT -1
    PUSH_STRING "@v00001あ"
    MESSAGE_AUTO
    CLEAR_STACK
    BGM_FADE_OUT_WAIT
    PUSH_INT 40
    WAIT
    CLEAR_STACK
)";

bool writeArchive(const fs::path& host, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members) {
  MlzWriter w;
  auto path = platform::systemPath(host.string());
  if (!path || !w.open(*path, uint32_t(members.size()))) return false;
  for (const auto& [name, bytes] : members)
    if (!w.add(name, bytes, true)) return false;
  return w.close();
}

bool writeBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(f);
}

std::vector<uint8_t> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

/// The samples of a canonical 44-byte-header PCM WAVE file: left and right.
struct Capture {
  uint32_t rate = 0;
  uint16_t channels = 0, bits = 0;
  std::vector<int16_t> left, right;
};

std::optional<Capture> parseWav(const std::vector<uint8_t>& b) {
  auto u16 = [&](size_t o) { return uint16_t(b[o] | b[o + 1] << 8); };
  auto u32 = [&](size_t o) { return uint32_t(u16(o) | uint32_t(u16(o + 2)) << 16); };
  if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" || std::string(b.begin() + 36, b.begin() + 40) != "data")
    return std::nullopt;
  Capture c;
  c.channels = u16(22);
  c.rate = u32(24);
  c.bits = u16(34);
  uint32_t data = u32(40);
  if (c.channels != 2 || c.bits != 16 || 44 + size_t(data) > b.size()) return std::nullopt;
  for (size_t o = 44; o + 4 <= 44 + size_t(data); o += 4) {
    c.left.push_back(int16_t(u16(o)));
    c.right.push_back(int16_t(u16(o + 2)));
  }
  return c;
}

/// The amplitude of one tone in a stretch of samples (Goertzel).
double toneAmplitude(const std::vector<int16_t>& s, size_t from, size_t count, double hz) {
  const double w = 2 * M_PI * hz / kRate, k = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < from + count && i < s.size(); ++i) {
    double s0 = s[i] + k * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  double power = s1 * s1 + s2 * s2 - k * s1 * s2;
  return 2 * std::sqrt(std::max(0.0, power)) / double(count);
}

/// The tone's amplitude in 50 ms windows, one per window.
std::vector<double> toneTrack(const std::vector<int16_t>& s, double hz) {
  const size_t window = kRate / 20;
  std::vector<double> track;
  for (size_t at = 0; at + window <= s.size(); at += window) track.push_back(toneAmplitude(s, at, window, hz));
  return track;
}

/// Milliseconds of the first window at or above the level, -1 when none.
int onsetMs(const std::vector<double>& track, double level) {
  for (size_t i = 0; i < track.size(); ++i)
    if (track[i] >= level) return int(i) * 50;
  return -1;
}

/// Milliseconds just after the last window at or above the level, -1 when none.
int endMs(const std::vector<double>& track, double level) {
  for (size_t i = track.size(); i-- > 0;)
    if (track[i] >= level) return int(i + 1) * 50;
  return -1;
}

class PlayerSound : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(SOREL_TEST_TMP) / "e2e_player_sound";
    fs::remove_all(root);
    for (const char* d : {"data/bgm", "data/se", "data/sys"}) fs::create_directories(root / d);
    // Longer than the run: an MP3 loop starts again after a short gap (the coder's delay).
    auto music = encodeMp3(sine(kMusicHz, 6000, kRate * 6, kRate, 1), 1, kRate, 64);
    auto effect = encodeMp3(sine(kEffectHz, 6000, kRate * 4 / 10, kRate, 1), 1, kRate, 64);
    auto voice = encodeMp3(sine(kVoiceHz, 6000, kRate * 6 / 10, kRate, 1), 1, kRate, 64);
    ASSERT_FALSE(music.empty());
    ASSERT_TRUE(writeBytes(root / "data/bgm/theme.mp3", music));
    ASSERT_TRUE(writeBytes(root / "data/se/door.mp3", effect));
    ASSERT_TRUE(writeArchive(root / "data/voice.mlz", {{"00001.mp3", voice}}));
    std::vector<uint8_t> bgm(36, 0);
    std::string name = "theme.wav";
    std::copy(name.begin(), name.end(), bgm.begin());
    ASSERT_TRUE(writeArchive(root / "data/Table.mlz", {{"BgmInfo.DAT", bgm}}));
    auto script = sorel::script::assemble(kScenario);
    ASSERT_TRUE(script.ok()) << script.errors.front().message;
    ASSERT_TRUE(writeArchive(root / "data/Script.mlz", {{"sound.bin", script.bytes}}));
    std::string cfg = "[VOICE_CONFIG]\r\nVOICE_PLAY=2\r\n[SE_CONFIG]\r\nSE_PLAY=2\r\n";
    ASSERT_TRUE(writeBytes(root / "sorel.cfg", std::vector<uint8_t>(cfg.begin(), cfg.end())));
  }

  /// Runs handheldplayer on the game and returns the captured WAV's bytes.
  std::vector<uint8_t> runAndCapture(const std::string& wavName) {
    fs::path wav = root / wavName;
    fs::create_directories(root / "runtime");
    std::string args = "--headless --virtual-clock --frames " + std::to_string(kFrames) + " --scenario sound.bin --root " +
                       quote(root.string()) + " --audio-out " + quote(wav.string());
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    ProgramResult r = runProgram("handheldplayer", args);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return readBytes(wav);
  }

  fs::path root;
};

TEST_F(PlayerSound, TheCaptureHoldsMusicEffectAndVoiceWhereTheScenarioPutThemAndRepeats) {
  auto first = runAndCapture("first.wav");
  auto capture = parseWav(first);
  ASSERT_TRUE(capture) << "a 22050 Hz stereo 16-bit capture";
  EXPECT_EQ(capture->rate, uint32_t(kRate));
  // The capture covers the run up to the last buffer finished: 4.8 s less at most one buffer.
  const double seconds = double(capture->left.size()) / kRate;
  EXPECT_GT(seconds, 4.8 - 0.12);
  EXPECT_LE(seconds, 4.8);
  EXPECT_EQ(capture->left, capture->right) << "mono sources play alike on both sides";

  auto music = toneTrack(capture->left, kMusicHz);
  auto effect = toneTrack(capture->left, kEffectHz);
  auto voice = toneTrack(capture->left, kVoiceHz);
  const double heard = 2000, silent = 300;

  // Output runs three buffers (about 350 ms) ahead of what is heard, and the MP3s start with
  // 50 ms of encoder and decoder delay: a sound requested at t is heard from t + 280..400 ms.
  const int musicOn = onsetMs(music, heard);
  EXPECT_GE(musicOn, 250);
  EXPECT_LE(musicOn, 450);
  // The effect comes with the frame at 1008 ms.
  const int effectOn = onsetMs(effect, heard);
  EXPECT_GE(effectOn, 1008 + 230);
  EXPECT_LE(effectOn, 1008 + 450);
  EXPECT_GE(onsetMs(effect, silent), effectOn - 100) << "nothing of it before";
  const int effectOff = endMs(effect, heard);
  EXPECT_GE(effectOff - effectOn, 350) << "the whole 400 ms effect";
  EXPECT_LE(effectOff - effectOn, 500);
  // The voice comes after WAIT_SE_6 and half a second's wait.
  const int voiceOn = onsetMs(voice, heard);
  EXPECT_GE(voiceOn, effectOff + 300);
  EXPECT_LE(voiceOn, effectOff + 900);
  EXPECT_GE(onsetMs(voice, silent), voiceOn - 100) << "nothing of it before";
  const int voiceOff = endMs(voice, heard);
  EXPECT_GE(voiceOff - voiceOn, 550);
  EXPECT_LE(voiceOff - voiceOn, 700);
  // The music plays on under both, then fades out over a second once the voice has ended.
  for (int at = musicOn + 50; at < voiceOff; at += 50) ASSERT_GE(music[size_t(at / 50)], heard) << at << " ms";
  const int musicOff = endMs(music, silent);
  EXPECT_GE(musicOff, voiceOff + 500);
  EXPECT_LE(musicOff, voiceOff + 1500);
  EXPECT_LT(music[size_t((voiceOff + 700) / 50)], music[size_t(voiceOff / 50)]) << "fading";
  EXPECT_LT(musicOff, int(seconds * 1000) - 300) << "silent at the end";

  auto second = runAndCapture("second.wav");
  EXPECT_TRUE(first == second) << "a virtual-clock run captures the same bytes every time";
}

// The PC the data came from ignores letter case: a data folder whose loose sounds and archives
// were renamed to capitals plays exactly the same sound.
TEST_F(PlayerSound, FilesRenamedToCapitalsPlayTheSame) {
  auto original = runAndCapture("original.wav");
  for (const char* name : {"bgm/theme.mp3", "se/door.mp3", "voice.mlz", "Script.mlz", "Table.mlz"}) {
    fs::path from = root / "data" / name, to = from;
    std::string upper = from.filename().string();
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    fs::rename(from, to.replace_filename(upper));
  }
  auto renamed = runAndCapture("renamed.wav");
  ASSERT_GT(original.size(), 44u);
  EXPECT_TRUE(original == renamed);
}

}  // namespace
}  // namespace sorel::test
