#include "display/measurement_series.h"

#include <algorithm>
#include <cmath>

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

// A recording grows its columns by an eighth at a time rather than doubling them, so that
// the room held beyond the readings stays small at millions of readings.
void MeasurementSeries::growForOneMore() {
  if (m_x.size() < m_x.capacity()) return;
  const std::size_t room = m_x.size() + m_x.size() / 8 + 4096;
  reserve(room);
}

std::size_t MeasurementSeries::add(double x, double y, double resistance, std::int64_t utcMs) {
  growForOneMore();
  if (m_x.empty() || !(x < m_x.back())) {
    m_x.push_back(x);
    m_y.push_back(y);
    m_r.push_back(resistance);
    m_t.push_back(utcMs);
    summarize(m_x.size() - 1);
    return m_x.size() - 1;
  }
  // Insert after the last point whose X does not exceed x.
  const std::size_t at = static_cast<std::size_t>(std::upper_bound(m_x.begin(), m_x.end(), x) - m_x.begin());
  const auto offset = static_cast<std::ptrdiff_t>(at);
  m_x.insert(m_x.begin() + offset, x);
  m_y.insert(m_y.begin() + offset, y);
  m_r.insert(m_r.begin() + offset, resistance);
  m_t.insert(m_t.begin() + offset, utcMs);
  rebuildFrom(at);
  return at;
}

void MeasurementSeries::summarize(std::size_t i) {
  const double x = m_x[i], y = m_y[i], r = m_r[i];
  if (i % kBlock == 0) {
    m_block.push_back({y, y});
    m_blockMoments.emplace_back();
  } else {
    widen(m_block.back(), y);
  }
  m_blockMoments.back().add(x, y, r);
  if (i % kSuperBlock == 0) {
    m_super.push_back({y, y});
    m_superMoments.emplace_back();
  } else {
    widen(m_super.back(), y);
  }
  // A super block's statistics are merged from its blocks as each one completes (pairwise
  // sums keep their precision); the open block is merged when read.
  if ((i + 1) % kBlock == 0) m_superMoments.back().merge(m_blockMoments.back());
}

void MeasurementSeries::rebuildFrom(std::size_t index) {
  const std::size_t b0 = index / kSuperBlock * (kSuperBlock / kBlock);
  m_block.resize(b0);
  m_blockMoments.resize(b0);
  m_super.resize(index / kSuperBlock);
  m_superMoments.resize(index / kSuperBlock);
  for (std::size_t i = b0 * kBlock; i < m_y.size(); ++i) summarize(i);
}

void MeasurementSeries::assignSorted(std::vector<double> xs, std::vector<double> ys, std::vector<double> resistances,
                                     std::vector<std::int64_t> utcMs) {
  m_x = std::move(xs);
  m_y = std::move(ys);
  m_r = std::move(resistances);
  m_t = std::move(utcMs);
  if (m_r.size() != m_x.size()) m_r.assign(m_x.size(), kNoValue);
  if (m_t.size() != m_x.size()) m_t.assign(m_x.size(), kNoTime);
  m_block.clear();
  m_super.clear();
  m_blockMoments.clear();
  m_superMoments.clear();
  m_block.reserve(m_y.size() / kBlock + 1);
  m_super.reserve(m_y.size() / kSuperBlock + 1);
  m_blockMoments.reserve(m_y.size() / kBlock + 1);
  m_superMoments.reserve(m_y.size() / kSuperBlock + 1);
  for (std::size_t i = 0; i < m_y.size(); ++i) summarize(i);
}

void MeasurementSeries::clear() {
  *this = MeasurementSeries();
}

void MeasurementSeries::reserve(std::size_t n) {
  m_x.reserve(n);
  m_y.reserve(n);
  m_r.reserve(n);
  m_t.reserve(n);
  m_block.reserve(n / kBlock + 1);
  m_super.reserve(n / kSuperBlock + 1);
  m_blockMoments.reserve(n / kBlock + 1);
  m_superMoments.reserve(n / kSuperBlock + 1);
}

std::size_t MeasurementSeries::lowerBound(double key) const {
  return static_cast<std::size_t>(std::lower_bound(m_x.begin(), m_x.end(), key) - m_x.begin());
}

std::size_t MeasurementSeries::lowerBoundFrom(double key, std::size_t from) const {
  const std::size_t n = m_x.size();
  if (from >= n || !(m_x[from] < key)) return std::min(from, n);
  std::size_t lo = from + 1, step = 1, hi = from + 1;
  while (hi < n && m_x[hi] < key) {
    lo = hi + 1;
    step *= 2;
    hi = from + step;
  }
  hi = std::min(hi, n);
  return static_cast<std::size_t>(std::lower_bound(m_x.begin() + static_cast<std::ptrdiff_t>(lo),
                                                   m_x.begin() + static_cast<std::ptrdiff_t>(hi), key) -
                                  m_x.begin());
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

SpanStatistics MeasurementSeries::statistics(std::size_t first, std::size_t last) const {
  BlockMoments m;
  std::size_t i = first;
  const auto point = [&](std::size_t k) { m.add(m_x[k], m_y[k], m_r[k]); };
  // A whole block is read from its summary only when complete (the last one may be open).
  while (i < last && i % kBlock != 0) point(i++);
  while (i + kBlock <= last && i % kSuperBlock != 0) m.merge(m_blockMoments[i / kBlock]), i += kBlock;
  while (i + kSuperBlock <= last) m.merge(m_superMoments[i / kSuperBlock]), i += kSuperBlock;
  while (i + kBlock <= last) m.merge(m_blockMoments[i / kBlock]), i += kBlock;
  while (i < last) point(i++);
  SpanStatistics s;
  s.temperature = ValueStatistics::from(m.temperature);
  s.resistance = ValueStatistics::from(m.resistance);
  if (first < last) {
    s.firstX = m_x[first];
    s.lastX = m_x[last - 1];
  }
  return s;
}

std::int64_t MeasurementSeries::utcMsAt(double x) const {
  if (m_x.empty()) return kNoTime;
  const std::size_t n = m_x.size();
  const std::size_t at = std::min(lowerBound(x), n - 1);
  // The nearest known clock time within a block either side, else the latest one.
  std::size_t found = n;
  for (std::size_t d = 0; d < kBlock && found == n; ++d) {
    if (at + d < n && m_t[at + d] != kNoTime) found = at + d;
    else if (d <= at && m_t[at - d] != kNoTime) found = at - d;
  }
  for (std::size_t k = n; k-- > 0 && found == n && n - k <= kBlock;)
    if (m_t[k] != kNoTime) found = k;
  if (found == n) return kNoTime;
  return m_t[found] + static_cast<std::int64_t>(std::llround((x - m_x[found]) * 86400000.0));
}

std::size_t MeasurementSeries::memoryBytes() const {
  return (m_x.capacity() + m_y.capacity() + m_r.capacity()) * sizeof(double) +
         m_t.capacity() * sizeof(std::int64_t) + (m_block.capacity() + m_super.capacity()) * sizeof(YRange) +
         (m_blockMoments.capacity() + m_superMoments.capacity()) * sizeof(BlockMoments);
}

}  // namespace velmora
