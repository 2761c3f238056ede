// The reference mode: the literal computation. The N x N table of observed
// distances is rewritten through every arrangement into a working table of
// the thread's own, whose groups are then summed. Slow, and kept so: it is
// what the fast modes are checked against.
#include <new>
#include <utility>
#include <vector>

#include "analysis/distances.h"
#include "engine/engine_internal.h"

namespace tevrol::engine_detail {

namespace {

class ReferenceScratch : public EngineScratch {
 public:
  DistanceTable working;
};

class ReferenceEngine : public Engine {
 public:
  ReferenceEngine(const Design& design, const LocusCodes& loci)
      : Engine(design, loci), observed_(buildDistanceTable(loci)) {}

 protected:
  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<ReferenceScratch>();
    scratch->working = DistanceTable(design_.individuals);
    return scratch;
  }

  void computeSums(const int32_t* assignment, bool, bool, EngineScratch& base) const override {
    auto& scratch = static_cast<ReferenceScratch&>(base);
    applyArrangement(observed_, assignment, scratch.working);
    sumWithinGroups(scratch.working, design_, scratch.sums);
    if (cross_) crossSums(scratch.working, scratch.sums);
  }

 private:
  // The positions of a level (XA levels first, then XB's) as runs.
  std::vector<std::pair<int32_t, int32_t>> runsOf(int32_t level) const {
    std::vector<std::pair<int32_t, int32_t>> runs;
    const int32_t A = design_.levelsA;
    for (int32_t a = 0; a < A; ++a) {
      for (int32_t b = 0; b < design_.levelsB; ++b) {
        if (level == a || level == A + b) {
          runs.emplace_back(design_.start(a, b), design_.start(a, b) + design_.size(a, b));
        }
      }
    }
    return runs;
  }

  void crossSums(const DistanceTable& working, GroupSums& sums) const {
    const int32_t K = design_.levelsA + design_.levelsB;
    for (int32_t i = 0; i < K; ++i) {
      for (int32_t j = 0; j < K; ++j) {
        double sum = 0;
        for (const auto& x : runsOf(i)) {
          for (const auto& y : runsOf(j)) {
            for (int32_t p = x.first; p < x.second; ++p) {
              const int32_t* row = working.row(p);
              for (int32_t q = y.first; q < y.second; ++q) sum += row[q];
            }
          }
        }
        sums.cross[sz(i) * sz(K) + sz(j)] = sum;
      }
    }
  }

  DistanceTable observed_;
};

}  // namespace

ModeCost referenceCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  ModeCost c;
  c.work = 2 * f.n * f.n;
  c.sharedBytes = 4 * f.n * f.n;
  c.threadBytes = loopBytes(f) + 4 * f.n * f.n;
  return c;
}

std::unique_ptr<Engine> makeReferenceEngine(const EngineInput& input,
                                            std::unique_ptr<ModeFindings>) {
  return std::make_unique<ReferenceEngine>(input.design, input.loci);
}

}  // namespace tevrol::engine_detail
