#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/design.h"

namespace tevrol {

class DistanceTable;

enum AnovaRow { XA = 0, XB = 1, Error = 2, Total = 3 };

// The numbers of the ANOVA table, each vector indexed by AnovaRow.
struct AnovaStats {
  std::array<double, 4> df{};
  std::array<double, 4> seqSS{};
  std::array<double, 4> adjSS{};
  std::array<double, 4> MS{};
  std::array<double, 4> F{};
  std::array<double, 4> n{};
  std::array<double, 4> var{};
};

// Sums of distances over the ordered pairs of positions within each group:
// all N positions, each cell, each XA level and each XB level. They are whole
// numbers (exact in a double below 2^53), so the order of summing does not
// matter; everything after them keeps one fixed order.
struct GroupSums {
  double total = 0;
  std::vector<double> cell;    // [a * B + b]
  std::vector<double> levelA;  // [a]
  std::vector<double> levelB;  // [b]
  // Only when the table with interaction is asked for: the sums of the
  // distances from the members of one level to those of another, all
  // ordered pairs, at [i * (A + B) + j]; levels of XA are 0 ... A - 1, those
  // of XB follow. Its diagonal is levelA and levelB.
  std::vector<double> cross;
};

// Degrees of freedom and the n coefficients; they depend on the cell sizes only.
void computeFixedStats(AnovaStats& stats, const Design& design);

// The sums of squares within cells, within levels of XA and within levels
// of XB (each group's sum over twice its size), from one pass's sums.
struct WithinSS {
  double cells = 0;
  double levelsA = 0;
  double levelsB = 0;
};
WithinSS computeWithinSS(const Design& design, const GroupSums& sums);

// Everything else of the table, from the within-group sums of one pass.
void computePassStats(AnovaStats& stats, const Design& design, const GroupSums& sums);

// The within-group sums read from a distance table whose positions are laid
// out as the design says.
void sumWithinGroups(const DistanceTable& working, const Design& design, GroupSums& sums);

}  // namespace tevrol
