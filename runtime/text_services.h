#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace slash {

// Text is UTF-8 and is counted in characters. A byte that does not start a
// well-formed UTF-8 sequence counts as one character of its own, so any byte
// string can be searched and cut without reading past its end.

// The characters of `text`, one code point each. An invalid byte b becomes
// 0x110000 + b, a value no well-formed character has.
std::vector<char32_t> DecodeCharacters(std::string_view text);

// The 1-based character position of the first occurrence of `word` in
// `text`, or 0 when there is none. The comparison is in text mode: it ignores
// letter case, reads the full-width forms U+FF01..U+FF5E as their ASCII
// twins and the ideographic space U+3000 as a space. An empty word is found
// at position 1 of a non-empty text.
std::size_t FindText(std::string_view text, std::string_view word);

// The first `count` characters of `text` (all of it when it is shorter).
std::string TextPrefix(std::string_view text, std::size_t count);

}  // namespace slash
