#pragma once
// Windows and their message queue, as far as the engine uses them: one thread, window classes
// with a window procedure, a posted-message queue with peek and dispatch, and synchronous
// sends. The desktop shell (platform/shell.h) feeds keyboard, mouse and close requests into the
// same queue, so the engine sees exactly the messages the device would give it.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct WindowRecord;
/// A window handle; null means no window.
using Hwnd = WindowRecord*;
using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;
using WindowProc = LResult (*)(Hwnd, uint32_t message, WParam, LParam);

// Message numbers the engine handles (the device's values).
constexpr uint32_t WM_NULL = 0x0000;
constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_ACTIVATE = 0x0006;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_ERASEBKGND = 0x0014;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;

// Virtual-key codes the engine and the shell use.
constexpr uint16_t VK_BACK = 0x08;
constexpr uint16_t VK_TAB = 0x09;
constexpr uint16_t VK_RETURN = 0x0D;
constexpr uint16_t VK_SHIFT = 0x10;
constexpr uint16_t VK_CONTROL = 0x11;
constexpr uint16_t VK_ESCAPE = 0x1B;
constexpr uint16_t VK_SPACE = 0x20;
constexpr uint16_t VK_LEFT = 0x25;
constexpr uint16_t VK_UP = 0x26;
constexpr uint16_t VK_RIGHT = 0x27;
constexpr uint16_t VK_DOWN = 0x28;
/// The application buttons of a Pocket PC (its A, B, C hardware keys).
constexpr uint16_t VK_APP1 = 0xC1;
constexpr uint16_t VK_APP2 = 0xC2;
constexpr uint16_t VK_APP3 = 0xC3;

/// lParam of the pen messages: x in the low 16 bits, y in the high 16 bits, each signed.
constexpr LParam makePointParam(int x, int y) {
  return static_cast<LParam>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                             static_cast<uint16_t>(x));
}
constexpr int pointX(LParam l) { return static_cast<int16_t>(static_cast<uint32_t>(l) & 0xFFFF); }
constexpr int pointY(LParam l) {
  return static_cast<int16_t>((static_cast<uint32_t>(l) >> 16) & 0xFFFF);
}

struct Message {
  Hwnd hwnd = nullptr;
  uint32_t message = WM_NULL;
  WParam wParam = 0;
  LParam lParam = 0;
};

/// Registers a window class for this process. False when the name is empty, the procedure is
/// null or the class already exists.
bool registerClass(std::string_view className, WindowProc proc);
/// Forgets every class, window and queued message of this process (tests).
void resetWindowing();

/// Creates a window of a registered class and sends it WM_CREATE before returning. The caption
/// is CP932. Null when the class is unknown.
Hwnd createWindow(std::string_view className, std::string_view caption, int x, int y, int width,
                  int height);
/// Sends WM_DESTROY, then forgets the window; messages still queued for it are dropped.
bool destroyWindow(Hwnd hwnd);
bool isWindow(Hwnd hwnd);
/// The first live window of that class in this process, or null.
Hwnd findWindow(std::string_view className);

void setWindowText(Hwnd hwnd, std::string_view caption);
std::string windowText(Hwnd hwnd);
/// The per-window user-data slot (the window's routing record).
void setWindowUserData(Hwnd hwnd, void* data);
void* windowUserData(Hwnd hwnd);

/// Calls the window's procedure at once.
LResult sendMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);
/// Queues a message; false when the window does not exist (hwnd null posts a thread message).
bool postMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);
/// Queues WM_QUIT with the exit code.
void postQuitMessage(int exitCode);
/// The oldest queued message; with remove it leaves the queue. False when the queue is empty.
bool peekMessage(Message& out, bool remove);
/// Hands a message to its window's procedure; 0 for thread messages and vanished windows.
LResult dispatchMessage(const Message& msg);
/// Number of queued messages.
size_t queuedMessages();

/// The default handling: WM_CLOSE destroys the window, everything else returns 0.
LResult defWindowProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);

/// Marks the window's content as out of date: a WM_PAINT is queued unless one is pending.
void invalidateWindow(Hwnd hwnd);

}  // namespace platform
