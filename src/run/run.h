#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "analysis/anova.h"
#include "data/input.h"
#include "run/run_result.h"
#include "run/settings.h"

namespace tevrol {

class DataTable;

// One run of the analysis, the same for every front end (the command line,
// the R package): a request in, a result out. Nothing here prints or ends
// the process: the report comes out in pieces through callbacks and errors
// are thrown as RunError.

struct RunRequest {
  // The input, read by the run: a path, "-" for standard input. With `table`
  // set, only the name of the data in the result.
  std::string file;
  // A table already in memory instead; the run may recode its locus columns.
  DataTable* table = nullptr;
  // How to read the input (a table in memory takes only the missing values
  // and their limit).
  InputOptions input;
  int64_t nperm = kDefaultPermutations;
  bool hasSeed = false;  // false: seeded from the clock
  int32_t seed = 0;
  int threads = 0;     // at most this many; 0: TEVROL_THREADS, else every hardware thread
  std::string engine;  // a mode's name; empty: TEVROL_ENGINE, else the cheapest
  // Optional: set by another thread to stop the run soon (between stages and
  // between permuted passes); execute then throws a RunError "Interrupted".
  const std::atomic<bool>* cancel = nullptr;
  // The blocks after the P values: the table with interaction and its
  // tests, the effect sizes (computed in any case).
  bool interaction = false;
  bool effects = false;
  // The pairwise comparisons of every factor's levels, after everything else.
  bool pairwise = false;
};

// Receives a piece of text as soon as it is known.
using ReportSink = std::function<void(const std::string&)>;
// Receives every permuted pass (0 ... 3 nperm - 1) in pass order.
using PassSink = std::function<void(int32_t, const AnovaStats&)>;

struct RunSinks {
  // Optional: the lines before the analysis: "Simulating ...", "Set seed to
  // ...", and for a file "Reading ..." before it is read and an empty line
  // after.
  ReportSink preamble;
  // The report, in order: the level lines and sample sizes, the ANOVA table,
  // the P values.
  ReportSink report;
  PassSink onPass;  // optional
  // Optional: notes beside the report (records of an alignment left out).
  NoticeSink notice;
};

class Run {
 public:
  // Checks what can be checked before anything is read: nperm, the threads
  // and engine asked for and those of the environment. Fatal on any of them.
  explicit Run(RunRequest request);

  // Seeds the generator, reads the input unless a table was given, checks the
  // table, computes the ANOVA table and runs the three permutation tests.
  RunResult execute(const RunSinks& sinks) const;

  int32_t nperm() const { return static_cast<int32_t>(request_.nperm); }

 private:
  RunRequest request_;
  Settings settings_;
};

// Fatal unless the table read can be analysed: three columns or more (a
// table), data rows, and a design whose cells the report can list.
void checkTable(const DataTable& table, const InputSummary& input);

// A test from the passes in which the observed F was greater (of nperm).
FactorTest factorTest(double above, int32_t nperm);

// The tests of a result from the counts of a pass loop.
std::array<PermutationTest, kPermutationTypes> permutationTests(const PermutationCounts& counts,
                                                                int32_t nperm);

}  // namespace tevrol
