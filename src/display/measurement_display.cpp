#include "display/measurement_display.h"

namespace velmora {

void MeasurementDisplay::AddPoint(double x, double y, double resistance) {
  m_lineBuffer.clear();
  appendListLine(m_lineBuffer, x, y);
  m_list.append(m_lineBuffer);
  m_lastUtcMs = m_wallClock.utcMs();
  m_series.add(x, y, resistance, m_lastUtcMs);
  m_unsaved = true;
  m_rules.afterPoint(y);
}

void MeasurementDisplay::miClearClick() {
  m_rules.endZoom();
  if (beforeReplace) beforeReplace();
  m_list.clear();
  m_series.clear();
  m_clock.reset();
  m_unsaved = false;
  m_rules.setScrollPosition(100);
  m_rules.setScrollEnabled(false);
  m_rules.UpdateChartAxis();
  if (afterReplace) afterReplace();
}

void MeasurementDisplay::replaceAll(ReadingList list, MeasurementSeries series) {
  m_rules.endZoom();
  if (beforeReplace) beforeReplace();
  m_list = std::move(list);
  m_series = std::move(series);
  m_rules.setScrollPosition(100);
  m_rules.UpdateChartAxis();
  m_clock.continueAfterLoad(m_series.empty() ? 0.0 : m_series.maxX());
  m_unsaved = false;
  if (afterReplace) afterReplace();
}

}  // namespace velmora
