#include "data/code_column.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

namespace tevrol {

namespace {

void prefaultRange(const void* start, size_t bytes) {
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

// The room a column starts with when codes are pushed without a reserve.
constexpr size_t kFirstRows = 16;

}  // namespace

CodeColumn::~CodeColumn() {
  std::free(codes_);
}

CodeColumn::CodeColumn(CodeColumn&& other) noexcept
    : codes_(other.codes_), size_(other.size_), capacity_(other.capacity_), width_(other.width_) {
  other.codes_ = nullptr;
  other.size_ = 0;
  other.capacity_ = 0;
  other.width_ = 1;
}

CodeColumn& CodeColumn::operator=(CodeColumn&& other) noexcept {
  std::swap(codes_, other.codes_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(width_, other.width_);
  return *this;
}

void CodeColumn::recode(const uint32_t* newCode) {
  if (width_ == 1) {
    for (size_t r = 0; r < size_; ++r) codes_[r] = static_cast<uint8_t>(newCode[codes_[r]]);
  } else if (width_ == 2) {
    auto* codes = reinterpret_cast<uint16_t*>(codes_);
    for (size_t r = 0; r < size_; ++r) codes[r] = static_cast<uint16_t>(newCode[codes[r]]);
  } else {
    auto* codes = reinterpret_cast<uint32_t*>(codes_);
    for (size_t r = 0; r < size_; ++r) codes[r] = newCode[codes[r]];
  }
}

void CodeColumn::reserve(size_t rows) {
  rows = std::min<size_t>(rows, std::numeric_limits<uint32_t>::max());
  if (rows > capacity_) relocate(rows, width_);
}

void CodeColumn::prefault() {
  const size_t width = static_cast<size_t>(width_);
  prefaultRange(codes_ + size_ * width, (capacity_ - size_) * width);
}

void CodeColumn::pushSlow(uint32_t code) {
  const int width = std::max(width_, widthFor(code));
  if (size_ == capacity_) {
    relocate(std::max<size_t>(kFirstRows, 2 * static_cast<size_t>(capacity_)), width);
  } else if (width != width_) {
    relocate(capacity_, width);
  }
  if (width_ == 1) {
    codes_[size_] = static_cast<uint8_t>(code);
  } else if (width_ == 2) {
    reinterpret_cast<uint16_t*>(codes_)[size_] = static_cast<uint16_t>(code);
  } else {
    reinterpret_cast<uint32_t*>(codes_)[size_] = code;
  }
  ++size_;
}

void CodeColumn::relocate(size_t rows, int width) {
  rows = std::min<size_t>(rows, std::numeric_limits<uint32_t>::max());
  const size_t bytes = rows * static_cast<size_t>(width);
  if (width == width_) {
    // The system may move a large block's pages instead of copying them.
    void* grown = std::realloc(codes_, std::max<size_t>(bytes, 1));
    if (grown == nullptr) throw std::bad_alloc();
    codes_ = static_cast<uint8_t*>(grown);
  } else {
    // A column widens at most twice: a fresh block, each code copied.
    auto* wider = static_cast<uint8_t*>(std::malloc(std::max<size_t>(bytes, 1)));
    if (wider == nullptr) throw std::bad_alloc();
    for (size_t r = 0; r < size_; ++r) {
      const uint32_t code = at(r);
      if (width == 2) {
        reinterpret_cast<uint16_t*>(wider)[r] = static_cast<uint16_t>(code);
      } else {
        reinterpret_cast<uint32_t*>(wider)[r] = code;
      }
    }
    std::free(codes_);
    codes_ = wider;
    width_ = width;
  }
  capacity_ = static_cast<uint32_t>(rows);
}

}  // namespace tevrol
