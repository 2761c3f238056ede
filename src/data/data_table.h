#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/matrix.h"

namespace tevrol {

class ByteReader;

// A tab-separated file with one header line, read as R data rows x M columns
// of texts. Every column also gets its distinct texts in order of first
// appearance, and every cell the index of its text in that list (its code),
// so that later stages compare small integers instead of texts.
class DataTable {
 public:
  explicit DataTable(int32_t lineCapacity);

  // Reads the file in two passes (count, then fill) and prints one empty
  // line. Fatal when the file cannot be opened or read, or the table would
  // not fit in memory.
  DataTable& read(const std::string& filename);

  int32_t columnCount() const { return matrix_.columnCount(); }
  int32_t rowCount() const { return matrix_.rowCount(); }
  const std::string& cell(int32_t r, int32_t c) const { return matrix_.row(r)[c]; }
  const std::string& fieldNames(int32_t c) const { return fieldNames_[static_cast<size_t>(c)]; }
  const std::vector<std::string>& distinctValues(int32_t c) const {
    return distinctValues_[static_cast<size_t>(c)];
  }
  // Index of cell (r, c)'s text in distinctValues(c).
  int32_t code(int32_t r, int32_t c) const {
    return codes_[static_cast<size_t>(r) * static_cast<size_t>(columnCount()) +
                  static_cast<size_t>(c)];
  }

  // The same table from bytes in memory, without any output.
  DataTable& parse(const std::string& bytes);

 private:
  void readPasses(const std::string& bytes, bool announce);
  void readHeaderAndCount(ByteReader& source, int32_t& rows);
  void fill(ByteReader& source);
  void collectDistinctValues();
  void requireMemory(int32_t rows, uint64_t fileBytes) const;

  Matrix matrix_;
  std::vector<std::string> fieldNames_;
  std::vector<std::vector<std::string>> distinctValues_;
  std::vector<int32_t> codes_;
  int32_t lineCapacity_;
};

}  // namespace tevrol
