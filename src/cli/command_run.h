#pragma once

namespace tevrol {

// One whole run of the command line, `tevrol [options] filename [nperm
// [seed]]`, with its report on standard output. Returns the exit status: 0
// for a complete run, 13 after an error, whose "ERROR: ..." line it has
// printed. Output files that cannot be written end the process at once
// (base/process_exit.h).
int run(int argc, const char* const* argv);

}  // namespace tevrol
