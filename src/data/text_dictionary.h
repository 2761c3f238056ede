#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tevrol {

// The distinct texts of one column in order of first appearance, and the
// code (index) of each. Every non-empty text is found through an
// open-addressing hash table of codes whose keys are the texts themselves;
// one-byte texts, by far the most common in sequence data, first through a
// direct table.
class TextDictionary {
 public:
  // bytesHeld, if given, grows by the memory each new text takes.
  explicit TextDictionary(size_t* bytesHeld = nullptr);

  // The code of the text, adding it when it is new.
  uint32_t codeOf(const char* text, size_t length) {
    if (length == 1) {
      const uint8_t known = single_[static_cast<unsigned char>(text[0])];
      if (known != 0) return known - 1u;
    } else if (length == 0) {
      if (empty_ < 0) empty_ = add(text, 0);
      return static_cast<uint32_t>(empty_);
    }
    return codeOfText(text, length);
  }

  const std::vector<std::string>& texts() const { return texts_; }

 private:
  uint32_t codeOfText(const char* text, size_t length);
  uint32_t add(const char* text, size_t length);
  void insert(uint32_t code, uint64_t hash);
  void grow();

  std::vector<std::string> texts_;
  // code + 1 of each one-byte text whose code is below 255; 0: look it up
  std::array<uint8_t, 256> single_{};
  int64_t empty_ = -1;
  // The high 32 bits of the hash of the text found there, then its code + 1
  // in the low 32 bits; 0: free.
  std::vector<uint64_t> slots_;
  size_t hashed_ = 0;  // texts in slots_: all but the empty one
  size_t* bytesHeld_;
};

}  // namespace tevrol
