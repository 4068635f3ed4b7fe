#pragma once
// Loadable modules (the decoder module among them): load by path, find entry points by name.
#include <string_view>

namespace platform {

class Module {
 public:
  Module() = default;
  ~Module();  ///< unloads
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  /// Loads the module at a system path (CP932, '\'). A relative path (a bare name, or one like
  /// "..\\lib\\x") is taken from the real folder of the running program, never from the current
  /// folder or the library path: the device's loader looks beside the program. When the first attempt
  /// fails it is tried once more with lazy symbol binding. Unloads any module loaded before.
  /// False when nothing could be loaded.
  bool load(std::string_view path);
  bool isLoaded() const { return m_handle != nullptr; }
  /// Address of the exported symbol, or null when absent or nothing is loaded.
  void* entry(const char* name) const;
  void unload();

 private:
  void* m_handle = nullptr;
};

}  // namespace platform
