#include "data/input_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "base/fatal.h"

namespace tevrol {

namespace {

constexpr unsigned kZlibBuffer = 1u << 20;

gzFile handle(void* file) {
  return static_cast<gzFile>(file);
}

}  // namespace

InputStream::InputStream(const std::string& path) {
  // Standard input is read through a copy of its descriptor, which zlib closes.
  const int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    fatalError("Could not open file");
  }
  // zlib passes input that is not gzip through unchanged.
  gzFile file = ::gzdopen(fd, "rb");
  if (file == nullptr) {
    ::close(fd);
    fatalError("Could not open file");
  }
  ::gzbuffer(file, kZlibBuffer);
  file_ = file;
  if (S_ISREG(info.st_mode)) regularSize_ = static_cast<uint64_t>(info.st_size);
}

InputStream::~InputStream() {
  if (file_ != nullptr) ::gzclose(handle(file_));
}

uint64_t InputStream::plainSize() const {
  return ::gzdirect(handle(file_)) == 1 ? regularSize_ : 0;
}

size_t InputStream::read(char* buffer, size_t capacity) {
  const unsigned want = static_cast<unsigned>(std::min<size_t>(capacity, INT_MAX));
  const int got = ::gzread(handle(file_), buffer, want);
  int status = Z_OK;
  ::gzerror(handle(file_), &status);
  // A stream that ends inside a compressed member reports Z_BUF_ERROR.
  if (got < 0 || (status != Z_OK && status != Z_STREAM_END)) {
    if (status == Z_ERRNO || (got < 0 && status == Z_OK)) fatalError("Could not read file");
    fatalError("Could not read file: the compressed data is damaged or incomplete");
  }
  return static_cast<size_t>(got);
}

}  // namespace tevrol
