#include "common/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

using velmora::Blanks;
using velmora::formatFixed;
using velmora::parseInteger;
using velmora::parseNumber;

TEST(FormatFixed, ListLineExamples) {
  EXPECT_EQ(formatFixed(0.5, 6, 2), "0.50");
  EXPECT_EQ(formatFixed(100.123, 6, 2), "100.12");
  EXPECT_EQ(formatFixed(12345.678, 6, 2), "12345.70");
  EXPECT_EQ(formatFixed(21.456, 5, 2), "21.46");
  EXPECT_EQ(formatFixed(-5.2, 5, 2), "-5.20");
  EXPECT_EQ(formatFixed(1234.567, 5, 2), "1234.60");
  EXPECT_EQ(formatFixed(123456.7, 6, 2), "123457.00");
}

TEST(FormatFixed, TiesRoundAwayFromZeroOnTheExactBinaryValue) {
  EXPECT_EQ(formatFixed(21.125, 5, 2), "21.13");    // exactly representable tie
  EXPECT_EQ(formatFixed(-21.125, 5, 2), "-21.13");
  EXPECT_EQ(formatFixed(0.125, 6, 2), "0.13");
  EXPECT_EQ(formatFixed(2.5, 3, 0), "3");
  EXPECT_EQ(formatFixed(-2.5, 3, 0), "-3");
  // 1.005 is stored just below the tie, so it rounds down: the value is rounded once.
  EXPECT_EQ(formatFixed(1.005, 6, 2), "1.00");
  EXPECT_EQ(formatFixed(237.6, 3, 0), "238");
  EXPECT_EQ(formatFixed(225.0, 3, 0), "225");
}

// The quick way and the exact expansion give the same text: values of every size and sign,
// binary fractions that lie exactly half-way, values next to them, and the widths in use.
TEST(FormatFixed, TheQuickWayWritesWhatTheExactExpansionWrites) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> power(-8, 14), width(1, 17), places(0, 12), eighths(-800000, 800000);
  for (int i = 0; i < 200000; ++i) {
    double v = mantissa(random) * std::pow(10.0, power(random));
    if (i % 4 == 1) v = eighths(random) / 8.0;               // ties at two decimals and fewer
    if (i % 4 == 2) v = std::nextafter(eighths(random) / 8.0, 0.0);  // just beside one
    if (i % 4 == 3) v = std::round(v * 1000) / 1000;          // a value typed with three decimals
    const int sig = width(random), dec = places(random);
    std::string quick, exact;
    velmora::appendFixed(quick, v, sig, dec);
    velmora::appendFixedExact(exact, v, sig, dec);
    ASSERT_EQ(quick, exact) << v << " sig " << sig << " dec " << dec;
  }
}

// Numbers read the quick way are the doubles the library's conversion gives: short decimals,
// long ones, exponents, leading zeros and the edges of the quick way (2^53, 10^±22).
TEST(ParseNumber, TheQuickWayReadsWhatTheLibraryReads) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> power(-30, 30), digits(0, 19);
  std::vector<std::string> texts = {"9007199254740992", "9007199254740993", "900719925474099.3", "1e22", "1e23",
                                    "1e-22", "123456789e-22", "0.000000000000000000000123", "-0", "00012.500",
                                    "4.35e+3", "1E-5", "17976931348623157e292"};
  for (int i = 0; i < 100000; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, i % 2 ? "%.*f" : "%.*e", digits(random), mantissa(random) * std::pow(10.0, power(random)));
    texts.push_back(buf);
  }
  for (const std::string& t : texts) {
    double expected = 0;
    const bool minus = t.front() == '-';
    std::from_chars(t.data() + minus, t.data() + t.size(), expected);
    const auto got = parseNumber(t);
    ASSERT_TRUE(got) << t;
    ASSERT_EQ(*got, minus ? -expected : expected) << t;
    ASSERT_EQ(std::signbit(*got), minus) << t;
  }
}

TEST(FormatFixed, NoNegativeZero) {
  EXPECT_EQ(formatFixed(-0.001, 5, 2), "0.00");
  EXPECT_EQ(formatFixed(-0.0, 5, 2), "0.00");
  EXPECT_EQ(formatFixed(-0.004, 8, 3), "-0.004");
  EXPECT_EQ(formatFixed(0.0, 4, 0), "0");
}

TEST(FormatFixed, CarriesAndPadding) {
  EXPECT_EQ(formatFixed(9.999, 5, 2), "10.00");
  EXPECT_EQ(formatFixed(99999.5, 6, 2), "99999.50");
  EXPECT_EQ(formatFixed(999999.5, 6, 2), "1E6");  // carry makes seven integer digits
  EXPECT_EQ(formatFixed(3.9083, 7, 4), "3.9083");
  EXPECT_EQ(formatFixed(100.012, 7, 3), "100.012");
  EXPECT_EQ(formatFixed(-5.8, 7, 4), "-5.8000");
  EXPECT_EQ(formatFixed(0.000123456, 3, 6), "0.000123");
}

TEST(FormatFixed, ExponentFallbackWhenTheIntegerPartIsTooLong) {
  EXPECT_EQ(formatFixed(1234567.8, 6, 2), "1.23457E6");
  EXPECT_EQ(formatFixed(-1234567.8, 6, 2), "-1.23457E6");
  EXPECT_EQ(formatFixed(12345.0, 4, 0), "1.235E4");
  EXPECT_EQ(formatFixed(100000.0, 5, 2), "1E5");
  EXPECT_EQ(formatFixed(1e300, 6, 2), "1E300");
  EXPECT_EQ(formatFixed(9999.0, 4, 0), "9999");
}

TEST(FormatFixed, RoundingPastTheLargestDouble) {
  // Found by fuzzing: one significant digit of -1.797e308 is -2E308, a text no double
  // holds; it does not read back as a number.
  EXPECT_EQ(formatFixed(-1.7976931345156043e308, 1, 0), "-2E308");
  EXPECT_FALSE(parseNumber("-2E308").has_value());
}

TEST(FormatFixed, NonFiniteValuesDoNotCrash) {
  EXPECT_EQ(formatFixed(std::numeric_limits<double>::quiet_NaN(), 5, 2), "NAN");
  EXPECT_EQ(formatFixed(-std::numeric_limits<double>::infinity(), 5, 2), "-INF");
  EXPECT_EQ(formatFixed(std::numeric_limits<double>::denorm_min(), 5, 2), "0.00");
}

TEST(ParseNumber, AcceptsTheNumberGrammar) {
  EXPECT_EQ(parseNumber("25.456"), 25.456);
  EXPECT_EQ(parseNumber("-5.2"), -5.2);
  EXPECT_EQ(parseNumber("+7"), 7.0);
  EXPECT_EQ(parseNumber("3.9083E-03"), 3.9083e-3);
  EXPECT_EQ(parseNumber("1e3"), 1000.0);
  EXPECT_EQ(parseNumber("5."), 5.0);
  EXPECT_EQ(parseNumber(".5"), 0.5);
  EXPECT_EQ(parseNumber("-.5"), -0.5);
}

TEST(ParseNumber, RefusesEverythingElse) {
  for (const char* bad : {"", "-", "+", ".", "1.2.3", "1,5", "e5", "1e", "1e+", "--1", "+-1", "inf", "nan",
                          "0x10", "12a", "1 2", "1e5.0"}) {
    EXPECT_FALSE(parseNumber(bad).has_value()) << bad;
  }
}

TEST(ParseNumber, BlanksOnlyWhereTheCallerAllowsThem) {
  EXPECT_FALSE(parseNumber(" 25.4").has_value());
  EXPECT_FALSE(parseNumber("25.4 ").has_value());
  EXPECT_EQ(parseNumber("  25.4\t", Blanks::Allowed), 25.4);
  EXPECT_FALSE(parseNumber("   ", Blanks::Allowed).has_value());
  EXPECT_FALSE(parseNumber("2 5", Blanks::Allowed).has_value());
}

TEST(ParseNumber, TooLargeForADoubleIsNotANumberTooSmallIsZero) {
  for (const char* big : {"1e999", "-1e999", "1e400", "1.8e308", "-2E308", "179769313486231580793728971405303415"
                          "07937289714053034150799341327710341e275", "100000000000000000000e300"}) {
    EXPECT_FALSE(parseNumber(big).has_value()) << big;
  }
  EXPECT_EQ(parseNumber("1.7976931348623157e308"), 1.7976931348623157e308);  // the largest double
  EXPECT_EQ(parseNumber("1e-999"), 0.0);
  EXPECT_EQ(parseNumber("-0.00000000001e-400"), -0.0);
  EXPECT_EQ(parseNumber("0.000001e-320"), 0.0);
  EXPECT_EQ(parseNumber("1e308"), 1e308);
}

TEST(ParseNumber, RoundTripsTheFormattedText) {
  for (double v : {0.0, 1.0 / 1440.0, 21.46, -273.15, 12345.7, 849.99}) {
    auto text = formatFixed(v, 6, 2);
    ASSERT_TRUE(parseNumber(text).has_value()) << text;
    EXPECT_EQ(formatFixed(*parseNumber(text), 6, 2), text);
  }
}

TEST(ParseInteger, DigitsAndSignOnly) {
  EXPECT_EQ(parseInteger("123"), 123);
  EXPECT_EQ(parseInteger("-99"), -99);
  EXPECT_EQ(parseInteger("+5"), 5);
  EXPECT_EQ(parseInteger(" 31 ", Blanks::Allowed), 31);
  EXPECT_FALSE(parseInteger("1.5").has_value());
  EXPECT_FALSE(parseInteger("-").has_value());
  EXPECT_FALSE(parseInteger("+-3").has_value());
  EXPECT_FALSE(parseInteger("99999999999").has_value());
}
