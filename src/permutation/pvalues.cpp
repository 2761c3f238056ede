#include "permutation/pvalues.h"

#include <algorithm>
#include <cmath>

namespace tevrol {

PValue computePValue(double count, int32_t nperm) {
  const int32_t passes = kPermutationTypes * nperm;
  const double m = passes / 3.0;
  PValue value;
  value.p = 1.0 - count / nperm;
  if (!(value.p > 0)) {
    // The observed F beat every permutation: report the bound 1 / nperm.
    value.p = 1 / m;
    value.bound = true;
  }
  value.se = std::sqrt((1 - value.p) * value.p / (m + 1));
  return value;
}

void recordObserved(PermutationCounts& counts, const AnovaStats& stats) {
  counts.observedF = {stats.F[XA], stats.F[XB]};
}

void recordPass(PermutationCounts& counts, int32_t pass, const AnovaStats& stats) {
  recordPassOfType(counts, pass % kPermutationTypes, stats);
}

void recordPassOfType(PermutationCounts& counts, int type, const AnovaStats& stats) {
  auto& above = counts.observedAboveCounts[static_cast<size_t>(type)];
  if (counts.observedF[0] > stats.F[XA]) above[0] += 1.0;
  if (counts.observedF[1] > stats.F[XB]) above[1] += 1.0;
}

void recordInteractionObserved(InteractionCounts& counts, const InteractionStats& stats) {
  for (size_t t = 0; t < kPermutationTypes; ++t) counts.observedF[t] = stats.F[t];
}

void recordInteractionPassOfType(InteractionCounts& counts, int type,
                                 const InteractionStats& stats) {
  const auto t = static_cast<size_t>(type);
  if (counts.observedF[t] > stats.F[t]) counts.observedAbove[t] += 1.0;
}

namespace {

// The indices of p from its smallest value to its largest, ties in the
// order given.
std::vector<size_t> ascending(const std::vector<double>& p) {
  std::vector<size_t> order(p.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return p[x] < p[y]; });
  return order;
}

}  // namespace

std::vector<double> holmAdjusted(const std::vector<double>& p) {
  const std::vector<size_t> order = ascending(p);
  const double m = static_cast<double>(p.size());
  std::vector<double> out(p.size());
  double running = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    running = std::max(running, (m - static_cast<double>(k)) * p[order[k]]);
    out[order[k]] = std::min(1.0, running);
  }
  return out;
}

std::vector<double> benjaminiHochbergAdjusted(const std::vector<double>& p) {
  const std::vector<size_t> order = ascending(p);
  const double m = static_cast<double>(p.size());
  std::vector<double> out(p.size());
  double running = 1;
  for (size_t k = order.size(); k-- > 0;) {
    running = std::min(running, m / static_cast<double>(k + 1) * p[order[k]]);
    out[order[k]] = running;
  }
  return out;
}

}  // namespace tevrol
