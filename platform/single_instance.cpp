#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
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

/// The lock's name for a folder: FNV-1a of its real path, so that any path to it finds one lock
/// and the name stays short enough for a socket address.
std::string folderKey(const std::string& realPath) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : realPath) h = (h ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

/// The holder's record: "pid\nprogram\nfolder\n".
bool readOwner(int fd, SingleInstance::Owner& owner) {
  char buf[4096];
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  if (n <= 0) return false;
  buf[n] = 0;
  const char* p = buf;
  auto line = [&](std::string& out) {
    const char* end = std::strchr(p, '\n');
    if (!end) return false;
    out.assign(p, end);
    p = end + 1;
    return true;
  };
  std::string pid;
  if (!line(pid) || !line(owner.program) || !line(owner.folder)) return false;
  owner.pid = std::strtol(pid.c_str(), nullptr, 10);
  return owner.pid > 0;
}

}  // namespace

std::string SingleInstance::lockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/sorel";
  return "/tmp/sorel-" + std::to_string(::getuid());
}

std::string SingleInstance::realFolder(std::string_view folder) {
  std::string path(folder);
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;
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

SingleInstance::Result SingleInstance::acquire(std::string_view className, std::string_view folder,
                                               std::string_view program) {
  release();
  m_owner = Owner();
  const std::string real = realFolder(folder);
  const std::string lockDir = lockFolder();
  ::mkdir(lockDir.c_str(), 0700);
  const std::string base = lockDir + "/" + safeName(className) + "-" + folderKey(real);
  m_socketPath = base + ".sock";
  int fd = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::First;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // The running instance may still be starting: it writes its record and opens its socket just
    // after taking the lock. A few tries for each.
    for (int attempt = 0; attempt < 50 && !readOwner(fd, m_owner); ++attempt) sleepMs(10);
    ::close(fd);
    if (m_owner.folder.empty()) m_owner.folder = real;
    sockaddr_un addr;
    if (!fillAddress(m_socketPath, addr)) return Result::AnotherRuns;
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return Result::AnotherRuns;
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (::sendto(s, kRaise, sizeof kRaise - 1, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr) >= 0) break;
      sleepMs(10);
    }
    ::close(s);
    return Result::AnotherRuns;
  }
  m_lockFd = fd;
  // The record says who holds the lock. It is rewritten in place, not renamed: the lock belongs
  // to this very file.
  const std::string record = std::to_string(::getpid()) + "\n" + std::string(program) + "\n" + real + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, record.data(), record.size(), 0) != ssize_t(record.size())) {
    // The lock holds without its record; a second start then names only the folder.
  }
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
