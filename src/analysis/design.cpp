#include "analysis/design.h"

#include <algorithm>

#include "data/data_table.h"
#include "data/levels.h"

namespace tevrol {

MemberRef Design::member(int32_t position) const {
  const auto next = std::upper_bound(cellStart.begin(), cellStart.end(), position);
  // The first cell starting after the position, less one, is its cell; empty
  // cells share their start with the next one and are stepped over this way.
  const int32_t cellIndex = static_cast<int32_t>(next - cellStart.begin()) - 1;
  MemberRef m;
  m.a = cellIndex / levelsB;
  m.b = cellIndex % levelsB;
  m.k = position - cellStart[static_cast<size_t>(cellIndex)];
  return m;
}

Design makeDesign(const CellCounts& counts) {
  Design design;
  design.levelsA = counts.levelsA;
  design.levelsB = counts.levelsB;
  design.cellSize = counts.counts;
  design.cellStart.assign(design.cellSize.size() + 1, 0);
  design.levelSizesXA.assign(static_cast<size_t>(design.levelsA), 0);
  design.levelSizesXB.assign(static_cast<size_t>(design.levelsB), 0);
  int32_t next = 0;
  for (int32_t a = 0; a < design.levelsA; ++a) {
    for (int32_t b = 0; b < design.levelsB; ++b) {
      const int32_t n = design.size(a, b);
      design.cellStart[static_cast<size_t>(design.cell(a, b))] = next;
      next += n;
      design.levelSizesXA[static_cast<size_t>(a)] += n;
      design.levelSizesXB[static_cast<size_t>(b)] += n;
    }
  }
  design.cellStart.back() = next;
  design.individuals = next;
  return design;
}

CellMembers buildCellMembers(const DataTable& table, const Design& design) {
  CellMembers members;
  members.rowAt.assign(static_cast<size_t>(design.individuals), 0);
  std::vector<int32_t> filled(design.cellSize.size(), 0);
  for (int32_t r = 0; r < table.rowCount(); ++r) {
    const int32_t cell = design.cell(table.code(r, 0), table.code(r, 1));
    const int32_t k = filled[static_cast<size_t>(cell)]++;
    members.rowAt[static_cast<size_t>(design.cellStart[static_cast<size_t>(cell)] + k)] = r;
  }
  return members;
}

LocusCodes buildLocusCodes(const DataTable& table, const CellMembers& members) {
  LocusCodes loci;
  loci.loci = table.columnCount() - 2;
  loci.individuals = static_cast<int32_t>(members.rowAt.size());
  loci.valueCount.resize(static_cast<size_t>(loci.loci));
  for (int32_t l = 0; l < loci.loci; ++l) {
    loci.valueCount[static_cast<size_t>(l)] =
        static_cast<int32_t>(table.distinctValues(l + 2).size());
  }
  loci.rowOf = members.rowAt;
  loci.table = &table;
  return loci;
}

}  // namespace tevrol
