#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/code_column.h"
#include "data/data_table.h"

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
// is column l + 2, and the individual at position i is data row rowOf[i].
// Two individuals' texts at a locus are equal exactly when their codes are.
struct LocusCodes {
  int32_t loci = 0;                 // L
  int32_t individuals = 0;          // N
  std::vector<int32_t> valueCount;  // distinct texts of each locus
  std::vector<int32_t> rowOf;       // N entries
  const DataTable* table = nullptr;

  // Codes of locus l indexed by data row (see visitCodes).
  const CodeColumn& column(int32_t l) const { return table->codes(l + 2); }
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

LocusCodes buildLocusCodes(const DataTable& table, const CellMembers& members);

}  // namespace tevrol
