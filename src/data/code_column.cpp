#include "data/code_column.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace tevrol {

void CodeColumn::prefaultRange(const void* start, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  static const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  // Whole pages inside the range only; older systems refuse the advice,
  // and the pages then come one fault at a time as before.
  const uintptr_t first = (reinterpret_cast<uintptr_t>(start) + page - 1) / page * page;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes) / page * page;
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
  (void)start;
  (void)bytes;
#endif
}

}  // namespace tevrol
