#pragma once

#include "driver/command_line.h"
#include "permutation/engine.h"

namespace tevrol {

// Settings from the environment, which never change what a run prints:
//   TEVROL_THREADS  at most this many threads for the permutations (1 ... 256;
//                   default: every hardware thread)
//   TEVROL_ENGINE   automatic (default), pairs, dense, bitset, sparse, sliced,
//                   haplotypes, or reference
//                   (the literal N x N computation, for cross-checks)
struct Settings {
  int threads = 1;
  EngineMode engine = EngineMode::Automatic;
  bool reference = false;
};

// Reads the environment; fatal on a value that is not understood. A thread
// count given as an option wins over TEVROL_THREADS, which is then not read.
Settings readSettings(const Options& options);

}  // namespace tevrol
