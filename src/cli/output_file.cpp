#include "cli/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/process_exit.h"
#include "cli/temporary_files.h"

namespace tevrol {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Mode of a new file as open() would give it: 0666 less the umask.
mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A file without a name, in TMPDIR (default /tmp), gone when closed.
std::FILE* anonymousFile() {
  const char* folder = std::getenv("TMPDIR");
  std::string name = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  name += "/tevrol.XXXXXX";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) return nullptr;
  unlink(buffer.data());
  std::FILE* file = fdopen(fd, "w+");
  if (file == nullptr) {
    const int err = errno;
    close(fd);
    errno = err;
  }
  return file;
}

}  // namespace

bool namesSameRegularFile(const std::string& a, const std::string& b) {
  struct stat x {};
  struct stat y {};
  const bool hasA = stat(a.c_str(), &x) == 0;
  const bool hasB = stat(b.c_str(), &y) == 0;
  if (hasA && hasB) return sameFile(x, y) && S_ISREG(x.st_mode);
  if (hasA || hasB) return false;
  // Neither exists yet: the same name in the same directory.
  return baseNameOf(a) == baseNameOf(b) && stat(directoryOf(a).c_str(), &x) == 0 &&
         stat(directoryOf(b).c_str(), &y) == 0 && sameFile(x, y);
}

bool replacesInput(const std::string& output, const std::string& input) {
  if (input != "-") return namesSameRegularFile(output, input);
  // Standard input redirected from a file is that file.
  struct stat in {};
  struct stat out {};
  return fstat(STDIN_FILENO, &in) == 0 && S_ISREG(in.st_mode) && stat(output.c_str(), &out) == 0 &&
         sameFile(in, out);
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
  struct stat named {};
  struct stat out {};
  const bool exists = stat(path.c_str(), &named) == 0;
  if (exists && fstat(STDOUT_FILENO, &out) == 0 && sameFile(named, out)) {
    // Spooled, and written after the report when finished, so that the
    // report is never interleaved with a file that is written as it goes.
    file_ = anonymousFile();
    if (file_ == nullptr) fail("could not create", errno);
    sharesStdout_ = true;
    return;
  }
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) {
    if (errno != ENOENT) fail("could not create", errno);
    openTemporary(path, newFileMode());
    return;
  }
  if (!exists && S_ISLNK(link.st_mode)) {
    openTemporary(path, newFileMode());  // a link to nowhere is replaced by the file
    return;
  }
  if (exists && S_ISREG(named.st_mode)) {
    // Through a symbolic link the file it names is replaced, not the link.
    std::string target = path;
    if (S_ISLNK(link.st_mode)) {
      char* resolved = realpath(path.c_str(), nullptr);
      if (resolved == nullptr) fail("could not create", errno);
      target = resolved;
      std::free(resolved);
    }
    openTemporary(target, named.st_mode & 07777);
    return;
  }
  file_ = std::fopen(path.c_str(), "w");
  if (file_ == nullptr) fail("could not create", errno);
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    releaseTemporaryFile(temporary_);
  }
}

void OutputFile::openTemporary(const std::string& target, mode_t mode) {
  target_ = target;
  std::string name = directoryOf(target) + "/." + baseNameOf(target) + ".XXXXXX";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());
  if (fd < 0) fail("could not create", errno);
  temporary_ = buffer.data();
  registerTemporaryFile(temporary_);
  if (fchmod(fd, mode) != 0 || (file_ = fdopen(fd, "w")) == nullptr) {
    const int err = errno;
    close(fd);
    fail("could not create", err);
  }
}

void OutputFile::checkWrites() {
  if (!std::ferror(file_)) return;
  // The failed write left its bytes in the buffer: flushing them again tells why.
  errno = 0;
  std::fflush(file_);
  fail("could not write", errno);
}

void OutputFile::finish() {
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) fail("could not write", errno);
  if (sharesStdout_) copyToStdout();
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) fail("could not write", errno);
}

void OutputFile::copyToStdout() {
  std::rewind(file_);
  char chunk[1 << 16];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file_)) > 0;) {
    // Standard output that fails ends the run before any other output is
    // put in place, with the reason of the failure.
    if (std::fwrite(chunk, 1, got, stdout) != got) {
      noteStdoutError(errno);
      finishRun(0);
    }
  }
  if (std::ferror(file_)) fail("could not write", errno);
  if (!flushStdout()) finishRun(0);
}

void OutputFile::commit() {
  if (temporary_.empty()) return;
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) fail("could not write", errno);
  releaseTemporaryFile(temporary_);
  temporary_.clear();
}

void OutputFile::fail(const char* what, int err) {
  outputError(std::string(what) + " " + path_ + ": " +
              (err != 0 ? std::strerror(err) : "write error"));
}

}  // namespace tevrol
