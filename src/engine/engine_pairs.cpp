// The pairs mode: an N x N matrix of distances read through the arrangement.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "analysis/distances.h"
#include "engine/engine_internal.h"

namespace tevrol::engine_detail {

namespace {

class PairScratch : public EngineScratch {
 public:
  std::vector<int32_t> gathered;  // individuals of one level, in position order
  std::vector<int32_t> cellEnds;  // end of each of its cells in gathered
  std::vector<int64_t> cellCross;   // sums between levels: cells x cells
  std::vector<int64_t> levelCross;  // and levels x levels
};

template <typename Dist>
class PairEngine : public Engine {
 public:
  PairEngine(const Design& design, const LocusCodes& loci, int threads)
      : Engine(design, loci), n_(design.individuals) {
    try {
      d_.resize(sz(n_) * sz(n_));
    } catch (const std::bad_alloc&) {
      distanceMemoryError(n_);
    }
    // With missing values every locus needs a missing code of the width,
    // valueCount itself at a locus without any.
    const bool missing = loci.anyMissing();
    uint32_t maxCode = 0;
    for (int32_t l = 0; l < loci.loci; ++l) {
      maxCode = std::max(maxCode, missing ? loci.missingCode(l)
                                          : static_cast<uint32_t>(loci.valueCount[sz(l)] - 1));
    }
    if (maxCode <= 0xFF) {
      build<uint8_t>(loci, missing, threads);
    } else if (maxCode <= 0xFFFF) {
      build<uint16_t>(loci, missing, threads);
    } else {
      build<uint32_t>(loci, missing, threads);
    }
  }

  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<PairScratch>();
    scratch->gathered.resize(sz(n_));
    scratch->cellEnds.resize(sz(std::max(design_.levelsA, design_.levelsB)));
    if (cross_) {
      const size_t levels = sz(design_.levelsA) + sz(design_.levelsB);
      scratch->cellCross.resize(design_.cellSize.size() * design_.cellSize.size());
      scratch->levelCross.resize(levels * levels);
    }
    return scratch;
  }

 protected:
  void computeSums(const int32_t* assignment, bool wantA, bool wantB,
                   EngineScratch& base) const override {
    auto& scratch = static_cast<PairScratch&>(base);
    if (cross_) {
      crossSums(assignment, scratch);
      return;
    }
    if (wantA) {
      for (int32_t a = 0; a < design_.levelsA; ++a) levelSums(assignment, true, a, true, scratch);
    }
    if (wantB) {
      for (int32_t b = 0; b < design_.levelsB; ++b) {
        levelSums(assignment, false, b, !wantA, scratch);
      }
    }
  }

 private:
  template <typename Code>
  void build(const LocusCodes& loci, bool missing, int threads) {
    if (missing) {
      const std::vector<Code> missingCode = missingCodes<Code>(loci);
      fill(loci.positionRows<Code>(), loci.loci, threads, [&](const Code* x, const Code* y) {
        return presentMismatches(x, y, missingCode.data(), loci.loci);
      });
    } else {
      fill(loci.positionRows<Code>(), loci.loci, threads,
           [&](const Code* x, const Code* y) { return mismatches(x, y, loci.loci); });
    }
  }

  template <typename Code, typename Distance>
  void fill(const std::vector<Code>& codes, int32_t loci, int threads, const Distance& distance) {
    // Rows are dealt out in turn, so that the triangle's long and short rows
    // spread evenly over the threads.
    runOnThreads(threads, [&](int t) {
      for (int32_t x = t; x < n_; x += threads) {
        const Code* cx = codes.data() + sz(x) * sz(loci);
        Dist* row = d_.data() + sz(x) * sz(n_);
        row[x] = 0;
        for (int32_t y = x + 1; y < n_; ++y) {
          row[y] = static_cast<Dist>(distance(cx, codes.data() + sz(y) * sz(loci)));
        }
      }
    });
    for (int32_t x = 0; x < n_; ++x) {
      for (int32_t y = 0; y < x; ++y) d_[sz(x) * sz(n_) + sz(y)] = d_[sz(y) * sz(n_) + sz(x)];
    }
  }

  // Sums of one level (of XA if byA, else of XB) and, if withCells, of its
  // cells. The matrix is symmetric with a zero diagonal, so each unordered
  // pair is read once and counted twice.
  void levelSums(const int32_t* assignment, bool byA, int32_t level, bool withCells,
                 PairScratch& scratch) const {
    const int32_t cells = byA ? design_.levelsB : design_.levelsA;
    int32_t* gathered = scratch.gathered.data();
    int32_t count = 0;
    for (int32_t j = 0; j < cells; ++j) {
      const int32_t a = byA ? level : j;
      const int32_t b = byA ? j : level;
      const int32_t start = design_.start(a, b);
      for (int32_t k = 0; k < design_.size(a, b); ++k) gathered[count++] = assignment[start + k];
      scratch.cellEnds[sz(j)] = count;
    }
    int64_t levelSum = 0;
    int32_t begin = 0;
    for (int32_t j = 0; j < cells; ++j) {
      const int32_t end = scratch.cellEnds[sz(j)];
      int64_t cellSum = 0;
      for (int32_t x = begin; x < end; ++x) {
        const Dist* row = d_.data() + sz(gathered[x]) * sz(n_);
        int64_t same = 0;
        for (int32_t y = x + 1; y < end; ++y) same += row[gathered[y]];
        int64_t after = 0;
        for (int32_t y = end; y < count; ++y) after += row[gathered[y]];
        cellSum += same;
        levelSum += same + after;
      }
      if (withCells) {
        const int32_t a = byA ? level : j;
        const int32_t b = byA ? j : level;
        scratch.sums.cell[sz(design_.cell(a, b))] = static_cast<double>(2 * cellSum);
      }
      begin = end;
    }
    auto& out = byA ? scratch.sums.levelA : scratch.sums.levelB;
    out[sz(level)] = static_cast<double>(2 * levelSum);
  }

  // Every sum from the sums between each pair of cells, read once for each
  // unordered pair of individuals: cells, levels, and between levels.
  void crossSums(const int32_t* assignment, PairScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    int64_t* between = scratch.cellCross.data();
    for (size_t c = 0; c < cells; ++c) {
      for (size_t e = c; e < cells; ++e) {
        int64_t sum = 0;
        for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
          const Dist* row = d_.data() + sz(assignment[x]) * sz(n_);
          const int32_t from = c == e ? x + 1 : design_.cellStart[e];
          for (int32_t y = from; y < design_.cellStart[e + 1]; ++y) sum += row[assignment[y]];
        }
        if (c == e) sum *= 2;
        between[c * cells + e] = sum;
        between[e * cells + c] = sum;
      }
    }
    for (size_t c = 0; c < cells; ++c)
      scratch.sums.cell[c] = static_cast<double>(between[c * cells + c]);
    // Level i of the A + B: XA levels, then XB's; cell (a, b) is in a and A + b.
    const int32_t A = design_.levelsA;
    const int32_t B = design_.levelsB;
    const int32_t K = A + B;
    std::vector<int64_t>& levels = scratch.levelCross;
    std::fill(levels.begin(), levels.end(), 0);
    for (int32_t a = 0; a < A; ++a) {
      for (int32_t b = 0; b < B; ++b) {
        const int64_t* row = between + sz(design_.cell(a, b)) * cells;
        for (int32_t a2 = 0; a2 < A; ++a2) {
          for (int32_t b2 = 0; b2 < B; ++b2) {
            const int64_t d = row[sz(design_.cell(a2, b2))];
            levels[sz(a) * sz(K) + sz(a2)] += d;
            levels[sz(a) * sz(K) + sz(A + b2)] += d;
            levels[sz(A + b) * sz(K) + sz(a2)] += d;
            levels[sz(A + b) * sz(K) + sz(A + b2)] += d;
          }
        }
      }
    }
    for (size_t k = 0; k < levels.size(); ++k)
      scratch.sums.cross[k] = static_cast<double>(levels[k]);
    for (int32_t a = 0; a < A; ++a)
      scratch.sums.levelA[sz(a)] = scratch.sums.cross[sz(a) * sz(K + 1)];
    for (int32_t b = 0; b < B; ++b) {
      scratch.sums.levelB[sz(b)] = scratch.sums.cross[sz(A + b) * sz(K + 1)];
    }
  }

  int32_t n_;
  std::vector<Dist> d_;  // d_[x * N + y], x and y observed positions
};

}  // namespace

ModeCost pairsCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  double squares = 0;
  for (const int32_t s : input.design.levelSizesXA) squares += double{1} * s * s;
  for (const int32_t s : input.design.levelSizesXB) squares += double{1} * s * s;
  ModeCost c;
  c.sharedBytes = f.n * f.n * (f.l <= 65535 ? 2 : 4);
  // Reads of a matrix beyond the caches cost several times more; the matrix
  // is built once, with vectorised comparisons.
  const double read = c.sharedBytes > (8 << 20) ? 4.0 : 1.0;
  // Missing values take two more comparisons a locus in the build.
  const double build = f.n * f.n * f.l / 32.0 * (input.loci.anyMissing() ? 2.0 : 1.0);
  // The sums between levels read every pair of individuals once, and add the
  // cells' sums up for every pair of levels.
  const double pairs = input.cross ? f.n * f.n + 8 * f.cells * f.cells : squares;
  c.work = read * pairs / 3.0 + build / (3.0 * input.nperm);
  c.threadBytes = loopBytes(f) + 4 * f.n + (input.cross ? f.cells * f.cells * 8 : 0);
  return c;
}

std::unique_ptr<Engine> makePairsEngine(const EngineInput& input, std::unique_ptr<ModeFindings>) {
  if (input.loci.loci <= std::numeric_limits<uint16_t>::max()) {
    return std::make_unique<PairEngine<uint16_t>>(input.design, input.loci, input.threads);
  }
  return std::make_unique<PairEngine<uint32_t>>(input.design, input.loci, input.threads);
}

}  // namespace tevrol::engine_detail
