#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/code_column.h"
#include "data/text_dictionary.h"

namespace tevrol {

class BlockReader;

// The bytes a table is read in at once: a block in flight while the one
// before it is parsed.
constexpr int32_t kReadBlockBytes = 100000;

// A tab-separated file with one header line, held as R data rows x M columns
// of codes: every column keeps its distinct texts in order of first
// appearance, and every cell the index of its text among them (its code),
// 1, 2 or 4 bytes wide as the column needs. Later stages compare codes
// instead of texts; a cell's text is read through its column's list.
class DataTable {
 public:
  // lineCapacity: the bytes the reader takes in at once (lines may be longer).
  explicit DataTable(int32_t lineCapacity);
  ~DataTable();
  DataTable(const DataTable&) = delete;
  DataTable& operator=(const DataTable&) = delete;

  // Reads a file, a pipe or standard input ("-"), plain or gzip-compressed,
  // in one pass. Fatal when the input cannot be opened or read, or the table
  // would not fit in memory.
  DataTable& read(const std::string& filename);
  // The same from an input already opened, whose first block has been taken.
  DataTable& read(BlockReader& blocks, const char* first, size_t size);

  // The same table from bytes in memory.
  DataTable& parse(const std::string& bytes);

  // A table from texts held elsewhere (the columns of an R data frame):
  // column names, row count, and cell(r, c) giving the text of each cell as
  // a std::string_view. Each column is coded in row order, so texts keep
  // their order of first appearance, as in a file.
  template <typename CellText>
  DataTable& assign(std::vector<std::string> names, int32_t rows, const CellText& cell) {
    startColumns(std::move(names), rows);
    for (size_t c = 0; c < columns_.size(); ++c) {
      for (int32_t r = 0; r < rows; ++r) {
        const std::string_view text = cell(r, static_cast<int32_t>(c));
        columns_[c].push(dictionaries_[c].codeOf(text.data(), text.size()));
      }
    }
    return *this;
  }

  int32_t columnCount() const { return static_cast<int32_t>(fieldNames_.size()); }
  int32_t rowCount() const { return rows_; }
  const std::string& fieldNames(int32_t c) const { return fieldNames_[static_cast<size_t>(c)]; }
  const std::vector<std::string>& distinctValues(int32_t c) const {
    return dictionaries_[static_cast<size_t>(c)].texts();
  }
  const CodeColumn& codes(int32_t c) const { return columns_[static_cast<size_t>(c)]; }
  // Index of cell (r, c)'s text in distinctValues(c).
  int32_t code(int32_t r, int32_t c) const {
    return static_cast<int32_t>(codes(c).at(static_cast<size_t>(r)));
  }
  const std::string& cell(int32_t r, int32_t c) const {
    return distinctValues(c)[static_cast<size_t>(code(r, c))];
  }

  // Appends a column of rowCount() codes, each an index into texts, which
  // must be distinct and all in use. An empty table takes its row count from
  // the first column.
  void appendColumn(std::string name, const std::vector<std::string>& texts, CodeColumn codes);

  // Gives column c new codes: code k becomes newCode[k], whose texts are
  // `texts` in the new order. Codes never grow, so the column keeps its width.
  void recodeColumn(int32_t c, const std::vector<uint32_t>& newCode,
                    const std::vector<std::string>& texts);

 private:
  class Builder;
  void reset();
  void startColumns(std::vector<std::string> names, int32_t rows);

  std::vector<std::string> fieldNames_;
  std::vector<TextDictionary> dictionaries_;
  std::vector<CodeColumn> columns_;
  int32_t rows_ = 0;
  size_t blockBytes_;
};

}  // namespace tevrol
