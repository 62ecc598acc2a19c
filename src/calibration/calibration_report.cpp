// The calibration report: a PDF (date and time, the instrument's factors before and after,
// the method, every point with its deviation, the fit error, the residual plot and the
// user's fields) and a CSV of the points beside it.
#include <QBuffer>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPageSize>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QUrl>
#include <cmath>

#include "calibration/calibration_window.h"
#include "calibration/residual_window.h"
#include "common/number_text.h"
#include "common/file_io.h"

namespace velmora {

namespace {
QString esc(const QString& s) { return s.toHtmlEscaped(); }
QString esc(const std::string& s) { return qs(s).toHtmlEscaped(); }

// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line end.
QString csvField(const QString& s) {
  if (!s.contains(',') && !s.contains('"') && !s.contains('\n') && !s.contains('\r')) return s;
  return '"' + QString(s).replace("\"", "\"\"") + '"';
}

// The deviation of a table row as the deviation column writes it; empty when not computed.
QString residualText(const std::vector<Residual>& residuals, int row) {
  for (const auto& r : residuals)
    if (r.row == row) return qs(formatFixed(r.deviation, 8, 3));
  return {};
}

bool askFields(QWidget* parent, const Translator& tr, ReportFields& f) {
  QDialog d(dialogParent(parent));
  keepAboveParent(d);
  d.setObjectName("fmReport");
  d.setWindowTitle(qs(tr.text("fmReport")));
  auto* form = new QFormLayout(&d);
  auto* probe = new QLineEdit(f.probe, &d);
  auto* op = new QLineEdit(f.operatorName, &d);
  auto* ref = new QLineEdit(f.reference, &d);
  auto* notes = new QPlainTextEdit(f.notes, &d);
  notes->setMinimumHeight(80);
  form->addRow(qs(tr.text("rpProbe")), probe);
  form->addRow(qs(tr.text("rpOperator")), op);
  form->addRow(qs(tr.text("rpReference")), ref);
  form->addRow(qs(tr.text("rpNotes")), notes);
  auto* buttons = new QDialogButtonBox(&d);
  buttons->addButton(qs(tr.text("rpCreate")), QDialogButtonBox::AcceptRole);
  buttons->addButton(qs(tr.dialogWord("Cancel")), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
  form->addRow(buttons);
  d.resize(420, 260);
  if (d.exec() != QDialog::Accepted) return false;
  f = {probe->text(), op->text(), ref->text(), notes->toPlainText()};
  return true;
}
}  // namespace

QString TfmCalibr::pointsPathFor(const QString& pdfPath) {
  const QFileInfo info(pdfPath);
  return info.dir().filePath(info.completeBaseName() + "-points.csv");
}

QString TfmCalibr::methodName() const {
  const std::string key = "pmCalc_N" + std::to_string(m_calcMethod + 1);
  return qs(m_tr.lookup(calibrationWindowTable(), Section::Captions, key));
}

void TfmCalibr::btReportClick() {
  QWidget* owner = isVisible() ? static_cast<QWidget*>(this) : parentWidget();
  const bool accepted = reportFieldsHook ? reportFieldsHook(m_reportFields) : askFields(owner, m_tr, m_reportFields);
  if (!accepted) return;
  const QString title = qs(m_tr.text("rpSaveTitle"));
  const QString proposed = "Report_" + QDate::currentDate().toString("dd_MM_yyyy");
  QString path = fileDialogHook ? fileDialogHook(true, title, startFolder("Clb"), proposed)
                                : runFileDialog(owner, true, title, startFolder("Clb"), proposed,
                                                QStringList{qs(m_tr.text("rpFilter"))});
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".pdf";
  if (makeReport(path))
    message(MessageKind::Information, qs(m_tr.text("rpSaved")).arg(path, pointsPathFor(path)));
}

QString TfmCalibr::reportHtml(const ResidualSummary& summary) const {
  const auto row = [](const QString& a, const QString& b) { return "<tr><td><b>" + a + "</b></td><td>" + b + "</td></tr>"; };
  QString h = "<html><body style='font-family: sans-serif; font-size: 10pt'>";
  h += "<h2>" + esc(qs(m_tr.text("fmReport"))) + "</h2><table cellspacing='0' cellpadding='3'>";
  h += row(esc(qs(m_tr.text("rpDate"))), QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss"));
  h += row(esc(qs(m_tr.text("rpProbe"))), esc(m_reportFields.probe));
  h += row(esc(qs(m_tr.text("rpOperator"))), esc(m_reportFields.operatorName));
  h += row(esc(qs(m_tr.text("rpReference"))), esc(m_reportFields.reference));
  h += row(esc(qs(m_tr.text("rpMethod"))), esc(methodName()));
  h += row(esc(qs(m_tr.text("rpDataType"))), esc(qs(m_tr.text(dataType() == 1 ? "rpTemperature" : "rpResistance"))));
  h += "</table><h3>" + esc(qs(m_tr.text("rpFactors"))) + "</h3>";
  h += "<table border='1' cellspacing='0' cellpadding='4'><tr><th></th><th>R0 [Ohm]</th><th>A x 10^3</th>"
       "<th>B x 10^7</th><th>C x 10^12</th></tr>";
  for (int r = 1; r <= 2; ++r) {
    h += "<tr><td><b>" + esc(qs(m_tr.text(r == 1 ? "IDS_14" : "IDS_15")).trimmed()) + "</b></td>";
    for (int c = 1; c <= 4; ++c) h += "<td align='right'>" + esc(cofCell(c, r)) + "</td>";
    h += "</tr>";
  }
  h += "</table><h3>" + esc(qs(m_tr.text("rpPoints"))) + "</h3>";
  h += "<table border='1' cellspacing='0' cellpadding='4'><tr><th>" + esc(qs(m_tr.text("rpRow"))) + "</th><th>" +
       esc(qs(m_tr.text("rpMeasured"))) + "</th><th>" + esc(qs(m_tr.text("rpActual"))) + "</th><th>" +
       esc(qs(m_tr.text("rpDeviation"))) + "</th><th></th></tr>";
  for (int r = 1; r < dataRowCount(); ++r) {
    if (dataCell(2, r).empty() && dataCell(3, r).empty()) continue;
    QString deviation = residualText(m_residuals, r);
    if (deviation.isEmpty()) deviation = qs(dataCell(4, r));
    const bool excluded = !dataCell(1, r).empty();
    h += "<tr><td>" + QString::number(r) + "</td><td align='right'>" + esc(dataCell(2, r)) + "</td><td align='right'>" +
         esc(dataCell(3, r)) + "</td><td align='right'>" + (excluded ? QString() : esc(deviation)) + "</td><td>" +
         (excluded ? "X " + esc(qs(m_tr.text("rpExcluded"))) : QString()) + "</td></tr>";
  }
  h += "</table><p>";
  if (summary.count > 0)
    h += esc(qs(m_tr.text("rpFitError")).arg(qs(formatFixed(summary.rms, 8, 4)), qs(formatFixed(summary.maxAbs, 8, 4))));
  else
    h += esc(qs(m_tr.text("rpNoFit")));
  h += "</p><p><img src='residuals.png' width='560'></p>";
  if (!m_reportFields.notes.isEmpty())
    h += "<h3>" + esc(qs(m_tr.text("rpNotes"))) + "</h3><p>" + esc(m_reportFields.notes).replace("\n", "<br>") + "</p>";
  return h + "</body></html>";
}

bool TfmCalibr::makeReport(const QString& pdfPath) {
  updateResiduals();
  QTextDocument doc;
  doc.addResource(QTextDocument::ImageResource, QUrl("residuals.png"), m_residualWindow->render(760, 360));
  doc.setHtml(reportHtml(summarizeResiduals(m_residuals)));
  QByteArray pdf;
  {
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    writer.setTitle(qs(m_tr.text("fmReport")));
    writer.setCreator("Velmora");
    doc.print(&writer);
  }
  QString csv = "row,excluded,measured,actual_C,deviation_C\r\n";
  for (int r = 1; r < dataRowCount(); ++r) {
    if (dataCell(2, r).empty() && dataCell(3, r).empty()) continue;
    const QString deviation = residualText(m_residuals, r);
    csv += QString::number(r) + "," + (dataCell(1, r).empty() ? "" : "X") + "," + csvField(qs(dataCell(2, r))) + "," +
           csvField(qs(dataCell(3, r))) + "," + deviation + "\r\n";
  }
  // The report and its points go together: both files or neither.
  const QByteArray csvBytes = csv.toUtf8();
  if (auto cause = writeFilesAtomically(
          {{pdfPath.toStdString(), std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size()))},
           {pointsPathFor(pdfPath).toStdString(),
            std::string_view(csvBytes.constData(), static_cast<std::size_t>(csvBytes.size()))}})) {
    reportError(qs(m_tr.text("rpWriteFailed")).arg(pdfPath) + "\n" + qs(*cause));
    return false;
  }
  return true;
}

}  // namespace velmora
