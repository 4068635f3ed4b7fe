#include "platform/shell.h"

#include <SDL.h>
#include <signal.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

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

namespace {

/// Video drivers that open no window anyone can see.
bool invisibleDriver(const char* name) {
  return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
                  std::strcmp(name, "evdev") == 0);
}

std::string noDisplayReason() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool hasX = x && *x, hasWayland = wayland && *wayland;
  std::string why = "no display: ";
  if (!hasX && !hasWayland) {
    why += "neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else {
    why += "cannot open";
    if (hasX) why += std::string(" DISPLAY=") + x;
    if (hasWayland) why += std::string(hasX ? " or" : "") + " WAYLAND_DISPLAY=" + wayland;
  }
  return why + " (run with --headless to play without a window)";
}

/// A graphics processor the system could render with: a DRM device (Mesa, the handhelds' KMS),
/// or the vendor drivers' own device nodes. Without one no GL driver is loaded just to find out.
bool graphicsDevicePresent() {
  for (const char* node : {"/dev/dri", "/dev/nvidiactl", "/dev/mali0", "/dev/galcore"})
    if (::access(node, F_OK) == 0) return true;
  return false;
}

/// A GL renderer that rasterises on the processor (Mesa's llvmpipe under a virtual X server, in a
/// virtual machine): slower for this picture than scaling only what changed in software.
bool rasterisesInSoftware(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(renderer, &info) != 0 || (info.flags & SDL_RENDERER_SOFTWARE)) return true;
  if (!info.name || std::strncmp(info.name, "opengl", 6) != 0) return false;
  using GetString = const unsigned char* (*)(unsigned);
  auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const auto* name = getString ? reinterpret_cast<const char*>(getString(0x1F01 /* GL_RENDERER */)) : nullptr;
  if (!name) return false;
  for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "SwiftShader"})
    if (std::strstr(name, soft)) return true;
  return false;
}

}  // namespace

bool Shell::connect(std::string& why) {
  if (m_videoOpen) return true;
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  const bool driverAsked = asked && *asked;
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  // Neither X nor Wayland: only the kernel's own display (a handheld's panel through KMS) is
  // left. Asking the others would only have them complain on the terminal.
  if (!driverAsked && !(x && *x) && !(wayland && *wayland)) SDL_SetHint(SDL_HINT_VIDEODRIVER, "KMSDRM");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    why = driverAsked ? std::string(SDL_GetError()) : noDisplayReason();
    return false;
  }
  // With no display SDL carries on with a driver that draws nowhere; the player would then run
  // unseen for ever. Only a driver named on purpose (the tests' dummy) may be invisible.
  if (!driverAsked && invisibleDriver(SDL_GetCurrentVideoDriver())) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    why = noDisplayReason();
    return false;
  }
  m_videoOpen = true;
  return true;
}

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
  if (!connect(why)) return false;
  int w = m_config.logicalWidth * m_config.scale;
  int h = m_config.logicalHeight * m_config.scale;
  // Resizable: the picture keeps its aspect ratio inside whatever size the window gets. Full
  // screen takes the desktop's own mode, so no display mode is ever changed.
  uint32_t flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
  SDL_Window* window = SDL_CreateWindow(m_config.titleUtf8.c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, w, h, flags);
  if (!window) {
    why = SDL_GetError();
    close();
    return false;
  }
  m_window = window;
  SDL_SetWindowMinimumSize(window, std::min(160, w), std::min(120, h));
  const char* choice = std::getenv("SOREL_RENDERER");
  const std::string_view asked = choice ? choice : "";
  const bool accelerated = asked == "accelerated" ? openAccelerated(true)
                           : asked == "software"  ? false
                                                  : graphicsDevicePresent() && openAccelerated(false);
  if (!accelerated && !openSoftware()) {
    why = SDL_GetError();
    close();
    return false;
  }
  if (accelerated) redraw();  // the software path drew its first (black) picture already
  if (m_config.fullscreen) setFullscreen(true);
  // Gamepads are a bonus: without the controller layer the keyboard still plays. Pads present
  // now arrive as "added" events like pads plugged in later.
  m_padsOpen = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
  return true;
}

bool Shell::openAccelerated(bool anyRenderer) {
  auto* window = static_cast<SDL_Window*>(m_window);
  // No vsync: the engine paces its own frames, and a present waiting for the screen would hold
  // up the game.
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
  if (renderer && !anyRenderer && rasterisesInSoftware(renderer)) {
    SDL_DestroyRenderer(renderer);
    renderer = nullptr;
  }
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                   m_config.logicalWidth, m_config.logicalHeight)
               : nullptr;
  if (!texture) {
    if (renderer) SDL_DestroyRenderer(renderer);
    return false;
  }
  m_renderer = renderer;
  m_texture = texture;
  m_presentation = Presentation::Accelerated;
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  return true;
}

bool Shell::openSoftware() {
  // On X the window's pixels go to the server as they are; SDL would otherwise put them through
  // an OpenGL texture (a GL driver, on a machine without a graphics processor a software one) and
  // send the whole window on every update.
  if (const char* driver = SDL_GetCurrentVideoDriver(); driver && std::strcmp(driver, "x11") == 0)
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  m_presentation = Presentation::Software;
  m_surface = nullptr;
  if (refreshWindowPixels()) return true;
  m_presentation = Presentation::None;
  return false;
}

void Shell::close() {
  for (Pad& pad : m_pads) SDL_GameControllerClose(static_cast<SDL_GameController*>(pad.controller));
  m_pads.clear();
  if (m_padsOpen) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  m_padsOpen = false;
  if (m_texture) SDL_DestroyTexture(static_cast<SDL_Texture*>(m_texture));
  if (m_renderer) SDL_DestroyRenderer(static_cast<SDL_Renderer*>(m_renderer));
  if (m_window) SDL_DestroyWindow(static_cast<SDL_Window*>(m_window));
  if (m_videoOpen) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    // The last user of SDL lets it release its desktop-bus connection too.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  }
  m_texture = m_renderer = m_window = m_surface = nullptr;
  m_videoOpen = false;
  m_presentation = Presentation::None;
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

ViewRect Shell::view(double* pixelsPerPointX, double* pixelsPerPointY) const {
  auto* window = static_cast<SDL_Window*>(m_window);
  int ow = 0, oh = 0, ww = 0, wh = 0;
  if (m_renderer) SDL_GetRendererOutputSize(static_cast<SDL_Renderer*>(m_renderer), &ow, &oh);
  else if (m_surface) ow = static_cast<SDL_Surface*>(m_surface)->w, oh = static_cast<SDL_Surface*>(m_surface)->h;
  else SDL_GetWindowSizeInPixels(window, &ow, &oh);
  SDL_GetWindowSize(window, &ww, &wh);
  // Mouse positions come in window points, the picture is drawn in pixels (more of them on a
  // high-density screen).
  if (pixelsPerPointX) *pixelsPerPointX = ww > 0 ? double(ow) / ww : 1.0;
  if (pixelsPerPointY) *pixelsPerPointY = wh > 0 ? double(oh) / wh : 1.0;
  return letterbox(ow, oh, m_config.logicalWidth, m_config.logicalHeight,
                   m_config.integerScale ? ScaleSteps::Whole : ScaleSteps::Any);
}

bool Shell::postPen(uint32_t message, int windowX, int windowY, bool pressOnly) {
  double sx = 1, sy = 1;
  ViewRect v = view(&sx, &sy);
  int x = 0, y = 0;
  bool inside = windowToLogical(v, m_config.logicalWidth, m_config.logicalHeight,
                                static_cast<int>(windowX * sx), static_cast<int>(windowY * sy), x, y);
  // A press on a bar touches nothing; a pen already down is followed to the picture's edge.
  if (pressOnly && !inside) return false;
  int px, py;
  logicalToPen(m_config.pen, m_config.logicalWidth, x, y, px, py);
  postMessage(m_hwnd, message, 1, makePointParam(px, py));
  return true;
}

void Shell::setFullscreen(bool on) {
  if (!m_window || on == fullscreen()) return;
  auto* window = static_cast<SDL_Window*>(m_window);
  if (on) {
    SDL_GetWindowPosition(window, &m_windowed.x, &m_windowed.y);
    SDL_GetWindowSize(window, &m_windowed.w, &m_windowed.h);
    // An X server without a window manager ignores the full-screen request and leaves the
    // window as it was, while SDL draws for the whole screen: the window is first made to
    // cover the screen by hand.
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &bounds) == 0) {
      SDL_SetWindowPosition(window, bounds.x, bounds.y);
      SDL_SetWindowSize(window, bounds.w, bounds.h);
    }
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else {
    SDL_SetWindowFullscreen(window, 0);
    if (m_windowed.w > 0) {
      SDL_SetWindowSize(window, m_windowed.w, m_windowed.h);
      SDL_SetWindowPosition(window, m_windowed.x, m_windowed.y);
    }
  }
  m_surface = nullptr;  // a new size has new window pixels
  redraw();
}

bool Shell::fullscreen() const {
  return m_window &&
         (SDL_GetWindowFlags(static_cast<SDL_Window*>(m_window)) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
}

namespace {

std::optional<PadButton> padButtonOf(int sdlButton) {
  switch (sdlButton) {
    case SDL_CONTROLLER_BUTTON_A: return PadButton::A;
    case SDL_CONTROLLER_BUTTON_B: return PadButton::B;
    case SDL_CONTROLLER_BUTTON_X: return PadButton::X;
    case SDL_CONTROLLER_BUTTON_Y: return PadButton::Y;
    case SDL_CONTROLLER_BUTTON_BACK: return PadButton::Back;
    case SDL_CONTROLLER_BUTTON_GUIDE: return PadButton::Guide;
    case SDL_CONTROLLER_BUTTON_START: return PadButton::Start;
    case SDL_CONTROLLER_BUTTON_LEFTSTICK: return PadButton::LeftStick;
    case SDL_CONTROLLER_BUTTON_RIGHTSTICK: return PadButton::RightStick;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return PadButton::LeftShoulder;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return PadButton::RightShoulder;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return PadButton::DpadUp;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return PadButton::DpadDown;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return PadButton::DpadLeft;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return PadButton::DpadRight;
    case SDL_CONTROLLER_BUTTON_MISC1: return PadButton::Misc1;
    case SDL_CONTROLLER_BUTTON_PADDLE1: return PadButton::Paddle1;
    case SDL_CONTROLLER_BUTTON_PADDLE2: return PadButton::Paddle2;
    case SDL_CONTROLLER_BUTTON_PADDLE3: return PadButton::Paddle3;
    case SDL_CONTROLLER_BUTTON_PADDLE4: return PadButton::Paddle4;
    case SDL_CONTROLLER_BUTTON_TOUCHPAD: return PadButton::Touchpad;
    default: return std::nullopt;
  }
}

}  // namespace

void Shell::padAdded(int deviceIndex) {
  SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
  if (!controller) return;
  int32_t id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
  for (const Pad& pad : m_pads)
    if (pad.id == id) {
      SDL_GameControllerClose(controller);  // already open (reported twice at start-up)
      return;
    }
  m_pads.push_back({controller, id, 0});
}

void Shell::padRemoved(int32_t instanceId) {
  for (size_t i = 0; i < m_pads.size(); ++i) {
    if (m_pads[i].id != instanceId) continue;
    // Whatever the pad held is let go, so no key stays pressed after the cable is pulled.
    for (int b = 0; b < kPadButtonCount; ++b) setPadButton(instanceId, static_cast<PadButton>(b), false);
    SDL_GameControllerClose(static_cast<SDL_GameController*>(m_pads[i].controller));
    m_pads.erase(m_pads.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

void Shell::setPadButton(int32_t instanceId, PadButton button, bool down) {
  for (Pad& pad : m_pads) {
    if (pad.id != instanceId) continue;
    uint32_t bit = 1u << static_cast<unsigned>(button);
    if (((pad.held & bit) != 0) == down) return;
    pad.held = down ? pad.held | bit : pad.held & ~bit;
    postMessage(m_hwnd, down ? WM_PADBUTTONDOWN : WM_PADBUTTONUP, static_cast<WParam>(button), 0);
    return;
  }
}

void Shell::padAxis(int32_t id, int axis, int value) {
  uint32_t held = 0;
  for (const Pad& p : m_pads)
    if (p.id == id) held = p.held;
  auto isHeld = [&](PadButton b) { return ((held >> static_cast<unsigned>(b)) & 1u) != 0; };
  auto twoWay = [&](PadButton negative, PadButton positive) {
    AxisButtons now = axisButtons(value, isHeld(negative), isHeld(positive));
    setPadButton(id, negative, now.negative);
    setPadButton(id, positive, now.positive);
  };
  auto trigger = [&](PadButton b) { setPadButton(id, b, axisButtons(value, false, isHeld(b)).positive); };
  switch (axis) {
    case SDL_CONTROLLER_AXIS_LEFTX: twoWay(PadButton::StickLeft, PadButton::StickRight); break;
    case SDL_CONTROLLER_AXIS_LEFTY: twoWay(PadButton::StickUp, PadButton::StickDown); break;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT: trigger(PadButton::LeftTrigger); break;
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: trigger(PadButton::RightTrigger); break;
    default: break;
  }
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
        SDL_Keycode sym = e.key.keysym.sym;
        bool enter = sym == SDLK_RETURN || sym == SDLK_KP_ENTER;
        if (e.type == SDL_KEYDOWN && (sym == SDLK_F11 || (enter && (e.key.keysym.mod & KMOD_ALT)))) {
          if (!e.key.repeat) setFullscreen(!fullscreen());
          if (enter) m_swallowEnterUp = true;
          break;
        }
        if (e.type == SDL_KEYUP && enter && m_swallowEnterUp) {
          m_swallowEnterUp = false;
          break;
        }
        uint16_t vk = virtualKeyFor(sym);
        if (vk) postMessage(m_hwnd, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, vk, 1);
        break;
      }
      case SDL_CONTROLLERDEVICEADDED: padAdded(e.cdevice.which); break;
      case SDL_CONTROLLERDEVICEREMOVED: padRemoved(e.cdevice.which); break;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
        if (auto b = padButtonOf(e.cbutton.button))
          setPadButton(e.cbutton.which, *b, e.type == SDL_CONTROLLERBUTTONDOWN);
        break;
      case SDL_CONTROLLERAXISMOTION: padAxis(e.caxis.which, e.caxis.axis, e.caxis.value); break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT)
          m_penDown = postPen(WM_LBUTTONDOWN, e.button.x, e.button.y, true);
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT && m_penDown) {
          m_penDown = false;
          postPen(WM_LBUTTONUP, e.button.x, e.button.y, false);
        }
        break;
      case SDL_MOUSEMOTION:
        // A stylus reports movement only while it touches the screen.
        if (m_penDown) postPen(WM_MOUSEMOVE, e.motion.x, e.motion.y, false);
        break;
      case SDL_WINDOWEVENT:
        // The shell keeps the picture it showed last: a new size or an uncovered window is drawn
        // from it, without the engine.
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) m_surface = nullptr;  // SDL makes new pixels
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_EXPOSED) redraw();
        break;
      default: break;
    }
  }
}

void Shell::show(const DisplayProperties& props, const uint8_t* framePointer, std::span<const ScreenRect> changed) {
  if (m_presentation == Presentation::None || !framePointer || changed.empty()) return;
  const int w = m_config.logicalWidth, h = m_config.logicalHeight;
  const ScreenRect whole{0, 0, w, h};
  // The first picture is read whole; after it only what changed.
  if (m_pixels.empty()) {
    readLogicalRgb565(props, framePointer, w, h, m_pixels);
    changed = std::span<const ScreenRect>(&whole, 1);
  } else {
    for (const ScreenRect& r : changed) readLogicalRgb565(props, framePointer, w, h, r, m_pixels);
  }
  if (m_config.checkPresent) {
    readLogicalRgb565(props, framePointer, w, h, m_checkPixels);
    if (m_checkPixels != m_pixels) {
      ++m_stats.differences;
      m_pixels = m_checkPixels;  // one missed rectangle is counted once, not on every frame after it
    }
  }
  if (m_presentation == Presentation::Accelerated) showAccelerated(changed);
  else showSoftware(changed);
}

void Shell::showAccelerated(std::span<const ScreenRect> changed) {
  auto* texture = static_cast<SDL_Texture*>(m_texture);
  const int w = m_config.logicalWidth;
  for (const ScreenRect& r : changed) {
    const ScreenRect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, w),
                       std::min(r.bottom, m_config.logicalHeight)};
    if (c.empty()) continue;
    const SDL_Rect area{c.left, c.top, c.right - c.left, c.bottom - c.top};
    SDL_UpdateTexture(texture, &area, m_pixels.data() + size_t(c.top) * size_t(w) + size_t(c.left), w * 2);
  }
  redraw();
}

void Shell::showSoftware(std::span<const ScreenRect> changed) {
  if (refreshWindowPixels()) return;  // a new size: everything was drawn
  auto* surface = static_cast<SDL_Surface*>(m_surface);
  std::vector<SDL_Rect> areas;
  areas.reserve(changed.size());
  if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
  for (const ScreenRect& r : changed) {
    const ViewRect area = m_scaler.windowRect(r);
    if (area.w <= 0) continue;
    m_scaler.draw(m_pixels.data(), r, static_cast<uint8_t*>(surface->pixels), surface->pitch,
                  surface->format->BytesPerPixel, m_table);
    areas.push_back({area.x, area.y, area.w, area.h});
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  if (areas.empty()) return;
  if (SDL_UpdateWindowSurfaceRects(static_cast<SDL_Window*>(m_window), areas.data(), int(areas.size())) != 0) {
    // SDL gave the window new pixels in between (a size change not yet seen as an event).
    m_surface = nullptr;
    refreshWindowPixels();
    return;
  }
  ++m_stats.updates;
  if (m_config.checkPresent) checkSoftware();
}

bool Shell::refreshWindowPixels() {
  auto* window = static_cast<SDL_Window*>(m_window);
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) {
    m_surface = nullptr;
    return false;
  }
  if (surface == m_surface) return false;
  m_surface = surface;
  const SDL_PixelFormat* f = surface->format;
  if (m_table.empty() || m_tableFormat != f->format) {
    m_table.resize(65536);
    for (uint32_t v = 0; v < 65536; ++v) {
      uint8_t r, g, b;
      rgb565Channels(uint16_t(v), r, g, b);
      m_table[v] = SDL_MapRGB(f, r, g, b);
    }
    m_tableFormat = f->format;
  }
  m_scaler.setup(m_config.logicalWidth, m_config.logicalHeight,
                 letterbox(surface->w, surface->h, m_config.logicalWidth, m_config.logicalHeight,
                           m_config.integerScale ? ScaleSteps::Whole : ScaleSteps::Any));
  drawAllSoftware();
  return true;
}

void Shell::drawAllSoftware() {
  auto* surface = static_cast<SDL_Surface*>(m_surface);
  if (!surface) return;
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));  // the bars
  if (!m_pixels.empty()) {
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    m_scaler.draw(m_pixels.data(), ScreenRect{0, 0, m_config.logicalWidth, m_config.logicalHeight},
                  static_cast<uint8_t*>(surface->pixels), surface->pitch, surface->format->BytesPerPixel, m_table);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  }
  SDL_UpdateWindowSurface(static_cast<SDL_Window*>(m_window));
  ++m_stats.updates;
}

void Shell::checkSoftware() {
  auto* surface = static_cast<SDL_Surface*>(m_surface);
  const int bpp = surface->format->BytesPerPixel;
  const int row = surface->w * bpp;
  // The whole picture drawn afresh, bars and all, beside the window's own pixels.
  m_checkWindow.assign(size_t(surface->h) * size_t(row), 0);
  const uint32_t black = SDL_MapRGB(surface->format, 0, 0, 0);
  for (size_t i = 0; i < m_checkWindow.size(); i += size_t(bpp))
    for (int b = 0; b < bpp; ++b) m_checkWindow[i + size_t(b)] = uint8_t(black >> (8 * b));
  m_scaler.draw(m_pixels.data(), ScreenRect{0, 0, m_config.logicalWidth, m_config.logicalHeight},
                m_checkWindow.data(), row, bpp, m_table);
  const auto* pixels = static_cast<const uint8_t*>(surface->pixels);
  for (int y = 0; y < surface->h; ++y)
    if (std::memcmp(pixels + int64_t(y) * surface->pitch, m_checkWindow.data() + size_t(y) * size_t(row),
                    size_t(row)) != 0) {
      ++m_stats.differences;
      drawAllSoftware();  // counted once: the window is put right
      return;
    }
}

void Shell::redraw() {
  if (m_presentation == Presentation::Software) {
    if (!refreshWindowPixels() && m_surface) {
      // The same pixels, only uncovered or moved: sent again as they are.
      SDL_UpdateWindowSurface(static_cast<SDL_Window*>(m_window));
      ++m_stats.updates;
    }
    return;
  }
  if (m_presentation != Presentation::Accelerated) return;
  auto* renderer = static_cast<SDL_Renderer*>(m_renderer);
  ViewRect v = view(nullptr, nullptr);
  SDL_Rect dst{v.x, v.y, v.w, v.h};
  SDL_RenderClear(renderer);  // the bars
  if (!m_pixels.empty()) SDL_RenderCopy(renderer, static_cast<SDL_Texture*>(m_texture), nullptr, &dst);
  SDL_RenderPresent(renderer);
  ++m_stats.updates;
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
