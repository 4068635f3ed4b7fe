#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace platform {
namespace {

constexpr char kRaise[] = "raise";

bool fillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

std::string safeName(std::string_view className) {
  std::string s;
  for (char c : className)
    s += (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') ? c : '_';
  return s.empty() ? std::string("window") : s;
}

}  // namespace

std::string SingleInstance::lockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/sorel";
  return "/tmp/sorel-" + std::to_string(::getuid());
}

SingleInstance::~SingleInstance() { release(); }

void SingleInstance::release() {
  if (m_socketFd >= 0) {
    ::close(m_socketFd);
    ::unlink(m_socketPath.c_str());
    m_socketFd = -1;
  }
  if (m_lockFd >= 0) {
    ::close(m_lockFd);  // closing drops the flock
    m_lockFd = -1;
  }
}

SingleInstance::Result SingleInstance::acquire(std::string_view className) {
  release();
  std::string folder = lockFolder();
  ::mkdir(folder.c_str(), 0700);
  std::string base = folder + "/" + safeName(className);
  m_socketPath = base + ".sock";
  int fd = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::First;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    // The running instance may still be starting and not yet listening: a few tries.
    sockaddr_un addr;
    if (!fillAddress(m_socketPath, addr)) return Result::AnotherRuns;
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return Result::AnotherRuns;
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (::sendto(s, kRaise, sizeof kRaise - 1, 0, reinterpret_cast<sockaddr*>(&addr),
                   sizeof addr) >= 0)
        break;
      sleepMs(10);
    }
    ::close(s);
    return Result::AnotherRuns;
  }
  m_lockFd = fd;
  sockaddr_un addr;
  if (fillAddress(m_socketPath, addr)) {
    // Holding the lock, any socket file left by a crashed instance is stale.
    ::unlink(m_socketPath.c_str());
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      m_socketFd = s;
    } else if (s >= 0) {
      ::close(s);
    }
  }
  return Result::First;
}

bool SingleInstance::raiseRequested() {
  if (m_socketFd < 0) return false;
  bool asked = false;
  char buf[16];
  while (::recv(m_socketFd, buf, sizeof buf, MSG_DONTWAIT) > 0) asked = true;
  return asked;
}

}  // namespace platform
