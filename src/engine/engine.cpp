#include "engine/engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <vector>

#include "analysis/distances.h"
#include "base/system_memory.h"
#include "engine/engine_internal.h"

namespace tevrol {

namespace engine_detail {

int64_t totalValues(const LocusCodes& loci) {
  return std::accumulate(loci.valueCount.begin(), loci.valueCount.end(), int64_t{0});
}

}  // namespace engine_detail

using engine_detail::sz;
using engine_detail::totalValues;

namespace engine_detail {

DesignFigures figuresOf(const Design& design, const LocusCodes& loci) {
  const double n = design.individuals;
  return {n,
          static_cast<double>(loci.loci),
          static_cast<double>(totalValues(loci)),
          static_cast<double>(design.cellSize.size()),
          static_cast<double>(design.cellSize.size()) + design.levelsA + design.levelsB,
          std::ceil(n / 64)};
}

}  // namespace engine_detail

Engine::Engine(const Design& design, const LocusCodes& loci)
    : design_(design), loci_(loci.loci), total_(loci.totalSum) {}

std::unique_ptr<EngineScratch> Engine::makeScratch() const {
  std::unique_ptr<EngineScratch> scratch;
  try {
    scratch = createScratch();
    scratch->sums.cell.assign(design_.cellSize.size(), 0);
    scratch->sums.levelA.assign(sz(design_.levelsA), 0);
    scratch->sums.levelB.assign(sz(design_.levelsB), 0);
    if (cross_) {
      const size_t levels = sz(design_.levelsA) + sz(design_.levelsB);
      scratch->sums.cross.assign(levels * levels, 0);
    }
  } catch (const std::bad_alloc&) {
    distanceMemoryError(design_.individuals);
  }
  return scratch;
}

const GroupSums& Engine::sums(const int32_t* cellAssignment, int type,
                              EngineScratch& scratch) const {
  GroupSums& out = scratch.sums;
  const bool wantA = cross_ || type != 1;
  const bool wantB = cross_ || type != 0;
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

constexpr double kNanosecondsPerUnit = 3.0;

// Threads that may run passes at once within the budget, 0 if not even one.
int threadsWithin(const ModeCost& cost, double budget, int threads) {
  const double left = budget - cost.sharedBytes;
  if (left < cost.threadBytes) return 0;
  return static_cast<int>(std::min<double>(threads, std::floor(left / cost.threadBytes)));
}

// Threads beyond the first may add at most this share to the memory the run
// already holds (the table, the engine's tables): more threads must not
// multiply a run's memory.
constexpr double kThreadMemoryShare = 0.15;

// A mode with its estimate, and what the estimate found.
struct Candidate {
  const EngineModeRow* mode = nullptr;
  ModeCost cost;
  std::unique_ptr<ModeFindings> findings;
  double work = 0;  // with the threads that fit
};

// The cheapest mode whose tables and threads fit a quarter of the memory,
// the lowest in rank among equals; the lowest in rank when nothing fits.
Candidate chooseMode(const EngineInput& input) {
  const double budget = static_cast<double>(availableMemory()) / 4;
  std::vector<Candidate> weighed;
  double cheapest = std::numeric_limits<double>::infinity();
  for (const EngineModeRow& mode : engineModes()) {
    if (!mode.automatic) continue;
    Candidate c{&mode, {}, nullptr, 0};
    c.cost = mode.cost(input, cheapest, c.findings);
    cheapest = std::min(cheapest, c.cost.work);
    const int usable = threadsWithin(c.cost, budget, input.threads);
    // A mode that fits fewer threads than asked for runs that much slower;
    // one that fits none is never taken on its work.
    c.work = usable == 0 ? std::numeric_limits<double>::quiet_NaN()
                         : c.cost.work * input.threads / usable;
    weighed.push_back(std::move(c));
  }
  const auto before = [](const Candidate& x, const Candidate& y) {
    return x.work < y.work || (x.work == y.work && x.mode->rank < y.mode->rank);
  };
  Candidate* best = nullptr;
  Candidate* lowest = nullptr;
  for (Candidate& c : weighed) {
    if (lowest == nullptr || c.mode->rank < lowest->mode->rank) lowest = &c;
    // An infinite estimate is no choice: it stands for data the mode cannot use.
    if (!(c.work < std::numeric_limits<double>::infinity())) continue;
    if (best == nullptr || before(c, *best)) best = &c;
  }
  return std::move(best != nullptr ? *best : *lowest);
}

// The mode asked for by name, its estimate as if nothing else were weighed.
Candidate namedMode(const EngineInput& input, const EngineModeRow& mode) {
  Candidate c{&mode, {}, nullptr};
  c.cost = mode.cost(input, std::numeric_limits<double>::infinity(), c.findings);
  return c;
}

}  // namespace

const EngineModeRow& chooseEngineMode(const Design& design, const LocusCodes& loci, int32_t nperm,
                                      int threads, bool cross) {
  return *chooseMode({design, loci, nperm, threads, cross}).mode;
}

std::unique_ptr<Engine> makeEngine(const Design& design, const LocusCodes& loci, int32_t nperm,
                                   const EngineModeRow* mode, int threads, bool cross) {
  const EngineInput input{design, loci, nperm, threads, cross};
  Candidate chosen = mode == nullptr ? chooseMode(input) : namedMode(input, *mode);
  const ModeCost& cost = chosen.cost;
  const double available = static_cast<double>(availableMemory());
  if (cost.sharedBytes + cost.threadBytes > available) distanceMemoryError(design.individuals);
  std::unique_ptr<Engine> engine;
  try {
    engine = chosen.mode->make(input, std::move(chosen.findings));
  } catch (const std::bad_alloc&) {
    distanceMemoryError(design.individuals);
  }
  int usable = std::max(threadsWithin(cost, available / 2, threads), 1);
  const double held = static_cast<double>(residentMemory());
  if (held > 0 && cost.threadBytes > 0) {
    const double extra = std::floor(kThreadMemoryShare * held / cost.threadBytes);
    usable = static_cast<int>(std::min<double>(usable, 1 + extra));
  }
  engine->mode_ = chosen.mode;
  engine->threadLimit_ = usable;
  engine->passNanoseconds_ = cost.work * kNanosecondsPerUnit;
  engine->cross_ = cross;
  engine->observe();
  return engine;
}

}  // namespace tevrol
