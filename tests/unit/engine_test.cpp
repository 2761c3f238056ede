// The fast engine against the literal N x N computation: on random designs
// every pass must give bit-identical statistics, whatever the mode and the
// number of threads.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analysis/distances.h"
#include "analysis/interaction.h"
#include "data/levels.h"
#include "permutation/pass_loop.h"
#include "permutation/random.h"
#include "test_support.h"

namespace tevrol {
namespace {

struct Shape {
  int individuals;
  int levelsA;
  int levelsB;
  int loci;
  int values;  // distinct texts per locus at most
  bool holes;  // leave some cells empty
  // Share of missing texts (Z or ?) at loci 1, 4, 7, ..., twice that at
  // loci 2, 5, 8, ..., none at the others; 0: no missing texts at all. With
  // missing texts two more loci follow: one wholly missing, one of a single
  // value and missing texts.
  double missing = 0;
};

const MissingRule kMissingTexts{MissingRule::Kind::Listed, {"Z", "?"}};

// A data file for the shape: random levels and locus texts, from a seed.
std::string randomData(const Shape& shape, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> uniform(0, 1);
  const bool missing = shape.missing > 0;
  std::string text = "A\tB";
  for (int l = 0; l < shape.loci + (missing ? 2 : 0); ++l) text += "\tL" + std::to_string(l);
  text += "\n";
  for (int i = 0; i < shape.individuals; ++i) {
    int a = static_cast<int>(rng() % static_cast<unsigned>(shape.levelsA));
    int b = static_cast<int>(rng() % static_cast<unsigned>(shape.levelsB));
    if (shape.holes && a == 0 && b == shape.levelsB - 1 && shape.levelsA > 1) a = 1;
    text += "a" + std::to_string(a) + "\tb" + std::to_string(b);
    for (int l = 0; l < shape.loci; ++l) {
      text += "\t";
      const unsigned value = rng() % static_cast<unsigned>(shape.values);
      if (missing && uniform(rng) < shape.missing * (l % 3)) {
        text += rng() % 2 ? "Z" : "?";
      } else if (shape.values <= 26) {
        text += static_cast<char>('A' + value);
      } else {
        text += "v" + std::to_string(value);
      }
    }
    if (missing) text += std::string(i % 2 ? "\tZ" : "\t?") + (i % 3 ? "\tA" : "\tZ");
    text += "\n";
  }
  return text;
}

uint64_t bits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Every number of a pass, as bit patterns (NaNs compare equal this way).
std::vector<uint64_t> flatten(const AnovaStats& s) {
  std::vector<uint64_t> out;
  for (const auto* v : {&s.df, &s.seqSS, &s.adjSS, &s.MS, &s.F, &s.n, &s.var}) {
    for (const double x : *v) out.push_back(bits(x));
  }
  return out;
}

std::vector<uint64_t> flatten(const InteractionStats& s) {
  std::vector<uint64_t> out;
  for (const auto* v : {&s.df, &s.seqSS, &s.adjSS, &s.MS, &s.F, &s.R2, &s.R2adj}) {
    for (const double x : *v) out.push_back(bits(x));
  }
  return out;
}

struct RunRecord {
  std::vector<std::vector<uint64_t>> passes;
  PermutationCounts counts;
};

class Fixture {
 public:
  explicit Fixture(const std::string& data, const MissingRule& rule = {})
      : table_(test::tableFromText(data)),
        design_(makeDesign(countCells(*table_))),
        loci_(buildLocusCodes(*table_, buildCellMembers(*table_, design_), rule)) {}
  // The individuals of a larger table that loci reads.
  Fixture(std::unique_ptr<DataTable> table, Design design, LocusCodes loci)
      : table_(std::move(table)), design_(std::move(design)), loci_(std::move(loci)) {}

  // Takes back the loci buildLocusCodes left out for fewer than two present
  // values: they add to no sum, and every mode must see that.
  void restoreLeftOutLoci(const MissingRule& rule) {
    for (int32_t c = 2; c < table_->columnCount(); ++c) {
      if (std::count(loci_.columnOf.begin(), loci_.columnOf.end(), c) > 0) continue;
      const std::vector<std::string>& texts = table_->distinctValues(c);
      loci_.columnOf.push_back(c);
      loci_.valueCount.push_back(static_cast<int32_t>(texts.size()));
      loci_.hasMissing.push_back(rule.isMissing(texts.back()) ? 1 : 0);
      ++loci_.loci;
    }
  }

  // mode: a mode's name, or nullptr for the automatic choice. With
  // `interaction` every pass's table with interaction follows its main
  // table in the record, and its counts follow the main ones.
  RunRecord run(int32_t nperm, int32_t seed, const char* mode, int threads,
                bool interaction = false) const {
    Random random;
    random.setSeed(seed);
    AnovaStats stats;
    computeFixedStats(stats, design_);
    RunRecord record;
    const InteractionDesign model = makeInteractionDesign(design_);
    InteractionLoop withInteraction{model, {}, {}};
    std::vector<std::vector<uint64_t>> tables;
    PassLoop loop{
        design_, nperm, random, stats, record.counts, nullptr, [&](int32_t, const AnovaStats& s) {
          record.passes.push_back(flatten(s));
        }};
    const EngineModeRow* row = mode == nullptr ? nullptr : findEngineMode(mode);
    EXPECT_TRUE(mode == nullptr || row != nullptr) << mode;
    const auto engine = makeEngine(design_, loci_, nperm, row, threads, interaction);
    EXPECT_TRUE(row == nullptr || &engine->mode() == row);
    // The observed table shown before the mode's tables are built.
    GroupSums counted;
    EXPECT_TRUE(countObservedSums(design_, loci_, counted));
    const GroupSums& observed = engine->observedSums();
    EXPECT_TRUE(counted.total == observed.total && counted.cell == observed.cell &&
                counted.levelA == observed.levelA && counted.levelB == observed.levelB);
    if (interaction) loop.interaction = &withInteraction;
    runEngineLoop(loop, *engine, threads);
    if (interaction) {
      // The observed table, then the counts, as one more record.
      std::vector<uint64_t> last = flatten(withInteraction.observed);
      for (const double c : withInteraction.counts.observedAbove) last.push_back(bits(c));
      record.passes.push_back(last);
    }
    return record;
  }

  const Design& design() const { return design_; }
  const LocusCodes& loci() const { return loci_; }

 private:
  std::unique_ptr<DataTable> table_;
  Design design_;
  LocusCodes loci_;
};

void expectSameRun(const RunRecord& expected, const RunRecord& actual, const std::string& what) {
  ASSERT_EQ(expected.passes.size(), actual.passes.size()) << what;
  for (size_t p = 0; p < expected.passes.size(); ++p) {
    ASSERT_EQ(expected.passes[p], actual.passes[p]) << what << ", pass " << int(p) - 1;
  }
  EXPECT_EQ(expected.counts.observedAboveCounts, actual.counts.observedAboveCounts) << what;
}

TEST(Engine, EveryModeMatchesTheReferenceOnRandomDesigns) {
  const Shape shapes[] = {
      {6, 2, 2, 2, 2, false},   {40, 3, 2, 1, 2, false},   {120, 4, 3, 20, 4, true},
      {90, 1, 3, 5, 3, false},  {90, 3, 1, 5, 3, false},   {200, 6, 5, 50, 5, true},
      {35, 35, 2, 3, 2, false}, {150, 2, 2, 12, 1, false}, {60, 5, 4, 30, 5, true},
  };
  unsigned seed = 1;
  for (const Shape& shape : shapes) {
    const Fixture fixture(randomData(shape, seed++));
    const RunRecord reference = fixture.run(100, -7, "reference", 1);
    for (const EngineModeRow& row : engineModes()) {
      const char* mode = row.name;
      const std::string what = std::string(mode) + ", design " + std::to_string(shape.individuals) +
                               " x " + std::to_string(shape.loci);
      expectSameRun(reference, fixture.run(100, -7, mode, 1), what);
      expectSameRun(reference, fixture.run(100, -7, mode, 3), what + ", 3 threads");
    }
  }
}

// A matrix of distances beyond the caches, few levels: the pairs mode reads
// every row whole in a pass instead of the pairs within levels. The sliced
// mode, checked against the reference above, gives the same passes.
TEST(Engine, PairsModeStreamingRowsMatchesTheSlicedMode) {
  for (const double missing : {0.0, 0.1}) {
    const Shape shape{2200, 3, 2, 6, 3, false, missing};
    Fixture fixture(randomData(shape, 77), kMissingTexts);
    const RunRecord sliced = fixture.run(100, -3, "sliced", 1);
    expectSameRun(sliced, fixture.run(100, -3, "pairs", 1), "pairs, 1 thread");
    expectSameRun(sliced, fixture.run(100, -3, "pairs", 2), "pairs, 2 threads");
  }
}

// Rates of missing values from none to all, at loci of one to many values
// (2-byte codes in the last shape), with empty cells and cells of one.
TEST(Engine, EveryModeMatchesTheReferenceWithMissingValues) {
  const Shape shapes[] = {
      {6, 2, 2, 3, 2, false, 0.3},    {120, 4, 3, 20, 3, true, 0.1},
      {200, 6, 5, 40, 2, true, 0.05}, {90, 3, 1, 8, 5, false, 0.45},
      {35, 35, 2, 3, 2, false, 0.2},  {400, 3, 2, 6, 1000, false, 0.2},
  };
  unsigned seed = 100;
  for (const Shape& shape : shapes) {
    Fixture fixture(randomData(shape, seed++), kMissingTexts);
    fixture.restoreLeftOutLoci(kMissingTexts);
    const RunRecord reference = fixture.run(100, -5, "reference", 1);
    for (const EngineModeRow& row : engineModes()) {
      const std::string what = std::string(row.name) + ", missing values, design " +
                               std::to_string(shape.individuals) + " x " +
                               std::to_string(shape.loci);
      expectSameRun(reference, fixture.run(100, -5, row.name, 1), what);
      expectSameRun(reference, fixture.run(100, -5, row.name, 2), what + ", 2 threads");
    }
  }
}

// A locus of more than 65,536 texts, its missing code the last: a few hundred
// individuals of a larger table, with loci of 1-byte codes beside it. Their
// rows of planes, over 4 MB, are read by the sliced mode in table order.
TEST(Engine, EveryModeMatchesTheReferenceWithMissingValuesOfWideCodes) {
  const int rows = 90000;
  std::mt19937 rng(8);
  std::string text = "A\tB\tW\tL1\tL2\n";
  for (int r = 0; r < rows; ++r) {
    text += "a" + std::to_string(rng() % 2) + "\tb" + std::to_string(rng() % 3);
    text += r % 10 == 0 ? "\tZ" : "\tw" + std::to_string(r % 10 == 1 ? r % 40 : r);
    for (int l = 0; l < 2; ++l) text += rng() % 4 == 0 ? "\t?" : rng() % 2 ? "\tx" : "\ty";
    text += "\n";
  }
  auto table = test::tableFromText(text);
  const Design all = makeDesign(countCells(*table));
  LocusCodes loci = buildLocusCodes(*table, buildCellMembers(*table, all), kMissingTexts);
  ASSERT_EQ(loci.loci, 3);
  ASSERT_GT(loci.valueCount[0], 65537);
  // Every 151st row and the last 100, in cell order.
  std::vector<int32_t> chosen;
  for (int32_t r = 0; r < rows; ++r) {
    if (r % 151 == 0 || r >= rows - 100) chosen.push_back(r);
  }
  const auto cellOf = [&](int32_t r) { return table->code(r, 0) * 3 + table->code(r, 1); };
  std::stable_sort(chosen.begin(), chosen.end(),
                   [&](int32_t x, int32_t y) { return cellOf(x) < cellOf(y); });
  CellCounts counts{2, 3, std::vector<int32_t>(6, 0)};
  for (const int32_t r : chosen) ++counts.counts[static_cast<size_t>(cellOf(r))];
  loci.individuals = static_cast<int32_t>(chosen.size());
  loci.rowOf = chosen;
  // S_T of these individuals: per locus (n - m)^2 less the squared counts.
  loci.totalSum = 0;
  for (int32_t l = 0; l < loci.loci; ++l) {
    std::vector<int64_t> c(static_cast<size_t>(loci.valueCount[static_cast<size_t>(l)]), 0);
    for (int32_t i = 0; i < loci.individuals; ++i) ++c[loci.code(i, l)];
    const int64_t present = loci.individuals - c[loci.missingCode(l)];
    loci.totalSum += present * present + c[loci.missingCode(l)] * c[loci.missingCode(l)];
    for (const int64_t k : c) loci.totalSum -= k * k;
  }
  const Fixture fixture(std::move(table), makeDesign(counts), std::move(loci));
  const RunRecord reference = fixture.run(100, -9, "reference", 1);
  for (const EngineModeRow& row : engineModes()) {
    expectSameRun(reference, fixture.run(100, -9, row.name, 2), row.name);
  }
}

// The reference distance against a count on the texts themselves: the loci
// at which neither text is missing and the texts differ. The loci left out
// have fewer than two present values, so they count nowhere.
TEST(Engine, ReferenceDistancesCountLociWhereBothHaveDifferentValues) {
  const std::string data = randomData({40, 2, 2, 12, 3, false, 0.3}, 77);
  auto table = test::tableFromText(data);
  const std::vector<std::vector<std::string>> texts = [&] {
    std::vector<std::vector<std::string>> out(static_cast<size_t>(table->rowCount()));
    for (int32_t r = 0; r < table->rowCount(); ++r) {
      for (int32_t c = 2; c < table->columnCount(); ++c) {
        out[static_cast<size_t>(r)].push_back(table->cell(r, c));
      }
    }
    return out;
  }();
  const Design design = makeDesign(countCells(*table));
  const LocusCodes loci = buildLocusCodes(*table, buildCellMembers(*table, design), kMissingTexts);
  const DistanceTable d = buildDistanceTable(loci);
  int64_t total = 0;
  for (int32_t x = 0; x < loci.individuals; ++x) {
    for (int32_t y = 0; y < loci.individuals; ++y) {
      const auto& tx = texts[static_cast<size_t>(loci.rowOf[static_cast<size_t>(x)])];
      const auto& ty = texts[static_cast<size_t>(loci.rowOf[static_cast<size_t>(y)])];
      int32_t expected = 0;
      for (size_t l = 0; l < tx.size(); ++l) {
        expected +=
            !kMissingTexts.isMissing(tx[l]) && !kMissingTexts.isMissing(ty[l]) && tx[l] != ty[l];
      }
      ASSERT_EQ(d.at(x, y), expected) << x << ", " << y;
      total += expected;
    }
  }
  EXPECT_EQ(loci.totalSum, total);
}

// Rows of bits wider than a word, cells past the 64 rows added at once, a
// locus with 2-byte codes, and individuals repeating a few haplotypes.
TEST(Engine, WideModesMatchTheReferenceOnManyLociAndRepeatedHaplotypes) {
  for (const int haplotypes : {0, 7}) {
    std::mt19937 rng(42 + haplotypes);
    std::vector<std::string> rows;
    std::string text = "A\tB";
    for (int l = 0; l < 131; ++l) text += "\tL" + std::to_string(l);
    text += "\n";
    for (int i = 0; i < 400; ++i) {
      const int source =
          haplotypes > 0 && i >= haplotypes ? static_cast<int>(rng() % haplotypes) : -1;
      std::string row;
      if (source >= 0) {
        row = rows[static_cast<size_t>(source)];
      } else {
        for (int l = 0; l < 130; ++l) row += rng() % 3 ? "\t0" : "\t1";
        row += "\tv" + std::to_string(rng() % 300);
      }
      rows.push_back(row);
      text += "a" + std::to_string(rng() % 2) + "\tb" + std::to_string(rng() % 3) + row + "\n";
    }
    const Fixture fixture(text);
    const RunRecord reference = fixture.run(100, -11, "reference", 1);
    for (const char* mode : {"sliced", "haplotypes", "bitset"}) {
      const std::string what = std::string(mode) + ", haplotypes " + std::to_string(haplotypes);
      expectSameRun(reference, fixture.run(100, -11, mode, 2), what);
    }
  }
}

TEST(Engine, CountsDoNotDependOnThreadsOrBatches) {
  // Large enough for several batches of arrangements.
  const Fixture fixture(randomData({3000, 4, 3, 10, 4, false}, 99));
  const RunRecord one = fixture.run(150, -3, nullptr, 1);
  for (const int threads : {2, 5}) {
    expectSameRun(one, fixture.run(150, -3, nullptr, threads),
                  std::to_string(threads) + " threads");
  }
}

TEST(Engine, ChoosesPairsForWideDataAndCountsForManyIndividuals) {
  const Fixture wide(randomData({60, 2, 2, 2000, 4, false}, 5));
  EXPECT_STREQ(chooseEngineMode(wide.design(), wide.loci(), 1000, 2).name, "pairs");
  const Fixture tall(randomData({4000, 4, 3, 20, 4, false}, 6));
  EXPECT_STREQ(chooseEngineMode(tall.design(), tall.loci(), 1000, 2).name, "sliced");
}

// Cells of 6, 9, 9, 8, 10 and 6 at loci of 15, 3 and 5 values: pairs and
// bitset both estimate 642 units a pass, and the tie goes to bitset.
TEST(Engine, EqualEstimatesGoToTheModeOfLowerRank) {
  const int sizes[] = {6, 9, 9, 8, 10, 6};
  std::string text = "A\tB\tL1\tL2\tL3\n";
  int i = 0;
  for (int c = 0; c < 6; ++c) {
    for (int k = 0; k < sizes[c]; ++k, ++i) {
      text += "a" + std::to_string(c / 2) + "\tb" + std::to_string(c % 2) + "\tv" +
              std::to_string(i % 15) + "\tw" + std::to_string(i % 3) + "\tx" +
              std::to_string(i % 5) + "\n";
    }
  }
  const Fixture fixture(text);
  EXPECT_STREQ(chooseEngineMode(fixture.design(), fixture.loci(), 108, 1).name, "bitset");
}

TEST(Engine, ManyLocusValuesUseWideCodes) {
  // Every text distinct: more values than 16-bit codes can number.
  std::string text = "A\tB\tL1\tL2\n";
  for (int i = 0; i < 33000; ++i) {
    text += std::string(i % 2 ? "p" : "q") + "\tx\t" + std::to_string(i) + "\t" +
            std::to_string(i * 7) + "\n";
  }
  const Fixture fixture(text);
  const RunRecord sparse = fixture.run(100, -1, "sparse", 2);
  const RunRecord dense = fixture.run(100, -1, "dense", 2);
  expectSameRun(sparse, dense, "dense against sparse");
  // Any two individuals differ at both loci: S_T = 2 N (N - 1), SS_Total = N - 1.
  const size_t seqSSTotal = 4 + Total;
  EXPECT_EQ(sparse.passes[0][seqSSTotal], bits(32999.0));
}

// The sums of squares of a projection of the Gower matrix -C D C / 2 onto
// the span of some indicator columns (orthonormalised one by one, a column
// that adds nothing left out), and the dimension of that span.
struct Projection {
  double ss = 0;
  int rank = 0;
};

Projection project(const std::vector<double>& gower, int n,
                   const std::vector<std::vector<double>>& columns) {
  std::vector<std::vector<double>> basis;
  Projection out;
  for (std::vector<double> q : columns) {
    for (const auto& e : basis) {
      double dot = 0;
      for (int i = 0; i < n; ++i) dot += q[size_t(i)] * e[size_t(i)];
      for (int i = 0; i < n; ++i) q[size_t(i)] -= dot * e[size_t(i)];
    }
    double norm = 0;
    for (const double x : q) norm += x * x;
    if (norm < 1e-9) continue;
    for (double& x : q) x /= std::sqrt(norm);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) out.ss += q[size_t(i)] * gower[size_t(i * n + j)] * q[size_t(j)];
    }
    basis.push_back(q);
  }
  out.rank = int(basis.size());
  return out;
}

// The table with interaction against projections of the explicit distance
// matrix: unbalanced designs with empty cells, a factor of one level, a cell
// of one, two blocks of cells with no level in common, missing values.
TEST(Interaction, TableMatchesProjectionsOfTheDistanceMatrix) {
  std::vector<std::string> data = {
      randomData({60, 4, 3, 6, 3, true}, 11),
      randomData({40, 1, 3, 5, 3, false}, 12),
      randomData({40, 3, 1, 5, 2, false}, 13),
      randomData({50, 3, 4, 8, 4, true, 0.2}, 14),
      "A\tB\tL\np\tx\t1\np\tx\t2\np\ty\t1\nq\tx\t2\nq\ty\t2\nq\ty\t2\nq\ty\t1\n",
      "A\tB\tL1\tL2\np\tx\t1\t1\np\tx\t2\t1\nq\tx\t2\t2\nr\ty\t1\t2\nr\ty\t1\t1\ns\ty\t2\t2\n"};
  for (size_t k = 0; k < data.size(); ++k) {
    Fixture fixture(data[k], kMissingTexts);
    const Design& design = fixture.design();
    const int n = design.individuals;
    const DistanceTable d = buildDistanceTable(fixture.loci());
    std::vector<double> rowMean(size_t(n), 0);
    double mean = 0;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) rowMean[size_t(i)] += d.at(i, j) / double(n);
      mean += rowMean[size_t(i)] / n;
    }
    std::vector<double> gower(size_t(n) * size_t(n));
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        gower[size_t(i * n + j)] =
            -0.5 * (d.at(i, j) - rowMean[size_t(i)] - rowMean[size_t(j)] + mean);
      }
    }
    std::vector<std::vector<double>> a, b, cells;
    for (int32_t x = 0; x < design.levelsA; ++x) a.emplace_back(size_t(n), 0);
    for (int32_t y = 0; y < design.levelsB; ++y) b.emplace_back(size_t(n), 0);
    for (size_t c = 0; c < design.cellSize.size(); ++c) cells.emplace_back(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
      const MemberRef m = design.member(i);
      a[size_t(m.a)][size_t(i)] = b[size_t(m.b)][size_t(i)] = 1;
      cells[size_t(design.cell(m.a, m.b))][size_t(i)] = 1;
    }
    std::vector<std::vector<double>> ab = a;
    ab.insert(ab.end(), b.begin(), b.end());
    const Projection pa = project(gower, n, a), pb = project(gower, n, b);
    const Projection pab = project(gower, n, ab), pc = project(gower, n, cells);
    double total = 0;
    for (int i = 0; i < n; ++i) total += gower[size_t(i * n + i)];

    const auto engine =
        makeEngine(design, fixture.loci(), 100, findEngineMode("reference"), 1, true);
    InteractionStats s;
    computeInteractionStats(s, design, makeInteractionDesign(design), engine->observedSums());
    const std::string what = "data set " + std::to_string(k);
    const auto near = [&](double expected, double actual, const char* row) {
      EXPECT_NEAR(expected, actual, 1e-9 * (1 + total)) << what << ", " << row;
    };
    near(pa.ss, s.seqSS[IntXA], "XA");
    near(pab.ss - pa.ss, s.seqSS[IntXB], "XB after XA");
    near(pab.ss - pb.ss, s.adjSS[IntXA], "XA after XB");
    near(pc.ss - pab.ss, s.seqSS[IntXAB], "XA:XB");
    near(total - pc.ss, s.seqSS[IntResidual], "Residual");
    near(total, s.seqSS[IntTotal], "Total");
    EXPECT_EQ(s.df[IntXA], pab.rank - pb.rank) << what;
    EXPECT_EQ(s.df[IntXB], pab.rank - pa.rank) << what;
    EXPECT_EQ(s.df[IntXAB], pc.rank - pab.rank) << what;
    EXPECT_EQ(s.df[IntResidual], n - pc.rank) << what;
    // A row of no degrees of freedom has no F, not the infinity of a rounding.
    for (const int r : {IntXA, IntXB, IntXAB}) {
      if (s.df[size_t(r)] == 0) {
        EXPECT_TRUE(std::isnan(s.F[size_t(r)])) << what << ", row " << r;
      } else {
        EXPECT_EQ(s.F[size_t(r)], (s.adjSS[size_t(r)] / s.df[size_t(r)]) / s.MS[IntResidual])
            << what;
      }
    }
  }
}

// The sums between levels are exact in every mode: the same bits, the same
// counts, with any number of threads.
TEST(Interaction, EveryModeGivesTheSameTableAndCounts) {
  const Shape shapes[] = {{120, 4, 3, 20, 4, true},
                          {90, 1, 3, 5, 3, false},
                          {200, 6, 5, 50, 2, true, 0.1},
                          {150, 3, 2, 12, 5, false, 0.3},
                          {35, 35, 2, 3, 2, false}};
  unsigned seed = 40;
  for (const Shape& shape : shapes) {
    Fixture fixture(randomData(shape, seed++), kMissingTexts);
    fixture.restoreLeftOutLoci(kMissingTexts);
    const RunRecord reference = fixture.run(100, -4, "reference", 1, true);
    const RunRecord plain = fixture.run(100, -4, "reference", 1);
    for (size_t p = 0; p < plain.passes.size(); ++p) {
      ASSERT_EQ(plain.passes[p], reference.passes[p]) << "main table changed, pass " << p;
    }
    for (const EngineModeRow& row : engineModes()) {
      const std::string what =
          std::string(row.name) + ", design " + std::to_string(shape.individuals);
      expectSameRun(reference, fixture.run(100, -4, row.name, 1, true), what);
      expectSameRun(reference, fixture.run(100, -4, row.name, 2, true), what + ", 2 threads");
    }
  }
}

}  // namespace
}  // namespace tevrol
