#pragma once

#include <string>

#include "analysis/anova.h"

namespace tevrol {

// Appends the ANOVA table of the observed data and the line naming the
// factors to the report.
void appendAnovaTable(std::string& out, const AnovaStats& stats, const std::string& nameXA,
                      const std::string& nameXB);

}  // namespace tevrol
