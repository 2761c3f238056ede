#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "cli/command_run.h"
#include "cli/process_exit.h"

int main(int argc, char** argv) {
  // With standard output closed, the data file would be opened as descriptor 1
  // and every report line would be lost: stop before anything is read.
  if (fcntl(STDOUT_FILENO, F_GETFD) == -1) {
    std::fputs("tevrol: standard output is closed\n", stderr);
    return tevrol::kFatalStatus;
  }
  tevrol::finishRun(tevrol::run(argc, argv));
}
