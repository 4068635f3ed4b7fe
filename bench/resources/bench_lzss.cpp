// Member extraction and compression against zlib on the same data: about 1 MB of what the
// archives hold (RGB565 picture rows and scenario text).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "converter/lzss_encoder.h"
#include "engine/resources/lzss_decoder.h"

namespace {

std::vector<uint8_t> mixedData() {
  std::vector<uint8_t> out;
  // 512 KB of a 16-bit picture: smooth gradients, flat areas and a little grain, like the
  // game's painted backgrounds.
  uint32_t seed = 1;
  for (int y = 0; y < 410; ++y)
    for (int x = 0; x < 640; ++x) {
      seed = seed * 1664525 + 1013904223;
      int grain = (seed >> 28) & 1;
      int r = (x / 20 + y / 40) & 31, g = ((x + y) / 12 + grain) & 63, b = (y / 16) & 31;
      if ((x / 80 + y / 60) % 3 == 0) r = g = b = 0;  // flat regions
      uint16_t v = static_cast<uint16_t>((r << 11) | (g << 5) | b);
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    }
  // Then scenario-like text: opcodes, numbers and Shift-JIS sentences.
  const char* lines[] = {"\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\x81\x41", "\x8D\xA1\x93\xFA\x82\xCD",
                         "\x82\xA2\x82\xA2\x93\x56\x8B\x43\x82\xBE\x82\xCB\x81\x42", "@v00012",
                         "\x96\xBE\x93\xFA\x82\xE0", "\x8A\x77\x8D\x5A\x82\xC5"};
  while (out.size() < (1u << 20)) {
    seed = seed * 1664525 + 1013904223;
    uint8_t op[6] = {static_cast<uint8_t>(2 + (seed >> 30)), 0, static_cast<uint8_t>(seed >> 20), 0, 0, 0};
    out.insert(out.end(), op, op + 6);
    const char* l = lines[(seed >> 16) % 6];
    out.insert(out.end(), l, l + std::strlen(l));
  }
  out.resize(1u << 20);
  return out;
}

const std::vector<uint8_t>& data() {
  static const std::vector<uint8_t> d = mixedData();
  return d;
}

void BM_LzssUnpack(benchmark::State& state) {
  std::vector<uint8_t> packed = sorel::encodeLzss(data());
  std::vector<uint8_t> out(data().size());
  for (auto _ : state) {
    auto r = sorel::unpackMember(out, packed);
    benchmark::DoNotOptimize(r);
  }
  if (out != data()) state.SkipWithError("unpacked bytes differ");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
  state.counters["ratio"] = double(packed.size()) / double(data().size());
}
BENCHMARK(BM_LzssUnpack)->Unit(benchmark::kMillisecond);

void BM_ZlibInflate(benchmark::State& state) {
  uLongf bound = compressBound(data().size());
  std::vector<uint8_t> packed(bound);
  compress2(packed.data(), &bound, data().data(), data().size(), 6);
  packed.resize(bound);
  std::vector<uint8_t> out(data().size());
  for (auto _ : state) {
    uLongf n = out.size();
    uncompress(out.data(), &n, packed.data(), packed.size());
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
  state.counters["ratio"] = double(packed.size()) / double(data().size());
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

void BM_LzssEncode(benchmark::State& state) {
  std::vector<uint8_t> out(data().size() * 2 + 2);
  for (auto _ : state) benchmark::DoNotOptimize(sorel::encodeLzss(out.data(), data()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data().size()));
}
BENCHMARK(BM_LzssEncode)->Unit(benchmark::kMillisecond);

void BM_ZlibDeflate6(benchmark::State& state) {
  std::vector<uint8_t> out(compressBound(data().size()));
  for (auto _ : state) {
    uLongf n = out.size();
    compress2(out.data(), &n, data().data(), data().size(), 6);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data().size()));
}
BENCHMARK(BM_ZlibDeflate6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
