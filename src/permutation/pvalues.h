#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/anova.h"
#include "analysis/interaction.h"
#include "permutation/arrangement.h"

namespace tevrol {

// What the permutation tests keep: the observed F of XA and XB, and per type
// the number of passes in which the observed F was greater than the permuted
// one (held as doubles, as whole numbers).
struct PermutationCounts {
  std::array<double, 2> observedF{};
  std::array<std::array<double, 2>, kPermutationTypes> observedAboveCounts{};
};

void recordObserved(PermutationCounts& counts, const AnovaStats& stats);

// Pass p >= 0 is of type p mod 3. A strict greater-than: ties, and pairs with
// a not-a-number, count toward P.
void recordPass(PermutationCounts& counts, int32_t pass, const AnovaStats& stats);
void recordPassOfType(PermutationCounts& counts, int type, const AnovaStats& stats);

// The permutation tests of the table with interaction: each row is tested
// by the passes of one type, XA by type 0 (individuals exchanged within
// levels of XB), XB by type 1, XA:XB by type 2, so that index t is both the
// type and the row (IntXA, IntXB, IntXAB).
struct InteractionCounts {
  std::array<double, kPermutationTypes> observedF{};
  std::array<double, kPermutationTypes> observedAbove{};
};

void recordInteractionObserved(InteractionCounts& counts, const InteractionStats& stats);
void recordInteractionPassOfType(InteractionCounts& counts, int type,
                                 const InteractionStats& stats);

// The P value of one factor in one test, as the report prints it: the share
// of passes not beaten by the observed F, or the bound 1 / nperm (bound set)
// when the observed F beat them all; se is its standard error.
struct PValue {
  double p = 0;
  double se = 0;
  bool bound = false;
};

// count: passes of the type in which the observed F was greater (see above).
PValue computePValue(double count, int32_t nperm);

// P values adjusted for the number of tests, in the order given: Holm's
// step-down method (the k-th smallest times m - k + 1, never below the one
// before) and Benjamini and Hochberg's step-up method (the k-th smallest
// times m / k, never above the one after), both at most 1. Ties take the
// same adjusted value.
std::vector<double> holmAdjusted(const std::vector<double>& p);
std::vector<double> benjaminiHochbergAdjusted(const std::vector<double>& p);

}  // namespace tevrol
