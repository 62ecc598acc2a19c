#include "comparison_ui/comparison_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "channel/app_context.h"
#include "channel/channel.h"
#include "channel/channel_set.h"
#include "common/number_text.h"
#include "comparison_ui/bath_driver.h"
#include "ui_common/help_window.h"

namespace velmora {

using comparison::ComparisonRun;

namespace {

DecimalSpinBox* spin(QWidget* parent, const char* name, double lo, double hi, double value, int decimals) {
  auto* s = new DecimalSpinBox(parent);
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setDecimals(decimals);
  s->setValue(value);
  return s;
}
}  // namespace

std::optional<std::vector<double>> parseSetPoints(const QString& text) {
  std::vector<double> out;
  for (const QString& part : text.split(QRegularExpression("[;\\s]+"), Qt::SkipEmptyParts)) {
    const auto v = parseUserNumber(part);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    out.push_back(*v);
  }
  if (out.empty()) return std::nullopt;
  return out;
}

ComparisonWindow::ComparisonWindow(AppContext& app, QString journalPath, QWidget* parent)
    : QWidget(parent, Qt::Window), m_app(app), m_tr(app.translator()) {
  setObjectName("fmComparison");
  addHelpKey(this, m_tr, "bench");
  m_controller = std::make_unique<BenchController>(app.channels(), std::move(journalPath), m_tr);
  m_controller->record = [this](bool on) { m_app.setRecordAll(on); };
  auto* layout = new QVBoxLayout(this);
  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName("tcBench");
  auto* setupPage = new QScrollArea(m_tabs);
  setupPage->setWidgetResizable(true);
  auto* setupInner = new QWidget(setupPage);
  buildSetup(setupInner);
  setupPage->setWidget(setupInner);
  auto* runPage = new QWidget(m_tabs);
  buildRun(runPage);
  auto* resultsPage = new QWidget(m_tabs);
  buildResults(resultsPage);
  m_tabs->addTab(setupPage, QString());
  m_tabs->addTab(runPage, QString());
  m_tabs->addTab(resultsPage, QString());
  layout->addWidget(m_tabs, 1);
  wheelOnlyWhenFocused(this);
  auto* buttons = new QHBoxLayout;
  const std::pair<QPushButton**, const char*> bs[] = {
      {&m_start, "btStart"}, {&m_stop, "btStop"}, {&m_reached, "btReached"}, {&m_readFactors, "btReadFactors"}};
  for (const auto& [b, name] : bs) {
    *b = new QPushButton(this);
    (*b)->setObjectName(name);
    buttons->addWidget(*b);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);
  connect(m_start, &QPushButton::clicked, this, &ComparisonWindow::btStartClick);
  connect(m_stop, &QPushButton::clicked, this, &ComparisonWindow::btStopClick);
  connect(m_reached, &QPushButton::clicked, this, &ComparisonWindow::btReachedClick);
  connect(m_readFactors, &QPushButton::clicked, this, &ComparisonWindow::btReadFactorsClick);

  m_refresh = new QTimer(this);
  m_refresh->setInterval(500);
  connect(m_refresh, &QTimer::timeout, this, &ComparisonWindow::refreshStatus);
  m_refresh->start();
  connect(m_controller.get(), &BenchController::finished, this, &ComparisonWindow::runFinished);
  connect(m_controller.get(), &BenchController::writingDone, this, [this] {
    refreshResults();
    int good = 0, bad = 0;
    for (const auto& [k, w] : m_controller->written()) (w.verified ? good : bad)++;
    message(bad ? MessageKind::Warning : MessageKind::Information, t("bnWritten").arg(good).arg(bad));
  });
  connect(m_controller.get(), &BenchController::changed, this, &ComparisonWindow::updateButtons);
  connect(m_controller.get(), &BenchController::stoppedBecause, this, [this](const QString& why) { message(MessageKind::Warning, why); });
  connect(m_controller.get(), &BenchController::recordSaved, this, &ComparisonWindow::recordSaved);
  connect(&app.channels(), &ChannelSet::channelAdded, this, &ComparisonWindow::refreshChannels);
  connect(&app.channels(), &ChannelSet::channelRemoved, this, [this] { QTimer::singleShot(0, this, &ComparisonWindow::refreshChannels); });
  connect(&app, &AppContext::languageChanged, this, &ComparisonWindow::retranslate);
  refreshChannels();
  retranslate();
  resize(860, 640);
}

ComparisonWindow::~ComparisonWindow() = default;

QString ComparisonWindow::t(const char* id) const { return qs(m_tr.text(id)); }

void ComparisonWindow::message(MessageKind kind, const QString& text) {
  if (messageHook)
    messageHook(kind, text);
  else
    showMessage(this, m_tr, kind, text);
}

void ComparisonWindow::buildSetup(QWidget* page) {
  auto* form = new QFormLayout(page);
  auto label = [&](const char* id) {
    auto* l = new QLabel(page);
    l->setObjectName(id);
    m_labels.push_back(l);
    return l;
  };
  auto check = [&](const char* id) {
    auto* c = new QCheckBox(page);
    c->setObjectName(id);
    return c;
  };
  m_reference = new QComboBox(page);
  m_reference->setObjectName("cbReference");
  form->addRow(label("bnReference"), m_reference);
  m_referenceSource = new QComboBox(page);
  m_referenceSource->setObjectName("cbReferenceSource");
  m_referenceSource->addItems({QString(), QString()});
  form->addRow(label("bnCharacterisation"), m_referenceSource);
  auto* fileRow = new QHBoxLayout;
  m_probeFile = new QLineEdit(page);
  m_probeFile->setObjectName("edProbeFile");
  m_browse = new QPushButton(page);
  m_browse->setObjectName("btBrowse");
  fileRow->addWidget(m_probeFile, 1);
  fileRow->addWidget(m_browse);
  form->addRow(label("bnProbeFile"), fileRow);
  m_referenceStatus = new QLabel(page);
  m_referenceStatus->setObjectName("lbReferenceStatus");
  m_referenceStatus->setWordWrap(true);
  form->addRow(QString(), m_referenceStatus);
  connect(m_probeFile, &QLineEdit::editingFinished, this, &ComparisonWindow::refreshReferenceStatus);
  connect(m_referenceSource, &QComboBox::currentIndexChanged, this, &ComparisonWindow::refreshReferenceStatus);
  connect(m_browse, &QPushButton::clicked, this, [this] {
    const QString f = runFileDialog(this, false, t("bnProbeFile"), startFolder("Clb"), QString(), {t("bnProbeFilter")});
    if (!f.isEmpty()) {
      m_probeFile->setText(f);
      m_referenceSource->setCurrentIndex(1);
    }
  });
  m_underTest = new QListWidget(page);
  m_underTest->setObjectName("lwUnderTest");
  m_underTest->setMaximumHeight(110);
  form->addRow(label("bnUnderTest"), m_underTest);
  connect(m_reference, &QComboBox::currentIndexChanged, this, [this] {
    refreshChannels();
    refreshReferenceStatus();
  });

  auto* bathRow = new QHBoxLayout;
  m_bathPort = new QComboBox(page);
  m_bathPort->setObjectName("cbBathPort");
  m_bathPort->setEditable(true);
  m_bathPort->addItem(QString());
  for (const auto& info : QSerialPortInfo::availablePorts()) m_bathPort->addItem(info.systemLocation());
  m_bathBaud = new QSpinBox(page);
  m_bathBaud->setObjectName("seBathBaud");
  m_bathBaud->setRange(300, 115200);
  m_bathBaud->setValue(9600);
  bathRow->addWidget(m_bathPort, 1);
  bathRow->addWidget(m_bathBaud);
  form->addRow(label("bnBath"), bathRow);

  m_setPoints = new QLineEdit("0; 50; 100", page);
  m_setPoints->setObjectName("edSetPoints");
  form->addRow(label("bnSetPoints"), m_setPoints);
  m_order = new QComboBox(page);
  m_order->setObjectName("cbOrder");
  m_order->addItems({QString(), QString(), QString()});
  form->addRow(label("bnOrder"), m_order);
  m_soak = spin(page, "seSoak", 0, 1440, 10, 2);
  form->addRow(label("bnSoak"), m_soak);
  m_window = spin(page, "seWindow", 0.01, 1440, 10, 2);
  form->addRow(label("bnWindow"), m_window);
  auto rule = [&](QCheckBox*& box, const char* boxId, DecimalSpinBox*& value, const char* valueId, double v, int dec, bool on) {
    box = check(boxId);
    box->setChecked(on);
    value = spin(page, valueId, 0, 100, v, dec);
    form->addRow(box, value);
  };
  rule(m_useSd, "chSd", m_sd, "seSd", 0.002, 5, true);
  rule(m_useDrift, "chDrift", m_drift, "seDrift", 0.001, 5, true);
  rule(m_usePtp, "chPtp", m_ptp, "sePtp", 0.01, 5, false);
  auto* bandRow = new QHBoxLayout;
  m_useBand = check("chBand");
  m_band = spin(page, "seBand", 0, 100, 0.5, 3);
  m_bandMinutes = spin(page, "seBandMinutes", 0, 1440, 5, 2);
  bandRow->addWidget(m_band);
  bandRow->addWidget(label("bnBandFor"));
  bandRow->addWidget(m_bandMinutes);
  form->addRow(m_useBand, bandRow);
  m_bathInLock = check("chBathInLock");
  m_bathInLock->setChecked(true);
  form->addRow(QString(), m_bathInLock);
  auto* captureRow = new QHBoxLayout;
  m_capture = spin(page, "seCapture", 0.01, 10000, 2, 2);
  m_captureKind = new QComboBox(page);
  m_captureKind->setObjectName("cbCapture");
  m_captureKind->addItems({QString(), QString()});
  captureRow->addWidget(m_capture);
  captureRow->addWidget(m_captureKind, 1);
  form->addRow(label("bnCapture"), captureRow);
  m_maxWait = spin(page, "seMaxWait", 0.01, 10000, 60, 2);
  form->addRow(label("bnMaxWait"), m_maxWait);
  m_reachedBand = spin(page, "seReachedBand", 0.001, 100, 0.2, 3);
  form->addRow(label("bnReachedBand"), m_reachedBand);
  m_tolerance = spin(page, "seTolerance", 0.001, 100, 1, 3);
  form->addRow(label("bnTolerance"), m_tolerance);
  m_stopOnMissed = check("chStopOnMissed");
  form->addRow(QString(), m_stopOnMissed);
  m_stopRecording = check("chStopRecording");
  form->addRow(QString(), m_stopRecording);
  m_method = new QComboBox(page);
  m_method->setObjectName("cbMethod");
  m_method->addItems({QString(), QString(), QString(), QString()});
  form->addRow(label("bnMethod"), m_method);
  auto* budget = new QLabel(page);
  budget->setObjectName("bnBudget");
  m_labels.push_back(budget);
  form->addRow(budget);
  m_refU = spin(page, "seRefU", 0, 10, 0.002, 5);
  form->addRow(label("bnRefU"), m_refU);
  m_refK = spin(page, "seRefK", 1, 10, 2, 2);
  form->addRow(label("bnRefK"), m_refK);
  m_bathStability = spin(page, "seBathStability", 0, 10, 0.002, 5);
  form->addRow(label("bnBathStability"), m_bathStability);
  m_bathUniformity = spin(page, "seBathUniformity", 0, 10, 0.003, 5);
  form->addRow(label("bnBathUniformity"), m_bathUniformity);
  m_resolution = spin(page, "seResolution", 0, 10, 0.001, 5);
  form->addRow(label("bnResolution"), m_resolution);
}

void ComparisonWindow::retranslate() {
  setWindowTitle(t("bnTitle"));
  m_tabs->setTabText(0, t("bnSetupTab"));
  m_tabs->setTabText(1, t("bnRunTab"));
  m_tabs->setTabText(2, t("bnResultsTab"));
  for (QLabel* l : m_labels) l->setText(t(l->objectName().toUtf8().constData()));
  for (auto* w : findChildren<QAbstractButton*>()) {
    const QByteArray id = "bn" + w->objectName().toUtf8().mid(2);
    if (!w->objectName().isEmpty() && !m_tr.text(id.constData()).empty()) w->setText(t(id.constData()));
  }
  m_referenceSource->setItemText(0, t("bnHeldFactors"));
  m_referenceSource->setItemText(1, t("bnFromProbeFile"));
  {
    // A typed port stays as typed; only "None" itself changes its language.
    const QString typed = m_bathPort->currentText();
    const bool none = m_bathPort->currentIndex() == 0 && typed == m_bathPort->itemText(0);
    m_bathPort->setItemText(0, t("bnNoBath"));
    if (!none) m_bathPort->setEditText(typed);
  }
  m_order->setItemText(0, t("bnAsListed"));
  m_order->setItemText(1, t("bnAscending"));
  m_order->setItemText(2, t("bnDescending"));
  m_captureKind->setItemText(0, t("bnCaptureMinutes"));
  m_captureKind->setItemText(1, t("bnCaptureReadings"));
  m_method->setItemText(0, t("bnMethodSuited"));
  for (int i = 1; i <= 3; ++i)
    m_method->setItemText(i, qs(m_tr.lookup(calibrationWindowTable(), Section::Captions, "pmCalc_N" + std::to_string(i))));
  m_asLeftPoints->setPlaceholderText(t("bnAsLeftHint"));
  m_channels->setHorizontalHeaderLabels(t("bnChannelColumns").split('|'));
  m_results->setHorizontalHeaderLabels(t("bnResultColumns").split('|'));
  m_points->setHorizontalHeaderLabels(t("bnPointColumns").split('|'));
  refreshChannels();
  refreshStatus();
  refreshResults();
  assignMnemonics(this);
}

// The channels as the set-up offers them: the reference chosen from all, the probes under
// test from the others (ticked ones stay ticked by name).
void ComparisonWindow::refreshChannels() {
  ChannelSet& set = m_app.channels();
  const int keep = m_reference->currentIndex();
  {
    const QSignalBlocker block(m_reference);
    m_reference->clear();
    for (std::size_t i = 0; i < set.size(); ++i) m_reference->addItem(set.at(i).name);
    m_reference->setCurrentIndex(keep >= 0 && keep < m_reference->count() ? keep : 0);
  }
  QSet<int> ticked;
  bool any = false;
  for (int i = 0; i < m_underTest->count(); ++i) {
    any = true;
    if (m_underTest->item(i)->checkState() == Qt::Checked) ticked.insert(m_underTest->item(i)->data(Qt::UserRole).toInt());
  }
  m_underTest->clear();
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (static_cast<int>(i) == m_reference->currentIndex()) continue;
    auto* item = new QListWidgetItem(set.at(i).name, m_underTest);
    item->setData(Qt::UserRole, static_cast<int>(i));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(!any || ticked.contains(static_cast<int>(i)) ? Qt::Checked : Qt::Unchecked);
  }
  updateButtons();
}

std::optional<BenchSetup> ComparisonWindow::setupFromForm(QString* why) const {
  BenchSetup s;
  const auto points = parseSetPoints(m_setPoints->text());
  if (!points) {
    if (why) *why = t("bnBadSetPoints").arg(m_setPoints->text());
    return std::nullopt;
  }
  s.plan.setPoints = *points;
  s.plan.order = static_cast<comparison::Order>(m_order->currentIndex());
  s.plan.soakMinutes = m_soak->value();
  s.plan.rule.windowMinutes = m_window->value();
  if (m_useSd->isChecked()) s.plan.rule.maxSd = m_sd->value();
  if (m_useDrift->isChecked()) s.plan.rule.maxDriftPerMinute = m_drift->value();
  if (m_usePtp->isChecked()) s.plan.rule.maxPeakToPeak = m_ptp->value();
  if (m_useBand->isChecked()) s.plan.rule.band = m_band->value();
  s.plan.rule.bandMinutes = m_bandMinutes->value();
  s.plan.bathInLock = m_bathInLock->isChecked();
  if (m_captureKind->currentIndex() == 1)
    s.plan.captureReadings = std::max(1, static_cast<int>(std::lround(m_capture->value())));
  else
    s.plan.captureMinutes = m_capture->value();
  s.plan.maxWaitMinutes = m_maxWait->value();
  s.plan.reachedBand = m_reachedBand->value();
  s.plan.setPointTolerance = m_tolerance->value();
  s.plan.stopOnMissed = m_stopOnMissed->isChecked();
  s.stopRecordingAtEnd = m_stopRecording->isChecked();
  s.reference = m_reference->currentIndex();
  for (int i = 0; i < m_underTest->count(); ++i)
    if (m_underTest->item(i)->checkState() == Qt::Checked) s.underTest.push_back(m_underTest->item(i)->data(Qt::UserRole).toInt());
  if (m_referenceSource->currentIndex() == 1) {
    s.referenceFile = m_probeFile->text().trimmed();
    if (s.referenceFile.isEmpty()) {
      if (why) *why = t("bnNoProbeFile");
      return std::nullopt;
    }
  }
  s.bathPort = m_bathPort->currentIndex() == 0 && m_bathPort->currentText() == m_bathPort->itemText(0)
                   ? QString()
                   : m_bathPort->currentText().trimmed();
  s.bathBaud = m_bathBaud->value();
  s.method = m_method->currentIndex() - 1;
  s.budget = {m_refU->value(), m_refK->value(), m_bathStability->value(), m_bathUniformity->value(), m_resolution->value()};
  return s;
}

void ComparisonWindow::showSetup(const BenchSetup& s) {
  QStringList points;
  for (double v : s.plan.setPoints) points << QString::number(v, 'g', 12);
  m_setPoints->setText(points.join("; "));
  m_order->setCurrentIndex(static_cast<int>(s.plan.order));
  m_soak->setValue(s.plan.soakMinutes);
  m_window->setValue(s.plan.rule.windowMinutes);
  const std::pair<QCheckBox*, std::pair<DecimalSpinBox*, std::optional<double>>> rules[] = {
      {m_useSd, {m_sd, s.plan.rule.maxSd}}, {m_useDrift, {m_drift, s.plan.rule.maxDriftPerMinute}},
      {m_usePtp, {m_ptp, s.plan.rule.maxPeakToPeak}}, {m_useBand, {m_band, s.plan.rule.band}}};
  for (const auto& [box, value] : rules) {
    box->setChecked(value.second.has_value());
    if (value.second) value.first->setValue(*value.second);
  }
  m_bandMinutes->setValue(s.plan.rule.bandMinutes);
  m_bathInLock->setChecked(s.plan.bathInLock);
  m_captureKind->setCurrentIndex(s.plan.captureReadings > 0 ? 1 : 0);
  m_capture->setValue(s.plan.captureReadings > 0 ? s.plan.captureReadings : s.plan.captureMinutes);
  m_maxWait->setValue(s.plan.maxWaitMinutes);
  m_reachedBand->setValue(s.plan.reachedBand);
  m_tolerance->setValue(s.plan.setPointTolerance);
  m_stopOnMissed->setChecked(s.plan.stopOnMissed);
  m_stopRecording->setChecked(s.stopRecordingAtEnd);
  m_reference->setCurrentIndex(s.reference);
  refreshChannels();
  for (int i = 0; i < m_underTest->count(); ++i) {
    const int k = m_underTest->item(i)->data(Qt::UserRole).toInt();
    const bool on = std::find(s.underTest.begin(), s.underTest.end(), k) != s.underTest.end();
    m_underTest->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  m_referenceSource->setCurrentIndex(s.referenceFile.isEmpty() ? 0 : 1);
  m_probeFile->setText(s.referenceFile);
  if (s.bathPort.isEmpty())
    m_bathPort->setCurrentIndex(0);
  else
    m_bathPort->setCurrentText(s.bathPort);
  m_bathBaud->setValue(s.bathBaud);
  m_method->setCurrentIndex(s.method + 1);
  m_refU->setValue(s.budget.referenceU);
  m_refK->setValue(s.budget.referenceK);
  m_bathStability->setValue(s.budget.bathStability);
  m_bathUniformity->setValue(s.budget.bathUniformity);
  m_resolution->setValue(s.budget.resolution);
  refreshReferenceStatus();
}

void ComparisonWindow::btStartClick() {
  QString why;
  auto s = setupFromForm(&why);
  if (s && !askOverdueReason(*s)) return;
  if (!s || !m_controller->start(*s, &why)) {
    if (!why.isEmpty()) message(MessageKind::Error, why);
    return;
  }
  m_log->clear();
  m_logged = 0;
  m_issued.clear();  // a new run: its certificates are new ones, not amendments
  m_tabs->setCurrentIndex(1);
  refreshStatus();
}

void ComparisonWindow::btStopClick() {
  m_controller->stop();
  refreshStatus();
}

void ComparisonWindow::btReadFactorsClick() {
  ChannelSet& set = m_app.channels();
  for (std::size_t i = 0; i < set.size(); ++i)
    if (!set.at(i).recording() && !set.at(i).port().empty()) set.at(i).readFactors();
}

void ComparisonWindow::btAsLeftClick() {
  QString why;
  const auto points = parseSetPoints(m_asLeftPoints->text());
  if (!points) {
    message(MessageKind::Error, t("bnBadSetPoints").arg(m_asLeftPoints->text()));
    return;
  }
  if (!m_controller->startAsLeft(*points, &why)) {
    if (!why.isEmpty()) message(MessageKind::Error, why);
    return;
  }
  m_tabs->setCurrentIndex(1);
}

void ComparisonWindow::runFinished() {
  refreshStatus();
  refreshResults();
  m_tabs->setCurrentIndex(2);
}

void ComparisonWindow::updateButtons() {
  const bool running = m_controller->running();
  const bool writing = m_controller->writing();
  const bool results = !m_controller->results().empty();
  m_start->setEnabled(!running && !writing);
  m_stop->setEnabled(running);
  const auto* run = m_controller->run();
  m_reached->setEnabled(running && run && !run->withBath() && run->phase() == ComparisonRun::Phase::Approaching);
  m_readFactors->setEnabled(!running && !writing);
  m_write->setEnabled(results && !running && !writing);
  m_asLeft->setEnabled(!m_controller->written().empty() && !running && !writing);
  m_certificates->setEnabled(results && !running && !writing);
}

}  // namespace velmora
