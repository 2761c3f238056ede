#pragma once

#include <chrono>
#include <cstdint>

namespace tevrol {

// Permutations done, time so far and an estimate of the time left, on
// standard error. On a terminal the line is rewritten in place at most four
// times a second and erased at the end; elsewhere one line at most once a
// second. Runs shorter than a second show nothing.
class Progress {
 public:
  Progress(int64_t totalPasses, bool enabled, bool terminal);

  // Called after every permuted pass, in order; reads the clock only every
  // `stride_` passes, a stride that adapts to keep about 10 ms between reads.
  void onPass(int32_t pass) {
    if (!enabled_ || ++sincePoll_ < stride_) return;
    poll(static_cast<int64_t>(pass) + 1);
  }
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  void poll(int64_t done);
  void show(int64_t done, double elapsed);

  int64_t total_;
  bool enabled_;
  bool terminal_;
  bool shown_ = false;
  int64_t sincePoll_ = 0;
  int64_t stride_ = 1;
  Clock::time_point start_;
  Clock::time_point lastPoll_;
  double lastShown_ = 0;  // seconds since start_
};

}  // namespace tevrol
