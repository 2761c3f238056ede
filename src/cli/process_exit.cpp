#include "cli/process_exit.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/temporary_files.h"

namespace tevrol {

namespace {
ExitHook exitHook = nullptr;
int stdoutError = 0;  // errno of the first failed write to standard output
}  // namespace

void noteStdoutError(int err) {
  if (stdoutError == 0) stdoutError = err != 0 ? err : -1;
}

bool flushStdout() {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return true;
  // A later flush finds the buffer gone and no errno: keep the first reason.
  noteStdoutError(errno);
  return false;
}

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
  if (!flushStdout()) {
    std::fprintf(stderr, "tevrol: could not write the output: %s\n",
                 stdoutError > 0 ? std::strerror(stdoutError) : "write error");
    std::_Exit(kFatalStatus);
  }
  std::exit(status);
}

}  // namespace tevrol
