// The calibration report: a PDF (date and time, the instrument's factors before and after,
// the method, every point with its deviation, the fit error, the residual plot and the
// user's fields) and a CSV of the points beside it.
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <cmath>

#include "calibration/calibration_window.h"
#include "calibration/residual_window.h"
#include "common/number_text.h"
#include "common/file_io.h"
#include "ui_common/report_document.h"

namespace velmora {

namespace {
// One CSV field (RFC 4180): quoted when it holds a comma, a quote or a line end.
QString csvField(const QString& s) {
  if (!s.contains(',') && !s.contains('"') && !s.contains('\n') && !s.contains('\r')) return s;
  return '"' + QString(s).replace("\"", "\"\"") + '"';
}

// The deviation of a table row with the report's decimals; empty when not computed.
QString residualText(const std::vector<Residual>& residuals, int row, int decimals) {
  for (const auto& r : residuals)
    if (r.row == row) return qs(formatFixed(r.deviation, 12, decimals));
  return {};
}

// A stretch's first and last moment; the second without the date when it is the same day.
QString spanText(const QString& from, const QString& to) {
  const QString sameDay = from.size() > 11 && to.size() > 11 && from.left(11) == to.left(11) ? to.mid(11) : to;
  return from + QString::fromUtf8(" \u2013 ") + sameDay;
}

// Deviations are printed with the decimals that make the fit error E meaningful: two
// significant digits of E, at least three decimals, at most seven.
int deviationDecimals(const ResidualSummary& s) {
  if (s.count == 0 || !(s.rms > 0)) return 4;
  return std::clamp(static_cast<int>(std::ceil(-std::log10(s.rms))) + 1, 3, 7);
}

class CtrlTabInserts : public QObject {
 public:
  explicit CtrlTabInserts(QPlainTextEdit* edit) : QObject(edit), m_edit(edit) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Tab || key->modifiers() != Qt::ControlModifier) return false;
    m_edit->insertPlainText("\t");
    return true;
  }

 private:
  QPlainTextEdit* m_edit;
};

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
  notes->setObjectName("edNotes");
  notes->setMinimumHeight(80);
  // Tab moves to the next field; Ctrl+Tab puts a tab into the notes.
  notes->setTabChangesFocus(true);
  notes->installEventFilter(new CtrlTabInserts(notes));
  form->addRow(qs(tr.text("rpProbe")), probe);
  form->addRow(qs(tr.text("rpOperator")), op);
  form->addRow(qs(tr.text("rpReference")), ref);
  form->addRow(qs(tr.text("rpNotes")), notes);
  addAcceptCancel(d, *form, qs(tr.text("rpCreate")), tr);
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
  const QString proposed = qs(m_tr.text("rpFilePrefix")) + QDate::currentDate().toString("dd_MM_yyyy");
  QString path = fileDialogHook ? fileDialogHook(true, title, startFolder("Clb"), proposed)
                                : runFileDialog(owner, true, title, startFolder("Clb"), proposed,
                                                QStringList{qs(m_tr.text("rpFilter"))});
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".pdf";
  if (makeReport(path))
    message(MessageKind::Information, qs(m_tr.text("rpSaved")).arg(path, pointsPathFor(path)));
}

ReportDocument TfmCalibr::reportDocument(const ResidualSummary& summary) const {
  ReportDocument doc(10);
  doc.title(qs(m_tr.text("fmReport")));
  doc.fields({{qs(m_tr.text("rpDate")), QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss")},
              {qs(m_tr.text("rpProbe")), m_reportFields.probe},
              {qs(m_tr.text("rpOperator")), m_reportFields.operatorName},
              {qs(m_tr.text("rpReference")), m_reportFields.reference},
              {qs(m_tr.text("rpMethod")), methodName()},
              {qs(m_tr.text("rpDataType")), qs(m_tr.text(dataType() == 1 ? "rpTemperature" : "rpResistance"))}});
  doc.heading(qs(m_tr.text("rpFactors")));
  bool oldEmpty = true;
  for (int c = 1; c <= 4; ++c) oldEmpty = oldEmpty && cofCell(c, 1).empty();
  std::vector<QStringList> factors;
  for (int r = 1; r <= 2; ++r) {
    QStringList row{qs(m_tr.text(r == 1 ? "IDS_14" : "IDS_15")).trimmed()};
    for (int c = 1; c <= 4; ++c) row << (cofCell(c, r).empty() ? QString::fromUtf8("\u2014") : qs(cofCell(c, r)));
    factors.push_back(row);
  }
  doc.table({{"", false, 0, true}, {qs(m_tr.text("rpR0")), true}, {"A x 10^3", true}, {"B x 10^7", true}, {"C x 10^12", true}}, factors);
  if (oldEmpty) doc.paragraph(qs(m_tr.text("rpOldEmpty")), ReportDocument::Emphasis::Italic);
  const int decimals = deviationDecimals(summary);
  const bool temperature = dataType() == 1;
  doc.heading(qs(m_tr.text("rpPoints")));
  std::vector<ReportDocument::Column> columns;
  const std::pair<const char*, int> widths[] = {{"rpRow", 6},   {temperature ? "rpMeasuredC" : "rpMeasuredOhm", 15},
                                                {"rpActual", 13}, {"rpDeviation", 15},
                                                {"rpCount", 5},   {temperature ? "rpSdC" : "rpSdOhm", 15},
                                                {"rpSpan", 31}};
  for (const auto& [id, percent] : widths) {
    const std::string_view name(id);
    columns.push_back({qs(m_tr.text(id)), name != "rpRow" && name != "rpSpan", percent});
  }
  std::vector<QStringList> points;
  for (int r = 1; r < dataRowCount(); ++r) {
    if (dataCell(2, r).empty() && dataCell(3, r).empty()) continue;
    QString deviation = residualText(m_residuals, r, decimals);
    if (deviation.isEmpty()) deviation = qs(dataCell(4, r));
    if (!dataCell(1, r).empty()) deviation = "X " + qs(m_tr.text("rpExcluded"));
    const auto info = m_pointInfo.find(r);
    const bool known = info != m_pointInfo.end();
    points.push_back({QString::number(r), qs(dataCell(2, r)), qs(dataCell(3, r)), deviation,
                      known ? QString::number(info->second.count) : QString(),
                      known && std::isfinite(info->second.sd) ? qs(formatFixed(info->second.sd, 6, 5)) : QString(),
                      known ? spanText(info->second.from, info->second.to) : QString()});
  }
  doc.table(columns, points, true, true);
  if (summary.count > 0)
    doc.paragraph(qs(m_tr.text("rpFitError")).arg(qs(formatFixed(summary.rms, 12, decimals)), qs(formatFixed(summary.maxAbs, 12, decimals))));
  else
    doc.paragraph(qs(m_tr.text("rpNoFit")));
  doc.image(m_residualWindow->render(760, 360), 560);
  if (!m_reportFields.notes.isEmpty()) {
    doc.heading(qs(m_tr.text("rpNotes")));
    doc.paragraph(m_reportFields.notes);
  }
  return doc;
}

bool TfmCalibr::makeReport(const QString& pdfPath) {
  updateResiduals();
  const QByteArray pdf = reportDocument(summarizeResiduals(m_residuals)).pdf(qs(m_tr.text("fmReport")));
  // The points with their units (the measured value is in ohms or °C as the data type says).
  const int decimals = deviationDecimals(summarizeResiduals(m_residuals));
  const bool temperature = dataType() == 1;
  QString csv = QString("row,excluded,%1,actual_C,deviation_C,n,%2,from,to\r\n")
                    .arg(temperature ? "measured_C" : "measured_ohm", temperature ? "sd_C" : "sd_ohm");
  for (int r = 1; r < dataRowCount(); ++r) {
    if (dataCell(2, r).empty() && dataCell(3, r).empty()) continue;
    const QString deviation = residualText(m_residuals, r, decimals);
    const auto info = m_pointInfo.find(r);
    const bool known = info != m_pointInfo.end();
    csv += QString::number(r) + "," + (dataCell(1, r).empty() ? "" : "X") + "," + csvField(qs(dataCell(2, r))) + "," +
           csvField(qs(dataCell(3, r))) + "," + deviation + "," + (known ? QString::number(info->second.count) : "") + "," +
           (known && std::isfinite(info->second.sd) ? qs(formatFixed(info->second.sd, 6, 5)) : "") + "," +
           (known ? csvField(info->second.from) + "," + csvField(info->second.to) : ",") + "\r\n";
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
