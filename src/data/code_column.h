#pragma once

#include <cstddef>
#include <cstdint>

namespace tevrol {

// The codes of one column: for every data row, the index of its text among
// the column's distinct texts. A column is 1 byte a row while it has at most
// 256 texts, 2 bytes up to 65,536 and 4 beyond, in one block of memory: a
// table of half a million columns of a few rows each pays a few dozen bytes
// a column for them.
class CodeColumn {
 public:
  CodeColumn() = default;
  ~CodeColumn();
  CodeColumn(CodeColumn&& other) noexcept;
  CodeColumn& operator=(CodeColumn&& other) noexcept;
  CodeColumn(const CodeColumn&) = delete;
  CodeColumn& operator=(const CodeColumn&) = delete;

  // The bytes a code takes in a column whose codes go up to this one.
  static constexpr int widthFor(uint32_t code) { return code <= 0xFF ? 1 : code <= 0xFFFF ? 2 : 4; }

  int width() const { return width_; }
  size_t size() const { return size_; }

  uint32_t at(size_t r) const {
    if (width_ == 1) return narrow()[r];
    if (width_ == 2) return middle()[r];
    return wide()[r];
  }

  // The codes as an array of the column's width.
  const uint8_t* narrow() const { return codes_; }
  const uint16_t* middle() const { return reinterpret_cast<const uint16_t*>(codes_); }
  const uint32_t* wide() const { return reinterpret_cast<const uint32_t*>(codes_); }

  // Appends a code; the column widens when the code needs it, and grows by
  // doubling when its room is full.
  void push(uint32_t code) {
    if (width_ == 1 && code <= 0xFF && size_ < capacity_) {
      codes_[size_++] = static_cast<uint8_t>(code);
    } else {
      pushSlow(code);
    }
  }

  // Rewrites every code c as newCode[c]; the new codes must fit the width.
  void recode(const uint32_t* newCode);

  // Room for this many rows in all, at the present width.
  void reserve(size_t rows);

  // Maps the reserved room at once, where the system can: one call instead
  // of a page fault for every page the codes will fill.
  void prefault();

  // Bytes held, reserved room included.
  size_t bytes() const { return static_cast<size_t>(capacity_) * static_cast<size_t>(width_); }

 private:
  // Out of line, so that push stays small enough to inline.
  __attribute__((noinline)) void pushSlow(uint32_t code);
  // Moves the codes into a block of rows x width bytes.
  void relocate(size_t rows, int width);

  uint8_t* codes_ = nullptr;  // size_ codes of width_ bytes, room for capacity_
  uint32_t size_ = 0;         // rows never exceed the range of int32_t
  uint32_t capacity_ = 0;
  int width_ = 1;
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
