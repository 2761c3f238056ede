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

namespace {

// How many individuals carry each code of a column. When every data row is
// an individual the codes are counted as they lie, with no gather through
// rowOf.
template <typename Code>
void countCodes(const Code* codes, const std::vector<int32_t>& rowOf, size_t rows,
                std::vector<int64_t>& counts) {
  const size_t n = rowOf.size();
  if (counts.size() == 2 && n == rows) {
    int64_t ones = 0;  // a plain sum, which vectorises
    for (size_t r = 0; r < n; ++r) ones += codes[r];
    counts = {static_cast<int64_t>(n) - ones, ones};
    return;
  }
  // Four tables in turn, so that runs of one value do not wait on one counter.
  std::vector<int64_t> four(4 * counts.size(), 0);
  size_t k = 0;
  for (const int32_t r : rowOf) {
    ++four[(k & 3) * counts.size() + codes[r]];
    ++k;
  }
  for (size_t v = 0; v < counts.size(); ++v) {
    for (size_t t = 0; t < 4; ++t) counts[v] += four[t * counts.size() + v];
  }
}

// Gives the column's missing texts one code, after all the others; returns
// whether it has any.
bool codeMissingLast(DataTable& table, int32_t c, const MissingRule& rule) {
  const std::vector<std::string>& texts = table.distinctValues(c);
  std::vector<uint32_t> newCode(texts.size());
  std::vector<std::string> present;
  std::string missing;
  size_t missingTexts = 0;
  for (size_t k = 0; k < texts.size(); ++k) {
    if (rule.isMissing(texts[k])) {
      if (missingTexts++ == 0) missing = texts[k];
    } else {
      newCode[k] = static_cast<uint32_t>(present.size());
      present.push_back(texts[k]);
    }
  }
  if (missingTexts == 0) return false;
  bool same = true;
  for (size_t k = 0; k < texts.size(); ++k) {
    if (rule.isMissing(texts[k])) newCode[k] = static_cast<uint32_t>(present.size());
    same = same && newCode[k] == k;
  }
  if (!same) {
    present.push_back(missing);
    table.recodeColumn(c, newCode, present);
  }
  return true;
}

}  // namespace

LocusCodes buildLocusCodes(DataTable& table, const CellMembers& members, const MissingRule& rule,
                           double maxMissing, LocusSelection* selection) {
  LocusCodes loci;
  LocusSelection chosen;
  loci.individuals = static_cast<int32_t>(members.rowAt.size());
  loci.rowOf = members.rowAt;
  loci.table = &table;
  const int64_t n = loci.individuals;
  std::vector<int64_t> counts;
  for (int32_t c = 2; c < table.columnCount(); ++c) {
    ++chosen.read;
    const bool hasMissing = rule.any() && codeMissingLast(table, c, rule);
    const auto values = static_cast<int32_t>(table.distinctValues(c).size());
    counts.assign(static_cast<size_t>(values), 0);
    visitCodes(table.codes(c), [&](const auto* codes) {
      countCodes(codes, loci.rowOf, static_cast<size_t>(table.rowCount()), counts);
    });
    const int64_t missing = hasMissing ? counts.back() : 0;
    chosen.missingValues += missing;
    int64_t states = 0;
    int64_t squares = 0;
    for (size_t v = 0; v + (hasMissing ? 1 : 0) < counts.size(); ++v) {
      states += counts[v] > 0 ? 1 : 0;
      squares += counts[v] * counts[v];
    }
    // In this order, as an alignment's reader leaves out its single-state
    // sites before any limit on missing values.
    if (states < 2) {
      ++chosen.singleState;
      continue;
    }
    if (n > 0 && static_cast<double>(missing) / static_cast<double>(n) > maxMissing) {
      ++chosen.tooManyMissing;
      continue;
    }
    loci.totalSum += (n - missing) * (n - missing) - squares;
    loci.columnOf.push_back(c);
    loci.valueCount.push_back(values);
    loci.hasMissing.push_back(hasMissing ? 1 : 0);
  }
  loci.loci = static_cast<int32_t>(loci.columnOf.size());
  chosen.used = loci.loci;
  if (selection != nullptr) *selection = chosen;
  return loci;
}

}  // namespace tevrol
