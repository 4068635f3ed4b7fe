// The sound path's budget: decoding and mixing eight 128 kbit/s stereo 44100 Hz MP3 streams
// must run at least 100 times faster than real time on one core, and a refill must never
// allocate. Every allocation (operator new and the C allocator, which libmpg123 uses) made
// while a refill runs is counted.
#include <benchmark/benchmark.h>
#include <lame/lame.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <time.h>
#include <string>
#include <vector>

#include "engine/audio/decoder_module.h"
#include "engine/audio/sound_mixer.h"
#include "platform/files.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {
thread_local bool t_counting = false;
std::atomic<uint64_t> g_allocations{0};
inline void count() {
  if (t_counting) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" void* malloc(size_t n) {
  count();
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m) {
  count();
  return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n) {
  count();
  return __libc_realloc(p, n);
}
void* operator new(size_t n) {
  count();
  if (void* p = __libc_malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { __libc_free(p); }

namespace {

using sorel::SoundMixer;

/// Ten seconds of a busy signal (chords, a beat and noise) as CBR MP3: stereo, or its left side
/// alone when mono.
std::vector<uint8_t> music(int seed, int kbps, int rate = 44100, bool mono = false) {
  const int seconds = 10, frames = rate * seconds;
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
  std::mt19937 rng(static_cast<unsigned>(seed));
  std::uniform_real_distribution<double> noise(-1, 1);
  const double f0 = 110.0 * (1 + seed % 5);
  for (int i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    double beat = std::exp(-8 * std::fmod(t, 0.5));
    double l = 0.3 * std::sin(6.2832 * f0 * t) + 0.2 * std::sin(6.2832 * f0 * 1.25 * t) +
               0.15 * std::sin(6.2832 * f0 * 1.5 * t) + 0.2 * beat * noise(rng);
    double r = 0.3 * std::sin(6.2832 * f0 * 1.01 * t) + 0.2 * std::sin(6.2832 * f0 * 2 * t) + 0.2 * beat * noise(rng);
    pcm[2 * static_cast<size_t>(i)] = static_cast<int16_t>(l * 20000);
    pcm[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(r * 20000);
  }
  lame_t gf = lame_init();
  lame_set_num_channels(gf, mono ? 1 : 2);
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, kbps);
  if (mono) lame_set_mode(gf, MONO);
  lame_set_bWriteVbrTag(gf, 0);
  lame_init_params(gf);
  std::vector<uint8_t> out(pcm.size() + 16384);
  int n = 0;
  if (mono) {
    std::vector<int16_t> left(static_cast<size_t>(frames));
    for (size_t i = 0; i < left.size(); ++i) left[i] = pcm[2 * i];
    n = lame_encode_buffer(gf, left.data(), left.data(), frames, out.data(), static_cast<int>(out.size()));
  } else {
    n = lame_encode_buffer_interleaved(gf, pcm.data(), frames, out.data(), static_cast<int>(out.size()));
  }
  n += lame_encode_flush(gf, out.data() + n, static_cast<int>(out.size()) - n);
  lame_close(gf);
  out.resize(static_cast<size_t>(n));
  return out;
}

/// A folder of eight different streams, written once per run.
std::string soundFolder() {
  static std::string folder = [] {
    auto host = std::filesystem::temp_directory_path() / "sorel_bench_audio";
    std::filesystem::create_directories(host);
    std::string sys = *platform::systemPath(host.string()) + "\\";
    for (int i = 0; i < 8; ++i) platform::writeWholeFile(sys + "s" + std::to_string(i) + ".mp3", music(i, 128), false);
    // What the converter writes by default: music and effects 64 kbit/s stereo, voices
    // 32 kbit/s mono, both at 22050 Hz.
    platform::writeWholeFile(sys + "music.mp3", music(1, 64, 22050), false);
    platform::writeWholeFile(sys + "effect.mp3", music(2, 64, 22050), false);
    platform::writeWholeFile(sys + "voice.mp3", music(3, 32, 22050, true), false);
    return sys;
  }();
  return folder;
}

bool bindDecoder() {
  static bool ok = sorel::loadDecoderModule(*platform::systemPath(SOREL_BIN_DIR) + "\\");
  return ok;
}

/// Refills with `channels` streams playing in slots 0.., looping, at the given level. No output
/// is opened: the benchmark drives the refill itself, on this one thread.
void refills(benchmark::State& state, int channels, int level) {
  if (!bindDecoder()) {
    state.SkipWithError("Quillon.ovl not found beside the benchmark");
    return;
  }
  std::string folder = soundFolder();
  SoundMixer mixer;
  for (int i = 0; i < channels; ++i)
    if (!mixer.play(i, "s" + std::to_string(i) + ".mp3", folder, nullptr, level, 0, true, true, false)) {
      state.SkipWithError("cannot open the test streams");
      return;
    }
  // The counter must see allocations at all: opening a stream makes several, some inside
  // libmpg123.
  g_allocations = 0;
  t_counting = true;
  mixer.play(63, "s0.mp3", folder, nullptr, 0, 0, true, true, false);
  t_counting = false;
  if (g_allocations.load() < 3) {
    state.SkipWithError("the allocation counter sees nothing");
    return;
  }
  std::vector<int16_t> out(SoundMixer::kBufferBytes / 2);
  for (int i = 0; i < 4; ++i) mixer.refill(out.data());  // decoder start-up
  mixer.stop(63);
  g_allocations = 0;
  for (auto _ : state) {
    t_counting = true;
    mixer.refill(out.data());
    t_counting = false;
    benchmark::DoNotOptimize(out.data());
  }
  const double bufferSeconds = 2560.0 / 22050.0;
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * bufferSeconds, benchmark::Counter::kIsRate);
  state.counters["allocs_per_refill"] =
      static_cast<double>(g_allocations.load()) / static_cast<double>(state.iterations());
  if (g_allocations.load() != 0) state.SkipWithError("a refill allocated memory");
}

/// The game's usual load: music on slot 0, a looping effect on slot 4 and a voice on slot 2 (kept
/// looping so that every refill decodes it), at the converter's default formats and the levels a
/// game sets. core_percent is the part of one core the refills take while the sound plays in
/// real time.
void BM_RefillGameMix(benchmark::State& state) {
  if (!bindDecoder()) {
    state.SkipWithError("Quillon.ovl not found beside the benchmark");
    return;
  }
  std::string folder = soundFolder();
  SoundMixer mixer;
  if (!mixer.play(0, "music.mp3", folder, nullptr, 80, 0, true, true, false) ||
      !mixer.play(4, "effect.mp3", folder, nullptr, 70, 0, true, true, true) ||
      !mixer.play(2, "voice.mp3", folder, nullptr, 100, 0, true, true, true)) {
    state.SkipWithError("cannot open the test streams");
    return;
  }
  std::vector<int16_t> out(SoundMixer::kBufferBytes / 2);
  for (int i = 0; i < 4; ++i) mixer.refill(out.data());
  auto cpuSeconds = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  const double cpuBefore = cpuSeconds();
  for (auto _ : state) {
    mixer.refill(out.data());
    benchmark::DoNotOptimize(out.data());
  }
  const double cpu = cpuSeconds() - cpuBefore;
  const double bufferSeconds = 2560.0 / 22050.0;
  const double played = static_cast<double>(state.iterations()) * bufferSeconds;
  state.counters["x_realtime"] = benchmark::Counter(played, benchmark::Counter::kIsRate);
  state.counters["core_percent"] = played > 0 ? 100.0 * cpu / played : 0.0;
}

void BM_RefillEightStreams(benchmark::State& state) { refills(state, 8, 100); }
void BM_RefillEightStreamsScaled(benchmark::State& state) { refills(state, 8, 70); }
void BM_RefillOneStream(benchmark::State& state) { refills(state, 1, 100); }

BENCHMARK(BM_RefillEightStreams)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefillEightStreamsScaled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefillOneStream)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefillGameMix)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
