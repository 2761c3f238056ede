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

}  // namespace tevrol::engine_detail
