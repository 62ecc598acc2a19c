// What the bench asks before it acts on an instrument or keeps a doubtful point: "Write and
// verify" names each instrument with the factors it holds and the new ones, and writes only
// those left ticked (Escape writes nothing); "Set point reached" with the reference far from the
// set point asks before a point is taken there. Also the results' points table and the note
// that the run's record was saved.
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <cmath>

#include "channel/app_context.h"
#include "channel/channel.h"
#include "channel/channel_set.h"
#include "common/number_text.h"
#include "comparison_ui/comparison_window.h"

namespace velmora {

namespace {
QString fixedText(double v, int decimals) { return std::isfinite(v) ? qs(formatFixed(v, 12, decimals)).trimmed() : QString(); }
QString factorsText(const std::optional<math::TCofSet>& f) {
  if (!f) return QString::fromUtf8("\u2014");
  QStringList cells;
  for (const auto& c : comparison::cellsOfFactors(*f)) cells << qs(c).trimmed();
  return cells.join("; ");
}
}  // namespace

// The reference's certificate as its probe file states it, under the set-up's reference.
void ComparisonWindow::refreshReferenceStatus() {
  BenchSetup b;
  b.reference = m_reference->currentIndex();
  if (m_referenceSource->currentIndex() == 1) b.referenceFile = m_probeFile->text().trimmed();
  QString why;
  const auto ref = b.referenceFile.isEmpty() && m_referenceSource->currentIndex() == 1 ? std::nullopt : m_controller->referenceFor(b, &why);
  if (!ref) {
    m_referenceStatus->setText(why);
    return;
  }
  const QString none = QString::fromUtf8("\u2014");
  const auto& p = ref->probe;
  m_referenceStatus->setText(p.certificate.empty() ? t("bnRefNoCertificate")
                                                   : t("bnRefStatus").arg(qs(p.certificate), p.date.empty() ? none : qs(p.date),
                                                                          p.due.empty() ? none : qs(p.due)));
}

// A reference past its certificate's due date is used only for a reason the user gives.
bool ComparisonWindow::askOverdueReason(BenchSetup& s) {
  QString why;
  const auto ref = m_controller->referenceFor(s, &why);
  if (!ref || !BenchController::referenceOverdue(*ref)) return true;
  const QString question = t("bnRefOverdueQuestion").arg(ref->probe.certificate.empty() ? QString::fromUtf8("\u2014") : qs(ref->probe.certificate),
                                                         qs(ref->probe.due));
  bool ok = false;
  const QString reason = overdueReasonHook ? overdueReasonHook(question, &ok)
                                           : QInputDialog::getText(dialogParent(this), t("bnTitle"), question, QLineEdit::Normal, QString(), &ok);
  if (!ok || reason.trimmed().isEmpty()) {
    message(MessageKind::Error, t("bnRefOverdueRefused").arg(qs(ref->probe.due)));
    return false;
  }
  s.overdueReason = reason.trimmed();
  return true;
}

void ComparisonWindow::btReachedClick() {
  const auto* run = m_controller->run();
  if (!run || run->phase() != comparison::ComparisonRun::Phase::Approaching) return;
  const auto& reference = run->tracker(run->reference());
  bool anyway = false;
  if (reference.size() > 0 && std::fabs(reference.last() - run->setPoint()) > run->plan().setPointTolerance) {
    const QString question = t("bnFarFromSetPoint")
                                 .arg(fixedText(reference.last(), 3), fixedText(std::fabs(reference.last() - run->setPoint()), 3),
                                      QString::number(run->setPoint(), 'g', 12));
    anyway = captureAnywayHook ? captureAnywayHook(question)
                               : askQuestion(dialogParent(this), QMessageBox::Warning, qs(m_tr.dialogWord("Confirm")), question,
                                             {{t("bnCaptureAnyway"), QMessageBox::AcceptRole},
                                              {t("wCancel"), QMessageBox::RejectRole}},
                                             1, 1) == 0;
    if (!anyway) return;
  }
  m_controller->confirmReached(anyway);
  refreshStatus();
}

std::vector<ComparisonWindow::WriteChoice> ComparisonWindow::writeChoices() const {
  std::vector<WriteChoice> out;
  const ChannelSet& set = m_app.channels();
  for (const auto& r : m_controller->results()) {
    if (!r.fitted || r.channel < 0 || static_cast<std::size_t>(r.channel) >= set.size()) continue;
    const Channel& c = set.at(static_cast<std::size_t>(r.channel));
    WriteChoice w;
    w.channel = r.channel;
    w.instrument = t("bnInstrumentOf").arg(c.name, qs(c.port()), c.serial.isEmpty() ? QString::fromUtf8("\u2014") : c.serial);
    w.held = factorsText(r.held);
    w.fresh = factorsText(comparison::factorsOfCells(r.cells));
    QStringList remarks;
    for (const auto& why : r.implausible) remarks << qs(why);
    w.remarks = remarks.join("\n");
    w.write = r.implausible.empty();
    out.push_back(std::move(w));
  }
  return out;
}

bool ComparisonWindow::askWrite(std::vector<WriteChoice>& choices) {
  QDialog d(dialogParent(this));
  keepAboveParent(d);
  d.setObjectName("fmWriteFactors");
  d.setWindowTitle(t("bnWriteTitle"));
  auto* form = new QFormLayout(&d);
  auto* intro = new QLabel(t("bnWriteIntro"), &d);
  intro->setWordWrap(true);
  form->addRow(intro);
  auto* table = new QTableWidget(static_cast<int>(choices.size()), 4, &d);
  table->setObjectName("tbWrite");
  table->setHorizontalHeaderLabels(t("bnWriteColumns").split('|'));
  table->verticalHeader()->hide();
  table->setTabKeyNavigation(false);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int r = 0; r < table->rowCount(); ++r) {
    const WriteChoice& w = choices[static_cast<std::size_t>(r)];
    auto* name = new QTableWidgetItem(w.instrument);
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    name->setCheckState(w.write ? Qt::Checked : Qt::Unchecked);
    table->setItem(r, 0, name);
    table->setItem(r, 1, new QTableWidgetItem(w.held));
    table->setItem(r, 2, new QTableWidgetItem(w.fresh));
    auto* remarks = new QTableWidgetItem(w.remarks);
    remarks->setToolTip(w.remarks);
    table->setItem(r, 3, remarks);
  }
  table->resizeColumnsToContents();
  table->resizeRowsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  table->setMinimumWidth(std::min(1000, table->horizontalHeader()->length() + 30));
  if (table->rowCount()) table->setCurrentCell(0, 0);
  form->addRow(table);
  addAcceptCancel(d, *form, t("bnWriteButton"), m_tr);
  assignMnemonics(&d);
  if (d.exec() != QDialog::Accepted) return false;
  for (int r = 0; r < table->rowCount(); ++r) choices[static_cast<std::size_t>(r)].write = table->item(r, 0)->checkState() == Qt::Checked;
  return true;
}

void ComparisonWindow::btWriteClick() {
  auto choices = writeChoices();
  if (choices.empty()) {
    message(MessageKind::Error, t("bnNothingToWrite"));
    return;
  }
  // Nothing goes into an instrument before the user has seen which and what.
  if (!(writeConfirmHook ? writeConfirmHook(choices) : askWrite(choices))) return;
  std::vector<int> chosen;
  for (const auto& w : choices)
    if (w.write) chosen.push_back(w.channel);
  if (chosen.empty()) return;
  QString why;
  if (!m_controller->writeAndVerify(chosen, &why) && !why.isEmpty()) message(MessageKind::Error, why);
  updateButtons();
}

void ComparisonWindow::recordSaved(const QStringList& files, const QString& error) {
  if (!error.isEmpty()) {
    message(MessageKind::Error, error);
    return;
  }
  refreshStatus();  // the record's last lines first
  m_log->appendPlainText(t("bnRecordSaved").arg(files.join(", ")));
}

// Each probe's points: the reference temperature, the probe's resistance and its indication with
// the factors it held (as found), the deviation and its expanded uncertainty, and the deviation
// after writing (as left) at the same set point.
void ComparisonWindow::refreshPoints() {
  std::vector<QStringList> rows;
  for (const auto& r : m_controller->results()) {
    std::vector<bool> shown(r.asLeft.size(), false);
    for (const auto& p : r.points) {
      QString asLeft;
      for (std::size_t i = 0; i < r.asLeft.size(); ++i)
        if (!shown[i] && std::fabs(r.asLeft[i].setPoint - p.setPoint) < 1e-9) {
          asLeft = fixedText(r.asLeft[i].asFoundDeviation, 4);
          shown[i] = true;
          break;
        }
      rows.push_back({qs(r.name), fixedText(p.setPoint, 3), fixedText(p.referenceT, 4), fixedText(p.probe.meanR, 5),
                      fixedText(p.probe.meanT, 4), fixedText(p.asFoundDeviation, 4),
                      fixedText(p.uncertainty.expanded, 4) + " (k = " + fixedText(p.uncertainty.coverageFactor, 2) + ")", asLeft,
                      p.forced ? t("bnCapturedAnyway") : QString()});
    }
    for (std::size_t i = 0; i < r.asLeft.size(); ++i)
      if (!shown[i])
        rows.push_back({qs(r.name), fixedText(r.asLeft[i].setPoint, 3), fixedText(r.asLeft[i].referenceT, 4), QString(), QString(),
                        QString(), QString(), fixedText(r.asLeft[i].asFoundDeviation, 4), QString()});
    if (r.points.empty()) rows.push_back({qs(r.name), QString(), QString(), QString(), QString(), QString(), QString(), QString(), t("bnNoPoints")});
  }
  m_points->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (int c = 0; c < rows[i].size(); ++c) cellItem(m_points, static_cast<int>(i), c)->setText(rows[i][c]);
  m_points->resizeColumnsToContents();
}

}  // namespace velmora
