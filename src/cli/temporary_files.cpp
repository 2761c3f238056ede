#include "cli/temporary_files.h"

#include <limits.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "base/fatal.h"

namespace tevrol {

namespace {

// Fixed storage, so that a signal handler can read it without allocating.
// A slot's path is complete before `used` is set and `used` is cleared
// before the path changes.
struct Slot {
  char path[PATH_MAX];
  volatile std::sig_atomic_t used;
};
Slot slots[kMaxTemporaryFiles];
bool handlersInstalled = false;

// Every signal whose default action ends the process and that comes from
// outside: interrupts, closed pipes, timers, the limits of batch systems and
// signals sent by other programs. Faults (SIGSEGV, SIGBUS, ...) are a bug of
// ours and stay with the debugger or sanitizer that reports them.
constexpr int kCleanedSignals[] = {
    SIGINT,    SIGTERM, SIGHUP,  SIGPIPE, SIGQUIT,   SIGXCPU, SIGXFSZ,
    SIGABRT,   SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

extern "C" void removeAndReraise(int signal) {
  removeTemporaryFiles();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// A signal that the caller ignores or handles itself keeps its disposition.
void installHandler(int signal) {
  struct sigaction previous {};
  if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL) return;
  struct sigaction action {};
  action.sa_handler = removeAndReraise;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

void installHandlers() {
  if (handlersInstalled) return;
  handlersInstalled = true;
  for (const int signal : kCleanedSignals) installHandler(signal);
#ifdef SIGRTMIN
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) installHandler(signal);
#endif
}

}  // namespace

void registerTemporaryFile(const std::string& path) {
  if (path.size() >= PATH_MAX) fatalError("Output path too long: " + path);
  for (Slot& slot : slots) {
    if (slot.used) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used = 1;
    installHandlers();
    return;
  }
  fatalError("Too many output files");
}

void releaseTemporaryFile(const std::string& path) {
  for (Slot& slot : slots) {
    if (slot.used && path == slot.path) slot.used = 0;
  }
}

void removeTemporaryFiles() {
  for (Slot& slot : slots) {
    if (!slot.used) continue;
    unlink(slot.path);
    slot.used = 0;
  }
}

}  // namespace tevrol
