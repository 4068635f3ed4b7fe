// The title and extras screens on the 640 × 480 screen. Each title or eye-catch iteration is one
// frame: game step, layer update, composition of the dirty rectangles and their presentation to
// the raw frame buffer. The gallery's is one whole entry: thirteen page builds with thumbnails.
#include <benchmark/benchmark.h>

#include "bench/game/bench_game.h"
#include "engine/resources/byte_io.h"
#include "tools/script_asm.h"

namespace sorel {
namespace {

/// Generated pictures of the screens' sizes: opaque backgrounds, soft-edged pieces.
bool makePicture(Picture& out, std::string_view file) {
  struct Size {
    std::string_view name;
    uint32_t w, h;
    bool opaque;
  };
  static constexpr Size kSizes[] = {{"Title_BG.bmp", 640, 911, true},   {"Title.bmp", 440, 192, false},
                                    {"TitleMenu.bmp", 216, 360, false}, {"Star.bmp", 216, 84, false},
                                    {"SpotLight.bmp", 160, 160, false}, {"ORBA2003.bmp", 144, 32, false},
                                    {"EyeCatchBg.bmp", 100, 100, true}, {"EyeCatchLogo.bmp", 200, 93, false},
                                    {"CGModeBG.bmp", 640, 480, true},   {"CGModeButton.bmp", 512, 64, false},
                                    {"thum_cursor.bmp", 132, 100, false}, {"thum_nodata.bmp", 128, 96, true}};
  uint32_t w = 640, h = 480;
  bool opaque = true;
  for (const Size& s : kSizes)
    if (s.name == file) w = s.w, h = s.h, opaque = s.opaque;
  if (file.substr(0, 5) == "Thum_") w = 128, h = 96;
  patternPicture(out, w, h, [&](uint32_t i, uint32_t j) {
    return opaque ? 255 : uint8_t(i < 8 || j < 8 ? 32 * (std::min(i, j) + 1) - 1 : 255);
  });
  return true;
}

/// The screens' game, presenting each frame.
struct Bench : BenchGame {
  Bench() : BenchGame([](Picture& out, std::string_view file, int*, int*) { return makePicture(out, file); }, true) {
    settings.voicePlay = 2;
  }
};

/// Frames of the title from a fresh start: the intro, or the menu after the intro is tapped away.
void titleFrames(benchmark::State& state, bool intro) {
  Bench b;
  b.frame();
  b.frame();
  if (!intro) {
    b.input.tapNow = 1;
    b.frame();
    for (int i = 0; i < 200; ++i) b.frame();  // the menu, the stars falling, the logo pulsing
  } else {
    for (int i = 0; i < 200; ++i) b.frame();  // five spotlights wandering over the scrolling sky
  }
  int64_t area = 0, frames = 0, stars = 0;
  for (auto _ : state) {
    area += b.frame();
    ++frames;
    if (intro && b.subMode != 2) {
      // Back to the start of the intro: the busiest part repeats.
      state.PauseTiming();
      b.game->layers().clear();
      b.subMode = 0;
      for (int i = 0; i < 200; ++i) b.frame();
      state.ResumeTiming();
    }
    for (const auto& s : b.screens->titleState().stars) stars += s.used;
  }
  state.counters["pixels/frame"] = double(area) / double(frames);
  if (!intro) state.counters["stars"] = double(stars) / double(frames);
}

void BM_TitleIntroWithSpotlights(benchmark::State& state) { titleFrames(state, true); }
BENCHMARK(BM_TitleIntroWithSpotlights)->Unit(benchmark::kMicrosecond);

void BM_TitleMenuWithStars(benchmark::State& state) { titleFrames(state, false); }
BENCHMARK(BM_TitleMenuWithStars)->Unit(benchmark::kMicrosecond);

// The eye-catch's reveal: 48 tiles scrolling and the picture's cells opening.
void BM_EyeCatchReveal(benchmark::State& state) {
  Bench b;
  auto r = script::assemble("loop:\nPUSH_INT 3\nPUSH_INT 0\nEYECATCH\nCLEAR_STACK\nJUMP @loop\n");
  b.game->loadScriptImage("bench.bin", r.bytes);
  b.gameMode = kModeStory;
  int64_t area = 0, frames = 0;
  for (auto _ : state) {
    const auto& ec = b.screens->eyeCatchState();
    if ((ec.step != 1 && ec.step != 2) || ec.finished) {
      state.PauseTiming();
      // Run on to the next eye-catch's reveal.
      while (b.screens->eyeCatchState().step != 2 || b.screens->eyeCatchState().finished) b.frame();
      state.ResumeTiming();
    }
    area += b.frame();
    ++frames;
  }
  state.counters["pixels/frame"] = double(area) / double(frames);
}
BENCHMARK(BM_EyeCatchReveal)->Unit(benchmark::kMicrosecond);

// Entering the gallery with every picture seen: the thirteen pages built one after another, each
// with its thumbnails (6 pictures per cell).
void BM_GalleryPages(benchmark::State& state) {
  Bench b;
  std::vector<uint8_t> visual(200 * 196, 0), cg(13 * 1280, 0xFF);
  for (int i = 0; i < 200; ++i) {
    std::string name = "V" + std::to_string(i) + ".bmp";
    std::copy(name.begin(), name.end(), visual.begin() + i * 196 + 4);
    b.game->visitedPictures.push_back(name);
  }
  for (int p = 0; p < 13; ++p)
    for (int e = 0; e < 16; ++e)
      for (int k = 0; k < 6; ++k) storeU32(cg.data() + 1280 * p + 80 * e + 4 * k, uint32_t((p * 16 + e + k) % 200));
  b.game->tables().setVisual(visual);
  b.game->tables().setGallery(cg);
  for (auto _ : state) {
    b.gameMode = kModeGallery;
    b.subMode = 0;
    b.frame();
    for (int p = 1; p < 13; ++p) {
      b.input.count(Key::Up) = 0;
      b.subMode = 2;
      // A page button: cursor on it, then the advance input.
      b.input.tapNow = 1;
      b.input.penX = 608 + 4;
      b.input.penY = 24 + 32 * p + 4;
      b.frame();
    }
    benchmark::DoNotOptimize(b.screens->extrasState().page);
  }
}
BENCHMARK(BM_GalleryPages)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
