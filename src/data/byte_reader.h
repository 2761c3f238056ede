#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tevrol {

// Reads the bytes of a block in memory with line ends folded: LF, CR LF and
// a lone CR all read as one kLineEnd.
class ByteReader {
 public:
  static constexpr int kEndOfInput = -1;
  static constexpr int kLineEnd = -2;

  // The block must outlive the reader.
  explicit ByteReader(const std::string& bytes)
      : pos_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  // Next byte (0 ... 255), kLineEnd or kEndOfInput.
  int nextSymbol() {
    if (pos_ == end_) return kEndOfInput;
    const int c = static_cast<unsigned char>(*pos_++);
    if (c == '\n') return kLineEnd;
    if (c == '\r') {
      if (pos_ != end_ && *pos_ == '\n') ++pos_;
      return kLineEnd;
    }
    return c;
  }

 private:
  const char* pos_;
  const char* end_;
};

enum class ReadResult { Complete, Failed, TooLarge };

// Reads everything from a descriptor into memory, at most limit bytes, in
// reads of chunkSize bytes.
ReadResult readAll(int fd, std::string& out, uint64_t limit, size_t chunkSize);

}  // namespace tevrol
