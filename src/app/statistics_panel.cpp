#include "app/statistics_panel.h"

#include <QClipboard>
#include <QFormLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>

#include "ui_common/ui_helpers.h"

namespace velmora {

QString statisticText(double v, int decimals) {
  if (!std::isfinite(v)) return QString::fromUtf8("\u2014");
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

namespace {
constexpr const char* kRowIds[] = {"stCount", "stMean", "stSd", "stMin", "stMax", "stP2p", "stDrift"};
constexpr int kRows = 7;
}  // namespace

StatisticsPanel::StatisticsPanel(const Translator& tr, QWidget* parent) : QWidget(parent), m_tr(tr) {
  setObjectName("pnStats");
  auto* layout = new QVBoxLayout(this);
  m_instrument = new QLabel(this);
  m_instrument->setObjectName("lbStatsInstrument");
  m_instrument->setStyleSheet("font-weight: bold");
  m_instrument->hide();
  m_source = new QLabel(this);
  m_source->setObjectName("lbStatsSource");
  m_source->setWordWrap(true);
  m_hint = new QLabel(this);
  m_hint->setWordWrap(true);
  m_hint->setStyleSheet("color: #55606b");
  m_clearSpan = new QPushButton(this);
  m_clearSpan->setObjectName("btClearSpan");
  m_clearSpan->setEnabled(false);
  connect(m_clearSpan, &QPushButton::clicked, this, &StatisticsPanel::clearSpanClicked);
  m_table = new QTableWidget(kRows, 2, this);
  m_table->setObjectName("tbStats");
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setTabKeyNavigation(false);  // Tab leaves the table for the next control
  m_table->installEventFilter(this);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  m_table->horizontalHeader()->setMinimumSectionSize(90);
  setMinimumWidth(330);
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < 2; ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      m_table->setItem(r, c, item);
    }
  m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  m_table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  m_stabilityTitle = new QLabel(this);
  QFont bold = m_stabilityTitle->font();
  bold.setBold(true);
  m_stabilityTitle->setFont(bold);
  m_window = new QSpinBox(this);
  m_window->setObjectName("seStableMinutes");
  m_window->setRange(1, 1440);
  m_window->setValue(10);
  m_threshold = new DecimalSpinBox(this);
  m_threshold->setObjectName("seStableThreshold");
  m_threshold->setLocale(QLocale::c());
  m_threshold->setDecimals(4);
  m_threshold->setRange(0.0001, 1000);
  m_threshold->setSingleStep(0.001);
  m_threshold->setValue(0.01);
  connect(m_window, &QSpinBox::valueChanged, this, &StatisticsPanel::stabilityRuleChanged);
  connect(m_threshold, &QDoubleSpinBox::valueChanged, this, &StatisticsPanel::stabilityRuleChanged);
  auto* form = new QFormLayout;
  m_windowLabel = new QLabel(this);
  m_thresholdLabel = new QLabel(this);
  form->addRow(m_windowLabel, m_window);
  form->addRow(m_thresholdLabel, m_threshold);
  m_stability = new QLabel(this);
  m_stability->setObjectName("lbStability");
  m_stability->setWordWrap(true);
  m_addPoint = new QPushButton(this);
  m_addPoint->setObjectName("btAddCalibrationPoint");
  connect(m_addPoint, &QPushButton::clicked, this, &StatisticsPanel::addPointClicked);
  layout->addWidget(m_instrument);
  layout->addWidget(m_source);
  layout->addWidget(m_hint);
  layout->addWidget(m_clearSpan, 0, Qt::AlignLeft);
  layout->addWidget(m_table);
  layout->addWidget(m_addPoint);
  layout->addSpacing(8);
  layout->addWidget(m_stabilityTitle);
  layout->addLayout(form);
  layout->addWidget(m_stability);
  layout->addStretch(1);
  retranslate();
}

void StatisticsPanel::showStatistics(const SpanStatistics& s, bool span) {
  m_last = s;
  m_lastSpan = span;
  QString source = qs(m_tr.text(span ? "stSpan" : "stVisible"));
  if (std::isfinite(s.firstX))
    source += QString(": %1 \u2013 %2 %3")
                  .arg(statisticText(s.firstX * 1440.0, 2), statisticText(s.lastX * 1440.0, 2), qs(m_tr.text("IDS_67")));
  else
    source += ": " + qs(m_tr.text("stNoReadings"));
  m_source->setText(source);
  m_clearSpan->setEnabled(span);
  const ValueStatistics* columns[] = {&s.temperature, &s.resistance};
  for (int c = 0; c < 2; ++c) {
    const ValueStatistics& v = *columns[c];
    const double figures[] = {static_cast<double>(v.count), v.mean, v.standardDeviation, v.min, v.max, v.peakToPeak,
                              v.driftPerMinute};
    for (int r = 0; r < kRows; ++r)
      m_table->item(r, c)->setText(r == 0 ? QString::number(v.count) : statisticText(figures[r], r == 6 ? 6 : 5));
  }
}

void StatisticsPanel::showStability(const Stability& s, double windowMinutes) {
  m_lastStability = s;
  m_lastWindow = windowMinutes;
  QString text;
  QString style;
  switch (s.state) {
    case Stability::State::TooShort:
      text = qs(m_tr.text("stTooShort")).arg(windowMinutes);
      style = "color: #55606b";
      break;
    case Stability::State::Unstable:
      text = qs(m_tr.text("stUnstable")).arg(statisticText(s.peakToPeak, 4));
      style = "color: #b03a2e; font-weight: bold";
      break;
    case Stability::State::Stable:
      text = qs(m_tr.text("stStable")).arg(statisticText(s.stableMinutes, 1));
      style = "color: #1e7d32; font-weight: bold";
      break;
  }
  m_stability->setText(text);
  m_stability->setStyleSheet(style);
}

QString StatisticsPanel::statisticsText() const {
  QString text = m_source->text() + "\n\t" + m_table->horizontalHeaderItem(0)->text() + "\t" +
                 m_table->horizontalHeaderItem(1)->text() + "\n";
  for (int r = 0; r < m_table->rowCount(); ++r)
    text += m_table->verticalHeaderItem(r)->text() + "\t" + m_table->item(r, 0)->text() + "\t" +
            m_table->item(r, 1)->text() + "\n";
  return text + m_stability->text() + "\n";
}

// Ctrl+C in the table copies the figures (not the chart, as the window's own Ctrl+C would).
bool StatisticsPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_table && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy)) {
      event->accept();
      if (event->type() == QEvent::KeyPress) QGuiApplication::clipboard()->setText(statisticsText());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void StatisticsPanel::retranslate() {
  m_hint->setText(qs(m_tr.text("stHint")));
  m_clearSpan->setText(qs(m_tr.text("stClearSpan")));
  QStringList rows;
  for (const char* id : kRowIds) rows << qs(m_tr.text(id));
  m_table->setVerticalHeaderLabels(rows);
  m_table->setHorizontalHeaderLabels({qs(m_tr.text("stTemperature")), qs(m_tr.text("stResistance"))});
  m_stabilityTitle->setText(qs(m_tr.text("stStability")));
  m_windowLabel->setText(qs(m_tr.text("stWindow")));
  m_thresholdLabel->setText(qs(m_tr.text("stThreshold")));
  m_addPoint->setText(qs(m_tr.text("stAddPoint")));
  showStatistics(m_last, m_lastSpan);
  showStability(m_lastStability, m_lastWindow);
}

void StatisticsPanel::setInstrumentCaption(const QString& caption) {
  m_instrument->setText(caption);
  m_instrument->setVisible(!caption.isEmpty());
}

}  // namespace velmora
