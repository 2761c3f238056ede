#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/design.h"

namespace tevrol {

// Distances between every ordered pair of individuals, as one N x N block of
// 32-bit integers indexed by position: entry (x, y) is at x * N + y. The
// six-index view [a1][b1][k1][a2][b2][k2] reads the entry of positions
// (a1, b1, k1) and (a2, b2, k2).
class DistanceTable {
 public:
  DistanceTable() = default;
  explicit DistanceTable(int32_t individuals);

  int32_t individuals() const { return individuals_; }
  int32_t* row(int32_t x) { return values_.data() + static_cast<size_t>(x) * n(); }
  const int32_t* row(int32_t x) const { return values_.data() + static_cast<size_t>(x) * n(); }
  int32_t at(int32_t x, int32_t y) const { return row(x)[y]; }
  int32_t at(const Design& design, int32_t a1, int32_t b1, int32_t k1, int32_t a2, int32_t b2,
             int32_t k2) const {
    return at(design.position({a1, b1, k1}), design.position({a2, b2, k2}));
  }

 private:
  size_t n() const { return static_cast<size_t>(individuals_); }
  int32_t individuals_ = 0;
  std::vector<int32_t> values_;
};

// Fatal "Not enough memory for the distance tables of N individuals".
[[noreturn]] void distanceMemoryError(int32_t individuals);
// The same error unless the bytes fit in the available memory.
void requireMemoryForDistances(uint64_t bytes, int32_t individuals);

// The distances of every pair of individuals by position: the number of loci
// at which both have a value and their codes differ. Fatal when they do not
// fit in memory.
DistanceTable buildDistanceTable(const LocusCodes& loci);

// ObservedDistances and WorkingDistances, equal on return.
void buildDistanceTables(const LocusCodes& loci, DistanceTable& observed, DistanceTable& working);

// WorkingDistances[x][y] = ObservedDistances[cellAssignment[x]][cellAssignment[y]].
void applyArrangement(const DistanceTable& observed, const int32_t* cellAssignment,
                      DistanceTable& working);

}  // namespace tevrol
