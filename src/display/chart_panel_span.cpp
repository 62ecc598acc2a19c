// The chart panel's span chosen with Shift-drag (kept, drawn as a band, cleared) and its
// time axis in clock time.
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "display/chart_panel.h"

namespace velmora {

void ChartPanel::onSpan(int fromPx, int toPx) {
  if (std::abs(toPx - fromPx) < 3) {
    clearSpan();
    return;
  }
  const double a = m_plot->xAxis->pixelToCoord(fromPx), b = m_plot->xAxis->pixelToCoord(toPx);
  setSpan(std::min(a, b), std::max(a, b));
}

void ChartPanel::setSpan(double from, double to) {
  m_span = {from, to};
  m_plot->update();
  emit spanChanged();
}

void ChartPanel::clearSpan() {
  if (!m_span) return;
  m_span.reset();
  m_plot->update();
  emit spanChanged();
}

void ChartPanel::drawSpan(QPainter& p, const QRect& area) {
  if (!m_span) return;
  const double l = m_plot->xAxis->coordToPixel(m_span->first), r = m_plot->xAxis->coordToPixel(m_span->second);
  const QRectF band = QRectF(QPointF(l, area.top()), QPointF(r, area.bottom())).intersected(QRectF(area));
  if (band.isEmpty()) return;
  p.save();
  p.setPen(QPen(QColor(45, 95, 160), 1, Qt::DashLine));
  p.setBrush(QColor(45, 95, 160, 40));
  p.drawRect(band);
  p.restore();
}

void ChartPanel::setClockTime(bool on) {
  if (on) {
    const MeasurementSeries* series = &m_series;
    m_timeTicker->setClock([series](double x) { return series->utcMsAt(x); });
  } else {
    m_timeTicker->setClock({});
  }
  m_plot->replot(QCustomPlot::rpQueuedRefresh);
}

}  // namespace velmora
