#pragma once
// Draws the measurement series inside the chart. A dense visible range is reduced to a
// minimum and a maximum per pixel column (found through the series' min/max summary and
// binary searches on X) and drawn as separate segments, so a redraw costs about the same
// for ten thousand points as for ten million.

#include <qcustomplot.h>

#include "display/measurement_series.h"

namespace velmora {

class SeriesPlottable : public QCPAbstractPlottable {
  Q_OBJECT
 public:
  SeriesPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis, const MeasurementSeries& series);

  double selectTest(const QPointF& pos, bool onlySelectable, QVariant* details = nullptr) const override;
  QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
  QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                         const QCPRange& inKeyRange = QCPRange()) const override;

  // The index of the point whose pixel the position hits, otherwise the first point of the
  // segment passing through it; -1 when the line is not hit.
  long long hitIndex(const QPointF& pos) const;

  // Points further apart in time than this (days) are not joined by a line, so an outage
  // shows as a gap; 0 joins every point (the designed look).
  void setGapThreshold(double days) { m_gap = days; }
  double gapThreshold() const { return m_gap; }
  const MeasurementSeries& series() const { return m_series; }

 protected:
  void draw(QCPPainter* painter) override;
  void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

 private:
  QPointF pixelOf(std::size_t i) const;
  bool joined(std::size_t i, std::size_t j) const { return m_gap <= 0 || m_series.x(j) - m_series.x(i) <= m_gap; }
  const MeasurementSeries& m_series;
  double m_gap = 0;
};

}  // namespace velmora
