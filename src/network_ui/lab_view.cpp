#include "network_ui/lab_view.h"

#include <QDateTime>
#include <algorithm>
#include <QScreen>
#include <QHeaderView>
#include <QSplitter>
#include <QStatusBar>
#include <cmath>
#include <qcustomplot.h>

#include "common/number_text.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

namespace {
enum Column { kStation, kInstrument, kLast, kAge, kStability, kStatus, kColumns };

QString ageText(const Translator& tr, std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(0, ms) / 1000;
  if (s < 120) return qs(tr.text("lvSeconds")).arg(s);
  if (s < 7200) return qs(tr.text("lvMinutes")).arg(s / 60);
  if (s < 172800) return qs(tr.text("lvHours")).arg(s / 3600);
  return qs(tr.text("lvDays")).arg(s / 86400);
}

QString stateText(const Translator& tr, const std::string& state) {
  static const std::pair<const char*, const char*> kWords[] = {{"idle", "inIdle"},
                                                                {"recording", "inRecording"},
                                                                {"reconnecting", "inReconnecting"},
                                                                {"no valid readings", "inGarbage"},
                                                                {"failed", "inFailed"},
                                                                {"offline", "lvOffline"}};
  for (const auto& [word, id] : kWords)
    if (state == word) return qs(tr.text(id));
  return QString::fromStdString(state);
}
}  // namespace

LabView::LabView(const MqttSettings& settings, const Translator& tr, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_tr(tr) {
  setObjectName("fmLabView");
  auto* split = new QSplitter(Qt::Vertical, this);
  m_table = new QTableWidget(0, kColumns, split);
  m_table->setObjectName("tbLab");
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setTabKeyNavigation(false);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_plot = new QCustomPlot(split);
  m_plot->setObjectName("lvChart");
  m_plot->setMinimumHeight(200);
  m_plot->addGraph();
  m_plot->graph(0)->setPen(QPen(QColor(0x00, 0x80, 0xC0)));
  auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
  ticker->setDateTimeFormat("HH:mm:ss");
  m_plot->xAxis->setTicker(ticker);
  // Until a reading is drawn: the last ten minutes (not the start of 1970).
  const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
  m_plot->xAxis->setRange(now - 600, now);
  connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { fitTimeAxis(); });
  m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  split->addWidget(m_table);
  split->addWidget(m_plot);
  split->setStretchFactor(1, 1);
  setCentralWidget(split);
  m_state = new QLabel(this);
  m_state->setObjectName("lbLabState");
  statusBar()->addWidget(m_state, 1);
  connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] { drawSelected(true); });
  resize(820, 560);
  m_subscriber = std::make_unique<LabSubscriber>(m_settings);
  connect(&m_timer, &QTimer::timeout, this, &LabView::poll);
  m_timer.start(250);
  retranslate();
}

LabView::~LabView() = default;

void LabView::retranslate() {
  setWindowTitle(qs(m_tr.text("lvTitle")).arg(QString::fromStdString(m_settings.url)));
  QStringList headers;
  for (const char* id : {"lvStation", "lvInstrument", "lvLast", "lvAge", "inStability", "lvStatus"}) headers << qs(m_tr.text(id));
  m_table->setHorizontalHeaderLabels(headers);
  m_plot->yAxis->setLabel(QString::fromUtf8("T, \u00B0C"));
  refreshTable();
}

void LabView::poll() {
  for (const auto& m : m_subscriber->take()) m_board.take(m.topic, m.payload);
  const QString url = QString::fromStdString(m_settings.url);
  const std::string error = m_subscriber->error();
  if (m_subscriber->connected()) {
    m_everConnected = true;
    m_state->setText(qs(m_tr.text("lvConnected")).arg(url));
    m_state->setStyleSheet(QString());
  } else if (m_everConnected) {
    // The lab view's own link is gone: said once, here; the stations keep their last state.
    m_state->setText(qs(m_tr.text("lvLost")).arg(url, QString::fromStdString(error)));
    m_state->setStyleSheet("QLabel { color: #b00000; }");
  } else if (error.empty()) {
    m_state->setText(qs(m_tr.text("lvConnecting")).arg(url));
  } else {
    m_state->setText(qs(m_tr.text("lvNotConnected")).arg(url, QString::fromStdString(error)));
    m_state->setStyleSheet("QLabel { color: #b00000; }");
  }
  refreshTable();
  drawSelected(false);
}

void LabView::refreshTable() {
  const auto& all = m_board.instruments();
  if (m_table->rowCount() != static_cast<int>(all.size())) {
    const int was = m_table->rowCount();
    m_table->setRowCount(static_cast<int>(all.size()));
    for (int r = was; r < m_table->rowCount(); ++r)
      for (int c = 0; c < kColumns; ++c) m_table->setItem(r, c, new QTableWidgetItem);
  }
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  const QColor text = palette().color(QPalette::Text), red(176, 0, 0);
  for (int r = 0; r < m_table->rowCount(); ++r) {
    const LabInstrument& in = all[static_cast<std::size_t>(r)];
    m_table->item(r, kStation)->setText(QString::fromStdString(in.station));
    m_table->item(r, kInstrument)->setText(QString::fromStdString(in.instrument));
    m_table->item(r, kLast)->setText(in.hasReading() ? qs(formatFixed(in.last().temperature, 7, 3)) + QString::fromUtf8(" \u00B0C")
                                                     : QString());
    m_table->item(r, kAge)->setText(in.hasReading() ? ageText(m_tr, now - in.last().utcMs) : QString());
    // Without the broker nothing can arrive: an old age is no fault of the station's.
    m_table->item(r, kAge)->setForeground(m_subscriber->connected() && labStale(in, now) ? red : text);
    const LabStability st = labStability(in, windowMinutes, threshold);
    m_table->item(r, kStability)->setText(st.state == LabStability::State::Stable     ? qs(m_tr.text("inStable"))
                                          : st.state == LabStability::State::Unstable ? qs(m_tr.text("inUnstable"))
                                                                                      : QString::fromUtf8("\u2014"));
    QString status = stateText(m_tr, in.state);
    if (!in.lastError.empty()) status += ": " + QString::fromStdString(in.lastError);
    m_table->item(r, kStatus)->setText(status);
    const bool bad = in.state == "failed" || in.state == "offline" || in.state == "no valid readings";
    m_table->item(r, kStatus)->setForeground(bad ? red : text);
  }
  if (m_table->rowCount() > 0 && m_table->selectionModel()->selectedRows().isEmpty() && m_drawn < 0)
    m_state->setToolTip(qs(m_tr.text("lvSelect")));
}

void LabView::drawSelected(bool fromScratch) {
  const auto rows = m_table->selectionModel()->selectedRows();
  const int selected = rows.isEmpty() ? -1 : rows.first().row();
  QCPGraph* graph = m_plot->graph(0);
  if (selected < 0) {
    if (m_drawn >= 0) {
      graph->data()->clear();
      m_plot->replot();
    }
    m_drawn = -1;
    return;
  }
  const LabInstrument& in = m_board.instruments()[static_cast<std::size_t>(selected)];
  const std::uint64_t reorders = m_board.reorders(static_cast<std::size_t>(selected));
  if (selected != m_drawn || reorders != m_drawnReorders) fromScratch = true;
  if (!fromScratch && in.points.size() == m_drawnPoints) return;
  if (fromScratch) {
    graph->data()->clear();
    m_drawnPoints = 0;
  }
  // Only what is new goes in (the readings come in time order; anything else redraws all).
  QVector<double> keys, values;
  keys.reserve(static_cast<int>(in.points.size() - m_drawnPoints));
  values.reserve(keys.capacity());
  for (std::size_t i = m_drawnPoints; i < in.points.size(); ++i) {
    keys.push_back(static_cast<double>(in.points[i].utcMs) / 1000.0);
    values.push_back(in.points[i].temperature);
  }
  graph->addData(keys, values, true);
  m_drawn = selected;
  m_drawnPoints = in.points.size();
  m_drawnReorders = reorders;
  graph->setName(QString::fromStdString(in.station + " / " + in.instrument));
  m_plot->rescaleAxes();
  const QCPRange y = m_plot->yAxis->range();
  if (y.size() < 1e-3) m_plot->yAxis->setRange(y.center() - 0.0005, y.center() + 0.0005);
  m_plot->replot();
}

// Times on the axis; the date too where the range spans more than a day.
void LabView::fitTimeAxis() {
  auto ticker = qSharedPointerDynamicCast<QCPAxisTickerDateTime>(m_plot->xAxis->ticker());
  if (!ticker) return;
  const QString format = m_plot->xAxis->range().size() > 86400 ? "dd.MM\nHH:mm" : "HH:mm:ss";
  if (ticker->dateTimeFormat() != format) ticker->setDateTimeFormat(format);
}

void LabView::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (QScreen* s = screen()) {
    const QRect room = s->availableGeometry();
    QRect frame = frameGeometry();
    const QSize inner = size() - (frame.size() - size());
    if (frame.width() > room.width() || frame.height() > room.height())
      resize(std::min(inner.width(), room.width() - (frame.width() - width())),
             std::min(inner.height(), room.height() - (frame.height() - height())));
    frame = frameGeometry();
    QPoint at = frame.topLeft();
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - frame.width() + 1)));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - frame.height() + 1)));
    if (at != frame.topLeft()) move(at);
  }
}

}  // namespace velmora
