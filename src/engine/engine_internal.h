#pragma once

// Shared by the engine's implementation files only.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/threads.h"
#include "engine/engine.h"
#include "engine/engine_modes.h"

namespace tevrol::engine_detail {

inline size_t sz(int64_t value) {
  return static_cast<size_t>(value);
}

int64_t totalValues(const LocusCodes& loci);

// The sizes a mode's cost is estimated from: individuals, loci, locus values
// in all, cells, groups (cells and levels), and words of N bits.
struct DesignFigures {
  double n, l, values, cells, groups, words;
};
DesignFigures figuresOf(const Design& design, const LocusCodes& loci);

// Bytes of the loop's own arrays of N positions, per thread.
inline double loopBytes(const DesignFigures& f) {
  return 8 * f.n;
}

// Bytes of every individual's codes at every locus, as dense and sparse
// hold them.
inline double codeBytes(const DesignFigures& f) {
  return f.n * f.l * (f.values <= 65536 ? 2 : 4);
}

// Whether the processor has the popcount instruction, for kernels compiled
// with and without it (the build targets no particular processor).
inline bool hasPopcount() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}

// A kernel compiled twice, with the popcount instruction (popcnt) and without
// (portable): the one this processor can run. Where the build has no
// popcount variant, popcnt names the portable kernel too.
template <typename Kernel>
Kernel pickForPopcount(Kernel portable, Kernel popcnt) {
  return hasPopcount() ? popcnt : portable;
}

// The number of loci at which two individuals' rows of codes differ.
template <typename Code>
int32_t mismatches(const Code* x, const Code* y, int32_t loci) {
  int32_t d = 0;
  for (int32_t l = 0; l < loci; ++l) d += (x[l] != y[l]);
  return d;
}

// The same count with missing values: the loci at which both rows have a
// value and the values differ. missing[l] is locus l's missing code; at a
// locus without one it must be a code no individual has.
template <typename Code>
int32_t presentMismatches(const Code* x, const Code* y, const Code* missing, int32_t loci) {
  int32_t d = 0;
  for (int32_t l = 0; l < loci; ++l)
    d += int{x[l] != y[l]} & int{x[l] != missing[l]} & int{y[l] != missing[l]};
  return d;
}

// Every locus's missing code (valueCount at a locus without one), for
// presentMismatches.
template <typename Code>
std::vector<Code> missingCodes(const LocusCodes& loci) {
  std::vector<Code> out(sz(loci.loci));
  for (int32_t l = 0; l < loci.loci; ++l) out[sz(l)] = static_cast<Code>(loci.missingCode(l));
  return out;
}

inline int32_t levelEnd(const Design& design, int32_t a) {
  return design.cellStart[sz(design.cell(a, design.levelsB - 1)) + 1];
}

// Numbers the distinct haplotypes (codes at every locus) of the individuals
// in order of first appearance: haplotypeOf[x] for position x. Returns H, or
// -1 as soon as there are more than limit (haplotypeOf is then incomplete).
int32_t groupHaplotypes(const LocusCodes& loci, int32_t limit, std::vector<int32_t>& haplotypeOf);

}  // namespace tevrol::engine_detail
