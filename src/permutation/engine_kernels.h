#pragma once

// Shared by the engine's implementation files only.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "permutation/engine.h"

namespace tevrol::engine_detail {

inline size_t sz(int64_t value) { return static_cast<size_t>(value); }

int64_t totalValues(const LocusCodes& loci);

inline int32_t levelEnd(const Design& design, int32_t a) {
  return design.cellStart[sz(design.cell(a, design.levelsB - 1)) + 1];
}

// Runs work(t) for t = 0 ... threads - 1, on new threads where they can be had
// and on this one otherwise.
template <typename Work>
void runOnThreads(int threads, const Work& work) {
  std::vector<std::thread> started;
  int t = 1;
  for (; t < threads; ++t) {
    try {
      started.emplace_back(work, t);
    } catch (const std::system_error&) {
      break;
    }
  }
  for (int rest = t; rest < threads; ++rest) work(rest);
  work(0);
  for (auto& thread : started) thread.join();
}

std::unique_ptr<Engine> makePairEngine(const Design& design, const LocusCodes& loci, int threads);
// Mode Dense, Bitset or Sparse.
std::unique_ptr<Engine> makeCountEngine(const Design& design, const LocusCodes& loci,
                                        EngineMode mode);

}  // namespace tevrol::engine_detail
