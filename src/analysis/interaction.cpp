#include "analysis/interaction.h"

#include <cmath>

namespace tevrol {

namespace {

size_t sz(int64_t value) {
  return static_cast<size_t>(value);
}

// The cross-product matrix of the A + B level indicators: level sizes on
// the diagonal, cell sizes between a level of XA and one of XB.
std::vector<double> crossProducts(const Design& design) {
  const int32_t A = design.levelsA;
  const int32_t K = A + design.levelsB;
  std::vector<double> m(sz(K) * sz(K), 0);
  for (int32_t a = 0; a < A; ++a) m[sz(a) * sz(K) + sz(a)] = design.levelSizesXA[sz(a)];
  for (int32_t b = 0; b < design.levelsB; ++b) {
    m[sz(A + b) * sz(K) + sz(A + b)] = design.levelSizesXB[sz(b)];
    for (int32_t a = 0; a < A; ++a) {
      m[sz(a) * sz(K) + sz(A + b)] = design.size(a, b);
      m[sz(A + b) * sz(K) + sz(a)] = design.size(a, b);
    }
  }
  return m;
}

}  // namespace

InteractionDesign makeInteractionDesign(const Design& design) {
  InteractionDesign model;
  const int32_t K = design.levelsA + design.levelsB;
  model.levels = K;
  for (const int32_t n : design.cellSize) model.filledCells += n > 0 ? 1 : 0;
  const std::vector<double> m = crossProducts(design);

  // Cholesky factor of the columns kept, in order: a column whose part not
  // explained by the columns kept before it vanishes is a sum and difference
  // of them (the entries are whole numbers, so that part is zero but for
  // rounding) and is left out.
  std::vector<int32_t> kept;
  std::vector<double> factor(sz(K) * sz(K), 0);  // factor[i * K + j], j <= i, kept only
  for (int32_t k = 0; k < K; ++k) {
    const size_t row = sz(k) * sz(K);
    for (const int32_t j : kept) {
      double x = m[row + sz(j)];
      for (const int32_t i : kept) {
        if (i >= j) break;
        x -= factor[row + sz(i)] * factor[sz(j) * sz(K) + sz(i)];
      }
      factor[row + sz(j)] = x / factor[sz(j) * sz(K) + sz(j)];
    }
    double d = m[row + sz(k)];
    for (const int32_t j : kept) d -= factor[row + sz(j)] * factor[row + sz(j)];
    if (d > 1e-9 * m[row + sz(k)]) {
      factor[row + sz(k)] = std::sqrt(d);
      kept.push_back(k);
    } else {
      for (const int32_t j : kept) factor[row + sz(j)] = 0;
    }
  }
  model.rank = static_cast<int32_t>(kept.size());

  // The inverse of the kept submatrix, column by column: solve L y = e,
  // then L' x = y, over the kept columns only.
  const size_t r = kept.size();
  model.inverse.assign(sz(K) * sz(K), 0);
  std::vector<double> y(r);
  for (size_t c = 0; c < r; ++c) {
    for (size_t i = 0; i < r; ++i) {
      double x = i == c ? 1 : 0;
      const size_t row = sz(kept[i]) * sz(K);
      for (size_t j = 0; j < i; ++j) x -= factor[row + sz(kept[j])] * y[j];
      y[i] = x / factor[row + sz(kept[i])];
    }
    for (size_t i = r; i-- > 0;) {
      double x = y[i];
      for (size_t j = i + 1; j < r; ++j) x -= factor[sz(kept[j]) * sz(K) + sz(kept[i])] * y[j];
      y[i] = x / factor[sz(kept[i]) * sz(K) + sz(kept[i])];
    }
    for (size_t i = 0; i < r; ++i) model.inverse[sz(kept[i]) * sz(K) + sz(kept[c])] = y[i];
  }
  return model;
}

void computeInteractionStats(InteractionStats& s, const Design& design,
                             const InteractionDesign& model, const GroupSums& sums) {
  const int32_t A = design.levelsA;
  const int32_t B = design.levelsB;
  const int32_t N = design.individuals;
  const double total = sums.total / (2.0 * N);

  const WithinSS within = computeWithinSS(design, sums);
  const double ssError = within.cells;
  const double withinA = within.levelsA;
  const double withinB = within.levelsB;
  double quadratic = 0;
  const size_t cells = sz(model.levels) * sz(model.levels);
  for (size_t k = 0; k < cells; ++k) quadratic += model.inverse[k] * sums.cross[k];
  const double additive = quadratic / 2;

  s.df[IntXA] = model.rank - B;
  s.df[IntXB] = model.rank - A;
  s.df[IntXAB] = model.filledCells - model.rank;
  s.df[IntResidual] = N - model.filledCells;
  s.df[IntTotal] = N - 1;

  s.seqSS[IntXA] = total - withinA;
  s.seqSS[IntXB] = withinA - additive;
  s.seqSS[IntXAB] = additive - ssError;
  s.seqSS[IntResidual] = ssError;
  s.seqSS[IntTotal] = total;
  s.adjSS[IntXA] = withinB - additive;
  s.adjSS[IntXB] = s.seqSS[IntXB];
  s.adjSS[IntXAB] = s.seqSS[IntXAB];
  s.adjSS[IntResidual] = ssError;
  s.adjSS[IntTotal] = total;
  // A row of no degrees of freedom spans nothing: its sum of squares is 0,
  // not the rounding left of two equal sums (so its F is not a number
  // rather than an infinity).
  if (A == 1) s.seqSS[IntXA] = 0;
  if (s.df[IntXA] == 0) s.adjSS[IntXA] = 0;
  if (s.df[IntXB] == 0) s.seqSS[IntXB] = s.adjSS[IntXB] = 0;
  if (s.df[IntXAB] == 0) s.seqSS[IntXAB] = s.adjSS[IntXAB] = 0;

  for (const int r : {IntXA, IntXB, IntXAB, IntResidual}) s.MS[r] = s.adjSS[r] / s.df[r];
  for (const int r : {IntXA, IntXB, IntXAB}) s.F[r] = s.MS[r] / s.MS[IntResidual];
  for (int r = 0; r < kInteractionRows; ++r) {
    s.R2[sz(r)] = s.seqSS[sz(r)] / total;
    s.R2adj[sz(r)] = s.adjSS[sz(r)] / total;
  }
}

MainEffects computeMainEffects(const AnovaStats& s) {
  MainEffects e;
  for (const int r : {XA, XB}) {
    FactorEffects& f = e.factor[sz(r)];
    f.r2Seq = s.seqSS[r] / s.seqSS[Total];
    f.r2Adj = s.adjSS[r] / s.seqSS[Total];
    f.phi = s.var[r] / s.var[Total];
    f.varPercent = 100 * f.phi;
  }
  e.errorVarPercent = 100 * (s.var[Error] / s.var[Total]);
  return e;
}

}  // namespace tevrol
