#include "driver/analysis.h"

#include <string>

#include "analysis/anova_report.h"
#include "analysis/design.h"
#include "analysis/distances.h"
#include "base/fatal.h"
#include "data/data_table.h"
#include "data/levels.h"
#include "driver/command_line.h"
#include "permutation/engine.h"
#include "permutation/pass_loop.h"
#include "permutation/pvalues.h"

namespace tevrol {

namespace {

// The sample-size table prints every cell: beyond this many it is no report.
constexpr int64_t kMaxCells = 10000000;

void checkTable(const DataTable& table) {
  if (table.columnCount() < 3) {
    fatalError("File must have at least three columns: factor 1, factor 2 and haplotype columns");
  }
  if (table.rowCount() == 0) fatalError("File has no data rows");
  const int64_t cells = static_cast<int64_t>(table.distinctValues(0).size()) *
                        static_cast<int64_t>(table.distinctValues(1).size());
  if (cells > kMaxCells) {
    fatalError("Too many cells in the design: " + std::to_string(table.distinctValues(0).size()) +
               " levels of the first factor times " +
               std::to_string(table.distinctValues(1).size()) + " of the second");
  }
}

void describeTable(const DataTable& table, RunResult& result) {
  result.individuals = table.rowCount();
  result.loci = table.columnCount() - 2;
  for (int32_t f = 0; f < 2; ++f) {
    result.factors[static_cast<size_t>(f)].name = table.fieldNames(f);
    result.factors[static_cast<size_t>(f)].levels = table.distinctValues(f);
  }
}

void runPermutations(const PassLoop& loop, const LocusCodes& loci, const Settings& settings) {
  if (settings.reference) {
    DistanceTable observed;
    DistanceTable working;
    buildDistanceTables(loci, observed, working);
    runReferenceLoop(loop, observed, working);
  } else {
    const auto engine =
        makeEngine(loop.design, loci, loop.nperm, settings.engine, settings.threads);
    runEngineLoop(loop, *engine, settings.threads);
  }
}

void recordTests(const PermutationCounts& counts, RunResult& result) {
  for (size_t t = 0; t < kPermutationTypes; ++t) {
    for (size_t f = 0; f < 2; ++f) {
      const double above = counts.observedAboveCounts[t][f];
      FactorTest& test = result.tests[t].factor[f];
      test.value = computePValue(above, result.nperm);
      test.extreme = static_cast<int64_t>(result.nperm) - static_cast<int64_t>(above);
    }
  }
}

}  // namespace

void checkPermutationCount(int64_t nperm) {
  if (nperm < kMinPermutations) fatalError("Must have at least 100 permutations");
  if (nperm > kMaxPermutations) fatalError("Must have at most 715827882 permutations");
}

void analyseTable(const DataTable& table, const Settings& settings, Random& random,
                  RunResult& result, const ReportSink& report, const PassSink& onPass) {
  checkTable(table);
  describeTable(table, result);

  std::string text;
  codeLevels(text, table, 0, "first", result.factors[0].name);
  codeLevels(text, table, 1, "second", result.factors[1].name);
  text += '\n';
  const CellCounts cellCounts = countCells(table);
  result.sampleSizes = cellCounts.counts;
  appendSampleSizes(text, table, cellCounts, [&report](std::string& part) {
    report(part);
    part.clear();
  });
  report(text);

  const Design design = makeDesign(cellCounts);
  const CellMembers members = buildCellMembers(table, design);
  const LocusCodes loci = buildLocusCodes(table, members);
  AnovaStats stats;
  computeFixedStats(stats, design);

  PermutationCounts counts;
  PassSink permuted;
  if (onPass) {
    permuted = [&onPass](int32_t pass, const AnovaStats& s) {
      if (pass >= 0) onPass(pass, s);
    };
  }
  const PassLoop loop{design,
                      result.nperm,
                      random,
                      stats,
                      counts,
                      [&](const AnovaStats& observed) {
                        result.anova = observed;
                        std::string anovaText;
                        appendAnovaTable(anovaText, result.anova, result.factors[0].name,
                                         result.factors[1].name);
                        report(anovaText);
                      },
                      permuted};
  runPermutations(loop, loci, settings);
  recordTests(counts, result);
  text.clear();
  appendPValues(text, result);
  report(text);
}

void appendPValues(std::string& out, const RunResult& result) {
  for (size_t t = 0; t < kPermutationTypes; ++t) {
    const PermutationTest& test = result.tests[t];
    appendPValueBlock(out, static_cast<int>(t), test.factor[0].value, test.factor[1].value);
  }
}

}  // namespace tevrol
