#include "permutation/pass_loop.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <vector>

#include "base/fatal.h"
#include "base/threads.h"
#include "engine/engine.h"
#include "permutation/arrangement.h"
#include "permutation/random.h"

namespace tevrol {

namespace {

// Memory for the arrangements of one batch, and the most passes in one.
constexpr size_t kBatchBytes = size_t{32} << 20;
constexpr int32_t kMaxBatch = 256;
// Passes shorter than this (estimated) run on one thread: handing a batch of
// them to others costs more than it saves.
constexpr double kSharedPassNanoseconds = 2000;

int threadsFor(const Engine& engine, int threads, bool shareShortPasses) {
  if (!shareShortPasses && engine.passNanoseconds() < kSharedPassNanoseconds) return 1;
  return std::max(1, std::min(threads, engine.threadLimit()));
}

bool cancelled(const PassLoop& loop) {
  return loop.cancel != nullptr && loop.cancel->load(std::memory_order_relaxed);
}

struct Batch {
  int32_t firstPass = 0;
  int32_t count = 0;
  std::vector<int32_t> indices;  // count x N: the pool indices drawn for each pass
  std::vector<AnovaStats> stats;
  std::vector<InteractionStats> interaction;  // with the table with interaction
};

// What each evaluating thread owns.
struct Worker {
  std::unique_ptr<EngineScratch> scratch;
  std::vector<int32_t> pool;
  std::vector<int32_t> cellAssignment;
};

class BatchRunner {
 public:
  BatchRunner(const PassLoop& loop, const Engine& engine, int threads)
      : loop_(loop),
        engine_(engine),
        arrangements_(loop.design),
        n_(static_cast<size_t>(loop.design.individuals)),
        pool_(threadsFor(engine, threads, loop.shareShortPasses)) {
    const size_t fit = kBatchBytes / (n_ * sizeof(int32_t) + 1);
    perBatch_ = static_cast<int32_t>(std::clamp<size_t>(fit, 1, kMaxBatch));
    for (Batch& batch : batches_) {
      batch.indices.resize(static_cast<size_t>(perBatch_) * n_);
      batch.stats.assign(static_cast<size_t>(perBatch_), loop.stats);
      if (loop.interaction != nullptr) {
        batch.interaction.assign(static_cast<size_t>(perBatch_), loop.interaction->observed);
      }
    }
    for (int t = 0; t < pool_.size(); ++t) {
      workers_.push_back(
          {engine.makeScratch(), std::vector<int32_t>(n_), std::vector<int32_t>(n_)});
    }
  }

  // The type of a pass and the number of passes.
  int typeOf(int32_t pass) const {
    return loop_.onlyType >= 0 ? loop_.onlyType : pass % kPermutationTypes;
  }
  int32_t passes() const {
    return loop_.onlyType >= 0 ? loop_.nperm : kPermutationTypes * loop_.nperm;
  }

  void run() {
    const int32_t passes = this->passes();
    int which = 0;
    draw(batches_[which], 0);
    while (batches_[which].count > 0) {
      Batch& current = batches_[which];
      Batch& next = batches_[1 - which];
      next.count = 0;
      std::atomic<int32_t> nextSlot{0};
      const int32_t following = current.firstPass + current.count;
      // This thread draws the next batch, then joins in evaluating this one.
      pool_.run([&](int t) {
        if (t == 0 && following < passes) draw(next, following);
        evaluateBatch(current, nextSlot, workers_[static_cast<size_t>(t)]);
      });
      if (cancelled(loop_)) fatalError("Interrupted");
      record(current);
      which = 1 - which;
    }
  }

 private:
  void draw(Batch& batch, int32_t firstPass) {
    const int32_t passes = this->passes();
    batch.firstPass = firstPass;
    batch.count = std::min(perBatch_, passes - firstPass);
    for (int32_t i = 0; i < batch.count; ++i) {
      arrangements_.drawIndices(typeOf(firstPass + i), loop_.random,
                                batch.indices.data() + static_cast<size_t>(i) * n_);
    }
  }

  void evaluateBatch(Batch& batch, std::atomic<int32_t>& nextSlot, Worker& worker) const {
    for (int32_t i = nextSlot++; i < batch.count && !cancelled(loop_); i = nextSlot++) {
      const int type = typeOf(batch.firstPass + i);
      arrangements_.applyIndices(type, batch.indices.data() + static_cast<size_t>(i) * n_,
                                 worker.pool.data(), worker.cellAssignment.data());
      const GroupSums& sums = engine_.sums(worker.cellAssignment.data(), type, *worker.scratch);
      computePassStats(batch.stats[static_cast<size_t>(i)], loop_.design, sums);
      if (loop_.interaction != nullptr) {
        computeInteractionStats(batch.interaction[static_cast<size_t>(i)], loop_.design,
                                loop_.interaction->model, sums);
      }
    }
  }

  void record(const Batch& batch) const {
    for (int32_t i = 0; i < batch.count; ++i) {
      const int32_t pass = batch.firstPass + i;
      const AnovaStats& stats = batch.stats[static_cast<size_t>(i)];
      if (loop_.onPass) loop_.onPass(pass, stats);
      recordPassOfType(loop_.counts, typeOf(pass), stats);
      if (loop_.interaction != nullptr) {
        recordInteractionPassOfType(loop_.interaction->counts, typeOf(pass),
                                    batch.interaction[static_cast<size_t>(i)]);
      }
    }
  }

  const PassLoop& loop_;
  const Engine& engine_;
  Arrangements arrangements_;
  size_t n_;
  int32_t perBatch_ = 1;
  Batch batches_[2];
  std::vector<Worker> workers_;
  WorkerPool pool_;  // last: its threads stop before what they work on goes
};

}  // namespace

void runEngineLoop(const PassLoop& loop, const Engine& engine, int threads) {
  if (loop.interaction != nullptr && !engine.crossSums()) {
    throw std::logic_error("the table with interaction needs an engine of sums between levels");
  }
  computePassStats(loop.stats, loop.design, engine.observedSums());
  if (loop.interaction != nullptr) {
    computeInteractionStats(loop.interaction->observed, loop.design, loop.interaction->model,
                            engine.observedSums());
    recordInteractionObserved(loop.interaction->counts, loop.interaction->observed);
  }
  if (loop.onPass) loop.onPass(-1, loop.stats);
  if (loop.onObserved) loop.onObserved(loop.stats);
  recordObserved(loop.counts, loop.stats);
  BatchRunner(loop, engine, threads).run();
}

}  // namespace tevrol
