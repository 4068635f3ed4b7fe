#include "platform/shell.h"

#include <SDL.h>
#include <signal.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "platform/clock.h"
#include "platform/single_instance.h"
#include "platform/text.h"

namespace platform {

void logicalToPen(PenMapping mapping, int logicalWidth, int x, int y, int& penX, int& penY) {
  if (mapping == PenMapping::Direct) {
    penX = x;
    penY = y;
    return;
  }
  // The engine turns a report (sx, sy) into x = W − 1 − 2·sy, y = 2·sx.
  penX = y / 2;
  penY = (logicalWidth - 1 - x) / 2;
}

namespace {
// Set by SIGINT/SIGTERM in headless runs: the player then closes like a closed window, so the
// settings are saved. Process-wide because signals are.
volatile std::sig_atomic_t g_stopRequested = 0;
extern "C" void requestStop(int) { g_stopRequested = 1; }
}  // namespace

Shell::~Shell() { close(); }

bool Shell::open(const ShellConfig& config, std::string& why) {
  m_config = config;
  m_config.scale = std::clamp(m_config.scale, 1, 8);
  if (m_config.headless) {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
  }
  // SDL would back a software window with an OpenGL texture, loading a GL driver (and LLVM)
  // for a picture it can hand to X directly.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    why = SDL_GetError();
    return false;
  }
  int w = m_config.logicalWidth * m_config.scale;
  int h = m_config.logicalHeight * m_config.scale;
  SDL_Window* window = SDL_CreateWindow(m_config.titleUtf8.c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, w, h, SDL_WINDOW_SHOWN);
  if (!window) {
    why = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  // The software renderer: a 640 × 480 picture needs no GPU, and a GL driver would cost tens of
  // megabytes and a slow start. No vsync: the engine paces its own frames.
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                   m_config.logicalWidth, m_config.logicalHeight)
               : nullptr;
  if (!texture) {
    why = SDL_GetError();
    if (renderer) SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  SDL_RenderSetLogicalSize(renderer, m_config.logicalWidth, m_config.logicalHeight);
  m_window = window;
  m_renderer = renderer;
  m_texture = texture;
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderPresent(renderer);
  return true;
}

void Shell::close() {
  if (m_texture) SDL_DestroyTexture(static_cast<SDL_Texture*>(m_texture));
  if (m_renderer) SDL_DestroyRenderer(static_cast<SDL_Renderer*>(m_renderer));
  if (m_window) {
    SDL_DestroyWindow(static_cast<SDL_Window*>(m_window));
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    // The last user of SDL lets it release its desktop-bus connection too.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  }
  m_texture = m_renderer = m_window = nullptr;
}

uint16_t Shell::virtualKeyFor(int32_t key) const {
  switch (key) {
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_z: return m_config.buttons.a;
    case SDLK_x: return m_config.buttons.b;
    case SDLK_c: return m_config.buttons.c;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return m_config.buttons.start ? m_config.buttons.start : VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    default: break;
  }
  // Other letters and digits report their own codes, so a configured key (KEY_D = 44) works.
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint16_t>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint16_t>('0' + (key - SDLK_0));
  return 0;
}

uint16_t Shell::virtualKeyForName(std::string_view name) const {
  static constexpr struct {
    const char* name;
    int32_t key;
  } kNames[] = {{"up", SDLK_UP}, {"down", SDLK_DOWN}, {"left", SDLK_LEFT}, {"right", SDLK_RIGHT},
                {"z", SDLK_z},   {"x", SDLK_x},       {"c", SDLK_c},       {"enter", SDLK_RETURN},
                {"d", SDLK_d},   {"e", SDLK_e}};
  for (const auto& n : kNames)
    if (name == n.name) return virtualKeyFor(n.key);
  return 0;
}

void Shell::postPen(uint32_t message, int windowX, int windowY) {
  SDL_Renderer* renderer = static_cast<SDL_Renderer*>(m_renderer);
  float lx = 0, ly = 0;
  SDL_RenderWindowToLogical(renderer, windowX, windowY, &lx, &ly);
  int x = std::clamp(static_cast<int>(lx), 0, m_config.logicalWidth - 1);
  int y = std::clamp(static_cast<int>(ly), 0, m_config.logicalHeight - 1);
  int px, py;
  logicalToPen(m_config.pen, m_config.logicalWidth, x, y, px, py);
  postMessage(m_hwnd, message, 1, makePointParam(px, py));
}

void Shell::pumpEvents() {
  // The engine asks on every pass of its loop, about a thousand times a second. Input is
  // sampled every few milliseconds (frames are 16 ms apart) and other instances every tenth of a
  // second, which keeps an idle player near no CPU at all.
  uint32_t now = tickCount();
  if (m_instance && now - m_lastInstanceCheck >= 100) {
    m_lastInstanceCheck = now;
    if (m_instance->raiseRequested()) raise();
  }
  if (g_stopRequested) {
    g_stopRequested = 0;
    postMessage(m_hwnd, WM_CLOSE, 0, 0);
  }
  if (!m_window) return;
  if (now - m_lastPump < 4 && clockMode() == ClockMode::Real) return;
  m_lastPump = now;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_QUIT: postMessage(m_hwnd, WM_CLOSE, 0, 0); break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        uint16_t vk = virtualKeyFor(e.key.keysym.sym);
        if (vk) postMessage(m_hwnd, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, 1);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT) {
          m_penDown = true;
          postPen(WM_LBUTTONDOWN, e.button.x, e.button.y);
        }
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT && m_penDown) {
          m_penDown = false;
          postPen(WM_LBUTTONUP, e.button.x, e.button.y);
        }
        break;
      case SDL_MOUSEMOTION:
        // A stylus reports movement only while it touches the screen.
        if (m_penDown) postPen(WM_MOUSEMOVE, e.motion.x, e.motion.y);
        break;
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) invalidateWindow(m_hwnd);
        break;
      default: break;
    }
  }
}

void Shell::show(const DisplayProperties& props, const uint8_t* framePointer) {
  if (!m_texture || !framePointer) return;
  readLogicalRgb565(props, framePointer, m_config.logicalWidth, m_config.logicalHeight, m_pixels);
  auto* texture = static_cast<SDL_Texture*>(m_texture);
  auto* renderer = static_cast<SDL_Renderer*>(m_renderer);
  SDL_UpdateTexture(texture, nullptr, m_pixels.data(), m_config.logicalWidth * 2);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

void Shell::raise() {
  if (!m_window) return;
  auto* window = static_cast<SDL_Window*>(m_window);
  SDL_RestoreWindow(window);
  SDL_RaiseWindow(window);
}

void Shell::setTitle(const std::string& utf8) {
  m_config.titleUtf8 = utf8;
  if (m_window) SDL_SetWindowTitle(static_cast<SDL_Window*>(m_window), utf8.c_str());
}

void showMessageBox(std::string_view text, std::string_view caption, bool headless) {
  std::string t = cp932ToUtf8Lossy(text);
  std::string c = cp932ToUtf8Lossy(caption);
  std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
  if (!headless) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, c.c_str(), t.c_str(), nullptr);
}

}  // namespace platform

// Under LeakSanitizer: the desktop-bus library that SDL's video uses keeps a block until its own
// shutdown, which SDL 2.26 never calls. Not ours to free; ignored so that sanitizer runs of the
// windowed players stay clean.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
