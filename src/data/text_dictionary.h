#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tevrol {

// The distinct texts of one column in order of first appearance, and the
// code (index) of each. A column of a few texts finds them by a scan; more
// texts, or a column of many rows, by an open-addressing hash table of codes
// whose keys are the texts themselves. In a column of many rows, one-byte
// texts, by far the most common in sequence data, are found first through a
// direct table; a short column shares an empty one, so that the lookup is
// the same single load either way.
class TextDictionary {
 public:
  // What the dictionaries of one table take together, kept up to date as
  // texts are added.
  struct Tally {
    size_t bytes = 0;  // texts and lookup tables
    // Bytes of one row of the columns' codes: a column takes one more
    // byte a row from its 257th text on, two more from its 65,537th.
    size_t codeBytesPerRow = 0;
  };

  // Rows from which a column earns a direct table of its own: fewer would
  // pay more than a byte a row for it.
  static constexpr size_t kDirectRows = 256;

  explicit TextDictionary(Tally* tally = nullptr);
  ~TextDictionary();
  TextDictionary(TextDictionary&& other) noexcept;
  TextDictionary& operator=(TextDictionary&& other) noexcept;
  TextDictionary(const TextDictionary&) = delete;
  TextDictionary& operator=(const TextDictionary&) = delete;

  // The code of the text, adding it when it is new.
  uint32_t codeOf(const char* text, size_t length) {
    if (length == 1) {
      const uint8_t known = direct_[static_cast<unsigned char>(text[0])];
      if (known != 0) return known - 1u;
    } else if (length == 0) {
      if (emptyCode_ == kNone) emptyCode_ = add(text, 0);
      return emptyCode_;
    }
    return codeOfText(text, length);
  }

  // The column will hold this many rows: kDirectRows or more earn it a
  // direct table of its own.
  void expectRows(size_t rows);
  // Entry b: the code + 1 of the one-byte text b, or 0 (look it up with
  // codeOf). The table stays where it is once the dictionary owns it.
  const uint8_t* directTable() const { return direct_; }
  // Texts added from now on are counted nowhere.
  void stopTally() { tally_ = nullptr; }

  const std::vector<std::string>& texts() const { return texts_; }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  uint32_t codeOfText(const char* text, size_t length);
  uint32_t add(const char* text, size_t length);
  bool ownsDirect() const;
  void insert(uint32_t code, uint64_t hash);
  void rehash();
  void held(size_t bytes) {
    if (tally_ != nullptr) tally_->bytes += bytes;
  }

  std::vector<std::string> texts_;
  // code + 1 of each one-byte text whose code is below 255; 0: look it up.
  // Either the table shared by all short columns, all 0, or this column's.
  uint8_t* direct_;
  // The high 32 bits of the hash of the text found there, then its code + 1
  // in the low 32 bits; 0: free. None while the texts are scanned.
  std::unique_ptr<uint64_t[]> slots_;
  size_t slotCount_ = 0;  // a power of two, or 0
  uint32_t emptyCode_ = kNone;
  Tally* tally_;
};

}  // namespace tevrol
