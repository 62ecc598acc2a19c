#pragma once
// The measurement series: points kept in ascending X (elapsed days) with stable insertion,
// and a two-level min/max summary of Y over blocks of points so that a chart can reduce any
// visible range to a minimum and a maximum per pixel column without scanning every point.
// Each point also keeps the resistance of its reading and the clock time it was received
// (both may be unknown: a data file holds neither), and each block its statistics, so that
// a span's count, mean, spread and drift come from whole blocks.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "display/span_statistics.h"

namespace velmora {

// An unknown clock time / resistance.
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct MeasurementPoint {
  double x;  // elapsed recording time, days
  double y;  // temperature, °C
};

struct YRange {
  double min;
  double max;
};

class MeasurementSeries {
 public:
  static constexpr std::size_t kBlock = 64;          // points per block
  static constexpr std::size_t kSuperBlock = 64 * 64;  // points per super block

  // Appends when x is not below the last X, otherwise inserts after the last point whose
  // X does not exceed x (equal X keep their order of arrival). Returns the point's index.
  std::size_t add(double x, double y, double resistance = kNoValue, std::int64_t utcMs = kNoTime);
  void clear();
  void reserve(std::size_t n);
  // Takes points already in ascending X (equal X in their order of arrival) and builds the
  // summary once: what adding them one by one would give, without its cost. Empty
  // resistance / time columns mean unknown for every point.
  void assignSorted(std::vector<double> xs, std::vector<double> ys, std::vector<double> resistances = {},
                    std::vector<std::int64_t> utcMs = {});

  std::size_t size() const { return m_x.size(); }
  bool empty() const { return m_x.empty(); }
  double x(std::size_t i) const { return m_x[i]; }
  double y(std::size_t i) const { return m_y[i]; }
  double resistance(std::size_t i) const { return m_r[i]; }  // NaN when unknown
  std::int64_t utcMs(std::size_t i) const { return m_t[i]; }  // kNoTime when unknown
  // Largest X (0 when empty) — the X of the last point since X is sorted.
  double maxX() const { return m_x.empty() ? 0.0 : m_x.back(); }
  const std::vector<double>& xs() const { return m_x; }
  const std::vector<double>& ys() const { return m_y; }

  // First index whose X is not below / above `key`.
  std::size_t lowerBound(double key) const;
  std::size_t upperBound(double key) const;
  // The same, searched forward from `from` (galloping): cheap when the answer is near.
  std::size_t lowerBoundFrom(double key, std::size_t from) const;

  // Minimum and maximum Y over [first, last); the range must not be empty.
  YRange yRange(std::size_t first, std::size_t last) const;
  // Count, mean, spread, extremes and drift of temperature and resistance over
  // [first, last), from the block summaries: O(log n + k) for k blocks.
  SpanStatistics statistics(std::size_t first, std::size_t last) const;
  // The clock time at X, from the known clock time of the nearest point (its run's
  // offset): kNoTime when no point has one.
  std::int64_t utcMsAt(double x) const;

  // Bytes held by the series (for the memory budget).
  std::size_t memoryBytes() const;

 private:
  struct BlockMoments {
    Moments temperature;
    Moments resistance;
    void add(double x, double y, double r) {
      temperature.add(x, y);
      if (!std::isnan(r)) resistance.add(x, r);
    }
    void merge(const BlockMoments& o) {
      temperature.merge(o.temperature);
      resistance.merge(o.resistance);
    }
  };
  void rebuildFrom(std::size_t index);
  void summarize(std::size_t index);  // takes point `index` into the block summaries
  void growForOneMore();

  std::vector<double> m_x;
  std::vector<double> m_y;
  std::vector<double> m_r;
  std::vector<std::int64_t> m_t;
  std::vector<YRange> m_block;  // per kBlock points
  std::vector<YRange> m_super;  // per kSuperBlock points
  std::vector<BlockMoments> m_blockMoments;
  std::vector<BlockMoments> m_superMoments;
};

}  // namespace velmora
