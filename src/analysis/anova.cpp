#include "analysis/anova.h"

#include "analysis/distances.h"

namespace tevrol {

namespace {

// Sum of d(x, y) over x in [x0, x1) and y in [y0, y1).
double blockSum(const DistanceTable& d, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  double sum = 0;
  for (int32_t x = x0; x < x1; ++x) {
    const int32_t* row = d.row(x);
    for (int32_t y = y0; y < y1; ++y) sum += row[y];
  }
  return sum;
}

// For each level of one factor (XA if byA, else XB), in ascending order: the
// sum of its squared cell sizes over its own size, both sums as doubles; the
// quotients are added up in that order.
double squaredSizeRatios(const Design& design, bool byA) {
  const int32_t levels = byA ? design.levelsA : design.levelsB;
  const int32_t cells = byA ? design.levelsB : design.levelsA;
  double total = 0;
  for (int32_t level = 0; level < levels; ++level) {
    double squares = 0;
    double size = 0;
    for (int32_t j = 0; j < cells; ++j) {
      const int64_t n = byA ? design.size(level, j) : design.size(j, level);
      squares += static_cast<double>(n * n);
      size += static_cast<double>(n);
    }
    total += squares / size;
  }
  return total;
}

}  // namespace

void computeFixedStats(AnovaStats& stats, const Design& design) {
  const int32_t A = design.levelsA;
  const int32_t B = design.levelsB;
  const int32_t N = design.individuals;
  stats.df[XA] = A - 1;
  stats.df[XB] = B - 1;
  stats.df[Total] = N - 1;
  stats.df[Error] = (stats.df[Total] - stats.df[XA]) - stats.df[XB];

  const double sumQ = squaredSizeRatios(design, false);
  const double sumR = squaredSizeRatios(design, true);
  stats.n[XA] = (N - sumQ) / (A - 1);
  stats.n[XB] = (N - sumR) / (B - 1);
}

WithinSS computeWithinSS(const Design& design, const GroupSums& sums) {
  const int32_t A = design.levelsA;
  const int32_t B = design.levelsB;
  WithinSS w;
  for (int32_t a = 0; a < A; ++a) {
    for (int32_t b = 0; b < B; ++b) {
      const int32_t n = design.size(a, b);
      if (n > 0) w.cells += (sums.cell[static_cast<size_t>(design.cell(a, b))] / 2) / n;
    }
  }
  for (int32_t a = 0; a < A; ++a) {
    const double n = design.levelSizesXA[static_cast<size_t>(a)];
    if (n > 0) w.levelsA += (sums.levelA[static_cast<size_t>(a)] / 2) / n;
  }
  for (int32_t b = 0; b < B; ++b) {
    const double n = design.levelSizesXB[static_cast<size_t>(b)];
    if (n > 0) w.levelsB += (sums.levelB[static_cast<size_t>(b)] / 2) / n;
  }
  return w;
}

void computePassStats(AnovaStats& stats, const Design& design, const GroupSums& sums) {
  const WithinSS within = computeWithinSS(design, sums);
  stats.seqSS[Total] = sums.total / (2.0 * design.individuals);
  stats.seqSS[Error] = within.cells;
  stats.seqSS[XA] = stats.seqSS[Total] - within.levelsA;
  stats.seqSS[XB] = (stats.seqSS[Total] - stats.seqSS[Error]) - stats.seqSS[XA];
  stats.adjSS[XB] = stats.seqSS[XB];
  stats.adjSS[XA] = within.levelsB - stats.seqSS[Error];
  stats.adjSS[Error] = stats.seqSS[Error];

  for (const int r : {XA, XB, Error}) stats.MS[r] = stats.adjSS[r] / stats.df[r];
  stats.F[XA] = stats.MS[XA] / stats.MS[Error];
  stats.F[XB] = stats.MS[XB] / stats.MS[Error];
  stats.var[XA] = (stats.MS[XA] - stats.MS[Error]) / stats.n[XA];
  stats.var[XB] = (stats.MS[XB] - stats.MS[Error]) / stats.n[XB];
  stats.var[Error] = stats.MS[Error];
  stats.var[Total] = (stats.var[XA] + stats.var[XB]) + stats.var[Error];
}

void sumWithinGroups(const DistanceTable& working, const Design& design, GroupSums& sums) {
  const int32_t A = design.levelsA;
  const int32_t B = design.levelsB;
  const int32_t N = design.individuals;
  sums.total = blockSum(working, 0, N, 0, N);
  sums.cell.assign(static_cast<size_t>(A) * static_cast<size_t>(B), 0);
  sums.levelA.assign(static_cast<size_t>(A), 0);
  sums.levelB.assign(static_cast<size_t>(B), 0);
  for (int32_t a = 0; a < A; ++a) {
    for (int32_t b = 0; b < B; ++b) {
      const int32_t x0 = design.start(a, b);
      const int32_t x1 = x0 + design.size(a, b);
      sums.cell[static_cast<size_t>(design.cell(a, b))] = blockSum(working, x0, x1, x0, x1);
    }
    // A level of XA occupies one run of positions: cells (a, 0) ... (a, B - 1).
    const int32_t x0 = design.start(a, 0);
    const int32_t x1 = design.cellStart[static_cast<size_t>(design.cell(a, B - 1)) + 1];
    sums.levelA[static_cast<size_t>(a)] = blockSum(working, x0, x1, x0, x1);
  }
  for (int32_t b = 0; b < B; ++b) {
    double sum = 0;
    for (int32_t a1 = 0; a1 < A; ++a1) {
      for (int32_t a2 = 0; a2 < A; ++a2) {
        const int32_t x0 = design.start(a1, b);
        const int32_t y0 = design.start(a2, b);
        sum += blockSum(working, x0, x0 + design.size(a1, b), y0, y0 + design.size(a2, b));
      }
    }
    sums.levelB[static_cast<size_t>(b)] = sum;
  }
}

}  // namespace tevrol
