#pragma once
// A number as JSON, written as this program has always written numbers: the shortest text that
// reads back exactly, a whole number without ".0", null for one that is not finite. For the
// libraries that link velmora_json.

#include <cmath>

#include <nlohmann/json.hpp>

namespace velmora {

inline nlohmann::ordered_json jsonNumber(double v) {
  if (!std::isfinite(v)) return nullptr;
  if (v == std::trunc(v) && std::fabs(v) < 1e15 && !(v == 0 && std::signbit(v))) return static_cast<long long>(v);
  return v;
}

}  // namespace velmora
