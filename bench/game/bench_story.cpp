// The story's per-frame cost on the 640 × 480 screen: a page of text typing at normal speed, a
// picture transition, a scene transition, and a finished page whose click marker animates (which
// must redraw only the marker). Each iteration is one frame: game step, layer update, composition.
#include <benchmark/benchmark.h>

#include "bench/game/bench_game.h"
#include "tools/script_asm.h"

namespace sorel {
namespace {

/// A game on stand-in services whose pictures are generated: opaque backgrounds, sprites and
/// the window with soft alpha edges.
struct Bench : BenchGame {
  Bench()
      : BenchGame([](Picture& out, std::string_view file, int* x, int* y) {
          bool bg = file.substr(0, 2) == "BG";
          bool window = file.substr(0, 7) == "Message";
          uint32_t w = bg || window ? 640 : 300, h = bg ? 480 : window ? 162 : 460;
          if (file == "Cursor.bmp") w = 136, h = 36;
          patternPicture(out, w, h, [&](uint32_t i, uint32_t) {
            return bg ? 255 : window ? 200 : uint8_t(i < 20 || i > w - 20 ? i * 12 : 255);
          });
          if (x) *x = 150;
          if (y) *y = 20;
          return true;
        }) {
    settings.messageSpeed = 1;
    std::vector<uint8_t> visual(4 * 196, 0), stand(4 * 224, 0);
    for (int i = 0; i < 4; ++i) {
      std::string v = "BG" + std::to_string(i) + ".bmp", f = "F" + std::to_string(i) + ".bmp",
                  s = "S" + std::to_string(i) + ".bmp";
      std::copy(v.begin(), v.end(), visual.begin() + i * 196 + 4);
      std::copy(f.begin(), f.end(), stand.begin() + i * 224);
      std::copy(s.begin(), s.end(), stand.begin() + i * 224 + 32);
    }
    game->tables().setVisual(visual);
    game->tables().setStand(stand);
  }
  void run(std::string_view text) {
    auto r = script::assemble(text);
    game->loadScriptImage("bench.bin", r.bytes);
    gameMode = kModeStory;
  }
};

constexpr const char* kScene = R"(
    PUSH_INT 0
    VISUAL_SHOW
    CLEAR_STACK
    PUSH_INT 0
    PUSH_INT 1
    STAND_SET
    CLEAR_STACK
    WINDOW_SHOW
)";

// 50 characters: two full lines of a page.
constexpr const char* kPage =
    "春。今日から、丘の上のルーメン学園に通うことになった。目覚ましの音が鳴っている。そろそろ起きて、準備をしないと。";

void BM_TypingPage(benchmark::State& state) {
  Bench b;
  b.run(std::string(kScene) + "loop:\nPUSH_INT 15\nPUSH_INT 1\nPUSH_STRING \"" + kPage +
        "\"\nMESSAGE_NOWAIT\nCLEAR_STACK\nWAIT_CLICK\nJUMP @loop\n");
  for (int i = 0; i < 70; ++i) b.frame();  // the scene is drawn; typing has begun
  int64_t frames = 0, cells = 0;
  for (auto _ : state) {
    int before = b.game->textCells().count;
    if (b.game->message.markerShown) b.input.count(Key::Right) = 1;
    b.frame();
    cells += std::max(0, b.game->textCells().count - before);
    ++frames;
  }
  state.counters["cells/frame"] = double(cells) / double(frames);
}
BENCHMARK(BM_TypingPage)->Unit(benchmark::kMicrosecond);

void BM_PictureTransition(benchmark::State& state) {
  Bench b;
  b.run(std::string(kScene) + R"(
  loop:
    PUSH_INT 1
    PUSH_INT 0
    VISUAL_TRANSITION
    CLEAR_STACK
    PUSH_INT 0
    PUSH_INT 0
    VISUAL_TRANSITION
    CLEAR_STACK
    JUMP @loop
  )");
  for (int i = 0; i < 5; ++i) b.frame();
  int64_t area = 0, frames = 0;
  for (auto _ : state) {
    area += b.frame();
    ++frames;
  }
  state.counters["pixels/frame"] = double(area) / double(frames);
}
BENCHMARK(BM_PictureTransition)->Unit(benchmark::kMicrosecond);

// The scene transition: the captured screen wiped away in 8-pixel columns over the new scene.
void BM_SceneTransition(benchmark::State& state) {
  Bench b;
  b.run(std::string(kScene) + R"(
  loop:
    PUSH_INT 1
    VISUAL_SHOW
    CLEAR_STACK
    PUSH_INT 0
    SCENE_TRANSITION
    CLEAR_STACK
    PUSH_INT 0
    VISUAL_SHOW
    CLEAR_STACK
    PUSH_INT 0
    SCENE_TRANSITION
    CLEAR_STACK
    JUMP @loop
  )");
  for (int i = 0; i < 5; ++i) b.frame();
  int64_t area = 0, frames = 0;
  for (auto _ : state) {
    area += b.frame();
    ++frames;
  }
  state.counters["pixels/frame"] = double(area) / double(frames);
}
BENCHMARK(BM_SceneTransition)->Unit(benchmark::kMicrosecond);

void BM_StaticPageWithMarker(benchmark::State& state) {
  Bench b;
  b.run(std::string(kScene) + "PUSH_INT 15\nPUSH_INT -1\nPUSH_STRING \"" + kPage + "\"\nMESSAGE\n");
  for (int i = 0; i < 200; ++i) b.frame();  // typed out, the marker animating
  int64_t area = 0, frames = 0, biggest = 0;
  for (auto _ : state) {
    int64_t a = b.frame();
    area += a;
    biggest = std::max(biggest, a);
    ++frames;
  }
  // The marker is 30 × 36 pixels: no frame may redraw more.
  state.counters["pixels/frame"] = double(area) / double(frames);
  state.counters["largest"] = double(biggest);
  if (biggest > 30 * 36) state.SkipWithError("a static page redrew more than the marker");
}
BENCHMARK(BM_StaticPageWithMarker)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
