#pragma once

#include <string>

#include "base/fatal.h"

namespace tevrol {

// How the command line ends. The core never calls these: they are for the
// program's driver alone.

// For an output file that cannot be created or written: prints
// "tevrol: <message>" on standard error (standard output holds the report,
// which may itself be the broken output) and ends the process with status 13.
[[noreturn]] void outputError(const std::string& message);

// Ends the process with the given status after flushing standard output.
// Output that could not be written turns any status into 13, with the reason
// on standard error, the only channel left. Removes the temporary files of
// outputs not completed (base/temporary_files.h) on every status.
[[noreturn]] void finishRun(int status);

// Flushes standard output; false when anything written to it so far could
// not be written. The reason of the first failure is kept for finishRun.
bool flushStdout();
// Keeps err as the reason standard output failed, unless one is kept.
void noteStdoutError(int err);

// Replaces the process exit of finishRun, for harnesses that run tevrol
// in-process (a fuzzer): the hook must not return, e.g. it throws.
using ExitHook = void (*)(int status);
void setExitHook(ExitHook hook);

}  // namespace tevrol
