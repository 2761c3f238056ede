#include "program_run.h"

#include <fcntl.h>
#include <malloc.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace tevrol::bench {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void execute(const std::string& program, const ProgramCall& call) {
  for (const std::string& setting : call.environment) {
    const size_t equals = setting.find('=');
    setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : call.arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

void redirect(int fd, const char* path) {
  const int target = open(path, O_WRONLY);
  if (target < 0 || dup2(target, fd) < 0) _exit(127);
  close(target);
}

// Reads the terminal's output until the child closes it, noting when the
// ANOVA table's last row went by.
double watchTable(int master, Clock::time_point start) {
  double tableSeconds = 0;
  std::string tail;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the child's side is closed
    if (tableSeconds > 0) continue;
    tail.append(buffer, static_cast<size_t>(n));
    if (tail.find("\nTotal ") != std::string::npos) tableSeconds = since(start);
    if (tail.size() > 64) tail.erase(0, tail.size() - 64);
  }
  return tableSeconds;
}

// Writes the file into the pipe, then closes it: the end of the input. A
// program that stops reading early ends the copy (the write fails; SIGPIPE
// is ignored here).
void feedPipe(const std::string& path, int pipe) {
  const int file = open(path.c_str(), O_RDONLY);
  std::vector<char> buffer(1 << 16);
  bool flowing = file >= 0;
  while (flowing) {
    const ssize_t n = read(file, buffer.data(), buffer.size());
    flowing = n > 0;
    for (ssize_t done = 0; flowing && done < n;) {
      const ssize_t written = write(pipe, buffer.data() + done, static_cast<size_t>(n - done));
      flowing = written > 0;
      done += written;
    }
  }
  if (file >= 0) close(file);
  close(pipe);
}

}  // namespace

ProgramRun runProgram(const std::string& program, const ProgramCall& call) {
  std::fflush(stdout);  // or the child would write the buffered lines again
  // The data sets made in this process are gone, but their memory may still
  // be mapped; copying that into the child would slow every start.
  malloc_trim(0);
  ProgramRun run;
  int input[2] = {-1, -1};
  if (!call.input.empty()) {
    std::signal(SIGPIPE, SIG_IGN);
    if (pipe(input) != 0) return run;
  }
  const auto start = Clock::now();
  int master = -1;
  const pid_t pid = call.watchTable ? forkpty(&master, nullptr, nullptr, nullptr) : fork();
  if (pid == 0) {
    if (input[0] >= 0) {
      if (dup2(input[0], STDIN_FILENO) < 0) _exit(127);
      close(input[0]);
      close(input[1]);
      std::signal(SIGPIPE, SIG_DFL);
    }
    if (!call.watchTable) redirect(STDOUT_FILENO, "/dev/null");
    redirect(STDERR_FILENO, "/dev/null");  // no progress line on the terminal
    execute(program, call);
  }
  std::thread feeder;
  if (input[0] >= 0) {
    close(input[0]);
    if (pid < 0) {
      close(input[1]);
    } else {
      feeder = std::thread(feedPipe, call.input, input[1]);
    }
  }
  if (pid < 0) return run;
  if (call.watchTable) {
    run.tableSeconds = watchTable(master, start);
    close(master);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  if (feeder.joinable()) feeder.join();
  run.seconds = since(start);
  run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!run.succeeded) std::fprintf(stderr, "%s: run failed\n", program.c_str());
  return run;
}

ProgramRun medianRun(const std::string& program, const ProgramCall& call, int repeats) {
  std::vector<double> seconds, tableSeconds;
  ProgramRun median;
  median.succeeded = true;
  for (int r = 0; r < repeats; ++r) {
    const ProgramRun run = runProgram(program, call);
    seconds.push_back(run.seconds);
    tableSeconds.push_back(run.tableSeconds);
    median.peakMiB = std::max(median.peakMiB, run.peakMiB);
    median.succeeded = median.succeeded && run.succeeded;
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(tableSeconds.begin(), tableSeconds.end());
  median.seconds = seconds[seconds.size() / 2];
  median.tableSeconds = tableSeconds[tableSeconds.size() / 2];
  return median;
}

}  // namespace tevrol::bench
