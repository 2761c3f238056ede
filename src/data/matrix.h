#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tevrol {

// Owning rows x columns table of texts in one row-major block:
// cell (i, j) is cells_[i * columns + j], and rowStarts_[i] points at row i.
// Indices are not checked; callers stay within the shape.
class Matrix {
 public:
  Matrix();
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;

  // Creates storage for the shape, every cell empty. Fatal when the storage
  // cannot be had.
  void initialize(int32_t rows, int32_t columns);
  // Reshapes; keeps the contents only when the shape is unchanged.
  Matrix& resize(int32_t rows, int32_t columns);

  int32_t rowCount() const { return rowCount_; }
  int32_t columnCount() const { return columnCount_; }
  std::string* row(int32_t i) { return rowStarts_[i]; }
  const std::string* row(int32_t i) const { return rowStarts_[i]; }

 private:
  void allocate(int32_t rows, int32_t columns, const char* cellsMessage, const char* rowsMessage);

  std::unique_ptr<std::string[]> cells_;
  std::unique_ptr<std::string*[]> rowStarts_;
  int32_t rowCount_ = 0;
  int32_t columnCount_ = 0;
  bool initialized_ = false;
};

}  // namespace tevrol
