#include "data/data_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "data/byte_reader.h"
#include "base/fatal.h"
#include "base/system_memory.h"

namespace tevrol {

namespace {

constexpr int kTab = '\t';
constexpr int32_t kMaxCount = std::numeric_limits<int32_t>::max();

// Owns a descriptor for the length of a read.
class OpenFile {
 public:
  explicit OpenFile(const std::string& filename) : fd_(::open(filename.c_str(), O_RDONLY)) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

void skipLine(ByteReader& source) {
  int s;
  do s = source.nextSymbol();
  while (s != ByteReader::kLineEnd && s != ByteReader::kEndOfInput);
}

constexpr const char* kNoMemory = "Not enough memory for this data set";

}  // namespace

// The table holds a text object and a code per cell, and the file's bytes
// over again in its texts and distinct values; checked before any of it is
// built, as the system may grant small allocations it cannot back later.
void DataTable::requireMemory(int32_t rows, uint64_t fileBytes) const {
  const double cells = static_cast<double>(rows) * static_cast<double>(fieldNames_.size());
  const double bytes = cells * (sizeof(std::string) + sizeof(int32_t)) + 2.0 * fileBytes;
  if (bytes > static_cast<double>(availableMemory())) fatalError(kNoMemory);
}

DataTable::DataTable(int32_t lineCapacity) : lineCapacity_(lineCapacity) {}

// Header fields, then the number of data rows: every non-empty line after the
// header. Empty lines are never rows, wherever they stand.
void DataTable::readHeaderAndCount(ByteReader& source, int32_t& rows) {
  fieldNames_.clear();
  std::string field;
  for (;;) {
    const int s = source.nextSymbol();
    if (s == ByteReader::kLineEnd || s == ByteReader::kEndOfInput) break;
    if (s == kTab) {
      fieldNames_.push_back(std::move(field));
      field.clear();
    } else {
      field.push_back(static_cast<char>(s));
    }
  }
  fieldNames_.push_back(std::move(field));
  if (fieldNames_.size() > static_cast<size_t>(kMaxCount)) fatalError("File has too many columns");

  rows = 0;
  bool lineHasText = false;
  for (;;) {
    const int s = source.nextSymbol();
    if (s == ByteReader::kLineEnd || s == ByteReader::kEndOfInput) {
      if (lineHasText) {
        if (rows == kMaxCount) fatalError("File has too many data rows");
        ++rows;
      }
      lineHasText = false;
      if (s == ByteReader::kEndOfInput) break;
    } else {
      lineHasText = true;
    }
  }
}

void DataTable::fill(ByteReader& source) {
  skipLine(source);
  const int32_t rows = matrix_.rowCount();
  const int32_t columns = matrix_.columnCount();
  int32_t r = 0;
  int32_t c = 0;
  bool lineHasText = false;
  for (;;) {
    const int s = source.nextSymbol();
    if (s == ByteReader::kLineEnd || s == ByteReader::kEndOfInput) {
      if (lineHasText) ++r;
      c = 0;
      lineHasText = false;
      if (s == ByteReader::kEndOfInput) break;
      continue;
    }
    lineHasText = true;
    if (s == kTab) {
      if (c < columns) ++c;
    } else if (r < rows && c < columns) {
      matrix_.row(r)[c].push_back(static_cast<char>(s));
    }
  }
}

// Distinct texts per column in order of first appearance, and each cell's code.
void DataTable::collectDistinctValues() {
  const int32_t rows = matrix_.rowCount();
  const int32_t columns = matrix_.columnCount();
  distinctValues_.assign(static_cast<size_t>(columns), {});
  codes_.assign(static_cast<size_t>(rows) * static_cast<size_t>(columns), 0);
  for (int32_t c = 0; c < columns; ++c) {
    std::unordered_map<std::string_view, int32_t> seen;
    auto& values = distinctValues_[static_cast<size_t>(c)];
    for (int32_t r = 0; r < rows; ++r) {
      const std::string& text = matrix_.row(r)[c];
      const auto inserted = seen.emplace(text, static_cast<int32_t>(values.size()));
      if (inserted.second) values.push_back(text);
      codes_[static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(c)] =
          inserted.first->second;
    }
  }
}

// Pass 1 counts the rows, the matrix is shaped once, pass 2 fills it. Both
// run over the same bytes, so they agree on every file.
void DataTable::readPasses(const std::string& bytes, bool announce) {
  int32_t rows = 0;
  ByteReader counting(bytes);
  readHeaderAndCount(counting, rows);
  if (announce) std::fputc('\n', stdout);
  requireMemory(rows, bytes.size());
  matrix_.resize(rows, static_cast<int32_t>(fieldNames_.size()));
  ByteReader filling(bytes);
  fill(filling);
  collectDistinctValues();
}

DataTable& DataTable::parse(const std::string& bytes) {
  readPasses(bytes, false);
  return *this;
}

DataTable& DataTable::read(const std::string& filename) {
  OpenFile file(filename);
  struct stat info {};
  if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || S_ISDIR(info.st_mode)) {
    fatalError("Could not open file");
  }
  // The file is read once, into memory: a pipe cannot be read twice, and a
  // file that changes while it is read must not give the passes different
  // rows. The copy must leave room for the table; a device such as /dev/zero
  // never ends.
  const uint64_t limit = availableMemory() / 4;
  if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > limit) fatalError(kNoMemory);
  std::string bytes;
  const size_t chunk = static_cast<size_t>(lineCapacity_ > 0 ? lineCapacity_ : 1);
  const ReadResult result = readAll(file.fd(), bytes, limit, chunk);
  if (result == ReadResult::Failed) fatalError("Could not read file");
  if (result == ReadResult::TooLarge) fatalError(kNoMemory);
  readPasses(bytes, true);
  return *this;
}

}  // namespace tevrol
