#pragma once

#include <cstdint>
#include <atomic>
#include <vector>

#include "analysis/design.h"
#include "run/run_result.h"
#include "run/settings.h"

namespace tevrol {

class Random;

// Most levels of a factor whose pairs are compared: 4950 pairs, each a run
// of its own. More is a column of identifiers taken for a factor, whose
// pairs would run for days.
constexpr int32_t kMaxPairwiseLevels = 100;

// The pairwise comparisons of the levels of each factor: for each pair, in
// level order ((0, 1), (0, 2), ..., (1, 2), ...), the analysis of the
// individuals at those two levels with every level of the other factor that
// has individuals there, tested by nperm permutations of the type that
// holds the other factor fixed (type 0 for XA, type 1 for XB). All pairs of
// XA come first, then those of XB; the arrangements are drawn from `random`
// in that order, after everything else of the run. With `interaction` each
// pair's table with interaction is tested by the same permutations. A set
// cancel flag stops them as it stops the run.
std::vector<PairComparison> comparePairs(const Design& design, const LocusCodes& loci,
                                         int32_t nperm, Random& random, const Settings& settings,
                                         bool interaction, const std::atomic<bool>* cancel);

}  // namespace tevrol
