#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace tevrol {

// Exit status of every fatal error of the command line.
constexpr int kFatalStatus = 13;

// A fatal error of the run: what() is the message alone, report() the lines
// the command line prints for it on standard output. The core throws it and
// never ends the process; each front end decides how to show it (the command
// line prints the report and exits with status 13, R raises an error).
class RunError : public std::runtime_error {
 public:
  RunError(const std::string& message, std::string report)
      : std::runtime_error(message), report_(std::move(report)) {}
  const std::string& report() const { return report_; }

 private:
  std::string report_;
};

// The one way out on an error: throws a RunError whose report is
// "ERROR: <message>".
[[noreturn]] void fatalError(const std::string& message);

}  // namespace tevrol
