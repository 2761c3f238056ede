#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tevrol {

class DataTable;

// Level text -> code 1 ... A, in order of first appearance in the data rows.
using LevelMap = std::unordered_map<std::string, int32_t>;

// A x B individuals per cell, indexed [a][b] with 0-based level codes.
struct CellCounts {
  int32_t levelsA = 0;
  int32_t levelsB = 0;
  std::vector<int32_t> counts;  // counts[a * levelsB + b]

  int32_t at(int32_t a, int32_t b) const {
    return counts[static_cast<size_t>(a) * static_cast<size_t>(levelsB) + static_cast<size_t>(b)];
  }
  int32_t& at(int32_t a, int32_t b) {
    return counts[static_cast<size_t>(a) * static_cast<size_t>(levelsB) + static_cast<size_t>(b)];
  }
  int64_t total() const;
};

// Codes the distinct texts of one factor column and appends its level line,
// "Levels for <ordinal> factor (<name>): l1, l2, ...", to the report.
LevelMap codeLevels(std::string& out, const DataTable& table, int32_t column, const char* ordinal,
                    const std::string& factorName);

// Individuals per cell, from the row codes of columns 0 and 1.
CellCounts countCells(const DataTable& table);

// Appends the "Sample sizes:" table and the empty line after it. With
// `spill`, a large table goes out in parts: after a row that leaves `out`
// above a megabyte, spill(out) takes the text and empties it.
void appendSampleSizes(std::string& out, const DataTable& table, const CellCounts& cells,
                       const std::function<void(std::string&)>& spill = nullptr);

// Number of decimal digits of a positive count.
int32_t decimalDigits(int64_t value);

}  // namespace tevrol
