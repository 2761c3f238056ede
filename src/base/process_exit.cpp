#include "base/process_exit.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/temporary_files.h"

namespace tevrol {

namespace {
ExitHook exitHook = nullptr;
}  // namespace

void setExitHook(ExitHook hook) {
  exitHook = hook;
}

void outputError(const std::string& message) {
  std::fputs("tevrol: ", stderr);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  finishRun(kFatalStatus);
}

void finishRun(int status) {
  // Outputs still under their temporary names were not completed.
  removeTemporaryFiles();
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
