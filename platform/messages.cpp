#include "platform/messages.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

namespace platform {

struct WindowRecord {
  std::string className;
  std::string caption;
  WindowProc proc = nullptr;
  void* userData = nullptr;
  bool paintPending = false;
};

namespace {

struct WindowClass {
  std::string name;
  WindowProc proc;
};

// Process-wide by design: the engine has one thread of windows, like the device, and its one
// message queue belongs to that thread.
struct Windowing {
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<WindowRecord>> windows;
  std::deque<Message> queue;
};

Windowing& state() {
  static Windowing w;
  return w;
}

bool live(Hwnd hwnd) {
  if (!hwnd) return false;
  for (const auto& w : state().windows)
    if (w.get() == hwnd) return true;
  return false;
}

}  // namespace

bool registerClass(std::string_view className, WindowProc proc) {
  if (className.empty() || !proc) return false;
  for (const auto& c : state().classes)
    if (c.name == className) return false;
  state().classes.push_back({std::string(className), proc});
  return true;
}

void resetWindowing() {
  state().classes.clear();
  state().windows.clear();
  state().queue.clear();
}

Hwnd createWindow(std::string_view className, std::string_view caption, int, int, int, int) {
  WindowProc proc = nullptr;
  for (const auto& c : state().classes)
    if (c.name == className) proc = c.proc;
  if (!proc) return nullptr;
  auto record = std::make_unique<WindowRecord>();
  record->className = std::string(className);
  record->caption = std::string(caption);
  record->proc = proc;
  Hwnd hwnd = record.get();
  state().windows.push_back(std::move(record));
  proc(hwnd, WM_CREATE, 0, 0);
  return hwnd;
}

bool destroyWindow(Hwnd hwnd) {
  if (!live(hwnd)) return false;
  hwnd->proc(hwnd, WM_DESTROY, 0, 0);
  auto& q = state().queue;
  q.erase(std::remove_if(q.begin(), q.end(), [hwnd](const Message& m) { return m.hwnd == hwnd; }),
          q.end());
  auto& ws = state().windows;
  ws.erase(std::remove_if(ws.begin(), ws.end(), [hwnd](const auto& w) { return w.get() == hwnd; }),
           ws.end());
  return true;
}

bool isWindow(Hwnd hwnd) { return live(hwnd); }

Hwnd findWindow(std::string_view className) {
  for (const auto& w : state().windows)
    if (w->className == className) return w.get();
  return nullptr;
}

void setWindowText(Hwnd hwnd, std::string_view caption) {
  if (live(hwnd)) hwnd->caption = std::string(caption);
}

std::string windowText(Hwnd hwnd) { return live(hwnd) ? hwnd->caption : std::string(); }

void setWindowUserData(Hwnd hwnd, void* data) {
  if (live(hwnd)) hwnd->userData = data;
}

void* windowUserData(Hwnd hwnd) { return live(hwnd) ? hwnd->userData : nullptr; }

LResult sendMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
  if (!live(hwnd)) return 0;
  return hwnd->proc(hwnd, message, wParam, lParam);
}

bool postMessage(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
  if (hwnd && !live(hwnd)) return false;
  state().queue.push_back({hwnd, message, wParam, lParam});
  return true;
}

void postQuitMessage(int exitCode) {
  state().queue.push_back({nullptr, WM_QUIT, static_cast<WParam>(exitCode), 0});
}

bool peekMessage(Message& out, bool remove) {
  auto& q = state().queue;
  if (q.empty()) return false;
  out = q.front();
  if (remove) {
    q.pop_front();
    if (out.message == WM_PAINT && live(out.hwnd)) out.hwnd->paintPending = false;
  }
  return true;
}

LResult dispatchMessage(const Message& msg) {
  if (!msg.hwnd || !live(msg.hwnd)) return 0;
  return msg.hwnd->proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

size_t queuedMessages() { return state().queue.size(); }

LResult defWindowProc(Hwnd hwnd, uint32_t message, WParam, LParam) {
  if (message == WM_CLOSE) destroyWindow(hwnd);
  return 0;
}

void invalidateWindow(Hwnd hwnd) {
  if (!live(hwnd) || hwnd->paintPending) return;
  hwnd->paintPending = true;
  state().queue.push_back({hwnd, WM_PAINT, 0, 0});
}

}  // namespace platform
