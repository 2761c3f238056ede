#include "engine/engine_modes.h"

#include "engine/engine.h"

namespace tevrol {

// Each mode lives in a file of its own, which defines its estimate and its
// constructor; a new mode is that file and one row below.
namespace engine_detail {
ModeCostFunction pairsCost, denseCost, bitsetCost, sparseCost, slicedCost, haplotypesCost,
    referenceCost;
ModeMakeFunction makePairsEngine, makeDenseEngine, makeBitsetEngine, makeSparseEngine,
    makeSlicedEngine, makeHaplotypesEngine, makeReferenceEngine;
}  // namespace engine_detail

const std::vector<EngineModeRow>& engineModes() {
  using namespace engine_detail;
  // name, cost, constructor, weighed by the automatic choice, rank
  static const std::vector<EngineModeRow> rows = {
      {"pairs", pairsCost, makePairsEngine, true, 3},
      {"dense", denseCost, makeDenseEngine, true, 1},
      {"bitset", bitsetCost, makeBitsetEngine, true, 2},
      // Lowest in rank: it needs the least memory beyond the codes.
      {"sparse", sparseCost, makeSparseEngine, true, 0},
      {"sliced", slicedCost, makeSlicedEngine, true, 4},
      // Last of the weighed: it counts haplotypes only as far as they can pay.
      {"haplotypes", haplotypesCost, makeHaplotypesEngine, true, 5},
      // The literal N x N computation, for cross-checks.
      {"reference", referenceCost, makeReferenceEngine, false, 6},
  };
  return rows;
}

const EngineModeRow* findEngineMode(const std::string& name) {
  for (const EngineModeRow& row : engineModes()) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

std::string engineModeChoices() {
  std::string text = kAutomaticEngine;
  const auto& rows = engineModes();
  for (size_t m = 0; m < rows.size(); ++m) {
    text += m + 1 == rows.size() ? " or " : ", ";
    text += rows[m].name;
  }
  return text;
}

}  // namespace tevrol
