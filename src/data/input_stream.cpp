#include "data/input_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "base/fatal.h"

namespace tevrol {

namespace {

constexpr size_t kRawBuffer = size_t{1} << 20;
constexpr const char* kNoMemory = "Not enough memory for this data set";
constexpr const char* kDamaged =
    "Could not read file: the compressed data is damaged or incomplete";

constexpr const char* kNoEndBlock =
    "Could not read file: it is bgzip-compressed but ends without the end-of-file block of bgzip, "
    "so it is truncated";

bool isGzipMagic(const unsigned char* bytes) {
  return bytes[0] == 0x1f && bytes[1] == 0x8b;
}

// A gzip header with bgzip's extra field first.
bool isBgzfHeader(const unsigned char* bytes, size_t size) {
  return size >= 14 && (bytes[3] & 4) != 0 && bytes[12] == 'B' && bytes[13] == 'C';
}

}  // namespace

InputStream::InputStream(const std::string& path) {
  const int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = fd < 0 || !S_ISDIR(info.st_mode) ? errno : EISDIR;
    if (fd >= 0) ::close(fd);
    fatalError("Could not open file",
               (path == "-" ? std::string("standard input") : path) + ": " + std::strerror(error));
  }
  fd_ = fd;
  if (S_ISREG(info.st_mode)) regularSize_ = static_cast<uint64_t>(info.st_size);
  raw_.reset(new unsigned char[kRawBuffer]);
}

InputStream::~InputStream() {
  if (inflaterReady_) ::inflateEnd(inflater_.get());
  if (fd_ >= 0) ::close(fd_);
}

int64_t InputStream::fail(const char* message) {
  failure_ = message;
  return -1;
}

bool InputStream::fillRaw(size_t want) {
  if (rawAt_ > 0 && rawEnd_ - rawAt_ < want) {
    std::memmove(raw_.get(), raw_.get() + rawAt_, rawEnd_ - rawAt_);
    rawEnd_ -= rawAt_;
    rawAt_ = 0;
  }
  while (!rawEnded_ && rawEnd_ - rawAt_ < want) {
    const ssize_t got = ::read(fd_, raw_.get() + rawEnd_, kRawBuffer - rawEnd_);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) rawEnded_ = true;
    rawEnd_ += static_cast<size_t>(got);
  }
  return true;
}

int64_t InputStream::read(char* buffer, size_t capacity) {
  if (!failure_.empty()) return -1;
  if (capacity == 0) return 0;
  if (form_ == Form::Unknown) {
    if (!fillRaw(2)) return fail("Could not read file");
    const bool compressed = rawEnd_ - rawAt_ >= 2 && isGzipMagic(raw_.get() + rawAt_);
    form_ = compressed ? Form::Compressed : Form::Plain;
  }
  return form_ == Form::Plain ? readPlain(buffer, capacity) : readCompressed(buffer, capacity);
}

// The bytes read to tell the form go first, then the input as it comes.
int64_t InputStream::readPlain(char* buffer, size_t capacity) {
  if (rawAt_ < rawEnd_) {
    const size_t n = std::min(capacity, rawEnd_ - rawAt_);
    std::memcpy(buffer, raw_.get() + rawAt_, n);
    rawAt_ += n;
    return static_cast<int64_t>(n);
  }
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, std::min<size_t>(capacity, SSIZE_MAX));
    if (got >= 0) return got;
    if (errno != EINTR) return fail("Could not read file");
  }
}

// After a member, the input ends or another member starts; ended tells
// which. False for anything else.
bool InputStream::startNextMember(bool& ended) {
  if (!fillRaw(14)) return fail("Could not read file"), false;
  const size_t left = rawEnd_ - rawAt_;
  ended = left == 0;
  // bgzip ends with an empty member: a stream cut between members lacks it.
  if (ended && bgzf_ && !lastMemberEmpty_) return fail(kNoEndBlock), false;
  if (ended) return true;
  if (left < 2 || !isGzipMagic(raw_.get() + rawAt_)) return fail(kDamaged), false;
  if (!inflaterReady_) {
    bgzf_ = isBgzfHeader(raw_.get() + rawAt_, left);
    // Reads may run on a thread of their own, where nothing may be thrown:
    // running out of memory is a failure like the others.
    inflater_.reset(new (std::nothrow) z_stream{});
    if (!inflater_) return fail(kNoMemory), false;
    // 16 + 15: a gzip wrapper and the largest window.
    if (::inflateInit2(inflater_.get(), 16 + 15) != Z_OK) return fail(kNoMemory), false;
    inflaterReady_ = true;
  } else if (::inflateReset(inflater_.get()) != Z_OK) {
    return fail(kDamaged), false;
  }
  member_ = Member::Inside;
  return true;
}

int64_t InputStream::readCompressed(char* buffer, size_t capacity) {
  size_t produced = 0;
  const size_t room = std::min<size_t>(capacity, UINT_MAX);
  while (produced == 0) {
    if (member_ == Member::Between) {
      bool ended = false;
      if (!startNextMember(ended)) return -1;
      if (ended) return 0;
    }
    if (rawAt_ == rawEnd_) {
      if (!fillRaw(1)) return fail("Could not read file");
      // The input ends inside a member.
      if (rawAt_ == rawEnd_) return fail(kDamaged);
    }
    z_stream& s = *inflater_.get();
    s.next_in = raw_.get() + rawAt_;
    s.avail_in = static_cast<unsigned>(rawEnd_ - rawAt_);
    s.next_out = reinterpret_cast<unsigned char*>(buffer);
    s.avail_out = static_cast<unsigned>(room);
    const int status = ::inflate(&s, Z_NO_FLUSH);
    rawAt_ = rawEnd_ - s.avail_in;
    produced = room - s.avail_out;
    if (status == Z_STREAM_END) {
      member_ = Member::Between;
      lastMemberEmpty_ = s.total_out == 0;
    } else if (status == Z_MEM_ERROR) {
      return fail(kNoMemory);
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      return fail(kDamaged);
    }
  }
  return static_cast<int64_t>(produced);
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
