// The sliced mode: counts of locus values as bit-sliced (vertical) counters.
//
// Every individual is a row of W words of bits, one bit per plane: a locus
// with k > 1 values has k - 1 planes (individual has value v, v < k - 1); the
// count of its last value is what the others leave of the group size. Planes
// of the loci with two values come first, one each; those of loci with more
// values start at word manyStart_. A group's counter holds, for every plane,
// the number of its members with that bit, in binary across D slices of W
// words: bit j of word w of slice s is bit s of the count of plane 64 w + j.
// So one word operation advances 64 planes, and four where the processor has
// 256-bit vectors. Rows are added 64 at a time by trees of carry-save adders.
// A cell's rows are read from the table in the order of the arrangement, or,
// when the table is beyond the caches of a core, the table is read in order
// and each row waits in its cell's batch.
//
// For a locus with two values and counts c, n - c, the group's sum is
// n^2 - c^2 - (n - c)^2 = 2 c (n - c); over all such loci
// 2 (n sum c - sum c^2), and both sums come from popcounts of the slices and
// of pairs of slices. Loci with more values have their counts read out.
//
// A missing value differs from none, so at a locus with missing values the
// group's sum is (sum c)^2 - sum c^2 over its present values, and these all
// need planes (the missing values are the rest). A locus of two present
// values and missing ones (a site with missing calls) adds 2 c0 c1: its two
// planes lie at the same bit in two blocks of pairWords_ words after the
// two-valued planes, and the sum over such loci of c0 c1 comes from
// popcounts of the ANDs of the two blocks' slices. A locus of one present
// value adds nothing and has no plane.
#include <algorithm>
#include <cmath>
#include <cstring>
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

// The sum over the planes of the first `words` words of c x c', c and c'
// being the counts of a plane in counters x and y of slices `stride` words
// apart: c c' = sum over s, t of 2^(s+t) slice_s slice'_t.
inline __attribute__((always_inline)) uint64_t crossSumOf(const uint64_t* x, const uint64_t* y,
                                                          size_t words, size_t stride, int depth) {
  uint64_t sum = 0;
  for (size_t w = 0; w < words; ++w) {
    for (int s = 0; s < depth; ++s) {
      const uint64_t a = x[sz(s) * stride + w];
      for (int t = 0; t < depth; ++t) {
        const uint64_t both = a & y[sz(t) * stride + w];
        sum += static_cast<uint64_t>(__builtin_popcountll(both)) << (s + t);
      }
    }
  }
  return sum;
}

using CrossSumFunction = uint64_t (*)(const uint64_t*, const uint64_t*, size_t, size_t, int);

uint64_t crossSumPortable(const uint64_t* x, const uint64_t* y, size_t words, size_t stride,
                          int depth) {
  return crossSumOf(x, y, words, stride, depth);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) uint64_t crossSumPopcnt(const uint64_t* x, const uint64_t* y,
                                                          size_t words, size_t stride, int depth) {
  return crossSumOf(x, y, words, stride, depth);
}
#else
constexpr CrossSumFunction crossSumPopcnt = crossSumPortable;
#endif

// Carry-save adder: a + b + c = low + 2 high, bit by bit. Word is a 64-bit
// word or a vector of them, passed by reference: a vector passed by value
// would depend on the instruction set. low may be a.
template <typename Word>
inline __attribute__((always_inline)) void carrySave(Word& high, Word& low, const Word& a,
                                                     const Word& b, const Word& c) {
  const Word u = a ^ b;
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

// Four words, added as one where the processor has 256-bit vectors.
typedef uint64_t FourWords __attribute__((vector_size(32)));

template <typename Word>
inline __attribute__((always_inline)) void loadWord(Word& word, const uint64_t* at) {
  std::memcpy(&word, at, sizeof word);
}

template <typename Word>
inline __attribute__((always_inline)) void storeWord(uint64_t* at, const Word& word) {
  std::memcpy(at, &word, sizeof word);
}

// ones += rows j and j + 1 at word w; the carries go to twos.
template <typename Word>
inline __attribute__((always_inline)) void addTwoRows(Word& twos, Word& ones,
                                                      const uint64_t* const* r, int j, size_t w) {
  Word x, y;
  loadWord(x, r[j] + w);
  loadWord(y, r[j + 1] + w);
  carrySave(twos, ones, ones, x, y);
}

// Adds 16 rows r[0 ... 15] at word w into slices 0-3 (o, t, f, e) and
// gives their carries of weight 16.
template <typename Word>
inline __attribute__((always_inline)) void addSixteenWords(const uint64_t* const* r, size_t w,
                                                           Word& o, Word& t, Word& f, Word& e,
                                                           Word& sixteens) {
  Word tA, tB, fA, fB, eA, eB;
  addTwoRows(tA, o, r, 0, w);
  addTwoRows(tB, o, r, 2, w);
  carrySave(fA, t, t, tA, tB);
  addTwoRows(tA, o, r, 4, w);
  addTwoRows(tB, o, r, 6, w);
  carrySave(fB, t, t, tA, tB);
  carrySave(eA, f, f, fA, fB);
  addTwoRows(tA, o, r, 8, w);
  addTwoRows(tB, o, r, 10, w);
  carrySave(fA, t, t, tA, tB);
  addTwoRows(tA, o, r, 12, w);
  addTwoRows(tB, o, r, 14, w);
  carrySave(fB, t, t, tA, tB);
  carrySave(eB, f, f, fA, fB);
  carrySave(sixteens, e, e, eA, eB);
}

// addRows at word w, for a Word of one or four words.
template <int kRows, typename Word>
inline __attribute__((always_inline)) void addRowsAt(const uint64_t* const* r, uint64_t* counter,
                                                     size_t words, int depth, size_t w) {
  constexpr int kKept = kRows == 64 ? 6 : 4;  // slices kept in registers
  Word slice[kKept];
  for (int s = 0; s < kKept; ++s) loadWord(slice[s], counter + sz(s) * words + w);
  Word& o = slice[0];
  Word& t = slice[1];
  Word& f = slice[2];
  Word& e = slice[3];
  Word carry;
  if constexpr (kRows == 16) {
    addSixteenWords(r, w, o, t, f, e, carry);
  } else {
    // Four trees of 16, whose carries of weight 16 go through one more tree.
    Word sA, sB, tA, tB;
    addSixteenWords(r, w, o, t, f, e, sA);
    addSixteenWords(r + 16, w, o, t, f, e, sB);
    carrySave(tA, slice[4], slice[4], sA, sB);
    addSixteenWords(r + 32, w, o, t, f, e, sA);
    addSixteenWords(r + 48, w, o, t, f, e, sB);
    carrySave(tB, slice[4], slice[4], sA, sB);
    carrySave(carry, slice[5], slice[5], tA, tB);
  }
  for (int s = 0; s < kKept; ++s) storeWord(counter + sz(s) * words + w, slice[s]);
  // The carries through every slice the group's count can reach: as good
  // as random, they would mislead a branch.
  uint64_t* at = counter + sz(kKept) * words + w;
  for (int s = kKept; s < depth; ++s, at += words) {
    Word was;
    loadWord(was, at);
    storeWord(at, was ^ carry);
    carry &= was;
  }
}

// Adds kRows rows, 16 or 64, to a counter that holds less than
// 2^depth - kRows at every plane: carry-save trees per word keep the sum in
// the low slices and pass only the carries of weight kRows on.
template <int kRows>
TEVROL_VECTOR_CLONES void addRows(const uint64_t* const* r, uint64_t* counter, size_t words,
                                  int depth) {
  size_t w = 0;
  for (; w + 4 <= words; w += 4) addRowsAt<kRows, FourWords>(r, counter, words, depth, w);
  for (; w < words; ++w) addRowsAt<kRows, uint64_t>(r, counter, words, depth, w);
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
  // Sums between levels: the same counts of every level, and every level's
  // sum of c over the two-valued planes.
  std::vector<uint64_t> levelManyCounts;
  std::vector<uint64_t> levelPlaneSum;
  // Read in order (streamed_): the cell of each observed position, and per
  // cell the rows not yet added, fewer than 64.
  std::vector<uint8_t> cellOf;
  std::vector<const uint64_t*> waiting;  // cells x 64
  std::vector<int32_t> waitingCount;
};

// Rows read in order wait for their cell's batch of 64: at most this many
// cells, each numbered by a byte.
constexpr size_t kStreamedCells = 256;
// A table of rows beyond the caches of one core: read in order.
constexpr double kStreamedBytes = 4 << 20;
// A table of rows so large that reading it costs several times more.
constexpr double kSlowRowBytes = 64 << 20;

class SlicedEngine : public Engine {
 public:
  SlicedEngine(const Design& design, const LocusCodes& loci) : Engine(design, loci) {
    layPlanes(loci);
    depth_ = std::max(5, bitWidth(sz(design.individuals)));
    rows_.assign(sz(design.individuals) * words_, 0);
    fillRows(loci);
    streamed_ = design.cellSize.size() <= kStreamedCells &&
                static_cast<double>(rows_.size()) * sizeof(uint64_t) > kStreamedBytes;
  }

 protected:
  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<SlicedScratch>();
    const size_t groups = design_.cellSize.size() + sz(design_.levelsA) + sz(design_.levelsB);
    scratch->counters.assign(groups * counterWords(), 0);
    scratch->manyCounts.assign((words_ - manyStart_) * 64, 0);
    if (cross_) {
      const size_t levels = sz(design_.levelsA) + sz(design_.levelsB);
      scratch->levelManyCounts.assign(levels * (words_ - manyStart_) * 64, 0);
      scratch->levelPlaneSum.assign(levels, 0);
    }
    if (streamed_) {
      scratch->cellOf.assign(sz(design_.individuals), 0);
      scratch->waiting.assign(design_.cellSize.size() * 64, nullptr);
      scratch->waitingCount.assign(design_.cellSize.size(), 0);
    }
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
      if (!streamed_) accumulate(assignment + design_.cellStart[c], n, counter);
    }
    if (streamed_) stream(assignment, scratch);
    for (size_t c = 0; c < cells; ++c) {
      scratch.sums.cell[c] =
          static_cast<double>(groupSum(counterOf(scratch, c), design_.cellSize[c], scratch));
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
    if (cross_) crossSums(scratch);
  }

 private:
  struct ManyLocus {
    size_t firstPlane;  // counted from the first plane of word manyStart_
    int32_t planes;     // codes - 1: every value but the last, or every present value
    bool missing;       // the last code is missing
  };

  // How a locus's planes are laid out.
  enum class Kind { None, Two, Pair, Many };

  static Kind kindOf(const LocusCodes& loci, int32_t l) {
    const int32_t present = loci.valueCount[sz(l)] - loci.hasMissing[sz(l)];
    if (present < 2) return Kind::None;
    if (loci.hasMissing[sz(l)] == 0) return present == 2 ? Kind::Two : Kind::Many;
    return present == 2 ? Kind::Pair : Kind::Many;
  }

  void layPlanes(const LocusCodes& loci) {
    size_t twoPlanes = 0;
    size_t pairPlanes = 0;
    size_t manyPlanes = 0;
    for (int32_t l = 0; l < loci.loci; ++l) {
      const Kind kind = kindOf(loci, l);
      if (kind == Kind::Two) ++twoPlanes;
      if (kind == Kind::Pair) ++pairPlanes;
      if (kind == Kind::Many) {
        const int32_t planes = loci.valueCount[sz(l)] - 1;
        many_.push_back({manyPlanes, planes, loci.hasMissing[sz(l)] != 0});
        manyPlanes += sz(planes);
      }
    }
    twoWords_ = (twoPlanes + 63) / 64;
    pairWords_ = (pairPlanes + 63) / 64;
    manyStart_ = twoWords_ + 2 * pairWords_;
    words_ = manyStart_ + (manyPlanes + 63) / 64;
  }

  // Reads the table a block of its rows at a time, every locus in turn, so
  // that the bit rows being set stay in cache while the codes stream by.
  // The planes before word manyStart_, one value of one locus each, fill a
  // whole word of a row, 64 at a time, in a buffer of their own; the planes
  // of the other loci are set one by one.
  void fillRows(const LocusCodes& loci) {
    struct Planes {
      int32_t locus;
      size_t first;   // plane of value 0
      uint32_t last;  // the code without a plane
    };
    struct WordPlane {
      int32_t locus;  // -1: no plane
      uint32_t code;  // the bit is set for this code
    };
    // Plane p before word manyStart_ is bit p % 64 of word p / 64.
    std::vector<WordPlane> wordPlanes(manyStart_ * 64, WordPlane{-1, 0});
    std::vector<Planes> planes;
    size_t two = 0;
    size_t pair = 0;
    size_t manyLocus = 0;
    for (int32_t l = 0; l < loci.loci; ++l) {
      switch (kindOf(loci, l)) {
        case Kind::None:
          break;
        case Kind::Two:
          wordPlanes[two++] = {l, 0};
          break;
        case Kind::Pair:
          wordPlanes[twoWords_ * 64 + pair] = {l, 0};
          wordPlanes[(twoWords_ + pairWords_) * 64 + pair] = {l, 1};
          ++pair;
          break;
        case Kind::Many: {
          const size_t first = manyStart_ * 64 + many_[manyLocus++].firstPlane;
          planes.push_back({l, first, static_cast<uint32_t>(loci.valueCount[sz(l)] - 1)});
          break;
        }
      }
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
      for (size_t w = 0; w < manyStart_; ++w) {
        std::fill(word, word + kBlock, 0);
        for (size_t p = 64 * w; p < 64 * w + 64 && wordPlanes[p].locus >= 0; ++p) {
          const uint32_t code = wordPlanes[p].code;
          visitCodes(loci.column(wordPlanes[p].locus), [&](const auto* codes) {
            for (size_t r = begin; r < end; ++r) {
              word[r - begin] |= uint64_t{codes[r] == code} << (p % 64);
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

  void prefetchRow(const uint64_t* at) const {
    const char* bytes = reinterpret_cast<const char*>(at);
    for (size_t b = 0; b < words_ * sizeof(uint64_t); b += 64) __builtin_prefetch(bytes + b);
  }

  // Adds the rows of the n individuals members[0 ... n - 1] to a cleared
  // counter, 64 at a time, then 16, then one by one. The rows are scattered
  // over the table: the next ones are asked for while these are added.
  void accumulate(const int32_t* members, int32_t n, uint64_t* counter) const {
    const int depth = bitWidth(sz(n));
    int32_t k = 0;
    const uint64_t* r[64];
    for (const int32_t batch : {64, 16}) {
      for (; k + batch <= n; k += batch) {
        for (int32_t j = k + batch; j < std::min(n, k + 2 * batch); ++j) {
          prefetchRow(row(members[j]));
        }
        for (int32_t j = 0; j < batch; ++j) r[j] = row(members[k + j]);
        if (batch == 64) {
          addRows<64>(r, counter, words_, depth);
        } else {
          addRows<16>(r, counter, words_, depth);
        }
      }
    }
    for (; k < n; ++k) {
      const uint64_t* one = row(members[k]);
      for (size_t w = 0; w < words_; ++w) ripple(counter, words_, 0, depth_, w, one[w]);
    }
  }

  // The same for every cell at once, the table read in order: each row waits
  // in its cell's batch until 64 have come, and the batches left at the end
  // are added as accumulate adds them.
  void stream(const int32_t* assignment, SlicedScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    for (size_t c = 0; c < cells; ++c) {
      for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
        scratch.cellOf[sz(assignment[x])] = static_cast<uint8_t>(c);
      }
    }
    const int32_t n = design_.individuals;
    for (int32_t i = 0; i < n; ++i) {
      if (i + 32 < n) prefetchRow(row(i + 32));
      const size_t c = scratch.cellOf[sz(i)];
      const uint64_t** waiting = scratch.waiting.data() + 64 * c;
      int32_t& count = scratch.waitingCount[c];
      waiting[count++] = row(i);
      if (count == 64) {
        addRows<64>(waiting, counterOf(scratch, c), words_, bitWidth(sz(design_.cellSize[c])));
        count = 0;
      }
    }
    for (size_t c = 0; c < cells; ++c) {
      uint64_t* counter = counterOf(scratch, c);
      const int depth = bitWidth(sz(design_.cellSize[c]));
      const uint64_t* const* waiting = scratch.waiting.data() + 64 * c;
      int32_t k = 0;
      for (; k + 16 <= scratch.waitingCount[c]; k += 16) {
        addRows<16>(waiting + k, counter, words_, depth);
      }
      for (; k < scratch.waitingCount[c]; ++k) {
        for (size_t w = 0; w < words_; ++w) ripple(counter, words_, 0, depth_, w, waiting[k][w]);
      }
      scratch.waitingCount[c] = 0;
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
    if (pairWords_ != 0) {
      const uint64_t* zeros = counter + twoWords_;
      total +=
          2 * static_cast<int64_t>(crossSum_(zeros, zeros + pairWords_, pairWords_, words_, depth));
    }
    if (!many_.empty()) total += manySum(counter, n, depth, scratch);
    return total;
  }

  // The counts of the planes from word manyStart_ on, read out of a counter.
  void readManyCounts(const uint64_t* counter, int depth, uint64_t* counts) const {
    std::fill(counts, counts + (words_ - manyStart_) * 64, 0);
    for (size_t w = manyStart_; w < words_; ++w) {
      uint64_t* at = counts + (w - manyStart_) * 64;
      for (int s = 0; s < depth; ++s) {
        for (uint64_t x = counter[sz(s) * words_ + w]; x != 0; x &= x - 1) {
          at[__builtin_ctzll(x)] += uint64_t{1} << s;
        }
      }
    }
  }

  // The sums between levels, from the levels' counters. For groups i and j
  // of sizes ni and nj: a two-valued locus adds ni cj + nj ci - 2 ci cj, a
  // pair with missing values c0i c1j + c1i c0j, a locus of more values the
  // pairs of which both have a value less those whose values agree. A
  // level's counter has zeros above its own slices, so that two counters
  // are read to the depth of the deeper.
  void crossSums(SlicedScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    const int32_t A = design_.levelsA;
    const int32_t K = A + design_.levelsB;
    const size_t manyWidth = (words_ - manyStart_) * 64;
    const auto size = [&](int32_t i) -> int64_t {
      return i < A ? design_.levelSizesXA[sz(i)] : design_.levelSizesXB[sz(i - A)];
    };
    const auto counter = [&](int32_t i) { return counterOf(scratch, cells + sz(i)); };
    for (int32_t i = 0; i < K; ++i) {
      const int depth = bitWidth(sz(size(i)));
      scratch.levelPlaneSum[sz(i)] = planeSums_(counter(i), twoWords_, words_, depth).sum;
      if (!many_.empty()) {
        readManyCounts(counter(i), depth, scratch.levelManyCounts.data() + sz(i) * manyWidth);
      }
    }
    std::vector<double>& cross = scratch.sums.cross;
    for (int32_t i = 0; i < K; ++i) {
      const uint64_t* ci = counter(i);
      const int64_t ni = size(i);
      cross[sz(i) * sz(K) + sz(i)] =
          i < A ? scratch.sums.levelA[sz(i)] : scratch.sums.levelB[sz(i - A)];
      for (int32_t j = i + 1; j < K; ++j) {
        const uint64_t* cj = counter(j);
        const int64_t nj = size(j);
        const int depth = std::max(bitWidth(sz(ni)), bitWidth(sz(nj)));
        int64_t d = ni * static_cast<int64_t>(scratch.levelPlaneSum[sz(j)]) +
                    nj * static_cast<int64_t>(scratch.levelPlaneSum[sz(i)]) -
                    2 * static_cast<int64_t>(crossSum_(ci, cj, twoWords_, words_, depth));
        if (pairWords_ != 0) {
          const size_t zeros = twoWords_;
          const size_t ones = twoWords_ + pairWords_;
          d += static_cast<int64_t>(crossSum_(ci + zeros, cj + ones, pairWords_, words_, depth) +
                                    crossSum_(ci + ones, cj + zeros, pairWords_, words_, depth));
        }
        if (!many_.empty()) {
          d += manyCross(scratch.levelManyCounts.data() + sz(i) * manyWidth, ni,
                         scratch.levelManyCounts.data() + sz(j) * manyWidth, nj);
        }
        cross[sz(i) * sz(K) + sz(j)] = static_cast<double>(d);
        cross[sz(j) * sz(K) + sz(i)] = static_cast<double>(d);
      }
    }
  }

  int64_t manyCross(const uint64_t* ci, int64_t ni, const uint64_t* cj, int64_t nj) const {
    int64_t total = 0;
    for (const ManyLocus& locus : many_) {
      int64_t same = 0;
      int64_t pi = 0;
      int64_t pj = 0;
      for (int32_t p = 0; p < locus.planes; ++p) {
        const auto x = static_cast<int64_t>(ci[locus.firstPlane + sz(p)]);
        const auto y = static_cast<int64_t>(cj[locus.firstPlane + sz(p)]);
        same += x * y;
        pi += x;
        pj += y;
      }
      // Without missing values the last value is the rest of the group.
      if (locus.missing) {
        total += pi * pj - same;
      } else {
        total += ni * nj - same - (ni - pi) * (nj - pj);
      }
    }
    return total;
  }

  int64_t manySum(const uint64_t* counter, int32_t n, int depth, SlicedScratch& scratch) const {
    uint64_t* counts = scratch.manyCounts.data();
    readManyCounts(counter, depth, counts);
    const auto nn = static_cast<int64_t>(n);
    int64_t total = 0;
    for (const ManyLocus& locus : many_) {
      int64_t squares = 0;
      int64_t present = 0;
      for (int32_t p = 0; p < locus.planes; ++p) {
        const auto c = static_cast<int64_t>(counts[locus.firstPlane + sz(p)]);
        squares += c * c;
        present += c;
      }
      // Without missing values the last value is the rest of n.
      const int64_t rest = locus.missing ? 0 : nn - present;
      const int64_t all = locus.missing ? present : nn;
      total += all * all - squares - rest * rest;
    }
    return total;
  }

  std::vector<ManyLocus> many_;
  size_t twoWords_ = 0;         // words of the planes of two-valued loci
  size_t pairWords_ = 0;        // words of each block of the planes of pairs
  size_t manyStart_ = 0;        // the first word of the planes of loci with more values
  size_t words_ = 0;            // W: words of a row
  int depth_ = 5;               // D: slices of a counter; 2^D > N
  bool streamed_ = false;       // the table is read in order (stream), not cell by cell
  std::vector<uint64_t> rows_;  // rows_[x * W + w]: the row of position x
  const PlaneSumsFunction planeSums_ =
      pickForPopcount<PlaneSumsFunction>(planeSumsPortable, planeSumsPopcnt);
  const CrossSumFunction crossSum_ =
      pickForPopcount<CrossSumFunction>(crossSumPortable, crossSumPopcnt);
};

}  // namespace

ModeCost slicedCost(const EngineInput& input, double, std::unique_ptr<ModeFindings>&) {
  const DesignFigures f = figuresOf(input.design, input.loci);
  const LocusCodes& loci = input.loci;
  double twoPlanes = 0;
  double pairPlanes = 0;
  double manyPlanes = 0;
  for (int32_t l = 0; l < loci.loci; ++l) {
    const int32_t values = loci.valueCount[sz(l)];
    const int32_t present = values - loci.hasMissing[sz(l)];
    if (present < 2) continue;
    if (present == 2) {
      (loci.hasMissing[sz(l)] != 0 ? pairPlanes : twoPlanes) += 1;
    } else {
      manyPlanes += values - 1;
    }
  }
  const double twoWords = std::ceil(twoPlanes / 64);
  const double pairWords = std::ceil(pairPlanes / 64);
  const double manyWords = std::ceil(manyPlanes / 64);
  const double w = twoWords + 2 * pairWords + manyWords;
  const double depth = std::max(5, bitWidth(static_cast<uint64_t>(f.n)));
  ModeCost c;
  // Rows cost about half a unit per word, read and added; levels add their
  // cells' counters; sums read pairs of slices (every pair of the two blocks
  // of pairs) or read counts out.
  // Rows far beyond the caches are read at the pace of memory.
  const double rowPace = f.n * w * 8 > kSlowRowBytes ? 4.0 : 1.0;
  c.work = rowPace * 0.5 * f.n * w + f.cells * depth * w +
           f.groups * depth * depth * (twoWords + 2 * pairWords) * 0.3 +
           f.groups * depth * manyWords * 16 + f.n;
  c.sharedBytes = f.n * w * 8;
  // A table read in order needs the cell of every individual and the rows
  // waiting in each cell's batch.
  c.threadBytes = f.groups * depth * w * 8 + manyWords * 512 + f.n + f.cells * 64 * 12;
  if (input.cross) {
    // Each pair of levels: pairs of slices of the two-valued planes, the
    // counts of the others read out per level.
    const double levels = input.design.levelsA + input.design.levelsB;
    c.work += levels * (levels - 1) / 2 * depth * depth * (twoWords + 2 * pairWords) * 0.3 +
              levels * depth * manyWords * 16;
    c.threadBytes += levels * manyWords * 512;
  }
  return c;
}

std::unique_ptr<Engine> makeSlicedEngine(const EngineInput& input, std::unique_ptr<ModeFindings>) {
  return std::make_unique<SlicedEngine>(input.design, input.loci);
}

}  // namespace tevrol::engine_detail
