#pragma once
// The statistics panel (a dock beside the chart): count, mean, spread, extremes and drift of
// temperature and resistance over the chart's visible range or a span chosen with Shift-drag,
// and whether the temperature has settled (stable within a threshold over the last minutes).

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QWidget>

#include "display/span_statistics.h"
#include "display/stability.h"
#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

class StatisticsPanel : public QWidget {
  Q_OBJECT
 public:
  explicit StatisticsPanel(const Translator& tr, QWidget* parent = nullptr);

  // `span`: the figures are of a chosen span (else of the visible range).
  void showStatistics(const SpanStatistics& s, bool span);
  void showStability(const Stability& s, double windowMinutes);
  void retranslate();
  // The figures as text (a tab between columns, a line per row), as Ctrl+C in the table copies them.
  QString statisticsText() const;

  QTableWidget* table() const { return m_table; }
  QLabel* sourceLabel() const { return m_source; }
  // The instrument the figures are of (a caption shown with several; empty hides it).
  void setInstrumentCaption(const QString& caption);
  QLabel* instrumentLabel() const { return m_instrument; }
  QLabel* stabilityLabel() const { return m_stability; }
  QSpinBox* windowMinutes() const { return m_window; }
  QDoubleSpinBox* threshold() const { return m_threshold; }
  QPushButton* clearSpanButton() const { return m_clearSpan; }
  QPushButton* addPointButton() const { return m_addPoint; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  void stabilityRuleChanged();
  void clearSpanClicked();
  void addPointClicked();

 private:
  const Translator& m_tr;
  QLabel* m_instrument;
  QLabel* m_source;
  QLabel* m_hint;
  QPushButton* m_clearSpan;
  QTableWidget* m_table;
  QLabel* m_stabilityTitle;
  QLabel* m_windowLabel;
  QLabel* m_thresholdLabel;
  QSpinBox* m_window;
  QDoubleSpinBox* m_threshold;
  QLabel* m_stability;
  QPushButton* m_addPoint;
  SpanStatistics m_last;
  bool m_lastSpan = false;
  Stability m_lastStability;
  double m_lastWindow = 10;
};

// A figure as the panel shows it: fixed decimals with ".", a dash when there is none.
QString statisticText(double v, int decimals);

}  // namespace velmora
