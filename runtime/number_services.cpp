#include "runtime/number_services.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::size_t SkipDigits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos;
}

// The length of the number at `start`, or 0 when there is none. Only the
// characters checked here are converted, so no wider grammar (hex, "inf",
// "nan") ever applies.
std::size_t NumberLength(std::string_view text, std::size_t start) {
  std::size_t pos = start;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  const std::size_t integer_end = SkipDigits(text, pos);
  std::size_t end = integer_end;
  std::size_t digits = integer_end - pos;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fraction_end = SkipDigits(text, end + 1);
    digits += fraction_end - (end + 1);
    end = fraction_end;
  }
  if (digits == 0) return 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const std::size_t exponent_end = SkipDigits(text, exponent);
    if (exponent_end > exponent) end = exponent_end;
  }
  return end - start;
}

// Whether a number no double holds is too large rather than too small: the
// decimal place of its first significant digit, moved by its exponent.
bool BeyondLargest(std::string_view number) {
  const std::size_t e = number.find_first_of("eE");
  std::int64_t exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view text = number.substr(e + 1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (std::from_chars(text.data(), text.data() + text.size(), exponent).ec != std::errc()) {
      return text.front() != '-';  // an exponent past 64 bits: its sign says which
    }
  }
  std::string_view mantissa = number.substr(0, e);
  if (!mantissa.empty() && mantissa.front() == '-') mantissa.remove_prefix(1);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string_view::npos) return false;  // zero is never too large
  const auto place =
      static_cast<std::int64_t>(point) - static_cast<std::int64_t>(first) - (first < point ? 1 : 0);
  return place + exponent > 0;
}

std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string shown(text.substr(0, kShown));
  if (text.size() > kShown) shown += "...";
  return "\"" + shown + "\"";
}

}  // namespace

std::string_view LeadingNumberText(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  return text.substr(start, NumberLength(text, start));
}

double ReadLeadingNumber(std::string_view text) {
  const std::string_view number = LeadingNumberText(text);
  if (number.empty()) return 0.0;
  // std::from_chars reads the same whatever the C locale says a decimal
  // point is; it takes no '+', which means nothing here anyway.
  const std::string_view digits = number.front() == '+' ? number.substr(1) : number;
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (BeyondLargest(digits)) {
      throw RuntimeError(RuntimeErrorKind::kOverflow,
                         "the number " + Quoted(number) + " is beyond the range of a double");
    }
    return digits.front() == '-' ? -0.0 : 0.0;  // an underflow reads as 0, which is harmless
  }
  return value;
}

std::int32_t RoundToInt32(double value, std::string_view written) {
  // nearbyint rounds in the current mode, which is round-half-to-even.
  const double rounded = std::nearbyint(value);
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  if (!(rounded >= kMin && rounded <= kMax)) {
    char formatted[64];
    std::snprintf(formatted, sizeof formatted, "%.15g", value);
    const std::string shown = written.empty() ? std::string(formatted) : Quoted(written);
    throw RuntimeError(RuntimeErrorKind::kOverflow,
                       "the number " + shown + " does not fit in a 32-bit count");
  }
  return static_cast<std::int32_t>(rounded);
}

std::int16_t ToLineIndex(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw RuntimeError(RuntimeErrorKind::kOverflow,
                       "line index " + std::to_string(value) + " does not fit in 16 bits");
  }
  return static_cast<std::int16_t>(value);
}

std::int32_t CheckedIncrement(std::int32_t value) {
  if (value == std::numeric_limits<std::int32_t>::max()) {
    throw RuntimeError(RuntimeErrorKind::kOverflow, "a counter ran past its maximum");
  }
  return value + 1;
}

std::int32_t CheckedDecrement(std::int32_t value) {
  if (value == std::numeric_limits<std::int32_t>::min()) {
    throw RuntimeError(RuntimeErrorKind::kOverflow, "a counter ran past its minimum");
  }
  return value - 1;
}

float CheckedHeightProduct(float r, std::int32_t height) {
  const double exact = static_cast<double>(r) * static_cast<double>(height);
  if (!std::isfinite(exact) || std::fabs(exact) > std::numeric_limits<float>::max()) {
    throw RuntimeError(RuntimeErrorKind::kFloatFault, "a line height could not be computed");
  }
  auto product = static_cast<float>(exact);
  if (std::fabs(static_cast<double>(product)) > std::fabs(exact)) {
    product = std::nextafter(product, 0.0f);
  }
  return product;
}

}  // namespace slash
