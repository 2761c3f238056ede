#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
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

// Threads kept for a whole run, so that a task costs a wake-up rather than a
// thread start. run(work) calls work(t) for t = 0 ... size() - 1, work(0) on
// the calling thread, and returns when every call has returned. Threads that
// cannot be started leave their share to the calling thread, as in
// runOnThreads.
class WorkerPool {
 public:
  explicit WorkerPool(int threads) : size_(threads > 1 ? threads : 1) {
    try {
      for (int t = 1; t < size_; ++t) started_.emplace_back([this, t] { serve(t); });
    } catch (const std::exception&) {
      // fewer threads than asked for
    }
  }

  ~WorkerPool() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : started_) thread.join();
  }

  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int size() const { return size_; }

  void run(const std::function<void(int)>& work) {
    const int running = static_cast<int>(started_.size());
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      work_ = &work;
      pending_ = running;
      ++generation_;
    }
    if (running > 0) wake_.notify_all();
    work(0);
    for (int t = running + 1; t < size_; ++t) work(t);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    work_ = nullptr;
  }

 private:
  void serve(int t) {
    uint64_t seen = 0;
    for (;;) {
      const std::function<void(int)>* work = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        work = work_;
      }
      (*work)(t);
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        --pending_;
      }
      done_.notify_one();
    }
  }

  int size_;
  std::vector<std::thread> started_;  // thread t is started_[t - 1]
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int)>* work_ = nullptr;  // the task of the current generation
  uint64_t generation_ = 0;                         // counts the tasks handed out
  int pending_ = 0;                                 // started threads still in the task
  bool stopping_ = false;
};

}  // namespace tevrol
