#include "permutation/engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
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

// How many individuals carry each value of a locus. When every data row is an
// individual the codes are counted as they lie, with no gather through rowOf.
template <typename Code>
void countValues(const Code* codes, const LocusCodes& loci, std::vector<int64_t>& counts) {
  const size_t n = loci.rowOf.size();
  if (counts.size() == 2 && n == static_cast<size_t>(loci.table->rowCount())) {
    int64_t ones = 0;  // a plain sum, which vectorises
    for (size_t r = 0; r < n; ++r) ones += codes[r];
    counts = {static_cast<int64_t>(n) - ones, ones};
    return;
  }
  // Four tables in turn, so that runs of one value do not wait on one counter.
  std::vector<int64_t> four(4 * counts.size(), 0);
  size_t k = 0;
  for (const int32_t r : loci.rowOf) {
    ++four[(k & 3) * counts.size() + codes[r]];
    ++k;
  }
  for (size_t v = 0; v < counts.size(); ++v) {
    for (size_t t = 0; t < 4; ++t) counts[v] += four[t * counts.size() + v];
  }
}

// Sum over loci of (N^2 - sum over values of count^2): S_T of every pass.
int64_t totalSum(const LocusCodes& loci) {
  const int64_t n = loci.individuals;
  int64_t total = 0;
  std::vector<int64_t> counts;
  for (int32_t l = 0; l < loci.loci; ++l) {
    counts.assign(sz(loci.valueCount[sz(l)]), 0);
    visitCodes(loci.column(l), [&](const auto* codes) { countValues(codes, loci, counts); });
    int64_t squares = 0;
    for (const int64_t c : counts) squares += c * c;
    total += n * n - squares;
  }
  return total;
}

// Rough work of one pass in a mode, in units of one counter increment (about
// 3 ns on the machines we measure), and the memory it needs beyond the codes:
// tables shared by all threads and scratch for each thread (the loop's own
// arrays of N positions included).
struct ModeCost {
  double work = 0;
  double sharedBytes = 0;
  double threadBytes = 0;
};

constexpr double kNanosecondsPerUnit = 3.0;
constexpr int kModes = 7;

int bitWidth(double n) {
  int width = 0;
  for (; n >= 1; n /= 2) ++width;
  return width;
}

struct DesignFigures {
  double n, l, values, cells, groups, words;
};

DesignFigures figuresOf(const Design& design, const LocusCodes& loci) {
  const double n = design.individuals;
  return {n,
          static_cast<double>(loci.loci),
          static_cast<double>(totalValues(loci)),
          static_cast<double>(design.cellSize.size()),
          static_cast<double>(design.cellSize.size()) + design.levelsA + design.levelsB,
          std::ceil(n / 64)};
}

ModeCost slicedCost(const DesignFigures& f, const LocusCodes& loci) {
  double twoPlanes = 0;
  double manyPlanes = 0;
  for (const int32_t v : loci.valueCount) {
    if (v == 2) twoPlanes += 1;
    if (v > 2) manyPlanes += v - 1;
  }
  const double twoWords = std::ceil(twoPlanes / 64);
  const double manyWords = std::ceil(manyPlanes / 64);
  const double w = twoWords + manyWords;
  const double depth = std::max(5, bitWidth(f.n));
  ModeCost c;
  // Rows of 16 members cost about 6 word operations each per word; levels
  // add their cells' counters; sums read pairs of slices or read counts out.
  c.work = 0.5 * f.n * w + f.cells * depth * w + f.groups * depth * depth * twoWords * 0.3 +
           f.groups * depth * manyWords * 16 + f.n;
  c.sharedBytes = f.n * w * 8;
  c.threadBytes = f.groups * depth * w * 8 + manyWords * 512;
  return c;
}

ModeCost haplotypeCost(const DesignFigures& f, double h, double passes) {
  ModeCost c;
  const double levelCells = 2 * f.cells;
  c.work = f.n + levelCells * h + f.groups * (h + 0.3 * h * h / 2) + h * h * f.l / 32.0 / passes;
  c.sharedBytes = h * h * (f.l <= 65535 ? 2 : 4) + h * f.l * 4 + f.n * 4;
  c.threadBytes = (f.cells + 1) * h * 4 + h * 4;
  return c;
}

// Costs of every mode, indexed by EngineMode; that of haplotypes is left
// infinite until their number is known (addHaplotypeCost).
std::array<ModeCost, kModes> estimateCosts(const Design& design, const LocusCodes& loci,
                                           int32_t nperm) {
  const DesignFigures f = figuresOf(design, loci);
  double squaresA = 0;
  double squaresB = 0;
  for (const int32_t s : design.levelSizesXA) squaresA += double{1} * s * s;
  for (const int32_t s : design.levelSizesXB) squaresB += double{1} * s * s;
  const double passes = 3.0 * nperm;
  const double codeBytes = f.n * f.l * (f.values <= 65536 ? 2 : 4);
  const double loop = 8 * f.n;
  std::array<ModeCost, kModes> c{};
  auto& pairs = c[static_cast<size_t>(EngineMode::Pairs)];
  pairs.sharedBytes = f.n * f.n * (f.l <= 65535 ? 2 : 4);
  // Reads of a matrix beyond the caches cost several times more; the matrix
  // is built once, with vectorised comparisons.
  const double pairRead = pairs.sharedBytes > (8 << 20) ? 4.0 : 1.0;
  pairs.work = pairRead * (squaresA + squaresB) / 3.0 + f.n * f.n * f.l / 32.0 / passes;
  pairs.threadBytes = loop + 4 * f.n;
  const double tables = 4.0 * f.cells * f.values;
  auto& dense = c[static_cast<size_t>(EngineMode::Dense)];
  dense.work = 0.7 * f.n * f.l + f.n + tables;
  dense.sharedBytes = codeBytes;
  dense.threadBytes = loop + 4 * f.n + (f.cells + 1) * f.values * 4;
  auto& bitset = c[static_cast<size_t>(EngineMode::Bitset)];
  bitset.work = 0.3 * f.cells * (f.values - f.l) * f.words + f.cells * f.words + f.n + tables;
  bitset.sharedBytes = (f.values - f.l) * f.words * 8;
  bitset.threadBytes = loop + f.cells * f.words * 8 + (f.cells + 1) * f.values * 4;
  auto& sparse = c[static_cast<size_t>(EngineMode::Sparse)];
  sparse.work = 14.0 / 3.0 * f.n * f.l;
  sparse.sharedBytes = codeBytes;
  sparse.threadBytes = loop + f.values * 4;
  c[static_cast<size_t>(EngineMode::Sliced)] = slicedCost(f, loci);
  auto& haplotypes = c[static_cast<size_t>(EngineMode::Haplotypes)];
  haplotypes.work = std::numeric_limits<double>::infinity();
  haplotypes.sharedBytes = f.n * 4;
  haplotypes.threadBytes = loop;
  return c;
}

// Haplotypes pay only when H^2 is well below the cheapest other work, so
// they need not be counted further than this.
int32_t haplotypeLimit(const Design& design, const LocusCodes& loci,
                       const std::array<ModeCost, kModes>& costs) {
  const DesignFigures f = figuresOf(design, loci);
  double best = std::numeric_limits<double>::infinity();
  for (size_t m = 1; m < kModes; ++m) best = std::min(best, costs[m].work);
  return static_cast<int32_t>(std::min(f.n, std::sqrt(best / (0.15 * f.groups))));
}

void addHaplotypeCost(const Design& design, const LocusCodes& loci, int32_t nperm,
                      int32_t haplotypes, std::array<ModeCost, kModes>& costs) {
  if (haplotypes < 0) return;
  costs[static_cast<size_t>(EngineMode::Haplotypes)] =
      haplotypeCost(figuresOf(design, loci), haplotypes, 3.0 * nperm);
}

// Threads that may run passes at once within the budget, 0 if not even one.
int threadsWithin(const ModeCost& cost, double budget, int threads) {
  const double left = budget - cost.sharedBytes;
  if (left < cost.threadBytes) return 0;
  return static_cast<int>(std::min<double>(threads, std::floor(left / cost.threadBytes)));
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
    case EngineMode::Sliced:
      return "sliced";
    case EngineMode::Haplotypes:
      return "haplotypes";
    case EngineMode::Automatic:
      break;
  }
  return "automatic";
}

bool parseEngineMode(const std::string& text, EngineMode& mode) {
  for (const EngineMode m :
       {EngineMode::Automatic, EngineMode::Pairs, EngineMode::Dense, EngineMode::Bitset,
        EngineMode::Sparse, EngineMode::Sliced, EngineMode::Haplotypes}) {
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

namespace {

EngineMode cheapestMode(const std::array<ModeCost, kModes>& costs, int threads) {
  const double budget = static_cast<double>(availableMemory()) / 4;
  EngineMode best = EngineMode::Sparse;
  double bestCost = std::numeric_limits<double>::infinity();
  // Sparse first: it stays the choice when nothing is cheaper or nothing fits.
  for (const EngineMode mode : {EngineMode::Sparse, EngineMode::Dense, EngineMode::Bitset,
                                EngineMode::Pairs, EngineMode::Sliced, EngineMode::Haplotypes}) {
    const ModeCost& cost = costs[static_cast<size_t>(mode)];
    const int usable = threadsWithin(cost, budget, threads);
    if (usable == 0) continue;
    // A mode that fits fewer threads than asked for runs that much slower.
    const double work = cost.work * threads / usable;
    if (work < bestCost) {
      best = mode;
      bestCost = work;
    }
  }
  return best;
}

// Threads beyond the first may add at most this share to the memory the run
// already holds (the table, the engine's tables): more threads must not
// multiply a run's memory.
constexpr double kThreadMemoryShare = 0.15;

}  // namespace

EngineMode chooseEngineMode(const Design& design, const LocusCodes& loci, int32_t nperm,
                            int threads) {
  auto costs = estimateCosts(design, loci, nperm);
  std::vector<int32_t> haplotypeOf;
  addHaplotypeCost(
      design, loci, nperm,
      engine_detail::groupHaplotypes(loci, haplotypeLimit(design, loci, costs), haplotypeOf),
      costs);
  return cheapestMode(costs, threads);
}

std::unique_ptr<Engine> makeEngine(const Design& design, const LocusCodes& loci, int32_t nperm,
                                   EngineMode mode, int threads) {
  auto costs = estimateCosts(design, loci, nperm);
  std::vector<int32_t> haplotypeOf;
  int32_t haplotypes = -1;
  if (mode == EngineMode::Automatic || mode == EngineMode::Haplotypes) {
    const int32_t limit =
        mode == EngineMode::Haplotypes ? loci.individuals : haplotypeLimit(design, loci, costs);
    haplotypes = engine_detail::groupHaplotypes(loci, limit, haplotypeOf);
    addHaplotypeCost(design, loci, nperm, haplotypes, costs);
  }
  if (mode == EngineMode::Automatic) mode = cheapestMode(costs, threads);
  const ModeCost& cost = costs[static_cast<size_t>(mode)];
  const double available = static_cast<double>(availableMemory());
  if (cost.sharedBytes + cost.threadBytes > available) distanceMemoryError(design.individuals);
  std::unique_ptr<Engine> engine;
  try {
    if (mode == EngineMode::Pairs) {
      engine = engine_detail::makePairEngine(design, loci, threads);
    } else if (mode == EngineMode::Sliced) {
      engine = engine_detail::makeSlicedEngine(design, loci);
    } else if (mode == EngineMode::Haplotypes) {
      engine = engine_detail::makeHaplotypeEngine(design, loci, std::move(haplotypeOf), haplotypes,
                                                  threads);
    } else {
      engine = engine_detail::makeCountEngine(design, loci, mode);
    }
  } catch (const std::bad_alloc&) {
    distanceMemoryError(design.individuals);
  }
  int usable = std::max(threadsWithin(cost, available / 2, threads), 1);
  const double held = static_cast<double>(residentMemory());
  if (held > 0 && cost.threadBytes > 0) {
    const double extra = std::floor(kThreadMemoryShare * held / cost.threadBytes);
    usable = static_cast<int>(std::min<double>(usable, 1 + extra));
  }
  engine->threadLimit_ = usable;
  engine->passNanoseconds_ = cost.work * kNanosecondsPerUnit;
  engine->observe();
  return engine;
}

}  // namespace tevrol
