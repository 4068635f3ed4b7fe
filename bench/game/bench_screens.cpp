// The title and extras screens on the 640 × 480 screen. Each title or eye-catch iteration is one
// frame: game step, layer update, composition of the dirty rectangles and their presentation to
// the raw frame buffer. The gallery's is one whole entry: thirteen page builds with thumbnails.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/saves/game_saves.h"
#include "engine/screens/game_screens.h"
#include "engine/story/game.h"
#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/dirty_rects.h"
#include "engine/resources/byte_io.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/screen.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"
#include "platform/clock.h"
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
  out.width = w;
  out.height = h;
  out.designWidth = int32_t(w);
  out.designHeight = int32_t(h);
  out.pixels.resize(size_t(w) * h * 4);
  for (uint32_t j = 0; j < h; ++j)
    for (uint32_t i = 0; i < w; ++i) {
      uint8_t* p = out.pixel(i, j);
      p[0] = uint8_t(i * 3 + j);
      p[1] = uint8_t(j * 5);
      p[2] = uint8_t(i ^ j);
      p[3] = opaque ? 255 : uint8_t(i < 8 || j < 8 ? 32 * (std::min(i, j) + 1) - 1 : 255);
    }
  return true;
}

struct Bench {
  Bench() : archives(true), paths(makeDataPaths("C:\\bench\\")) {
    screenWidth = 640;
    screenHeight = 480;
    platform::setClockMode(platform::ClockMode::Virtual, 1000);
    surface.resize(640, 480);
    dirty.setBounds(640, 480);
    device.open(480, 640);
    display.open(640, 480);
    settings.voicePlay = 2;
    GameHost host{pictures, archives, scriptArchive, paths, settings, input, errorWord, gameMode, subMode,
                  [this](const Rect& r) { addDirtyRect(dirty, r, true); }, [this] { return &surface; }, nullptr,
                  nullptr};
    host.pictureLoader = [](Picture& out, std::string_view file, std::string_view, MlzArchive&, ColourWord, int*,
                            int*) { return makePicture(out, file); };
    game = std::make_unique<Game>(host);
    screens = std::make_unique<GameScreens>(*game);
    saves = std::make_unique<GameSaves>(*game);
    game->setScreens(screens.get());
    game->setSnapshots(saves.get());
  }
  /// One frame; returns the number of pixels redrawn.
  int64_t frame() {
    platform::advanceVirtualClock(16);
    game->gameStep();
    game->updateLayers(platform::tickCount());
    game->compose(surface, frameState, dirty, 1, false);
    present(display, surface, dirty, PresentArea::DirtyRects, 0, 0);
    int64_t area = 0;
    for (const auto& n : dirty.nodes()) area += int64_t(n.rect.width()) * n.rect.height();
    clearDirtyRects(dirty);
    input.tapNow = 0;
    for (auto& c : input.counts)
      if (c > 0) ++c;
    return area;
  }

  PictureTable pictures;
  PictureArchives archives;
  MlzArchive scriptArchive;
  DataPaths paths;
  Settings settings;
  InputState input;
  uint32_t errorWord = 0, gameMode = 0, subMode = 0;
  Surface surface;
  DirtyRectList dirty;
  FrameState frameState;
  platform::RawFrameBuffer device;
  RawFrameBufferBackend display{device};
  std::unique_ptr<Game> game;
  std::unique_ptr<GameScreens> screens;
  std::unique_ptr<GameSaves> saves;
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
