#pragma once

#include <exception>
#include <thread>
#include <vector>

namespace tevrol {

// Runs work(t) for t = 0 ... threads - 1: work(0) on this thread, the others
// on new threads where they can be had and on this thread otherwise (after
// work(0)), so that a failure to start a thread only costs speed.
template <typename Work>
void runOnThreads(int threads, const Work& work) {
  std::vector<std::thread> started;
  int t = 1;
  try {
    started.reserve(static_cast<size_t>(threads > 1 ? threads - 1 : 0));
    for (; t < threads; ++t) started.emplace_back(work, t);
  } catch (const std::exception&) {
    // fewer threads than asked for; the rest runs here
  }
  work(0);
  for (int rest = t; rest < threads; ++rest) work(rest);
  for (auto& thread : started) thread.join();
}

}  // namespace tevrol
