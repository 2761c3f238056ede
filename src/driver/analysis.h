#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "analysis/anova.h"
#include "driver/run_result.h"
#include "driver/settings.h"

namespace tevrol {

class DataTable;
class Random;

// The analysis of one table, the same for every front end (the command line,
// the R package). Nothing here prints or ends the process: the report comes
// out in pieces through a callback and errors are thrown as RunError.

// Receives each piece of the report as soon as it is known, in order: the
// level lines and sample sizes, the ANOVA table, the P values.
using ReportSink = std::function<void(const std::string&)>;
// Receives every permuted pass (0 ... 3 nperm - 1) in pass order.
using PassSink = std::function<void(int32_t, const AnovaStats&)>;

// Fatal unless nperm is within kMinPermutations ... kMaxPermutations.
void checkPermutationCount(int64_t nperm);

// Checks the table, codes the levels, counts the cells, computes the ANOVA
// table and runs the three permutation tests with `random`, filling every
// part of `result` but `file`, `nperm` and `seed`, which the caller sets
// (nperm checked beforehand). onPass may be empty.
void analyseTable(const DataTable& table, const Settings& settings, Random& random,
                  RunResult& result, const ReportSink& report, const PassSink& onPass);

// The P value blocks of the report, from a result.
void appendPValues(std::string& out, const RunResult& result);

}  // namespace tevrol
