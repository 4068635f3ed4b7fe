#include "platform/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/files.h"

namespace platform {
namespace {

/// Folder of the running executable with a trailing '/', or empty.
std::string programFolderHost() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string path(buf.data(), static_cast<size_t>(n));
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

Module::~Module() { unload(); }

bool Module::load(std::string_view path) {
  unload();
  std::string host = hostPath(path);
  if (host.empty()) return false;
  // dlopen would search the library path for a bare name and the current folder for a relative
  // path; the device looks beside the program.
  if (host.front() != '/') {
    const std::string folder = programFolderHost();
    if (folder.empty()) return false;
    host = folder + host;
  }
  m_handle = ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_handle) m_handle = ::dlopen(host.c_str(), RTLD_LAZY | RTLD_LOCAL);
  return m_handle != nullptr;
}

void* Module::entry(const char* name) const {
  if (!m_handle || !name) return nullptr;
  return ::dlsym(m_handle, name);
}

void Module::unload() {
  if (m_handle) ::dlclose(m_handle);
  m_handle = nullptr;
}

}  // namespace platform
