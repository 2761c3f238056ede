// The reference mode: the literal computation. The N x N table of observed
// distances is rewritten through every arrangement into a working table of
// the thread's own, whose groups are then summed. Slow, and kept so: it is
// what the fast modes are checked against.
#include <new>

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
  }

 private:
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
