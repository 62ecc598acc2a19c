// The bench's Run and Results pages: their controls, the run's phase and every channel's
// stability, each probe's results, and the question a cut-off run brings.
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
QString fixedText(double v, int decimals) { return std::isfinite(v) ? qs(formatFixed(v, 12, decimals)).trimmed() : QString(); }
}  // namespace

void ComparisonWindow::buildRun(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  m_phase = new QLabel(page);
  m_phase->setObjectName("lbPhase");
  m_phase->setWordWrap(true);
  m_bathState = new QLabel(page);
  m_bathState->setObjectName("lbBath");
  m_channels = new QTableWidget(0, 9, page);
  m_channels->setObjectName("tbChannels");
  m_channels->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_channels->setTabKeyNavigation(false);
  m_channels->verticalHeader()->hide();
  m_channels->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_log = new QPlainTextEdit(page);
  m_log->setObjectName("reLog");
  m_log->setReadOnly(true);
  m_log->setTabChangesFocus(true);
  layout->addWidget(m_phase);
  layout->addWidget(m_bathState);
  layout->addWidget(m_channels, 2);
  layout->addWidget(m_log, 1);
}

void ComparisonWindow::buildResults(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  m_results = new QTableWidget(0, 11, page);
  m_results->setObjectName("tbResults");
  m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_results->setTabKeyNavigation(false);
  m_results->verticalHeader()->hide();
  m_results->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_results, 1);
  m_points = new QTableWidget(0, 9, page);
  m_points->setObjectName("tbPoints");
  m_points->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_points->setTabKeyNavigation(false);
  m_points->verticalHeader()->hide();
  m_points->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_points, 1);
  auto* row = new QHBoxLayout;
  m_write = new QPushButton(page);
  m_write->setObjectName("btWrite");
  m_asLeftPoints = new QLineEdit(page);
  m_asLeftPoints->setObjectName("edAsLeft");
  m_asLeft = new QPushButton(page);
  m_asLeft->setObjectName("btAsLeft");
  m_certificates = new QPushButton(page);
  m_certificates->setObjectName("btCertificates");
  row->addWidget(m_write);
  row->addWidget(m_asLeftPoints, 1);
  row->addWidget(m_asLeft);
  row->addWidget(m_certificates);
  layout->addLayout(row);
  connect(m_write, &QPushButton::clicked, this, &ComparisonWindow::btWriteClick);
  connect(m_asLeft, &QPushButton::clicked, this, &ComparisonWindow::btAsLeftClick);
  connect(m_certificates, &QPushButton::clicked, this, &ComparisonWindow::btCertificatesClick);
}

QString ComparisonWindow::phaseText() const {
  const ComparisonRun* run = m_controller->run();
  if (!run) return t("bnPhaseIdle");
  const int count = static_cast<int>(run->plan().setPoints.size());
  const QString head = t(m_controller->asLeftPass() ? "bnAsLeftHead" : "bnPhaseHead")
                           .arg(std::min(run->index() + 1, count))
                           .arg(count)
                           .arg(fixedText(run->setPoint(), 3));
  const QString since = fixedText(m_controller->now() - run->phaseSince(), 1);
  switch (run->phase()) {
    case ComparisonRun::Phase::Approaching:
      return head + t(run->withBath() ? "bnApproaching" : "bnConfirm");
    case ComparisonRun::Phase::Soaking:
      return head + t("bnSoaking").arg(since, fixedText(run->plan().soakMinutes, 1));
    case ComparisonRun::Phase::Settling:
      return head + t("bnSettling").arg(since, fixedText(run->plan().maxWaitMinutes, 1));
    case ComparisonRun::Phase::Capturing:
      return head + t("bnCapturing").arg(since);
    case ComparisonRun::Phase::Done:
      return qs(m_tr.plural("bnPhaseDone", static_cast<long long>(run->points().size()))).arg(run->points().size());
    case ComparisonRun::Phase::Stopped:
      return t("bnPhaseStopped");
    default:
      return t("bnPhaseIdle");
  }
}

void ComparisonWindow::refreshStatus() {
  updateButtons();
  m_phase->setText(phaseText());
  const ComparisonRun* run = m_controller->run();
  if (m_controller->bath())
    m_bathState->setText(m_controller->bathSilent() ? t("bnBathSilent").arg(m_controller->bath()->portName())
                         : m_controller->bathTemperature() ? t("bnBathReading").arg(fixedText(*m_controller->bathTemperature(), 3))
                                                        : t("bnBathWaiting"));
  else
    m_bathState->setText(run ? t("bnNoBathState") : QString());
  if (!run) {
    m_channels->setRowCount(0);
    return;
  }
  ChannelSet& set = m_app.channels();
  std::vector<int> rows{run->reference()};
  rows.insert(rows.end(), run->underTest().begin(), run->underTest().end());
  const bool bathRow = run->withBath();
  m_channels->setRowCount(static_cast<int>(rows.size()) + (bathRow ? 1 : 0));
  auto put = [&](int r, int c, const QString& text) {
    auto* item = m_channels->item(r, c);
    if (!item) m_channels->setItem(r, c, item = new QTableWidgetItem);
    item->setText(text);
  };
  auto verdictRow = [&](int r, const comparison::StabilityTracker& tr, bool included) {
    const comparison::StabilityVerdict v = tr.verdict();
    put(r, 2, tr.size() ? fixedText(tr.last(), 4) : QString());
    put(r, 3, v.covered ? fixedText(v.sd, 5) : QString());
    put(r, 4, v.covered ? fixedText(v.driftPerMinute, 5) : QString());
    put(r, 5, v.covered ? fixedText(v.peakToPeak, 4) : QString());
    put(r, 6, run->plan().rule.band && tr.size() ? fixedText(v.insideMinutes, 1) : QString());  // nothing from nothing
    put(r, 7, !included ? t("bnLeftOut") : v.stable ? t("bnYes") : t("bnNo"));
    // How long until stable only once there is something to go by: the window covered and,
    // with a band, the temperature inside it.
    const bool judged = v.covered && (!run->plan().rule.band || v.insideMinutes > 0);
    put(r, 8, v.stable || !included || !judged ? QString() : std::isnan(v.etaMinutes) ? t("bnUnknown") : fixedText(v.etaMinutes, 1));
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int k = rows[i];
    const int r = static_cast<int>(i);
    put(r, 0, k < static_cast<int>(set.size()) ? set.at(static_cast<std::size_t>(k)).name : QString::number(k + 1));
    put(r, 1, t(i == 0 ? "bnRoleReference" : "bnRoleUnderTest"));
    verdictRow(r, run->tracker(k), run->included(k));
  }
  if (bathRow) {
    const int r = static_cast<int>(rows.size());
    put(r, 0, m_controller->bath() ? m_controller->bath()->portName() : QString());
    put(r, 1, t("bnRoleBath"));
    verdictRow(r, run->bathTracker(), run->plan().bathInLock);
  }
  // The run's record, as it grows, into the log.
  const auto lines = m_controller->recordLines();
  if (lines.size() < m_logged) {
    m_log->clear();
    m_logged = 0;
  }
  for (; m_logged < lines.size(); ++m_logged) m_log->appendPlainText(lines[m_logged]);
}

void ComparisonWindow::refreshResults() {
  const auto& results = m_controller->results();
  m_results->setRowCount(static_cast<int>(results.size()));
  for (std::size_t i = 0; i < results.size(); ++i) {
    const auto& r = results[i];
    const int row = static_cast<int>(i);
    double largest = 0;
    for (const auto& res : r.residuals) largest = std::max(largest, std::fabs(res.deviation));
    QString written;
    const auto w = m_controller->written().find(r.channel);
    if (w != m_controller->written().end()) written = w->second.verified ? t("bnVerified") : t("bnNotVerified").arg(w->second.detail);
    // Where there are no factors, the reason stands in their place.
    const QString none = r.points.empty() ? t("bnNoPoints") : r.messages.empty() ? QString() : qs(r.messages.front());
    QStringList remarks;
    for (const auto& why : r.implausible) remarks << qs(why);
    const QString cells[] = {qs(r.name),
                             QString::number(r.points.size()),
                             QString::number(r.method + 1),
                             r.fitted ? qs(r.cells[0]) : none,
                             qs(r.cells[1]),
                             qs(r.cells[2]),
                             qs(r.cells[3]),
                             fixedText(r.curveU, 4),
                             r.residuals.empty() ? QString() : fixedText(largest, 4),
                             written,
                             remarks.join("; ")};
    QStringList tip;
    for (const auto& m : r.messages) tip << qs(m);
    for (const auto& m : r.hints) tip << qs(m);
    for (const auto& m : r.implausible) tip << qs(m);
    for (const auto& n : r.notices) tip << qs(n);
    for (int c = 0; c < 11; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setToolTip(tip.join("\n"));
      m_results->setItem(row, c, item);
    }
  }
  m_results->resizeColumnsToContents();
  refreshPoints();
  updateButtons();
}

void ComparisonWindow::offerResume() {
  const auto u = m_controller->unfinished();
  if (!u) return;
  const QString text = t(u->asLeft ? "bnResumeAsLeftQuestion" : "bnResumeQuestion")
                           .arg(u->run.nextIndex + 1)
                           .arg(u->run.plan.setPoints.size())
                           .arg(qs(m_tr.plural("bnPoints", static_cast<long long>(u->run.points.size()))).arg(u->run.points.size()));
  ResumeChoice choice;
  if (resumeHook) {
    choice = resumeHook(text);
  } else {
    const int answer = askQuestion(dialogParent(this), QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text,
                                   {{t("bnResume"), QMessageBox::AcceptRole},
                                    {t("bnSetAside"), QMessageBox::DestructiveRole},
                                    {qs(m_tr.text("msgNotNow")), QMessageBox::RejectRole}},
                                   0, 2);
    choice = answer == 0 ? ResumeChoice::Resume : answer == 1 ? ResumeChoice::SetAside : ResumeChoice::Later;
  }
  if (choice == ResumeChoice::SetAside) {
    const QString aside = m_controller->setJournalAside();
    if (!aside.isEmpty()) message(MessageKind::Information, t("bnSetAsideDone").arg(aside));
    return;
  }
  if (choice != ResumeChoice::Resume) return;
  showSetup(u->setup);
  QString why;
  if (!m_controller->resume(*u, &why)) {
    message(MessageKind::Error, why);
    return;
  }
  m_log->clear();
  m_logged = 0;
  m_tabs->setCurrentIndex(1);
  refreshStatus();
}

}  // namespace velmora
