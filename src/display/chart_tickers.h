#pragma once
// The chart's axis tickers: the time axis (elapsed "h:mm" / "h:mm:ss", or local clock time
// with the date where the day changes) and a value axis whose steps have a smallest size.

#include <qcustomplot.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

class TimeTicker : public QCPAxisTicker {
 public:
  void setFormat(std::string_view format) { m_format = std::string(format); }
  const std::string& format() const { return m_format; }
  // The unit written after a day count ("d"; the active language's).
  void setDayText(std::string_view text) { m_dayText = std::string(text); }
  // Clock time: X (elapsed days) → ms since 1970 UTC, kNoTime where unknown (that label
  // stays elapsed time). An empty function turns clock time off.
  void setClock(std::function<std::int64_t(double)> clockAt) { m_clockAt = std::move(clockAt); }
  bool clockTime() const { return static_cast<bool>(m_clockAt); }

  // The labels the axis would show for these ticks (public for tests).
  QVector<QString> labelsFor(const QVector<double>& ticks) { return createLabelVector(ticks, QLocale(), 'g', 0); }
  QVector<double> ticksFor(double step, const QCPRange& range) { return createTickVector(step, range); }

 protected:
  double getTickStep(const QCPRange& range) override;
  QString getTickLabel(double tick, const QLocale& locale, QChar formatChar, int precision) override;
  QVector<QString> createLabelVector(const QVector<double>& ticks, const QLocale& locale, QChar formatChar,
                                     int precision) override;
  QVector<double> createTickVector(double tickStep, const QCPRange& range) override;
  int getSubTickCount(double) override { return 0; }

 private:
  // Labels never repeat: ticks finer than a minute show seconds whatever the format, and
  // where the axis passes 24 h of elapsed time the labels carry the day count.
  bool secondsShown() const;
  QString elapsedLabel(double tick) const;

  std::string m_format = "h:mm";
  std::string m_dayText = "d";
  std::function<std::int64_t(double)> m_clockAt;
  double m_step = 0;         // of the ticks last made, in days
  QCPRange m_range{0, 0};  // their range
};

// Label steps never finer than a given smallest step.
class MinStepTicker : public QCPAxisTicker {
 public:
  explicit MinStepTicker(double minStep) : m_minStep(minStep) {}

 protected:
  double getTickStep(const QCPRange& range) override;

 private:
  double m_minStep;
};

}  // namespace velmora
