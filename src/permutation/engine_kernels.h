#pragma once

// Shared by the engine's implementation files only.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "permutation/engine.h"
#include "permutation/threads.h"

namespace tevrol::engine_detail {

inline size_t sz(int64_t value) {
  return static_cast<size_t>(value);
}

int64_t totalValues(const LocusCodes& loci);

inline int32_t levelEnd(const Design& design, int32_t a) {
  return design.cellStart[sz(design.cell(a, design.levelsB - 1)) + 1];
}

std::unique_ptr<Engine> makePairEngine(const Design& design, const LocusCodes& loci, int threads);
// Mode Dense, Bitset or Sparse.
std::unique_ptr<Engine> makeCountEngine(const Design& design, const LocusCodes& loci,
                                        EngineMode mode);
std::unique_ptr<Engine> makeSlicedEngine(const Design& design, const LocusCodes& loci);
// haplotypeOf and haplotypes as from groupHaplotypes, counted to the end.
std::unique_ptr<Engine> makeHaplotypeEngine(const Design& design, const LocusCodes& loci,
                                            std::vector<int32_t> haplotypeOf, int32_t haplotypes,
                                            int threads);

// Numbers the distinct haplotypes (codes at every locus) of the individuals
// in order of first appearance: haplotypeOf[x] for position x. Returns H, or
// -1 as soon as there are more than limit (haplotypeOf is then incomplete).
int32_t groupHaplotypes(const LocusCodes& loci, int32_t limit, std::vector<int32_t>& haplotypeOf);

}  // namespace tevrol::engine_detail
