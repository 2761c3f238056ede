#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/anova.h"
#include "analysis/interaction.h"
#include "data/input.h"
#include "permutation/arrangement.h"
#include "permutation/pvalues.h"

namespace tevrol {

// Everything one run yields, as plain data: the text report, the JSON file,
// the null file (and any other front end) are each rendered from it.
// Texts are the bytes of the data file, not necessarily UTF-8.

struct FactorLevels {
  std::string name;                 // header of the factor's column
  std::vector<std::string> levels;  // in order of first appearance
};

// One factor in one permutation test.
struct FactorTest {
  PValue value;         // as the report prints it
  int64_t extreme = 0;  // passes whose F was not below the observed F
};

struct PermutationTest {
  std::array<FactorTest, 2> factor;  // [XA], [XB]
};

// The table with interaction and its tests: XA by the passes of type 0, XB
// by type 1, XA:XB by type 2 (index t is the type and the row).
struct InteractionResult {
  InteractionStats table;
  std::array<FactorTest, kPermutationTypes> tests;
};

// One factor's test in a pairwise comparison: its F and R2 (Adj SS over
// Total SS) in the pair's analysis, its P value, and that P value adjusted
// over the pairs of the factor.
struct PairTest {
  double F = 0;
  double r2 = 0;
  FactorTest test;
  double holm = 0;
  double bh = 0;  // Benjamini-Hochberg
};

// Two levels of one factor compared (see run/pairwise.h).
struct PairComparison {
  int factor = 0;  // XA or XB
  int32_t first = 0;
  int32_t second = 0;  // level codes, first < second
  int64_t individuals = 0;
  PairTest main;             // the main table's F
  PairTest withInteraction;  // the table with interaction's F, when asked
};

// The F of XA and XB in one permuted pass.
using PassF = std::array<double, 2>;

struct RunResult {
  std::string file;
  int32_t nperm = 0;
  int32_t seed = 0;
  int64_t individuals = 0;
  int64_t loci = 0;  // locus columns, or the alignment's sites
  InputSummary input;
  std::array<FactorLevels, 2> factors;  // [XA], [XB]
  // Individuals per cell: sampleSizes[a * levelsB + b], level codes from 0.
  std::vector<int32_t> sampleSizes;
  AnovaStats anova;  // the observed pass
  std::array<PermutationTest, kPermutationTypes> tests;
  // Only when asked for: the permuted F of every pass, in pass order (pass p
  // is of type p % 3 and is permutation p / 3 + 1 of its type).
  std::vector<PassF> nullF;
  // Always: the effect sizes of the main table.
  MainEffects effects;
  // The blocks the report adds after the P values, as asked for.
  bool showInteraction = false;
  bool showEffects = false;
  bool showPairwise = false;
  // With showPairwise only: XA's pairs, then XB's.
  std::vector<PairComparison> pairwise;
  // With showInteraction only.
  InteractionResult interaction;

  size_t levelCount(int factor) const { return factors[static_cast<size_t>(factor)].levels.size(); }
};

}  // namespace tevrol
