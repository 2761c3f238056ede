// The count modes. For this distance a group's sum over its ordered pairs is
//   S_g = sum over loci l of (n_g^2 - sum over values v of c(g, l, v)^2),
// c(g, l, v) being the number of the group's individuals with value v at l.
// Values are numbered across all loci (value v of locus l is offset[l] + v),
// so one table of counts serves every locus.
//
// Missing values: with m(g, l) of the group's members missing at l, the
// locus adds (n_g - m)^2 - sum over present v of c^2, so
//   S_g = L n_g^2 - 2 n_g M_g - (sum over present v of c^2 - sum over l of m^2),
// M_g being the sum of the m. Every locus's missing values are numbered after
// all present values, one number a locus, so that the table ends in the m:
// their squares are taken off where the others' are added.
//
//  Dense:  each individual, in index order, adds its values to the table of
//          the cell it stands in; levels sum the tables of their cells.
//  Bitset: the same tables from popcounts of (cell members AND individuals
//          with value v at l), 64 individuals a word.
//  Sparse: counts built group by group and cleared again, for designs whose
//          tables of cells x values would be too large.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "engine/engine_internal.h"

namespace tevrol::engine_detail {

namespace {

using AndCount = uint64_t (*)(const uint64_t*, const uint64_t*, size_t);

uint64_t andCountPortable(const uint64_t* x, const uint64_t* y, size_t words) {
  uint64_t count = 0;
  for (size_t i = 0; i < words; ++i)
    count += static_cast<uint64_t>(__builtin_popcountll(x[i] & y[i]));
  return count;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) uint64_t andCountPopcnt(const uint64_t* x, const uint64_t* y,
                                                          size_t words) {
  uint64_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
  size_t i = 0;
  for (; i + 4 <= words; i += 4) {
    c0 += static_cast<uint64_t>(__builtin_popcountll(x[i] & y[i]));
    c1 += static_cast<uint64_t>(__builtin_popcountll(x[i + 1] & y[i + 1]));
    c2 += static_cast<uint64_t>(__builtin_popcountll(x[i + 2] & y[i + 2]));
    c3 += static_cast<uint64_t>(__builtin_popcountll(x[i + 3] & y[i + 3]));
  }
  for (; i < words; ++i) c0 += static_cast<uint64_t>(__builtin_popcountll(x[i] & y[i]));
  return (c0 + c1) + (c2 + c3);
}
#else
constexpr AndCount andCountPopcnt = andCountPortable;
#endif

// How the codes of each locus are numbered in the tables of counts: present
// value v of locus l is offset[l] + v, its missing values rest[l] when it has
// any. Numbers from `present` on are missing values.
struct ValueNumbers {
  std::vector<int64_t> offset;  // L + 1 entries
  std::vector<int64_t> rest;    // the number of the locus's last code
  int64_t present = 0;          // present values over all loci
};

ValueNumbers numberValues(const LocusCodes& loci) {
  ValueNumbers numbers;
  numbers.offset.assign(sz(loci.loci) + 1, 0);
  for (int32_t l = 0; l < loci.loci; ++l) {
    numbers.offset[sz(l) + 1] =
        numbers.offset[sz(l)] + loci.valueCount[sz(l)] - loci.hasMissing[sz(l)];
  }
  numbers.present = numbers.offset.back();
  int64_t missing = numbers.present;
  numbers.rest.resize(sz(loci.loci));
  for (int32_t l = 0; l < loci.loci; ++l) {
    numbers.rest[sz(l)] = loci.hasMissing[sz(l)] != 0
                              ? missing++
                              : numbers.offset[sz(l)] + loci.valueCount[sz(l)] - 1;
  }
  return numbers;
}

template <typename Code>
std::vector<Code> flatCodes(const LocusCodes& loci, const ValueNumbers& numbers) {
  std::vector<Code> out = loci.positionRows<Code>();
  const size_t width = sz(loci.loci);
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t l = i % width;
    const uint32_t code = out[i];
    out[i] = static_cast<Code>(code == loci.missingCode(static_cast<int32_t>(l))
                                   ? numbers.rest[l]
                                   : numbers.offset[l] + code);
  }
  return out;
}

// The three modes this file computes: the same tables of counts, filled in
// three ways.
enum class CountMode { Dense, Bitset, Sparse };

class CountScratch : public EngineScratch {
 public:
  std::vector<uint32_t> counts;   // dense, bitset: cells x values; sparse: values
  std::vector<uint32_t> level;    // dense, bitset: the counts of one level
  std::vector<uint32_t> levels;   // dense, bitset, sums between levels: every level's counts
  std::vector<int32_t> cellOf;    // dense: the cell each individual stands in
  std::vector<uint64_t> members;  // bitset: cells x words, the individuals of each cell
};

template <typename Code>
class CountEngine : public Engine {
 public:
  CountEngine(const Design& design, const LocusCodes& loci, CountMode mode)
      : Engine(design, loci),
        mode_(mode),
        values_(totalValues(loci)),
        words_((sz(design.individuals) + 63) / 64),
        andCount_(pickForPopcount<AndCount>(andCountPortable, andCountPopcnt)),
        numbers_(numberValues(loci)) {
    if (mode_ == CountMode::Bitset) {
      buildIndicators(loci);
    } else {
      codes_ = flatCodes<Code>(loci, numbers_);
    }
  }

 protected:
  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<CountScratch>();
    const size_t cells = design_.cellSize.size();
    const bool tables = mode_ != CountMode::Sparse;
    scratch->counts.assign((tables ? cells : 1) * sz(values_), 0);
    if (tables) scratch->level.assign(sz(values_), 0);
    if (tables && cross_) {
      scratch->levels.assign((sz(design_.levelsA) + sz(design_.levelsB)) * sz(values_), 0);
    }
    if (mode_ == CountMode::Dense) scratch->cellOf.assign(sz(design_.individuals), 0);
    if (mode_ == CountMode::Bitset) scratch->members.assign(cells * words_, 0);
    return scratch;
  }

  void computeSums(const int32_t* assignment, bool wantA, bool wantB,
                   EngineScratch& base) const override {
    auto& scratch = static_cast<CountScratch&>(base);
    if (mode_ == CountMode::Sparse) {
      sparseSums(assignment, wantA, wantB, scratch);
      return;
    }
    if (mode_ == CountMode::Dense) {
      fillByIndividuals(assignment, scratch);
    } else {
      fillByBits(assignment, scratch);
    }
    tableSums(wantA, wantB, scratch);
  }

 private:
  // Individuals with value v at locus l, one bitset per value; the last code
  // of each locus needs none, its count is what the others leave of n. With
  // missing values that code is the missing one.
  void buildIndicators(const LocusCodes& loci) {
    indicatorValue_.clear();
    for (int32_t l = 0; l < loci.loci; ++l) {
      for (int64_t v = 0; v + 1 < loci.valueCount[sz(l)]; ++v) {
        indicatorValue_.push_back(numbers_.offset[sz(l)] + v);
      }
    }
    indicators_.assign(indicatorValue_.size() * words_, 0);
    size_t k = 0;
    for (int32_t l = 0; l < loci.loci; ++l) {
      const int64_t last = loci.valueCount[sz(l)] - 1;
      for (int32_t i = 0; i < loci.individuals; ++i) {
        const int64_t v = loci.code(i, l);
        if (v == last) continue;
        indicators_[(k + sz(v)) * words_ + sz(i) / 64] |= uint64_t{1} << (i % 64);
      }
      k += sz(last);
    }
  }

  const Code* row(int32_t individual) const { return codes_.data() + sz(individual) * sz(loci_); }

  // The squares of present values' counts, less those of missing ones, and
  // the missing values: what a group's sum takes from L n^2.
  struct Squares {
    int64_t squares = 0;
    int64_t missing = 0;
  };

  int64_t groupSum(int64_t n, const Squares& s) const {
    // Grouped so that no step exceeds L n^2 in size.
    return (loci_ * n - 2 * s.missing) * n - s.squares;
  }

  Squares squaresOf(const uint32_t* counts) const {
    uint64_t present = 0;
    for (int64_t v = 0; v < numbers_.present; ++v) present += uint64_t{counts[v]} * counts[v];
    Squares s;
    s.squares = static_cast<int64_t>(present);
    for (int64_t v = numbers_.present; v < values_; ++v) {
      s.squares -= int64_t{counts[v]} * counts[v];
      s.missing += counts[v];
    }
    return s;
  }

  uint32_t* cellCounts(CountScratch& scratch, size_t cell) const {
    return scratch.counts.data() + cell * sz(values_);
  }

  void fillByIndividuals(const int32_t* assignment, CountScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    for (size_t c = 0; c < cells; ++c) {
      for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
        scratch.cellOf[sz(assignment[x])] = static_cast<int32_t>(c);
      }
    }
    // Individuals in index order: their values are read front to back.
    for (int32_t i = 0; i < design_.individuals; ++i) {
      uint32_t* counts = cellCounts(scratch, sz(scratch.cellOf[sz(i)]));
      const Code* codes = row(i);
      for (int32_t l = 0; l < loci_; ++l) ++counts[codes[l]];
    }
  }

  void fillByBits(const int32_t* assignment, CountScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    std::fill(scratch.members.begin(), scratch.members.end(), 0);
    for (size_t c = 0; c < cells; ++c) {
      uint64_t* members = scratch.members.data() + c * words_;
      for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
        const auto i = static_cast<uint32_t>(assignment[x]);
        members[i / 64] |= uint64_t{1} << (i % 64);
      }
    }
    for (size_t c = 0; c < cells; ++c) {
      const uint32_t n = static_cast<uint32_t>(design_.cellSize[c]);
      if (n == 0) continue;
      const uint64_t* members = scratch.members.data() + c * words_;
      uint32_t* counts = cellCounts(scratch, c);
      for (size_t k = 0; k < indicatorValue_.size(); ++k) {
        counts[indicatorValue_[k]] =
            static_cast<uint32_t>(andCount_(members, indicators_.data() + k * words_, words_));
      }
      for (int32_t l = 0; l < loci_; ++l) {
        uint32_t rest = n;
        const int64_t last = numbers_.rest[sz(l)];
        // The present values before the last code: all of them when it is
        // the missing one.
        const int64_t end = last < numbers_.present ? last : numbers_.offset[sz(l) + 1];
        for (int64_t v = numbers_.offset[sz(l)]; v < end; ++v) rest -= counts[v];
        counts[last] = rest;
      }
    }
  }

  // The sum of the distances between the members of two groups of sizes ni
  // and nj from their counts: at a locus, the pairs of which both have a
  // value less those whose values agree, (ni - mi)(nj - mj) - sum over
  // present v of ci cj.
  int64_t crossSum(const uint32_t* ci, int64_t ni, const uint32_t* cj, int64_t nj) const {
    int64_t same = 0;
    for (int64_t v = 0; v < numbers_.present; ++v) same += int64_t{ci[v]} * cj[v];
    int64_t mi = 0;
    int64_t mj = 0;
    for (int64_t v = numbers_.present; v < values_; ++v) {
      same -= int64_t{ci[v]} * cj[v];
      mi += ci[v];
      mj += cj[v];
    }
    return (loci_ * ni - mi) * nj - ni * mj - same;
  }

  // Every level's table, then the sums within and between levels.
  void crossTableSums(CountScratch& scratch) const {
    const int32_t A = design_.levelsA;
    const int32_t K = A + design_.levelsB;
    const auto table = [&](int32_t i) { return scratch.levels.data() + sz(i) * sz(values_); };
    const auto size = [&](int32_t i) -> int64_t {
      return i < A ? design_.levelSizesXA[sz(i)] : design_.levelSizesXB[sz(i - A)];
    };
    for (int32_t i = 0; i < K; ++i) {
      addLevelCounts(scratch, i < A, i < A ? i : i - A);
      std::copy(scratch.level.begin(), scratch.level.end(), table(i));
    }
    std::vector<double>& cross = scratch.sums.cross;
    for (int32_t i = 0; i < K; ++i) {
      for (int32_t j = i; j < K; ++j) {
        const auto d = static_cast<double>(crossSum(table(i), size(i), table(j), size(j)));
        cross[sz(i) * sz(K) + sz(j)] = d;
        cross[sz(j) * sz(K) + sz(i)] = d;
      }
      (i < A ? scratch.sums.levelA[sz(i)] : scratch.sums.levelB[sz(i - A)]) =
          cross[sz(i) * sz(K) + sz(i)];
    }
  }

  // The sums of cells, and of the levels wanted, from the filled tables;
  // leaves the tables cleared.
  void tableSums(bool wantA, bool wantB, CountScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    for (size_t c = 0; c < cells; ++c) {
      scratch.sums.cell[c] =
          static_cast<double>(groupSum(design_.cellSize[c], squaresOf(cellCounts(scratch, c))));
    }
    if (cross_) {
      crossTableSums(scratch);
      std::fill(scratch.counts.begin(), scratch.counts.end(), 0u);
      return;
    }
    if (wantA) {
      for (int32_t a = 0; a < design_.levelsA; ++a) {
        addLevelCounts(scratch, true, a);
        scratch.sums.levelA[sz(a)] = static_cast<double>(
            groupSum(design_.levelSizesXA[sz(a)], squaresOf(scratch.level.data())));
      }
    }
    if (wantB) {
      for (int32_t b = 0; b < design_.levelsB; ++b) {
        addLevelCounts(scratch, false, b);
        scratch.sums.levelB[sz(b)] = static_cast<double>(
            groupSum(design_.levelSizesXB[sz(b)], squaresOf(scratch.level.data())));
      }
    }
    std::fill(scratch.counts.begin(), scratch.counts.end(), 0u);
  }

  // scratch.level := the sum of the tables of the level's cells.
  void addLevelCounts(CountScratch& scratch, bool byA, int32_t level) const {
    std::fill(scratch.level.begin(), scratch.level.end(), 0u);
    const int32_t cells = byA ? design_.levelsB : design_.levelsA;
    for (int32_t j = 0; j < cells; ++j) {
      const int32_t c = byA ? design_.cell(level, j) : design_.cell(j, level);
      const uint32_t* counts = cellCounts(scratch, sz(c));
      for (int64_t v = 0; v < values_; ++v) scratch.level[sz(v)] += counts[v];
    }
  }

  // Adds the individuals at positions [begin, end) to the counts; returns how
  // much the sum of squared counts grew: (c + 1)^2 - c^2 = 2c + 1 per step.
  uint64_t addRange(const int32_t* assignment, int32_t begin, int32_t end, uint32_t* counts) const {
    uint64_t growth = 0;
    for (int32_t x = begin; x < end; ++x) {
      const Code* codes = row(assignment[x]);
      for (int32_t l = 0; l < loci_; ++l) growth += 2 * uint64_t{counts[codes[l]]++} + 1;
    }
    return growth;
  }

  void clearRange(const int32_t* assignment, int32_t begin, int32_t end, uint32_t* counts) const {
    for (int32_t x = begin; x < end; ++x) {
      const Code* codes = row(assignment[x]);
      for (int32_t l = 0; l < loci_; ++l) counts[codes[l]] = 0;
    }
  }

  // Sum of a group made of position ranges, each range given as (begin, end).
  // The growth counts missing values' squares as well; they are read from
  // the end of the table, the same for every group, and taken off twice.
  template <typename Ranges>
  int64_t sparseGroup(const int32_t* assignment, int64_t n, const Ranges& ranges,
                      uint32_t* counts) const {
    uint64_t growth = 0;
    ranges([&](int32_t begin, int32_t end) { growth += addRange(assignment, begin, end, counts); });
    Squares s;
    for (int64_t v = numbers_.present; v < values_; ++v) {
      s.squares -= 2 * int64_t{counts[v]} * counts[v];
      s.missing += counts[v];
    }
    s.squares += static_cast<int64_t>(growth);
    ranges([&](int32_t begin, int32_t end) { clearRange(assignment, begin, end, counts); });
    return groupSum(n, s);
  }

  // The position ranges of level i: XA levels, then XB's.
  std::vector<std::pair<int32_t, int32_t>> levelRanges(int32_t i) const {
    std::vector<std::pair<int32_t, int32_t>> ranges;
    if (i < design_.levelsA) {
      ranges.emplace_back(design_.start(i, 0), levelEnd(design_, i));
      return ranges;
    }
    for (int32_t a = 0; a < design_.levelsA; ++a) {
      const int32_t begin = design_.start(a, i - design_.levelsA);
      ranges.emplace_back(begin, begin + design_.size(a, i - design_.levelsA));
    }
    return ranges;
  }

  // The sums between levels i < j: level i's counts built, then read at the
  // values of level j's members: X = sum over present v of ci cj less the
  // same over the missing ones, as in crossSum.
  void sparseCross(const int32_t* assignment, CountScratch& scratch) const {
    const int32_t A = design_.levelsA;
    const int32_t K = A + design_.levelsB;
    uint32_t* counts = scratch.counts.data();
    std::vector<double>& cross = scratch.sums.cross;
    const auto size = [&](int32_t i) -> int64_t {
      return i < A ? design_.levelSizesXA[sz(i)] : design_.levelSizesXB[sz(i - A)];
    };
    for (int32_t i = 0; i < K; ++i) {
      cross[sz(i) * sz(K) + sz(i)] =
          i < A ? scratch.sums.levelA[sz(i)] : scratch.sums.levelB[sz(i - A)];
      if (i + 1 == K) break;
      const auto ranges = levelRanges(i);
      for (const auto& r : ranges) addRange(assignment, r.first, r.second, counts);
      int64_t mi = 0;
      for (int64_t v = numbers_.present; v < values_; ++v) mi += counts[v];
      for (int32_t j = i + 1; j < K; ++j) {
        int64_t same = 0;
        int64_t mj = 0;
        for (const auto& r : levelRanges(j)) {
          for (int32_t y = r.first; y < r.second; ++y) {
            const Code* codes = row(assignment[y]);
            for (int32_t l = 0; l < loci_; ++l) {
              const bool missing = codes[l] >= numbers_.present;
              same += missing ? -int64_t{counts[codes[l]]} : int64_t{counts[codes[l]]};
              mj += missing ? 1 : 0;
            }
          }
        }
        const int64_t d = (loci_ * size(i) - mi) * size(j) - size(i) * mj - same;
        cross[sz(i) * sz(K) + sz(j)] = static_cast<double>(d);
        cross[sz(j) * sz(K) + sz(i)] = static_cast<double>(d);
      }
      for (const auto& r : ranges) clearRange(assignment, r.first, r.second, counts);
    }
  }

  void sparseSums(const int32_t* assignment, bool wantA, bool wantB, CountScratch& scratch) const {
    uint32_t* counts = scratch.counts.data();
    for (size_t c = 0; c < design_.cellSize.size(); ++c) {
      const int32_t begin = design_.cellStart[c];
      const int32_t end = design_.cellStart[c + 1];
      scratch.sums.cell[c] = static_cast<double>(sparseGroup(
          assignment, end - begin, [&](auto each) { each(begin, end); }, counts));
    }
    for (int32_t a = 0; wantA && a < design_.levelsA; ++a) {
      const int32_t begin = design_.start(a, 0);
      const int32_t end = levelEnd(design_, a);
      scratch.sums.levelA[sz(a)] = static_cast<double>(sparseGroup(
          assignment, end - begin, [&](auto each) { each(begin, end); }, counts));
    }
    for (int32_t b = 0; wantB && b < design_.levelsB; ++b) {
      const auto cellsOfLevel = [&](auto each) {
        for (int32_t a = 0; a < design_.levelsA; ++a) {
          each(design_.start(a, b), design_.start(a, b) + design_.size(a, b));
        }
      };
      scratch.sums.levelB[sz(b)] = static_cast<double>(
          sparseGroup(assignment, design_.levelSizesXB[sz(b)], cellsOfLevel, counts));
    }
    if (cross_) sparseCross(assignment, scratch);
  }

  CountMode mode_;
  int64_t values_;  // distinct values over all loci
  size_t words_;    // 64-bit words of a bitset of N individuals
  AndCount andCount_;
  ValueNumbers numbers_;
  std::vector<Code> codes_;              // dense, sparse: codes_[i * L + l], value numbers
  std::vector<int64_t> indicatorValue_;  // bitset: the value number of each bitset
  std::vector<uint64_t> indicators_;     // bitset: one bitset of N individuals per value
};

}  // namespace

namespace {

std::unique_ptr<Engine> makeCountEngine(const EngineInput& input, CountMode mode) {
  if (totalValues(input.loci) <= int64_t{1} << 16) {
    return std::make_unique<CountEngine<uint16_t>>(input.design, input.loci, mode);
  }
  return std::make_unique<CountEngine<uint32_t>>(input.design, input.loci, mode);
}

// The tables of counts of every cell, and of the level being summed; with
// the sums between levels every level's table and each pair of them.
double tableWork(const EngineInput& input, const DesignFigures& f) {
  const double levels = input.design.levelsA + input.design.levelsB;
  return 4.0 * f.cells * f.values + (input.cross ? levels * (levels + 1) / 2 * f.values : 0);
}

// Every level's table, kept for the sums between levels.
double crossBytes(const EngineInput& input, const DesignFigures& f) {
  return input.cross ? (input.design.levelsA + input.design.levelsB) * f.values * 4 : 0;
}

}  // namespace

ModeCost denseCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  ModeCost c;
  c.work = 0.7 * f.n * f.l + f.n + tableWork(input, f);
  c.sharedBytes = codeBytes(f);
  c.threadBytes = loopBytes(f) + 4 * f.n + (f.cells + 1) * f.values * 4 + crossBytes(input, f);
  return c;
}

std::unique_ptr<Engine> makeDenseEngine(const EngineInput& input, std::unique_ptr<ModeFindings>) {
  return makeCountEngine(input, CountMode::Dense);
}

ModeCost bitsetCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  ModeCost c;
  c.work =
      0.3 * f.cells * (f.values - f.l) * f.words + f.cells * f.words + f.n + tableWork(input, f);
  c.sharedBytes = (f.values - f.l) * f.words * 8;
  c.threadBytes =
      loopBytes(f) + f.cells * f.words * 8 + (f.cells + 1) * f.values * 4 + crossBytes(input, f);
  return c;
}

std::unique_ptr<Engine> makeBitsetEngine(const EngineInput& input, std::unique_ptr<ModeFindings>) {
  return makeCountEngine(input, CountMode::Bitset);
}

ModeCost sparseCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  ModeCost c;
  // Each group reads the counts of the missing values, one a locus with any.
  double missingLoci = 0;
  for (const uint8_t m : input.loci.hasMissing) missingLoci += m;
  c.work = 14.0 / 3.0 * f.n * f.l + f.groups * missingLoci;
  // Each level's counts built once and read at the values of every later
  // level's members.
  if (input.cross) c.work += (input.design.levelsA + input.design.levelsB) / 2.0 * f.n * f.l * 2;
  c.sharedBytes = codeBytes(f);
  c.threadBytes = loopBytes(f) + f.values * 4;
  return c;
}

std::unique_ptr<Engine> makeSparseEngine(const EngineInput& input, std::unique_ptr<ModeFindings>) {
  return makeCountEngine(input, CountMode::Sparse);
}

}  // namespace tevrol::engine_detail
