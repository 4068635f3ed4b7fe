// The audio steps' stages on ten seconds of sound: decoding IMA-ADPCM, resampling, MP3 encoding,
// and the whole chain for one music member at the dialog's defaults. The counter "x realtime"
// is seconds of sound converted per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "converter/audio_conversion.h"
#include "converter/mp3_encoder.h"
#include "converter/pcm_convert.h"
#include "converter/wave_format.h"
#include "engine/resources/byte_io.h"

namespace {

using namespace sorel;

constexpr double kSeconds = 10;

/// A chord with a little noise, so the encoder has something to work on.
std::vector<int16_t> music(int rate, int channels) {
  const int frames = static_cast<int>(kSeconds * rate);
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * static_cast<size_t>(channels));
  uint32_t noise = 1;
  for (int i = 0; i < frames; ++i) {
    double t = double(i) / rate;
    double v = 5000 * std::sin(6.2831853 * 220 * t) + 3000 * std::sin(6.2831853 * 330 * t) +
               2000 * std::sin(6.2831853 * 1320 * t);
    for (int c = 0; c < channels; ++c) {
      noise = noise * 1664525u + 1013904223u;
      pcm[static_cast<size_t>(i * channels + c)] = static_cast<int16_t>(v * (c ? 0.8 : 1.0) + int(noise >> 22) - 512);
    }
  }
  return pcm;
}

std::vector<uint8_t> wave16(const std::vector<int16_t>& pcm, int rate, int channels) {
  std::vector<uint8_t> format(16), data(pcm.size() * 2);
  storeU16(format.data(), wave::kTagPcm);
  storeU16(format.data() + 2, static_cast<uint16_t>(channels));
  storeU32(format.data() + 4, static_cast<uint32_t>(rate));
  storeU32(format.data() + 8, static_cast<uint32_t>(rate * channels * 2));
  storeU16(format.data() + 12, static_cast<uint16_t>(channels * 2));
  storeU16(format.data() + 14, 16);
  for (size_t i = 0; i < pcm.size(); ++i) storeU16(data.data() + 2 * i, static_cast<uint16_t>(pcm[i]));
  return buildWave(format, data, std::nullopt);
}

void realtime(benchmark::State& state) {
  state.counters["x realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeImaAdpcm(benchmark::State& state) {
  // 512-byte mono blocks of arbitrary nibbles: the decoder's cost does not depend on them.
  const uint32_t blocks = static_cast<uint32_t>(kSeconds * 22050 / 1017) + 1;
  std::vector<uint8_t> format(20), data(size_t{blocks} * 512, 0x5A);
  storeU16(format.data(), wave::kTagImaAdpcm);
  storeU16(format.data() + 2, 1);
  storeU32(format.data() + 4, 22050);
  storeU32(format.data() + 8, 11100);
  storeU16(format.data() + 12, 512);
  storeU16(format.data() + 14, 4);
  storeU16(format.data() + 16, 2);
  storeU16(format.data() + 18, 1017);
  for (uint32_t b = 0; b < blocks; ++b) data[size_t{b} * 512 + 2] = 0;  // step index 0
  auto file = buildWave(format, data, static_cast<uint32_t>(kSeconds * 22050));
  auto sound = *parseWave(file);
  for (auto _ : state) benchmark::DoNotOptimize(decodeToPcm16(sound));
  realtime(state);
}
BENCHMARK(BM_DecodeImaAdpcm)->Unit(benchmark::kMillisecond);

void BM_Resample44100To22050Stereo(benchmark::State& state) {
  auto pcm = music(44100, 2);
  for (auto _ : state) benchmark::DoNotOptimize(acmConvert({2, 44100}, {2, 22050}, pcm));
  realtime(state);
}
BENCHMARK(BM_Resample44100To22050Stereo)->Unit(benchmark::kMillisecond);

void BM_EncodeMp3(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  const int kbps = static_cast<int>(state.range(1));
  auto pcm = music(22050, channels);
  Mp3EncoderModule encoder;
  encoder.load();
  for (auto _ : state) benchmark::DoNotOptimize(encoder.encode(pcm, {channels, 22050}, kbps));
  realtime(state);
}
// Music at the default "64/32kbit" stereo, voices at the default "32kbit" mono.
BENCHMARK(BM_EncodeMp3)->Args({2, 64})->Args({1, 32})->Unit(benchmark::kMillisecond);

void BM_ConvertMusicMember(benchmark::State& state) {
  // A 44100 Hz stereo member to the defaults: resampled to 22050 Hz, encoded at 64 kbit/s.
  auto file = wave16(music(44100, 2), 44100, 2);
  const SoundTarget target = soundTarget(3, 0, true);
  std::string problem;
  for (auto _ : state) benchmark::DoNotOptimize(convertSound(file, target, problem));
  realtime(state);
}
BENCHMARK(BM_ConvertMusicMember)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
