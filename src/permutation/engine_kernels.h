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

// Whether the processor has the popcount instruction, for kernels compiled
// with and without it (the build targets no particular processor).
inline bool hasPopcount() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}

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
