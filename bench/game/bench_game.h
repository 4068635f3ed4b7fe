#pragma once
// The game on stand-in services for the story and screen benchmarks: the 640 × 480 screen on the
// virtual clock, pictures made by the benchmark's own generator instead of read from archives, and
// a frame as the application steps it: game step, layer update, composition of the dirty
// rectangles and, when asked, their presentation to the raw frame buffer.
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/saves/game_saves.h"
#include "engine/screens/game_screens.h"
#include "engine/story/game.h"
#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/dirty_rects.h"
#include "engine/resources/data_locations.h"
#include "engine/resources/mlz_archive.h"
#include "engine/resources/screen.h"
#include "engine/state/input.h"
#include "engine/state/settings.h"
#include "platform/clock.h"

namespace sorel {

/// A w × h picture of a fixed pattern whose alpha at (i, j) is alpha(i, j).
template <class Alpha>
void patternPicture(Picture& out, uint32_t w, uint32_t h, Alpha alpha) {
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
      p[3] = alpha(i, j);
    }
}

struct BenchGame {
  /// Makes the picture of a file name; x and y (may be null) take its stored placement.
  using Pictures = std::function<bool(Picture& out, std::string_view file, int* x, int* y)>;

  explicit BenchGame(Pictures makePicture, bool presents = false)
      : archives(true), paths(makeDataPaths("C:\\bench\\")), present(presents) {
    screenWidth = 640;
    screenHeight = 480;
    platform::setClockMode(platform::ClockMode::Virtual, 1000);
    surface.resize(640, 480);
    dirty.setBounds(640, 480);
    if (present) {
      device.open(480, 640);
      display.open(640, 480);
    }
    GameHost host{pictures, archives, scriptArchive, paths, settings, input, errorWord, gameMode, subMode,
                  [this](const Rect& r) { addDirtyRect(dirty, r, true); }, [this] { return &surface; }, nullptr,
                  nullptr, nullptr, nullptr};
    host.pictureLoader = [make = std::move(makePicture)](Picture& out, std::string_view file, std::string_view,
                                                         MlzArchive&, ColourWord, int* x, int* y) {
      return make(out, file, x, y);
    };
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
    if (present) sorel::present(display, surface, dirty, PresentArea::DirtyRects, 0, 0);
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
  bool present;
  std::unique_ptr<Game> game;
  std::unique_ptr<GameScreens> screens;
  std::unique_ptr<GameSaves> saves;
};

}  // namespace sorel
