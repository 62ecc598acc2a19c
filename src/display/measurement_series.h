#pragma once
// The measurement series: points kept in ascending X (elapsed days) with stable insertion,
// and a two-level min/max summary of Y over blocks of points so that a chart can reduce any
// visible range to a minimum and a maximum per pixel column without scanning every point.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

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
  std::size_t add(double x, double y);
  void clear();
  void reserve(std::size_t n);
  // Takes points already in ascending X (equal X in their order of arrival) and builds the
  // summary once: what adding them one by one would give, without its cost.
  void assignSorted(std::vector<double> xs, std::vector<double> ys);

  std::size_t size() const { return m_x.size(); }
  bool empty() const { return m_x.empty(); }
  double x(std::size_t i) const { return m_x[i]; }
  double y(std::size_t i) const { return m_y[i]; }
  // Largest X (0 when empty) — the X of the last point since X is sorted.
  double maxX() const { return m_x.empty() ? 0.0 : m_x.back(); }
  const std::vector<double>& xs() const { return m_x; }
  const std::vector<double>& ys() const { return m_y; }

  // First index whose X is not below / above `key`.
  std::size_t lowerBound(double key) const;
  std::size_t upperBound(double key) const;

  // Minimum and maximum Y over [first, last); the range must not be empty.
  YRange yRange(std::size_t first, std::size_t last) const;

  // Bytes held by the series (for the memory budget).
  std::size_t memoryBytes() const;

 private:
  void rebuildFrom(std::size_t index);
  void summarize(std::size_t index);  // takes point `index` into the block summaries

  std::vector<double> m_x;
  std::vector<double> m_y;
  std::vector<YRange> m_block;  // per kBlock points
  std::vector<YRange> m_super;  // per kSuperBlock points
};

}  // namespace velmora
