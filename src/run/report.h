#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/anova.h"
#include "data/levels.h"
#include "run/run_result.h"

namespace tevrol {

// The text report, piece by piece, as every front end shows it.

// "Levels for <ordinal> factor (<name>): l1, l2, ..." and the line end.
void appendLevelLine(std::string& out, const char* ordinal, const std::string& factorName,
                     const std::vector<std::string>& levels);

// Appends the "Sample sizes:" table and the empty line after it. With
// `spill`, a large table goes out in parts: after a row that leaves `out`
// above a megabyte, spill(out) takes the text and empties it.
void appendSampleSizes(std::string& out, const std::vector<std::string>& levelsA,
                       const std::vector<std::string>& levelsB, const CellCounts& cells,
                       const std::function<void(std::string&)>& spill = nullptr);

// Number of decimal digits of a positive count.
int32_t decimalDigits(int64_t value);

// Appends the ANOVA table of the observed data and the line naming the
// factors.
void appendAnovaTable(std::string& out, const AnovaStats& stats, const std::string& nameXA,
                      const std::string& nameXB);

// Appends the three blocks of P values with their standard errors, each
// "Permutation test type <type>", the lines of XA and XB and an empty line.
void appendPValues(std::string& out, const RunResult& result);

// Appends the blocks asked for after the P values, in this order: the table
// with interaction and its P values, the effect sizes. Nothing when none was.
void appendBlocks(std::string& out, const RunResult& result);

// Appends the pairwise comparisons, the last block, when they were asked for.
void appendPairwise(std::string& out, const RunResult& result);

}  // namespace tevrol
