// The calibration window's additions beyond the designed controls: the status bar's
// "Verify" option and its "Plot" and "Report" buttons, points taken from the readings, the
// warnings before a calculation and the residual plot after it, and the write's read-back.
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <cmath>

#include "calibration/calibration_window.h"
#include "calibration/residual_window.h"
#include "common/coefficient_scale.h"
#include "common/number_text.h"

namespace velmora {

void TfmCalibr::buildWorkflowControls() {
  m_cbVerify = new QCheckBox(m_status);
  m_cbVerify->setObjectName("cbVerify");
  connect(m_cbVerify, &QCheckBox::toggled, this, [this](bool on) {
    if (m_protocol) m_protocol->setVerifyWrite(on);
  });
  m_btTakePoint = new QToolButton(m_status);
  m_btTakePoint->setObjectName("btTakePoint");
  m_btTakePoint->setAutoRaise(true);
  connect(m_btTakePoint, &QToolButton::clicked, this, [this] {
    if (currentStretch) addCalibrationPoint(currentStretch());
  });
  m_btResiduals = new QToolButton(m_status);
  m_btResiduals->setObjectName("btResiduals");
  m_btResiduals->setAutoRaise(true);
  m_btReport = new QToolButton(m_status);
  m_btReport->setObjectName("btReport");
  m_btReport->setAutoRaise(true);
  for (QWidget* w : {static_cast<QWidget*>(m_btTakePoint), static_cast<QWidget*>(m_cbVerify),
                     static_cast<QWidget*>(m_btResiduals), static_cast<QWidget*>(m_btReport)}) {
    w->setFont(m_statusText->font());
    w->setMaximumHeight(19);
    m_status->addPermanentWidget(w);
  }
  m_residualWindow = new ResidualWindow(m_tr, this);
  connect(m_btResiduals, &QToolButton::clicked, this, [this] {
    updateResiduals();
    m_residualWindow->move(frameGeometry().topRight() + QPoint(8, 0));
    m_residualWindow->show();
    m_residualWindow->raise();
  });
  connect(m_btReport, &QToolButton::clicked, this, &TfmCalibr::btReportClick);
}

void TfmCalibr::retranslateWorkflow() {
  if (!m_cbVerify) return;
  m_cbVerify->setText(qs(m_tr.text("cbVerify")));
  m_cbVerify->setToolTip(qs(m_tr.text("tipVerify")));
  m_btTakePoint->setText(qs(m_tr.text("btTakePoint")));
  m_btTakePoint->setToolTip(qs(m_tr.text("tipTakePoint")));
  m_btResiduals->setText(qs(m_tr.text("btResiduals")));
  m_btResiduals->setToolTip(qs(m_tr.text("tipResiduals")));
  m_btReport->setText(qs(m_tr.text("btReport")));
  m_btReport->setToolTip(qs(m_tr.text("fmReport")));
  m_residualWindow->retranslate();
}

// ---------------------------------------------------------------- a point from the readings

bool TfmCalibr::addCalibrationPoint(const MeasuredStretch& stretch) {
  // A point of another instrument's readings would be fitted and written into this one.
  if (m_instrumentChannel != 0 && stretch.channel != 0 && stretch.channel != m_instrumentChannel) {
    message(MessageKind::Warning,
            qs(m_tr.text("msgPointOtherInstrument")).arg(qs(stretch.instrument), m_instrumentCaption));
    return false;
  }
  const auto row = nextFreeRow(*this);
  if (!row) {
    message(MessageKind::Warning, qs(m_tr.text("msgTableFull")));
    return false;
  }
  const auto point = takePoint(stretch, dataType());
  if (!point) {
    message(MessageKind::Warning, qs(m_tr.text("msgNoValuesInSpan")));
    return false;
  }
  const QString prompt = qs(m_tr.text("msgActualPrompt")).arg(qs(point->measured)).arg(point->count);
  std::optional<QString> answer;
  if (actualTemperatureHook) {
    answer = actualTemperatureHook(prompt);
  } else {
    QInputDialog dialog(dialogParent(isVisible() ? this : parentWidget()));
    keepAboveParent(dialog);
    dialog.setWindowTitle(qs(m_tr.text("msgActualTitle")));
    dialog.setLabelText(prompt);
    if (dialog.exec() == QDialog::Accepted) answer = dialog.textValue();
  }
  if (!answer) return false;
  // The reference temperature is kept as typed ("," read as the decimal sign): a fixed
  // point such as 29.7646 °C must not lose a digit.
  if (!parseUserNumber(*answer)) {
    message(MessageKind::Error, qs(m_tr.text("msgActualInvalid")).arg(*answer));
    return false;
  }
  m_takingPoint = true;
  setDataCell(2, *row, point->measured);
  setDataCell(3, *row, normalizedNumberText(*answer).toStdString());
  m_pointInfo[*row] = {point->count, point->sd, qs(stretch.from), qs(stretch.to)};
  const QString tip = qs(m_tr.text("tipPoint"))
                          .arg(point->count)
                          .arg(std::isfinite(point->sd) ? qs(formatFixed(point->sd, 6, 5)) : QString::fromUtf8("\u2014"))
                          .arg(qs(stretch.from), qs(stretch.to));
  for (int c = 0; c < m_sgData->columnCount(); ++c)
    if (QTableWidgetItem* item = m_sgData->item(*row - 1, c)) item->setToolTip(tip);
  m_takingPoint = false;
  m_sgData->viewport()->update();
  message(MessageKind::Information, qs(m_tr.text("msgPointAdded")).arg(*row));
  return true;
}

// ---------------------------------------------------------------- checks and residuals

bool TfmCalibr::confirmFitWarnings() {
  // A calculation that cannot run is not offered: the user is told which method fits.
  if (!methodCanRun(m_calcMethod, *this)) {
    QStringList fitting;
    for (int m = 0; m < 3; ++m)
      if (methodCanRun(m, *this)) fitting << QString::number(m + 1);
    QString text = qs(m_tr.text(m_calcMethod == 0   ? "msgTooFewPoints1"
                                : m_calcMethod == 1 ? "msgTooFewPointsPositive"
                                                    : "msgTooFewPoints2"));
    text += "\r" + (fitting.isEmpty() ? qs(m_tr.text("fwNoMethodFits"))
                                       : qs(m_tr.plural("fwMethodFits", fitting.size())).arg(fitting.join(", ")));
    message(MessageKind::Error, text);
    return false;
  }
  const auto warnings = fitWarnings(m_calcMethod, *this, [this](std::string_view id) { return text(id); });
  if (warnings.empty()) return true;
  QString list;
  for (const auto& w : warnings) list += QString::fromUtf8("\u2022 ") + qs(w) + "\n";
  const QString question = qs(m_tr.text("fwQuestion")).arg(list.trimmed());
  if (warningHook) return warningHook(question);
  return askQuestion(dialogParent(this), QMessageBox::Warning, windowTitle(), question,
                     {{qs(m_tr.dialogWord("OK")), QMessageBox::AcceptRole}, {qs(m_tr.dialogWord("Cancel")), QMessageBox::RejectRole}},
                     1, 1) == 0;
}

// The deviations under the "New" factors, computed on a copy of the calculation's state so
// that the designed tables and state stay exactly as the calculation left them.
void TfmCalibr::updateResiduals() {
  CalibrationState copy = m_state;
  const DeviationPlan plan = deviationPlan(readCalibrationInput(*this), copy);
  m_residuals = plan.badNewCell < 0 ? plan.residuals : std::vector<Residual>{};
  m_residualWindow->setResiduals(m_residuals);
}

// ---------------------------------------------------------------- read-back of a write

void TfmCalibr::writeVerified(const std::vector<Mismatch>& mismatches) {
  if (mismatches.empty()) {
    setStatus(qs(m_tr.text("msgVerified")));
    message(MessageKind::Information, qs(m_tr.text("msgVerifiedLong")));
    return;
  }
  static const char* const kNames[] = {"R0", "A", "B", "C"};
  QStringList parts;
  m_settingMismatch = true;
  for (const auto& m : mismatches) {
    parts << qs(m_tr.text("msgVerifyEntry")).arg(kNames[m.index], qs(m.written), qs(m.read));
    // The "New" cell keeps what was calculated and written (the confirmation line put the
    // instrument's value there), so that Write sends it again; it is marked.
    setCofCell(m.index + 1, 2, m.cell);
    m_cofMismatch[m.index] = true;
    if (QTableWidgetItem* item = m_sgCof->item(1, m.index))
      item->setToolTip(qs(m_tr.text("tipVerifyHeld")).arg(qs(m.read)));
  }
  m_settingMismatch = false;
  m_sgCof->viewport()->update();
  const QString text = qs(m_tr.text("msgVerifyDiffers")).arg(parts.join("; "));
  setStatus(text);
  message(MessageKind::Error, text);
}

void TfmCalibr::readBackFailed(std::string_view reason) {
  const QString text = qs(m_tr.text("msgReadBackFailed")).arg(reason.empty() ? qs(m_tr.text("msgNoAnswer")) : qs(reason));
  setStatus(text);
  message(MessageKind::Error, text);
}

}  // namespace velmora
