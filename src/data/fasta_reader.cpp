#include "data/fasta_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "base/fatal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tevrol {

namespace {

// Sequence bytes are normalised and compared in pieces of at most this many,
// which stay in the first-level cache between the passes over them.
constexpr size_t kPieceBytes = 4096;
// The held sequences share blocks of this size; a sequence of more than a
// quarter of one gets a block of its own.
constexpr size_t kChunkBytes = size_t{1} << 20;
// The values of several individuals at the variable sites are gathered in up
// to this many bytes before they are written column by column.
constexpr size_t kBatchBytes = size_t{1} << 20;
// Records are counted in 32 bits, and individuals are rows of a column.
constexpr size_t kMaxRecords = std::numeric_limits<int32_t>::max();

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t';
}

// A sequence byte as a value: a lower case letter in upper case, U as T,
// every other byte as it is.
inline uint8_t valueOf(uint8_t c) {
  c = static_cast<uint8_t>(c - (static_cast<uint8_t>(c - 'a') < 26 ? 0x20 : 0));
  return c == 'U' ? static_cast<uint8_t>('T') : c;
}

// The values of in[0, n) into out, blanks left out; returns how many.
size_t valuesOf(const uint8_t* in, size_t n, uint8_t* out) {
  bool blanks = false;
  size_t k = 0;
#if defined(__SSE2__)
  // 16 bytes at a time, the same arithmetic as valueOf.
  const __m128i a = _mm_set1_epi8('a');
  const __m128i z = _mm_set1_epi8('z' - 'a');
  const __m128i caseBit = _mm_set1_epi8(0x20);
  const __m128i u = _mm_set1_epi8('U');
  const __m128i one = _mm_set1_epi8(1);
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  __m128i blank = _mm_setzero_si128();
  for (; k + 16 <= n; k += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
    blank = _mm_or_si128(blank, _mm_or_si128(_mm_cmpeq_epi8(x, space), _mm_cmpeq_epi8(x, tab)));
    const __m128i offset = _mm_sub_epi8(x, a);
    const __m128i lower = _mm_cmpeq_epi8(_mm_min_epu8(offset, z), offset);
    x = _mm_sub_epi8(x, _mm_and_si128(lower, caseBit));
    x = _mm_sub_epi8(x, _mm_and_si128(_mm_cmpeq_epi8(x, u), one));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), x);
  }
  blanks = _mm_movemask_epi8(blank) != 0;
#endif
  for (; k < n; ++k) {
    blanks = blanks || isBlank(in[k]);
    out[k] = valueOf(in[k]);
  }
  if (!blanks) return n;
  size_t m = 0;
  for (k = 0; k < n; ++k) {
    if (!isBlank(in[k])) out[m++] = out[k];
  }
  return m;
}

// The values among in[0, n): every byte but the blanks.
size_t countValues(const uint8_t* in, size_t n) {
  if (std::memchr(in, ' ', n) == nullptr && std::memchr(in, '\t', n) == nullptr) return n;
  size_t count = 0;
  for (size_t k = 0; k < n; ++k) count += !isBlank(in[k]);
  return count;
}

// Bit k set where byte k of the 64 at a and at b differ.
uint64_t differMask(const uint8_t* a, const uint8_t* b) {
#if defined(__SSE2__)
  uint64_t same = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16 * k));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16 * k));
    same |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)))} << (16 * k);
  }
  return ~same;
#else
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) mask |= uint64_t{a[k] != b[k]} << k;
  return mask;
#endif
}

// Calls visit(k, mask) for each group of 64 bytes of a[0, n) and b[0, n),
// from k on; bit j of mask is set where a[k + j] and b[k + j] differ. No byte
// past n is read.
template <typename Visit>
void forEachGroup(const uint8_t* a, const uint8_t* b, size_t n, Visit&& visit) {
  size_t k = 0;
  for (; k + 64 <= n; k += 64) visit(k, differMask(a + k, b + k));
  if (k < n) {
    uint8_t x[64] = {};
    uint8_t y[64] = {};
    std::memcpy(x, a + k, n - k);
    std::memcpy(y, b + k, n - k);
    visit(k, differMask(x, y));
  }
}

int bitCount(uint64_t word) {
  // Without a popcount instruction in the baseline, the compiler's builtin is
  // a call.
  word -= (word >> 1) & 0x5555555555555555ull;
  word = (word & 0x3333333333333333ull) + ((word >> 2) & 0x3333333333333333ull);
  word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((word * 0x0101010101010101ull) >> 56);
}

uint8_t* writeVarint(uint8_t* out, uint64_t value) {
  for (; value >= 0x80; value >>= 7) *out++ = static_cast<uint8_t>(value | 0x80);
  *out++ = static_cast<uint8_t>(value);
  return out;
}

uint64_t readVarint(const uint8_t*& p) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const uint8_t byte = *p++;
    value |= uint64_t{byte & 0x7Fu} << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

// The reader's state between blocks. The first individual's sequence, the
// reference, is held whole; every later individual's is compared with it as
// it is read and held as its differences from it: for each site at which it
// differs, the gap since the last such site (a varint) and its value. A
// sequence whose differences would take more bytes than itself is held as it
// is instead (raw); a divergent file then takes about its own size, and is
// compared faster, each record after a raw one being read raw at once. Each
// site keeps its first value apart from missing ones and whether another one
// has been seen, so that the variable sites are known when the file ends;
// only their codes are built, from the held sequences.
class FastaParser::State {
 public:
  explicit State(FastaOptions options) : options_(std::move(options)) {
    for (int c = 0; c < 256; ++c)
      missing_[c] = options_.rule.isMissing(std::string(1, static_cast<char>(c))) ? 1 : 0;
  }

  void feed(const char* bytes, size_t size) {
    const char* at = bytes;
    const char* const end = bytes + size;
    if (pendingCR_ && at < end) {
      pendingCR_ = false;
      if (*at == '\n') ++at;
    }
    // The next LF and CR in the block, searched again only once passed.
    const char* lf = nullptr;
    const char* cr = nullptr;
    while (at < end) {
      if (atLineStart_) {
        atLineStart_ = false;
        if (*at == '>') {
          startHeader();
          ++at;
        } else if (!seenHeader_) {
          fatalError(options_.file + " has text before its first record");
        }
      }
      if (lf == nullptr || lf < at) lf = lineEnd(at, end, '\n');
      if (cr == nullptr || cr < at) cr = lineEnd(at, end, '\r');
      const char* const lineEnd = std::min(lf, cr);
      if (inHeader_) {
        headerBytes(at, static_cast<size_t>(lineEnd - at));
      } else if (lineEnd > at) {
        sequenceBytes(reinterpret_cast<const uint8_t*>(at), static_cast<size_t>(lineEnd - at));
      }
      if (lineEnd == end) break;
      ++lines_;
      if (inHeader_) endHeader();
      atLineStart_ = true;
      at = lineEnd + 1;
      if (*lineEnd == '\r') {
        if (at == end) {
          pendingCR_ = true;
        } else if (*at == '\n') {
          ++at;
        }
      }
    }
  }

  FastaAlignment finish() {
    if (inHeader_) endHeader();
    endRecord();
    FastaAlignment alignment;
    alignment.names = std::move(names_);
    alignment.kept = std::move(kept_);
    alignment.sites = std::max<int64_t>(sites_, 0);
    alignment.missingValues = missingValues_;
    alignment.singleStateSites = alignment.sites;
    if (!haveReference_) return alignment;

    std::vector<int64_t> variable;
    for (int64_t s = 0; s < sites_; ++s) {
      if (seen_[static_cast<size_t>(s)] == kTwoValues) variable.push_back(s);
    }
    const size_t count = variable.size();
    alignment.singleStateSites -= static_cast<int64_t>(count);
    if (count == 0) return alignment;
    // The reference's values at the variable sites are all of it still needed.
    std::vector<uint8_t> referenceValues(count);
    for (size_t k = 0; k < count; ++k) referenceValues[k] = reference_[variable[k]];
    std::vector<uint8_t>().swap(reference_);
    std::vector<uint8_t>().swap(firstValues_);
    std::vector<uint8_t>().swap(seen_);

    // Each individual's values at the variable sites are their codes at
    // first; each site's are then numbered in order of first appearance.
    alignment.variable.resize(count);
    const size_t individuals = held_.size() + 1;
    for (size_t k = 0; k < count; ++k) {
      alignment.variable[k].position = variable[k] + 1;
      alignment.variable[k].codes.reserve(individuals);
    }
    // Which sites are variable, a bit each, and how many are before each
    // word's: a difference's site gives its column at once.
    std::vector<uint64_t> isVariable(static_cast<size_t>(sites_ + 63) / 64, 0);
    for (const int64_t site : variable) isVariable[site >> 6] |= uint64_t{1} << (site & 63);
    std::vector<uint32_t> before(isVariable.size());
    for (size_t w = 0, total = 0; w < isVariable.size(); ++w) {
      before[w] = static_cast<uint32_t>(total);
      total += static_cast<size_t>(bitCount(isVariable[w]));
    }
    // Individual i's values at the variable sites (0: the reference's).
    const auto valuesAt = [&](size_t i, uint8_t* values) {
      if (i == 0 || !held_[i - 1].raw) std::memcpy(values, referenceValues.data(), count);
      if (i == 0) return;
      const Held& held = held_[i - 1];
      if (held.raw) {
        for (size_t k = 0; k < count; ++k) values[k] = held.bytes[variable[k]];
      } else {
        const uint8_t* p = held.bytes;
        const uint8_t* const end = held.bytes + held.size;
        for (int64_t site = -1; p < end;) {
          site += static_cast<int64_t>(readVarint(p)) + 1;
          const uint8_t value = *p++;
          const uint64_t word = isVariable[static_cast<size_t>(site >> 6)];
          const uint64_t bit = uint64_t{1} << (site & 63);
          if ((word & bit) != 0) {
            values[before[static_cast<size_t>(site >> 6)] +
                   static_cast<uint32_t>(bitCount(word & (bit - 1)))] = value;
          }
        }
      }
      // A block goes once its last sequence is read.
      Chunk& chunk = chunks_[held.chunk];
      if (chunk.lastHeld == i - 1) chunk.bytes.reset();
    };
    // The values of a batch of individuals, then the runs of a few columns
    // side by side: few columns at a time are written, and the pushes to
    // each do not wait for one another.
    const size_t batch = std::clamp<size_t>(kBatchBytes / std::max<size_t>(count, 1), 1, 64);
    std::vector<uint8_t> rows(batch * count);
    FastaSite* const sites = alignment.variable.data();
    for (size_t first = 0; first < individuals; first += batch) {
      const size_t n = std::min(batch, individuals - first);
      for (size_t b = 0; b < n; ++b) valuesAt(first + b, rows.data() + b * count);
      size_t k = 0;
      for (; k + 8 <= count; k += 8) {
        for (size_t b = 0; b < n; ++b) {
          const uint8_t* const row = rows.data() + b * count + k;
          for (size_t j = 0; j < 8; ++j) sites[k + j].codes.push(row[j]);
        }
      }
      for (; k < count; ++k) {
        for (size_t b = 0; b < n; ++b) sites[k].codes.push(rows[b * count + k]);
      }
    }
    for (FastaSite& site : alignment.variable) {
      uint32_t code[256];
      std::fill(code, code + 256, 256u);
      const uint8_t* values = site.codes.narrow();
      for (size_t i = 0; i < site.codes.size(); ++i) {
        if (code[values[i]] == 256) {
          code[values[i]] = static_cast<uint32_t>(site.texts.size());
          site.texts.emplace_back(1, static_cast<char>(values[i]));
        }
      }
      site.codes.recode(code);
    }
    return alignment;
  }

 private:
  // What a site has shown among the individuals, apart from missing values.
  static constexpr uint8_t kNoValue = 0;
  static constexpr uint8_t kOneValue = 1;
  static constexpr uint8_t kTwoValues = 2;
  // What is done with the values of the record being read.
  enum class Use { Count, Reference, Compare };
  // A later individual's sequence: its differences, or its values.
  struct Held {
    const uint8_t* bytes;
    size_t size;
    uint32_t chunk;
    bool raw;
  };
  struct Chunk {
    std::unique_ptr<uint8_t[]> bytes;
    size_t used;
    size_t capacity;
    size_t lastHeld;  // the last sequence held in it
  };

  static const char* lineEnd(const char* at, const char* end, char c) {
    const void* found = std::memchr(at, c, static_cast<size_t>(end - at));
    return found != nullptr ? static_cast<const char*>(found) : end;
  }

  void startHeader() {
    endRecord();
    seenHeader_ = true;
    inHeader_ = true;
    headerLine_ = lines_ + 1;
    name_.clear();
    namePhase_ = 0;
  }

  // Header bytes, in any number of calls: blanks, the name, then the rest,
  // which is skipped.
  void headerBytes(const char* p, size_t n) {
    size_t k = 0;
    if (namePhase_ == 0) {
      while (k < n && isBlank(static_cast<unsigned char>(p[k]))) ++k;
      if (k == n) return;
      namePhase_ = 1;
    }
    if (namePhase_ == 1) {
      const size_t start = k;
      while (k < n && !isBlank(static_cast<unsigned char>(p[k]))) ++k;
      name_.append(p + start, k - start);
      if (k < n) namePhase_ = 2;
    }
  }

  void endHeader() {
    inHeader_ = false;
    if (name_.empty()) {
      fatalError("A record in " + options_.file + " has no sample name (line " +
                 std::to_string(headerLine_) + ")");
    }
    if (names_.size() == kMaxRecords) fatalError(options_.file + " has too many records");
    addName();
    const bool keep = !options_.keep || options_.keep(name_);
    kept_.push_back(keep ? 1 : 0);
    use_ = !keep ? Use::Count : haveReference_ ? Use::Compare : Use::Reference;
    inRecord_ = true;
    length_ = 0;
    recordMissing_ = 0;
    if (use_ == Use::Reference && sites_ > 0) reference_.reserve(static_cast<size_t>(sites_));
    if (use_ == Use::Compare) {
      // A record is held as the last one was until it shows otherwise.
      raw_ = lastRaw_;
      rawDifferences_ = 0;
      if (raw_) rawValues_.reserve(static_cast<size_t>(sites_));
    }
  }

  static size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

  // The name of the new record joins the others; fatal if one has it.
  void addName() {
    if (2 * (names_.size() + 1) > nameSlots_.size()) {
      std::vector<uint32_t> slots(std::max<size_t>(64, 4 * names_.size()), 0);
      const size_t mask = slots.size() - 1;
      for (size_t i = 0; i < names_.size(); ++i) {
        size_t slot = hashOf(names_[i]) & mask;
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = static_cast<uint32_t>(i + 1);
      }
      nameSlots_.swap(slots);
    }
    const size_t mask = nameSlots_.size() - 1;
    size_t slot = hashOf(name_) & mask;
    for (; nameSlots_[slot] != 0; slot = (slot + 1) & mask) {
      if (names_[nameSlots_[slot] - 1] == name_) {
        fatalError("Sample name " + name_ + " occurs twice in " + options_.file);
      }
    }
    names_.push_back(name_);
    nameSlots_[slot] = static_cast<uint32_t>(names_.size());
  }

  // Sequence bytes of a line. Lines are gathered into a piece, so that the
  // passes over the values run over thousands of bytes, not a line's few.
  void sequenceBytes(const uint8_t* p, size_t n) {
    while (n > 0) {
      if (staged_ == 0 && n >= kPieceBytes) {
        // A long line is read in place.
        values(p, kPieceBytes);
        p += kPieceBytes;
        n -= kPieceBytes;
        continue;
      }
      const size_t take = std::min(n, kPieceBytes - staged_);
      std::memcpy(stage_ + staged_, p, take);
      staged_ += take;
      p += take;
      n -= take;
      if (staged_ == kPieceBytes) flush();
    }
  }

  void flush() {
    if (staged_ > 0) values(stage_, staged_);
    staged_ = 0;
  }

  // Bytes of the record's sequence: their values are written to piece_ and
  // used.
  void values(const uint8_t* in, size_t n) {
    if (use_ == Use::Count) {
      length_ += static_cast<int64_t>(countValues(in, n));
      return;
    }
    const size_t m = valuesOf(in, n, piece_);
    if (use_ == Use::Reference) {
      reference_.insert(reference_.end(), piece_, piece_ + m);
    } else {
      // Values past the alignment's end are only counted: the record is
      // then too long, which its end reports.
      const size_t inside =
          static_cast<size_t>(std::clamp<int64_t>(sites_ - length_, 0, static_cast<int64_t>(m)));
      if (raw_) {
        compareRaw(piece_, inside, length_);
        rawValues_.insert(rawValues_.end(), piece_, piece_ + inside);
      } else {
        compare(piece_, inside, length_);
        if (differenceBytes_ > static_cast<size_t>(sites_))
          toRaw(length_ + static_cast<int64_t>(inside));
      }
    }
    length_ += static_cast<int64_t>(m);
  }

  // What a value other than the reference's at a site tells of the site.
  static void see(uint8_t value, bool isValue, uint8_t& first, uint8_t& seen) {
    // Without branches: whether the value is missing is anyone's guess.
    const bool isFirst = isValue && seen == kNoValue;
    const bool another = isValue && seen == kOneValue && first != value;
    first = isFirst ? value : first;
    seen = isFirst ? kOneValue : another ? kTwoValues : seen;
  }

  // Compares values with the reference's from site `at` on, for a record
  // held as its differences: each difference counts for its site and the
  // missing values, and joins the differences. The state it changes is kept
  // in locals, which stores of bytes cannot alias.
  void compare(const uint8_t* values, size_t n, int64_t at) {
    const uint8_t* const reference = reference_.data() + at;
    const uint8_t* const missing = missing_;
    uint8_t* const firsts = firstValues_.data() + at;
    uint8_t* const seen = seen_.data() + at;
    reserveDifferences(2 * n + 16);  // 2 bytes a site at most, and 10 for a long gap
    uint8_t* out = differences_.get() + differenceBytes_;
    int64_t last = lastDifference_ - at;
    int64_t missingDelta = 0;
    forEachGroup(values, reference, n, [&](size_t k, uint64_t mask) {
      for (; mask != 0; mask &= mask - 1) {
        const size_t i = k + static_cast<size_t>(__builtin_ctzll(mask));
        const uint8_t value = values[i];
        missingDelta += missing[value] - missing[reference[i]];
        see(value, missing[value] == 0, firsts[i], seen[i]);
        out = writeVarint(out, static_cast<uint64_t>(static_cast<int64_t>(i) - last - 1));
        *out++ = value;
        last = static_cast<int64_t>(i);
      }
    });
    recordMissing_ += missingDelta;
    differenceBytes_ = static_cast<size_t>(out - differences_.get());
    lastDifference_ = last + at;
  }

  // The same for a record held as its values: only sites not yet known to be
  // variable look at the values that differ, and the missing values and the
  // differences are counted.
  void compareRaw(const uint8_t* values, size_t n, int64_t at) {
    const uint8_t* const reference = reference_.data() + at;
    const uint8_t* const missing = missing_;
    uint8_t* const firsts = firstValues_.data() + at;
    uint8_t* const seen = seen_.data() + at;
    int64_t differences = 0;
    forEachGroup(values, reference, n, [&](size_t k, uint64_t mask) {
      differences += bitCount(mask);
      // seen_ has room for a group past its end, all of it 0.
      mask &= ~settledMask(seen + k);
      for (; mask != 0; mask &= mask - 1) {
        const size_t i = k + static_cast<size_t>(__builtin_ctzll(mask));
        see(values[i], missing[values[i]] == 0, firsts[i], seen[i]);
      }
    });
    int64_t missingValues = 0;
    for (size_t k = 0; k < n; ++k) missingValues += missing[values[k]];
    rawDifferences_ += differences;
    recordMissing_ += missingValues;
  }

  // Bit k set where site k of the 64 at seen is known to be variable.
  static uint64_t settledMask(const uint8_t* seen) {
#if defined(__SSE2__)
    const __m128i two = _mm_set1_epi8(static_cast<char>(kTwoValues));
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(seen + 16 * k));
      mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, two)))}
              << (16 * k);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int k = 0; k < 64; ++k) mask |= uint64_t{seen[k] == kTwoValues} << k;
    return mask;
#endif
  }

  // From now on the record is held as its values: those of its first
  // `sites` sites from the reference and its differences so far.
  void toRaw(int64_t sites) {
    rawValues_.reserve(static_cast<size_t>(sites_));
    rawValues_.assign(reference_.begin(), reference_.begin() + sites);
    const uint8_t* p = differences_.get();
    const uint8_t* const end = p + differenceBytes_;
    for (int64_t site = -1; p < end;) {
      site += static_cast<int64_t>(readVarint(p)) + 1;
      rawValues_[static_cast<size_t>(site)] = *p++;
    }
    recordMissing_ = 0;
    for (const uint8_t value : rawValues_) recordMissing_ += missing_[value];
    differenceBytes_ = 0;
    raw_ = true;
    // Its differences take more bytes than the sequence.
    rawDifferences_ = sites_;
  }

  void endRecord() {
    if (!inRecord_) return;
    inRecord_ = false;
    flush();
    const std::string& name = names_.back();
    if (length_ == 0) fatalError("Sequence " + name + " in " + options_.file + " is empty");
    if (sites_ < 0) {
      sites_ = length_;
      firstName_ = name;
    } else if (length_ != sites_) {
      fatalError("Sequence " + name + " in " + options_.file + " has " + std::to_string(length_) +
                 " sites where the first sequence (" + firstName_ + ") has " +
                 std::to_string(sites_) + ": the file is not an alignment");
    }
    if (use_ == Use::Reference) {
      haveReference_ = true;
      reference_.shrink_to_fit();
      firstValues_ = reference_;
      // Room for the group of sites compareRaw may look at past the end.
      seen_.assign(reference_.size() + 64, kNoValue);
      for (size_t s = 0; s < reference_.size(); ++s) {
        referenceMissing_ += missing_[reference_[s]];
        seen_[s] = missing_[reference_[s]] != 0 ? kNoValue : kOneValue;
      }
      missingValues_ += referenceMissing_;
    } else if (use_ == Use::Compare) {
      // A raw record counts its own missing values, a record of differences
      // their change from the reference's.
      missingValues_ += raw_ ? recordMissing_ : referenceMissing_ + recordMissing_;
      if (raw_ && 2 * rawDifferences_ <= sites_) {
        // Held raw as the last record was: its differences may take fewer
        // bytes, at least 2 each.
        encodeDifferences();
        raw_ = differenceBytes_ > static_cast<size_t>(sites_);
      }
      if (raw_) {
        hold(rawValues_.data(), rawValues_.size(), true);
      } else {
        hold(differences_.get(), differenceBytes_, false);
      }
      lastRaw_ = raw_;
      rawValues_.clear();
      differenceBytes_ = 0;
      lastDifference_ = -1;
    }
  }

  // The differences of the record's values from the reference's.
  void encodeDifferences() {
    const uint8_t* const values = rawValues_.data();
    const size_t n = rawValues_.size();
    differenceBytes_ = 0;
    reserveDifferences(2 * n + 16);
    uint8_t* out = differences_.get();
    int64_t last = -1;
    forEachGroup(values, reference_.data(), n, [&](size_t k, uint64_t mask) {
      for (; mask != 0; mask &= mask - 1) {
        const size_t i = k + static_cast<size_t>(__builtin_ctzll(mask));
        out = writeVarint(out, static_cast<uint64_t>(static_cast<int64_t>(i) - last - 1));
        *out++ = values[i];
        last = static_cast<int64_t>(i);
      }
    });
    differenceBytes_ = static_cast<size_t>(out - differences_.get());
  }

  // Room for this many more bytes of differences.
  void reserveDifferences(size_t more) {
    if (differenceBytes_ + more <= differenceRoom_) return;
    const size_t room = std::max(2 * differenceRoom_, differenceBytes_ + more);
    std::unique_ptr<uint8_t[]> grown(new uint8_t[room]);
    if (differenceBytes_ > 0) std::memcpy(grown.get(), differences_.get(), differenceBytes_);
    differences_ = std::move(grown);
    differenceRoom_ = room;
  }

  void hold(const uint8_t* bytes, size_t size, bool raw) {
    size_t index = openChunk_;
    if (size > kChunkBytes / 4) {
      index = chunks_.size();
      chunks_.push_back({std::unique_ptr<uint8_t[]>(new uint8_t[size]), 0, size, 0});
    } else if (chunks_.empty() || chunks_[openChunk_].capacity - chunks_[openChunk_].used < size) {
      index = openChunk_ = chunks_.size();
      chunks_.push_back({std::unique_ptr<uint8_t[]>(new uint8_t[kChunkBytes]), 0, kChunkBytes, 0});
    }
    Chunk& chunk = chunks_[index];
    uint8_t* at = chunk.bytes.get() + chunk.used;
    if (size > 0) std::memcpy(at, bytes, size);
    chunk.used += size;
    chunk.lastHeld = held_.size();
    held_.push_back({at, size, static_cast<uint32_t>(index), raw});
  }

  const FastaOptions options_;
  uint8_t missing_[256];  // 1: the value is missing

  std::vector<std::string> names_;
  std::vector<uint8_t> kept_;
  std::vector<uint32_t> nameSlots_;  // open addressing: 1 + index into names_, 0 free

  // Where the input stands.
  bool atLineStart_ = true;
  bool pendingCR_ = false;  // the last block ended in a CR
  bool seenHeader_ = false;
  bool inHeader_ = false;
  int namePhase_ = 0;  // 0: blanks before the name, 1: in it, 2: after it
  std::string name_;
  int64_t lines_ = 0;  // line ends passed
  int64_t headerLine_ = 0;

  // The record being read.
  bool inRecord_ = false;
  Use use_ = Use::Count;
  int64_t length_ = 0;
  uint8_t stage_[kPieceBytes];  // bytes of lines gathered
  size_t staged_ = 0;
  uint8_t piece_[kPieceBytes];              // the values of a piece
  std::unique_ptr<uint8_t[]> differences_;  // gap and value of each difference
  size_t differenceBytes_ = 0;
  size_t differenceRoom_ = 0;
  int64_t lastDifference_ = -1;
  bool raw_ = false;  // held as its values, in rawValues_
  std::vector<uint8_t> rawValues_;
  int64_t rawDifferences_ = 0;  // sites at which a raw record differs, so far
  // Held raw: its missing values; else their change from the reference's.
  int64_t recordMissing_ = 0;
  bool lastRaw_ = false;  // the last record compared was held raw

  int64_t sites_ = -1;  // the first record's length, once read
  std::string firstName_;
  bool haveReference_ = false;
  std::vector<uint8_t> reference_;
  int64_t referenceMissing_ = 0;
  // Each site's first value apart from missing ones, and whether it has none
  // yet, one, or another too.
  std::vector<uint8_t> firstValues_;
  std::vector<uint8_t> seen_;
  int64_t missingValues_ = 0;  // of the individuals read

  std::vector<Held> held_;
  std::vector<Chunk> chunks_;
  size_t openChunk_ = 0;  // the block shared sequences go to
};

FastaParser::FastaParser(FastaOptions options)
    : state_(std::make_unique<State>(std::move(options))) {}

FastaParser::~FastaParser() = default;

void FastaParser::feed(const char* bytes, size_t size) {
  state_->feed(bytes, size);
}

FastaAlignment FastaParser::finish() {
  return state_->finish();
}

}  // namespace tevrol
