#include "runtime/text_services.h"

#include <algorithm>

namespace slash {
namespace {

constexpr char32_t kInvalidByteBase = 0x110000;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the well-formed sequence at `pos`, or 0 when the byte there does
// not start one (bad lead byte, missing continuation, overlong form,
// surrogate or a value beyond U+10FFFF).
std::size_t SequenceLength(std::string_view text, std::size_t pos, char32_t& value) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    value = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < minimum || value > 0x10FFFF || surrogate) return 0;
  return length;
}

// Folds a character onto the form that text-mode comparison sees.
char32_t FoldForComparison(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width ASCII forms
  if (c == 0x3000) c = U' ';                    // ideographic space
  if (c >= U'A' && c <= U'Z') c += U'a' - U'A';
  return c;
}

std::vector<char32_t> FoldedCharacters(std::string_view text) {
  std::vector<char32_t> chars = DecodeCharacters(text);
  std::transform(chars.begin(), chars.end(), chars.begin(), FoldForComparison);
  return chars;
}

}  // namespace

std::vector<char32_t> DecodeCharacters(std::string_view text) {
  std::vector<char32_t> chars;
  chars.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t value = 0;
    const std::size_t length = SequenceLength(text, pos, value);
    if (length == 0) {
      chars.push_back(kInvalidByteBase + static_cast<unsigned char>(text[pos]));
      pos += 1;
    } else {
      chars.push_back(value);
      pos += length;
    }
  }
  return chars;
}

std::size_t FindText(std::string_view text, std::string_view word) {
  const std::vector<char32_t> haystack = FoldedCharacters(text);
  const std::vector<char32_t> needle = FoldedCharacters(word);
  if (haystack.empty()) return 0;
  const auto found = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
  if (found == haystack.end()) return 0;
  return static_cast<std::size_t>(found - haystack.begin()) + 1;
}

std::string TextPrefix(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t taken = 0; taken < count && pos < text.size(); ++taken) {
    char32_t ignored = 0;
    pos += std::max<std::size_t>(1, SequenceLength(text, pos, ignored));
  }
  return std::string(text.substr(0, pos));
}

}  // namespace slash
