#pragma once

namespace tevrol {

// One whole run: `tevrol filename [nperm [seed]]`. Returns the exit status of
// a complete run (0); every error ends the process through fatalError.
int run(int argc, const char* const* argv);

}  // namespace tevrol
