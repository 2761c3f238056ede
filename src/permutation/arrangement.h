#pragma once

#include <cstdint>
#include <vector>

#include "analysis/design.h"

namespace tevrol {

class Random;

// Permutation types: 0 exchanges individuals within each XB level, 1 within
// each XA level, 2 over all cells.
constexpr int kPermutationTypes = 3;

// The pools of the three permutation types and the drawing of arrangements.
// Individuals are stored as their observed positions (see Design), so a
// CellAssignment is an array of N positions: entry x names the individual
// whose observed distances position x carries.
//
// For every type, the fill order of a pool is also the order in which the
// positions belonging to it are visited, and one pool's positions are all
// visited before the next pool's. So a type is one list of N positions cut
// into pools:
//   type 0: PoolByXB[b] = (a, b, k) for a, then k ascending; b outermost
//   type 1: PoolByXA[a] = (a, b, k) for b, then k ascending; a outermost
//   type 2: PoolAll     = (a, b, k) for a, then b, then k ascending
class Arrangements {
 public:
  explicit Arrangements(const Design& design);

  // Draws an arrangement of the type into cellAssignment (N entries), starting
  // afresh from the observed layout. Exactly N calls of uniformInt.
  void draw(int type, Random& random, int32_t* cellAssignment);

  // The same in two steps, so that only the first, the generator's, must run
  // in pass order: the N indices drawn from the pools as they shrink, then
  // the arrangement they give. pool is scratch space of N entries.
  void drawIndices(int type, Random& random, int32_t* indices) const;
  void applyIndices(int type, const int32_t* indices, int32_t* pool, int32_t* cellAssignment) const;

 private:
  struct Pools {
    std::vector<int32_t> positions;  // fill order = visiting order
    std::vector<int32_t> ends;       // end of each pool in positions
  };
  Pools pools_[kPermutationTypes];
  std::vector<int32_t> indices_;  // draw(): the indices of one arrangement
  std::vector<int32_t> pool_;     // draw(): working copy of the pool being drawn from
};

}  // namespace tevrol
