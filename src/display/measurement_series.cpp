#include "display/measurement_series.h"

#include <algorithm>

namespace velmora {

namespace {
inline void widen(YRange& r, double y) {
  if (y < r.min) r.min = y;
  if (y > r.max) r.max = y;
}
inline void widen(YRange& r, const YRange& o) {
  if (o.min < r.min) r.min = o.min;
  if (o.max > r.max) r.max = o.max;
}
}  // namespace

std::size_t MeasurementSeries::add(double x, double y) {
  if (m_x.empty() || !(x < m_x.back())) {
    m_x.push_back(x);
    m_y.push_back(y);
    summarize(m_x.size() - 1);
    return m_x.size() - 1;
  }
  // Insert after the last point whose X does not exceed x.
  const std::size_t at = static_cast<std::size_t>(std::upper_bound(m_x.begin(), m_x.end(), x) - m_x.begin());
  m_x.insert(m_x.begin() + static_cast<std::ptrdiff_t>(at), x);
  m_y.insert(m_y.begin() + static_cast<std::ptrdiff_t>(at), y);
  rebuildFrom(at);
  return at;
}

void MeasurementSeries::summarize(std::size_t i) {
  const double y = m_y[i];
  if (i % kBlock == 0)
    m_block.push_back({y, y});
  else
    widen(m_block.back(), y);
  if (i % kSuperBlock == 0)
    m_super.push_back({y, y});
  else
    widen(m_super.back(), y);
}

void MeasurementSeries::rebuildFrom(std::size_t index) {
  const std::size_t b0 = index / kSuperBlock * (kSuperBlock / kBlock);
  m_block.resize(b0);
  m_super.resize(index / kSuperBlock);
  for (std::size_t i = b0 * kBlock; i < m_y.size(); ++i) summarize(i);
}

void MeasurementSeries::assignSorted(std::vector<double> xs, std::vector<double> ys) {
  m_x = std::move(xs);
  m_y = std::move(ys);
  m_block.clear();
  m_super.clear();
  m_block.reserve(m_y.size() / kBlock + 1);
  m_super.reserve(m_y.size() / kSuperBlock + 1);
  for (std::size_t i = 0; i < m_y.size(); ++i) summarize(i);
}

void MeasurementSeries::clear() {
  m_x.clear();
  m_y.clear();
  m_block.clear();
  m_super.clear();
  m_x.shrink_to_fit();
  m_y.shrink_to_fit();
  m_block.shrink_to_fit();
  m_super.shrink_to_fit();
}

void MeasurementSeries::reserve(std::size_t n) {
  m_x.reserve(n);
  m_y.reserve(n);
  m_block.reserve(n / kBlock + 1);
  m_super.reserve(n / kSuperBlock + 1);
}

std::size_t MeasurementSeries::lowerBound(double key) const {
  return static_cast<std::size_t>(std::lower_bound(m_x.begin(), m_x.end(), key) - m_x.begin());
}

std::size_t MeasurementSeries::upperBound(double key) const {
  return static_cast<std::size_t>(std::upper_bound(m_x.begin(), m_x.end(), key) - m_x.begin());
}

YRange MeasurementSeries::yRange(std::size_t first, std::size_t last) const {
  YRange r{m_y[first], m_y[first]};
  std::size_t i = first;
  // Single points up to a block boundary.
  while (i < last && i % kBlock != 0) widen(r, m_y[i++]);
  // Whole blocks up to a super-block boundary.
  while (i + kBlock <= last && i % kSuperBlock != 0) {
    widen(r, m_block[i / kBlock]);
    i += kBlock;
  }
  // Whole super blocks.
  while (i + kSuperBlock <= last) {
    widen(r, m_super[i / kSuperBlock]);
    i += kSuperBlock;
  }
  // Whole blocks, then single points, to the end.
  while (i + kBlock <= last) {
    widen(r, m_block[i / kBlock]);
    i += kBlock;
  }
  while (i < last) widen(r, m_y[i++]);
  return r;
}

std::size_t MeasurementSeries::memoryBytes() const {
  return (m_x.capacity() + m_y.capacity()) * sizeof(double) +
         (m_block.capacity() + m_super.capacity()) * sizeof(YRange);
}

}  // namespace velmora
