#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tevrol {

class DataTable;

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

// Individuals per cell, from the row codes of columns 0 and 1.
CellCounts countCells(const DataTable& table);

}  // namespace tevrol
