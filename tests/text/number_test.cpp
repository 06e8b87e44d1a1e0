#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "text/text.h"

namespace qorvex {
namespace {

using namespace std::string_view_literals;

TEST(ToNumber, Forms) {
  struct Case {
    const char* name;
    std::string_view text;
    double expected;
  };
  const Case cases[] = {
      {"integer", "42", 42},
      {"leading white space, trailing rest", " 12abc", 12},
      {"all white-space kinds", "\t\n\v\f\r 7", 7},
      {"exponent e", "1e3", 1000},
      {"exponent E with sign", "25E-1", 2.5},
      {"exponent d", "1d3", 1000},
      {"exponent D with plus", "2D+2", 200},
      {"exponent letter without digits", "1e", 1},
      {"exponent sign without digits", "1e+", 1},
      {"exponent letter then letter", "3ex", 3},
      {"hexadecimal is not read", "0x10", 0},
      {"no thousands separator", "1,234", 1},
      {"empty", "", 0},
      {"sign alone", "-", 0},
      {"point alone", ".", 0},
      {"plus and fraction only", "+.5", 0.5},
      {"minus and fraction only", "-.25", -0.25},
      {"trailing point", "5.", 5},
      {"negative", "-12.5kg", -12.5},
      {"two signs", "+-1", 0},
      {"space after sign", "- 1", 0},
      {"no infinity form", "inf", 0},
      {"no nan form", "nan", 0},
      {"leading zeros", "007", 7},
      {"full-width digits", "\xA3\xB1\xA3\xB2\xA3\xB3", 123},  // １２３
      {"full-width space, sign, point", "\xA1\xA1\xA3\xAD\xA3\xB1\xA3\xAE\xA3\xB5", -1.5},
      {"full-width exponent letter", "\xA3\xB2\xA3\xE5\xA3\xB2", 200},  // ２ｅ２
      {"mixed widths",
       "1\xA3\xB2"
       "3",
       123},
      {"other Chinese ends the number",
       "12\xD6\xD0"
       "3",
       12},
      {"Chinese before the number",
       "\xD6\xD0"
       "12",
       0},
      {"cut-off character after digits", "9\xA3", 9},
      {"zero byte ends the text",
       "1\0"
       "2"sv,
       1},
      {"star maps but is no number",
       "\xA1\xEF"
       "5",
       0},
      {"many digits", "123456789012345678901234567890", 1.2345678901234568e29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(ToNumber(c.text), c.expected);
  }
}

TEST(ToNumber, OutOfRangeLikeStrtod) {
  EXPECT_EQ(ToNumber("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ToNumber("-1e999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ToNumber("1e-999"), 0.0);
  EXPECT_EQ(ToNumber("0.0001e-400"), 0.0);
  EXPECT_EQ(ToNumber("1e99999999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ToNumber("0e999"), 0.0);
}

TEST(ToInteger, TruncatesTowardZero) {
  struct Case {
    double value;
    int32_t expected;
  };
  const Case cases[] = {
      {3.9, 3},
      {-3.9, -3},
      {-0.5, 0},
      {0.0, 0},
      {2147483647.9, INT32_MAX},
      {-2147483648.9, INT32_MIN},
      {-2147483647.5, -2147483647},
      {2147483648.0, INT32_MIN},
      {-2147483649.0, INT32_MIN},
      {1e300, INT32_MIN},
      {std::numeric_limits<double>::infinity(), INT32_MIN},
      {-std::numeric_limits<double>::infinity(), INT32_MIN},
      {std::nan(""), INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ToInteger(c.value), c.expected);
  }
}

TEST(NumberToText, Forms) {
  struct Case {
    Text result;
    Text expected;
  };
  const Case cases[] = {
      {IntegerToText(0), "0"},
      {IntegerToText(-5), "-5"},
      {IntegerToText(2147483647), "2147483647"},
      {IntegerToText(INT32_MIN), "-2147483648"},
      {RealToText(12.345), "12.345"},
      {RealToText(3.0), "3"},
      {RealToText(0.5), "0.5"},
      {RealToText(-0.25), "-0.25"},
      {RealToText(0.0), "0"},
      {RealToText(1.0 / 3.0), "0.3333333333333"},
      {RealToText(1234567890123.0), "1234567890123"},
      {RealToText(1e13), "1e+13"},
      {RealToText(0.0001), "0.0001"},
      {RealToText(0.00001), "1e-05"},
      {RealToText(2.0 / 3.0 * 1e20), "6.666666666667e+19"},
      {ByteToHex(7), "7"},
      {ByteToHex(10), "A"},
      {ByteToHex(255), "FF"},
      {ByteToHex(0), "0"},
      {ByteToHex(0x1AB), "1AB"},
      {ByteToHex(-1), "FFFFFFFF"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cases[i].result, cases[i].expected);
  }
}

}  // namespace
}  // namespace qorvex
