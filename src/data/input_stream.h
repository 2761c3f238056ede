#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct z_stream_s;  // zlib's inflate state

namespace tevrol {

// The bytes of a data file, a pipe, or standard input (named "-"), read in
// large blocks. gzip-compressed input is recognised by its first bytes,
// whatever the name, and read as the text it holds. A compressed input is a
// sequence of complete gzip members and nothing else: a member cut short, a
// damaged one, bytes after a member that do not start another, or bgzip
// without its end-of-file block are a failure, never a shorter text.
class InputStream {
 public:
  // Fatal "Could not open file" when the path cannot be opened or is a folder.
  explicit InputStream(const std::string& path);
  ~InputStream();
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  // Up to capacity bytes into buffer; 0 once the input has ended, -1 when
  // reading failed (see failure()). Safe to call from another thread than
  // the one that opened the stream, one thread at a time.
  int64_t read(char* buffer, size_t capacity);
  // What went wrong, as the text of a fatal message.
  const std::string& failure() const { return failure_; }

  // The size in bytes of a regular file read as it is (not compressed), once
  // the first read has told which; 0 when not known.
  uint64_t plainSize() const { return form_ == Form::Plain ? regularSize_ : 0; }

 private:
  enum class Form { Unknown, Plain, Compressed };
  // Where a compressed input stands: inside a member, or after one.
  enum class Member { Inside, Between };

  int64_t readPlain(char* buffer, size_t capacity);
  int64_t readCompressed(char* buffer, size_t capacity);
  bool startNextMember(bool& ended);
  // At least `want` unread raw bytes, unless the input ends first; false
  // when reading failed.
  bool fillRaw(size_t want);
  int64_t fail(const char* message);

  int fd_ = -1;
  uint64_t regularSize_ = 0;
  Form form_ = Form::Unknown;
  Member member_ = Member::Between;
  // Raw bytes of the input: raw_[rawAt_, rawEnd_) are read but not used yet.
  std::unique_ptr<unsigned char[]> raw_;
  size_t rawAt_ = 0;
  size_t rawEnd_ = 0;
  bool rawEnded_ = false;  // the input has no more bytes
  std::unique_ptr<::z_stream_s> inflater_;
  bool inflaterReady_ = false;
  bool bgzf_ = false;             // the first member is bgzip's
  bool lastMemberEmpty_ = false;  // as bgzip's end-of-file block is
  std::string failure_;
};

// Reads an input's blocks one ahead on a thread of its own, so that reading
// and decompressing overlap with the parsing of the block before.
class BlockReader {
 public:
  BlockReader(InputStream& input, size_t blockBytes);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The next block, valid until the following call; size 0 at the end of the
  // input. Fatal, on the calling thread, when reading failed.
  const char* next(size_t& size);
  // The input's plainSize() as of the block next() returned last.
  uint64_t plainSize() const { return slots_[taken_ < 0 ? 0 : taken_].plainSize; }

 private:
  struct Slot {
    std::unique_ptr<char[]> bytes;
    int64_t size = 0;  // bytes, 0 at the end, -1 on failure
    uint64_t plainSize = 0;
    bool full = false;
  };
  void fill();

  InputStream& input_;
  size_t blockBytes_;
  Slot slots_[2];
  int taken_ = -1;  // the slot handed out last, still in use
  int next_ = 0;    // the slot next() returns next
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread worker_;
};

}  // namespace tevrol
