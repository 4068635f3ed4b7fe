// Saving and loading a game through the application object on the 640 × 480 screen: a save
// (snapshot block, thumbnail, backlog data of 256 entries, the system data with a large read
// table, each file flushed to the disk and renamed into place), a load of that save (read,
// check, tear down, restore, scenario reloaded), and the thumbnail's box filter alone. Each
// must stay within one 16 ms frame (the box filter within 1 ms).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "converter/mlz_writer.h"
#include "engine/saves/save_data.h"
#include "engine/resources/screen.h"
#include "engine/runtime/app_context.h"
#include "engine/state/profile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "tools/script_asm.h"

namespace sorel {
namespace {

namespace fs = std::filesystem;

struct SaveBench {
  SaveBench() {
    platform::setClockMode(platform::ClockMode::Virtual, 0);
    screenWidth = 640;
    screenHeight = 480;
    root = fs::temp_directory_path() / ("sorel_bench_save_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "data" / "save");
    auto bytes = script::assemble(R"(
    PUSH_INT 15
    PUSH_INT -1
    PUSH_STRING "\x82\xa0\x82\xa2\x82\xa4"
    MESSAGE
    CLEAR_STACK
end:
    YIELD
    PUSH_INT 0
    JUMP @end
)").bytes;
    MlzWriter w;
    w.open(*platform::systemPath((root / "data" / "Script.mlz").string()), 1);
    w.add("01-01.bin", bytes, true);
    w.close();
    platform::resetWindowing();
    clearProfile();
    EngineConfig config;
    config.kind = PlayerKind::Pocket;
    config.programFolder = *platform::systemPath(root.string() + "/");
    app = std::make_unique<AppContext>(config);
    WindowBase::registerWindowClass();
    app->createWindow(640, 480);
    app->openDisplay();
    app->initialise();
    app->setVirtualClockStep(16);
    app->startStory("01-01.bin");
    for (int i = 0; i < 30; ++i) app->idlePass();
    // A full backlog of long lines and a read table of a whole playthrough.
    Game& g = *app->game();
    std::string line;
    for (int i = 0; i < 100; ++i) line += "\x82\xa0";
    for (int i = 0; i < 256; ++i) g.backlog().add(uint32_t(i % 16), "01001.mp3", line, 3);
    for (int s = 0; s < 17; ++s)
      for (uint32_t o = 0; o < 1500; ++o) g.readTable().markRead("scenario" + std::to_string(s) + ".bin", o * 6);
    g.takeSnapshot();
    // A busy screen for the thumbnail.
    for (size_t i = 0; i < app->surface().pixels.size(); ++i) app->surface().pixels[i] = uint8_t(i * 2654435761u >> 24);
  }
  ~SaveBench() {
    app.reset();
    platform::resetWindowing();
    std::error_code ec;
    fs::remove_all(root, ec);
    platform::setClockMode(platform::ClockMode::Real);
  }
  fs::path root;
  std::unique_ptr<AppContext> app;
};

SaveBench& bench() {
  static SaveBench b;
  return b;
}

// What the frame pays: the block, the thumbnail, both files built and handed to the writer.
void BM_SaveGame(benchmark::State& state) {
  SaveBench& b = bench();
  for (auto _ : state) {
    if (!b.app->saveGame(0)) state.SkipWithError("save failed");
    state.PauseTiming();
    b.app->flushSaves();
    state.ResumeTiming();
  }
  state.counters["bytes"] = double(fs::file_size(b.root / "data" / "save" / "save001.dat"));
  state.counters["system"] = double(fs::file_size(b.root / "data" / "save" / "save000.dat"));
}
BENCHMARK(BM_SaveGame)->Unit(benchmark::kMillisecond);

// Until both files are on the disk (the writer's thread: write, flush, rename, twice).
void BM_SaveGameToDisk(benchmark::State& state) {
  SaveBench& b = bench();
  for (auto _ : state) {
    if (!b.app->saveGame(0)) state.SkipWithError("save failed");
    b.app->flushSaves();
  }
}
BENCHMARK(BM_SaveGameToDisk)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadGame(benchmark::State& state) {
  SaveBench& b = bench();
  if (!b.app->saveGame(0)) state.SkipWithError("save failed");
  b.app->flushSaves();
  for (auto _ : state) {
    if (!b.app->loadGame(0)) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_LoadGame)->Unit(benchmark::kMillisecond);

void BM_ThumbnailBoxFilter(benchmark::State& state) {
  Surface screen;
  screen.resize(640, 480);
  for (size_t i = 0; i < screen.pixels.size(); ++i) screen.pixels[i] = uint8_t(i * 2654435761u >> 24);
  std::vector<uint16_t> out(160 * 128);
  for (auto _ : state) {
    boxFilter565(screen, 160, 128, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ThumbnailBoxFilter)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
