#include "app/analysis_tools.h"

#include <QToolButton>
#include <algorithm>
#include <cstdio>

#include "common/clock_text.h"
#include "common/number_text.h"

#include "display/chart_panel.h"
#include "display/measurement_display.h"
#include "files/data_file_actions.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

AnalysisTools::AnalysisTools(QMainWindow& window, const Translator& tr, MeasurementDisplay& display, ChartPanel& chart,
                             DataFileActions& files)
    : QObject(&window), m_display(display), m_chart(chart), m_files(files), m_tr(tr) {
  m_dock = new QDockWidget(&window);
  m_dock->setObjectName("dkStats");
  m_dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
  m_panel = new StatisticsPanel(tr, m_dock);
  m_dock->setWidget(m_panel);
  window.addDockWidget(Qt::RightDockWidgetArea, m_dock);
  m_dock->hide();

  m_miStats = new QAction(toolbarIcon(15), QString(), &window);
  m_miStats->setObjectName("miStats");
  m_miStats->setCheckable(true);
  connect(m_miStats, &QAction::toggled, m_dock, &QDockWidget::setVisible);
  connect(m_dock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    // Hidden by its own close button (not by a minimised window): the button follows.
    if (!visible && !m_dock->isVisibleTo(m_dock->parentWidget())) m_miStats->setChecked(false);
    if (visible) refresh();
  });
  m_miClockTime = new QAction(&window);
  m_miClockTime->setObjectName("miClockTime");
  m_miClockTime->setCheckable(true);
  connect(m_miClockTime, &QAction::toggled, &m_chart, &ChartPanel::setClockTime);
  m_miExportAll = new QAction(&window);
  m_miExportAll->setObjectName("miExportCsv");
  connect(m_miExportAll, &QAction::triggered, this, [this] { m_files.exportCsv(0, m_display.series().size()); });
  m_miExportVisible = new QAction(&window);
  m_miExportVisible->setObjectName("miExportCsvVisible");
  connect(m_miExportVisible, &QAction::triggered, this, &AnalysisTools::exportVisible);

  connect(&m_chart, &ChartPanel::viewUpdated, this, [this] {
    if (m_dock->isVisible()) refresh();
  });
  connect(&m_chart, &ChartPanel::spanChanged, this, &AnalysisTools::refresh);
  connect(m_panel, &StatisticsPanel::clearSpanClicked, &m_chart, &ChartPanel::clearSpan);
  connect(m_panel, &StatisticsPanel::stabilityRuleChanged, this, &AnalysisTools::refresh);
  connect(m_panel, &StatisticsPanel::addPointClicked, this, [this] {
    if (takePoint) takePoint(currentStretch());
  });
  retranslate();
}

void AnalysisTools::placeCommands(QToolBar& toolbar, QAction* before, QMenu& fileMenu, QAction* after, QMenu& popup) {
  toolbar.insertAction(before, m_miStats);
  // Its icon alone (the name is its tooltip): the designed buttons and the readout keep
  // their room at the designed window width in both languages.
  if (auto* button = qobject_cast<QToolButton*>(toolbar.widgetForAction(m_miStats)))
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const auto actions = fileMenu.actions();
  const auto at = std::find(actions.begin(), actions.end(), after);
  QAction* next = at != actions.end() && at + 1 != actions.end() ? *(at + 1) : nullptr;
  fileMenu.insertAction(next, m_miExportAll);
  fileMenu.insertAction(next, m_miExportVisible);
  popup.addSeparator();
  popup.addAction(m_miClockTime);
}

void AnalysisTools::apply(const MainSettings& s) {
  m_miClockTime->setChecked(s.ClockTime);
  m_panel->windowMinutes()->setValue(s.StableMinutes);
  m_panel->threshold()->setValue(s.StableThreshold);
  m_miStats->setChecked(s.StatsVisible);
}

void AnalysisTools::collect(MainSettings& s) const {
  s.ClockTime = m_miClockTime->isChecked();
  s.StatsVisible = m_miStats->isChecked();
  s.StableMinutes = m_panel->windowMinutes()->value();
  s.StableThreshold = m_panel->threshold()->value();
}

void AnalysisTools::retranslate() {
  m_miStats->setText(qs(m_tr.text("miStats")));
  m_miStats->setToolTip(qs(m_tr.text("miStats")));
  m_dock->setWindowTitle(qs(m_tr.text("miStats")));
  m_miClockTime->setText(qs(m_tr.text("miClockTime")));
  m_miExportAll->setText(qs(m_tr.text("miExportCsv")));
  m_miExportVisible->setText(qs(m_tr.text("miExportCsvVisible")));
  m_panel->retranslate();
  m_chart.plot()->update();
}

const MeasurementSeries& AnalysisTools::series() const { return m_shownSeries ? *m_shownSeries : m_display.series(); }

void AnalysisTools::showSeries(const MeasurementSeries* series, int channel, const QString& instrument) {
  m_shownSeries = series;
  m_shownChannel = channel;
  m_shownInstrument = instrument;
  m_panel->setInstrumentCaption(instrument);
  refresh();
}

bool AnalysisTools::spanChosen() const { return m_chart.span().has_value(); }

// The series indices [first, last) of the readings with X in [from, to].
std::pair<std::size_t, std::size_t> AnalysisTools::indicesBetween(double from, double to) const {
  const MeasurementSeries& s = series();
  const std::size_t first = s.lowerBound(std::min(from, to));
  return {first, std::max(first, s.upperBound(std::max(from, to)))};
}

std::pair<std::size_t, std::size_t> AnalysisTools::visibleRange() const {
  const AxisScale b = m_chart.bottomAxis();
  return indicesBetween(b.min, b.max);
}

std::pair<std::size_t, std::size_t> AnalysisTools::currentRange() const {
  if (const auto& span = m_chart.span()) return indicesBetween(span->first, span->second);
  return visibleRange();
}

void AnalysisTools::refresh() {
  const auto [first, last] = currentRange();
  m_shown = series().statistics(first, last);
  m_panel->showStatistics(m_shown, spanChosen());
  const double window = m_panel->windowMinutes()->value();
  m_panel->showStability(assessStability(series(), window, m_panel->threshold()->value()), window);
}

namespace {
// A moment of the stretch: local clock time when the reading has one, else elapsed minutes.
std::string momentText(const MeasurementSeries& s, std::size_t i, std::string_view minutes) {
  if (s.utcMs(i) != kNoTime) {
    const CivilTime c = localCivil(s.utcMs(i));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute, c.second);
    return buf;
  }
  return formatFixed(s.x(i) * 1440.0, 8, 2) + " " + std::string(trimBlanks(minutes));
}
}  // namespace

MeasuredStretch AnalysisTools::currentStretch() const {
  const auto [first, last] = currentRange();
  const MeasurementSeries& s = series();
  const SpanStatistics st = s.statistics(first, last);
  MeasuredStretch m;
  m.meanResistance = st.resistance.mean;
  m.meanTemperature = st.temperature.mean;
  m.resistanceCount = st.resistance.count;
  m.temperatureCount = st.temperature.count;
  m.resistanceSd = st.resistance.standardDeviation;
  m.temperatureSd = st.temperature.standardDeviation;
  m.channel = m_shownChannel;
  m.instrument = m_shownInstrument.toStdString();
  if (first < last) {
    m.from = momentText(s, first, m_tr.text("IDS_67"));
    m.to = momentText(s, last - 1, m_tr.text("IDS_67"));
  }
  return m;
}

void AnalysisTools::exportVisible() {
  const auto [first, last] = visibleRange();
  m_files.exportCsv(first, last);
}

}  // namespace velmora
