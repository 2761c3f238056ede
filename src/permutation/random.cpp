#include "permutation/random.h"

#include <ctime>
#include <limits>
#include <string>

#include "base/fatal.h"

namespace tevrol {

int32_t clockSeed(int64_t secondsSinceEpoch) {
  const int64_t low31 = secondsSinceEpoch & 0x7FFFFFFF;
  return static_cast<int32_t>(-low31);
}

Random::Random() : table_(new int32_t[kTableSize]()), tableSize_(kTableSize) {
  setSeed(clockSeed(static_cast<int64_t>(std::time(nullptr))));
}

void Random::setSeed(int32_t seed) {
  if (seed > 0) runtimeError("Random must be seeded with a negative integer");
  seed_ = seed;
  state1_ = seed;
  state2_ = kInitialState2;
  shuffleOut_ = 0;
}

void Random::initializeTable() {
  if (state1_ == 0) {
    state1_ = 1;
  } else if (state1_ == std::numeric_limits<int32_t>::min()) {
    // Its negation does not fit: start as the seed -2147483647 would.
    state1_ = std::numeric_limits<int32_t>::max();
  } else {
    state1_ = -state1_;
  }
  state2_ = state1_;
  for (int32_t j = tableSize_ + 7; j >= 0; --j) {
    state1_ = schrageStep(state1_, kA1, kQ1, kR1, kM1);
    if (j < tableSize_) table_[j] = state1_;
  }
  shuffleOut_ = table_[0];
}

void runtimeError(const char* message) {
  throw RunError(message, std::string("Random Package run-time error...\n") + message +
                              "\n...now exiting to system...\n");
}

}  // namespace tevrol
