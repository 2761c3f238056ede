#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tevrol {

// The codes of one column: for every data row, the index of its text among
// the column's distinct texts. A column is 1 byte a row while it has at most
// 256 texts, 2 bytes up to 65,536 and 4 beyond; exactly one of the three
// vectors is in use.
class CodeColumn {
 public:
  int width() const { return width_; }
  size_t size() const {
    if (width_ == 1) return narrow_.size();
    if (width_ == 2) return middle_.size();
    return wide_.size();
  }

  uint32_t at(size_t r) const {
    if (width_ == 1) return narrow_[r];
    if (width_ == 2) return middle_[r];
    return wide_[r];
  }

  const uint8_t* narrow() const { return narrow_.data(); }
  const uint16_t* middle() const { return middle_.data(); }
  const uint32_t* wide() const { return wide_.data(); }

  // Appends a code; the column widens when the code needs it.
  void push(uint32_t code) {
    if (width_ == 1 && code <= 0xFF) {
      narrow_.push_back(static_cast<uint8_t>(code));
    } else {
      pushWide(code);
    }
  }

  // Room for this many rows in all, at the present width.
  void reserve(size_t rows) {
    if (width_ == 1) narrow_.reserve(rows);
    if (width_ == 2) middle_.reserve(rows);
    if (width_ == 4) wide_.reserve(rows);
  }

  // Maps the reserved room at once, where the system can: one call instead
  // of a page fault for every page the codes will fill.
  void prefault() {
    if (width_ == 1)
      prefaultRange(narrow_.data() + narrow_.size(), narrow_.capacity() - narrow_.size());
    if (width_ == 2)
      prefaultRange(middle_.data() + middle_.size(), 2 * (middle_.capacity() - middle_.size()));
    if (width_ == 4)
      prefaultRange(wide_.data() + wide_.size(), 4 * (wide_.capacity() - wide_.size()));
  }

  // Bytes held, reserved capacity included.
  size_t bytes() const {
    return narrow_.capacity() + 2 * middle_.capacity() + 4 * wide_.capacity();
  }

 private:
  // Out of line, so that push stays small enough to inline.
  __attribute__((noinline)) void pushWide(uint32_t code) {
    if (width_ == 1 || (width_ == 2 && code > 0xFFFF)) widenFor(code);
    if (width_ == 2) {
      middle_.push_back(static_cast<uint16_t>(code));
    } else {
      wide_.push_back(code);
    }
  }

  void widenFor(uint32_t code) {
    if (width_ == 1) {
      middle_.reserve(narrow_.capacity());
      middle_.assign(narrow_.begin(), narrow_.end());
      std::vector<uint8_t>().swap(narrow_);
      width_ = 2;
    }
    if (width_ == 2 && code > 0xFFFF) {
      wide_.reserve(middle_.capacity());
      wide_.assign(middle_.begin(), middle_.end());
      std::vector<uint16_t>().swap(middle_);
      width_ = 4;
    }
  }

  static void prefaultRange(const void* start, size_t bytes);

  int width_ = 1;
  std::vector<uint8_t> narrow_;
  std::vector<uint16_t> middle_;
  std::vector<uint32_t> wide_;
};

// Calls visit(codes) with the column's codes as a pointer of their width
// (const uint8_t*, const uint16_t* or const uint32_t*), indexed by data row,
// so that a loop over a column is compiled once for each width.
template <typename Visit>
decltype(auto) visitCodes(const CodeColumn& column, Visit&& visit) {
  if (column.width() == 1) return visit(column.narrow());
  if (column.width() == 2) return visit(column.middle());
  return visit(column.wide());
}

}  // namespace tevrol
