#include "run/pairwise.h"

#include <utility>

#include "analysis/interaction.h"
#include "data/levels.h"
#include "engine/engine.h"
#include "permutation/pass_loop.h"
#include "permutation/pvalues.h"
#include "run/run.h"

namespace tevrol {

namespace {

size_t sz(int64_t value) {
  return static_cast<size_t>(value);
}

// The individuals of a pair of levels of one factor as a design of their
// own: the pair's two levels, and the levels of the other factor that have
// individuals at either, in their order; positions laid out as in any
// design, each cell's members in file order.
struct Subset {
  Design design;
  LocusCodes loci;
};

Subset subsetOf(const Design& design, const LocusCodes& loci, int factor, int32_t first,
                int32_t second) {
  const bool byA = factor == XA;
  const int32_t others = byA ? design.levelsB : design.levelsA;
  const auto cellOf = [&](int32_t level, int32_t other) {
    return byA ? design.cell(level, other) : design.cell(other, level);
  };
  std::vector<int32_t> kept;
  for (int32_t o = 0; o < others; ++o) {
    if (design.cellSize[sz(cellOf(first, o))] + design.cellSize[sz(cellOf(second, o))] > 0) {
      kept.push_back(o);
    }
  }
  const auto keptCount = static_cast<int32_t>(kept.size());
  CellCounts counts{byA ? 2 : keptCount, byA ? keptCount : 2,
                    std::vector<int32_t>(2 * kept.size(), 0)};
  Subset subset{{}, loci};
  subset.loci.rowOf.clear();
  const auto take = [&](int32_t level, int32_t o, int32_t& count) {
    const int32_t c = cellOf(level, o);
    count = design.cellSize[sz(c)];
    for (int32_t x = design.cellStart[sz(c)]; x < design.cellStart[sz(c) + 1]; ++x) {
      subset.loci.rowOf.push_back(loci.rowOf[sz(x)]);
    }
  };
  // Cells in a-then-b order.
  if (byA) {
    for (int32_t k = 0; k < 2; ++k) {
      for (int32_t j = 0; j < keptCount; ++j)
        take(k == 0 ? first : second, kept[sz(j)], counts.at(k, j));
    }
  } else {
    for (int32_t j = 0; j < keptCount; ++j) {
      for (int32_t k = 0; k < 2; ++k) take(k == 0 ? first : second, kept[sz(j)], counts.at(j, k));
    }
  }
  subset.design = makeDesign(counts);
  subset.loci.individuals = subset.design.individuals;
  // S_T of the subset: at each locus, the pairs of which both have a value
  // less those whose values agree.
  int64_t total = 0;
  std::vector<int64_t> valueCounts;
  for (int32_t l = 0; l < loci.loci; ++l) {
    valueCounts.assign(sz(loci.valueCount[sz(l)]), 0);
    for (int32_t i = 0; i < subset.loci.individuals; ++i) ++valueCounts[subset.loci.code(i, l)];
    const uint32_t missing = loci.missingCode(l);
    const int64_t absent = missing < valueCounts.size() ? valueCounts[missing] : 0;
    const int64_t present = subset.loci.individuals - absent;
    total += present * present + absent * absent;
    for (const int64_t c : valueCounts) total -= c * c;
  }
  subset.loci.totalSum = total;
  return subset;
}

}  // namespace

std::vector<PairComparison> comparePairs(const Design& design, const LocusCodes& loci,
                                         int32_t nperm, Random& random, const Settings& settings,
                                         bool interaction, const std::atomic<bool>* cancel) {
  std::vector<PairComparison> pairs;
  for (const int factor : {XA, XB}) {
    const int32_t levels = factor == XA ? design.levelsA : design.levelsB;
    const size_t firstOfFactor = pairs.size();
    for (int32_t first = 0; first < levels; ++first) {
      for (int32_t second = first + 1; second < levels; ++second) {
        const Subset subset = subsetOf(design, loci, factor, first, second);
        AnovaStats stats;
        computeFixedStats(stats, subset.design);
        PermutationCounts counts;
        std::unique_ptr<InteractionDesign> model;
        std::unique_ptr<InteractionLoop> withInteraction;
        if (interaction) {
          model = std::make_unique<InteractionDesign>(makeInteractionDesign(subset.design));
          withInteraction = std::make_unique<InteractionLoop>(InteractionLoop{*model, {}, {}});
        }
        // The type that holds the other factor fixed has the factor's number.
        const PassLoop loop{subset.design, nperm,  random, stats, counts, nullptr, nullptr, cancel,
                            withInteraction.get(), factor, true};
        const auto engine = makeEngine(subset.design, subset.loci, nperm, settings.engine,
                                       settings.threads, interaction);
        runEngineLoop(loop, *engine, settings.threads);

        PairComparison pair;
        pair.factor = factor;
        pair.first = first;
        pair.second = second;
        pair.individuals = subset.design.individuals;
        pair.main.F = stats.F[sz(factor)];
        pair.main.r2 = stats.adjSS[sz(factor)] / stats.seqSS[Total];
        pair.main.test = factorTest(counts.observedAboveCounts[sz(factor)][sz(factor)], nperm);
        if (interaction) {
          const InteractionStats& s = withInteraction->observed;
          pair.withInteraction.F = s.F[sz(factor)];
          pair.withInteraction.r2 = s.R2adj[sz(factor)];
          pair.withInteraction.test =
              factorTest(withInteraction->counts.observedAbove[sz(factor)], nperm);
        }
        pairs.push_back(pair);
      }
    }
    // Adjusted over the pairs of this factor.
    for (const bool ofInteraction : {false, true}) {
      if (ofInteraction && !interaction) continue;
      std::vector<double> p;
      for (size_t k = firstOfFactor; k < pairs.size(); ++k) {
        p.push_back((ofInteraction ? pairs[k].withInteraction : pairs[k].main).test.value.p);
      }
      const std::vector<double> holm = holmAdjusted(p);
      const std::vector<double> bh = benjaminiHochbergAdjusted(p);
      for (size_t k = firstOfFactor; k < pairs.size(); ++k) {
        PairTest& test = ofInteraction ? pairs[k].withInteraction : pairs[k].main;
        test.holm = holm[k - firstOfFactor];
        test.bh = bh[k - firstOfFactor];
      }
    }
  }
  return pairs;
}

}  // namespace tevrol
