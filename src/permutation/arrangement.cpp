#include "permutation/arrangement.h"

#include <algorithm>

#include "permutation/random.h"

namespace tevrol {

namespace {

void appendCell(std::vector<int32_t>& out, const Design& design, int32_t a, int32_t b) {
  const int32_t start = design.start(a, b);
  for (int32_t k = 0; k < design.size(a, b); ++k) out.push_back(start + k);
}

}  // namespace

Arrangements::Arrangements(const Design& design) {
  const int32_t A = design.levelsA;
  const int32_t B = design.levelsB;
  for (auto& pools : pools_) pools.positions.reserve(static_cast<size_t>(design.individuals));
  for (int32_t b = 0; b < B; ++b) {
    for (int32_t a = 0; a < A; ++a) appendCell(pools_[0].positions, design, a, b);
    pools_[0].ends.push_back(static_cast<int32_t>(pools_[0].positions.size()));
  }
  for (int32_t a = 0; a < A; ++a) {
    for (int32_t b = 0; b < B; ++b) appendCell(pools_[1].positions, design, a, b);
    pools_[1].ends.push_back(static_cast<int32_t>(pools_[1].positions.size()));
  }
  for (int32_t a = 0; a < A; ++a) {
    for (int32_t b = 0; b < B; ++b) appendCell(pools_[2].positions, design, a, b);
  }
  pools_[2].ends.push_back(static_cast<int32_t>(pools_[2].positions.size()));
  indices_.resize(static_cast<size_t>(design.individuals));
  pool_.resize(static_cast<size_t>(design.individuals));
}

void Arrangements::draw(int type, Random& random, int32_t* cellAssignment) {
  drawIndices(type, random, indices_.data());
  applyIndices(type, indices_.data(), pool_.data(), cellAssignment);
}

void Arrangements::drawIndices(int type, Random& random, int32_t* indices) const {
  int32_t begin = 0;
  for (const int32_t end : pools_[type].ends) {
    int32_t* out = indices + begin;
    random.drawWithoutReplacement(end - begin, [out](int32_t i, int32_t j) { out[i] = j; });
    begin = end;
  }
}

void Arrangements::applyIndices(int type, const int32_t* indices, int32_t* pool,
                                int32_t* cellAssignment) const {
  const int32_t* positions = pools_[type].positions.data();
  int32_t begin = 0;
  for (const int32_t end : pools_[type].ends) {
    std::copy(positions + begin, positions + end, pool);
    // Each position takes entry j of the shrinking pool; the pool's last entry
    // fills the slot.
    for (int32_t i = begin, m = end - begin; i < end; ++i, --m) {
      const int32_t j = indices[i];
      cellAssignment[positions[i]] = pool[j];
      pool[j] = pool[m - 1];
    }
    begin = end;
  }
}

}  // namespace tevrol
