// Runs of the tevrol program as a separate process, timed from outside.
#pragma once

#include <string>
#include <vector>

namespace tevrol::bench {

struct ProgramRun {
  double seconds = 0;       // the whole run, wall time
  double tableSeconds = 0;  // until the ANOVA table's last row (when watched)
  double peakMiB = 0;       // peak resident memory
  bool succeeded = false;
};

struct ProgramCall {
  std::vector<std::string> arguments;    // after the program's own name
  std::vector<std::string> environment;  // NAME=VALUE added to ours
  bool watchTable = false;               // run on a terminal so the report arrives line by line
  std::string input;  // a file fed to the program's standard input through a pipe; empty: none
};

ProgramRun runProgram(const std::string& program, const ProgramCall& call);

// Median time and largest peak memory of several runs.
ProgramRun medianRun(const std::string& program, const ProgramCall& call, int repeats);

}  // namespace tevrol::bench
