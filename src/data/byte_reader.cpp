#include "data/byte_reader.h"

#include <unistd.h>

#include <cerrno>

namespace tevrol {

ByteReader::ByteReader(int fd, size_t bufferSize)
    : fd_(fd), buffer_(bufferSize > 0 ? bufferSize : 1) {}

ByteReader::ByteReader(const std::string& memory)
    : pos_(memory.data()), end_(memory.data() + memory.size()) {}

bool ByteReader::refill() {
  if (fd_ < 0 || failed_) return false;
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got > 0) {
      pos_ = buffer_.data();
      end_ = pos_ + got;
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed_ = true;
    fd_ = -1;  // at the end once, at the end for good
    return false;
  }
}

ReadResult readAll(int fd, std::string& out, uint64_t limit) {
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      if (out.size() + static_cast<uint64_t>(got) > limit) return ReadResult::TooLarge;
      out.append(chunk, static_cast<size_t>(got));
    } else if (got == 0) {
      return ReadResult::Complete;
    } else if (errno != EINTR) {
      return ReadResult::Failed;
    }
  }
}

}  // namespace tevrol
