#include "platform/device_status.h"

#include <dirent.h>
#include <sys/statvfs.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace platform {
namespace {

std::atomic<uint64_t> g_idleResets{0};

bool readSmallFile(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  char buf[256];
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  out.assign(buf, n);
  return n > 0;
}

/// MemTotal and MemAvailable from /proc/meminfo, in bytes.
bool memInfo(uint64_t& total, uint64_t& available) {
  FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return false;
  char line[256];
  total = available = 0;
  bool haveTotal = false, haveAvail = false;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long kb = 0;
    if (std::sscanf(line, "MemTotal: %llu kB", &kb) == 1) {
      total = kb * 1024;
      haveTotal = true;
    } else if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
      available = kb * 1024;
      haveAvail = true;
    }
  }
  std::fclose(f);
  return haveTotal && haveAvail && total > 0;
}

}  // namespace

int batteryPercent() {
  DIR* dir = opendir("/sys/class/power_supply");
  if (!dir) return 100;
  int percent = 100;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::string base = std::string("/sys/class/power_supply/") + e->d_name;
    std::string type, capacity;
    if (!readSmallFile(base + "/type", type) || type.compare(0, 7, "Battery") != 0) continue;
    if (!readSmallFile(base + "/capacity", capacity)) continue;
    int v = std::atoi(capacity.c_str());
    if (v >= 0 && v <= 100) {
      percent = v;
      break;
    }
  }
  closedir(dir);
  return percent;
}

uint64_t freeMemoryBytes() {
  uint64_t total, available;
  return memInfo(total, available) ? available : 0;
}

int memoryLoadPercent() {
  uint64_t total, available;
  if (!memInfo(total, available) || available > total) return 0;
  return static_cast<int>((total - available) * 100 / total);
}

uint64_t freeStorageBytes(std::string_view systemPath) {
  std::string host = hostPath(systemPath);
  if (host.empty()) host = ".";
  struct statvfs st {};
  // The path may name a file that does not exist yet: walk up to an existing folder.
  while (::statvfs(host.c_str(), &st) != 0) {
    auto slash = host.find_last_of('/');
    if (slash == std::string::npos || host == "/") return 0;
    host = slash == 0 ? "/" : host.substr(0, slash);
  }
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

void resetIdleTimer() { g_idleResets.fetch_add(1, std::memory_order_relaxed); }

uint64_t idleTimerResets() { return g_idleResets.load(std::memory_order_relaxed); }

}  // namespace platform
