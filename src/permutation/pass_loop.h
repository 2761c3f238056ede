#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "analysis/anova.h"
#include "analysis/design.h"
#include "analysis/interaction.h"
#include "permutation/pvalues.h"

namespace tevrol {

class Engine;
class Random;

// The table with interaction, computed in every pass beside the main table
// from the same arrangements; the engine must give the sums between levels.
struct InteractionLoop {
  const InteractionDesign& model;
  InteractionStats observed;  // filled in the observed pass
  InteractionCounts counts;
};

// What a pass loop works with and reports to. Pass -1 is the observed layout;
// pass p >= 0 reads an arrangement of type p mod 3, drawn at the end of pass
// p - 1, so the arrangements come from the generator in one fixed order.
struct PassLoop {
  const Design& design;
  int32_t nperm;
  Random& random;
  AnovaStats& stats;  // df and n already computed
  PermutationCounts& counts;
  // Called once, with the statistics of the observed pass (prints the table).
  std::function<void(const AnovaStats&)> onObserved;
  // Optional: every pass's statistics, in pass order, -1 first.
  std::function<void(int32_t, const AnovaStats&)> onPass;
  // Optional: once set, no further pass is evaluated and the loop throws a
  // RunError "Interrupted".
  const std::atomic<bool>* cancel = nullptr;
  // Optional: the table with interaction.
  InteractionLoop* interaction = nullptr;
  // 0, 1 or 2: nperm passes of this type only (a pairwise comparison);
  // -1: 3 nperm passes of the types in turn.
  int onlyType = -1;
  // Short passes too are shared between threads, so that one draws the next
  // batch while the others evaluate this one (the pairwise comparisons,
  // whose many small loops would otherwise draw and evaluate by turns).
  bool shareShortPasses = false;
};

// The loop: arrangements are drawn in pass order into batches; while one
// batch is drawn the previous one is evaluated by `threads` threads (this one
// included). Passes are recorded in order, so the counts do not depend on the
// number of threads.
void runEngineLoop(const PassLoop& loop, const Engine& engine, int threads);

}  // namespace tevrol
