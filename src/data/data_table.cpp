#include "data/data_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "base/fatal.h"
#include "base/system_memory.h"
#include "data/input_stream.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tevrol {

namespace {

constexpr size_t kMaxCount = std::numeric_limits<int32_t>::max();
constexpr const char* kNoMemory = "Not enough memory for this data set";
// Rows every column has room for at first: a table of very many columns and
// few rows must not pay for more. The room doubles from there.
constexpr size_t kFirstRows = 16;
// Rows read before the input's size is trusted to tell how many will come.
constexpr size_t kEstimateAfterRows = 1024;

// Bit k set where byte k of the 64 at p is a TAB, LF or CR.
uint64_t delimiterMask(const char* p) {
#if defined(__SSE2__)
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, tab), _mm_cmpeq_epi8(bytes, lf)),
                     _mm_cmpeq_epi8(bytes, cr));
    mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(hits))} << (16 * k);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) {
    const char c = p[k];
    if (c == '\t' || c == '\n' || c == '\r') mask |= uint64_t{1} << k;
  }
  return mask;
#endif
}

}  // namespace

// Turns the bytes of the input, fed block by block, into the table. Line
// ends are LF, CR LF and a lone CR; the first line is the header, even when
// empty; an empty line is never a data row. A field may span blocks: its
// bytes so far wait in partial_.
class DataTable::Builder {
 public:
  explicit Builder(DataTable& table) : table_(table), budget_(availableMemory() / 2) {}
  ~Builder() {
    // The tally dies with the builder.
    for (TextDictionary& dictionary : table_.dictionaries_) dictionary.stopTally();
  }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  // The input's size, when known, lets the columns be sized once.
  void expectBytes(uint64_t bytes) { expectedBytes_ = bytes; }

  void feed(const char* p, size_t n) {
    size_t fieldStart = 0;
    if (pendingCR_ && n > 0) {
      pendingCR_ = false;
      if (p[0] == '\n') fieldStart = 1;
    }
    // Whole groups of 64 bytes are scanned in place; the last group is
    // copied into a buffer padded with bytes that are no delimiters.
    alignas(16) char last[64];
    size_t column = column_;
    // A field carried over from the last block, and the header, take the
    // general path.
    bool fast = !inHeader_ && partial_.empty();
    CodeColumn* columnAt = columnAt_;
    TextDictionary* dictionaryAt = dictionaryAt_;
    const uint8_t* const* directAt = directAt_;
    size_t columns = columns_;
    for (size_t base = 0; base < n; base += 64) {
      const char* group = p + base;
      if (n - base < 64) {
        std::memset(last, 'x', sizeof last);
        std::memcpy(last, group, n - base);
        group = last;
      }
      for (uint64_t mask = delimiterMask(group); mask != 0; mask &= mask - 1) {
        const size_t d = base + static_cast<size_t>(__builtin_ctzll(mask));
        if (d < fieldStart) continue;  // the LF of a CR LF pair
        if (p[d] == '\t' && fast) {
          // The common case, a whole field of a data line; the state it
          // changes is kept in locals, which stores of codes cannot alias.
          if (column < columns) {
            const size_t length = d - fieldStart;
            const uint8_t known = length == 1 && directAt != nullptr
                                      ? directAt[column][static_cast<unsigned char>(p[fieldStart])]
                                      : 0;
            columnAt[column].push(known != 0 ? known - 1u
                                             : dictionaryAt[column].codeOf(p + fieldStart, length));
          }
          ++column;
          fieldStart = d + 1;
          continue;
        }
        column_ = column;
        if (column > 0) lineHasText_ = true;
        delimiter(p, fieldStart, d);
        // The line may have ended the header.
        column = column_;
        fast = !inHeader_;
        columnAt = columnAt_;
        dictionaryAt = dictionaryAt_;
        directAt = directAt_;
        columns = columns_;
        fieldStart = d + 1;
        if (p[d] == '\r') {
          if (d + 1 == n) {
            pendingCR_ = true;
          } else if (p[d + 1] == '\n') {
            fieldStart = d + 2;
          }
        }
      }
    }
    column_ = column;
    if (column > 0) lineHasText_ = true;
    if (fieldStart < n) {
      partial_.append(p + fieldStart, n - fieldStart);
      lineHasText_ = true;
    }
    bytesBefore_ += n;
    checkMemory(reservedRows_);
  }

  // The end of the input ends the last line.
  void finish() {
    if (lineHasText_ || inHeader_) {
      endField(partial_.data(), partial_.size());
      endLine();
    }
    partial_.clear();
  }

 private:
  // Any delimiter: a TAB of the header or ending a field carried over from
  // the last block, or a line end.
  void delimiter(const char* p, size_t fieldStart, size_t d) {
    lineEndAt_ = bytesBefore_ + d;
    const char* text = p + fieldStart;
    size_t length = d - fieldStart;
    if (!partial_.empty()) {
      partial_.append(text, length);
      text = partial_.data();
      length = partial_.size();
    }
    if (p[d] == '\t') {
      lineHasText_ = true;
      endField(text, length);
      ++column_;
    } else if (lineHasText_ || length > 0 || inHeader_) {
      endField(text, length);
      endLine();
    }
    partial_.clear();
  }

  void endField(const char* text, size_t length) {
    if (inHeader_) {
      if (table_.fieldNames_.size() == kMaxCount) fatalError("File has too many columns");
      table_.fieldNames_.emplace_back(text, length);
      tally_.bytes += sizeof(std::string) + length;
    } else if (column_ < columns_) {
      columnAt_[column_].push(dictionaryAt_[column_].codeOf(text, length));
    }
  }

  void endLine() {
    if (inHeader_) {
      startData();
    } else {
      // A short line leaves its last cells empty.
      for (size_t c = column_ + 1; c < columns_; ++c)
        columnAt_[c].push(dictionaryAt_[c].codeOf("", 0));
      if (static_cast<size_t>(table_.rows_) == kMaxCount) fatalError("File has too many data rows");
      if (static_cast<size_t>(++table_.rows_) == reservedRows_) reserveRows();
    }
    column_ = 0;
    lineHasText_ = false;
  }

  void startData() {
    inHeader_ = false;
    columns_ = table_.fieldNames_.size();
    dataStartAt_ = lineEndAt_ + 1;
    tally_.bytes += columns_ * (sizeof(TextDictionary) + sizeof(CodeColumn));
    tally_.codeBytesPerRow = columns_;  // every column starts one byte wide
    checkMemory(0);
    table_.dictionaries_.reserve(columns_);
    for (size_t c = 0; c < columns_; ++c) table_.dictionaries_.emplace_back(&tally_);
    table_.columns_.resize(columns_);
    columnAt_ = table_.columns_.data();
    dictionaryAt_ = table_.dictionaries_.data();
    reservedRows_ = 0;
    reserveRows();
  }

  // Room in every column for the rows still to come, all columns at once so
  // that none grows in the loop: twice as many rows as now, or, once the
  // first rows have been read from an input of known size, as many as they
  // promise for the rest of it (at least an eighth more, should later rows
  // be shorter). That room is filled, and mapped at once.
  void reserveRows() {
    const size_t rows = static_cast<size_t>(table_.rows_);
    size_t want = std::max(kFirstRows, 2 * rows);
    bool prefault = false;
    if (rows >= kEstimateAfterRows && expectedBytes_ > lineEndAt_ && lineEndAt_ > dataStartAt_) {
      const double rest = static_cast<double>(expectedBytes_ - lineEndAt_);
      const double perRow =
          static_cast<double>(lineEndAt_ - dataStartAt_) / static_cast<double>(rows);
      const double promised = 1.02 * rest / perRow;
      // A row of all M fields takes at least M bytes (its TABs and line
      // end). Rows shorter than that so far tell nothing of the rows to
      // come, which may hold far more fields, and the room doubles as for a
      // pipe; so the room mapped here never exceeds about the input's size.
      if (promised <= rest / static_cast<double>(columns_)) {
        want = rows + std::max(rows / 8, static_cast<size_t>(promised));
        prefault = true;
      }
    }
    want = std::min(want, kMaxCount);
    for (TextDictionary& dictionary : table_.dictionaries_) dictionary.expectRows(want);
    if (want >= TextDictionary::kDirectRows && directs_.empty()) {
      tally_.bytes += columns_ * sizeof(uint8_t*);
      directs_.reserve(columns_);
      for (const TextDictionary& dictionary : table_.dictionaries_)
        directs_.push_back(dictionary.directTable());
      directAt_ = directs_.data();
    }
    checkMemory(want);
    for (CodeColumn& column : table_.columns_) {
      column.reserve(want);
      if (prefault) column.prefault();
    }
    reservedRows_ = want;
  }

  // The codes, the texts, and the field being read must leave room for the
  // analysis that follows; an endless device ends here too. rows: the rows
  // the columns hold room for.
  void checkMemory(size_t rows) const {
    const double codes = static_cast<double>(rows) * static_cast<double>(tally_.codeBytesPerRow);
    if (static_cast<double>(tally_.bytes + partial_.capacity()) + codes >
        static_cast<double>(budget_)) {
      fatalError(kNoMemory);
    }
  }

  DataTable& table_;
  size_t budget_;
  // The bytes of names, dictionaries and texts, and of a row of codes.
  TextDictionary::Tally tally_;
  bool inHeader_ = true;
  bool pendingCR_ = false;  // the last block ended in a CR
  bool lineHasText_ = false;
  CodeColumn* columnAt_ = nullptr;  // the table's columns and dictionaries
  TextDictionary* dictionaryAt_ = nullptr;
  // The dictionaries' direct tables side by side, once they have their own:
  // a one-byte field then reads a pointer of eight to a cache line and its
  // table, not a dictionary a line.
  std::vector<const uint8_t*> directs_;
  const uint8_t* const* directAt_ = nullptr;
  size_t column_ = 0;   // field of the current line
  size_t columns_ = 0;  // M, once the header is read
  size_t reservedRows_ = 0;
  uint64_t expectedBytes_ = 0;
  uint64_t bytesBefore_ = 0;  // fed before the current block
  uint64_t lineEndAt_ = 0;    // offset of the latest delimiter
  uint64_t dataStartAt_ = 0;  // offset of the first byte after the header
  std::string partial_;
};

DataTable::DataTable(int32_t lineCapacity)
    : blockBytes_(static_cast<size_t>(std::max(lineCapacity, 1))) {}

DataTable::~DataTable() = default;

void DataTable::reset() {
  fieldNames_.clear();
  dictionaries_.clear();
  columns_.clear();
  rows_ = 0;
}

void DataTable::startColumns(std::vector<std::string> names, int32_t rows) {
  reset();
  if (names.size() > kMaxCount) fatalError("File has too many columns");
  fieldNames_ = std::move(names);
  dictionaries_.resize(fieldNames_.size());
  columns_.resize(fieldNames_.size());
  for (TextDictionary& dictionary : dictionaries_) dictionary.expectRows(static_cast<size_t>(rows));
  for (CodeColumn& column : columns_) column.reserve(static_cast<size_t>(rows));
  rows_ = rows;
}

void DataTable::appendColumn(std::string name, const std::vector<std::string>& texts,
                            CodeColumn codes) {
  if (fieldNames_.empty()) rows_ = static_cast<int32_t>(codes.size());
  if (fieldNames_.size() == kMaxCount) fatalError("File has too many columns");
  TextDictionary dictionary;
  for (const std::string& text : texts) dictionary.codeOf(text.data(), text.size());
  fieldNames_.push_back(std::move(name));
  dictionaries_.push_back(std::move(dictionary));
  columns_.push_back(std::move(codes));
}

void DataTable::recodeColumn(int32_t c, const std::vector<uint32_t>& newCode,
                             const std::vector<std::string>& texts) {
  TextDictionary dictionary;
  for (const std::string& text : texts) dictionary.codeOf(text.data(), text.size());
  dictionaries_[static_cast<size_t>(c)] = std::move(dictionary);
  columns_[static_cast<size_t>(c)].recode(newCode.data());
}

DataTable& DataTable::parse(const std::string& bytes) {
  reset();
  Builder builder(*this);
  for (size_t at = 0; at < bytes.size(); at += blockBytes_) {
    builder.feed(bytes.data() + at, std::min(blockBytes_, bytes.size() - at));
  }
  builder.finish();
  return *this;
}

DataTable& DataTable::read(const std::string& filename) {
  InputStream input(filename);
  BlockReader blocks(input, blockBytes_);
  size_t size = 0;
  const char* first = blocks.next(size);
  return read(blocks, first, size);
}

DataTable& DataTable::read(BlockReader& blocks, const char* first, size_t size) {
  reset();
  Builder builder(*this);
  for (const char* block = first; size > 0; block = blocks.next(size)) {
    builder.expectBytes(blocks.plainSize());
    builder.feed(block, size);
  }
  builder.finish();
  return *this;
}

}  // namespace tevrol
