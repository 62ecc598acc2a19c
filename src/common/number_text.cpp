#include "number_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdint>

#include <fast_float/fast_float.h>

namespace velmora {
namespace {

// The exact decimal expansion of |value|: digits[0..n) with the decimal point after
// `intDigits` digits (intDigits may be 0). No rounding happens here.
struct ExactDecimal {
  char digits[1200];
  int count = 0;
  int intDigits = 0;
};

void exactDecimal(double magnitude, ExactDecimal& out) {
  int exp2 = 0;
  std::frexp(magnitude, &exp2);
  // A double m * 2^(exp2-53) needs at most 53 - exp2 fractional digits to be exact.
  int precision = 53 - exp2;
  if (precision < 0) precision = 0;
  if (precision > 1100) precision = 1100;
  char buf[1500];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, precision);
  const char* end = res.ptr;
  int n = 0;
  int intDigits = 0;
  bool seenPoint = false;
  for (const char* p = buf; p != end; ++p) {
    if (*p == '.') {
      seenPoint = true;
      continue;
    }
    out.digits[n++] = *p;
    if (!seenPoint) ++intDigits;
  }
  // Strip leading zeros of the integer part ("0.5" -> intDigits 0).
  int lead = 0;
  while (lead < intDigits && out.digits[lead] == '0') ++lead;
  if (lead > 0) {
    std::memmove(out.digits, out.digits + lead, static_cast<size_t>(n - lead));
    n -= lead;
    intDigits -= lead;
  }
  // Trailing zeros of the fraction carry nothing.
  while (n > intDigits && out.digits[n - 1] == '0') --n;
  out.count = n;
  out.intDigits = intDigits;
}

// Digit at power of ten `pow` (0 = units) of the exact expansion.
inline int digitAt(const ExactDecimal& d, int pow) {
  int idx = d.intDigits - 1 - pow;
  if (idx < 0 || idx >= d.count) return 0;
  return d.digits[idx] - '0';
}

// Power of ten of the leading significant digit; INT_MIN for zero.
int leadingPower(const ExactDecimal& d) {
  if (d.intDigits > 0) return d.intDigits - 1;
  for (int i = 0; i < d.count; ++i)
    if (d.digits[i] != '0') return -(i + 1);
  return INT_MIN;
}

// Rounds the expansion half away from zero so that `roundPow` is the last kept power.
// Result: decimal digits from power `top` down to `roundPow`, most significant first.
struct Rounded {
  char digits[1300];
  int count = 0;
  int top = 0;  // power of ten of digits[0]
};

void roundAt(const ExactDecimal& d, int roundPow, Rounded& r) {
  int top = d.intDigits > 0 ? d.intDigits - 1 : 0;
  if (top < roundPow) top = roundPow;
  int n = 0;
  for (int p = top; p >= roundPow; --p) r.digits[n++] = static_cast<char>('0' + digitAt(d, p));
  bool up = digitAt(d, roundPow - 1) >= 5;
  if (up) {
    int i = n - 1;
    while (i >= 0 && r.digits[i] == '9') {
      r.digits[i] = '0';
      --i;
    }
    if (i >= 0) {
      ++r.digits[i];
    } else {
      std::memmove(r.digits + 1, r.digits, static_cast<size_t>(n));
      r.digits[0] = '1';
      ++n;
      ++top;
    }
  }
  r.count = n;
  r.top = top;
}

void appendExponent(std::string& out, bool negative, const ExactDecimal& d, int significantDigits) {
  int lead = leadingPower(d);
  Rounded r;
  roundAt(d, lead - (significantDigits - 1), r);
  // Skip a leading zero left when no carry happened.
  int first = 0;
  while (first < r.count - 1 && r.digits[first] == '0') ++first;
  int exponent = r.top - first;
  int last = r.count - 1;
  while (last > first && r.digits[last] == '0') --last;
  if (negative) out.push_back('-');
  out.push_back(r.digits[first]);
  if (last > first) {
    out.push_back('.');
    out.append(r.digits + first + 1, static_cast<size_t>(last - first));
  }
  out.push_back('E');
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, exponent);
  out.append(buf, res.ptr);
}

}  // namespace

namespace {

// Digits before the decimal point after rounding, leading zeros not counted.
int integerDigits(const Rounded& r) {
  for (int i = 0; i < r.count && r.top - i >= 0; ++i)
    if (r.digits[i] != '0') return r.top - i + 1;
  return 0;
}

bool allZero(const Rounded& r) {
  for (int i = 0; i < r.count; ++i)
    if (r.digits[i] != '0') return false;
  return true;
}

// The rounded digits in fixed notation: the integer part, then exactly `decimals` decimals
// (zeros below the rounding position).
void appendFixedDigits(std::string& out, const Rounded& r, int intDigits, int decimals, int roundPow) {
  if (intDigits == 0) {
    out.push_back('0');
  } else {
    for (int p = intDigits - 1; p >= 0; --p) {
      int idx = r.top - p;
      out.push_back(idx >= 0 && idx < r.count ? r.digits[idx] : '0');
    }
  }
  if (decimals > 0) {
    out.push_back('.');
    for (int p = -1; p >= -decimals; --p) {
      int idx = r.top - p;
      out.push_back(p >= roundPow && idx >= 0 && idx < r.count ? r.digits[idx] : '0');
    }
  }
}

}  // namespace

// The common case without the exact expansion: the value scaled to its last written digit,
// |value| * 10^k, lies clearly off a half-way point. The product is off the exact one by at
// most half a unit in its last place (below 2^-11 for the sizes taken here), so rounding it
// gives what rounding the exact value gives; near a half-way point (ties among them), in
// exponent notation and for very large or long numbers the exact way decides.
static bool appendFixedFast(std::string& out, double value, int significantDigits, int decimals) {
  static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (decimals < 0 || decimals > 15 || significantDigits < 1 || significantDigits > 15) return false;
  const double magnitude = std::fabs(value);
  if (!(magnitude < 1e15)) return false;  // NaN too
  // The power of ten of the first digit; below 1 only where the significant digits cannot
  // cut a decimal.
  int lead = -1;
  while (magnitude >= kPow10[lead + 1]) ++lead;
  if (lead < 0 && significantDigits < decimals) return false;
  const int roundPow = std::max(-decimals, lead - (significantDigits - 1));
  if (roundPow > 0) return false;
  const int shown = -roundPow;  // decimals the rounding keeps; the rest are zeros
  const double scaled = magnitude * kPow10[shown];
  if (!(scaled < 4e12)) return false;
  const double down = std::floor(scaled);
  const double fraction = scaled - down;
  if (std::fabs(fraction - 0.5) < 0.01) return false;
  auto n = static_cast<std::uint64_t>(down) + (fraction > 0.5 ? 1 : 0);
  const bool zero = n == 0;
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (count <= shown) digits[count++] = '0';  // "0.05": a zero before the point
  if (count - shown > significantDigits) return false;  // a carry that needs the exponent
  char text[48];
  int length = 0;
  if (std::signbit(value) && !zero) text[length++] = '-';  // no "-0.00"
  for (int i = count - 1; i >= shown; --i) text[length++] = digits[i];
  if (decimals > 0) text[length++] = '.';
  for (int i = shown - 1; i >= 0; --i) text[length++] = digits[i];
  for (int i = shown; i < decimals; ++i) text[length++] = '0';
  out.append(text, static_cast<std::size_t>(length));
  return true;
}

void appendFixed(std::string& out, double value, int significantDigits, int decimals) {
  if (appendFixedFast(out, value, significantDigits, decimals)) return;
  appendFixedExact(out, value, significantDigits, decimals);
}

void appendFixedExact(std::string& out, double value, int significantDigits, int decimals) {
  if (std::isnan(value)) {
    out += "NAN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-INF" : "INF";
    return;
  }
  if (significantDigits < 1) significantDigits = 1;
  if (decimals < 0) decimals = 0;
  if (decimals > 300) decimals = 300;
  const bool negative = std::signbit(value);
  ExactDecimal d;
  exactDecimal(std::fabs(value), d);
  const int lead = leadingPower(d);
  int roundPow = -decimals;
  if (lead != INT_MIN) {
    const int sigPow = lead - (significantDigits - 1);
    if (sigPow > roundPow) roundPow = sigPow;
  }
  Rounded r;
  roundAt(d, roundPow, r);
  const int intDigits = integerDigits(r);
  if (intDigits > significantDigits) {
    appendExponent(out, negative, d, significantDigits);
    return;
  }
  if (negative && !allZero(r)) out.push_back('-');  // no "-0.00"
  appendFixedDigits(out, r, intDigits, decimals, roundPow);
}

std::string formatFixed(double value, int significantDigits, int decimals) {
  std::string out;
  appendFixed(out, value, significantDigits, decimals);
  return out;
}

std::string_view trimLeadingBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  return text.substr(i);
}

std::string_view trimBlanks(std::string_view text) {
  text = trimLeadingBlanks(text);
  size_t n = text.size();
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= ' ') --n;
  return text.substr(0, n);
}


std::optional<double> parseNumber(std::string_view text, Blanks blanks) {
  if (blanks == Blanks::Allowed) text = trimBlanks(text);
  const char* p = text.data();
  const char* end = p + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  const char* start = p;
  int mantissaDigits = 0;
  bool point = false;
  for (; p != end; ++p) {
    if (*p >= '0' && *p <= '9') {
      ++mantissaDigits;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (p != end) {
    if (*p != 'e' && *p != 'E') return std::nullopt;
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    int expDigits = 0;
    while (p != end && *p >= '0' && *p <= '9') {
      ++p;
      ++expDigits;
    }
    if (expDigits == 0 || p != end) return std::nullopt;
  }
  double value = 0;
  // from_chars needs a digit before ".": ".5" and "5." are accepted here as well.
  std::string_view body(start, static_cast<size_t>(end - start));
  std::string tmp;
  if (body.front() == '.') {
    tmp.reserve(body.size() + 1);
    tmp.push_back('0');
    tmp.append(body);
    body = tmp;
  }
  // fast_float: exact, as the standard conversion, and several times quicker on the numbers a
  // file holds (seventeen digits among them).
  auto res = fast_float::from_chars(body.data(), body.data() + body.size(), value, fast_float::chars_format::general);
  if (res.ec != std::errc() || res.ptr != body.data() + body.size()) return std::nullopt;
  // Too small to tell from zero is zero; too large for a double is not a number at all
  // (an infinity would be recorded, saved and then refused when the file is read back).
  if (std::isinf(value)) return std::nullopt;
  return negative ? -value : value;
}

std::optional<int> parseInteger(std::string_view text, Blanks blanks) {
  if (blanks == Blanks::Allowed) text = trimBlanks(text);
  if (text.empty()) return std::nullopt;
  const char* p = text.data();
  const char* end = p + text.size();
  if (*p == '+') {
    ++p;
    if (p == end || *p == '-') return std::nullopt;
  }
  int value = 0;
  auto res = std::from_chars(p, end, value);
  if (res.ec != std::errc() || res.ptr != end) return std::nullopt;
  return value;
}

std::string notAValidFloat(std::string_view text) {
  std::string s = "'";
  s += text;
  s += "' is not a valid floating point value";
  return s;
}

std::string shortestText(double value) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

}  // namespace velmora
