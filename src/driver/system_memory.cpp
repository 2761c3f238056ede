#include "driver/system_memory.h"

#include <sys/resource.h>
#include <unistd.h>

namespace tevrol {

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
  return bytes;
}

}  // namespace tevrol
