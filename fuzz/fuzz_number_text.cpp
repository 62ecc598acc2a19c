// The number text parser and formatter: whatever parses formats, and a formatted value
// parses back to the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (Blanks b : {Blanks::Refused, Blanks::Allowed}) {
    if (auto v = parseNumber(text, b)) {
      if (!std::isfinite(*v)) __builtin_trap();  // out-of-range text is not a number
      const std::string f = formatFixed(*v, 6, 2);
      if (std::isfinite(*v) && !parseNumber(f).has_value()) __builtin_trap();
    }
    parseInteger(text, b);
  }
  if (size >= 10) {
    double v;
    std::memcpy(&v, data, sizeof v);
    const int sig = 1 + data[8] % 17;
    const int dec = data[9] % 12;
    const std::string f = formatFixed(v, sig, dec);
    if (std::isfinite(v)) {
      auto back = parseNumber(f);
      // Rounding near the largest double may step past it ("-2E308"): no double holds that
      // text, so it is not a number.
      if (!back) {
        if (std::fabs(v) < 1e308) __builtin_trap();
      } else {
        if (!std::isfinite(*back)) __builtin_trap();
        if (formatFixed(*back, sig, dec) != f) __builtin_trap();
      }
    }
  }
  return 0;
}
