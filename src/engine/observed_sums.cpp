// The observed layout's sums straight from the counts of locus values per
// cell, before any mode builds its tables.
#include <algorithm>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_internal.h"

namespace tevrol {

namespace {

using engine_detail::sz;

// Counts of cells x values kept at once; beyond, the mode's own first pass
// gives the sums.
constexpr size_t kMostCounts = size_t{1} << 20;

// sum over groups of n^2 - sum of c^2, n the present values of the group.
template <typename Counts>
int64_t groupSum(int32_t present, const Counts& countOf) {
  int64_t all = 0;
  int64_t squares = 0;
  for (int32_t v = 0; v < present; ++v) {
    const int64_t c = countOf(v);
    all += c;
    squares += c * c;
  }
  return all * all - squares;
}

}  // namespace

bool countObservedSums(const Design& design, const LocusCodes& loci, GroupSums& out) {
  const size_t cells = design.cellSize.size();
  int32_t most = 1;
  for (const int32_t values : loci.valueCount) most = std::max(most, values);
  if (cells * sz(most) > kMostCounts) return false;
  std::vector<int32_t> cellOf(sz(design.individuals));
  for (size_t c = 0; c < cells; ++c) {
    std::fill(cellOf.begin() + design.cellStart[c], cellOf.begin() + design.cellStart[c + 1],
              static_cast<int32_t>(c));
  }
  std::vector<int64_t> cellSums(cells, 0);
  std::vector<int64_t> levelSumsA(sz(design.levelsA), 0);
  std::vector<int64_t> levelSumsB(sz(design.levelsB), 0);
  std::vector<int32_t> counts;
  for (int32_t l = 0; l < loci.loci; ++l) {
    const auto values = static_cast<size_t>(loci.valueCount[sz(l)]);
    const auto present = static_cast<int32_t>(loci.missingCode(l));
    counts.assign(cells * values, 0);
    visitCodes(loci.column(l), [&](const auto* codes) {
      for (size_t x = 0; x < cellOf.size(); ++x) {
        ++counts[sz(cellOf[x]) * values + codes[loci.rowOf[x]]];
      }
    });
    for (size_t c = 0; c < cells; ++c) {
      cellSums[c] += groupSum(present, [&](int32_t v) { return counts[c * values + sz(v)]; });
    }
    for (int32_t a = 0; a < design.levelsA; ++a) {
      levelSumsA[sz(a)] += groupSum(present, [&](int32_t v) {
        int64_t c = 0;
        for (int32_t b = 0; b < design.levelsB; ++b) c += counts[sz(design.cell(a, b)) * values + sz(v)];
        return c;
      });
    }
    for (int32_t b = 0; b < design.levelsB; ++b) {
      levelSumsB[sz(b)] += groupSum(present, [&](int32_t v) {
        int64_t c = 0;
        for (int32_t a = 0; a < design.levelsA; ++a) c += counts[sz(design.cell(a, b)) * values + sz(v)];
        return c;
      });
    }
  }
  out.total = static_cast<double>(loci.totalSum);
  out.cell.assign(cellSums.begin(), cellSums.end());
  out.levelA.assign(levelSumsA.begin(), levelSumsA.end());
  out.levelB.assign(levelSumsB.begin(), levelSumsB.end());
  return true;
}

}  // namespace tevrol
