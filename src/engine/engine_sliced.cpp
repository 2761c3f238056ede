// The sliced mode: counts of locus values as bit-sliced (vertical) counters.
//
// Every individual is a row of W words of bits, one bit per plane: a locus
// with k > 1 values has k - 1 planes (individual has value v, v < k - 1); the
// count of its last value is what the others leave of the group size. Planes
// of the loci with two values come first, one each; those of loci with more
// values start at word twoWords_. A group's counter holds, for every plane,
// the number of its members with that bit, in binary across D slices of W
// words: bit j of word w of slice s is bit s of the count of plane 64 w + j.
// So one word operation advances 64 planes.
//
// For a locus with two values and counts c, n - c, the group's sum is
// n^2 - c^2 - (n - c)^2 = 2 c (n - c); over all such loci
// 2 (n sum c - sum c^2), and both sums come from popcounts of the slices and
// of pairs of slices. Loci with more values have their counts read out.
#include <algorithm>
#include <cmath>
#include <new>

#include "engine/engine_internal.h"

namespace tevrol::engine_detail {

namespace {

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define TEVROL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TEVROL_VECTOR_CLONES
#endif

int bitWidth(uint64_t n) {
  int width = 0;
  for (; n != 0; n >>= 1) ++width;
  return width;
}

struct PlaneSums {
  uint64_t sum = 0;      // sum over two-valued planes of c
  uint64_t squares = 0;  // sum over them of c^2
};

// The sums of c and c^2 over the first `words` words of a counter whose
// slices lie `stride` words apart: c = sum of 2^s slice_s, so
// c^2 = sum of 4^s slice_s + sum over s < t of 2^(s+t+1) slice_s slice_t.
// Compiled twice, with and without the popcount instruction.
inline __attribute__((always_inline)) PlaneSums planeSumsOf(const uint64_t* counter, size_t words,
                                                            size_t stride, int depth) {
  PlaneSums sums;
  for (size_t w = 0; w < words; ++w) {
    for (int s = 0; s < depth; ++s) {
      const uint64_t x = counter[sz(s) * stride + w];
      const auto ones = static_cast<uint64_t>(__builtin_popcountll(x));
      sums.sum += ones << s;
      sums.squares += ones << (2 * s);
      for (int t = s + 1; t < depth; ++t) {
        const uint64_t both = x & counter[sz(t) * stride + w];
        sums.squares += static_cast<uint64_t>(__builtin_popcountll(both)) << (s + t + 1);
      }
    }
  }
  return sums;
}

using PlaneSumsFunction = PlaneSums (*)(const uint64_t*, size_t, size_t, int);

PlaneSums planeSumsPortable(const uint64_t* counter, size_t words, size_t stride, int depth) {
  return planeSumsOf(counter, words, stride, depth);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) PlaneSums planeSumsPopcnt(const uint64_t* counter, size_t words,
                                                            size_t stride, int depth) {
  return planeSumsOf(counter, words, stride, depth);
}
#else
constexpr PlaneSumsFunction planeSumsPopcnt = planeSumsPortable;
#endif

// Carry-save adder: a + b + c = low + 2 high, bit by bit.
inline void carrySave(uint64_t& high, uint64_t& low, uint64_t a, uint64_t b, uint64_t c) {
  const uint64_t u = a ^ b;
  high = (a & b) | (u & c);
  low = u ^ c;
}

// Adds carry, of weight 2^first, to the counter word w: slices first ... depth - 1.
inline void ripple(uint64_t* counter, size_t words, int first, int depth, size_t w,
                   uint64_t carry) {
  for (int s = first; carry != 0 && s < depth; ++s) {
    uint64_t& slice = counter[sz(s) * words + w];
    const uint64_t was = slice;
    slice = was ^ carry;
    carry &= was;
  }
}

// Adds 16 rows to a counter of depth >= 5: a carry-save tree per word keeps
// the sum in slices 0-3 and passes only the carries of weight 16 on.
TEVROL_VECTOR_CLONES void addSixteenRows(const uint64_t* const* r, uint64_t* counter, size_t words,
                                         int depth) {
  uint64_t* ones = counter;
  uint64_t* twos = counter + words;
  uint64_t* fours = counter + 2 * words;
  uint64_t* eights = counter + 3 * words;
  for (size_t w = 0; w < words; ++w) {
    uint64_t o = ones[w], t = twos[w], f = fours[w], e = eights[w];
    uint64_t tA, tB, fA, fB, eA, eB, sixteens;
    carrySave(tA, o, o, r[0][w], r[1][w]);
    carrySave(tB, o, o, r[2][w], r[3][w]);
    carrySave(fA, t, t, tA, tB);
    carrySave(tA, o, o, r[4][w], r[5][w]);
    carrySave(tB, o, o, r[6][w], r[7][w]);
    carrySave(fB, t, t, tA, tB);
    carrySave(eA, f, f, fA, fB);
    carrySave(tA, o, o, r[8][w], r[9][w]);
    carrySave(tB, o, o, r[10][w], r[11][w]);
    carrySave(fA, t, t, tA, tB);
    carrySave(tA, o, o, r[12][w], r[13][w]);
    carrySave(tB, o, o, r[14][w], r[15][w]);
    carrySave(fB, t, t, tA, tB);
    carrySave(eB, f, f, fA, fB);
    carrySave(sixteens, e, e, eA, eB);
    ones[w] = o;
    twos[w] = t;
    fours[w] = f;
    eights[w] = e;
    ripple(counter, words, 4, depth, w, sixteens);
  }
}

// dst += src, both counters of the same depth, as binary numbers per plane.
TEVROL_VECTOR_CLONES void addCounter(uint64_t* dst, const uint64_t* src, size_t words, int depth) {
  for (size_t w = 0; w < words; ++w) {
    uint64_t carry = 0;
    for (int s = 0; s < depth; ++s) {
      const uint64_t a = dst[sz(s) * words + w];
      const uint64_t b = src[sz(s) * words + w];
      const uint64_t u = a ^ b;
      dst[sz(s) * words + w] = u ^ carry;
      carry = (a & b) | (u & carry);
    }
  }
}

class SlicedScratch : public EngineScratch {
 public:
  std::vector<uint64_t> counters;    // groups x D x W: cells, then XA levels, then XB levels
  std::vector<uint64_t> manyCounts;  // the counts of the planes of loci with more values
};

class SlicedEngine : public Engine {
 public:
  SlicedEngine(const Design& design, const LocusCodes& loci) : Engine(design, loci) {
    layPlanes(loci);
    depth_ = std::max(5, bitWidth(sz(design.individuals)));
    rows_.assign(sz(design.individuals) * words_, 0);
    fillRows(loci);
  }

 protected:
  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<SlicedScratch>();
    const size_t groups = design_.cellSize.size() + sz(design_.levelsA) + sz(design_.levelsB);
    scratch->counters.assign(groups * counterWords(), 0);
    scratch->manyCounts.assign((words_ - twoWords_) * 64, 0);
    return scratch;
  }

  void computeSums(const int32_t* assignment, bool wantA, bool wantB,
                   EngineScratch& base) const override {
    auto& scratch = static_cast<SlicedScratch&>(base);
    const size_t cells = design_.cellSize.size();
    for (size_t c = 0; c < cells; ++c) {
      uint64_t* counter = counterOf(scratch, c);
      const int32_t n = design_.cellSize[c];
      std::fill(counter, counter + sz(std::max(4, bitWidth(sz(n)))) * words_, 0);
      accumulate(assignment + design_.cellStart[c], n, counter);
      scratch.sums.cell[c] = static_cast<double>(groupSum(counter, n, scratch));
    }
    for (int32_t a = 0; wantA && a < design_.levelsA; ++a) {
      uint64_t* counter = counterOf(scratch, cells + sz(a));
      const int32_t n = design_.levelSizesXA[sz(a)];
      sumCells(
          counter, n, scratch, [&](int32_t b) { return design_.cell(a, b); }, design_.levelsB);
      scratch.sums.levelA[sz(a)] = static_cast<double>(groupSum(counter, n, scratch));
    }
    for (int32_t b = 0; wantB && b < design_.levelsB; ++b) {
      uint64_t* counter = counterOf(scratch, cells + sz(design_.levelsA) + sz(b));
      const int32_t n = design_.levelSizesXB[sz(b)];
      sumCells(
          counter, n, scratch, [&](int32_t a) { return design_.cell(a, b); }, design_.levelsA);
      scratch.sums.levelB[sz(b)] = static_cast<double>(groupSum(counter, n, scratch));
    }
  }

 private:
  struct ManyLocus {
    size_t firstPlane;  // counted from the first plane of word twoWords_
    int32_t planes;     // values - 1
  };

  void layPlanes(const LocusCodes& loci) {
    size_t twoPlanes = 0;
    size_t manyPlanes = 0;
    for (int32_t l = 0; l < loci.loci; ++l) {
      const int32_t values = loci.valueCount[sz(l)];
      if (values == 2) {
        ++twoPlanes;
      } else if (values > 2) {
        many_.push_back({manyPlanes, values - 1});
        manyPlanes += sz(values - 1);
      }
    }
    twoWords_ = (twoPlanes + 63) / 64;
    words_ = twoWords_ + (manyPlanes + 63) / 64;
  }

  // Reads the table a block of its rows at a time, every locus in turn, so
  // that the bit rows being set stay in cache while the codes stream by.
  // Two-valued loci fill a whole word of a row, 64 loci at a time, in a
  // buffer of their own; the planes of the other loci are set one by one.
  void fillRows(const LocusCodes& loci) {
    struct Planes {
      int32_t locus;
      size_t first;   // plane of value 0
      uint32_t last;  // the value without a plane
    };
    std::vector<int32_t> twoValued;  // two-valued plane p is locus twoValued[p]
    std::vector<Planes> planes;
    size_t manyLocus = 0;
    for (int32_t l = 0; l < loci.loci; ++l) {
      const int32_t values = loci.valueCount[sz(l)];
      if (values == 2) twoValued.push_back(l);
      if (values <= 2) continue;
      const size_t first = twoWords_ * 64 + many_[manyLocus++].firstPlane;
      planes.push_back({l, first, static_cast<uint32_t>(values - 1)});
    }
    size_t rows = 0;
    for (const int32_t r : loci.rowOf) rows = std::max(rows, sz(r) + 1);
    std::vector<int32_t> positionOf(rows, -1);
    for (size_t x = 0; x < loci.rowOf.size(); ++x)
      positionOf[sz(loci.rowOf[x])] = static_cast<int32_t>(x);
    constexpr size_t kBlock = 256;
    uint64_t word[kBlock];
    for (size_t begin = 0; begin < rows; begin += kBlock) {
      const size_t end = std::min(rows, begin + kBlock);
      for (size_t w = 0; w < twoWords_; ++w) {
        std::fill(word, word + kBlock, 0);
        for (size_t p = 64 * w; p < std::min(twoValued.size(), 64 * w + 64); ++p) {
          visitCodes(loci.column(twoValued[p]), [&](const auto* codes) {
            // The plane holds value 0: a code of 0 sets the bit.
            for (size_t r = begin; r < end; ++r) {
              word[r - begin] |= uint64_t{codes[r] == 0} << (p % 64);
            }
          });
        }
        for (size_t r = begin; r < end; ++r) {
          if (positionOf[r] >= 0) rows_[sz(positionOf[r]) * words_ + w] = word[r - begin];
        }
      }
      for (const Planes& p : planes) {
        visitCodes(loci.column(p.locus), [&](const auto* codes) {
          for (size_t r = begin; r < end; ++r) {
            if (positionOf[r] < 0) continue;
            // Without a branch on the value, which is as good as random.
            const uint64_t set = codes[r] != p.last;
            const size_t plane = p.first + codes[r] * set;
            rows_[sz(positionOf[r]) * words_ + plane / 64] |= set << (plane % 64);
          }
        });
      }
    }
  }

  size_t counterWords() const { return sz(depth_) * words_; }

  uint64_t* counterOf(SlicedScratch& scratch, size_t group) const {
    return scratch.counters.data() + group * counterWords();
  }

  const uint64_t* row(int32_t position) const { return rows_.data() + sz(position) * words_; }

  // Adds the rows of the n individuals members[0 ... n - 1] to a cleared counter.
  void accumulate(const int32_t* members, int32_t n, uint64_t* counter) const {
    int32_t k = 0;
    const uint64_t* r[16];
    const size_t rowBytes = words_ * sizeof(uint64_t);
    for (; k + 16 <= n; k += 16) {
      // The rows are scattered over the table: ask for the next sixteen
      // while these are added.
      for (int32_t j = k + 16; j < std::min(n, k + 32); ++j) {
        const char* next = reinterpret_cast<const char*>(row(members[j]));
        for (size_t b = 0; b < rowBytes; b += 64) __builtin_prefetch(next + b);
      }
      for (int j = 0; j < 16; ++j) r[j] = row(members[k + j]);
      addSixteenRows(r, counter, words_, depth_);
    }
    for (; k < n; ++k) {
      const uint64_t* one = row(members[k]);
      for (size_t w = 0; w < words_; ++w) ripple(counter, words_, 0, depth_, w, one[w]);
    }
  }

  template <typename CellOf>
  void sumCells(uint64_t* counter, int32_t n, SlicedScratch& scratch, const CellOf& cellOf,
                int32_t cells) const {
    const int depth = bitWidth(sz(n));
    std::fill(counter, counter + sz(depth) * words_, 0);
    for (int32_t j = 0; j < cells; ++j) {
      addCounter(counter, counterOf(scratch, sz(cellOf(j))), words_, depth);
    }
  }

  // S_g of a group of n members from its counter.
  int64_t groupSum(const uint64_t* counter, int32_t n, SlicedScratch& scratch) const {
    const int depth = bitWidth(sz(n));
    const PlaneSums planes = planeSums_(counter, twoWords_, words_, depth);
    const auto nn = static_cast<uint64_t>(n);
    int64_t total = 2 * static_cast<int64_t>(nn * planes.sum - planes.squares);
    if (!many_.empty()) total += manySum(counter, n, depth, scratch);
    return total;
  }

  int64_t manySum(const uint64_t* counter, int32_t n, int depth, SlicedScratch& scratch) const {
    uint64_t* counts = scratch.manyCounts.data();
    std::fill(scratch.manyCounts.begin(), scratch.manyCounts.end(), 0);
    for (size_t w = twoWords_; w < words_; ++w) {
      uint64_t* at = counts + (w - twoWords_) * 64;
      for (int s = 0; s < depth; ++s) {
        for (uint64_t x = counter[sz(s) * words_ + w]; x != 0; x &= x - 1) {
          at[__builtin_ctzll(x)] += uint64_t{1} << s;
        }
      }
    }
    const auto nn = static_cast<int64_t>(n);
    int64_t total = 0;
    for (const ManyLocus& locus : many_) {
      int64_t squares = 0;
      int64_t rest = nn;
      for (int32_t p = 0; p < locus.planes; ++p) {
        const auto c = static_cast<int64_t>(counts[locus.firstPlane + sz(p)]);
        squares += c * c;
        rest -= c;
      }
      total += nn * nn - squares - rest * rest;
    }
    return total;
  }

  std::vector<ManyLocus> many_;
  size_t twoWords_ = 0;         // words of the planes of two-valued loci
  size_t words_ = 0;            // W: words of a row
  int depth_ = 5;               // D: slices of a counter; 2^D > N
  std::vector<uint64_t> rows_;  // rows_[x * W + w]: the row of position x
  const PlaneSumsFunction planeSums_ =
      pickForPopcount<PlaneSumsFunction>(planeSumsPortable, planeSumsPopcnt);
};

}  // namespace

ModeCost slicedCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  double twoPlanes = 0;
  double manyPlanes = 0;
  for (const int32_t v : input.loci.valueCount) {
    if (v == 2) twoPlanes += 1;
    if (v > 2) manyPlanes += v - 1;
  }
  const double twoWords = std::ceil(twoPlanes / 64);
  const double manyWords = std::ceil(manyPlanes / 64);
  const double w = twoWords + manyWords;
  const double depth = std::max(5, bitWidth(static_cast<uint64_t>(f.n)));
  ModeCost c;
  // Rows of 16 members cost about 6 word operations each per word; levels
  // add their cells' counters; sums read pairs of slices or read counts out.
  c.work = 0.5 * f.n * w + f.cells * depth * w + f.groups * depth * depth * twoWords * 0.3 +
           f.groups * depth * manyWords * 16 + f.n;
  c.sharedBytes = f.n * w * 8;
  c.threadBytes = f.groups * depth * w * 8 + manyWords * 512;
  return c;
}

std::unique_ptr<Engine> makeSlicedEngine(const EngineInput& input, std::unique_ptr<ModeFindings>) {
  return std::make_unique<SlicedEngine>(input.design, input.loci);
}

}  // namespace tevrol::engine_detail
