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
  RunError(const std::string& message, std::string report, std::string reason = {})
      : std::runtime_error(message), report_(std::move(report)), reason_(std::move(reason)) {}
  const std::string& report() const { return report_; }
  // What the system said, naming the file ("data.txt: No such file or
  // directory"), where the message alone does not; else empty.
  const std::string& reason() const { return reason_; }

 private:
  std::string report_;
  std::string reason_;
};

// The one way out on an error: throws a RunError whose report is
// "ERROR: <message>".
[[noreturn]] void fatalError(const std::string& message);
// The same with the system's reason beside it.
[[noreturn]] void fatalError(const std::string& message, const std::string& reason);

}  // namespace tevrol
