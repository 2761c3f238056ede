#include "run/run.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "analysis/design.h"
#include "base/fatal.h"
#include "data/data_table.h"
#include "data/levels.h"
#include "engine/engine.h"
#include "permutation/pass_loop.h"
#include "permutation/pvalues.h"
#include "permutation/random.h"
#include "run/pairwise.h"
#include "run/report.h"

namespace tevrol {

namespace {

// The sample-size table prints every cell: beyond this many it is no report.
constexpr int64_t kMaxCells = 10000000;

}  // namespace

void checkTable(const DataTable& table, const InputSummary& input) {
  if (input.format == "table" && table.columnCount() < 3) {
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

namespace {

void describeTable(const DataTable& table, RunResult& result) {
  result.individuals = table.rowCount();
  if (result.input.format == "table") result.input.sites = table.columnCount() - 2;
  result.loci = result.input.sites;
  for (int32_t f = 0; f < 2; ++f) {
    result.factors[static_cast<size_t>(f)].name = table.fieldNames(f);
    result.factors[static_cast<size_t>(f)].levels = table.distinctValues(f);
  }
}

void stopIfCancelled(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) fatalError("Interrupted");
}

void runPermutations(const PassLoop& loop, const LocusCodes& loci, const Settings& settings) {
  // With more loci than individuals a mode's tables (distances of every
  // pair) may take seconds to build: the table is shown before, from the
  // counts of values; the loop shows it again from the mode's sums, the same
  // numbers. With fewer, the counts would only add to the run.
  GroupSums observed;
  if (loop.onObserved && loci.loci > loop.design.individuals &&
      countObservedSums(loop.design, loci, observed)) {
    AnovaStats stats = loop.stats;
    computePassStats(stats, loop.design, observed);
    loop.onObserved(stats);
  }
  const auto engine = makeEngine(loop.design, loci, loop.nperm, settings.engine, settings.threads,
                                 loop.interaction != nullptr);
  runEngineLoop(loop, *engine, settings.threads);
}

// Everything of the run after the table is at hand; fills every part of
// `result` but file, nperm and seed.
void analyseTable(DataTable& table, const RunRequest& request, const Settings& settings,
                  Random& random, RunResult& result, const ReportSink& report,
                  const PassSink& onPass) {
  const std::atomic<bool>* cancel = request.cancel;
  stopIfCancelled(cancel);
  checkTable(table, result.input);
  describeTable(table, result);

  std::string text;
  appendLevelLine(text, "first", result.factors[0].name, result.factors[0].levels);
  appendLevelLine(text, "second", result.factors[1].name, result.factors[1].levels);
  text += '\n';
  const CellCounts cellCounts = countCells(table);
  result.sampleSizes = cellCounts.counts;
  appendSampleSizes(text, result.factors[0].levels, result.factors[1].levels, cellCounts,
                    [&report](std::string& part) {
                      report(part);
                      part.clear();
                    });
  report(text);

  const Design design = makeDesign(cellCounts);
  const CellMembers members = buildCellMembers(table, design);
  LocusSelection selection;
  InputSummary& input = result.input;
  const LocusCodes loci =
      buildLocusCodes(table, members, input.missing, input.maxMissing, &selection);
  input.loci = selection.used;
  input.singleState += selection.singleState;
  input.tooManyMissing = selection.tooManyMissing;
  // An alignment's reader counted its missing values at every site.
  if (input.format == "table") input.missingValues = selection.missingValues;
  AnovaStats stats;
  computeFixedStats(stats, design);

  PermutationCounts counts;
  bool shown = false;  // the ANOVA table, once
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
                        if (shown) return;
                        shown = true;
                        result.anova = observed;
                        std::string anovaText;
                        appendAnovaTable(anovaText, result.anova, result.factors[0].name,
                                         result.factors[1].name);
                        report(anovaText);
                      },
                      permuted,
                      cancel};
  if (request.pairwise && std::max(design.levelsA, design.levelsB) > kMaxPairwiseLevels) {
    fatalError("Too many levels for --pairwise: " + std::to_string(design.levelsA) + " and " +
               std::to_string(design.levelsB) + ", at most " + std::to_string(kMaxPairwiseLevels) +
               " per factor");
  }
  std::unique_ptr<InteractionDesign> model;
  std::unique_ptr<InteractionLoop> interaction;
  if (request.interaction) {
    if (design.levelsA + design.levelsB > kMaxInteractionLevels) {
      fatalError("Too many levels for --interaction: " + std::to_string(design.levelsA) + " + " +
                 std::to_string(design.levelsB) + ", at most " +
                 std::to_string(kMaxInteractionLevels) + " in all");
    }
    model = std::make_unique<InteractionDesign>(makeInteractionDesign(design));
    interaction = std::make_unique<InteractionLoop>(InteractionLoop{*model, {}, {}});
  }
  PassLoop withBlocks = loop;
  withBlocks.interaction = interaction.get();
  stopIfCancelled(cancel);
  runPermutations(withBlocks, loci, settings);
  result.tests = permutationTests(counts, result.nperm);
  result.effects = computeMainEffects(result.anova);
  result.showEffects = request.effects;
  if (interaction) {
    result.showInteraction = true;
    result.interaction.table = interaction->observed;
    for (size_t t = 0; t < kPermutationTypes; ++t) {
      result.interaction.tests[t] = factorTest(interaction->counts.observedAbove[t], result.nperm);
    }
  }
  text.clear();
  appendPValues(text, result);
  appendBlocks(text, result);
  report(text);
  if (request.pairwise) {
    result.showPairwise = true;
    result.pairwise =
        comparePairs(design, loci, result.nperm, random, settings, request.interaction, cancel);
    text.clear();
    appendPairwise(text, result);
    report(text);
  }
}

}  // namespace

FactorTest factorTest(double above, int32_t nperm) {
  FactorTest test;
  test.value = computePValue(above, nperm);
  test.extreme = static_cast<int64_t>(nperm) - static_cast<int64_t>(above);
  return test;
}

std::array<PermutationTest, kPermutationTypes> permutationTests(const PermutationCounts& counts,
                                                                int32_t nperm) {
  std::array<PermutationTest, kPermutationTypes> tests;
  for (size_t t = 0; t < kPermutationTypes; ++t) {
    for (size_t f = 0; f < 2; ++f) {
      tests[t].factor[f] = factorTest(counts.observedAboveCounts[t][f], nperm);
    }
  }
  return tests;
}

Run::Run(RunRequest request) : request_(std::move(request)) {
  checkPermutationCount(request_.nperm);
  settings_ = resolveSettings(request_.threads, request_.engine);
}

RunResult Run::execute(const RunSinks& sinks) const {
  const auto preamble = [&sinks](const std::string& text) {
    if (sinks.preamble) sinks.preamble(text);
  };
  RunResult result;
  result.file = request_.file;
  result.nperm = nperm();
  preamble("Simulating " + std::to_string(result.nperm) + " permutations\n");
  Random random;
  if (request_.hasSeed) random.setSeed(request_.seed);
  result.seed = random.getSeed();
  preamble("Set seed to " + std::to_string(result.seed) + "\n");
  if (request_.table != nullptr) {
    checkMaxMissing(request_.input.maxMissing, "max_missing");
    result.input.missing = tableMissingRule(request_.input);
    result.input.maxMissing = request_.input.maxMissing;
    analyseTable(*request_.table, request_, settings_, random, result, sinks.report, sinks.onPass);
    return result;
  }
  preamble("Reading " + request_.file + "\n");
  DataTable table(kReadBlockBytes);
  InputOptions input = request_.input;
  input.threads = settings_.threads;
  readInput(request_.file, input, table, result.input, sinks.notice);
  preamble("\n");
  analyseTable(table, request_, settings_, random, result, sinks.report, sinks.onPass);
  return result;
}

}  // namespace tevrol
