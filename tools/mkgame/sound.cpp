#include "tools/mkgame/sound.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/resources/byte_io.h"

extern char** environ;

namespace sorel::mkgame {
namespace {

void riffHeader(ByteWriter& w, uint32_t riffSize) {
  w.bytes(std::span(reinterpret_cast<const uint8_t*>("RIFF"), 4));
  w.u32(riffSize);
  w.bytes(std::span(reinterpret_cast<const uint8_t*>("WAVE"), 4));
}
void chunkId(ByteWriter& w, const char* id) { w.bytes(std::span(reinterpret_cast<const uint8_t*>(id), 4)); }

// One period of a soft waveform in 1024 steps, amplitude 32767, made of parabola halves so no
// floating point is involved.
int16_t waveAt(uint32_t phase, int timbre) {
  uint32_t p = phase >> 22;  // 0..1023
  int32_t half = p < 512 ? 1 : -1;
  int32_t q = static_cast<int32_t>(p & 511);
  int32_t sine = half * static_cast<int32_t>(int64_t(4) * q * (512 - q) * 32767 / (512 * 512));
  if (timbre == 0) return static_cast<int16_t>(sine);
  int32_t tri = p < 512 ? -32767 + static_cast<int32_t>(p) * 128 : 32767 - static_cast<int32_t>(p - 512) * 128;
  if (timbre == 1) return static_cast<int16_t>((sine * 3 + tri) / 4);
  int32_t square = p < 512 ? 20000 : -20000;
  return static_cast<int16_t>((sine + square) / 2);
}

// IMA-ADPCM tables.
constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaState {
  int predictor = 0;
  int index = 0;
  uint8_t encode(int sample) {
    int step = kStepTable[index];
    int diff = sample - predictor;
    uint8_t code = 0;
    if (diff < 0) {
      code = 8;
      diff = -diff;
    }
    int delta = step >> 3;
    if (diff >= step) {
      code |= 4;
      diff -= step;
      delta += step;
    }
    step >>= 1;
    if (diff >= step) {
      code |= 2;
      diff -= step;
      delta += step;
    }
    step >>= 1;
    if (diff >= step) {
      code |= 1;
      delta += step;
    }
    predictor += (code & 8) ? -delta : delta;
    predictor = std::clamp(predictor, -32768, 32767);
    index = std::clamp(index + kIndexTable[code], 0, 88);
    return code;
  }
};

}  // namespace

std::vector<uint8_t> wavePcm16(const Pcm& pcm) {
  uint32_t dataSize = static_cast<uint32_t>(pcm.samples.size() * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + dataSize);
  ByteWriter w(out);
  riffHeader(w, 36 + dataSize);
  chunkId(w, "fmt ");
  w.u32(16);
  w.u16(1);
  w.u16(static_cast<uint16_t>(pcm.channels));
  w.u32(static_cast<uint32_t>(pcm.rate));
  w.u32(static_cast<uint32_t>(pcm.rate * pcm.channels * 2));
  w.u16(static_cast<uint16_t>(pcm.channels * 2));
  w.u16(16);
  chunkId(w, "data");
  w.u32(dataSize);
  for (int16_t s : pcm.samples) w.u16(static_cast<uint16_t>(s));
  return out;
}

std::vector<uint8_t> waveImaAdpcm(const Pcm& pcm) {
  const int ch = pcm.channels;
  const uint32_t blockAlign = 512u * static_cast<uint32_t>(ch);
  // Each block: a 4-byte header per channel (first sample, step index, 0), then groups of
  // 4 bytes (8 samples) per channel in turn.
  const uint32_t samplesPerBlock = (blockAlign - 4u * ch) * 8u / (4u * ch) + 1u;
  const size_t frames = pcm.frames();
  const size_t blocks = (frames + samplesPerBlock - 1) / samplesPerBlock;
  std::vector<uint8_t> data;
  data.reserve(blocks * blockAlign);
  std::vector<ImaState> state(static_cast<size_t>(ch));
  auto sampleAt = [&](size_t frame, int c) -> int {
    return frame < frames ? pcm.samples[frame * ch + c] : 0;
  };
  for (size_t b = 0; b < blocks; ++b) {
    size_t first = b * samplesPerBlock;
    for (int c = 0; c < ch; ++c) {
      int s = sampleAt(first, c);
      state[c].predictor = s;
      data.push_back(static_cast<uint8_t>(s & 0xFF));
      data.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
      data.push_back(static_cast<uint8_t>(state[c].index));
      data.push_back(0);
    }
    for (uint32_t g = 0; g < (samplesPerBlock - 1) / 8; ++g) {
      for (int c = 0; c < ch; ++c) {
        for (int k = 0; k < 8; k += 2) {
          size_t f = first + 1 + g * 8 + k;
          uint8_t lo = state[c].encode(sampleAt(f, c));
          uint8_t hi = state[c].encode(sampleAt(f + 1, c));
          data.push_back(static_cast<uint8_t>(lo | (hi << 4)));
        }
      }
    }
  }
  std::vector<uint8_t> out;
  ByteWriter w(out);
  uint32_t dataSize = static_cast<uint32_t>(data.size());
  riffHeader(w, 4 + (8 + 20) + (8 + 4) + 8 + dataSize);
  chunkId(w, "fmt ");
  w.u32(20);
  w.u16(0x11);
  w.u16(static_cast<uint16_t>(ch));
  w.u32(static_cast<uint32_t>(pcm.rate));
  w.u32(static_cast<uint32_t>(uint64_t(pcm.rate) * blockAlign / samplesPerBlock));
  w.u16(static_cast<uint16_t>(blockAlign));
  w.u16(4);
  w.u16(2);
  w.u16(static_cast<uint16_t>(samplesPerBlock));
  chunkId(w, "fact");
  w.u32(4);
  w.u32(static_cast<uint32_t>(frames));
  chunkId(w, "data");
  w.u32(dataSize);
  w.bytes(data);
  return out;
}

uint32_t noteHz(int midi) {
  // Millihertz of the twelve notes of octave 4 (C4 .. B4); other octaves by doubling.
  static constexpr uint32_t kOctave4[12] = {261626, 277183, 293665, 311127, 329628, 349228,
                                            369994, 391995, 415305, 440000, 466164, 493883};
  int octave = midi / 12 - 1;
  uint32_t f = kOctave4[midi % 12];
  if (octave >= 4) return f << (octave - 4);
  return f >> (4 - octave);
}

Pcm renderNotes(int rate, int channels, uint32_t frames, const std::vector<Note>& notes) {
  std::vector<int32_t> mix(static_cast<size_t>(frames) * channels, 0);
  for (const Note& n : notes) {
    // Phase step per frame in 1/2^32 of a period.
    uint32_t step = static_cast<uint32_t>((uint64_t(n.milliHz) << 32) / (uint64_t(rate) * 1000));
    uint32_t phase = 0;
    uint32_t attack = std::max<uint32_t>(1, static_cast<uint32_t>(rate) / 100);
    for (uint32_t i = 0; i < n.length && n.start + i < frames; ++i) {
      int64_t env = i < attack ? int64_t(i) * 256 / attack : 256 - int64_t(i - attack) * 200 / std::max<uint32_t>(1, n.length);
      int32_t v = static_cast<int32_t>(int64_t(waveAt(phase, n.timbre)) * n.loudness / 32767 * env / 256);
      phase += step;
      size_t at = static_cast<size_t>(n.start + i) * channels;
      if (channels == 1) {
        mix[at] += v;
      } else {
        mix[at] += v * (256 - n.pan) / 512;
        mix[at + 1] += v * (256 + n.pan) / 512;
      }
    }
  }
  Pcm pcm{rate, channels, std::vector<int16_t>(mix.size())};
  for (size_t i = 0; i < mix.size(); ++i) pcm.samples[i] = static_cast<int16_t>(std::clamp(mix[i], -32767, 32767));
  return pcm;
}

Pcm renderNoise(int rate, int channels, uint32_t frames, uint32_t seed, int loudness, int smoothing,
                int attackFrames, int decayFrames) {
  Pcm pcm{rate, channels, std::vector<int16_t>(static_cast<size_t>(frames) * channels)};
  uint32_t x = seed * 2654435761u + 1;
  int32_t last[2] = {0, 0};
  for (uint32_t i = 0; i < frames; ++i) {
    int64_t env = 256;
    if (static_cast<int>(i) < attackFrames) env = int64_t(i) * 256 / attackFrames;
    if (static_cast<int64_t>(frames) - i < static_cast<uint32_t>(decayFrames))
      env = env * (int64_t(frames) - i) / decayFrames;
    for (int c = 0; c < channels; ++c) {
      x = x * 1664525u + 1013904223u;
      int32_t raw = static_cast<int32_t>(x >> 16) - 32768;
      last[c] += (raw - last[c]) / std::max(1, smoothing);
      pcm.samples[i * channels + c] = static_cast<int16_t>(std::clamp<int64_t>(int64_t(last[c]) * loudness / 32767 * env / 256, -32767, 32767));
    }
  }
  return pcm;
}

std::optional<Pcm> speak(std::string_view text, std::string_view voice, int pitch, int speed, std::string& error) {
  int fds[2];
  if (::pipe(fds) != 0) {
    error = "cannot create a pipe";
    return std::nullopt;
  }
  std::string voiceArg(voice), pitchArg = std::to_string(pitch), speedArg = std::to_string(speed), textArg(text);
  char* argv[] = {const_cast<char*>("espeak-ng"), const_cast<char*>("-v"), voiceArg.data(),
                  const_cast<char*>("-p"), pitchArg.data(), const_cast<char*>("-s"), speedArg.data(),
                  const_cast<char*>("--stdout"), textArg.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, "espeak-ng", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    error = "espeak-ng is not installed (it speaks the sample game's voices)";
    return std::nullopt;
  }
  std::vector<uint8_t> wav;
  uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    wav.insert(wav.end(), buf, buf + n);
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "espeak-ng is not installed (it speaks the sample game's voices)"
                                                            : "espeak-ng failed";
    return std::nullopt;
  }
  // A streamed WAVE: the sizes in its header are placeholders, the samples run to the end.
  ByteReader r(wav);
  if (wav.size() < 12 || std::string_view(reinterpret_cast<const char*>(wav.data()), 4) != "RIFF") {
    error = "espeak-ng gave no WAVE data";
    return std::nullopt;
  }
  r.seek(12);
  Pcm pcm;
  bool haveFormat = false;
  while (r.remaining() >= 8) {
    auto id = r.bytes(4);
    uint32_t size = r.u32();
    std::string_view name(reinterpret_cast<const char*>(id.data()), 4);
    if (name == "fmt ") {
      ByteReader f(r.bytes(std::min<size_t>(size, r.remaining())));
      uint16_t tag = f.u16();
      pcm.channels = f.u16();
      pcm.rate = static_cast<int>(f.u32());
      f.skip(6);
      uint16_t bits = f.u16();
      haveFormat = f.ok() && tag == 1 && bits == 16 && pcm.channels == 1;
    } else if (name == "data") {
      size_t n = std::min<size_t>(size, r.remaining()) / 2;
      auto bytes = r.bytes(n * 2);
      pcm.samples.resize(n);
      for (size_t i = 0; i < n; ++i) pcm.samples[i] = static_cast<int16_t>(loadU16(bytes.data() + 2 * i));
      break;
    } else {
      r.skip(std::min<size_t>(size + (size & 1), r.remaining()));
    }
  }
  if (!haveFormat || pcm.samples.empty()) {
    error = "espeak-ng gave WAVE data of an unexpected kind";
    return std::nullopt;
  }
  // Trim silence, keeping a few milliseconds around the speech.
  auto loud = [](int16_t s) { return s > 300 || s < -300; };
  size_t begin = 0, end = pcm.samples.size();
  while (begin < end && !loud(pcm.samples[begin])) ++begin;
  while (end > begin && !loud(pcm.samples[end - 1])) --end;
  size_t pad = static_cast<size_t>(pcm.rate) / 50;
  begin = begin > pad ? begin - pad : 0;
  end = std::min(pcm.samples.size(), end + pad);
  pcm.samples = std::vector<int16_t>(pcm.samples.begin() + static_cast<long>(begin), pcm.samples.begin() + static_cast<long>(end));
  return pcm;
}

}  // namespace sorel::mkgame
