#pragma once

#include <cstdint>
#include <string>

namespace tevrol {

struct EngineModeRow;

// The limits of a run, the same for every front end.
// Largest number of permutations per type: three times it must still fit the
// 32-bit pass counter.
constexpr int32_t kMaxPermutations = 715827882;
constexpr int32_t kMinPermutations = 100;
constexpr int32_t kDefaultPermutations = 1000;
constexpr int kMaxThreads = 256;

// Fatal unless nperm is within kMinPermutations ... kMaxPermutations.
void checkPermutationCount(int64_t nperm);

// A thread count written as a whole number from 1 to kMaxThreads with
// nothing around it; 0 for anything else: a count that is half read would
// silently run with another.
int parseThreadCount(const char* text);

// What an engine may be named: "automatic, pairs, ... or reference".
std::string engineChoices();

// How a run computes, which never changes what it prints.
struct Settings {
  int threads = 1;
  const EngineModeRow* engine = nullptr;  // nullptr: the cheapest for the data
};

// Settings of a run: threads and engine as asked, each falling back to the
// environment (TEVROL_THREADS, TEVROL_ENGINE) and then to every hardware
// thread and the automatic choice. threads 0 and an empty engine name are
// not asked. Fatal on a value that is not understood, naming where it came
// from.
Settings resolveSettings(int threads, const std::string& engine);

}  // namespace tevrol
