// The haplotypes mode: individuals identical at every locus share a
// haplotype, and a group's sum is a quadratic form in its haplotype counts,
//   S_g = sum over h, h' of n_g(h) n_g(h') D(h, h'),
// D being the H x H matrix of distances between haplotypes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

#include "engine/engine_internal.h"

namespace tevrol::engine_detail {

namespace {

// Renumbers (label, code) pairs of one locus in order of first appearance:
// a table when labels x values is small, a hash map otherwise. Exact: the
// new label of two positions is the same only when both parts are.
int32_t refine(std::vector<int32_t>& label, int32_t labels, const LocusCodes& loci, int32_t l,
               std::vector<int32_t>& table) {
  const int64_t values = loci.valueCount[sz(l)];
  int32_t next = 0;
  visitCodes(loci.column(l), [&](const auto* codes) {
    if (labels * values <= int64_t{4} * loci.individuals + 1024) {
      table.assign(sz(labels * values), -1);
      for (size_t i = 0; i < label.size(); ++i) {
        int32_t& to = table[sz(label[i] * values + codes[loci.rowOf[i]])];
        if (to < 0) to = next++;
        label[i] = to;
      }
    } else {
      std::unordered_map<int64_t, int32_t> seen;
      for (size_t i = 0; i < label.size(); ++i) {
        const auto found = seen.emplace(label[i] * values + codes[loci.rowOf[i]], next);
        if (found.second) ++next;
        label[i] = found.first->second;
      }
    }
  });
  return next;
}

class HaplotypeScratch : public EngineScratch {
 public:
  std::vector<int32_t> counts;   // groups x H: cells, then the level being summed
  std::vector<int32_t> present;  // haplotypes of nonzero count in one group
  // Sums between levels: every level's counts, and one level's row of
  // distances to each haplotype, D n_i.
  std::vector<int32_t> levels;
  std::vector<int64_t> toHaplotype;
};

template <typename Dist>
class HaplotypeEngine : public Engine {
 public:
  HaplotypeEngine(const Design& design, const LocusCodes& loci, std::vector<int32_t> haplotypeOf,
                  int32_t haplotypes, int threads)
      : Engine(design, loci), h_(haplotypes), haplotypeOf_(std::move(haplotypeOf)) {
    d_.resize(sz(h_) * sz(h_));
    std::vector<int32_t> first(sz(h_), -1);
    for (int32_t x = 0; x < design.individuals; ++x) {
      if (first[sz(haplotypeOf_[sz(x)])] < 0) first[sz(haplotypeOf_[sz(x)])] = x;
    }
    // Only the H representatives' codes, as rows of 4-byte codes.
    std::vector<uint32_t> codes(sz(h_) * sz(loci.loci));
    for (int32_t l = 0; l < loci.loci; ++l) {
      visitCodes(loci.column(l), [&](const auto* column) {
        for (int32_t h = 0; h < h_; ++h) {
          codes[sz(h) * sz(loci.loci) + sz(l)] = column[loci.rowOf[sz(first[sz(h)])]];
        }
      });
    }
    if (loci.anyMissing()) {
      const std::vector<uint32_t> missing = missingCodes<uint32_t>(loci);
      fill(codes, loci.loci, threads, [&](const uint32_t* x, const uint32_t* y) {
        return presentMismatches(x, y, missing.data(), loci.loci);
      });
    } else {
      fill(codes, loci.loci, threads,
           [&](const uint32_t* x, const uint32_t* y) { return mismatches(x, y, loci.loci); });
    }
  }

 protected:
  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<HaplotypeScratch>();
    scratch->counts.assign((design_.cellSize.size() + 1) * sz(h_), 0);
    scratch->present.resize(sz(h_));
    if (cross_) {
      scratch->levels.assign((sz(design_.levelsA) + sz(design_.levelsB)) * sz(h_), 0);
      scratch->toHaplotype.assign(sz(h_), 0);
    }
    return scratch;
  }

  void computeSums(const int32_t* assignment, bool wantA, bool wantB,
                   EngineScratch& base) const override {
    auto& scratch = static_cast<HaplotypeScratch&>(base);
    const size_t cells = design_.cellSize.size();
    for (size_t c = 0; c < cells; ++c) {
      int32_t* counts = countsOf(scratch, c);
      std::fill(counts, counts + h_, 0);
      for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
        ++counts[haplotypeOf_[sz(assignment[x])]];
      }
      scratch.sums.cell[c] = static_cast<double>(quadraticForm(counts, scratch));
    }
    int32_t* level = countsOf(scratch, cells);
    for (int32_t a = 0; wantA && a < design_.levelsA; ++a) {
      sumCells(
          level, scratch, [&](int32_t b) { return design_.cell(a, b); }, design_.levelsB);
      scratch.sums.levelA[sz(a)] = static_cast<double>(quadraticForm(level, scratch));
      if (cross_) std::copy(level, level + h_, scratch.levels.data() + sz(a) * sz(h_));
    }
    for (int32_t b = 0; wantB && b < design_.levelsB; ++b) {
      sumCells(
          level, scratch, [&](int32_t a) { return design_.cell(a, b); }, design_.levelsA);
      scratch.sums.levelB[sz(b)] = static_cast<double>(quadraticForm(level, scratch));
      if (cross_) {
        std::copy(level, level + h_, scratch.levels.data() + sz(design_.levelsA + b) * sz(h_));
      }
    }
    if (cross_) crossSums(scratch);
  }

 private:
  template <typename Distance>
  void fill(const std::vector<uint32_t>& codes, int32_t loci, int threads,
            const Distance& distance) {
    runOnThreads(threads, [&](int t) {
      for (int32_t x = t; x < h_; x += threads) {
        const uint32_t* cx = codes.data() + sz(x) * sz(loci);
        for (int32_t y = x + 1; y < h_; ++y) {
          const auto d = static_cast<Dist>(distance(cx, codes.data() + sz(y) * sz(loci)));
          d_[sz(x) * sz(h_) + sz(y)] = d;
          d_[sz(y) * sz(h_) + sz(x)] = d;
        }
      }
    });
  }

  int32_t* countsOf(HaplotypeScratch& scratch, size_t group) const {
    return scratch.counts.data() + group * sz(h_);
  }

  template <typename CellOf>
  void sumCells(int32_t* level, HaplotypeScratch& scratch, const CellOf& cellOf,
                int32_t cells) const {
    std::fill(level, level + h_, 0);
    for (int32_t j = 0; j < cells; ++j) {
      const int32_t* counts = countsOf(scratch, sz(cellOf(j)));
      for (int32_t h = 0; h < h_; ++h) level[h] += counts[h];
    }
  }

  // Sum over ordered pairs of present haplotypes; D is symmetric with a zero
  // diagonal, so each unordered pair is read once and counted twice.
  int64_t quadraticForm(const int32_t* counts, HaplotypeScratch& scratch) const {
    int32_t* present = scratch.present.data();
    int32_t k = 0;
    for (int32_t h = 0; h < h_; ++h) {
      if (counts[h] != 0) present[k++] = h;
    }
    int64_t sum = 0;
    for (int32_t i = 0; i < k; ++i) {
      const Dist* row = d_.data() + sz(present[i]) * sz(h_);
      int64_t weighed = 0;
      for (int32_t j = i + 1; j < k; ++j) {
        weighed += int64_t{counts[present[j]]} * row[present[j]];
      }
      sum += weighed * counts[present[i]];
    }
    return 2 * sum;
  }

  // The sums between levels i < j: n_j . (D n_i), from the levels' counts.
  void crossSums(HaplotypeScratch& scratch) const {
    const int32_t A = design_.levelsA;
    const int32_t K = A + design_.levelsB;
    std::vector<double>& cross = scratch.sums.cross;
    int64_t* toHaplotype = scratch.toHaplotype.data();
    for (int32_t i = 0; i < K; ++i) {
      const int32_t* ci = scratch.levels.data() + sz(i) * sz(h_);
      cross[sz(i) * sz(K) + sz(i)] =
          i < A ? scratch.sums.levelA[sz(i)] : scratch.sums.levelB[sz(i - A)];
      if (i + 1 == K) break;
      std::fill(toHaplotype, toHaplotype + h_, 0);
      for (int32_t h = 0; h < h_; ++h) {
        if (ci[h] == 0) continue;
        const Dist* row = d_.data() + sz(h) * sz(h_);
        for (int32_t g = 0; g < h_; ++g) toHaplotype[g] += int64_t{ci[h]} * row[g];
      }
      for (int32_t j = i + 1; j < K; ++j) {
        const int32_t* cj = scratch.levels.data() + sz(j) * sz(h_);
        int64_t sum = 0;
        for (int32_t g = 0; g < h_; ++g) sum += int64_t{cj[g]} * toHaplotype[g];
        cross[sz(i) * sz(K) + sz(j)] = static_cast<double>(sum);
        cross[sz(j) * sz(K) + sz(i)] = static_cast<double>(sum);
      }
    }
  }

  int32_t h_;                         // H: distinct haplotypes
  std::vector<int32_t> haplotypeOf_;  // [x]: haplotype of the individual at position x
  std::vector<Dist> d_;               // d_[h * H + h']
};

}  // namespace

int32_t groupHaplotypes(const LocusCodes& loci, int32_t limit, std::vector<int32_t>& haplotypeOf) {
  haplotypeOf.assign(sz(loci.individuals), 0);
  int32_t labels = loci.individuals > 0 ? 1 : 0;
  std::vector<int32_t> table;
  // Once every individual has a label of its own, no locus can split more.
  for (int32_t l = 0; l < loci.loci && labels <= limit && labels < loci.individuals; ++l) {
    labels = refine(haplotypeOf, labels, loci, l, table);
  }
  return labels <= limit ? labels : -1;
}

namespace {

// The haplotypes the estimate counted, for the engine to use.
struct Haplotypes : ModeFindings {
  std::vector<int32_t> haplotypeOf;
  int32_t count = -1;  // -1: more than were worth counting
};

}  // namespace

ModeCost haplotypesCost(const EngineInput& input, double cheapest,
                        std::unique_ptr<ModeFindings>& findings) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  // Haplotypes pay only when H^2 is well below the cheapest other work, so
  // they need not be counted further than this.
  const auto limit = static_cast<int32_t>(std::min(f.n, std::sqrt(cheapest / (0.15 * f.groups))));
  auto found = std::make_unique<Haplotypes>();
  found->count = groupHaplotypes(input.loci, limit, found->haplotypeOf);
  ModeCost c;
  if (found->count < 0) {
    c.work = std::numeric_limits<double>::infinity();
    c.sharedBytes = f.n * 4;
    c.threadBytes = loopBytes(f);
  } else {
    const double h = found->count;
    const double levelCells = 2 * f.cells;
    // Missing values take two more comparisons a locus in the build.
    const double build = h * h * f.l / 32.0 * (input.loci.anyMissing() ? 2.0 : 1.0);
    c.work = f.n + levelCells * h + f.groups * (h + 0.3 * h * h / 2) + build / (3.0 * input.nperm);
    c.sharedBytes = h * h * (f.l <= 65535 ? 2 : 4) + h * f.l * 4 + f.n * 4;
    c.threadBytes = (f.cells + 1) * h * 4 + h * 4;
    if (input.cross) {
      const double levels = input.design.levelsA + input.design.levelsB;
      c.work += levels * h * h + levels * levels / 2 * h;
      c.threadBytes += levels * h * 4 + h * 8;
    }
  }
  findings = std::move(found);
  return c;
}

std::unique_ptr<Engine> makeHaplotypesEngine(const EngineInput& input,
                                             std::unique_ptr<ModeFindings> findings) {
  auto& found = static_cast<Haplotypes&>(*findings);
  if (input.loci.loci <= std::numeric_limits<uint16_t>::max()) {
    return std::make_unique<HaplotypeEngine<uint16_t>>(
        input.design, input.loci, std::move(found.haplotypeOf), found.count, input.threads);
  }
  return std::make_unique<HaplotypeEngine<uint32_t>>(
      input.design, input.loci, std::move(found.haplotypeOf), found.count, input.threads);
}

}  // namespace tevrol::engine_detail
