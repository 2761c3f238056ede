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

int64_t InputStream::read(char* buffer, size_t capacity) {
  const unsigned want = static_cast<unsigned>(std::min<size_t>(capacity, INT_MAX));
  const int got = ::gzread(handle(file_), buffer, want);
  int status = Z_OK;
  ::gzerror(handle(file_), &status);
  // A stream that ends inside a compressed member reports Z_BUF_ERROR.
  if (got < 0 || (status != Z_OK && status != Z_STREAM_END)) {
    failure_ = status == Z_ERRNO || (got < 0 && status == Z_OK)
                   ? "Could not read file"
                   : "Could not read file: the compressed data is damaged or incomplete";
    return -1;
  }
  return got;
}

BlockReader::BlockReader(InputStream& input, size_t blockBytes)
    : input_(input), blockBytes_(blockBytes) {
  for (Slot& slot : slots_) slot.bytes.reset(new char[blockBytes_]);
  try {
    worker_ = std::thread([this] { fill(); });
  } catch (const std::exception&) {
    // No thread to be had: next() reads each block itself.
  }
}

BlockReader::~BlockReader() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

// The worker: fills the slots in turn, each once next() has given it back,
// until the input ends or fails.
void BlockReader::fill() {
  for (int s = 0;; s = 1 - s) {
    Slot& slot = slots_[s];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || !slot.full; });
      if (stop_) return;
    }
    const int64_t size = input_.read(slot.bytes.get(), blockBytes_);
    // Asked here: the stream is this thread's while it runs.
    const uint64_t plainSize = input_.plainSize();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      slot.size = size;
      slot.plainSize = plainSize;
      slot.full = true;
    }
    changed_.notify_all();
    if (size <= 0) return;
  }
}

const char* BlockReader::next(size_t& size) {
  Slot& slot = slots_[next_];
  if (worker_.joinable()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ >= 0) slots_[taken_].full = false;
    changed_.notify_all();
    changed_.wait(lock, [&] { return slot.full; });
  } else {
    slot.size = input_.read(slot.bytes.get(), blockBytes_);
    slot.plainSize = input_.plainSize();
  }
  if (slot.size < 0) fatalError(input_.failure());
  taken_ = next_;
  next_ = 1 - next_;
  size = static_cast<size_t>(slot.size);
  return slot.bytes.get();
}

}  // namespace tevrol
