#include "data/byte_reader.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tevrol {

ReadResult readAll(int fd, std::string& out, uint64_t limit, size_t chunkSize) {
  std::vector<char> chunk(chunkSize > 0 ? chunkSize : 1);
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got > 0) {
      if (out.size() + static_cast<uint64_t>(got) > limit) return ReadResult::TooLarge;
      out.append(chunk.data(), static_cast<size_t>(got));
    } else if (got == 0) {
      return ReadResult::Complete;
    } else if (errno != EINTR) {
      return ReadResult::Failed;
    }
  }
}

}  // namespace tevrol
