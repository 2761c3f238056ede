#pragma once

#include <cstdio>
#include <string>

namespace tevrol {

// An output file named on the command line. A regular file, or one that does
// not exist yet, is written under a temporary name in the same directory and
// renamed over the final name only by commit(), so the name never shows a
// half-written file and an existing file stays as it was unless the run
// completes. Anything else (a pipe, a terminal, a device) is written directly.
// A path that is this process's standard output is held in an anonymous
// temporary file and follows the report at finish(). Failures end the run
// through outputError.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::FILE* stream() const { return file_; }
  // Fatal if a write has failed so far; lets a long stream fail early.
  void checkWrites();
  // Flushes and closes; fatal when anything could not be written.
  void finish();
  // After finish(): moves the temporary file to its final name.
  void commit();

 private:
  void openTemporary(const std::string& target, mode_t mode);
  void copyToStdout();
  [[noreturn]] void fail(const char* what, int err);

  std::string path_;       // as given, for messages
  std::string target_;     // the name that receives the file
  std::string temporary_;  // empty: written directly
  std::FILE* file_ = nullptr;
  bool sharesStdout_ = false;  // file_ is a spool for standard output
};

// Whether two paths name one regular file, or one file yet to be created:
// outputs that would replace each other, or the input.
bool namesSameRegularFile(const std::string& a, const std::string& b);
// Whether writing the output would replace the input, named as on the command
// line ("-" is standard input, which may be a regular file).
bool replacesInput(const std::string& output, const std::string& input);

}  // namespace tevrol
