#include "permutation/pvalues.h"

#include <cmath>
#include <cstdio>

namespace tevrol {

namespace {

void printPValue(const char* factor, double count, int32_t nperm, double m) {
  double p = 1.0 - count / nperm;
  const char* relation = "=";
  if (!(p > 0)) {
    // The observed F beat every permutation: report the bound 1 / nperm.
    p = 1 / m;
    relation = "<";
  }
  const double se = std::sqrt((1 - p) * p / (m + 1));
  std::printf("P value for %s    %s %9.3g\t(se    = %9.3g)\n", factor, relation, p, se);
}

}  // namespace

void recordObserved(PermutationCounts& counts, const AnovaStats& stats) {
  counts.observedF = {stats.F[XA], stats.F[XB]};
}

void recordPass(PermutationCounts& counts, int32_t pass, const AnovaStats& stats) {
  auto& above = counts.observedAboveCounts[static_cast<size_t>(pass % kPermutationTypes)];
  if (counts.observedF[0] > stats.F[XA]) above[0] += 1.0;
  if (counts.observedF[1] > stats.F[XB]) above[1] += 1.0;
}

void reportPValues(const PermutationCounts& counts, int32_t nperm) {
  const int32_t passes = kPermutationTypes * nperm;
  const double m = passes / 3.0;
  for (int t = 0; t < kPermutationTypes; ++t) {
    std::printf("Permutation test type %d\n", t);
    printPValue("XA", counts.observedAboveCounts[static_cast<size_t>(t)][0], nperm, m);
    printPValue("XB", counts.observedAboveCounts[static_cast<size_t>(t)][1], nperm, m);
    std::printf("\n");
  }
}

}  // namespace tevrol
