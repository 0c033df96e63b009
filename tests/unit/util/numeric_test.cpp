#include "util/numeric.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "morvand/errors.hpp"

namespace morvand::test {
namespace {

TEST(NumericTest, IntegerConversionsRoundHalvesToEvenAndFailJustOutsideTheirRange) {
  EXPECT_EQ(util::toInt16(2.5), 2);
  EXPECT_EQ(util::toInt16(3.5), 4);
  EXPECT_EQ(util::toInt16(-2.5), -2);
  EXPECT_EQ(util::toInt16(32767.4), 32767);
  EXPECT_EQ(util::toInt16(-32768.5), -32768);  // the half goes to the even -32768
  EXPECT_THROW(util::toInt16(32767.5), OverflowError);
  EXPECT_THROW(util::toInt16(-32769.0), OverflowError);
  EXPECT_THROW(util::toInt16(std::nan("")), OverflowError);
  EXPECT_EQ(util::toInt32(2147483647.0), 2147483647);
  EXPECT_THROW(util::toInt32(2147483647.5), OverflowError);
  EXPECT_EQ(util::toInt32(-2147483648.0), std::numeric_limits<int32_t>::min());
  EXPECT_THROW(util::toInt32(-2147483649.0), OverflowError);
  EXPECT_EQ(util::checkedInt16(-32768), -32768);
  EXPECT_THROW(util::checkedInt16(32768), OverflowError);
  EXPECT_THROW(util::checkedInt32(int64_t{1} << 31), OverflowError);
  EXPECT_THROW(util::toSingle(1e39), OverflowError);
  EXPECT_THROW(util::divide(1.0, 0.0), FloatError);
}

TEST(NumericTest, NumbersAreDecimalTextOnly) {
  double v = 0.0;
  for (const char* text : {"25", " -3 ", "+7", ".25", "-.5", "1E+20", "2.25e1\r\n", "5."}) {
    EXPECT_TRUE(util::parseNumber(text, v)) << text;
  }
  ASSERT_TRUE(util::parseNumber("-.5", v));
  EXPECT_EQ(v, -0.5);
  // The library parser alone would read these as infinity or not-a-number.
  for (const char* text : {"inf", "-inf", "nan", "NaN", "infinity", "nan(1)", "0x10", "", " ",
                           "1,5", "12abc", "e5", "-"}) {
    v = 42.0;
    EXPECT_FALSE(util::parseNumber(text, v)) << text;
    EXPECT_EQ(v, 42.0) << text;
  }
}

TEST(NumericTest, WrittenNumbersReadBackToTheSameValue) {
  for (float f : {0.1f, 22.5f, -3.0f, 1e-5f, 3.4e38f, 899.5f}) {
    double v = 0.0;
    ASSERT_TRUE(util::parseNumber(util::formatSingle(f), v)) << util::formatSingle(f);
    EXPECT_EQ(util::toSingle(v), f);
  }
  EXPECT_EQ(util::formatSingle(25.0f), "25");
  EXPECT_EQ(util::formatSingle(0.1f), "0.1");
}

TEST(NumericTest, EverySingleReadsBackFromItsTextTheLargestIncluded) {
  const float edges[] = {std::numeric_limits<float>::max(),
                         -std::numeric_limits<float>::max(),
                         std::numeric_limits<float>::min(),
                         std::numeric_limits<float>::denorm_min(),
                         0.0f,
                         -0.0f,
                         std::nextafter(std::numeric_limits<float>::max(), 0.0f)};
  for (float f : edges) {
    float back = 1.0f;
    ASSERT_TRUE(util::parseSingle(util::formatSingle(f), back)) << util::formatSingle(f);
    EXPECT_EQ(std::signbit(back), std::signbit(f));
    EXPECT_EQ(back, f) << util::formatSingle(f);
  }
  // A spread of bit patterns over the whole finite range.
  for (uint32_t bits = 1; bits < 0x7f800000u; bits += 104729u) {
    float f = 0.0f;
    std::memcpy(&f, &bits, sizeof f);
    float back = 0.0f;
    ASSERT_TRUE(util::parseSingle(util::formatSingle(f), back));
    ASSERT_EQ(back, f) << util::formatSingle(f);
  }
  // A double that rounds to the largest single fits; one that rounds to infinity does not.
  EXPECT_EQ(util::toSingle(3.4028235e38), std::numeric_limits<float>::max());
  EXPECT_THROW(util::toSingle(0x1.ffffffp+127), OverflowError);
  float v = 0.0f;
  EXPECT_THROW(util::parseSingle("3.5e38", v), OverflowError);
  EXPECT_FALSE(util::parseSingle("inf", v));
  ASSERT_TRUE(util::parseSingle("1e-50", v));
  EXPECT_EQ(v, 0.0f);
}

}  // namespace
}  // namespace morvand::test
