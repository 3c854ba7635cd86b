#include "runtime/command_text.h"

#include <gtest/gtest.h>

namespace slash {
namespace {

TEST(TextAfterProgramName, KeepsTheArgumentsAsTyped) {
  const struct {
    std::u16string line;
    std::u16string expected;
  } cases[] = {
      {u"slash.exe 30 blue", u"30 blue"},
      {u"slash.exe", u""},
      {u"slash.exe   \t 30  blue ", u"30  blue "},  // blanks after the name go
      {u"\"C:\\Program Files\\slash.exe\" 5 red", u"5 red"},
      {u"\"C:\\a b\\slash.exe\"\"30\" blue", u"\"30\" blue"},  // the name ends at its quote
      {u"slash.exe \"30 blue\"", u"\"30 blue\""},              // quotes stay in the text
      {u"\"unterminated name", u""},
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextAfterProgramName(c.line), c.expected) << Utf8FromUtf16(c.line);
  }
}

// slash-trace.exe's options are skipped as the platform splits arguments;
// what follows them is the effect's text as typed, as slash.exe reads it.
TEST(TextAfterArguments, SkipsWholeArgumentsAndKeepsTheRestAsTyped) {
  const struct {
    std::u16string line;
    std::size_t skipped;
    std::u16string expected;
  } cases[] = {
      {u"t.exe --screen 640x480 \"3  blue\"", 2, u"\"3  blue\""},
      {u"t.exe --realtime   3^ blue", 1, u"3^ blue"},
      {u"t.exe --frames \"C:\\my frames\\\\\" -- 30 green", 3, u"30 green"},  // \\" ends it
      {u"t.exe \"a\\\"b c\" 7", 1, u"7"},  // \\\" is a literal quote inside
      {u"t.exe \"a\"\"b c\" 7", 1, u"7"},  // "" inside quotes is one quote
      {u"t.exe --screen", 2, u""},         // fewer arguments than skipped
      {u"t.exe 30 blue", 0, u"30 blue"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextAfterArguments(c.line, c.skipped), c.expected) << Utf8FromUtf16(c.line);
  }
}

TEST(Utf8FromUtf16, EncodesEveryPlaneAndReplacesLoneSurrogates) {
  EXPECT_EQ(Utf8FromUtf16(u"30 blue"), "30 blue");
  EXPECT_EQ(Utf8FromUtf16(u"\u00e9\u3000\u9752"), "\xC3\xA9\xE3\x80\x80\xE9\x9D\x92");
  EXPECT_EQ(Utf8FromUtf16(u"\U0001F5E1"), "\xF0\x9F\x97\xA1");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{0xD800, u'a'}),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf8FromUtf16(std::u16string{0xDC00}), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace slash
