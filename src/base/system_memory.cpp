#include "base/system_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace tevrol {

namespace {

// The number in a limit file; UINT64_MAX for "max", a missing file or text.
uint64_t readLimit(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return UINT64_MAX;
  }
  try {
    return std::stoull(text);
  } catch (const std::exception&) {
    return UINT64_MAX;
  }
}

// The limit of a cgroup directory and of every directory above it up to
// base: a limit set on a parent binds its children too. Inside a container
// the path of /proc/self/cgroup may not exist below the mount, whose root is
// then the container's own group; base itself is always read.
uint64_t limitOnPath(const std::string& base, std::string path, const char* file) {
  uint64_t limit = readLimit(base + "/" + file);
  while (!path.empty() && path != "/") {
    limit = std::min(limit, readLimit(base + path + "/" + file));
    path.erase(path.find_last_of('/'));
  }
  return limit;
}

}  // namespace

uint64_t cgroupMemoryLimit(const std::string& procCgroup, const std::string& root) {
  uint64_t limit = UINT64_MAX;
  std::istringstream lines(procCgroup);
  std::string line;
  // Lines "id:controllers:path"; v2 has id 0 and no controllers.
  while (std::getline(lines, line)) {
    const size_t first = line.find(':');
    const size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (controllers.empty()) {
      limit = std::min(limit, limitOnPath(root, path, "memory.max"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      limit = std::min(limit, limitOnPath(root + "/memory", path, "memory.limit_in_bytes"));
    }
  }
  return limit;
}

uint64_t availableMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  uint64_t bytes = UINT64_MAX;
  if (pages > 0 && pageSize > 0) {
    bytes = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
  }
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<uint64_t>(limit.rlim_cur) < bytes) {
    bytes = static_cast<uint64_t>(limit.rlim_cur);
  }
  // Read once: the limit does not change during a run.
  static const uint64_t cgroup = [] {
    std::ifstream in("/proc/self/cgroup");
    std::stringstream text;
    text << in.rdbuf();
    return cgroupMemoryLimit(text.str(), "/sys/fs/cgroup");
  }();
  return std::min(bytes, cgroup);
}

uint64_t residentMemory() {
  std::ifstream statm("/proc/self/statm");
  uint64_t size = 0;
  uint64_t resident = 0;
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (!(statm >> size >> resident) || pageSize <= 0) return 0;
  return resident * static_cast<uint64_t>(pageSize);
}

}  // namespace tevrol
