#include "analysis/distances.h"
#include "permutation/arrangement.h"
#include "permutation/pass_loop.h"
#include "permutation/random.h"

namespace tevrol {

void runReferenceLoop(const PassLoop& loop, const DistanceTable& observed, DistanceTable& working) {
  Arrangements arrangements(loop.design);
  std::vector<int32_t> cellAssignment(static_cast<size_t>(loop.design.individuals));
  GroupSums sums;
  const int32_t passes = kPermutationTypes * loop.nperm;
  for (int32_t p = -1; p < passes; ++p) {
    sumWithinGroups(working, loop.design, sums);
    computePassStats(loop.stats, loop.design, sums);
    if (loop.onPass) loop.onPass(p, loop.stats);
    if (p == -1) {
      if (loop.onObserved) loop.onObserved(loop.stats);
      recordObserved(loop.counts, loop.stats);
    } else {
      recordPass(loop.counts, p, loop.stats);
    }
    arrangements.draw((p + 1) % kPermutationTypes, loop.random, cellAssignment.data());
    applyArrangement(observed, cellAssignment.data(), working);
  }
}

}  // namespace tevrol
