#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tevrol {

// The bytes of a data file, a pipe, or standard input (named "-"), read in
// large blocks. gzip-compressed input, single- or multi-member, is recognised
// by its first bytes, whatever the name, and read as the text it holds.
class InputStream {
 public:
  // Fatal "Could not open file" when the path cannot be opened or is a folder.
  explicit InputStream(const std::string& path);
  ~InputStream();
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  // Up to capacity bytes into buffer; 0 once the input has ended. Fatal
  // "Could not read file" on a read error, and on compressed data that is
  // damaged or ends early.
  size_t read(char* buffer, size_t capacity);

  // The size in bytes of a regular file read as it is (not compressed), once
  // the first read has told which; 0 when not known.
  uint64_t plainSize() const;

 private:
  void* file_ = nullptr;  // zlib's gzFile
  uint64_t regularSize_ = 0;
};

}  // namespace tevrol
