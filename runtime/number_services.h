#pragma once

#include <cstdint>
#include <string_view>

namespace slash {

// The value of the decimal number at the start of `text`: optional blanks,
// an optional sign, ASCII digits with an optional fraction, and an optional
// exponent. Whatever follows the number is ignored; a text that does not
// begin with a number reads as 0. A number beyond the double range raises
// the overflow error.
double ReadLeadingNumber(std::string_view text);

// The number at the start of `text` as it is written there (blanks before
// it skipped), or "" when the text does not begin with a number.
std::string_view LeadingNumberText(std::string_view text);

// Rounds to the nearest integer, a half to the even neighbour (2.5 -> 2,
// 3.5 -> 4). Raises the overflow error when the result does not fit; the
// error names the number as `written`, when given, rather than as formatted.
std::int32_t RoundToInt32(double value, std::string_view written = {});

// A line index as the line array is addressed: the same value in 16 bits,
// or the overflow error.
std::int16_t ToLineIndex(std::int32_t value);

// Counter steps that raise the overflow error instead of wrapping.
std::int32_t CheckedIncrement(std::int32_t value);
std::int32_t CheckedDecrement(std::int32_t value);

// r x height as a single-precision value, rounded towards zero so that a
// draw below 1 never reaches the height itself. A product that is not a
// finite number raises the floating-point fault.
float CheckedHeightProduct(float r, std::int32_t height);

}  // namespace slash
