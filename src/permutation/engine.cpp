#include "permutation/engine.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>
#include <vector>

#include "analysis/distances.h"
#include "base/system_memory.h"
#include "permutation/engine_kernels.h"

namespace tevrol {

namespace engine_detail {

int64_t totalValues(const LocusCodes& loci) {
  return std::accumulate(loci.valueCount.begin(), loci.valueCount.end(), int64_t{0});
}

}  // namespace engine_detail

using engine_detail::sz;
using engine_detail::totalValues;

namespace {

// Sum over loci of (N^2 - sum over values of count^2): S_T of every pass.
int64_t totalSum(const LocusCodes& loci) {
  const int64_t n = loci.individuals;
  int64_t total = 0;
  std::vector<int64_t> counts;
  for (int32_t l = 0; l < loci.loci; ++l) {
    counts.assign(sz(loci.valueCount[sz(l)]), 0);
    visitCodes(loci.column(l), [&](const auto* codes) {
      for (const int32_t r : loci.rowOf) ++counts[codes[r]];
    });
    int64_t squares = 0;
    for (const int64_t c : counts) squares += c * c;
    total += n * n - squares;
  }
  return total;
}

// Rough work of one pass in each mode, in units of one counter increment,
// and the memory each needs beyond the codes.
struct Costs {
  double pairs, dense, bitset, sparse;
  double pairBytes, denseBytes, bitsetBytes;
};

Costs estimateCosts(const Design& design, const LocusCodes& loci, int32_t nperm, int threads) {
  const double n = design.individuals;
  const double l = loci.loci;
  const double values = static_cast<double>(totalValues(loci));
  const double cells = static_cast<double>(design.cellSize.size());
  const double words = std::ceil(n / 64);
  double squaresA = 0;
  double squaresB = 0;
  for (const int32_t s : design.levelSizesXA) squaresA += double{1} * s * s;
  for (const int32_t s : design.levelSizesXB) squaresB += double{1} * s * s;
  const double passes = 3.0 * nperm;
  Costs c{};
  c.pairBytes = n * n * (l <= 65535 ? 2 : 4);
  // Reads of a matrix beyond the caches cost several times more; the matrix
  // is built once, with vectorised comparisons.
  const double pairRead = c.pairBytes > (8 << 20) ? 4.0 : 1.0;
  c.pairs = pairRead * (squaresA + squaresB) / 3.0 + n * n * l / 32.0 / passes;
  const double tables = 4.0 * cells * values;
  c.dense = 0.7 * n * l + n + tables;
  c.denseBytes = threads * cells * values * 4;
  c.bitset = 0.3 * cells * (values - l) * words + cells * words + n + tables;
  c.bitsetBytes = (values - l) * words * 8 + threads * (cells * words * 8 + cells * values * 4);
  c.sparse = 14.0 / 3.0 * n * l;
  return c;
}

}  // namespace

const char* engineModeName(EngineMode mode) {
  switch (mode) {
    case EngineMode::Pairs:
      return "pairs";
    case EngineMode::Dense:
      return "dense";
    case EngineMode::Bitset:
      return "bitset";
    case EngineMode::Sparse:
      return "sparse";
    case EngineMode::Automatic:
      break;
  }
  return "automatic";
}

bool parseEngineMode(const std::string& text, EngineMode& mode) {
  for (const EngineMode m : {EngineMode::Automatic, EngineMode::Pairs, EngineMode::Dense,
                             EngineMode::Bitset, EngineMode::Sparse}) {
    if (text == engineModeName(m)) {
      mode = m;
      return true;
    }
  }
  return false;
}

Engine::Engine(const Design& design, const LocusCodes& loci)
    : design_(design), loci_(loci.loci), total_(totalSum(loci)) {}

std::unique_ptr<EngineScratch> Engine::makeScratch() const {
  std::unique_ptr<EngineScratch> scratch;
  try {
    scratch = createScratch();
    scratch->sums.cell.assign(design_.cellSize.size(), 0);
    scratch->sums.levelA.assign(sz(design_.levelsA), 0);
    scratch->sums.levelB.assign(sz(design_.levelsB), 0);
  } catch (const std::bad_alloc&) {
    distanceMemoryError(design_.individuals);
  }
  return scratch;
}

const GroupSums& Engine::sums(const int32_t* cellAssignment, int type,
                              EngineScratch& scratch) const {
  GroupSums& out = scratch.sums;
  const bool wantA = type != 1;
  const bool wantB = type != 0;
  computeSums(cellAssignment, wantA, wantB, scratch);
  out.total = static_cast<double>(total_);
  if (!wantA) std::copy(observed_.levelA.begin(), observed_.levelA.end(), out.levelA.begin());
  if (!wantB) std::copy(observed_.levelB.begin(), observed_.levelB.end(), out.levelB.begin());
  return out;
}

void Engine::observe() {
  std::vector<int32_t> identity(sz(design_.individuals));
  std::iota(identity.begin(), identity.end(), 0);
  auto scratch = makeScratch();
  observed_ = sums(identity.data(), kAllSums, *scratch);
}

EngineMode chooseEngineMode(const Design& design, const LocusCodes& loci, int32_t nperm,
                            int threads) {
  const Costs costs = estimateCosts(design, loci, nperm, threads);
  const double budget = static_cast<double>(availableMemory()) / 4;
  EngineMode best = EngineMode::Sparse;
  double bestCost = costs.sparse;
  const auto consider = [&](EngineMode mode, double cost, double bytes) {
    if (bytes <= budget && cost < bestCost) {
      best = mode;
      bestCost = cost;
    }
  };
  consider(EngineMode::Dense, costs.dense, costs.denseBytes);
  consider(EngineMode::Bitset, costs.bitset, costs.bitsetBytes);
  consider(EngineMode::Pairs, costs.pairs, costs.pairBytes);
  return best;
}

std::unique_ptr<Engine> makeEngine(const Design& design, const LocusCodes& loci, int32_t nperm,
                                   EngineMode mode, int threads) {
  if (mode == EngineMode::Automatic) mode = chooseEngineMode(design, loci, nperm, threads);
  std::unique_ptr<Engine> engine;
  try {
    if (mode == EngineMode::Pairs) {
      engine = engine_detail::makePairEngine(design, loci, threads);
    } else {
      engine = engine_detail::makeCountEngine(design, loci, mode);
    }
  } catch (const std::bad_alloc&) {
    distanceMemoryError(design.individuals);
  }
  engine->observe();
  return engine;
}

}  // namespace tevrol
