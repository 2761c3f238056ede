#include "cli/progress.h"

#include <cstdio>
#include <string>

namespace tevrol {

namespace {

constexpr double kQuietSeconds = 1.0;
constexpr double kTerminalInterval = 0.25;
constexpr double kLogInterval = 1.0;
constexpr int64_t kMaxStride = int64_t{1} << 16;

std::string clockText(double seconds) {
  const int64_t whole = static_cast<int64_t>(seconds + 0.5);
  char text[48];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  }
  return text;
}

}  // namespace

Progress::Progress(int64_t totalPasses, bool enabled, bool terminal)
    : total_(totalPasses), enabled_(enabled && totalPasses > 0), terminal_(terminal) {
  start_ = lastPoll_ = Clock::now();
}

void Progress::poll(int64_t done) {
  sincePoll_ = 0;
  const Clock::time_point now = Clock::now();
  const double sincePoll = std::chrono::duration<double>(now - lastPoll_).count();
  lastPoll_ = now;
  if (sincePoll < 0.005 && stride_ < kMaxStride) stride_ *= 2;
  if (sincePoll > 0.05 && stride_ > 1) stride_ /= 2;

  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double interval = terminal_ ? kTerminalInterval : kLogInterval;
  if (elapsed < kQuietSeconds || elapsed - lastShown_ < interval) return;
  lastShown_ = elapsed;
  show(done, elapsed);
}

void Progress::show(int64_t done, double elapsed) {
  const double left = elapsed * static_cast<double>(total_ - done) / static_cast<double>(done);
  std::fprintf(stderr, "%stevrol: %lld of %lld permutations, %s elapsed, about %s left%s",
               terminal_ ? "\r" : "", static_cast<long long>(done), static_cast<long long>(total_),
               clockText(elapsed).c_str(), clockText(left).c_str(), terminal_ ? "\x1b[K" : "\n");
  std::fflush(stderr);
  shown_ = true;
}

void Progress::finish() {
  // Lines written elsewhere already end; a terminal gets its line back.
  if (shown_ && terminal_) {
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
  }
  shown_ = false;
}

}  // namespace tevrol
