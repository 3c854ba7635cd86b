#include "runtime/text_services.h"

#include <gtest/gtest.h>

#include <string>

namespace slash {
namespace {

struct FindCase {
  std::string text;
  std::string word;
  std::size_t position;
};

TEST(FindText, FindsFirstOccurrenceByCharacterInTextMode) {
  const FindCase cases[] = {
      {"30 blue", " ", 3},
      {"30 blue", "blue", 4},
      {"12 Blue", "blue", 4},
      {"12 RED", "red", 4},
      {"a b c", " ", 2},
      {"no space", "x", 0},
      {"", "red", 0},
      {"", " ", 0},
      {"red", "redder", 0},
      {"\xEF\xBC\xA2\xEF\xBC\xAC\xEF\xBC\xB5\xEF\xBC\xA5", "blue", 1},  // full-width BLUE
      {"\xEF\xBD\x92\xEF\xBD\x85\xEF\xBD\x84", "red", 1},               // full-width red
      {"30\xE3\x80\x80"
       "blue",
       " ", 3},                                    // ideographic space
      {"\xE6\x97\xA5\xE6\x9C\xAC red", "red", 4},  // two CJK characters
      {"\xFF\xFE red", "red", 4},                  // invalid bytes count one each
      {"\xC3\xA9 red", "red", 3},                  // two-byte character
      {"\xC0\xAF red", "red", 4},                  // overlong form: two invalid bytes
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(FindText(c.text, c.word), c.position) << "text: " << c.text << " word: " << c.word;
  }
}

TEST(FindText, TruncatedSequencesAtTheEndAreSeparateCharacters) {
  // Each is cut short at the very end: nothing past the end may be read.
  for (const std::string text : {"ab\xE3", "ab\xE3\x80", "ab\xF0\x9F\x98", "ab\xC3"}) {
    EXPECT_EQ(FindText(text, "x"), 0u);
    EXPECT_EQ(FindText(text, "b"), 2u);
    EXPECT_EQ(DecodeCharacters(text).size(), text.size()) << text;
  }
}

struct PrefixCase {
  std::string text;
  std::size_t count;
  std::string prefix;
};

TEST(TextPrefix, TakesWholeCharacters) {
  const PrefixCase cases[] = {
      {"30 blue", 3, "30 "},
      {"30 blue", 0, ""},
      {"30", 10, "30"},
      {"\xE6\x97\xA5\xE6\x9C\xAC x", 2, "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"\xE3\x80", 1, "\xE3"},
      {"\xFF"
       "5 ",
       2,
       "\xFF"
       "5"},
  };
  for (const PrefixCase& c : cases) {
    EXPECT_EQ(TextPrefix(c.text, c.count), c.prefix) << c.text;
  }
}

}  // namespace
}  // namespace slash
