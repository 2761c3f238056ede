#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "base/fatal.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  // With standard output closed, the data file would be opened as descriptor 1
  // and every report line would be lost: stop before anything is read.
  if (fcntl(STDOUT_FILENO, F_GETFD) == -1) {
    std::fputs("tevrol: standard output is closed\n", stderr);
    return tevrol::kFatalStatus;
  }
  int status = tevrol::kFatalStatus;
  try {
    status = tevrol::run(argc, argv);
  } catch (const std::bad_alloc&) {
    tevrol::fatalError("Not enough memory for this data set");
  }
  tevrol::finishRun(status);
}
