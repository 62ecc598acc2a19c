// The certificate drafts of a comparison run: the fields a certificate states beyond the
// results (asked once and kept while the program runs), then per probe a PDF with everything a
// calibration certificate holds, the same contents as a JSON file, and its points as CSV.
#include <QBuffer>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QLineEdit>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <cmath>

#include "channel/channel.h"
#include "channel/channel_set.h"
#include "app/main_window.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "comparison_ui/comparison_window.h"

namespace velmora {

namespace {
QString esc(const QString& s) { return s.toHtmlEscaped(); }
QString esc(const std::string& s) { return qs(s).toHtmlEscaped(); }
QString fixed(double v, int decimals) { return std::isfinite(v) ? qs(formatFixed(v, 15, decimals)).trimmed() : QString::fromUtf8("\u2014"); }

// The fields, in the order the dialog asks for them.
struct Field {
  const char* id;
  std::string comparison::CertificateInfo::*member;
};
constexpr Field kFields[] = {
    {"ctLaboratory", &comparison::CertificateInfo::laboratory},
    {"ctLaboratoryAddress", &comparison::CertificateInfo::laboratoryAddress},
    {"ctNumber", &comparison::CertificateInfo::number},
    {"ctCustomer", &comparison::CertificateInfo::customer},
    {"ctCustomerAddress", &comparison::CertificateInfo::customerAddress},
    {"ctReceived", &comparison::CertificateInfo::receivedDate},
    {"ctCalibrated", &comparison::CertificateInfo::calibrationDate},
    {"ctIssued", &comparison::CertificateInfo::issueDate},
    {"ctTraceability", &comparison::CertificateInfo::referenceTraceability},
    {"ctConditions", &comparison::CertificateInfo::conditions},
    {"ctCalibratedBy", &comparison::CertificateInfo::calibratedBy},
    {"ctApprovedBy", &comparison::CertificateInfo::approvedBy},
};

// The certificate's fields, and each probe's item, serial number and manufacturer in a table.
struct ProbeRow {
  QString name;
  comparison::ProbeItem* item;
};
bool askFields(QWidget* parent, const Translator& tr, comparison::CertificateInfo& info, const std::vector<ProbeRow>& probes) {
  QDialog d(dialogParent(parent));
  keepAboveParent(d);
  d.setObjectName("fmCertificate");
  d.setWindowTitle(qs(tr.text("ctFieldsTitle")));
  auto* form = new QFormLayout(&d);
  std::vector<QLineEdit*> edits;
  for (const Field& f : kFields) {
    auto* e = new QLineEdit(qs(info.*f.member), &d);
    e->setObjectName(QString("ed") + QString(f.id).mid(2));
    form->addRow(qs(tr.text(f.id)), e);
    edits.push_back(e);
  }
  auto* items = new QTableWidget(static_cast<int>(probes.size()), 4, &d);
  items->setObjectName("tbCertificateItems");
  items->setHorizontalHeaderLabels({qs(tr.text("ctProbe")), qs(tr.text("ctItem")), qs(tr.text("ctItemSerial")), qs(tr.text("ctManufacturer"))});
  items->verticalHeader()->hide();
  items->horizontalHeader()->setStretchLastSection(true);
  items->setTabKeyNavigation(false);
  for (int r = 0; r < items->rowCount(); ++r) {
    const ProbeRow& p = probes[static_cast<std::size_t>(r)];
    auto* name = new QTableWidgetItem(p.name);
    name->setFlags(Qt::ItemIsEnabled);
    items->setItem(r, 0, name);
    items->setItem(r, 1, new QTableWidgetItem(qs(p.item->item)));
    items->setItem(r, 2, new QTableWidgetItem(qs(p.item->serial)));
    items->setItem(r, 3, new QTableWidgetItem(qs(p.item->manufacturer)));
  }
  form->addRow(items);
  auto* buttons = new QDialogButtonBox(&d);
  buttons->addButton(qs(tr.text("ctCreate")), QDialogButtonBox::AcceptRole);
  buttons->addButton(qs(tr.dialogWord("Cancel")), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
  form->addRow(buttons);
  assignMnemonics(&d);
  if (d.exec() != QDialog::Accepted) return false;
  for (std::size_t i = 0; i < edits.size(); ++i) info.*kFields[i].member = edits[i]->text().trimmed().toStdString();
  for (int r = 0; r < items->rowCount(); ++r) {
    comparison::ProbeItem& it = *probes[static_cast<std::size_t>(r)].item;
    it.item = items->item(r, 1)->text().trimmed().toStdString();
    it.serial = items->item(r, 2)->text().trimmed().toStdString();
    it.manufacturer = items->item(r, 3)->text().trimmed().toStdString();
  }
  return true;
}

// A name as part of a file name.
QString fileWord(const QString& s) {
  QString out = s;
  out.replace(QRegularExpression("[^A-Za-z0-9_.-]+"), "_");
  return out.isEmpty() ? QString("probe") : out;
}
}  // namespace

void ComparisonWindow::btCertificatesClick() {
  if (m_controller->results().empty()) return;
  if (m_info.calibrationDate.empty()) m_info.calibrationDate = QDate::currentDate().toString(Qt::ISODate).toStdString();
  if (m_info.issueDate.empty()) m_info.issueDate = QDate::currentDate().toString(Qt::ISODate).toStdString();
  // Each probe as its instrument names it, unless given here before.
  std::vector<ProbeRow> rows;
  for (const auto& r : m_controller->results()) {
    if (!m_items.count(r.channel) && r.channel >= 0 && static_cast<std::size_t>(r.channel) < m_main.channels().size()) {
      const Channel& c = m_main.channels().at(static_cast<std::size_t>(r.channel));
      m_items[r.channel] = {c.model.toStdString(), c.serial.toStdString(), c.manufacturer.toStdString()};
    }
    rows.push_back({qs(r.name), &m_items[r.channel]});
  }
  const bool ok = certificateFieldsHook ? certificateFieldsHook(m_info) : askFields(this, m_tr, m_info, rows);
  if (!ok) return;
  const QString folder =
      folderHook ? folderHook() : QFileDialog::getExistingDirectory(dialogParent(this), t("ctFolder"), startFolder("Clb"));
  if (folder.isEmpty()) return;
  QString why;
  const QStringList written = writeCertificates(folder, m_info, &why);
  if (!why.isEmpty())
    message(MessageKind::Error, why);
  else
    message(MessageKind::Information, t("ctSaved").arg(written.size()).arg(folder));
}

QStringList ComparisonWindow::writeCertificates(const QString& folder, const comparison::CertificateInfo& base, QString* why) {
  QStringList written;
  const auto& ref = m_controller->reference();
  const auto* run = m_controller->run();
  if (!ref || !run) return written;
  for (const auto& probe : m_controller->results()) {
    comparison::CertificateInfo info = base;
    info.title = t("ctTitle").toStdString();
    info.method = t("ctMethodText").toStdString();
    if (info.number.empty())
      info.number = (QDate::currentDate().toString("yyyyMMdd") + "-" + fileWord(qs(probe.name))).toStdString();
    else if (m_controller->results().size() > 1)
      info.number += "-" + fileWord(qs(probe.name)).toStdString();
    // The probe's own item, serial number and manufacturer; the general fields where it has none.
    if (const auto it = m_items.find(probe.channel); it != m_items.end()) {
      if (!it->second.item.empty()) info.item = it->second.item;
      if (!it->second.serial.empty()) info.itemSerial = it->second.serial;
      if (!it->second.manufacturer.empty()) info.manufacturer = it->second.manufacturer;
    }
    if (info.itemSerial.empty()) info.itemSerial = probe.name;
    const QString stem = QDir(folder).filePath(fileWord(qs(info.number)));
    QTextDocument doc;
    doc.setHtml(certificateHtml(info, probe));
    QByteArray pdf;
    {
      QBuffer buffer(&pdf);
      buffer.open(QIODevice::WriteOnly);
      QPdfWriter writer(&buffer);
      writer.setPageSize(QPageSize(QPageSize::A4));
      writer.setResolution(300);
      writer.setTitle(t("ctTitle"));
      writer.setCreator("Velmora");
      doc.print(&writer);
    }
    const std::string json = comparison::certificateJson(info, probe, *ref, m_controller->setup().budget, m_controller->runPlan(),
                                                        m_controller->asLeftPlan() ? &*m_controller->asLeftPlan() : nullptr);
    const std::string csv = comparison::certificateCsv(probe);
    if (auto cause = writeFilesAtomically({{(stem + ".pdf").toStdString(), std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size()))},
                                           {(stem + ".json").toStdString(), json},
                                           {(stem + "-points.csv").toStdString(), csv}})) {
      if (why) *why = t("ctWriteFailed").arg(stem + ".pdf", qs(*cause));
      return written;
    }
    written << stem + ".pdf";
  }
  return written;
}

QString ComparisonWindow::certificateHtml(const comparison::CertificateInfo& info, const comparison::ProbeResult& probe) const {
  const auto& ref = *m_controller->reference();
  const auto row = [](const QString& a, const QString& b) { return "<tr><td><b>" + a + "</b></td><td>" + b + "</td></tr>"; };
  const auto f = [this](const char* id) { return esc(t(id)); };
  QString h = "<html><body style='font-family: sans-serif; font-size: 9pt'>";
  h += "<h2>" + esc(info.title) + "</h2><table cellspacing='0' cellpadding='2'>";
  h += row(f("ctNumber"), esc(info.number));
  h += row(f("ctLaboratory"), esc(info.laboratory) + (info.laboratoryAddress.empty() ? QString() : ", " + esc(info.laboratoryAddress)));
  h += row(f("ctCustomer"), esc(info.customer) + (info.customerAddress.empty() ? QString() : ", " + esc(info.customerAddress)));
  h += row(f("ctItem"), esc(info.item) + " " + esc(info.itemSerial) + (info.manufacturer.empty() ? QString() : ", " + esc(info.manufacturer)));
  h += row(f("ctReceived"), esc(info.receivedDate));
  h += row(f("ctCalibrated"), esc(info.calibrationDate));
  h += row(f("ctIssued"), esc(info.issueDate));
  h += row(f("ctConditions"), esc(info.conditions));
  h += "</table>";
  h += "<h3>" + f("ctMethodHead") + "</h3><p>" + esc(info.method) + "</p><p><i>" + f("ctNotRealisation") + "</i></p>";
  h += "<h3>" + f("ctReferenceHead") + "</h3><table cellspacing='0' cellpadding='2'>";
  h += row(f("ctReferenceChannel"), esc(ref.name) + (ref.probe.serial.empty() ? QString() : " (" + esc(ref.probe.serial) + ")"));
  h += row(f("ctReferenceCertificate"), esc(ref.probe.certificate.empty() ? std::string("\u2014") : ref.probe.certificate));
  h += row(f("ctTraceability"), esc(info.referenceTraceability));
  h += "</table>";
  const auto pointsTable = [&](const std::vector<comparison::PointResult>& points) {
    QString s = "<table border='1' cellspacing='0' cellpadding='2' width='100%'><tr>";
    for (const QString& c : t("ctPointColumns").split('|')) s += "<th>" + esc(c) + "</th>";
    s += "</tr>";
    for (const auto& p : points)
      s += "<tr><td align='right'>" + fixed(p.setPoint, 3) + "</td><td align='right'>" + fixed(p.referenceT, 4) +
           "</td><td align='right'>" + fixed(p.probe.meanR, 5) + "</td><td align='right'>" + fixed(p.probe.meanT, 4) +
           "</td><td align='right'>" + fixed(p.asFoundDeviation, 4) + "</td><td align='right'>" + fixed(p.uncertainty.expanded, 4) +
           "</td><td align='right'>" + fixed(p.uncertainty.coverageFactor, 2) + "</td><td align='right'>" +
           QString::number(p.probe.n) + "</td></tr>";
    return s + "</table>";
  };
  h += "<h3>" + f("ctAsFound") + "</h3>" + pointsTable(probe.points);
  h += "<p>" + f("ctUncertaintyNote") + "</p>";
  h += "<h3>" + f("ctAdjustment") + "</h3><table border='1' cellspacing='0' cellpadding='2'><tr><th></th><th>R0, " + esc(t("ctOhm")) +
       "</th><th>A x 10^3</th><th>B x 10^7</th><th>C x 10^12</th></tr>";
  const auto factorRow = [&](const QString& name, const std::optional<math::TCofSet>& fs) {
    QString s = "<tr><td><b>" + name + "</b></td>";
    const auto cells = fs ? comparison::cellsOfFactors(*fs) : std::array<std::string, 4>{};
    for (const auto& c : cells) s += "<td align='right'>" + (c.empty() ? QString::fromUtf8("\u2014") : esc(c)) + "</td>";
    return s + "</tr>";
  };
  h += factorRow(f("ctHeld"), probe.held);
  h += factorRow(f("ctNew"), comparison::factorsOfCells(probe.cells));
  h += "</table><p>" + esc(t("ctMethodUsed").arg(probe.method + 1)) + "</p>";
  if (!probe.residuals.empty()) {
    h += "<table border='1' cellspacing='0' cellpadding='2'><tr><th>" + f("ctResidualT") + "</th><th>" + f("ctResidual") + "</th></tr>";
    for (const auto& r : probe.residuals)
      h += "<tr><td align='right'>" + fixed(r.actual, 4) + "</td><td align='right'>" + fixed(r.deviation, 5) + "</td></tr>";
    h += "</table>";
  }
  if (std::isfinite(probe.curveU)) h += "<p>" + esc(t("ctCurveU").arg(fixed(probe.curveU, 4))) + "</p>";
  for (const auto& m : probe.messages) h += "<p>" + esc(m) + "</p>";
  h += "<h3>" + f("ctAsLeft") + "</h3>";
  h += probe.asLeft.empty() ? "<p>" + f("ctNoAsLeft") + "</p>" : pointsTable(probe.asLeft);
  if (!probe.notices.empty()) {
    h += "<h3>" + f("ctNotSettledHead") + "</h3>";
    for (const auto& n : probe.notices) h += "<p>" + esc(n) + "</p>";
  }
  h += "<p><br>" + f("ctCalibratedBy") + ": " + esc(info.calibratedBy) + "<br>" + f("ctApprovedBy") + ": " + esc(info.approvedBy) + "</p>";
  h += "<p><b>" + f("ctStatement") + "</b></p>";
  return h + "</body></html>";
}

}  // namespace velmora
