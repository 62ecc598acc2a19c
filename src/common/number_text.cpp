#include "number_text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

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

void appendFixed(std::string& out, double value, int significantDigits, int decimals) {
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

namespace {
// The power of ten of the first significant digit of a number text that is known to be out
// of range (digits, an optional ".", an exponent); positive means an overflow.
long decimalMagnitude(std::string_view body) {
  long power = 0;
  bool seenPoint = false, seenDigit = false;
  long intDigits = 0, leadingFractionZeros = 0;
  std::size_t i = 0;
  for (; i < body.size() && body[i] != 'e' && body[i] != 'E'; ++i) {
    const char c = body[i];
    if (c == '.') {
      seenPoint = true;
    } else if (!seenPoint) {
      if (seenDigit || c != '0') {
        seenDigit = true;
        ++intDigits;
      }
    } else if (!seenDigit) {
      if (c == '0')
        ++leadingFractionZeros;
      else
        seenDigit = true;
    }
  }
  power = intDigits > 0 ? intDigits - 1 : -(leadingFractionZeros + 1);
  long exponent = 0;
  bool expNegative = false;
  if (i < body.size()) {
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) expNegative = body[i++] == '-';
    for (; i < body.size(); ++i) exponent = std::min(exponent * 10 + (body[i] - '0'), 100000000L);
  }
  return power + (expNegative ? -exponent : exponent);
}
}  // namespace

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
  auto res = std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small to tell from zero is zero; too large for a double is not a number at all
    // (an infinity would be recorded, saved and then refused when the file is read back).
    if (decimalMagnitude(body) > 0) return std::nullopt;
    value = 0.0;
  } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
    return std::nullopt;
  }
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
