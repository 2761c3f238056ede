#pragma once

#include <string>

#include "analysis/anova.h"

namespace tevrol {

// Prints the ANOVA table of the observed data and the line naming the factors.
void printAnovaTable(const AnovaStats& stats, const std::string& nameXA, const std::string& nameXB);

}  // namespace tevrol
