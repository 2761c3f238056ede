#include "analysis/distances.h"

#include <new>
#include <string>

#include "base/fatal.h"
#include "base/system_memory.h"

namespace tevrol {

DistanceTable::DistanceTable(int32_t individuals)
    : individuals_(individuals),
      values_(static_cast<size_t>(individuals) * static_cast<size_t>(individuals), 0) {}

void distanceMemoryError(int32_t individuals) {
  fatalError("Not enough memory for the distance tables of " + std::to_string(individuals) +
             " individuals");
}

void requireMemoryForDistances(uint64_t bytes, int32_t individuals) {
  if (bytes > availableMemory()) distanceMemoryError(individuals);
}

DistanceTable buildDistanceTable(const LocusCodes& loci) {
  const int32_t n = loci.individuals;
  requireMemoryForDistances(
      uint64_t{sizeof(int32_t)} * static_cast<uint64_t>(n) * static_cast<uint64_t>(n), n);
  DistanceTable observed;
  try {
    observed = DistanceTable(n);
  } catch (const std::bad_alloc&) {
    distanceMemoryError(n);
  }
  // The number of loci at which both individuals have a value and their codes
  // differ. A locus without missing values has no code equal to its missing
  // code (valueCount), so it counts every difference.
  const std::vector<uint32_t> rows = loci.positionRows<uint32_t>();
  const size_t width = static_cast<size_t>(loci.loci);
  std::vector<uint32_t> missing(width);
  for (size_t l = 0; l < width; ++l) missing[l] = loci.missingCode(static_cast<int32_t>(l));
  for (int32_t x = 0; x < n; ++x) {
    int32_t* out = observed.row(x);
    const uint32_t* cx = rows.data() + static_cast<size_t>(x) * width;
    for (int32_t y = 0; y < n; ++y) {
      const uint32_t* cy = rows.data() + static_cast<size_t>(y) * width;
      int32_t d = 0;
      for (size_t l = 0; l < width; ++l) {
        d += int{cx[l] != cy[l]} & int{cx[l] != missing[l]} & int{cy[l] != missing[l]};
      }
      out[y] = d;
    }
  }
  return observed;
}

void buildDistanceTables(const LocusCodes& loci, DistanceTable& observed, DistanceTable& working) {
  const int32_t n = loci.individuals;
  requireMemoryForDistances(
      2 * uint64_t{sizeof(int32_t)} * static_cast<uint64_t>(n) * static_cast<uint64_t>(n), n);
  observed = buildDistanceTable(loci);
  try {
    working = observed;
  } catch (const std::bad_alloc&) {
    distanceMemoryError(n);
  }
}

void applyArrangement(const DistanceTable& observed, const int32_t* cellAssignment,
                      DistanceTable& working) {
  const int32_t n = observed.individuals();
  for (int32_t x = 0; x < n; ++x) {
    const int32_t* source = observed.row(cellAssignment[x]);
    int32_t* target = working.row(x);
    for (int32_t y = 0; y < n; ++y) target[y] = source[cellAssignment[y]];
  }
}

}  // namespace tevrol
