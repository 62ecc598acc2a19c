#include "display/stability.h"

namespace velmora {

Stability assessStability(const MeasurementSeries& s, double windowMinutes, double threshold) {
  Stability r;
  const std::size_t n = s.size();
  if (n == 0) return r;
  const double last = s.maxX();
  const double windowStart = last - windowMinutes / 1440.0;
  if (s.x(0) > windowStart) return r;  // the readings do not reach back N minutes yet
  const std::size_t i0 = s.lowerBound(windowStart);
  const YRange window = s.yRange(i0, n);
  r.peakToPeak = window.max - window.min;
  if (!(r.peakToPeak <= threshold)) {
    r.state = Stability::State::Unstable;
    return r;
  }
  r.state = Stability::State::Stable;
  // The peak-to-peak of [i, n) only grows as i moves back: the first i within the threshold.
  std::size_t lo = 0, hi = i0;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    const YRange y = s.yRange(mid, n);
    if (y.max - y.min <= threshold)
      hi = mid;
    else
      lo = mid + 1;
  }
  r.stableMinutes = (last - s.x(lo)) * 1440.0;
  return r;
}

}  // namespace velmora
