// The certificate drafts of a comparison run: the fields a certificate states beyond the
// results (asked once and kept while the program runs), then per probe a PDF with everything a
// calibration certificate holds, the same contents as a JSON file, and its points as CSV.
#include <QCryptographicHash>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QLineEdit>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "channel/channel.h"
#include "channel/channel_set.h"
#include "channel/app_context.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "comparison_ui/comparison_window.h"
#ifdef VELMORA_HAVE_DCC
#include <QCoreApplication>
#include <QInputDialog>
#include <QLocale>

#include "comparison/dcc_certificate.h"
#include "comparison/xml_schema.h"
#endif
#ifdef VELMORA_HAVE_DCC_SIGNATURE
#include "comparison/dcc_signature.h"
#endif

namespace velmora {

namespace {
QString fixed(double v, int decimals) { return std::isfinite(v) ? qs(formatFixed(v, 15, decimals)).trimmed() : QString::fromUtf8("\u2014"); }

// The fields, in the order the dialog asks for them.
struct Field {
  const char* id;
  std::string comparison::CertificateInfo::*member;
};
constexpr Field kFields[] = {
    {"ctLaboratory", &comparison::CertificateInfo::laboratory},
    {"ctLaboratoryAddress", &comparison::CertificateInfo::laboratoryAddress},
    {"ctCountry", &comparison::CertificateInfo::country},
    {"ctNumber", &comparison::CertificateInfo::number},
    {"ctCustomer", &comparison::CertificateInfo::customer},
    {"ctCustomerAddress", &comparison::CertificateInfo::customerAddress},
    {"ctReceived", &comparison::CertificateInfo::receivedDate},
    {"ctCalibrated", &comparison::CertificateInfo::calibrationDate},
    {"ctIssued", &comparison::CertificateInfo::issueDate},
    {"ctRefCertificate", &comparison::CertificateInfo::referenceCertificate},
    {"ctRefCertificateDate", &comparison::CertificateInfo::referenceCertificateDate},
    {"ctTraceability", &comparison::CertificateInfo::referenceTraceability},
    {"ctConditions", &comparison::CertificateInfo::conditions},
    {"ctCalibratedBy", &comparison::CertificateInfo::calibratedBy},
    {"ctApprovedBy", &comparison::CertificateInfo::approvedBy},
#ifdef VELMORA_HAVE_DCC_SIGNATURE
    {"ctSigningKey", &comparison::CertificateInfo::signingKey},
    {"ctSigningCertificate", &comparison::CertificateInfo::signingCertificate},
#endif
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
  addAcceptCancel(d, *form, qs(tr.text("ctCreate")), tr);
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
#ifdef VELMORA_HAVE_DCC
  if (m_info.country.empty()) m_info.country = QLocale::territoryToCode(QLocale::system().territory()).toUpper().toStdString();
#endif
  // The reference's certificate as its probe file states it; asked for where it does not.
  if (const auto& ref = m_controller->reference()) {
    if (m_info.referenceCertificate.empty()) m_info.referenceCertificate = ref->probe.certificate;
    if (m_info.referenceCertificateDate.empty()) m_info.referenceCertificateDate = ref->probe.date;
  }
  // Each probe as its instrument names it, unless given here before.
  std::vector<ProbeRow> rows;
  QStringList nothing;  // probes without a point: no certificate
  for (const auto& r : m_controller->results()) {
    if (r.points.empty()) {
      nothing << qs(r.name);
      continue;
    }
    if (!m_items.count(r.channel) && r.channel >= 0 && static_cast<std::size_t>(r.channel) < m_app.channels().size()) {
      const Channel& c = m_app.channels().at(static_cast<std::size_t>(r.channel));
      m_items[r.channel] = {c.model.toStdString(), c.serial.toStdString(), c.manufacturer.toStdString()};
    }
    rows.push_back({qs(r.name), &m_items[r.channel]});
  }
  const bool ok = certificateFieldsHook ? certificateFieldsHook(m_info) : askFields(this, m_tr, m_info, rows);
  if (!ok) return;
  const QString folder =
      folderHook ? folderHook() : QFileDialog::getExistingDirectory(dialogParent(this), t("ctFolder"), startFolder("Clb"));
  if (folder.isEmpty()) return;
#ifdef VELMORA_HAVE_DCC_SIGNATURE
  // The key's passphrase, asked each time and never kept; Escape writes nothing.
  if (!m_info.signingKey.empty() && !m_info.signingCertificate.empty()) {
    bool ok = false;
    const QString asked = t("ctPassphrase").arg(qs(m_info.signingKey));
    const QString pass = passphraseHook ? passphraseHook(asked, &ok)
                                        : QInputDialog::getText(dialogParent(this), t("ctFieldsTitle"), asked, QLineEdit::Password, QString(), &ok);
    if (!ok) return;
    m_passphrase = pass.toStdString();
  }
#endif
  QString why;
  const QStringList written = writeCertificates(folder, m_info, &why);
  std::fill(m_passphrase.begin(), m_passphrase.end(), '\0');
  m_passphrase.clear();
  if (!why.isEmpty())
    message(MessageKind::Error, why);
  else
    message(MessageKind::Information, t("ctSaved").arg(written.size()).arg(folder));
  if (!nothing.isEmpty()) message(MessageKind::Warning, t("ctNoCertificateFor").arg(nothing.join(", ")));
}

QStringList ComparisonWindow::writeCertificates(const QString& folder, const comparison::CertificateInfo& base, QString* why) {
  QStringList written;
  const auto& ref = m_controller->reference();
  const auto* run = m_controller->run();
  if (!ref || !run) return written;
  for (const auto& probe : m_controller->results()) {
    if (probe.points.empty()) continue;  // nothing to certify
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
    info.referenceDue = ref->probe.due;
    info.overdueReason = m_controller->setup().overdueReason.toStdString();
    // Issued before (here, or earlier in this program for this run): never overwritten; the
    // new one is an amendment with a number of its own that names the one it replaces.
    QString stem = QDir(folder).filePath(fileWord(qs(info.number)));
    QString previous;
    const auto exists = [](const QString& s) {
      return QFileInfo::exists(s + ".pdf") || QFileInfo::exists(s + ".xml") || QFileInfo::exists(s + ".json");
    };
    if (exists(stem)) {
      const std::string given = info.number;
      for (int n = 1; exists(stem); ++n) {
        previous = stem;
        info.number = given + "-A" + std::to_string(n);
        stem = QDir(folder).filePath(fileWord(qs(info.number)));
      }
    } else if (const auto it = m_issued.find(probe.channel); it != m_issued.end()) {
      previous = it->second;
    }
    if (!previous.isEmpty()) {
      const QString file = QFileInfo::exists(previous + ".xml") ? previous + ".xml" : previous + ".pdf";
      QFile old(file);
      if (old.open(QIODevice::ReadOnly)) info.replacesSha256 = QCryptographicHash::hash(old.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
      info.replacesNumber = QFileInfo(previous).fileName().toStdString();
      info.replacesFile = QFileInfo(file).fileName().toStdString();
    }
    const QByteArray pdf = certificateDocument(info, probe).pdf(t("ctTitle"), t("ctPage"));
    const std::string json = comparison::certificateJson(info, probe, *ref, m_controller->setup().budget, m_controller->runPlan(),
                                                        m_controller->asLeftPlan() ? &*m_controller->asLeftPlan() : nullptr);
    const std::string csv = comparison::certificateCsv(probe);
    std::vector<FileToWrite> files{{(stem + ".pdf").toStdString(), std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size()))},
                                   {(stem + ".json").toStdString(), json},
                                   {(stem + "-points.csv").toStdString(), csv}};
#ifdef VELMORA_HAVE_DCC
    // The DCC beside them, in both languages with the certificate's own first, the PDF inside;
    // one that does not validate is not written, nor is anything else of this probe.
    Translator english, russian;
    english.setLanguage(Language::English);
    russian.setLanguage(Language::Russian);
    const Translator& own = m_tr.language() == Language::Russian ? russian : english;
    const Translator& other = &own == &russian ? english : russian;
    comparison::DccInputs in;
    in.info = &info;
    in.probe = &probe;
    in.reference = &*ref;
    in.budget = &m_controller->setup().budget;
    in.plan = &m_controller->runPlan();
    in.asLeftPlan = m_controller->asLeftPlan() ? &*m_controller->asLeftPlan() : nullptr;
    in.softwareVersion = QCoreApplication::applicationVersion().toStdString();
    in.languages = {{&own == &russian ? "ru" : "en", [&own](std::string_view id) { return std::string(own.text(id)); }},
                    {&own == &russian ? "en" : "ru", [&other](std::string_view id) { return std::string(other.text(id)); }}};
    in.pdfFileName = QFileInfo(stem + ".pdf").fileName().toStdString();
    in.pdf = files[0].bytes;
    std::string dcc = comparison::certificateDcc(in);
    if (const auto fault = comparison::validateXml(dcc, dccSchemaPath().toStdString())) {
      if (why) *why = t("ctDccInvalid").arg(stem + ".xml", qs(*fault));
      return written;
    }
#ifdef VELMORA_HAVE_DCC_SIGNATURE
    if (!info.signingKey.empty() && !info.signingCertificate.empty()) {
      auto cause = comparison::signXml(dcc, info.signingKey, info.signingCertificate, m_passphrase);
      if (!cause) cause = comparison::validateXml(dcc, dccSchemaPath().toStdString());
      if (cause) {
        if (why) *why = t("ctSignFailed").arg(stem + ".xml", qs(*cause));
        return written;
      }
    }
#endif
    files.push_back({(stem + ".xml").toStdString(), dcc});
#endif
    if (auto cause = writeFilesAtomically(files)) {
      if (why) *why = t("ctWriteFailed").arg(stem + ".pdf", qs(*cause));
      return written;
    }
    written << stem + ".pdf";
    m_issued[probe.channel] = stem;
  }
  // The run's record and raw readings beside them, so that every point can be traced.
  const QString runStem = QDir(folder).filePath(fileWord(qs(base.number.empty() ? QDate::currentDate().toString("yyyyMMdd").toStdString() : base.number)) + "-run");
  const QStringList record = m_controller->recordFiles();
  if (record.size() == 2) {
    std::string text, readings;
    auto cause = readWholeFile(record[0].toStdString(), text);
    if (!cause) cause = readWholeFile(record[1].toStdString(), readings);
    if (!cause) cause = writeFilesAtomically({{(runStem + ".txt").toStdString(), text}, {(runStem + "-readings.csv").toStdString(), readings}});
    if (cause && why) *why = t("ctWriteFailed").arg(runStem + ".txt", qs(*cause));
  }
  return written;
}

ReportDocument ComparisonWindow::certificateDocument(const comparison::CertificateInfo& info, const comparison::ProbeResult& probe) const {
  const auto& ref = *m_controller->reference();
  const auto joined = [](const std::string& a, const std::string& b) { return qs(a) + (b.empty() ? QString() : ", " + qs(b)); };
  ReportDocument doc(9);
  doc.title(qs(info.title));
  if (!info.replacesNumber.empty())
    doc.paragraph(t("ctReplaces").arg(qs(info.replacesNumber), qs(info.replacesFile), qs(info.replacesSha256)), ReportDocument::Emphasis::Bold);
  doc.fields({{t("ctNumber"), qs(info.number)},
              {t("ctLaboratory"), joined(info.laboratory, info.laboratoryAddress)},
              {t("ctCustomer"), joined(info.customer, info.customerAddress)},
              {t("ctItem"), qs(info.item) + " " + joined(info.itemSerial, info.manufacturer)},
              {t("ctReceived"), qs(info.receivedDate)},
              {t("ctCalibrated"), qs(info.calibrationDate)},
              {t("ctIssued"), qs(info.issueDate)},
              {t("ctConditions"), qs(info.conditions)}});
  doc.heading(t("ctMethodHead"));
  doc.paragraph(qs(info.method));
  doc.paragraph(t("ctNotRealisation"), ReportDocument::Emphasis::Italic);
  doc.heading(t("ctReferenceHead"));
  doc.fields({{t("ctReferenceChannel"), qs(ref.name) + (ref.probe.serial.empty() ? QString() : " (" + qs(ref.probe.serial) + ")")},
              {t("ctReferenceCertificate"),
               info.referenceCertificate.empty() ? QString::fromUtf8("\u2014")
                                                 : qs(info.referenceCertificate) + (info.referenceCertificateDate.empty() ? QString() : ", " + qs(info.referenceCertificateDate))},
              {t("ctRefDue"), info.referenceDue.empty() ? QString::fromUtf8("\u2014") : qs(info.referenceDue)},
              {t("ctTraceability"), qs(info.referenceTraceability)}});
  if (!info.overdueReason.empty()) doc.paragraph(t("ctOverdueUsed").arg(qs(info.referenceDue), qs(info.overdueReason)), ReportDocument::Emphasis::Bold);
  const auto pointsTable = [&](const std::vector<comparison::PointResult>& points) {
    std::vector<ReportDocument::Column> columns;
    for (const QString& c : t("ctPointColumns").split('|')) columns.push_back({c, true});
    std::vector<QStringList> rows;
    for (const auto& p : points)
      rows.push_back({fixed(p.setPoint, 3) + (p.forced ? "*" : ""), fixed(p.referenceT, 4), fixed(p.probe.meanR, 5), fixed(p.probe.meanT, 4),
                      fixed(p.asFoundDeviation, 4), fixed(p.uncertainty.expanded, 4), fixed(p.uncertainty.coverageFactor, 2),
                      QString::number(p.probe.n)});
    doc.table(columns, rows, true);
  };
  doc.heading(t("ctAsFound"));
  pointsTable(probe.points);
  if (std::any_of(probe.points.begin(), probe.points.end(), [](const auto& p) { return p.forced; })) doc.paragraph(t("ctForcedNote"));
  doc.paragraph(t("ctUncertaintyNote"));
  doc.heading(t("ctAdjustment"));
  const auto factorRow = [&](const QString& name, const std::optional<math::TCofSet>& fs) {
    QStringList row{name};
    const auto cells = fs ? comparison::cellsOfFactors(*fs) : std::array<std::string, 4>{};
    for (const auto& c : cells) row << (c.empty() ? QString::fromUtf8("\u2014") : qs(c));
    return row;
  };
  doc.table({{"", false, 0, true}, {"R0, " + t("ctOhm"), true}, {"A x 10^3", true}, {"B x 10^7", true}, {"C x 10^12", true}},
            {factorRow(t("ctHeld"), probe.held), factorRow(t("ctNew"), comparison::factorsOfCells(probe.cells))});
  doc.paragraph(t("ctMethodUsed").arg(probe.method + 1));
  if (!probe.residuals.empty()) {
    std::vector<QStringList> rows;
    for (const auto& r : probe.residuals) rows.push_back({fixed(r.actual, 4), fixed(r.deviation, 5)});
    doc.table({{t("ctResidualT"), true}, {t("ctResidual"), true}}, rows);
  }
  if (std::isfinite(probe.curveU)) doc.paragraph(t("ctCurveU").arg(fixed(probe.curveU, 4)));
  if (probe.fitted) doc.paragraph(t("ctRange").arg(fixed(probe.rangeLow(), 3), fixed(probe.rangeHigh(), 3)), ReportDocument::Emphasis::Bold);
  if (!probe.implausible.empty()) {
    QStringList why;
    for (const auto& m : probe.implausible) why << qs(m);
    doc.paragraph(t("ctImplausible").arg(why.join("; ")), ReportDocument::Emphasis::Bold);
  }
  // Why there are no new factors; the fit's hints are the calibration window's advice, not findings.
  if (!probe.fitted)
    for (const auto& m : probe.messages) doc.paragraph(qs(m));
  doc.heading(t("ctAsLeft"));
  if (probe.asLeft.empty())
    doc.paragraph(t("ctNoAsLeft"));
  else
    pointsTable(probe.asLeft);
  if (!probe.notices.empty()) {
    doc.heading(t("ctNotSettledHead"));
    for (const auto& n : probe.notices) doc.paragraph(qs(n));
  }
  doc.paragraph("\n" + t("ctCalibratedBy") + ": " + qs(info.calibratedBy) + "\n" + t("ctApprovedBy") + ": " + qs(info.approvedBy));
  doc.paragraph(t("ctStatement"), ReportDocument::Emphasis::Bold);
  return doc;
}

}  // namespace velmora
