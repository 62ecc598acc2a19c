#include "display/axis_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/number_text.h"
#include "display/measurement_series.h"

namespace velmora {

// The three boxes: a box that does not convert is reported and nothing changes; a zero
// range (which would collapse its axis) is not taken, and its box shows the range in force.
bool AxisRules::readBoxes() {
  const AxisBox boxes[] = {AxisBox::Ystart, AxisBox::Yrange, AxisBox::Xrange};
  double values[3];
  for (int i = 0; i < 3; ++i) {
    const std::string text = m_view.boxText(boxes[i]);
    auto v = parseNumber(text, Blanks::Allowed);
    if (!v || !std::isfinite(*v)) {
      m_view.showError(notAValidFloat(text));
      return false;
    }
    values[i] = *v;
  }
  m_ystart = values[0];
  if (values[1] != 0)
    m_yrange = std::fabs(values[1]);
  else
    m_view.setBoxText(AxisBox::Yrange, formatFixed(m_yrange, 4, 0));
  if (values[2] != 0)
    m_xrange = std::fabs(values[2]);
  else
    m_view.setBoxText(AxisBox::Xrange, formatFixed(m_xrange, 4, 0));
  return true;
}

// The time window of the given width over the run: it keeps its start unless that leaves
// the newest point out; a window that was following the newest point keeps following it.
void AxisRules::placeTimeWindow(bool following) {
  const AxisScale bottom = m_view.bottomAxis();
  const double w = windowWidth();
  const double m = m_series.maxX();
  double lo = bottom.min;
  double hi = lo + w;
  if (m > 0) {
    if (!(m >= hi) || following) {
      hi = m;
      lo = m - w;
    }
    if (!(lo >= 0)) {
      lo = 0;
      hi = w;
    }
  }
  m_view.setBottomRange(lo, hi);
}

// The scroll bar after the window moved: enabled when there is data outside the window,
// its position the window's start over the scrollable span.
void AxisRules::syncScrollPosition() {
  const AxisScale bottom = m_view.bottomAxis();
  const double w = windowWidth();
  const double m = m_series.maxX();
  m_scrollEnabled = bottom.min > 0 || m > bottom.max;
  publishScroll();
  if (!m_scrollEnabled) return;
  const double span = m - w;
  double ratio;
  if (span != 0)
    ratio = bottom.min / span * 100;
  else
    ratio = bottom.min > 0 ? 100 : 0;  // never divide by zero
  double rounded = std::nearbyint(ratio);  // ties to even
  if (!(rounded >= 0)) rounded = 0;
  if (rounded > 100) rounded = 100;
  const int pos = static_cast<int>(rounded);
  if (pos != m_scrollPos) {
    m_scrollPos = pos;
    publishScroll();
    applyScrollPosition();
  }
}

bool AxisRules::UpdateChartAxis() {
  if (!readBoxes()) return false;
  const AxisScale left = m_view.leftAxis();
  if (!left.automatic) m_view.setLeftRange(m_ystart, m_ystart + m_yrange);
  if (m_view.bottomAxis().automatic) {
    m_scrollEnabled = false;
    publishScroll();
  } else {
    placeTimeWindow(m_scrollPos == 100 && !m_view.zoomed());
    syncScrollPosition();
    m_view.setBottomLabelFormat(m_xrange >= 15 ? "h:mm" : "h:mm:ss");
  }
  m_view.redraw();
  cbAxisClick();
  return true;
}

void AxisRules::cbAxisClick() {
  const bool checked = m_view.axisSetupChecked();
  if (checked) {
    const int T = m_view.leftAxisTop();
    const int B = m_view.leftAxisBottom();
    const int L = m_view.bottomAxisLeft();
    const int R = m_view.bottomAxisRight();
    m_view.placeBox(AxisBox::Ystart, L - m_view.boxWidth(AxisBox::Ystart), B);
    m_view.placeBox(AxisBox::Yrange, L + 24, (T + (B - T) / 2) - m_view.boxHeight(AxisBox::Yrange) / 2);
    m_view.placeBox(AxisBox::Xrange, (L + (R - L) / 2) - m_view.boxWidth(AxisBox::Xrange) / 2,
                    B - m_view.boxHeight(AxisBox::Xrange) - 12);
    m_view.setBoxText(AxisBox::Ystart, formatFixed(m_ystart, 4, 0));
    m_view.setBoxText(AxisBox::Yrange, formatFixed(m_yrange, 4, 0));
    m_view.setBoxText(AxisBox::Xrange, formatFixed(m_xrange, 4, 0));
  }
  m_view.redraw();
  const bool leftManual = !m_view.leftAxis().automatic;
  const bool bottomManual = !m_view.bottomAxis().automatic;
  m_view.setBoxVisible(AxisBox::Yrange, checked && leftManual);
  m_view.setBoxVisible(AxisBox::Ystart, checked && leftManual);
  m_view.setBoxVisible(AxisBox::Xrange, checked && bottomManual);
}

bool AxisRules::acceptsKey(std::string_view text, std::size_t selected, char key) {
  if (key == '\b' || key == '\r') return true;
  // The limit is on the text the key leaves: a typed character replaces the selection.
  if (key == '-' || (key >= '0' && key <= '9')) return text.size() - std::min(selected, text.size()) < 3;
  return false;
}

bool AxisRules::boxEnter(AxisBox box) {
  const std::string text = m_view.boxText(box);
  auto n = parseInteger(text);
  if (!n) return false;
  if (*n == 0 && box != AxisBox::Ystart) return false;  // a zero range would collapse the axis
  return UpdateChartAxis();
}

void AxisRules::applyScrollPosition() {
  const double w = windowWidth();
  const double start = (m_series.maxX() - w) * m_scrollPos / 100.0;
  m_view.setBottomRange(start, start + w);
}

void AxisRules::sbXposChange(int position) {
  if (position < 0) position = 0;
  if (position > 100) position = 100;
  m_scrollPos = position;
  applyScrollPosition();
  m_view.redraw();
}

void AxisRules::setScrollPosition(int position) {
  if (position == m_scrollPos) return;
  m_scrollPos = position;
  m_scrollEnabled = true;
  publishScroll();
  applyScrollPosition();
}

void AxisRules::setScrollEnabled(bool enabled) {
  m_scrollEnabled = enabled;
  publishScroll();
}

void AxisRules::afterPoint(double y) {
  const AxisScale left = m_view.leftAxis();
  if (m_catch && !left.automatic && (y > left.max || !(y >= left.min))) {
    const double start = y - m_yrange / 2;
    m_view.setBoxText(AxisBox::Ystart, formatFixed(start, 3, 0));
    UpdateChartAxis();
  }
  const AxisScale bottom = m_view.bottomAxis();
  const double m = m_series.maxX();
  if (m_scrollPos == 100 && !bottom.automatic && m > bottom.max && !m_view.zoomed()) {
    const double d = m - bottom.max;
    m_view.setBottomRange(bottom.min + d, bottom.max + d);
    if (!m_scrollEnabled) {
      m_scrollEnabled = true;
      publishScroll();
    }
  }
}

void AxisRules::miCatchClick(Toggle item, bool checked) {
  switch (item) {
    case Toggle::Catch:
      m_catch = checked;
      break;
    case Toggle::AutoY:
      m_view.setLeftAutomatic(checked);
      break;
    case Toggle::AutoX:
      m_view.setBottomAutomatic(checked);
      break;
  }
  UpdateChartAxis();
}

void AxisRules::ChartZoom() {
  if (!m_zoomArmed) return;
  m_zoomArmed = false;
  m_zoomActive = true;
  m_view.setAxisSetupEnabled(false);
  m_savedAxisSetup = m_view.axisSetupChecked();
  m_view.setAxisSetupChecked(false);
  cbAxisClick();
  m_savedScrollEnabled = m_scrollEnabled;
  m_scrollEnabled = false;
  publishScroll();
}

void AxisRules::endZoom() {
  if (!m_view.zoomed() && !m_zoomActive) return;
  m_view.dropZoom();
  ChartUndoZoom();
}

void AxisRules::ChartUndoZoom() {
  if (m_zoomActive) {
    m_zoomActive = false;
    m_view.setAxisSetupEnabled(true);
    m_view.setAxisSetupChecked(m_savedAxisSetup);
    cbAxisClick();
    m_scrollEnabled = m_savedScrollEnabled;
    publishScroll();
  }
  m_zoomArmed = true;
}

std::string formatTimeOfDay(double days, std::string_view format) {
  double secondsTotal = std::nearbyint(days * 86400.0);
  if (!std::isfinite(secondsTotal)) return {};
  double inDay = std::fmod(secondsTotal, 86400.0);
  if (inDay < 0) inDay += 86400.0;
  const long s = static_cast<long>(inDay);
  char buf[32];
  if (format == "h:mm:ss")
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 3600, (s / 60) % 60);
  return buf;
}

std::string formatHhMmSs(double days) {
  // Rounded to milliseconds, then the seconds are truncated, as a time of day decodes.
  double secondsTotal = std::floor(std::nearbyint(days * 86400000.0) / 1000.0);
  if (!std::isfinite(secondsTotal)) return "00:00:00";
  double inDay = std::fmod(secondsTotal, 86400.0);
  if (inDay < 0) inDay += 86400.0;
  const long s = static_cast<long>(inDay);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
  return buf;
}

}  // namespace velmora
