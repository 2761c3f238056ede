#include "data/matrix.h"

#include <cstddef>
#include <new>

#include "base/fatal.h"

namespace tevrol {

Matrix::Matrix() {
  initialize(0, 0);
}

void Matrix::allocate(int32_t rows, int32_t columns, const char* cellsMessage,
                      const char* rowsMessage) {
  // The product is formed in 64 bits, so a huge shape fails as a failed
  // allocation instead of wrapping around to a small block.
  const int64_t cellCount = int64_t{rows} * int64_t{columns};
  if (rows < 0 || columns < 0) fatalError(cellsMessage);
  try {
    cells_.reset(new std::string[static_cast<size_t>(cellCount)]);
  } catch (const std::bad_alloc&) {
    fatalError(cellsMessage);
  }
  try {
    rowStarts_.reset(new std::string*[static_cast<size_t>(rows)]);
  } catch (const std::bad_alloc&) {
    cells_.reset();
    fatalError(rowsMessage);
  }
  for (int32_t i = 0; i < rows; ++i) rowStarts_[i] = cells_.get() + int64_t{i} * columns;
  rowCount_ = rows;
  columnCount_ = columns;
  initialized_ = true;
}

void Matrix::initialize(int32_t rows, int32_t columns) {
  allocate(rows, columns, "array allocation failure in Matrix::initialize()",
           "element allocation failure in Matrix::initialize()");
}

Matrix& Matrix::resize(int32_t rows, int32_t columns) {
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

}  // namespace tevrol
