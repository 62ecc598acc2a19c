#include "display/chart_tickers.h"

#include <cmath>

#include "common/clock_text.h"
#include "display/axis_rules.h"
#include "display/measurement_series.h"

namespace velmora {

double TimeTicker::getTickStep(const QCPRange& range) {
  static constexpr double kSteps[] = {1,    2,    5,    10,    15,    30,    60,    120,   300,    600,
                                      900,  1800, 3600, 7200,  10800, 21600, 43200, 86400, 172800, 432000,
                                      864000};
  const double exact = range.size() / (mTickCount + 1e-10) * 86400.0;  // seconds
  for (double s : kSteps)
    if (s >= exact) return s / 86400.0;
  return QCPAxisTicker::getTickStep(range);
}

QString TimeTicker::getTickLabel(double tick, const QLocale&, QChar, int) {
  return QString::fromStdString(formatTimeOfDay(tick, m_format));
}

QVector<QString> TimeTicker::createLabelVector(const QVector<double>& ticks, const QLocale& locale, QChar formatChar,
                                               int precision) {
  if (!m_clockAt) return QCPAxisTicker::createLabelVector(ticks, locale, formatChar, precision);
  QVector<QString> labels;
  labels.reserve(ticks.size());
  const bool seconds = m_format == "h:mm:ss";
  std::int64_t previous = kNoTime;
  for (double tick : ticks) {
    const std::int64_t t = m_clockAt(tick);
    if (t == kNoTime) {
      labels.append(getTickLabel(tick, locale, formatChar, precision));
      continue;
    }
    // The date under the first label and wherever the local day changes.
    const bool withDate = previous == kNoTime || differentLocalDay(previous, t);
    labels.append(QString::fromStdString(clockTickLabel(t, seconds, withDate)));
    previous = t;
  }
  return labels;
}

// In clock time the ticks fall on round local times (whole minutes, hours, local midnight).
QVector<double> TimeTicker::createTickVector(double tickStep, const QCPRange& range) {
  const std::int64_t t0 = m_clockAt ? m_clockAt(range.lower) : kNoTime;
  if (t0 == kNoTime || !(tickStep > 0)) return QCPAxisTicker::createTickVector(tickStep, range);
  const auto stepMs = static_cast<std::int64_t>(std::llround(tickStep * 86400000.0));
  if (stepMs <= 0) return QCPAxisTicker::createTickVector(tickStep, range);
  const std::int64_t offset = static_cast<std::int64_t>(localCivil(t0).offsetMinutes) * 60000;
  const std::int64_t local0 = t0 + offset;
  std::int64_t firstLocal = local0 / stepMs * stepMs;
  if (firstLocal < local0) firstLocal += stepMs;
  QVector<double> ticks;
  for (std::int64_t local = firstLocal;; local += stepMs) {
    const double x = range.lower + static_cast<double>(local - local0) / 86400000.0;
    if (x > range.upper || ticks.size() > 1000) break;
    ticks.append(x);
  }
  return ticks;
}

double MinStepTicker::getTickStep(const QCPRange& range) {
  return std::max(QCPAxisTicker::getTickStep(range), m_minStep);
}

}  // namespace velmora
