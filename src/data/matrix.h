#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "base/fatal.h"

namespace tevrol {

// Owning rows x columns table of cells in one row-major block: cell (i, j) is
// cells_[i * columns + j], and rowStarts_[i] points at row i. Indices are not
// checked; callers stay within the shape.
template <typename Cell = std::string>
class Matrix {
 public:
  Matrix() { initialize(0, 0); }
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;

  // Creates storage for the shape, every cell empty (value-initialised).
  // Fatal when the storage cannot be had.
  void initialize(int32_t rows, int32_t columns) {
    allocate(rows, columns, "array allocation failure in Matrix::initialize()",
             "element allocation failure in Matrix::initialize()");
  }

  // Reshapes; keeps the contents only when the shape is unchanged.
  Matrix& resize(int32_t rows, int32_t columns) {
    if (!initialized_) {
      initialize(rows, columns);
      return *this;
    }
    if (rows == rowCount_ && columns == columnCount_) return *this;
    rowStarts_.reset();
    cells_.reset();
    rowCount_ = 0;
    columnCount_ = 0;
    allocate(rows, columns, "array allocation failure in Matrix::resize()",
             "element allocation failure in Matrix::resize()");
    return *this;
  }

  int32_t rowCount() const { return rowCount_; }
  int32_t columnCount() const { return columnCount_; }
  Cell* row(int32_t i) { return rowStarts_[i]; }
  const Cell* row(int32_t i) const { return rowStarts_[i]; }

 private:
  void allocate(int32_t rows, int32_t columns, const char* cellsMessage, const char* rowsMessage) {
    // The product is formed in 64 bits, so a huge shape fails as a failed
    // allocation instead of wrapping around to a small block.
    const int64_t cellCount = int64_t{rows} * int64_t{columns};
    if (rows < 0 || columns < 0) fatalError(cellsMessage);
    try {
      cells_.reset(new Cell[static_cast<size_t>(cellCount)]());
    } catch (const std::bad_alloc&) {
      fatalError(cellsMessage);
    }
    try {
      rowStarts_.reset(new Cell*[static_cast<size_t>(rows)]);
    } catch (const std::bad_alloc&) {
      cells_.reset();
      fatalError(rowsMessage);
    }
    for (int32_t i = 0; i < rows; ++i) rowStarts_[i] = cells_.get() + int64_t{i} * columns;
    rowCount_ = rows;
    columnCount_ = columns;
    initialized_ = true;
  }

  std::unique_ptr<Cell[]> cells_;
  std::unique_ptr<Cell*[]> rowStarts_;
  int32_t rowCount_ = 0;
  int32_t columnCount_ = 0;
  bool initialized_ = false;
};

}  // namespace tevrol
