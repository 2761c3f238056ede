#include "data/text_dictionary.h"

#include <cstring>

namespace tevrol {

namespace {

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

TextDictionary::TextDictionary(size_t* bytesHeld) : bytesHeld_(bytesHeld) {}

uint32_t TextDictionary::add(const char* text, size_t length) {
  texts_.emplace_back(text, length);
  // A short text lives inside its string object; vectors double.
  if (bytesHeld_ != nullptr) *bytesHeld_ += 2 * sizeof(std::string) + (length > 15 ? length : 0);
  return static_cast<uint32_t>(texts_.size() - 1);
}

uint32_t TextDictionary::codeOfText(const char* text, size_t length) {
  const uint64_t hash = hashText(text, length);
  if (!slots_.empty()) {
    const size_t mask = slots_.size() - 1;
    for (size_t s = hash & mask; slots_[s] != 0; s = (s + 1) & mask) {
      // The tag spares reading the texts of other hashes.
      if (slots_[s] >> 32 != hash >> 32) continue;
      const uint32_t code = static_cast<uint32_t>(slots_[s]) - 1;
      const std::string& known = texts_[code];
      if (known.size() == length && std::memcmp(known.data(), text, length) == 0) return code;
    }
  }
  const uint32_t code = add(text, length);
  if (length == 1 && code < 255) single_[static_cast<unsigned char>(text[0])] = uint8_t(code + 1);
  // At most half full, so that probes stay short.
  if (2 * ++hashed_ > slots_.size()) {
    grow();
  } else {
    insert(code, hash);
  }
  return code;
}

void TextDictionary::insert(uint32_t code, uint64_t hash) {
  const size_t mask = slots_.size() - 1;
  size_t s = hash & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = (hash >> 32 << 32) | (code + 1u);
}

void TextDictionary::grow() {
  const size_t before = slots_.size();
  slots_.assign(before == 0 ? 16 : 2 * before, 0);
  if (bytesHeld_ != nullptr) *bytesHeld_ += sizeof(uint64_t) * (slots_.size() - before);
  for (size_t code = 0; code < texts_.size(); ++code) {
    const std::string& text = texts_[code];
    if (!text.empty()) insert(static_cast<uint32_t>(code), hashText(text.data(), text.size()));
  }
}

}  // namespace tevrol
