#include "driver/command_line.h"

#include <cstdint>
#include <limits>

#include "base/fatal.h"

namespace tevrol {

namespace {

bool isAtoiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t parseInt(const char* text) {
  const char* p = text;
  while (isAtoiSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  // Accumulate the magnitude, stopping once it is past every 32-bit value.
  const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) magnitude = limit;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
  const int arguments = argc - 1;
  if (arguments < 1 || arguments > 3) fatalError("SYNTAX: tevrol filename [nperm [seed]]");
  CommandLine line;
  line.filename = argv[1];
  if (arguments >= 2) {
    line.nperm = parseInt(argv[2]);
    if (line.nperm < kMinPermutations) fatalError("Must have at least 100 permutations");
    if (line.nperm > kMaxPermutations) fatalError("Must have at most 715827882 permutations");
  }
  if (arguments == 3) {
    line.hasSeed = true;
    line.seed = parseInt(argv[3]);
  }
  return line;
}

}  // namespace tevrol
