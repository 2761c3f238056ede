#pragma once

#include <cstdint>
#include <string>

namespace tevrol {

// Reads an integer with the grammar of atoi: optional leading white space,
// an optional sign, then decimal digits up to the first other character; no
// digits gives 0. Unlike atoi it is defined for every input: a value beyond
// the 32-bit range saturates to the nearest 32-bit value.
int32_t parseInt(const char* text);

// Largest number of permutations per type: three times it must still fit the
// 32-bit pass counter.
constexpr int32_t kMaxPermutations = 715827882;
constexpr int32_t kMinPermutations = 100;
constexpr int32_t kDefaultPermutations = 1000;

struct CommandLine {
  std::string filename;
  int32_t nperm = kDefaultPermutations;
  bool hasSeed = false;
  int32_t seed = 0;
};

// Checks the argument count and nperm; fatal on a bad command line.
// argc and argv as main receives them.
CommandLine parseCommandLine(int argc, const char* const* argv);

}  // namespace tevrol
