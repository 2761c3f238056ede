#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/code_column.h"
#include "data/data_table.h"
#include "data/missing_rule.h"

namespace tevrol {

struct CellCounts;

// One individual of the observed layout: XA level a, XB level b, and its place
// k in the member list of cell (a, b).
struct MemberRef {
  int32_t a = 0;
  int32_t b = 0;
  int32_t k = 0;
};

// The crossed design. Individuals are addressed by position: cells in a-then-b
// order, each holding its members in file order, so that
//   position(a, b, k) = cellStart[a * levelsB + b] + k.
// A position of the observed layout names the individual standing there; the
// permutation code stores individuals as such positions.
struct Design {
  int32_t levelsA = 0;
  int32_t levelsB = 0;
  int32_t individuals = 0;            // N
  std::vector<int32_t> cellSize;      // n_ab at [a * levelsB + b]
  std::vector<int32_t> cellStart;     // A * B + 1 entries, the last is N
  std::vector<int32_t> levelSizesXA;  // n_a.
  std::vector<int32_t> levelSizesXB;  // n_.b

  int32_t cell(int32_t a, int32_t b) const { return a * levelsB + b; }
  int32_t size(int32_t a, int32_t b) const { return cellSize[static_cast<size_t>(cell(a, b))]; }
  int32_t start(int32_t a, int32_t b) const { return cellStart[static_cast<size_t>(cell(a, b))]; }
  int32_t position(const MemberRef& m) const { return start(m.a, m.b) + m.k; }
  MemberRef member(int32_t position) const;
};

Design makeDesign(const CellCounts& counts);

// CellMembers in position order: the data row of the individual at each position.
struct CellMembers {
  std::vector<int32_t> rowAt;
};

CellMembers buildCellMembers(const DataTable& table, const Design& design);

// The locus codes of the individuals, read in place from the table: locus l
// is column columnOf[l], and the individual at position i is data row
// rowOf[i]. Two individuals' values at a locus are equal exactly when their
// codes are. A locus with missing values has one code for all of them, the
// last: valueCount[l] - 1. A missing value differs from no value, so the
// distance of two individuals counts the loci where both have a value and
// the values differ.
struct LocusCodes {
  int32_t loci = 0;                 // L
  int32_t individuals = 0;          // N
  std::vector<int32_t> valueCount;  // codes of each locus, the missing one included
  std::vector<uint8_t> hasMissing;  // 1: the locus's last code is missing
  std::vector<int32_t> columnOf;    // the table column of each locus
  std::vector<int32_t> rowOf;       // N entries
  const DataTable* table = nullptr;
  // S_T, the sum of the distances over all ordered pairs of individuals.
  int64_t totalSum = 0;

  bool anyMissing() const {
    for (const uint8_t m : hasMissing) {
      if (m != 0) return true;
    }
    return false;
  }
  // The code of locus l's missing values; valueCount[l] (no code) when it has none.
  uint32_t missingCode(int32_t l) const {
    const auto at = static_cast<size_t>(l);
    return static_cast<uint32_t>(valueCount[at] - (hasMissing[at] != 0 ? 1 : 0));
  }

  // Codes of locus l indexed by data row (see visitCodes).
  const CodeColumn& column(int32_t l) const {
    return table->codes(columnOf[static_cast<size_t>(l)]);
  }
  uint32_t code(int32_t individual, int32_t l) const {
    return column(l).at(static_cast<size_t>(rowOf[static_cast<size_t>(individual)]));
  }

  // All codes, individuals in position order: out[i * L + l]. For the
  // kernels that want rows of a width of their own; Code must hold every code.
  template <typename Code>
  std::vector<Code> positionRows() const {
    std::vector<Code> out(static_cast<size_t>(individuals) * static_cast<size_t>(loci));
    for (int32_t l = 0; l < loci; ++l) {
      visitCodes(column(l), [&](const auto* codes) {
        Code* to = out.data() + l;
        for (const int32_t r : rowOf) {
          *to = static_cast<Code>(codes[r]);
          to += loci;
        }
      });
    }
    return out;
  }
};

// What became of the table's locus columns.
struct LocusSelection {
  int64_t read = 0;            // locus columns of the table
  int64_t used = 0;            // loci of the analysis
  int64_t singleState = 0;     // left out: at most one value apart from missing ones
  int64_t tooManyMissing = 0;  // left out: a share of missing values above the limit
  int64_t missingValues = 0;   // missing values in all the columns read
};

// The loci of the analysis. Under a missing-value rule each locus column's
// missing texts become one code, its last (the table is recoded in place).
// A locus whose share of missing values exceeds maxMissing is left out, and
// so is one with fewer than two values apart from missing ones, which adds
// nothing to any sum.
LocusCodes buildLocusCodes(DataTable& table, const CellMembers& members,
                           const MissingRule& rule = {}, double maxMissing = 1.0,
                           LocusSelection* selection = nullptr);

}  // namespace tevrol
