#pragma once
// Number text: every number the program writes or reads uses "." as the decimal
// separator, whatever the locale.

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Rounds the exact binary value once, half away from zero, at the coarser of the last of
// `significantDigits` significant digits and the last of `decimals` decimals, and writes
// exactly `decimals` decimals. A value whose integer part (after rounding) has more digits
// than `significantDigits` is written in exponent notation: the mantissa rounded to
// `significantDigits` digits without trailing zeros, "E", the exponent ("1.23457E6").
// Negative zero after rounding is written without its sign.
std::string formatFixed(double value, int significantDigits, int decimals);
// The shortest text ("." decimals, whatever the locale) that reads back to the same double.
std::string shortestText(double value);

// Appends the same text to `out` (the hot path of the reading list avoids a temporary).
void appendFixed(std::string& out, double value, int significantDigits, int decimals);
// The same from the value's exact decimal expansion, always (appendFixed takes it where a
// quicker way could differ).
void appendFixedExact(std::string& out, double value, int significantDigits, int decimals);

enum class Blanks { Refused, Allowed };

// Optional sign, digits, at most one ".", optional exponent (e/E, optional sign, digits).
// At least one mantissa digit is required. With Blanks::Allowed, blanks and control
// characters before and after the number are skipped.
std::optional<double> parseNumber(std::string_view text, Blanks blanks = Blanks::Refused);

// Optional sign and digits only, within the range of int.
std::optional<int> parseInteger(std::string_view text, Blanks blanks = Blanks::Refused);

// Drops leading and trailing characters at or below the blank (blanks, tabs, CR, LF, NUL).
std::string_view trimBlanks(std::string_view text);

// The general error report's text for a number that does not convert:
// "'<text>' is not a valid floating point value".
std::string notAValidFloat(std::string_view text);
std::string_view trimLeadingBlanks(std::string_view text);

}  // namespace velmora
