#include "display/series_plottable.h"

#include <algorithm>
#include <cmath>

namespace velmora {

SeriesPlottable::SeriesPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis, const MeasurementSeries& series)
    : QCPAbstractPlottable(keyAxis, valueAxis), m_series(series) {
  setPen(QPen(QColor(0, 128, 192), 2));
  setBrush(Qt::NoBrush);
  setAntialiased(false);
  setSelectable(QCP::stNone);
}

QPointF SeriesPlottable::pixelOf(std::size_t i) const {
  return {mKeyAxis->coordToPixel(m_series.x(i)), mValueAxis->coordToPixel(m_series.y(i))};
}

void SeriesPlottable::draw(QCPPainter* painter) {
  const std::size_t n = m_series.size();
  if (n == 0 || !mKeyAxis || !mValueAxis) return;
  const QCPRange kr = mKeyAxis->range();
  // In-range points [a, b), plus one neighbour on each side for the lines leaving the plot.
  const std::size_t a = m_series.lowerBound(kr.lower);
  const std::size_t b = m_series.upperBound(kr.upper);
  const std::size_t first = a > 0 ? a - 1 : 0;
  const std::size_t last = b < n ? b + 1 : n;  // exclusive
  if (last <= first) return;
  applyDefaultAntialiasingHint(painter);
  painter->setPen(mPen);
  painter->setBrush(Qt::NoBrush);

  const double leftPx = mKeyAxis->coordToPixel(kr.lower);
  const double rightPx = mKeyAxis->coordToPixel(kr.upper);
  const double widthPx = std::fabs(rightPx - leftPx);
  if (static_cast<double>(last - first) <= 2.0 * widthPx + 4) {
    // Few points: polylines, broken where the points are too far apart in time.
    QVector<QPointF> pts;
    pts.reserve(static_cast<int>(last - first));
    auto flush = [&] {
      if (pts.size() == 1)
        painter->drawPoint(pts[0]);
      else if (pts.size() > 1)
        painter->drawPolyline(pts.constData(), static_cast<int>(pts.size()));
      pts.clear();
    };
    for (std::size_t i = first; i < last; ++i) {
      if (i > first && !joined(i - 1, i)) flush();
      pts.push_back(pixelOf(i));
    }
    flush();
    return;
  }

  // Dense: per pixel column one bar from its minimum to its maximum, reaching to the previous
  // column's last point where the line joins them — what the 2-pixel line from column to
  // column covers — filled as rectangles (no stroking).
  QVector<QRectF> bars;
  bars.reserve(static_cast<int>(widthPx) + 8);
  QVector<QLineF> lines;  // the lines leaving the plot at its ends
  QPointF prev;
  bool havePrev = false;
  std::size_t prevIndex = first;
  if (first < a) {
    prev = pixelOf(first);
    havePrev = true;
  }
  const int c0 = static_cast<int>(std::floor(std::min(leftPx, rightPx)));
  const int c1 = static_cast<int>(std::ceil(std::max(leftPx, rightPx)));
  std::size_t idx = a;
  const bool forward = rightPx >= leftPx;
  bool firstColumn = true;
  for (int c = c0; c <= c1 && idx < b; ++c) {
    const double keyEnd = mKeyAxis->pixelToCoord(forward ? c + 1 : c);
    std::size_t end = c == c1 ? b : std::min(b, m_series.lowerBoundFrom(keyEnd, idx));
    if (end <= idx) continue;
    const YRange yr = m_series.yRange(idx, end);
    const double x = c + 0.5;
    double top = mValueAxis->coordToPixel(yr.max), bottom = mValueAxis->coordToPixel(yr.min);
    if (top > bottom) std::swap(top, bottom);
    if (havePrev && joined(prevIndex, idx)) {
      if (firstColumn) {
        lines.push_back(QLineF(prev, QPointF(x, mValueAxis->coordToPixel(m_series.y(idx)))));
      } else {
        // One pixel on from the previous column: its last point joins this column's bar.
        top = std::min(top, prev.y());
        bottom = std::max(bottom, prev.y());
      }
    }
    bars.push_back(QRectF(std::floor(x) - 1.0, std::floor(top) - 1.0, 2.0, std::floor(bottom) - std::floor(top) + 2.0));
    prev = QPointF(x, mValueAxis->coordToPixel(m_series.y(end - 1)));
    prevIndex = end - 1;
    havePrev = true;
    firstColumn = false;
    idx = end;
  }
  if (b < n && havePrev && joined(prevIndex, b)) lines.push_back(QLineF(prev, pixelOf(b)));
  painter->setPen(Qt::NoPen);
  painter->setBrush(mPen.color());
  painter->drawRects(bars);
  painter->setPen(mPen);
  painter->setBrush(Qt::NoBrush);
  if (!lines.isEmpty()) painter->drawLines(lines);
}

void SeriesPlottable::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
  painter->setPen(mPen);
  painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
}

QCPRange SeriesPlottable::getKeyRange(bool& foundRange, QCP::SignDomain) const {
  foundRange = !m_series.empty();
  if (!foundRange) return {};
  return {m_series.x(0), m_series.maxX()};
}

QCPRange SeriesPlottable::getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const {
  foundRange = !m_series.empty();
  if (!foundRange) return {};
  const YRange r = m_series.yRange(0, m_series.size());
  return {r.min, r.max};
}

double SeriesPlottable::selectTest(const QPointF& pos, bool, QVariant*) const {
  return hitIndex(pos) >= 0 ? 0.0 : -1.0;
}

long long SeriesPlottable::hitIndex(const QPointF& pos) const {
  const std::size_t n = m_series.size();
  if (n == 0) return -1;
  constexpr double kTolerance = 1.5;  // the 2-pixel line itself
  double k0 = mKeyAxis->pixelToCoord(pos.x() - kTolerance);
  double k1 = mKeyAxis->pixelToCoord(pos.x() + kTolerance);
  if (k0 > k1) std::swap(k0, k1);
  const std::size_t a = m_series.lowerBound(k0);
  const std::size_t b = m_series.upperBound(k1);
  constexpr std::size_t kMaxScan = 200000;
  for (std::size_t i = a; i < b && i < a + kMaxScan; ++i) {
    const QPointF p = pixelOf(i);
    if (std::fabs(p.x() - pos.x()) <= kTolerance && std::fabs(p.y() - pos.y()) <= kTolerance)
      return static_cast<long long>(i);
  }
  const std::size_t s0 = a > 0 ? a - 1 : 0;
  const std::size_t s1 = std::min(b, n - 1);
  for (std::size_t i = s0; i < s1 && i < s0 + kMaxScan; ++i) {
    const QPointF p = pixelOf(i);
    const QPointF q = pixelOf(i + 1);
    const QPointF d = q - p;
    const double len2 = d.x() * d.x() + d.y() * d.y();
    double t = len2 > 0 ? ((pos.x() - p.x()) * d.x() + (pos.y() - p.y()) * d.y()) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF c = p + t * d;
    if (std::hypot(c.x() - pos.x(), c.y() - pos.y()) <= kTolerance) return static_cast<long long>(i);
  }
  return -1;
}

}  // namespace velmora
