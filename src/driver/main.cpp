#include <cstdio>
#include <new>

#include "driver/fatal.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  int status = tevrol::kFatalStatus;
  try {
    status = tevrol::run(argc, argv);
  } catch (const std::bad_alloc&) {
    tevrol::fatalError("Not enough memory for this data set");
  }
  tevrol::finishRun(status);
}
