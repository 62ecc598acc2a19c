#pragma once
// Statistics over a stretch of readings, made to be merged: count, means, sums of squared
// deviations and the co-moment of (time, value), combined pairwise so that large offsets
// (10,000 °C with millikelvin noise) keep their precision. The series keeps one per block of
// points, so any span is summed from whole blocks plus at most two partial ones.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace velmora {

struct Moments {
  double n = 0;
  double meanX = 0, meanV = 0;
  double sxx = 0, svv = 0, sxv = 0;
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();

  void add(double x, double v) {
    const double n1 = n + 1;
    const double dx = x - meanX, dv = v - meanV;
    meanX += dx / n1;
    meanV += dv / n1;
    sxx += dx * (x - meanX);
    svv += dv * (v - meanV);
    sxv += dx * (v - meanV);
    n = n1;
    if (v < min) min = v;
    if (v > max) max = v;
  }
  void merge(const Moments& o) {
    if (o.n == 0) return;
    if (n == 0) {
      *this = o;
      return;
    }
    const double total = n + o.n;
    const double dx = o.meanX - meanX, dv = o.meanV - meanV;
    const double f = n * o.n / total;
    meanX += dx * o.n / total;
    meanV += dv * o.n / total;
    sxx += o.sxx + dx * dx * f;
    svv += o.svv + dv * dv * f;
    sxv += o.sxv + dx * dv * f;
    n = total;
    if (o.min < min) min = o.min;
    if (o.max > max) max = o.max;
  }
};

struct ValueStatistics {
  std::size_t count = 0;
  double mean = NAN;
  double standardDeviation = NAN;  // sample (n − 1); NaN under two readings
  double min = NAN, max = NAN;
  double peakToPeak = NAN;
  double driftPerMinute = NAN;  // least-squares slope; NaN without a time spread

  static ValueStatistics from(const Moments& m) {
    ValueStatistics s;
    s.count = static_cast<std::size_t>(m.n);
    if (m.n == 0) return s;
    s.mean = m.meanV;
    s.min = m.min;
    s.max = m.max;
    s.peakToPeak = m.max - m.min;
    if (m.n >= 2) s.standardDeviation = std::sqrt(std::max(0.0, m.svv / (m.n - 1)));
    if (m.n >= 2 && m.sxx > 0) s.driftPerMinute = m.sxv / m.sxx / 1440.0;  // X is in days
    return s;
  }
};

struct SpanStatistics {
  ValueStatistics temperature;
  ValueStatistics resistance;
  double firstX = NAN, lastX = NAN;  // days; the span's first and last reading
};

}  // namespace velmora
