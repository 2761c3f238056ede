// The pairs mode: an N x N matrix of distances read through the arrangement.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "analysis/distances.h"
#include "engine/engine_internal.h"

namespace tevrol::engine_detail {

namespace {

// Loci of at most 2^B present values are compared B bits at a time: a row
// holds B planes of W words (bit l of plane b is bit b of locus l's code),
// then, with missing values, a plane of the loci that have a value. The
// distance of two rows is the popcount of the words where a plane differs,
// masked by both rows' values present.
template <int B, bool Missing>
inline __attribute__((always_inline)) int32_t packedDistanceOf(const uint64_t* x,
                                                               const uint64_t* y, size_t words) {
  int64_t d = 0;
  for (size_t w = 0; w < words; ++w) {
    uint64_t differ = x[w] ^ y[w];
    if constexpr (B >= 2) differ |= x[words + w] ^ y[words + w];
    if constexpr (B >= 3) differ |= x[2 * words + w] ^ y[2 * words + w];
    if constexpr (Missing) differ &= x[B * words + w] & y[B * words + w];
    d += __builtin_popcountll(differ);
  }
  return static_cast<int32_t>(d);
}

using PackedDistance = int32_t (*)(const uint64_t*, const uint64_t*, size_t);

template <int B, bool Missing>
int32_t packedPortable(const uint64_t* x, const uint64_t* y, size_t words) {
  return packedDistanceOf<B, Missing>(x, y, words);
}

#if defined(__x86_64__) || defined(__i386__)
template <int B, bool Missing>
__attribute__((target("popcnt"))) int32_t packedPopcnt(const uint64_t* x, const uint64_t* y,
                                                       size_t words) {
  return packedDistanceOf<B, Missing>(x, y, words);
}
#endif

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
// Eight words a step, where the processor counts bits in vectors.
template <int B, bool Missing>
__attribute__((target("avx512f,avx512vpopcntdq"))) int32_t packedVector(const uint64_t* x,
                                                                        const uint64_t* y,
                                                                        size_t words) {
  return packedDistanceOf<B, Missing>(x, y, words);
}
#endif

template <int B, bool Missing>
PackedDistance packedKernel() {
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512vpopcntdq")) return packedVector<B, Missing>;
#endif
#if defined(__x86_64__) || defined(__i386__)
  return pickForPopcount<PackedDistance>(packedPortable<B, Missing>, packedPopcnt<B, Missing>);
#else
  return packedPortable<B, Missing>;
#endif
}

PackedDistance packedKernel(int bits, bool missing) {
  if (bits == 1) return missing ? packedKernel<1, true>() : packedKernel<1, false>();
  if (bits == 2) return missing ? packedKernel<2, true>() : packedKernel<2, false>();
  return missing ? packedKernel<3, true>() : packedKernel<3, false>();
}

// Bits a code needs at the locus with the most present values: 1 to 3, or 0
// when some locus has more than eight (compared code by code).
int packedBits(const LocusCodes& loci) {
  uint32_t most = 0;
  for (int32_t l = 0; l < loci.loci; ++l) {
    const uint32_t present = loci.missingCode(l);
    most = std::max(most, present == 0 ? 0 : present - 1);
  }
  if (most <= 1) return 1;
  if (most <= 3) return 2;
  return most <= 7 ? 3 : 0;
}

// Sums of row[i] over the i whose cell, XA level and XB level are those of
// the row's own individual, in 32-bit lanes (the caller keeps each call's
// sums below 2^32). Compiled for vector units of several widths.
template <typename Distance>
inline __attribute__((always_inline)) void sameGroupSumsOf(const Distance* row,
                                                           const uint16_t* cell,
                                                           const uint16_t* levelA,
                                                           const uint16_t* levelB, size_t count,
                                                           const uint16_t (&own)[3],
                                                           uint32_t (&sums)[3]) {
  uint32_t inCell = 0;
  uint32_t inA = 0;
  uint32_t inB = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t v = row[i];
    inCell += cell[i] == own[0] ? v : 0;
    inA += levelA[i] == own[1] ? v : 0;
    inB += levelB[i] == own[2] ? v : 0;
  }
  sums[0] = inCell;
  sums[1] = inA;
  sums[2] = inB;
}

template <typename Distance>
using SameGroupSums = void (*)(const Distance*, const uint16_t*, const uint16_t*, const uint16_t*,
                               size_t, const uint16_t (&)[3], uint32_t (&)[3]);

template <typename Distance>
void sameGroupSumsPortable(const Distance* row, const uint16_t* cell, const uint16_t* levelA,
                           const uint16_t* levelB, size_t count, const uint16_t (&own)[3],
                           uint32_t (&sums)[3]) {
  sameGroupSumsOf(row, cell, levelA, levelB, count, own, sums);
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
template <typename Distance>
__attribute__((target("avx2"))) void sameGroupSumsAvx2(const Distance* row, const uint16_t* cell,
                                                       const uint16_t* levelA,
                                                       const uint16_t* levelB, size_t count,
                                                       const uint16_t (&own)[3],
                                                       uint32_t (&sums)[3]) {
  sameGroupSumsOf(row, cell, levelA, levelB, count, own, sums);
}

template <typename Distance>
__attribute__((target("avx512f,avx512bw"))) void sameGroupSumsAvx512(
    const Distance* row, const uint16_t* cell, const uint16_t* levelA, const uint16_t* levelB,
    size_t count, const uint16_t (&own)[3], uint32_t (&sums)[3]) {
  sameGroupSumsOf(row, cell, levelA, levelB, count, own, sums);
}
#endif

template <typename Distance>
SameGroupSums<Distance> sameGroupKernel() {
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return sameGroupSumsAvx512<Distance>;
  if (__builtin_cpu_supports("avx2")) return sameGroupSumsAvx2<Distance>;
#endif
  return sameGroupSumsPortable<Distance>;
}

// Pairs within levels, as a share of all pairs, above which a pass reads
// every row whole: a row streams about ten times faster than its entries are
// read one by one through the arrangement.
constexpr double kStreamShare = 0.11;
// A matrix of more bytes is beyond the caches.
constexpr double kCachedMatrixBytes = 8 << 20;

class PairScratch : public EngineScratch {
 public:
  // A pass read row by row: the cell, XA level and XB level of every
  // individual under the arrangement.
  std::vector<uint16_t> cellOf, levelAOf, levelBOf;
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
    const int bits = packedBits(loci);
    if (bits != 0) {
      buildPacked(loci, bits, missing, threads);
      chooseReading(design);
      return;
    }
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
    chooseReading(design);
  }

  std::unique_ptr<EngineScratch> createScratch() const override {
    auto scratch = std::make_unique<PairScratch>();
    if (streamed_) {
      scratch->cellOf.resize(sz(n_));
      scratch->levelAOf.resize(sz(n_));
      scratch->levelBOf.resize(sz(n_));
    }
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
    if (streamed_) {
      if (narrow_.empty()) {
        streamSums(d_.data(), assignment, scratch);
      } else {
        streamSums(narrow_.data(), assignment, scratch);
      }
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

  // Rows of bit planes, filled 64 loci at a time: a word of every plane of
  // every individual, then stored in the individuals' rows.
  void buildPacked(const LocusCodes& loci, int bits, bool missing, int threads) {
    const size_t words = (sz(loci.loci) + 63) / 64;
    const size_t planes = sz(bits) + (missing ? 1 : 0);
    const size_t stride = planes * words;
    std::vector<uint64_t> rows;
    try {
      rows.assign(sz(n_) * stride, 0);
    } catch (const std::bad_alloc&) {
      distanceMemoryError(n_);
    }
    std::vector<uint64_t> word(sz(n_) * planes);
    for (size_t w = 0; w < words; ++w) {
      std::fill(word.begin(), word.end(), 0);
      const auto last = static_cast<int32_t>(std::min(sz(loci.loci), 64 * w + 64));
      for (auto l = static_cast<int32_t>(64 * w); l < last; ++l) {
        const uint32_t missingCode = loci.missingCode(l);
        const int bit = l % 64;
        visitCodes(loci.column(l), [&](const auto* codes) {
          for (int32_t x = 0; x < n_; ++x) {
            const uint32_t code = codes[loci.rowOf[sz(x)]];
            const uint64_t present = code != missingCode;
            const uint64_t value = code * present;
            uint64_t* at = word.data() + sz(x) * planes;
            for (int b = 0; b < bits; ++b) at[b] |= ((value >> b) & 1) << bit;
            if (missing) at[bits] |= present << bit;
          }
        });
      }
      for (int32_t x = 0; x < n_; ++x) {
        for (size_t p = 0; p < planes; ++p) {
          rows[sz(x) * stride + p * words + w] = word[sz(x) * planes + p];
        }
      }
    }
    const PackedDistance distance = packedKernel(bits, missing);
    fill(rows, static_cast<int32_t>(stride), threads,
         [&](const uint64_t* x, const uint64_t* y) { return distance(x, y, words); });
  }

  // Rows of `loci` codes (or words) a position.
  template <typename Code, typename Distance>
  void fill(const std::vector<Code>& codes, int32_t loci, int threads, const Distance& distance) {
    // Blocks of rows that stay in a core's cache meet every row after them,
    // so that each of those is read once a block; blocks are dealt out in
    // turn, so that the triangle's long and short rows spread evenly over
    // the threads.
    const size_t rowBytes = std::max<size_t>(1, sizeof(Code) * sz(loci));
    const auto block = static_cast<int32_t>(std::max<size_t>(1, (256 << 10) / rowBytes));
    runOnThreads(threads, [&](int t) {
      for (int32_t first = t * block; first < n_; first += threads * block) {
        const int32_t last = std::min(n_, first + block);
        for (int32_t x = first; x < last; ++x) d_[sz(x) * sz(n_) + sz(x)] = 0;
        for (int32_t y = first + 1; y < n_; ++y) {
          const Code* cy = codes.data() + sz(y) * sz(loci);
          for (int32_t x = first; x < std::min(last, y); ++x) {
            d_[sz(x) * sz(n_) + sz(y)] =
                static_cast<Dist>(distance(codes.data() + sz(x) * sz(loci), cy));
          }
        }
      }
    });
    for (int32_t x = 0; x < n_; ++x) {
      for (int32_t y = 0; y < x; ++y) d_[sz(x) * sz(n_) + sz(y)] = d_[sz(y) * sz(n_) + sz(x)];
    }
    // Distances of more loci than 16 bits count often stay below 2^16: half
    // the bytes for every pass to read.
    if constexpr (sizeof(Dist) > sizeof(uint16_t)) {
      if (*std::max_element(d_.begin(), d_.end()) <= std::numeric_limits<uint16_t>::max()) {
        narrow_.assign(d_.begin(), d_.end());
        std::vector<Dist>().swap(d_);
      }
    }
  }

  // A pass reads a matrix beyond the caches row by row, every pair once,
  // when the pairs within levels are a good share of all pairs (few levels):
  // the rows then stream through vector units instead of being read one
  // entry at a time through the arrangement. Labels are 16 bits.
  void chooseReading(const Design& design) {
    double within = 0;
    for (const int32_t s : design.levelSizesXA) within += double{1} * s * s;
    for (const int32_t s : design.levelSizesXB) within += double{1} * s * s;
    const double all = double{1} * n_ * n_;
    const double bytes = all * (narrow_.empty() ? sizeof(Dist) : sizeof(uint16_t));
    streamed_ = bytes > kCachedMatrixBytes && design.cellSize.size() <= 0xFFFF &&
                within > kStreamShare * all;
    if (!streamed_) return;
    const uint32_t most = narrow_.empty()
                              ? static_cast<uint32_t>(*std::max_element(d_.begin(), d_.end()))
                              : *std::max_element(narrow_.begin(), narrow_.end());
    // Each call of the kernel sums at most `chunk` entries in 32 bits.
    chunk_ = most == 0 ? sz(n_) : std::max<size_t>(1, std::numeric_limits<uint32_t>::max() / most);
  }

  // Every sum at once, each unordered pair read once: a pair counts for the
  // cell, the XA level and the XB level it lies within.
  template <typename Distance>
  void streamSums(const Distance* d, const int32_t* assignment, PairScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    for (size_t c = 0; c < cells; ++c) {
      const auto a = static_cast<uint16_t>(c / sz(design_.levelsB));
      const auto b = static_cast<uint16_t>(c % sz(design_.levelsB));
      for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
        const size_t i = sz(assignment[x]);
        scratch.cellOf[i] = static_cast<uint16_t>(c);
        scratch.levelAOf[i] = a;
        scratch.levelBOf[i] = b;
      }
    }
    std::vector<int64_t>& inCell = scratch.cellCross;
    std::vector<int64_t>& inLevel = scratch.levelCross;
    inCell.assign(cells, 0);
    inLevel.assign(sz(design_.levelsA) + sz(design_.levelsB), 0);
    const SameGroupSums<Distance> kernel = sameGroupKernel<Distance>();
    for (size_t x = 0; x < sz(n_); ++x) {
      const uint16_t own[3] = {scratch.cellOf[x], scratch.levelAOf[x], scratch.levelBOf[x]};
      int64_t sums[3] = {0, 0, 0};
      for (size_t from = x + 1; from < sz(n_); from += chunk_) {
        uint32_t part[3];
        kernel(d + x * sz(n_) + from, scratch.cellOf.data() + from, scratch.levelAOf.data() + from,
               scratch.levelBOf.data() + from, std::min(chunk_, sz(n_) - from), own, part);
        for (int k = 0; k < 3; ++k) sums[k] += part[k];
      }
      inCell[own[0]] += sums[0];
      inLevel[own[1]] += sums[1];
      inLevel[sz(design_.levelsA) + own[2]] += sums[2];
    }
    for (size_t c = 0; c < cells; ++c) scratch.sums.cell[c] = static_cast<double>(2 * inCell[c]);
    for (int32_t a = 0; a < design_.levelsA; ++a) {
      scratch.sums.levelA[sz(a)] = static_cast<double>(2 * inLevel[sz(a)]);
    }
    for (int32_t b = 0; b < design_.levelsB; ++b) {
      scratch.sums.levelB[sz(b)] = static_cast<double>(2 * inLevel[sz(design_.levelsA + b)]);
    }
  }

  // Sums of one level (of XA if byA, else of XB) and, if withCells, of its
  // cells. The matrix is symmetric with a zero diagonal, so each unordered
  // pair is read once and counted twice.
  void levelSums(const int32_t* assignment, bool byA, int32_t level, bool withCells,
                 PairScratch& scratch) const {
    if (narrow_.empty()) {
      levelSumsOf(d_.data(), assignment, byA, level, withCells, scratch);
    } else {
      levelSumsOf(narrow_.data(), assignment, byA, level, withCells, scratch);
    }
  }

  template <typename Distance>
  void levelSumsOf(const Distance* d, const int32_t* assignment, bool byA, int32_t level,
                   bool withCells, PairScratch& scratch) const {
    const int32_t cells = byA ? design_.levelsB : design_.levelsA;
    int32_t* gathered = scratch.gathered.data();
    int32_t count = 0;
    for (int32_t j = 0; j < cells; ++j) {
      const int32_t a = byA ? level : j;
      const int32_t b = byA ? j : level;
      const int32_t start = design_.start(a, b);
      const int32_t from = count;
      for (int32_t k = 0; k < design_.size(a, b); ++k) gathered[count++] = assignment[start + k];
      // Rows are read in increasing order: the sums do not depend on it.
      std::sort(gathered + from, gathered + count);
      scratch.cellEnds[sz(j)] = count;
    }
    int64_t levelSum = 0;
    int32_t begin = 0;
    for (int32_t j = 0; j < cells; ++j) {
      const int32_t end = scratch.cellEnds[sz(j)];
      int64_t cellSum = 0;
      for (int32_t x = begin; x < end; ++x) {
        const Distance* row = d + sz(gathered[x]) * sz(n_);
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
    if (narrow_.empty()) {
      crossSumsOf(d_.data(), assignment, scratch);
    } else {
      crossSumsOf(narrow_.data(), assignment, scratch);
    }
  }

  template <typename Distance>
  void crossSumsOf(const Distance* distances, const int32_t* assignment, PairScratch& scratch) const {
    const size_t cells = design_.cellSize.size();
    int64_t* between = scratch.cellCross.data();
    for (size_t c = 0; c < cells; ++c) {
      for (size_t e = c; e < cells; ++e) {
        int64_t sum = 0;
        for (int32_t x = design_.cellStart[c]; x < design_.cellStart[c + 1]; ++x) {
          const Distance* row = distances + sz(assignment[x]) * sz(n_);
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
  std::vector<uint16_t> narrow_;  // the same, when every distance fits (d_ then empty)
  bool streamed_ = false;         // passes read the matrix row by row (streamSums)
  size_t chunk_ = 0;              // entries a kernel call may sum in 32 bits
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
  const double read = c.sharedBytes > kCachedMatrixBytes ? 4.0 : 1.0;
  // The build compares 32 codes a unit, missing values taking two more
  // comparisons; rows of bit planes four words of 64 loci a unit.
  const bool missing = input.loci.anyMissing();
  const int bits = packedBits(input.loci);
  const double build =
      bits != 0 ? f.n * f.n * std::ceil(f.l / 64.0) * (bits + (missing ? 1 : 0)) / 4.0
                : f.n * f.n * f.l / 32.0 * (missing ? 2.0 : 1.0);
  // The sums between levels read every pair of individuals once, and add the
  // cells' sums up for every pair of levels. Otherwise a pass reads the pairs
  // within levels, or, for a matrix beyond the caches, streams every row
  // where that is cheaper.
  const double within = read > 1.0 ? std::min(squares, kStreamShare * f.n * f.n) : squares;
  const double pairs = input.cross ? f.n * f.n + 8 * f.cells * f.cells : within;
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
