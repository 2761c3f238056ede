#pragma once

#include <string>

namespace tevrol {

// Exit status of every fatal error.
constexpr int kFatalStatus = 13;

// The one way out on an error: prints "ERROR: <message>" on standard output
// and ends the process with status 13. Never returns.
[[noreturn]] void fatalError(const std::string& message);

// Ends the process with the given status after flushing standard output.
// Output that could not be written turns any status into 13, with the reason
// on standard error, the only channel left.
[[noreturn]] void finishRun(int status);

// Replaces the process exit of finishRun, for harnesses that run tevrol
// in-process (a fuzzer): the hook must not return, e.g. it throws.
using ExitHook = void (*)(int status);
void setExitHook(ExitHook hook);

}  // namespace tevrol
