#include "data/levels.h"

#include "data/data_table.h"

namespace tevrol {

int64_t CellCounts::total() const {
  int64_t sum = 0;
  for (const int32_t n : counts) sum += n;
  return sum;
}

CellCounts countCells(const DataTable& table) {
  CellCounts cells;
  cells.levelsA = static_cast<int32_t>(table.distinctValues(0).size());
  cells.levelsB = static_cast<int32_t>(table.distinctValues(1).size());
  cells.counts.assign(static_cast<size_t>(cells.levelsA) * static_cast<size_t>(cells.levelsB), 0);
  for (int32_t r = 0; r < table.rowCount(); ++r) ++cells.at(table.code(r, 0), table.code(r, 1));
  return cells;
}

}  // namespace tevrol
