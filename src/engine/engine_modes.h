#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/design.h"

namespace tevrol {

class Engine;

// What a mode's cost estimate and constructor see.
struct EngineInput {
  const Design& design;
  const LocusCodes& loci;
  int32_t nperm;
  int threads;  // how many may share the build and the passes
  // The sums between levels are wanted too (GroupSums::cross).
  bool cross = false;
};

// Rough work of one pass in a mode, in units of one counter increment (about
// 3 ns on the machines we measure), and the memory it needs beyond the codes:
// tables shared by all threads and scratch for each thread (the loop's own
// arrays of N positions included).
struct ModeCost {
  double work = 0;
  double sharedBytes = 0;
  double threadBytes = 0;
};

// What a mode's estimate found out about the data and its constructor takes
// over (the haplotypes of the individuals), so that it is not found twice.
struct ModeFindings {
  virtual ~ModeFindings() = default;
};

// The estimate of a mode: the cost of a pass. `cheapest`: the least work of
// the modes weighed before this one by the automatic choice, infinite when
// the mode was asked for by name. May leave findings for the constructor.
using ModeCostFunction = ModeCost(const EngineInput& input, double cheapest,
                                  std::unique_ptr<ModeFindings>& findings);
// The constructor of a mode's engine, before Engine::observe.
using ModeMakeFunction = std::unique_ptr<Engine>(const EngineInput& input,
                                                 std::unique_ptr<ModeFindings> findings);

// One way of computing the passes. Every mode gives the same sums, exactly;
// they differ in speed and memory alone.
struct EngineModeRow {
  const char* name;
  ModeCostFunction* cost;
  ModeMakeFunction* make;
  bool automatic;  // weighed by the automatic choice
  // Among weighed modes of equal work the one of lowest rank is taken, and
  // the lowest of all when no mode fits in memory.
  int rank;
};

// Every mode, in the order the automatic choice weighs them and messages
// list them.
const std::vector<EngineModeRow>& engineModes();

// The name of the automatic choice, which is no row.
constexpr const char* kAutomaticEngine = "automatic";

// The mode of that name; nullptr for any other.
const EngineModeRow* findEngineMode(const std::string& name);

// "automatic, pairs, ... or reference": what an engine name may be.
std::string engineModeChoices();

}  // namespace tevrol
