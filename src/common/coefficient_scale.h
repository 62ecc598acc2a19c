#pragma once
// How the calibration factors R0, A, B, C are shown: tables, files and the instrument's
// commands carry A, B and C multiplied by 10^3, 10^7 and 10^12 (R0 as it is).

namespace velmora {

struct CoefficientScale {
  double shown;          // factor × shown = the number in a table cell
  double unscale;        // cell × unscale = the factor (written so that it is exact: 0.001, 1e-7 …)
  const char* suffix;    // what a write command appends to the cell text
};

inline constexpr CoefficientScale kCofScale[4] = {
    {1.0, 1.0, ""}, {1e3, 1e-3, "1e-3"}, {1e7, 1e-7, "1e-7"}, {1e12, 1e-12, "1e-12"}};

}  // namespace velmora
