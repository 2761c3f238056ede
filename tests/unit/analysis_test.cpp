// Cell membership, the distance table and the ANOVA statistics, on the two
// worked examples, on degenerate designs and against naive recomputations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/anova.h"
#include "analysis/design.h"
#include "analysis/distances.h"
#include "analysis/interaction.h"
#include "data/levels.h"
#include "test_support.h"

namespace tevrol {
namespace {

// A data file taken through every step up to the statistics of the data as read.
struct Analysed {
  explicit Analysed(const std::string& text)
      : table(test::tableFromText(text)),
        design(makeDesign(countCells(*table))),
        members(buildCellMembers(*table, design)),
        loci(buildLocusCodes(*table, members)) {
    buildDistanceTables(loci, observed, working);
    sumWithinGroups(working, design, sums);
    computeFixedStats(stats, design);
    computePassStats(stats, design, sums);
  }

  std::unique_ptr<DataTable> table;
  Design design;
  CellMembers members;
  LocusCodes loci;
  DistanceTable observed;
  DistanceTable working;
  GroupSums sums;
  AnovaStats stats;
};

// Random levels and locus texts, some differing only in case or by a trailing blank.
std::string randomData(std::mt19937& rng, int rows, int levelsA, int levelsB, int loci) {
  static const char* const kTexts[] = {"a", "A", "a ", "ab", "b"};
  std::string text = "XA\tXB";
  for (int l = 0; l < loci; ++l) text += "\tL" + std::to_string(l);
  text += "\n";
  for (int r = 0; r < rows; ++r) {
    const unsigned a = rng() % static_cast<unsigned>(levelsA);
    unsigned b = rng() % static_cast<unsigned>(levelsB);
    if (a == 0 && levelsA > 1 && levelsB > 1) b = 1 + rng() % static_cast<unsigned>(levelsB - 1);
    text += "a" + std::to_string(a) + "\tb" + std::to_string(b);  // cell (a0, b0) stays empty
    for (int l = 0; l < loci; ++l) text += std::string("\t") + kTexts[rng() % 5];
    text += "\n";
  }
  return text;
}

TEST(Distance, BalancedExampleMatrix) {
  const Analysed d(test::kBalancedData);
  const int expected[8][8] = {{0, 1, 2, 2, 0, 0, 1, 2}, {1, 0, 1, 1, 1, 1, 2, 1},
                              {2, 1, 0, 0, 2, 2, 1, 0}, {2, 1, 0, 0, 2, 2, 1, 0},
                              {0, 1, 2, 2, 0, 0, 1, 2}, {0, 1, 2, 2, 0, 0, 1, 2},
                              {1, 2, 1, 1, 1, 1, 0, 1}, {2, 1, 0, 0, 2, 2, 1, 0}};
  ASSERT_EQ(d.design.individuals, 8);
  EXPECT_EQ(d.members.rowAt, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(d.design.levelSizesXA, (std::vector<int32_t>{4, 4}));
  EXPECT_EQ(d.design.levelSizesXB, (std::vector<int32_t>{4, 4}));
  for (int x = 0; x < 8; ++x) {
    for (int y = 0; y < 8; ++y) {
      EXPECT_EQ(d.observed.at(x, y), expected[x][y]) << x << "," << y;
      EXPECT_EQ(d.working.at(x, y), expected[x][y]) << x << "," << y;
    }
  }
  // Row 1 is (p, x, 1), row 6 is (q, y, 0).
  EXPECT_EQ(d.observed.at(d.design, 0, 0, 1, 1, 1, 0), 2);
  EXPECT_EQ(d.working.at(d.design, 0, 0, 1, 1, 1, 0), 2);
}

TEST(Distance, TextsCompareByteForByte) {
  const Analysed d("A\tB\tL\np\tx\ta\np\tx\tA\np\tx\ta \np\tx\ta\n");
  const int expected[4][4] = {{0, 1, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 1, 0}};
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) EXPECT_EQ(d.observed.at(x, y), expected[x][y]) << x << "," << y;
  }
}

// Positions, member rows and distances against a direct reading of the texts,
// on shuffled rows with an empty cell, for one and for several loci.
TEST(Distance, MatchesNaiveTextComparison) {
  std::mt19937 rng(20240611);
  for (const int loci : {1, 3, 6}) {
    for (int trial = 0; trial < 4; ++trial) {
      const Analysed d(randomData(rng, 25, 3, 3, loci));
      const DataTable& t = *d.table;
      const int32_t n = d.design.individuals;
      ASSERT_EQ(n, 25);
      EXPECT_GT(std::count(d.design.cellSize.begin(), d.design.cellSize.end(), 0), 0);
      std::vector<int32_t> rows = d.members.rowAt;
      for (int32_t x = 0; x < n; ++x) {
        const MemberRef m = d.design.member(x);
        const int32_t r = d.members.rowAt[static_cast<size_t>(x)];
        EXPECT_EQ(t.code(r, 0), m.a);
        EXPECT_EQ(t.code(r, 1), m.b);
        if (m.k > 0) {
          EXPECT_LT(d.members.rowAt[static_cast<size_t>(x - 1)], r);  // file order within a cell
        }
      }
      std::sort(rows.begin(), rows.end());
      for (int32_t r = 0; r < n; ++r) EXPECT_EQ(rows[static_cast<size_t>(r)], r);

      for (int32_t x = 0; x < n; ++x) {
        for (int32_t y = 0; y < n; ++y) {
          int naive = 0;
          for (int c = 2; c < 2 + loci; ++c) {
            naive += t.cell(d.members.rowAt[static_cast<size_t>(x)], c) !=
                     t.cell(d.members.rowAt[static_cast<size_t>(y)], c);
          }
          ASSERT_EQ(d.observed.at(x, y), naive) << x << "," << y;
          ASSERT_EQ(d.working.at(x, y), naive);
          ASSERT_EQ(d.observed.at(x, y), d.observed.at(y, x));
        }
        EXPECT_EQ(d.observed.at(x, x), 0);
      }
    }
  }
}

// The within-group sums against plain loops over the pairs of positions.
TEST(Distance, GroupSumsMatchNaivePairLoops) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 6; ++trial) {
    const Analysed d(randomData(rng, 20, 2 + trial % 3, 2 + trial / 3, 2));
    const Design& g = d.design;
    GroupSums naive;
    naive.cell.assign(g.cellSize.size(), 0);
    naive.levelA.assign(static_cast<size_t>(g.levelsA), 0);
    naive.levelB.assign(static_cast<size_t>(g.levelsB), 0);
    for (int32_t x = 0; x < g.individuals; ++x) {
      for (int32_t y = 0; y < g.individuals; ++y) {
        const MemberRef mx = g.member(x);
        const MemberRef my = g.member(y);
        const double dist = d.observed.at(x, y);
        naive.total += dist;
        if (mx.a == my.a && mx.b == my.b)
          naive.cell[static_cast<size_t>(g.cell(mx.a, mx.b))] += dist;
        if (mx.a == my.a) naive.levelA[static_cast<size_t>(mx.a)] += dist;
        if (mx.b == my.b) naive.levelB[static_cast<size_t>(mx.b)] += dist;
      }
    }
    EXPECT_EQ(d.sums.total, naive.total);
    EXPECT_EQ(d.sums.cell, naive.cell);
    EXPECT_EQ(d.sums.levelA, naive.levelA);
    EXPECT_EQ(d.sums.levelB, naive.levelB);
  }
}

TEST(AnovaStats, BalancedExample) {
  const Analysed d(test::kBalancedData);
  const AnovaStats& s = d.stats;
  EXPECT_EQ(d.sums.total, 64);
  EXPECT_EQ(s.seqSS[Total], 4);
  EXPECT_EQ(s.seqSS[Error], 1);
  EXPECT_EQ(s.seqSS[Total] - s.seqSS[XA], 3.5);  // W_A
  EXPECT_EQ(s.adjSS[XA] + s.seqSS[Error], 1.5);  // W_B
  EXPECT_EQ(s.df, (std::array<double, 4>{1, 1, 5, 7}));
  EXPECT_EQ(s.seqSS[XA], 0.5);
  EXPECT_EQ(s.seqSS[XB], 2.5);
  EXPECT_EQ(s.adjSS[XA], 0.5);
  EXPECT_EQ(s.adjSS[XB], 2.5);
  EXPECT_EQ(s.adjSS[Error], 1);
  EXPECT_EQ(s.MS[XA], 0.5);
  EXPECT_EQ(s.MS[XB], 2.5);
  EXPECT_DOUBLE_EQ(s.MS[Error], 0.2);
  EXPECT_DOUBLE_EQ(s.F[XA], 2.5);
  EXPECT_DOUBLE_EQ(s.F[XB], 12.5);
  EXPECT_EQ(s.n[XA], 4);
  EXPECT_EQ(s.n[XB], 4);
  EXPECT_DOUBLE_EQ(s.var[XA], 0.075);
  EXPECT_DOUBLE_EQ(s.var[XB], 0.575);
  EXPECT_DOUBLE_EQ(s.var[Error], 0.2);
  EXPECT_DOUBLE_EQ(s.var[Total], 0.85);
}

// Seq SS and Adj SS of XA differ here.
TEST(AnovaStats, UnbalancedExample) {
  const Analysed d(test::kUnbalancedData);
  const AnovaStats& s = d.stats;
  EXPECT_EQ(d.sums.total, 32);
  EXPECT_DOUBLE_EQ(s.seqSS[Total], 8.0 / 3);
  EXPECT_EQ(s.seqSS[Error], 0.5);
  EXPECT_DOUBLE_EQ(s.seqSS[Total] - s.seqSS[XA], 4.0 / 3);  // W_A
  EXPECT_DOUBLE_EQ(s.adjSS[XA] + s.seqSS[Error], 2);        // W_B
  EXPECT_EQ(s.df, (std::array<double, 4>{1, 1, 3, 5}));
  EXPECT_DOUBLE_EQ(s.n[XA], 8.0 / 3);
  EXPECT_DOUBLE_EQ(s.n[XB], 8.0 / 3);
  EXPECT_DOUBLE_EQ(s.seqSS[XA], 4.0 / 3);
  EXPECT_DOUBLE_EQ(s.adjSS[XA], 1.5);
  EXPECT_DOUBLE_EQ(s.MS[XA], 1.5);
  EXPECT_DOUBLE_EQ(s.F[XA], 9);
  EXPECT_DOUBLE_EQ(s.var[XA], 0.5);
  EXPECT_DOUBLE_EQ(s.seqSS[XB], 5.0 / 6);
  EXPECT_DOUBLE_EQ(s.adjSS[XB], 5.0 / 6);
  EXPECT_DOUBLE_EQ(s.MS[XB], 5.0 / 6);
  EXPECT_DOUBLE_EQ(s.F[XB], 5);
  EXPECT_DOUBLE_EQ(s.var[XB], 0.25);
  EXPECT_EQ(s.adjSS[Error], 0.5);
  EXPECT_DOUBLE_EQ(s.MS[Error], 1.0 / 6);
  EXPECT_DOUBLE_EQ(s.var[Error], 1.0 / 6);
  EXPECT_DOUBLE_EQ(s.var[Total], 11.0 / 12);
}

// Effect sizes from the table's own numbers; a variance component below 0
// gives a negative Phi, as computed.
TEST(AnovaStats, EffectSizesOfTheUnbalancedExample) {
  const Analysed d(test::kUnbalancedData);
  const MainEffects e = computeMainEffects(d.stats);
  EXPECT_DOUBLE_EQ(e.factor[0].r2Seq, 0.5);     // 4/3 of 8/3
  EXPECT_DOUBLE_EQ(e.factor[0].r2Adj, 0.5625);  // 1.5 of 8/3
  EXPECT_DOUBLE_EQ(e.factor[1].r2Seq, 0.3125);  // 5/6 of 8/3
  EXPECT_DOUBLE_EQ(e.factor[0].phi, 6.0 / 11);  // 0.5 of 11/12
  EXPECT_DOUBLE_EQ(e.factor[1].varPercent, 300.0 / 11);
  EXPECT_DOUBLE_EQ(e.errorVarPercent, 200.0 / 11);
  AnovaStats negative = d.stats;
  negative.var = {-0.25, 0.25, 1.0, 1.0};
  EXPECT_EQ(computeMainEffects(negative).factor[0].phi, -0.25);
  EXPECT_EQ(computeMainEffects(negative).factor[0].varPercent, -25);
}

// n[XA] sums Q_b over XB levels and divides by A - 1; n[XB] the other way round.
TEST(AnovaStats, FixedStatsOfAnAsymmetricDesign) {
  CellCounts counts;
  counts.levelsA = 3;
  counts.levelsB = 2;
  counts.counts = {1, 2, 3, 4, 0, 5};
  AnovaStats s;
  computeFixedStats(s, makeDesign(counts));
  EXPECT_EQ(s.df, (std::array<double, 4>{2, 1, 11, 14}));
  EXPECT_DOUBLE_EQ(s.n[XA], (15 - (10.0 / 4 + 45.0 / 11)) / 2);
  EXPECT_DOUBLE_EQ(s.n[XB], 15 - (5.0 / 3 + 25.0 / 7 + 25.0 / 5));
}

// Cell (p, y) never occurs: it adds nothing and enters no divisor.
TEST(AnovaStats, EmptyCellAddsNothing) {
  const Analysed d("A\tB\tL\np\tx\t1\nq\ty\t2\np\tx\t2\nq\tx\t1\n");
  EXPECT_EQ(d.design.cellStart, (std::vector<int32_t>{0, 2, 2, 3, 4}));
  EXPECT_EQ(d.members.rowAt, (std::vector<int32_t>{0, 2, 3, 1}));
  EXPECT_EQ(d.sums.cell[1], 0);
  const AnovaStats& s = d.stats;
  EXPECT_EQ(s.df, (std::array<double, 4>{1, 1, 1, 3}));
  EXPECT_DOUBLE_EQ(s.n[XA], 4.0 / 3);
  EXPECT_DOUBLE_EQ(s.n[XB], 1);
  EXPECT_EQ(s.seqSS[Total], 1);
  EXPECT_EQ(s.seqSS[Error], 0.5);
  EXPECT_EQ(s.seqSS[XA], 0);
  EXPECT_EQ(s.seqSS[XB], 0.5);
  EXPECT_DOUBLE_EQ(s.adjSS[XA], 1.0 / 6);
  EXPECT_DOUBLE_EQ(s.F[XA], 1.0 / 3);
  EXPECT_DOUBLE_EQ(s.F[XB], 1);
}

TEST(AnovaStats, SingleLevelOfXAGivesNotANumber) {
  const Analysed d("A\tB\tL\np\tx\t1\np\tx\t2\np\ty\t1\np\ty\t3\n");
  const AnovaStats& s = d.stats;
  EXPECT_EQ(s.df[XA], 0);
  EXPECT_EQ(s.seqSS[XA], 0);
  EXPECT_EQ(s.adjSS[XA], 0);
  for (const double v : {s.MS[XA], s.F[XA], s.n[XA], s.var[XA], s.var[Total]}) {
    EXPECT_TRUE(std::isnan(v)) << v;
  }
  EXPECT_TRUE(std::isfinite(s.F[XB]));
}

TEST(AnovaStats, NoErrorDegreesOfFreedom) {
  // N - A - B + 1 = 0, every cell a single individual: MS[Error] = 0 / 0.
  const Analysed none("A\tB\tL\np\tx\t1\np\ty\t2\nq\tx\t2\n");
  const AnovaStats& zero = none.stats;
  EXPECT_EQ(zero.df[Error], 0);
  EXPECT_TRUE(std::isnan(zero.MS[Error]));
  EXPECT_TRUE(std::isnan(zero.F[XA]));
  // N - A - B + 1 = -1 with a within-cell difference: MS[Error] = 0.5 / -1.
  const Analysed below("A\tB\tL\np\tx\t1\np\tx\t2\nq\ty\t1\nr\tz\t1\n");
  const AnovaStats& negative = below.stats;
  EXPECT_EQ(negative.df[Error], -1);
  EXPECT_EQ(negative.seqSS[Error], 0.5);
  EXPECT_EQ(negative.MS[Error], -0.5);
}

TEST(AnovaStats, IdenticalCellsGiveInfiniteF) {
  const Analysed d(
      "A\tB\tL\np\tx\t1\np\tx\t1\np\ty\t2\np\ty\t2\nq\tx\t1\nq\tx\t1\nq\ty\t1\nq\ty\t1\n");
  const AnovaStats& s = d.stats;
  EXPECT_EQ(s.seqSS[Error], 0);
  EXPECT_EQ(s.MS[Error], 0);
  EXPECT_EQ(s.seqSS[Total], 1.5);
  EXPECT_EQ(s.adjSS[XA], 1);
  EXPECT_EQ(s.adjSS[XB], 1);
  EXPECT_TRUE(std::isinf(s.F[XA]) && s.F[XA] > 0);
  EXPECT_TRUE(std::isinf(s.F[XB]) && s.F[XB] > 0);
}

}  // namespace
}  // namespace tevrol
