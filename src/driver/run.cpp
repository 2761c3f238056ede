#include "driver/run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "analysis/anova.h"
#include "analysis/anova_report.h"
#include "analysis/design.h"
#include "analysis/distances.h"
#include "base/fatal.h"
#include "data/data_table.h"
#include "data/levels.h"
#include "driver/command_line.h"
#include "driver/output_file.h"
#include "driver/progress.h"
#include "driver/result_writers.h"
#include "driver/run_result.h"
#include "driver/settings.h"
#include "permutation/engine.h"
#include "permutation/pass_loop.h"
#include "permutation/pvalues.h"
#include "permutation/random.h"

namespace tevrol {

namespace {

constexpr int32_t kLineCapacity = 100000;
// How often a streamed null file is checked for a failed write.
constexpr int32_t kNullCheckPasses = 1 << 16;
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

void describeTable(const DataTable& table, RunResult& result) {
  result.individuals = table.rowCount();
  result.loci = table.columnCount() - 2;
  for (int32_t f = 0; f < 2; ++f) {
    result.factors[static_cast<size_t>(f)].name = table.fieldNames(f);
    result.factors[static_cast<size_t>(f)].levels = table.distinctValues(f);
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

bool showProgress(const Options& options) {
  if (options.progress == ProgressMode::Automatic) return isatty(STDERR_FILENO) == 1;
  return options.progress == ProgressMode::On;
}

// The output files of a run: created at the start, the null file streamed
// pass by pass, both completed and moved into place only at the end.
class RunOutputs {
 public:
  RunOutputs(const Options& options, const std::string& input) {
    refuseClashes(options, input);
    if (!options.jsonPath.empty()) json_ = std::make_unique<OutputFile>(options.jsonPath);
    if (!options.nullPath.empty()) null_ = std::make_unique<OutputFile>(options.nullPath);
  }

  // The per-pass callback of the pass loop, or none when nothing needs it.
  std::function<void(int32_t, const AnovaStats&)> passObserver(Progress& progress) {
    return [this, &progress](int32_t pass, const AnovaStats& s) {
      if (pass < 0) return;
      progress.onPass(pass);
      if (!null_) return;
      // Headed here rather than at creation: a null file that is standard
      // output then follows the ANOVA table instead of preceding the report.
      if (pass == 0) writeNullHeader(null_->stream());
      writeNullLine(null_->stream(), pass, PassF{s.F[XA], s.F[XB]});
      if (pass % kNullCheckPasses == 0) null_->checkWrites();
    };
  }

  void complete(const RunResult& result) {
    // A report that could not be written fails the run: its files must not
    // appear as if it had completed (finishRun says why and removes them).
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) finishRun(0);
    if (json_) {
      const std::string text = renderJson(result);
      std::fwrite(text.data(), 1, text.size(), json_->stream());
      json_->finish();
    }
    if (null_) null_->finish();
    if (json_) json_->commit();
    if (null_) null_->commit();
  }

 private:
  // An output must never replace the data it is computed from, nor the other
  // output: one of the two would be lost after a run that reports success.
  static void refuseClashes(const Options& options, const std::string& input) {
    for (const auto& [option, path] :
         {std::pair{"--json", options.jsonPath}, std::pair{"--null", options.nullPath}}) {
      if (!path.empty() && input != "-" && namesSameRegularFile(path, input)) {
        fatalError(std::string("Option ") + option + " would overwrite the input file");
      }
    }
    if (!options.jsonPath.empty() && !options.nullPath.empty() &&
        namesSameRegularFile(options.jsonPath, options.nullPath)) {
      fatalError("Options --json and --null name the same file");
    }
  }

  std::unique_ptr<OutputFile> json_;
  std::unique_ptr<OutputFile> null_;
};

}  // namespace

Settings readSettings(const Options& options) {
  Settings settings;
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  settings.threads = std::clamp(hardware, 1, kMaxThreads);
  if (options.threads > 0) {
    settings.threads = std::min(settings.threads, options.threads);
  } else if (const char* text = std::getenv("TEVROL_THREADS"); text != nullptr && *text != '\0') {
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
      fatalError(
          "TEVROL_ENGINE must be automatic, pairs, dense, bitset, sparse, sliced, haplotypes or "
          "reference");
    }
  }
  return settings;
}

int run(int argc, const char* const* argv) {
  Random random;
  const CommandLine line = parseCommandLine(argc, argv);
  if (line.options.help || line.options.version) {
    line.options.help ? printHelp() : printVersion();
    return 0;
  }
  const Settings settings = readSettings(line.options);
  // Outputs are created before anything is read: a bad path fails at once,
  // not after the permutations.
  RunOutputs outputs(line.options, line.filename);
  RunResult result;
  result.file = line.filename;
  result.nperm = line.nperm;
  std::printf("Simulating %d permutations\n", line.nperm);
  if (line.hasSeed) random.setSeed(line.seed);
  result.seed = random.getSeed();
  std::printf("Set seed to %d\n", result.seed);

  DataTable table(kLineCapacity);
  std::fputs("Reading ", stdout);
  writeText(line.filename);
  std::fputc('\n', stdout);
  table.read(line.filename);
  checkTable(table);
  describeTable(table, result);

  codeLevels(table, 0, "first", result.factors[0].name);
  codeLevels(table, 1, "second", result.factors[1].name);
  std::fputc('\n', stdout);
  const CellCounts cellCounts = countCells(table);
  result.sampleSizes = cellCounts.counts;
  printSampleSizes(table, cellCounts);

  const Design design = makeDesign(cellCounts);
  const CellMembers members = buildCellMembers(table, design);
  const LocusCodes loci = buildLocusCodes(table, members);
  AnovaStats stats;
  computeFixedStats(stats, design);

  PermutationCounts counts;
  Progress progress(int64_t{kPermutationTypes} * line.nperm, showProgress(line.options),
                    isatty(STDERR_FILENO) == 1);
  const PassLoop loop{design,
                      line.nperm,
                      random,
                      stats,
                      counts,
                      [&](const AnovaStats& observed) {
                        result.anova = observed;
                        printAnovaTable(result.anova, result.factors[0].name,
                                        result.factors[1].name);
                      },
                      outputs.passObserver(progress)};
  runPermutations(loop, loci, settings);
  progress.finish();
  recordTests(counts, result);
  printPValues(result);
  outputs.complete(result);
  return 0;
}

}  // namespace tevrol
