#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tevrol {

class DataTable;
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

// Locus texts coded per column (code = index among the column's distinct
// texts), one row of L codes per individual, individuals in position order.
// Two individuals' texts at a locus are equal exactly when their codes are.
struct LocusCodes {
  int32_t loci = 0;                 // L
  int32_t individuals = 0;          // N
  std::vector<int32_t> valueCount;  // distinct texts of each locus
  std::vector<uint32_t> codes;      // codes[individual * L + l]

  const uint32_t* row(int32_t individual) const {
    return codes.data() + static_cast<size_t>(individual) * static_cast<size_t>(loci);
  }
};

LocusCodes buildLocusCodes(const DataTable& table, const CellMembers& members);

}  // namespace tevrol
