#pragma once
// Whether the temperature has settled: over the last N minutes of readings the peak-to-peak
// temperature is within a threshold. When it is, how long the readings have stayed within
// it (the longest stretch up to the last reading whose peak-to-peak is within it).

#include "display/measurement_series.h"

namespace velmora {

struct Stability {
  enum class State { TooShort, Unstable, Stable };
  State state = State::TooShort;
  double peakToPeak = 0;     // over the last N minutes (°C)
  double stableMinutes = 0;  // length of the stretch within the threshold, when stable
};

Stability assessStability(const MeasurementSeries& series, double windowMinutes, double threshold);

}  // namespace velmora
