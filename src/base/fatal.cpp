#include "base/fatal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tevrol {

namespace {
ExitHook exitHook = nullptr;
}  // namespace

void setExitHook(ExitHook hook) {
  exitHook = hook;
}

void fatalError(const std::string& message) {
  std::fputs("ERROR: ", stdout);
  std::fwrite(message.data(), 1, message.size(), stdout);
  std::fputc('\n', stdout);
  finishRun(kFatalStatus);
}

void finishRun(int status) {
  if (exitHook != nullptr) {
    std::fflush(stdout);
    exitHook(status);
  }
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int err = errno;
    std::fprintf(stderr, "tevrol: could not write the output: %s\n",
                 err != 0 ? std::strerror(err) : "write error");
    std::_Exit(kFatalStatus);
  }
  std::exit(status);
}

}  // namespace tevrol
