#include "permutation/pvalues.h"

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
  auto& above = counts.observedAboveCounts[static_cast<size_t>(pass % kPermutationTypes)];
  if (counts.observedF[0] > stats.F[XA]) above[0] += 1.0;
  if (counts.observedF[1] > stats.F[XB]) above[1] += 1.0;
}

void recordInteractionObserved(InteractionCounts& counts, const InteractionStats& stats) {
  for (size_t t = 0; t < kPermutationTypes; ++t) counts.observedF[t] = stats.F[t];
}

void recordInteractionPass(InteractionCounts& counts, int32_t pass, const InteractionStats& stats) {
  const auto t = static_cast<size_t>(pass % kPermutationTypes);
  if (counts.observedF[t] > stats.F[t]) counts.observedAbove[t] += 1.0;
}

}  // namespace tevrol
