#include "driver/run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "analysis/anova.h"
#include "analysis/anova_report.h"
#include "analysis/design.h"
#include "analysis/distances.h"
#include "data/data_table.h"
#include "data/levels.h"
#include "driver/command_line.h"
#include "base/fatal.h"
#include "driver/settings.h"
#include "permutation/engine.h"
#include "permutation/pass_loop.h"
#include "permutation/pvalues.h"
#include "permutation/random.h"

namespace tevrol {

namespace {

constexpr int32_t kLineCapacity = 100000;
constexpr int kMaxThreads = 256;
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

}  // namespace

Settings readSettings() {
  Settings settings;
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  settings.threads = std::clamp(hardware, 1, kMaxThreads);
  if (const char* text = std::getenv("TEVROL_THREADS"); text != nullptr && *text != '\0') {
    const int32_t threads = parseInt(text);
    if (threads < 1 || threads > kMaxThreads) {
      fatalError("TEVROL_THREADS must be a whole number from 1 to 256");
    }
    settings.threads = std::min(settings.threads, static_cast<int>(threads));
  }
  if (const char* text = std::getenv("TEVROL_ENGINE"); text != nullptr && *text != '\0') {
    const std::string name = text;
    if (name == "reference") {
      settings.reference = true;
    } else if (!parseEngineMode(name, settings.engine)) {
      fatalError("TEVROL_ENGINE must be automatic, pairs, dense, bitset, sparse, sliced, haplotypes or reference");
    }
  }
  return settings;
}

int run(int argc, const char* const* argv) {
  Random random;
  const CommandLine line = parseCommandLine(argc, argv);
  const Settings settings = readSettings();
  std::printf("Simulating %d permutations\n", line.nperm);
  if (line.hasSeed) random.setSeed(line.seed);
  std::printf("Set seed to %d\n", random.getSeed());

  DataTable table(kLineCapacity);
  std::fputs("Reading ", stdout);
  writeText(line.filename);
  std::fputc('\n', stdout);
  table.read(line.filename);
  checkTable(table);
  const std::string nameXA = table.fieldNames(0);
  const std::string nameXB = table.fieldNames(1);

  const LevelMap levelsXA = codeLevels(table, 0, "first", nameXA);
  const LevelMap levelsXB = codeLevels(table, 1, "second", nameXB);
  std::fputc('\n', stdout);
  const CellCounts cellCounts = countCells(table);
  printSampleSizes(table, cellCounts);

  const Design design = makeDesign(cellCounts);
  const CellMembers members = buildCellMembers(table, design);
  const LocusCodes loci = buildLocusCodes(table, members);
  AnovaStats stats;
  computeFixedStats(stats, design);

  PermutationCounts counts;
  const PassLoop loop{
      design, line.nperm,
      random, stats,
      counts, [&](const AnovaStats& observed) {
                        printAnovaTable(observed, nameXA, nameXB); },
      nullptr};
  runPermutations(loop, loci, settings);
  reportPValues(counts, line.nperm);
  return 0;
}

}  // namespace tevrol
