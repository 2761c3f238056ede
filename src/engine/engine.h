#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/anova.h"
#include "analysis/design.h"
#include "engine/engine_modes.h"

namespace tevrol {

// The engine finds the within-group sums of an arrangement in one of several
// modes (engine_modes.h), each in its file:
//  pairs:  an N x N matrix of distances, read through the arrangement; a pass
//          costs the squared group sizes, or, for a matrix beyond the caches
//          and few levels, N^2 / 2 entries streamed row by row. Loci of few
//          values are compared as bit planes in the build. For few
//          individuals and many loci.
//  dense:  per cell, counts of every locus value; a group's sum is
//          sum over loci of (n^2 - sum over values of count^2), missing
//          values taken apart (engine_counts.cpp). A pass costs
//          N x L plus cells x values. For many individuals, few values.
//  bitset: the same counts from popcounts over bitsets of individuals; a pass
//          costs cells x values x N / 64. For few cells and few values.
//  sparse: the same counts built group by group and cleared again; a pass
//          costs a few N x L. For many cells or values.
//  sliced: the same counts as bit-sliced counters: every individual is a row
//          of bits, one per locus value but the last of its locus (every
//          present value at a locus with missing values), and a group adds
//          its members' rows 64 bits a word; a pass costs about
//          N x (values - L) / 64 word operations. For many loci with few
//          values (biallelic sites above all).
//  haplotypes: individuals identical at every locus are one haplotype; a
//          pass counts each group's members per haplotype and weighs pairs
//          of haplotypes by an H x H matrix of distances; it costs N plus
//          groups x H^2 / 2. For H much smaller than N.
//  reference: the literal computation, an N x N table of distances rewritten
//          for every arrangement and summed; costs N^2 per pass. For
//          cross-checks.

// Type of the observed pass, whose sums are all computed.
constexpr int kAllSums = -1;

// Per-thread working memory of an engine.
class EngineScratch {
 public:
  virtual ~EngineScratch() = default;
  GroupSums sums;
};

// Computes the within-group sums of arrangements without rewriting any table.
// Sums are exact integers, so every mode gives bit-identical statistics. An
// arrangement of type 0 keeps every XB level's set of individuals, type 1
// every XA level's, so their sums are not recomputed.
class Engine {
 public:
  virtual ~Engine() = default;
  const EngineModeRow& mode() const { return *mode_; }

  // The sums of the observed layout.
  const GroupSums& observedSums() const { return observed_; }

  // Working memory for one thread.
  std::unique_ptr<EngineScratch> makeScratch() const;

  // How many threads may evaluate passes at once: their scratch memory must
  // fit beside the engine's tables. At least 1.
  int threadLimit() const { return threadLimit_; }
  // Estimated time of one pass in nanoseconds, so that the loop can keep
  // small passes on one thread.
  double passNanoseconds() const { return passNanoseconds_; }

  // Whether the sums between levels are computed (GroupSums::cross).
  bool crossSums() const { return cross_; }

  // Sums of the arrangement (entry x: the individual at position x) into
  // scratch.sums. type 0, 1, 2, or kAllSums.
  const GroupSums& sums(const int32_t* cellAssignment, int type, EngineScratch& scratch) const;

 protected:
  Engine(const Design& design, const LocusCodes& loci);
  virtual std::unique_ptr<EngineScratch> createScratch() const = 0;
  // Fills the sums of cells, and of XA levels if wantA, XB levels if wantB;
  // with cross_ both are wanted and the sums between levels are filled too.
  virtual void computeSums(const int32_t* cellAssignment, bool wantA, bool wantB,
                           EngineScratch& scratch) const = 0;

  friend std::unique_ptr<Engine> makeEngine(const Design&, const LocusCodes&, int32_t,
                                            const EngineModeRow*, int, bool);
  // Keeps the sums of the observed layout, for the sums a type cannot change.
  void observe();

  const Design& design_;
  int32_t loci_;
  int64_t total_ = 0;  // S_T: the same in every pass
  GroupSums observed_;
  const EngineModeRow* mode_ = nullptr;
  int threadLimit_ = 1;
  double passNanoseconds_ = 0;
  bool cross_ = false;
};

// Builds the engine for the mode (nullptr: the cheapest for this design and
// run length). Fatal "Not enough memory for the distance tables" when its
// tables, or the scratch of one thread, cannot be had, whatever the mode.
// threads: how many may share the build and the passes (see threadLimit).
// cross: the sums between levels are wanted as well (the table with
// interaction); every mode gives them.
std::unique_ptr<Engine> makeEngine(const Design& design, const LocusCodes& loci, int32_t nperm,
                                   const EngineModeRow* mode, int threads, bool cross = false);

// The sums of the observed layout from the counts of every locus's values
// per cell: equal to every mode's, and at hand before any mode's tables are
// built. False (out unchanged) when the counts of one locus would not fit in
// a few megabytes (many cells times many values).
bool countObservedSums(const Design& design, const LocusCodes& loci, GroupSums& out);

// The mode the automatic choice takes.
const EngineModeRow& chooseEngineMode(const Design& design, const LocusCodes& loci, int32_t nperm,
                                      int threads, bool cross = false);

}  // namespace tevrol
