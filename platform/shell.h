#pragma once
// The desktop shell around the emulated device: a window that shows the device's frame buffer
// turned back to landscape, and the keyboard and mouse turned into the device's key and pen
// messages. In headless runs there is no window at all; the same messages then come from an
// input script (platform/input_script.h) fed by the player.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.h"
#include "platform/gamepad.h"
#include "platform/letterbox.h"
#include "platform/messages.h"
#include "platform/screen_scaler.h"

namespace platform {

class SingleInstance;

/// How pen positions reach the engine.
enum class PenMapping {
  /// The Pocket PC: half the logical resolution, portrait. Logical (x, y) is reported as
  /// (y / 2, (W − 1 − x) / 2).
  HalfRotated,
  /// The handheld PC: logical coordinates as they are.
  Direct,
};

/// Device pen coordinates of a logical screen point (the inverse of the engine's conversion).
void logicalToPen(PenMapping mapping, int logicalWidth, int x, int y, int& penX, int& penY);

/// The device's buttons, as virtual-key codes, that the desktop keys stand for.
struct DeviceButtons {
  uint16_t a = 0;      ///< the Z key
  uint16_t b = 0;      ///< the X key
  uint16_t c = 0;      ///< the C key
  uint16_t start = 0;  ///< Enter: the centre press of the direction pad
};

struct ShellConfig {
  bool headless = false;
  int scale = 1;  ///< window pixels per logical pixel, 1..8 (the window's first size)
  bool fullscreen = false;    ///< start on the whole screen (Alt+Enter or F11 toggles)
  bool integerScale = false;  ///< show the screen only in whole-pixel steps
  int logicalWidth = 320;
  int logicalHeight = 240;
  PenMapping pen = PenMapping::Direct;
  DeviceButtons buttons;
  std::string titleUtf8;
  /// Check every window update against a whole redraw (tests; see Shell::stats).
  bool checkPresent = false;
};

/// How the window shows the screen, chosen when it opens.
enum class Presentation {
  None,         ///< no window (headless)
  Accelerated,  ///< a renderer on a graphics processor scales a texture of the logical screen
  Software,     ///< the window's own pixels, scaled here, only the changed rectangles sent
};

/// What the window did (for the check of tests and measurements).
struct ShowStats {
  uint64_t updates = 0;      ///< window updates: shows that changed something, redraws
  uint64_t differences = 0;  ///< checked updates whose picture differed from a whole redraw
};

class Shell {
 public:
  Shell() = default;
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  /// Connects to the display, without a window yet; open does it too. False with a one-line
  /// reason when there is none: SDL's invisible drivers (offscreen, dummy) are taken only when
  /// SDL_VIDEODRIVER names them, so that a player started without a display says so instead of
  /// running unseen.
  bool connect(std::string& why);
  /// Opens the desktop window (nothing in headless runs). False with a reason when no window
  /// could be made. The screen is shown through an accelerated renderer when the system has a
  /// graphics processor, else in software; SOREL_RENDERER=software or =accelerated decides.
  bool open(const ShellConfig& config, std::string& why);
  /// Desktop events from now on become messages posted to this window.
  void attach(Hwnd hwnd) { m_hwnd = hwnd; }
  bool headless() const { return m_config.headless; }
  const ShellConfig& config() const { return m_config; }

  /// Turns waiting desktop events into messages: keys → WM_KEYDOWN/WM_KEYUP (auto-repeat gives
  /// repeated key-downs), the left mouse button → pen messages in device coordinates, gamepad
  /// buttons (pads may come and go at any time) → WM_PADBUTTONDOWN/WM_PADBUTTONUP, closing the
  /// window → WM_CLOSE. Alt+Enter and F11 switch between window and full screen. Cheap when
  /// nothing happened.
  void pumpEvents();
  /// Shows the logical screen read from the device's frame buffer, as large as the window allows
  /// with black bars (platform/letterbox.h). Only the changed logical rectangles are read,
  /// converted and sent to the window; nothing at all happens when none changed.
  void show(const DisplayProperties& props, const uint8_t* framePointer, std::span<const ScreenRect> changed);
  Presentation presentation() const { return m_presentation; }
  const ShowStats& stats() const { return m_stats; }
  void setFullscreen(bool on);
  bool fullscreen() const;
  /// Brings the window to the front (another instance asked for it).
  void raise();
  void setTitle(const std::string& utf8);
  void close();

  /// The virtual-key code a desktop key stands for (SDL key code), 0 when none.
  uint16_t virtualKeyFor(int32_t sdlKey) const;
  /// The same for the key names of input scripts (up, down, left, right, z, x, c, enter, d, e).
  uint16_t virtualKeyForName(std::string_view name) const;
  /// Requests from other instances to come to the front are answered while events are pumped.
  void watchInstance(SingleInstance* instance) { m_instance = instance; }

 private:
  /// Posts a pen message for a mouse position in window coordinates; false (nothing posted)
  /// when a press lands on a bar beside the picture.
  bool postPen(uint32_t message, int windowX, int windowY, bool pressOnly);
  /// The picture's place in the window's drawable pixels, and the window-to-drawable ratio.
  ViewRect view(double* pixelsPerPointX, double* pixelsPerPointY) const;
  /// Shows the whole picture again (a new window size, full screen).
  void redraw();
  bool openAccelerated(bool anyRenderer);
  bool openSoftware();
  /// Software: takes the window's pixels again when SDL replaced them (a new size) and then
  /// draws everything; true when it did.
  bool refreshWindowPixels();
  void drawAllSoftware();
  void showAccelerated(std::span<const ScreenRect> changed);
  void showSoftware(std::span<const ScreenRect> changed);
  /// The check of ShellConfig::checkPresent: the window's pixels against a whole redraw.
  void checkSoftware();
  void padAdded(int deviceIndex);
  void padRemoved(int32_t instanceId);
  /// Posts a pad message when the button's state of that pad changes.
  void setPadButton(int32_t instanceId, PadButton button, bool down);
  void padAxis(int32_t instanceId, int axis, int value);

  struct WindowPlace {
    int x = 0, y = 0, w = 0, h = 0;
  };
  struct Pad {
    void* controller = nullptr;  // SDL_GameController
    int32_t id = -1;             // SDL joystick instance id
    uint32_t held = 0;           // bit per PadButton
  };

  ShellConfig m_config;
  Hwnd m_hwnd = nullptr;
  void* m_window = nullptr;    // SDL_Window
  void* m_renderer = nullptr;  // SDL_Renderer (accelerated)
  void* m_texture = nullptr;   // SDL_Texture (accelerated)
  void* m_surface = nullptr;   // SDL_Surface: the window's pixels (software), owned by SDL
  bool m_videoOpen = false;
  Presentation m_presentation = Presentation::None;
  ScreenScaler m_scaler;       // software: the picture's place in the window's pixels
  PixelTable m_table;          // software: RGB565 → the window's pixel format
  uint32_t m_tableFormat = 0;
  ShowStats m_stats;
  bool m_penDown = false;
  WindowPlace m_windowed;        // the window's place before it went full screen
  bool m_swallowEnterUp = false;  // the Enter of Alt+Enter never reaches the device
  bool m_padsOpen = false;
  std::vector<Pad> m_pads;
  SingleInstance* m_instance = nullptr;
  uint32_t m_lastPump = 0;
  uint32_t m_lastInstanceCheck = 0;
  std::vector<uint16_t> m_pixels;  // the logical screen as last shown (RGB565, rows top-down)
  std::vector<uint16_t> m_checkPixels;
  std::vector<uint8_t> m_checkWindow;
};

/// Shows a message to the user: a message box in a window, or a line on stderr in headless
/// runs (and always on stderr as well). Text and caption are CP932.
void showMessageBox(std::string_view text, std::string_view caption, bool headless);

}  // namespace platform
