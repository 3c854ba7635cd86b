#include "runtime/number_services.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "runtime/runtime_error.h"

namespace slash {
namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

template <typename Call>
void ExpectOverflow(Call call) {
  try {
    call();
    ADD_FAILURE() << "expected the overflow error";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.kind(), RuntimeErrorKind::kOverflow);
    EXPECT_EQ(std::string(error.what()).rfind("Overflow", 0), 0u) << error.what();
  }
}

TEST(ReadLeadingNumber, ReadsTheLeadingDecimalNumberOnly) {
  const struct {
    std::string text;
    double value;
  } cases[] = {
      {"30 ", 30},
      {"yellow ", 0},
      {"2.5 ", 2.5},
      {"-1 ", -1},
      {"+7 ", 7},
      {".5 ", 0.5},
      {"5. ", 5},
      {"1e2 ", 100},
      {"1E+2 ", 100},
      {"25e-1", 2.5},
      {"1e ", 1},
      {"1e+ ", 1},
      {"0x10 ", 0},
      {"99.5 ", 99.5},
      {"- ", 0},
      {"+ ", 0},
      {". ", 0},
      {"", 0},
      {"\t5 ", 5},
      {" 8", 8},
      {"12abc", 12},
      {"1e-400", 0},
      {"-1e-400", 0},
      {"0.0001e311 ", 1e307},               // a large exponent on a small mantissa
      {"1e-99999999999999999999 ", 0},      // an exponent past 64 bits, downwards
      {"+0.000e99999999999999999999 ", 0},  // zero, however large its exponent
      {"inf ", 0},
      {"nan ", 0},
      {"\xEF\xBC\x91\xEF\xBC\x92 ", 0},  // full-width digits are not digits
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(ReadLeadingNumber(c.text), c.value) << c.text;
  }
  EXPECT_TRUE(std::signbit(ReadLeadingNumber("-0 ")));
}

TEST(ReadLeadingNumber, NumberBeyondDoubleRangeOverflows) {
  ExpectOverflow([] { ReadLeadingNumber("1e400 "); });
  ExpectOverflow([] { ReadLeadingNumber("-1e400 "); });
  ExpectOverflow([] { ReadLeadingNumber(std::string(400, '9') + " red"); });
  ExpectOverflow([] { ReadLeadingNumber("0.00001e400 "); });
  ExpectOverflow([] { ReadLeadingNumber("1e99999999999999999999 "); });
}

TEST(RoundToInt32, RoundsHalfToEven) {
  const struct {
    double value;
    std::int32_t rounded;
  } cases[] = {
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {0.5, 0},
      {1.5, 2},
      {-0.5, 0},
      {2.4, 2},
      {2.6, 3},
      {-0.0, 0},
      {99.5, 100},
      {2147483647.4, kInt32Max},
      {-2147483648.5, kInt32Min},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundToInt32(c.value), c.rounded) << c.value;
  }
}

TEST(RoundToInt32, OutsideTheRangeOverflows) {
  for (const double value : {2147483647.5, 2147483648.0, -2147483649.0, 1e300, -1e300}) {
    ExpectOverflow([value] { RoundToInt32(value); });
  }
}

TEST(CheckedIntegers, LineIndexAndStepsOverflowAtTheirLimits) {
  EXPECT_EQ(ToLineIndex(32767), 32767);
  EXPECT_EQ(ToLineIndex(-32768), -32768);
  ExpectOverflow([] { ToLineIndex(32768); });
  ExpectOverflow([] { ToLineIndex(-32769); });
  EXPECT_EQ(CheckedIncrement(-1), 0);
  EXPECT_EQ(CheckedDecrement(0), -1);
  ExpectOverflow([] { CheckedIncrement(kInt32Max); });
  ExpectOverflow([] { CheckedDecrement(kInt32Min); });
}

TEST(CheckedHeightProduct, StaysBelowTheHeight) {
  const float below_one = std::nextafter(1.0f, 0.0f);
  for (const std::int32_t height : {1, 2, 1080, 4320, 16777217, 123456789, kInt32Max}) {
    const float product = CheckedHeightProduct(below_one, height);
    EXPECT_LT(static_cast<double>(product), static_cast<double>(height)) << height;
    EXPECT_GT(product, 0.0f);
    EXPECT_EQ(CheckedHeightProduct(0.0f, height), 0.0f);
  }
  EXPECT_FLOAT_EQ(CheckedHeightProduct(0.5f, 1080), 540.0f);
}

TEST(CheckedHeightProduct, NonFiniteProductIsAFloatFault) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const float r : {nan, inf}) {
    try {
      CheckedHeightProduct(r, 1080);
      ADD_FAILURE() << "expected a floating-point fault for " << r;
    } catch (const RuntimeError& error) {
      EXPECT_EQ(error.kind(), RuntimeErrorKind::kFloatFault);
    }
  }
}

}  // namespace
}  // namespace slash
