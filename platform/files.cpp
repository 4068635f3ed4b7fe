#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace platform {

std::string userDataFolder() {
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/sorel";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.local/share/sorel";
  return "sorel";
}


std::string hostPath(std::string_view path) {
  auto utf8 = cp932ToUtf8(path);
  if (!utf8) return {};
  // After conversion a byte 0x5C can only be the backslash itself: trail bytes of double-byte
  // characters have become multi-byte UTF-8 sequences.
  std::replace(utf8->begin(), utf8->end(), '\\', '/');
  return *utf8;
}

std::optional<std::string> systemPath(std::string_view host) {
  std::string s(host);
  std::replace(s.begin(), s.end(), '/', '\\');
  return utf8ToCp932(s);
}

namespace {

bool statPath(std::string_view path, struct stat& st) {
  std::string host = hostPath(path);
  return !host.empty() && ::stat(host.c_str(), &st) == 0;
}

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

bool seekTo(int fd, int origin, int64_t offset) {
  int whence;
  switch (origin) {
    case kSeekStart: whence = SEEK_SET; break;
    case kSeekCurrent: whence = SEEK_CUR; break;
    case kSeekEnd: whence = SEEK_END; break;
    default: return true;
  }
  return ::lseek(fd, offset, whence) >= 0;
}

bool writeAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

size_t readAll(int fd, uint8_t* p, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(fd, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

/// The entry of host folder `folder` whose name matches `name` without regard to ASCII case;
/// empty when none does.
std::string matchInFolder(const std::string& folder, std::string_view name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string best;
  while (dirent* e = ::readdir(dir)) {
    std::string_view n = e->d_name;
    if (sameIgnoringAsciiCase(n, name) && (best.empty() || n < best)) best = std::string(n);
  }
  ::closedir(dir);
  return best;
}

}  // namespace

std::string existingPath(std::string_view path) {
  const std::string host = hostPath(path);
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) == 0) return std::string(path);
  // Walk the parts: each that exists as written is kept, each that does not is looked up in
  // the folder found so far.
  std::string found = host.front() == '/' ? "/" : "";
  size_t at = found.size();
  while (at <= host.size()) {
    size_t end = host.find('/', at);
    if (end == std::string::npos) end = host.size();
    const std::string_view part = std::string_view(host).substr(at, end - at);
    if (!part.empty()) {
      std::string next = found + std::string(part);
      if (::lstat(next.c_str(), &st) != 0) {
        const std::string match = matchInFolder(found, part);
        if (match.empty()) return std::string(path);
        next = found + match;
      }
      found = std::move(next);
      if (end < host.size()) found += '/';
    }
    at = end + 1;
  }
  auto system = systemPath(found);
  return system ? *system : std::string(path);
}

int64_t fileSize(std::string_view path) {
  struct stat st;
  if (!statPath(path, st) || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool fileExists(std::string_view path) {
  struct stat st;
  return statPath(path, st);
}

bool isFolder(std::string_view path) {
  struct stat st;
  return statPath(path, st) && S_ISDIR(st.st_mode);
}

size_t readAt(std::string_view path, void* buffer, int origin, int64_t offset, size_t length) {
  std::string host = hostPath(path);
  if (host.empty()) return 0;
  Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 || !seekTo(fd.get(), origin, offset)) return 0;
  return readAll(fd.get(), static_cast<uint8_t*>(buffer), length);
}

size_t writeAt(std::string_view path, const void* buffer, int origin, int64_t offset,
               size_t length, bool createNew) {
  std::string host = hostPath(path);
  if (host.empty()) return 0;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (createNew ? O_TRUNC : 0);
  Fd fd(::open(host.c_str(), flags, 0644));
  if (fd.get() < 0 || !seekTo(fd.get(), origin, offset)) return 0;
  return writeAll(fd.get(), static_cast<const uint8_t*>(buffer), length) ? length : 0;
}

std::optional<std::vector<uint8_t>> readWholeFile(std::string_view path, size_t extra) {
  std::string host = hostPath(path);
  if (host.empty()) return std::nullopt;
  Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size) + extra, 0);
  size_t got = readAll(fd.get(), bytes.data(), static_cast<size_t>(st.st_size));
  if (got != static_cast<size_t>(st.st_size)) return std::nullopt;
  return bytes;
}

bool writeWholeFile(std::string_view path, std::span<const uint8_t> bytes, bool durable) {
  OutputFile out;
  if (!out.create(path) || !out.write(bytes.data(), bytes.size())) return false;
  return out.commit(durable);
}

bool createFolder(std::string_view path) {
  std::string host = hostPath(path);
  if (host.empty()) return false;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (::mkdir(host.c_str(), 0755) == 0) return true;
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createFolders(std::string_view path) {
  std::string host = hostPath(path);
  if (host.empty()) return false;
  for (size_t i = 1; i <= host.size(); ++i) {
    if (i == host.size() || host[i] == '/') {
      std::string part = host.substr(0, i);
      struct stat st;
      if (::stat(part.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return false;
        continue;
      }
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

std::vector<std::string> listFolder(std::string_view path) {
  std::vector<std::string> names;
  std::string host = hostPath(path);
  if (host.empty()) return names;
  DIR* dir = ::opendir(host.c_str());
  if (!dir) return names;
  while (dirent* e = ::readdir(dir)) {
    std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    if (auto s = utf8ToCp932(n)) names.push_back(std::move(*s));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool removeFile(std::string_view path) {
  std::string host = hostPath(path);
  if (host.empty()) return false;
  return ::unlink(host.c_str()) == 0 || errno == ENOENT;
}

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::create(std::string_view path) {
  abandon();
  m_final = hostPath(path);
  if (m_final.empty()) return false;
  m_temp = m_final + ".part";
  m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  m_failed = m_fd < 0;
  m_size = 0;
  return m_fd >= 0;
}

bool OutputFile::write(const void* bytes, size_t length) {
  if (!ok()) return false;
  if (::lseek(m_fd, 0, SEEK_END) < 0 ||
      !writeAll(m_fd, static_cast<const uint8_t*>(bytes), length)) {
    m_failed = true;
    return false;
  }
  m_size += length;
  return true;
}

bool OutputFile::writeAt(uint64_t offset, const void* bytes, size_t length) {
  if (!ok()) return false;
  if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0 ||
      !writeAll(m_fd, static_cast<const uint8_t*>(bytes), length)) {
    m_failed = true;
    return false;
  }
  m_size = std::max<uint64_t>(m_size, offset + length);
  return true;
}

bool OutputFile::commit(bool durable) {
  if (m_fd < 0) return false;
  bool good = !m_failed && (!durable || ::fsync(m_fd) == 0);
  good = (::close(m_fd) == 0) && good;
  m_fd = -1;
  if (good && ::rename(m_temp.c_str(), m_final.c_str()) == 0) {
    m_temp.clear();
    return true;
  }
  ::unlink(m_temp.c_str());
  m_temp.clear();
  return false;
}

void OutputFile::abandon() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  if (!m_temp.empty()) {
    ::unlink(m_temp.c_str());
    m_temp.clear();
  }
}

}  // namespace platform
