// Arrangements of the three permutation types, the P value report and whole
// reference runs of the pass loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/anova.h"
#include "analysis/design.h"
#include "analysis/distances.h"
#include "base/fatal.h"
#include "data/levels.h"
#include "engine/engine.h"
#include "permutation/arrangement.h"
#include "permutation/pass_loop.h"
#include "permutation/pvalues.h"
#include "permutation/random.h"
#include "run/report.h"
#include "run/run.h"
#include "test_support.h"

namespace tevrol {
namespace {

// A data file with its distance tables and fixed statistics, ready for a pass loop.
struct Fixture {
  explicit Fixture(const std::string& text)
      : table(test::tableFromText(text)),
        design(makeDesign(countCells(*table))),
        members(buildCellMembers(*table, design)),
        loci(buildLocusCodes(*table, members)) {
    buildDistanceTables(loci, observed, working);
    computeFixedStats(stats, design);
  }

  std::unique_ptr<DataTable> table;
  Design design;
  CellMembers members;
  LocusCodes loci;
  DistanceTable observed;
  DistanceTable working;
  AnovaStats stats;
};

// Draws n deviates from a generator seeded like `random` was and compares states.
void expectDrewDeviates(const Random& random, Random& twin, int32_t n) {
  for (int32_t i = 0; i < n; ++i) twin.uniform();
  EXPECT_EQ(random.state1(), twin.state1());
  EXPECT_EQ(random.state2(), twin.state2());
  EXPECT_EQ(random.shuffleOut(), twin.shuffleOut());
}

// The unbalanced example has cells n00 = 2, n01 = 1, n10 = 1, n11 = 2: positions
// 0 ... 5 are (a b k) 000, 001, 010, 100, 110, 111.
TEST(Arrangement, WorkedExampleSeedMinusOne) {
  Fixture f(test::kUnbalancedData);
  ASSERT_EQ(f.design.cellSize, (std::vector<int32_t>{2, 1, 1, 2}));
  const std::vector<int32_t> expected[3] = {
      {0, 3, 4, 1, 5, 2}, {1, 2, 0, 4, 5, 3}, {2, 3, 0, 4, 5, 1}};
  const std::array<double, 2> expectedF[3] = {{1, 7.0 / 3}, {9, 5}, {7.0 / 3, 1}};
  Arrangements arrangements(f.design);
  Random random;
  Random twin;
  random.setSeed(-1);
  twin.setSeed(-1);
  GroupSums sums;
  for (int type = 0; type < 3; ++type) {
    std::vector<int32_t> assignment(6, -1);
    arrangements.draw(type, random, assignment.data());
    EXPECT_EQ(assignment, expected[type]) << "type " << type;
    expectDrewDeviates(random, twin, 6);

    applyArrangement(f.observed, assignment.data(), f.working);
    EXPECT_EQ(f.working.at(0, 1), f.observed.at(assignment[0], assignment[1]));
    sumWithinGroups(f.working, f.design, sums);
    computePassStats(f.stats, f.design, sums);
    EXPECT_EQ(sums.total, 32);
    EXPECT_DOUBLE_EQ(f.stats.F[XA], expectedF[type][0]) << "type " << type;
    EXPECT_DOUBLE_EQ(f.stats.F[XB], expectedF[type][1]) << "type " << type;
  }
  // Every draw starts afresh from the observed layout.
  random.setSeed(-1);
  std::vector<int32_t> again(6, -1);
  arrangements.draw(0, random, again.data());
  EXPECT_EQ(again, expected[0]);
}

// On random designs, empty cells included: every arrangement is a permutation
// of the positions, type 0 keeps the XB level, type 1 the XA level, and each
// draw costs exactly N deviates.
TEST(Arrangement, PoolInvariantsOnRandomDesigns) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 40; ++trial) {
    CellCounts counts;
    counts.levelsA = 1 + static_cast<int32_t>(rng() % 4);
    counts.levelsB = 1 + static_cast<int32_t>(rng() % 4);
    counts.counts.resize(static_cast<size_t>(counts.levelsA * counts.levelsB));
    for (int32_t& n : counts.counts) n = static_cast<int32_t>(rng() % 4);
    counts.counts[0] += 1;
    const Design design = makeDesign(counts);
    const int32_t n = design.individuals;
    Arrangements arrangements(design);
    Random random;
    Random twin;
    Random split;
    random.setSeed(-1 - trial);
    twin.setSeed(-1 - trial);
    split.setSeed(-1 - trial);
    for (int draw = 0; draw < 6; ++draw) {
      const int type = draw % 3;
      std::vector<int32_t> assignment(static_cast<size_t>(n), -1);
      arrangements.draw(type, random, assignment.data());
      expectDrewDeviates(random, twin, n);
      // The pass loop draws the indices first and applies them later, on
      // another thread: the same arrangement.
      std::vector<int32_t> indices(static_cast<size_t>(n));
      std::vector<int32_t> pool(static_cast<size_t>(n));
      std::vector<int32_t> applied(static_cast<size_t>(n), -1);
      arrangements.drawIndices(type, split, indices.data());
      arrangements.applyIndices(type, indices.data(), pool.data(), applied.data());
      EXPECT_EQ(applied, assignment) << "type " << type;
      for (int32_t x = 0; x < n; ++x) {
        const MemberRef at = design.member(x);
        const MemberRef from = design.member(assignment[static_cast<size_t>(x)]);
        if (type == 0) {
          EXPECT_EQ(from.b, at.b);
        } else if (type == 1) {
          EXPECT_EQ(from.a, at.a);
        }
      }
      std::sort(assignment.begin(), assignment.end());
      for (int32_t x = 0; x < n; ++x) ASSERT_EQ(assignment[static_cast<size_t>(x)], x);
    }
  }
}

std::string pvalueReport(int32_t nperm, const PermutationCounts& counts) {
  RunResult result;
  result.nperm = nperm;
  result.tests = permutationTests(counts, nperm);
  std::string out;
  appendPValues(out, result);
  return out;
}

std::string pvalueReport(int32_t nperm, const std::array<std::array<double, 2>, 3>& above) {
  PermutationCounts counts;
  counts.observedAboveCounts = above;
  return pvalueReport(nperm, counts);
}

TEST(PValue, ReportBlocks) {
  EXPECT_EQ(pvalueReport(100, {{{95, 100}, {0, 50}, {100, 95}}}),
            "Permutation test type 0\n"
            "P value for XA    =      0.05\t(se    =    0.0217)\n"
            "P value for XB    <      0.01\t(se    =    0.0099)\n"
            "\n"
            "Permutation test type 1\n"
            "P value for XA    =         1\t(se    =         0)\n"
            "P value for XB    =       0.5\t(se    =    0.0498)\n"
            "\n"
            "Permutation test type 2\n"
            "P value for XA    <      0.01\t(se    =    0.0099)\n"
            "P value for XB    =      0.05\t(se    =    0.0217)\n"
            "\n");
  const std::string block =
      "Permutation test type 0\n"
      "P value for XA    <     0.001\t(se    =  0.000999)\n"
      "P value for XB    =     0.001\t(se    =  0.000999)\n"
      "\n"
      "Permutation test type 1\n"
      "P value for XA    =     0.012\t(se    =   0.00344)\n";
  EXPECT_EQ(pvalueReport(1000, {{{1000, 999}, {988, 0}, {0, 0}}}).substr(0, block.size()), block);
}

// A count equal to nperm is always the "<" line with the bound 1 / nperm,
// also where nperm / nperm formed another way would fall short of 1.
TEST(PValue, FullCountGivesTheBound) {
  for (const int32_t nperm : {100, 103, 107, 161, 1000, 9999}) {
    const double c = nperm;
    const std::string text = pvalueReport(nperm, {{{c, c}, {c, c}, {c, c}}});
    char expected[100];
    const double p = 1.0 / nperm;
    std::snprintf(expected, sizeof expected, "P value for XA    < %9.3g\t(se    = %9.3g)\n", p,
                  std::sqrt((1 - p) * p / (nperm + 1)));
    EXPECT_NE(text.find(expected), std::string::npos) << nperm << "\n" << text;
    size_t boundLines = 0;
    for (size_t at = text.find("    < "); at != std::string::npos;
         at = text.find("    < ", at + 1)) {
      ++boundLines;
    }
    EXPECT_EQ(boundLines, 6u) << nperm << "\n" << text;
  }
}

TEST(PValue, RecordPassCountsOnlyStrictlyGreater) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  AnovaStats stats;
  PermutationCounts counts;
  stats.F = {2.5, 12.5, 0, 0};
  recordObserved(counts, stats);
  EXPECT_EQ(counts.observedF, (std::array<double, 2>{2.5, 12.5}));
  const auto pass = [&](int32_t p, double fa, double fb) {
    stats.F = {fa, fb, 0, 0};
    recordPass(counts, p, stats);
  };
  pass(0, 2.5, 12.4);  // tie on XA
  pass(3, 2.4, 12.6);
  pass(1, nan, inf);
  pass(5, -inf, 12.5);
  pass(299, nan, 12.0);
  EXPECT_EQ(counts.observedAboveCounts[0], (std::array<double, 2>{1, 1}));
  EXPECT_EQ(counts.observedAboveCounts[1], (std::array<double, 2>{0, 0}));
  EXPECT_EQ(counts.observedAboveCounts[2], (std::array<double, 2>{1, 1}));

  // An observed F that is not a number beats nothing.
  PermutationCounts undefined;
  stats.F = {nan, 1, 0, 0};
  recordObserved(undefined, stats);
  stats.F = {-inf, 0, 0, 0};
  for (int32_t p = 0; p < 6; ++p) recordPass(undefined, p, stats);
  for (const auto& above : undefined.observedAboveCounts) {
    EXPECT_EQ(above, (std::array<double, 2>{0, 2}));  // two passes per type
  }
}

struct RunRecord {
  PermutationCounts counts;
  std::vector<int32_t> passes;
  std::vector<std::array<double, 2>> F;
  std::vector<double> ssTotal;
  int observedCalls = 0;
};

// A whole reference run with seed -1 and nperm 100.
RunRecord referenceRun(const char* data, bool withObserver) {
  Fixture f(data);
  Random random;
  random.setSeed(-1);
  RunRecord out;
  std::function<void(const AnovaStats&)> onObserved;
  if (withObserver) onObserved = [&](const AnovaStats&) { ++out.observedCalls; };
  const PassLoop loop{
      f.design, 100, random, f.stats, out.counts, onObserved, [&](int32_t p, const AnovaStats& s) {
        out.passes.push_back(p);
        out.F.push_back({s.F[XA], s.F[XB]});
        out.ssTotal.push_back(s.seqSS[Total]);
      }};
  const auto engine = makeEngine(f.design, f.loci, 100, findEngineMode("reference"), 1);
  runEngineLoop(loop, *engine, 1);
  return out;
}

// A flag set from another thread (here from the first pass) stops the loop
// at the end of the batch in hand, with an error instead of counts.
TEST(PermutationRun, CancelledLoopStopsWithinABatch) {
  Fixture f(test::kUnbalancedData);
  Random random;
  random.setSeed(-1);
  PermutationCounts counts;
  std::atomic<bool> cancel{false};
  int32_t recorded = 0;
  const PassLoop loop{f.design,
                      1000,
                      random,
                      f.stats,
                      counts,
                      nullptr,
                      [&](int32_t, const AnovaStats&) {
                        ++recorded;
                        cancel = true;
                      },
                      &cancel};
  const auto engine = makeEngine(f.design, f.loci, 1000, findEngineMode("reference"), 2);
  try {
    runEngineLoop(loop, *engine, 2);
    FAIL() << "no error";
  } catch (const RunError& error) {
    EXPECT_STREQ(error.what(), "Interrupted");
  }
  EXPECT_LE(recorded, 1 + 256);  // the observed pass and one batch
}

// Holm and Benjamini-Hochberg by hand: ties take one value, P = 1 stays 1,
// no adjusted P exceeds 1, and the results keep the order given.
TEST(PValue, AdjustedForTheNumberOfPairs) {
  const std::vector<double> p = {0.01, 0.04, 0.04, 0.02, 1.0, 0.5};
  const std::vector<double> holm = {0.06, 0.16, 0.16, 0.10, 1.0, 1.0};
  const std::vector<double> bh = {0.06, 0.06, 0.06, 0.06, 1.0, 0.6};
  const std::vector<double> gotHolm = holmAdjusted(p);
  const std::vector<double> gotBH = benjaminiHochbergAdjusted(p);
  for (size_t k = 0; k < p.size(); ++k) {
    EXPECT_DOUBLE_EQ(holm[k], gotHolm[k]) << k;
    EXPECT_DOUBLE_EQ(bh[k], gotBH[k]) << k;
  }
  EXPECT_EQ(holmAdjusted({0.3}), std::vector<double>{0.3});
}

TEST(PermutationRun, UnbalancedExampleReferenceRun) {
  const RunRecord run = referenceRun(test::kUnbalancedData, true);
  EXPECT_EQ(run.observedCalls, 1);
  ASSERT_EQ(run.passes.size(), 301u);
  for (size_t i = 0; i < run.passes.size(); ++i) {
    EXPECT_EQ(run.passes[i], static_cast<int32_t>(i) - 1);
    EXPECT_EQ(run.ssTotal[i], run.ssTotal[0]);
  }
  EXPECT_EQ(run.counts.observedF, (std::array<double, 2>{run.F[0][0], run.F[0][1]}));
  EXPECT_DOUBLE_EQ(run.F[0][0], 9);
  EXPECT_DOUBLE_EQ(run.F[0][1], 5);
  EXPECT_DOUBLE_EQ(run.F[1][0], 1);
  EXPECT_DOUBLE_EQ(run.F[1][1], 7.0 / 3);
  EXPECT_DOUBLE_EQ(run.F[2][0], 9);
  EXPECT_DOUBLE_EQ(run.F[3][1], 1);
  const std::array<std::array<double, 2>, 3> expected = {{{80, 80}, {21, 21}, {82, 75}}};
  EXPECT_EQ(run.counts.observedAboveCounts, expected);
}

TEST(PermutationRun, BalancedExampleReferenceRun) {
  const RunRecord run = referenceRun(test::kBalancedData, false);
  const std::array<std::array<double, 2>, 3> expected = {{{0, 0}, {45, 93}, {47, 88}}};
  EXPECT_EQ(run.counts.observedAboveCounts, expected);
  EXPECT_EQ(pvalueReport(100, run.counts),
            "Permutation test type 0\n"
            "P value for XA    =         1\t(se    =         0)\n"
            "P value for XB    =         1\t(se    =         0)\n"
            "\n"
            "Permutation test type 1\n"
            "P value for XA    =      0.55\t(se    =    0.0495)\n"
            "P value for XB    =      0.07\t(se    =    0.0254)\n"
            "\n"
            "Permutation test type 2\n"
            "P value for XA    =      0.53\t(se    =    0.0497)\n"
            "P value for XB    =      0.12\t(se    =    0.0323)\n"
            "\n");
}

}  // namespace
}  // namespace tevrol
