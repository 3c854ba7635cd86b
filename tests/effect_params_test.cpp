#include "effect/effect_params.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

constexpr EffectColor kYellow = 0x00FFFF;
constexpr EffectColor kBlue = 0xFF0000;
constexpr EffectColor kGreen = 0x00FF00;
constexpr EffectColor kWhite = 0xFFFFFF;

struct CommandCase {
  std::string text;
  std::int32_t count;
  EffectColor color;
};

const CommandCase kCommandCases[] = {
    {"", 12, kRed},
    {"30 blue", 30, kBlue},
    {"150 green", 99, kGreen},
    {"30", 12, kRed},
    {"30 ", 30, kRed},
    {"blue", 12, kBlue},
    {"yellow 5", 0, kYellow},
    {"2.5 red", 2, kRed},
    {"3.5 red", 4, kRed},
    {"-1 white", -1, kWhite},
    {"-5 red", -5, kRed},
    {"12 RED", 12, kRed},
    {"12 Blue", 12, kBlue},
    {"12 greenyellow", 12, kYellow},
    {"12 white red", 12, kRed},
    {"99.5 green", 99, kGreen},  // 100 after rounding, then clamped
    {"-9 white", -9, kWhite},    // no lower bound
    {" 30 blue", 0, kBlue},      // a leading blank puts the first space first
    {"7 bl ue", 7, kRed},        // a word split by a space is not found
    {"2147483647.4 red", 99, kRed},
    {"-2147483648.5 red", -2147483647 - 1, kRed},
    {"30\xE3\x80\x80"
     "blue",
     30, kBlue},  // ideographic space
    {"\xEF\xBC\x93\xEF\xBC\x90 \xEF\xBC\xA7\xEF\xBC\xB2\xEF\xBC\xA5\xEF\xBC\xA5\xEF\xBC\xAE", 0,
     kGreen},  // full-width "３０ ＧＲＥＥＮ"
    {"1e1 yellowish", 10, kYellow},
};

TEST(ReadCommand, FillsTheStateFromTheCommandLine) {
  for (const CommandCase& c : kCommandCases) {
    const EffectState state = ReadCommand(c.text);
    EXPECT_EQ(state.ZanCount, c.count) << "command line: \"" << c.text << "\"";
    EXPECT_EQ(state.ZanColor, c.color) << "command line: \"" << c.text << "\"";
    EXPECT_EQ(state.ZanWait, 12) << "command line: \"" << c.text << "\"";
  }
}

TEST(ReadCommand, LeadingNumberBeyond32BitsOverflows) {
  for (const std::string text : {"2147483648 red", "-2147483649 red", "2147483647.5 red",
                                 "99999999999999999999 red", "1e400 red"}) {
    try {
      ReadCommand(text);
      ADD_FAILURE() << "expected overflow for " << text;
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.kind(), RuntimeErrorKind::kOverflow) << text;
    }
  }
}

TEST(ColorWords, AreLowerCaseAndInTestingOrder) {
  const std::string order[] = {"red", "yellow", "blue", "green", "white"};
  ASSERT_EQ(ColorWords.size(), std::size(order));
  for (std::size_t i = 0; i < ColorWords.size(); ++i) EXPECT_EQ(ColorWords[i].word, order[i]);
}

}  // namespace
}  // namespace slash
