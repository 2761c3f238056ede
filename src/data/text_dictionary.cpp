#include "data/text_dictionary.h"

#include <cstring>
#include <utility>

#include "data/code_column.h"

namespace tevrol {

namespace {

// Texts a dictionary without a direct table finds by comparing each; one
// more, and they are hashed.
constexpr size_t kScannedTexts = 8;

// The direct table of every column without one of its own. Never written:
// a code is entered only in a table the dictionary owns.
uint8_t noDirectTable[256] = {};

uint64_t hashText(const char* text, size_t length) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  uint64_t h = length * kMultiplier;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, 8);
    h = (h ^ word) * kMultiplier;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  for (size_t k = i; k < length; ++k) tail = tail << 8 | static_cast<unsigned char>(text[k]);
  h = (h ^ tail) * kMultiplier;
  // The slot is taken from the low bits: fold every bit into them.
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  return h ^ (h >> 33);
}

}  // namespace

TextDictionary::TextDictionary(Tally* tally) : direct_(noDirectTable), tally_(tally) {}

TextDictionary::~TextDictionary() {
  if (ownsDirect()) delete[] direct_;
}

TextDictionary::TextDictionary(TextDictionary&& other) noexcept
    : texts_(std::move(other.texts_)),
      direct_(std::exchange(other.direct_, noDirectTable)),
      slots_(std::move(other.slots_)),
      slotCount_(std::exchange(other.slotCount_, 0)),
      emptyCode_(std::exchange(other.emptyCode_, kNone)),
      tally_(other.tally_) {}

TextDictionary& TextDictionary::operator=(TextDictionary&& other) noexcept {
  std::swap(texts_, other.texts_);
  std::swap(direct_, other.direct_);
  std::swap(slots_, other.slots_);
  std::swap(slotCount_, other.slotCount_);
  std::swap(emptyCode_, other.emptyCode_);
  std::swap(tally_, other.tally_);
  return *this;
}

bool TextDictionary::ownsDirect() const {
  return direct_ != noDirectTable;
}

void TextDictionary::expectRows(size_t rows) {
  if (rows < kDirectRows || ownsDirect()) return;
  direct_ = new uint8_t[256]();
  held(256);
  for (size_t code = 0; code < texts_.size() && code < 255; ++code) {
    const std::string& text = texts_[code];
    if (text.size() == 1) direct_[static_cast<unsigned char>(text[0])] = uint8_t(code + 1);
  }
  // A long column hashes however few its texts: a scan would cost every
  // row up to eight comparisons.
  if (slotCount_ == 0 && !texts_.empty()) rehash();
}

uint32_t TextDictionary::add(const char* text, size_t length) {
  const uint32_t code = static_cast<uint32_t>(texts_.size());
  texts_.emplace_back(text, length);
  // A short text lives inside its string object; vectors double.
  held(2 * sizeof(std::string) + (length > 15 ? length : 0));
  if (tally_ != nullptr && code > 0) {
    tally_->codeBytesPerRow +=
        static_cast<size_t>(CodeColumn::widthFor(code) - CodeColumn::widthFor(code - 1));
  }
  return code;
}

uint32_t TextDictionary::codeOfText(const char* text, size_t length) {
  uint64_t hash = 0;
  if (slotCount_ == 0) {
    for (size_t code = 0; code < texts_.size(); ++code) {
      const std::string& known = texts_[code];
      if (known.size() == length && std::memcmp(known.data(), text, length) == 0) {
        return static_cast<uint32_t>(code);
      }
    }
  } else {
    hash = hashText(text, length);
    const size_t mask = slotCount_ - 1;
    for (size_t s = hash & mask; slots_[s] != 0; s = (s + 1) & mask) {
      // The tag spares reading the texts of other hashes.
      if (slots_[s] >> 32 != hash >> 32) continue;
      const uint32_t code = static_cast<uint32_t>(slots_[s]) - 1;
      const std::string& known = texts_[code];
      if (known.size() == length && std::memcmp(known.data(), text, length) == 0) return code;
    }
  }
  const uint32_t code = add(text, length);
  if (length == 1 && code < 255 && ownsDirect()) {
    direct_[static_cast<unsigned char>(text[0])] = uint8_t(code + 1);
  }
  const size_t hashed = texts_.size() - (emptyCode_ == kNone ? 0 : 1);
  if (slotCount_ == 0) {
    if (hashed > kScannedTexts || ownsDirect()) rehash();
  } else if (2 * hashed > slotCount_) {
    // At most half full, so that probes stay short.
    rehash();
  } else {
    insert(code, hash);
  }
  return code;
}

void TextDictionary::insert(uint32_t code, uint64_t hash) {
  const size_t mask = slotCount_ - 1;
  size_t s = hash & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = (hash >> 32 << 32) | (code + 1u);
}

// A table for every non-empty text, at most half full.
void TextDictionary::rehash() {
  const size_t hashed = texts_.size() - (emptyCode_ == kNone ? 0 : 1);
  size_t count = 16;
  while (count < 2 * hashed) count *= 2;
  held(sizeof(uint64_t) * (count - slotCount_));
  slots_ = std::make_unique<uint64_t[]>(count);
  slotCount_ = count;
  for (size_t code = 0; code < texts_.size(); ++code) {
    const std::string& text = texts_[code];
    if (!text.empty()) insert(static_cast<uint32_t>(code), hashText(text.data(), text.size()));
  }
}

}  // namespace tevrol
