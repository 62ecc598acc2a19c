#pragma once
// What the main window offers beyond the designed commands for looking at a run: the
// statistics panel with its toolbar button, the clock-time axis in the chart's menu, and the
// CSV exports in the File menu. Wired to the chart, the readings and the file actions.

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QObject>
#include <QToolBar>
#include <cstddef>
#include <functional>
#include <utility>

#include "app/settings_store.h"
#include "app/statistics_panel.h"
#include "calibration/calibration_workflow.h"
#include "display/span_statistics.h"
#include "ui_common/translations.h"

namespace velmora {

class ChartPanel;
class DataFileActions;
class MeasurementDisplay;

class AnalysisTools : public QObject {
  Q_OBJECT
 public:
  AnalysisTools(QMainWindow& window, const Translator& tr, MeasurementDisplay& display, ChartPanel& chart,
                DataFileActions& files);

  // Places the commands: the panel's button before `before` on the toolbar, the exports
  // after `after` in the File menu, the clock-time item at the end of the chart's menu.
  void placeCommands(QToolBar& toolbar, QAction* before, QMenu& fileMenu, QAction* after, QMenu& popup);
  void apply(const MainSettings& s);
  void collect(MainSettings& s) const;
  void retranslate();

  // The instrument whose readings the panel describes (nothing: the designed one's), with its
  // number and name where there are several (the panel names it; a point taken says whose).
  void showSeries(const MeasurementSeries* series, int channel = 0, const QString& instrument = {});
  const MeasurementSeries& series() const;
  // The readings the panel describes: the chosen span, else the chart's visible range
  // (series indices [first, last)).
  std::pair<std::size_t, std::size_t> currentRange() const;
  bool spanChosen() const;
  // Recomputes the panel now (it follows the chart's redraws while it is shown).
  void refresh();
  // The figures last shown.
  const SpanStatistics& shown() const { return m_shown; }
  // The readings of the current range as a calibration point's measured values.
  MeasuredStretch currentStretch() const;
  // "Add as calibration point" was clicked (the main window hands the stretch on).
  std::function<void(const MeasuredStretch&)> takePoint;

  QAction* statsAction() const { return m_miStats; }
  QAction* clockTimeAction() const { return m_miClockTime; }
  QAction* exportAllAction() const { return m_miExportAll; }
  QAction* exportVisibleAction() const { return m_miExportVisible; }
  QDockWidget* dock() const { return m_dock; }
  StatisticsPanel* panel() const { return m_panel; }

 private:
  void exportVisible();
  std::pair<std::size_t, std::size_t> indicesBetween(double from, double to) const;
  std::pair<std::size_t, std::size_t> visibleRange() const;

  MeasurementDisplay& m_display;
  ChartPanel& m_chart;
  DataFileActions& m_files;
  const Translator& m_tr;
  QDockWidget* m_dock;
  StatisticsPanel* m_panel;
  QAction* m_miStats;
  QAction* m_miClockTime;
  QAction* m_miExportAll;
  QAction* m_miExportVisible;
  SpanStatistics m_shown;
  const MeasurementSeries* m_shownSeries = nullptr;
  int m_shownChannel = 0;
  QString m_shownInstrument;
};

}  // namespace velmora
