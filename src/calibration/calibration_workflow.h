#pragma once
// The calibration work around the designed tables: a point taken from a stretch of readings
// into the next free row, the checks that warn before a calculation the points may not
// support, and the figures of a fit's residuals.

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/calculations.h"

namespace velmora {

// The first row (1..) whose measured and actual cells are both empty; nothing when full.
std::optional<int> nextFreeRow(const CalibrationGrid& grid);

// Warnings about the points before calculation `calcMethod` (0, 1, 2), in the active
// language through `text`; empty when none applies. Checked: fewer different reference
// temperatures than the method needs (4 for method 1, 3 for the others), a single point
// below 0 °C for methods 1 and 2, no point within 5 °C of 0 °C, and excluded rows that leave
// the method short.
// A text with its "%1", "%2", … (each once) replaced by `args`.
std::string replaceArgs(std::string text, const std::vector<std::string>& args);

std::vector<std::string> fitWarnings(int calcMethod, const CalibrationGrid& grid,
                                     const std::function<std::string(std::string_view)>& text);

// Whether the used rows hold enough different reference temperatures for method
// `calcMethod` to calculate at all (method 1: four; method 2: three at 0 °C or above;
// method 3: three). With no used row at all the methods give their own messages: true.
bool methodCanRun(int calcMethod, const CalibrationGrid& grid);

// A stretch of readings offered as a calibration point: the mean of each value, its count
// and standard deviation, and the stretch's first and last time as text.
struct MeasuredStretch {
  double meanResistance = NAN, meanTemperature = NAN;
  std::size_t resistanceCount = 0, temperatureCount = 0;
  double resistanceSd = NAN, temperatureSd = NAN;
  std::string from, to;
  // The instrument whose readings these are (0: not said — one instrument only).
  int channel = 0;
  std::string instrument;
};
// The measured cell's text for the grid's data type (resistance: mean resistance,
// temperature: mean temperature; 5 decimals) and the count and spread that go with it;
// nothing when the stretch holds no reading of that kind.
struct TakenPoint {
  std::string measured;
  std::size_t count = 0;
  double sd = NAN;
};
std::optional<TakenPoint> takePoint(const MeasuredStretch& stretch, int dataType);

// The root mean square and the largest magnitude of the residuals (°C); NaN when none.
struct ResidualSummary {
  double rms;
  double maxAbs;
  std::size_t count;
};
ResidualSummary summarizeResiduals(const std::vector<Residual>& residuals);

}  // namespace velmora
