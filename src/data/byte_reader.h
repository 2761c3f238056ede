#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tevrol {

// Sequential reader of bytes from a file descriptor or from a block in
// memory, with line ends folded: LF, CR LF and a lone CR all read as one
// kLineEnd.
class ByteReader {
 public:
  static constexpr int kEndOfInput = -1;
  static constexpr int kLineEnd = -2;

  // Reads from an open descriptor (not owned) through a buffer of the given size.
  ByteReader(int fd, size_t bufferSize);
  // Reads from a block in memory, which must outlive the reader.
  explicit ByteReader(const std::string& memory);

  // Next byte (0 ... 255), kLineEnd or kEndOfInput. A failed read ends the input
  // and sets failed().
  int nextSymbol() {
    const int c = nextByte();
    if (c == '\n') return kLineEnd;
    if (c == '\r') {
      if (peekByte() == '\n') ++pos_;
      return kLineEnd;
    }
    return c;
  }

  bool failed() const { return failed_; }

 private:
  int nextByte() {
    if (pos_ == end_ && !refill()) return kEndOfInput;
    return static_cast<unsigned char>(*pos_++);
  }
  int peekByte() {
    if (pos_ == end_ && !refill()) return kEndOfInput;
    return static_cast<unsigned char>(*pos_);
  }
  bool refill();

  int fd_ = -1;
  std::vector<char> buffer_;
  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  bool failed_ = false;
};

enum class ReadResult { Complete, Failed, TooLarge };

// Reads everything from a descriptor into memory, at most limit bytes.
ReadResult readAll(int fd, std::string& out, uint64_t limit);

}  // namespace tevrol
