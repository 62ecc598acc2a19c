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
  // Longer than ten days a step: whole days, 1-2-5 times a power of ten.
  const double days = exact / 86400.0;
  double power = std::pow(10.0, std::floor(std::log10(days)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= days) return m * power;
  return 10 * power;
}

bool TimeTicker::secondsShown() const {
  return m_format == "h:mm:ss" || std::llround(m_step * 86400.0) % 60 != 0;
}

QString TimeTicker::elapsedLabel(double tick) const {
  const double seconds = std::nearbyint(tick * 86400.0);
  if (!(m_range.upper >= 1.0) || !std::isfinite(seconds) || seconds < 0)
    return QString::fromStdString(formatTimeOfDay(tick, secondsShown() ? "h:mm:ss" : "h:mm"));
  // Beyond a day: the day count, then the time within the day (nothing more for day steps).
  const auto total = static_cast<long long>(seconds);
  const long long day = total / 86400, s = total % 86400;
  const QString days = QString("%1 %2").arg(day).arg(QString::fromStdString(m_dayText));
  if (std::llround(m_step * 86400.0) % 86400 == 0) return days;
  if (secondsShown())
    return QString::asprintf("%s %lld:%02lld:%02lld", days.toUtf8().constData(), s / 3600, s / 60 % 60, s % 60);
  return QString::asprintf("%s %lld:%02lld", days.toUtf8().constData(), s / 3600, s / 60 % 60);
}

QString TimeTicker::getTickLabel(double tick, const QLocale&, QChar, int) { return elapsedLabel(tick); }

QVector<QString> TimeTicker::createLabelVector(const QVector<double>& ticks, const QLocale& locale, QChar formatChar,
                                               int precision) {
  if (!m_clockAt) return QCPAxisTicker::createLabelVector(ticks, locale, formatChar, precision);
  QVector<QString> labels;
  labels.reserve(ticks.size());
  const bool seconds = secondsShown();
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
  m_step = tickStep;
  m_range = range;
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
