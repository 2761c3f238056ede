#pragma once

#include <string>

namespace tevrol {

// Files that exist only while the run is under way (an output being written
// beside its final name) and must not survive a failed or killed run.
// finishRun removes every registered file; so does every signal from outside
// whose default action ends the process (SIGINT, SIGTERM, SIGPIPE, SIGUSR1,
// SIGALRM, ...), which then ends it as it would have.

// At most kMaxTemporaryFiles at a time; fatal beyond that.
constexpr int kMaxTemporaryFiles = 8;

void registerTemporaryFile(const std::string& path);
// The file was renamed to its final name, or removed: forget it.
void releaseTemporaryFile(const std::string& path);
// Removes and forgets every registered file. Async-signal-safe.
void removeTemporaryFiles();

}  // namespace tevrol
