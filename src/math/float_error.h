#pragma once
#include <stdexcept>
#include <string>

namespace velmora::math {

// C++ does not trap floating-point faults; the calculations check for them and raise this
// error with the platform's standard text instead of carrying an infinity or NaN on.
class FloatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kDivisionByZeroText = "Floating point division by zero";
inline constexpr const char* kInvalidOperationText = "Invalid floating point operation";

// x / y, raising the error a trapping FPU would raise: 0/0 (or a NaN operand) is an invalid
// operation, x/0 a division by zero.
template <typename T>
T checkedDivide(T x, T y) {
  if (x != x || y != y) throw FloatError(kInvalidOperationText);
  if (y == 0) throw FloatError(x == 0 ? kInvalidOperationText : kDivisionByZeroText);
  return x / y;
}

}  // namespace velmora::math
