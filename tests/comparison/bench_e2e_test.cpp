// The bench in the program against simulators only: a reference and three probes on
// pseudo-terminals in a driven bath on its own pseudo-terminal. A three-set-point plan runs
// unattended; the probe that never settles is left out and reported while the others are
// captured; every good probe's fitted curve agrees with its simulated sensor; the factors are
// written and read back, an as-left pass shows the adjustment; the certificates hold what a
// certificate must (pdftotext). A run cut off is offered again: resumed, set aside or kept.
// Time: the bath's clock and the bench's run forty times faster than the wall clock.
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QMenu>
#include <QStatusBar>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/main_window.h"
#include "channel/app_context.h"
#include "channel/channel_set.h"
#include "device/serial_port.h"
#include "common/clock_text.h"
#include "comparison/comparison_run.h"
#include "comparison_ui/bath_driver.h"
#include "comparison_ui/comparison_window.h"
#include "metrology/probe.h"
#include "pty_bath.h"
#include "pty_front_end.h"
#include "simulator/bath_model.h"

using namespace velmora;
using comparison::ComparisonRun;

namespace {
constexpr double kSpeed = 40;  // a second of the wall clock is 40 s of the bath's and the bench's time

struct Bench : ::testing::Test {
  std::shared_ptr<sim::DrivenBath> driven = std::make_shared<sim::DrivenBath>();
  std::unique_ptr<sim::PtyBath> bathPort;
  std::vector<std::unique_ptr<sim::PtyThermometer>> sims;
  MemorySettingsBackend store;
  std::unique_ptr<TfmMain> w;
  QTemporaryDir folder;
  std::unique_ptr<ComparisonBench> bench;
  QStringList messages;

  void SetUp() override {
    driven->speed = kSpeed;
    driven->naturalPeriodSeconds = 60;
    driven->damping = 0.9;
    driven->noise = 0.001;
    auto bath = std::make_shared<sim::Bath>();
    bath->driven = driven;
    for (int k = 1; k <= 4; ++k) {
      sims.push_back(std::make_unique<sim::PtyThermometer>(static_cast<std::uint32_t>(k)));
      sims.back()->withModel([&](sim::ThermometerModel& m) {
        sim::placeInBath(m, bath, k);
        if (k == 4) m.profile.noise = 0.05;  // a wandering contact: never settles
      });
      ASSERT_TRUE(sims.back()->start());
    }
    bathPort = std::make_unique<sim::PtyBath>(driven);
    ASSERT_TRUE(bathPort->start());
    w = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    w->messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    w->files().questionHook = [](const QString&) { return 1; };
    w->findChild<QSpinBox*>("seFlow")->setValue(120);
    w->serialPort().setCommPort(sims[0]->devicePath());
    for (int k = 1; k < 4; ++k) ASSERT_NE(w->addInstrument(sims[static_cast<std::size_t>(k)]->devicePath(), QString("probe %1").arg(k)), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] {
      for (std::size_t c = 1; c < 4; ++c)
        if (!w->channels().at(c).factors()) return false;
      return true;
    }, 20000));
    bench = std::make_unique<ComparisonBench>(w->context(), folder.path());
    bench->open();  // reads what the first instrument holds
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->channels().at(0).factors().has_value(); }, 20000));
  }
  void TearDown() override {
    bench.reset();
    w.reset();
    for (auto& s : sims) s->stop();
    bathPort->stop();
  }
  ComparisonWindow& window() {
    ComparisonWindow& cw = *bench->open();
    cw.messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    cw.controller().timeScale = kSpeed;
    return cw;
  }
  BenchSetup plan(std::vector<double> points) {
    BenchSetup s;
    s.plan.setPoints = std::move(points);
    s.plan.soakMinutes = 1;
    s.plan.rule.windowMinutes = 4;
    s.plan.rule.maxSd = 0.008;
    s.plan.rule.maxDriftPerMinute = 0.006;
    s.plan.captureMinutes = 3;
    s.plan.maxWaitMinutes = 12;
    s.plan.reachedBand = 0.3;
    s.reference = 0;
    s.underTest = {1, 2, 3};
    s.bathPort = QString::fromStdString(bathPort->devicePath());
    return s;
  }
  bool runToEnd(ComparisonWindow& cw, int ms) {
    return QTest::qWaitFor([&] { return cw.controller().run() && cw.controller().run()->phase() == ComparisonRun::Phase::Done; }, ms);
  }
};

std::string pdfText(const QString& path) {
  QProcess p;
  p.start("pdftotext", {"-layout", path, "-"});
  if (!p.waitForFinished(30000)) return {};
  // Without blanks: a heading's letters may be spaced, a long line wrapped.
  // Ligatures ("ﬁ") as their letters.
  std::string text = QString::fromUtf8(p.readAllStandardOutput()).replace(QChar(0xFB01), "fi").replace(QChar(0xFB02), "fl").toStdString();
  text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }), text.end());
  return text;
}

bool holds(const std::string& text, std::string item) {
  item.erase(std::remove_if(item.begin(), item.end(), [](unsigned char c) { return std::isspace(c); }), item.end());
  return text.find(item) != std::string::npos;
}
}  // namespace

TEST_F(Bench, AThreeSetPointPlanRunsUnattendedToVerifiedFactorsAndCertificates) {
  // Probe 2's sensor is a 105 Ω one in an instrument that holds a 100 Ω sensor's factors.
  sims[2]->withModel([](sim::ThermometerModel& m) { m.sensor.R0 = 105; });
  ComparisonWindow& cw = window();
  cw.showSetup(plan({30, 60, 90}));
  cw.btStartClick();
  ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString();
  cw.controller().bath()->setPollInterval(250);
  EXPECT_TRUE(w->channels().at(0).recording());  // the bench records with every instrument
  ASSERT_TRUE(runToEnd(cw, 240000)) << cw.findChild<QLabel*>("lbPhase")->text().toStdString();
  const ComparisonRun& run = *cw.controller().run();
  ASSERT_EQ(run.points().size(), 3u) << cw.findChild<QPlainTextEdit*>("reLog")->toPlainText().toStdString();
  // The wandering probe was left out of every set point and reported; the others captured.
  for (const auto& p : run.points()) {
    EXPECT_EQ(p.find(3), nullptr);
    ASSERT_NE(p.find(1), nullptr);
    ASSERT_NE(p.find(2), nullptr);
    EXPECT_NEAR(*p.bathMean, p.setPoint, 0.05);
    EXPECT_GE(p.find(1)->n, 4u);
  }
  int leftOut = 0;
  for (const auto& n : run.notices()) leftOut += n.channel == 3;
  EXPECT_EQ(leftOut, 3);
  // Each good probe's new factors give its simulated sensor's temperatures (where it sits in
  // the bath) within what its noise allows.
  const auto& results = cw.controller().results();
  ASSERT_EQ(results.size(), 3u);
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& r = results[i];
    ASSERT_TRUE(r.fitted) << r.name;
    EXPECT_EQ(r.method, 1);  // above 0 °C only: R0, A and B
    sim::ThermometerModel model;
    sims[i + 1]->withModel([&](sim::ThermometerModel& m) { model.sensor = m.sensor; model.bathOffset = m.bathOffset; model.bathGradient = m.bathGradient; });
    const auto fitted = comparison::factorsOfCells(r.cells);
    ASSERT_TRUE(fitted);
    for (double t : {30.0, 45.0, 60.0, 75.0, 90.0}) {
      const double seen = t + model.bathGradient * (t - 20) + model.bathOffset;
      EXPECT_NEAR(metrology::cvdTemperature(*fitted, metrology::cvdResistance(model.sensor, seen)), t, 0.006) << r.name << " at " << t;
    }
    EXPECT_GT(r.curveU, 0);
    EXPECT_LT(r.curveU, 0.05);
  }
  EXPECT_FALSE(results[2].fitted);
  EXPECT_EQ(results[2].notices.size(), 3u);
  // The 105 Ω sensor's fit is right but not what its instrument is for: marked, with the reason.
  EXPECT_TRUE(results[0].implausible.empty()) << results[0].implausible.front();
  ASSERT_EQ(results[1].implausible.size(), 1u);
  EXPECT_NE(results[1].implausible[0].find("from the nominal 100"), std::string::npos) << results[1].implausible[0];

  // The run's record: set-up, clock times, every instrument's mean, s and n, and the end; saved
  // with every reading of the run, from which each point's means come again.
  const QStringList record = cw.controller().recordFiles();
  ASSERT_EQ(record.size(), 2) << messages.join("|").toStdString();
  QFile recordFile(record[0]);
  ASSERT_TRUE(recordFile.open(QIODevice::ReadOnly));
  const QString log = QString::fromUtf8(recordFile.readAll());
  EXPECT_EQ(log, cw.findChild<QPlainTextEdit*>("reLog")->toPlainText().section('\n', 0, static_cast<int>(cw.controller().recordLines().size()) - 1) + "\n");
  for (const auto& p : run.points()) {
    std::int64_t from = p.channels.front().firstUtcMs, to = 0;
    for (const auto& c : p.channels) {
      EXPECT_TRUE(log.contains(QString("mean %1 Ω").arg(QString::number(c.meanR, 'f', 5)))) << c.channel << " at " << p.setPoint;
      from = std::min(from, c.firstUtcMs);
      to = std::max(to, c.lastUtcMs);
    }
    EXPECT_TRUE(log.contains(QString("captured from %1 to %2").arg(QString::fromStdString(formatUtcIso(from)), QString::fromStdString(formatUtcIso(to)))))
        << p.setPoint;
  }
  EXPECT_TRUE(log.contains("probe 3 left out at 30.000 °C"));
  EXPECT_TRUE(log.contains("The run ended; recording goes on"));
  EXPECT_TRUE(w->channels().at(0).recording());
  {
    QFile csv(record[1]);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
    for (const auto& p : run.points()) {
      const comparison::ChannelCapture& ref = p.channels.front();
      double sum = 0;
      std::size_t n = 0;
      for (const QString& row : rows) {
        const QStringList f = row.split(',');
        if (f.size() != 6 || f[0] != w->channels().at(0).name) continue;  // channel, UTC, local, elapsed, Ω, °C
        const auto at = parseUtcIso(f[1].toStdString());
        if (at && *at >= ref.firstUtcMs && *at <= ref.lastUtcMs) {
          sum += f[4].toDouble();
          ++n;
        }
      }
      EXPECT_EQ(n, ref.n) << p.setPoint << " " << rows.value(0).toStdString() << " / " << rows.value(1).toStdString();
      EXPECT_NEAR(n ? sum / static_cast<double>(n) : 0, ref.meanR, 1e-6) << p.setPoint;
    }
  }

  // Write and verify asks first, naming each instrument with its port and serial number and the
  // factors it holds and the new ones; Cancel writes nothing.
  w->channels().at(1).serial = "SN-111";
  std::vector<ComparisonWindow::WriteChoice> offered;
  cw.writeConfirmHook = [&](std::vector<ComparisonWindow::WriteChoice>& c) {
    offered = c;
    return false;
  };
  cw.btWriteClick();
  ASSERT_EQ(offered.size(), 2u);  // the probe without factors is not offered
  EXPECT_TRUE(offered[0].instrument.contains("probe 1") && offered[0].instrument.contains(QString::fromStdString(sims[1]->devicePath())) &&
              offered[0].instrument.contains("SN-111"))
      << offered[0].instrument.toStdString();
  EXPECT_TRUE(offered[0].held.startsWith("100.000;")) << offered[0].held.toStdString();
  EXPECT_TRUE(offered[0].write);
  EXPECT_FALSE(offered[1].write);  // the implausible one is not ticked
  EXPECT_FALSE(offered[1].remarks.isEmpty());
  EXPECT_FALSE(cw.controller().writing());
  EXPECT_TRUE(cw.controller().written().empty());
  sims[1]->withModel([](sim::ThermometerModel& m) { EXPECT_EQ(m.stored.R0, 100.0); });
  // Accepted as offered: only the ticked probe's instrument is written, one after another.
  cw.writeConfirmHook = [](std::vector<ComparisonWindow::WriteChoice>&) { return true; };
  cw.btWriteClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !cw.controller().writing(); }, 60000));
  ASSERT_EQ(cw.controller().written().size(), 1u);
  for (const auto& [k, written] : cw.controller().written()) {
    EXPECT_EQ(k, 1);
    EXPECT_TRUE(written.verified) << k << ": " << written.detail.toStdString();
    sims[static_cast<std::size_t>(k)]->withModel([&](sim::ThermometerModel& m) {
      EXPECT_NEAR(m.stored.R0, comparison::factorsOfCells(results[static_cast<std::size_t>(k - 1)].cells)->R0, 1e-9);
    });
  }
  sims[2]->withModel([](sim::ThermometerModel& m) { EXPECT_EQ(m.stored.R0, 100.0); });
  // As left, for the probes that were written: they now read the reference's temperature.
  cw.findChild<QLineEdit*>("edAsLeft")->setText("60");
  cw.btAsLeftClick();
  ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString() << " writing " << cw.controller().writing();
  QByteArray cutDuringAsLeft;  // the journal as a crash during the as-left pass leaves it
  {
    QFile j(bench->journalPath());
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    cutDuringAsLeft = j.readAll();
  }
  cw.controller().bath()->setPollInterval(250);
  ASSERT_TRUE(runToEnd(cw, 120000));
  EXPECT_EQ(cw.controller().run()->underTest(), (std::vector<int>{1}));
  ASSERT_EQ(cw.controller().results()[0].asLeft.size(), 1u);
  EXPECT_LT(std::fabs(cw.controller().results()[0].asLeft[0].asFoundDeviation), 0.006);
  EXPECT_GT(std::fabs(cw.controller().results()[0].points[1].asFoundDeviation), 0.02);  // it was off before
  EXPECT_TRUE(cw.controller().results()[1].asLeft.empty());

  // Certificates: PDF, JSON and CSV per probe, with every item a certificate states.
#ifdef VELMORA_HAVE_DCC_SIGNATURE
  // The laboratory signs its DCCs: a key with a passphrase and its certificate.
  QTemporaryDir keys;
  {
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-sha256", "-days", "30", "-subj", "/CN=Cold Lab", "-passout",
                              "pass:secret", "-keyout", keys.filePath("lab.key"), "-out", keys.filePath("lab.crt")});
    ASSERT_TRUE(openssl.waitForFinished(60000));
    ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
  }
  int passphraseAsked = 0;
  cw.passphraseHook = [&](const QString&, bool* ok) {
    ++passphraseAsked;
    *ok = true;
    return QString("secret");
  };
#endif
  cw.certificateFieldsHook = [&](comparison::CertificateInfo& info) {
#ifdef VELMORA_HAVE_DCC_SIGNATURE
    info.signingKey = keys.filePath("lab.key").toStdString();
    info.signingCertificate = keys.filePath("lab.crt").toStdString();
#endif
    info.laboratory = "Cold Lab";
    info.country = "DE";
    info.customer = "Acme <Thermo>";
    info.item = "PRT";
    info.number = "C-77";
    info.receivedDate = "2026-12-01";
    info.referenceTraceability = "SPRT cert NMI-2026-3";
    info.conditions = "23 C, 40 %RH";
    info.calibratedBy = "A. Tech";
    info.approvedBy = "B. Head";
    return true;
  };
  // Each probe's certificate names its own instrument's identity (set in the Instruments panel).
  for (int k : {1, 2}) {
    Channel& c = w->channels().at(static_cast<std::size_t>(k));
    c.serial = QString("SN-%1%1%1").arg(k);
    c.manufacturer = QString("Maker %1").arg(k);
  }
  QTemporaryDir out;
  cw.folderHook = [&] { return out.path(); };
  cw.btCertificatesClick();
  const QString pdf = QDir(out.path()).filePath("C-77-probe_1.pdf");
  ASSERT_TRUE(QFile::exists(pdf)) << messages.join("|").toStdString();
  EXPECT_TRUE(QFile::exists(QDir(out.path()).filePath("C-77-probe_1.json")));
  EXPECT_TRUE(QFile::exists(QDir(out.path()).filePath("C-77-probe_2-points.csv")));
  const std::string text = pdfText(pdf);
  for (const char* item : {"Calibration certificate (draft)", "C-77-probe_1", "page 1 of 2", "page 2 of 2",
                           "The new factors were determined from 30.0", "are not valid outside this range", "Cold Lab", "Acme <Thermo>", "SN-111", "Maker 1", "2026-12-01",
                           "Date of calibration", "Date of issue", "not a realisation of the temperature scale",
                           "SPRT cert NMI-2026-3", "23 C, 40 %RH", "Results as found", "Results as left", "U, °C", "k",
                           "Expanded uncertainty of the curve", "A. Tech", "B. Head", "The results relate only to the item calibrated."})
    EXPECT_TRUE(holds(text, item)) << item;
  QFile json(QDir(out.path()).filePath("C-77-probe_1.json"));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  const auto j = nlohmann::json::parse(json.readAll().toStdString());
  EXPECT_TRUE(j["as_found"]["points"][0]["uncertainty"].contains("expanded_C"));
  EXPECT_FALSE(j["as_left"]["points"].empty());
  EXPECT_EQ(j["item"]["serial"], "SN-111");
  EXPECT_EQ(j["item"]["manufacturer"], "Maker 1");
  const std::string second = pdfText(QDir(out.path()).filePath("C-77-probe_2.pdf"));
  EXPECT_TRUE(holds(second, "SN-222") && holds(second, "Maker 2") && !holds(second, "SN-111"));
  EXPECT_TRUE(holds(second, "failed the plausibility checks")) << second;
#ifdef VELMORA_HAVE_DCC
  // The DCC beside each: valid against the project's copy of the schemas (xmllint, no network),
  // its deviations and their uncertainties those of the JSON and, rounded, of the PDF.
  {
    const QString xml = QDir(out.path()).filePath("C-77-probe_1.xml");
    QProcess lint;
    lint.start("xmllint", {"--noout", "--nonet", "--schema", QString(VELMORA_SOURCE_DCC) + "/dcc_local.xsd", xml});
    ASSERT_TRUE(lint.waitForFinished(60000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
    QFile f(xml);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString dcc = QString::fromUtf8(f.readAll());
    const QRegularExpression list("<si:valueXMLList>([^<]*)</si:valueXMLList>"), unc("<si:uncertaintyXMLList>([^<]*)</si:uncertaintyXMLList>");
    QStringList values, uncertainties;
    for (auto it = list.globalMatch(dcc); it.hasNext();) values << it.next().captured(1);
    for (auto it = unc.globalMatch(dcc); it.hasNext();) uncertainties << it.next().captured(1);
    ASSERT_GE(values.size(), 5);
    const QStringList deviations = values[4].split(' '), us = uncertainties.value(0).split(' ');
    ASSERT_EQ(deviations.size(), static_cast<qsizetype>(j["as_found"]["points"].size()));
    for (qsizetype i = 0; i < deviations.size(); ++i) {
      const double d = deviations[i].toDouble(), u = us.value(i).toDouble();
      EXPECT_EQ(d, j["as_found"]["points"][static_cast<std::size_t>(i)]["deviation_C"].get<double>()) << i;
      EXPECT_EQ(u, j["as_found"]["points"][static_cast<std::size_t>(i)]["uncertainty"]["expanded_C"].get<double>()) << i;
      EXPECT_TRUE(holds(text, QString::number(d, 'f', 4).toStdString())) << d;
    }
    for (const char* part : {"<si:unitXMLList>\\kelvin</si:unitXMLList>", "<si:coverageFactorXMLList>", "<dcc:value>SN-111</dcc:value>",
                             "<dcc:mimeType>application/pdf</dcc:mimeType>", "lang=\"ru\""})
      EXPECT_TRUE(dcc.contains(part)) << part;
#ifdef VELMORA_HAVE_DCC_SIGNATURE
    // Signed (the passphrase asked once for all probes): velmora --verify-certificate says who
    // signed it; a copy with one character changed is invalid.
    EXPECT_EQ(passphraseAsked, 1);
    const auto verify = [](const QString& file, QString* said) {
      QProcess p;
      p.start(VELMORA_EXE, {"--verify-certificate", file});
      if (!p.waitForFinished(60000)) return -1;
      *said = QString::fromUtf8(p.readAllStandardOutput());
      return p.exitCode();
    };
    QString said;
    EXPECT_EQ(verify(xml, &said), 0) << said.toStdString();
    EXPECT_TRUE(said.startsWith("valid: signed by CN=Cold Lab")) << said.toStdString();
    QString tampered = dcc;
    tampered.replace("<dcc:value>SN-111</dcc:value>", "<dcc:value>SN-112</dcc:value>");
    QFile copy(QDir(out.path()).filePath("tampered.xml"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(tampered.toUtf8());
    copy.close();
    EXPECT_EQ(verify(copy.fileName(), &said), 1) << said.toStdString();
    EXPECT_TRUE(said.startsWith("invalid: the document was changed")) << said.toStdString();
#endif
  }
#endif
  EXPECT_FALSE(holds(text, "poorly determined"));  // the fit's hints are not findings
  // The run's plan stays the plan; the as-left pass's has its own entry.
  EXPECT_EQ(j["plan"]["set_points_C"], nlohmann::json::parse("[30, 60, 90]")) << j;
  EXPECT_EQ(j["as_left_plan"]["set_points_C"], nlohmann::json::parse("[60]"));
  // The probe that never settled has no certificate, and the user is told why; the run's record
  // and readings lie beside the certificates.
  EXPECT_FALSE(QFile::exists(QDir(out.path()).filePath("C-77-probe_3.pdf")));
  EXPECT_TRUE(messages.filter("No certificate for probe 3").size() == 1) << messages.join("|").toStdString();
  EXPECT_TRUE(QFile::exists(QDir(out.path()).filePath("C-77-run.txt")));
  EXPECT_TRUE(QFile::exists(QDir(out.path()).filePath("C-77-run-readings.csv")));

  // Issued again: nothing is overwritten; the new certificate is an amendment with its own number
  // that names the one it replaces, with that file's SHA-256.
  const auto fileBytes = [&](const char* name) {
    QFile f(QDir(out.path()).filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  const QByteArray firstPdf = fileBytes("C-77-probe_1.pdf");
  const QByteArray firstOwn = fileBytes(QFile::exists(QDir(out.path()).filePath("C-77-probe_1.xml")) ? "C-77-probe_1.xml" : "C-77-probe_1.pdf");
  cw.btCertificatesClick();
  EXPECT_EQ(fileBytes("C-77-probe_1.pdf"), firstPdf);
  ASSERT_TRUE(QFile::exists(QDir(out.path()).filePath("C-77-probe_1-A1.pdf"))) << messages.join("|").toStdString();
  const std::string amended = pdfText(QDir(out.path()).filePath("C-77-probe_1-A1.pdf"));
  const std::string sha = QCryptographicHash::hash(firstOwn, QCryptographicHash::Sha256).toHex().toStdString();
  EXPECT_TRUE(holds(amended, "This certificate replaces certificate C-77-probe_1")) << amended;
  EXPECT_TRUE(holds(amended, sha.substr(0, 16))) << amended;
  const auto amendedJson = nlohmann::json::parse(fileBytes("C-77-probe_1-A1.json").toStdString());
  EXPECT_EQ(amendedJson["certificate_number"], "C-77-probe_1-A1");
  EXPECT_EQ(amendedJson["replaces"]["sha256"], sha);
#ifdef VELMORA_HAVE_DCC
  const QString amendedDcc = QString::fromUtf8(fileBytes("C-77-probe_1-A1.xml"));
  EXPECT_TRUE(amendedDcc.contains("<dcc:referralID>C-77-probe_1</dcc:referralID>")) << amendedDcc.left(3000).toStdString();
  EXPECT_TRUE(amendedDcc.contains(QString("<dcc:value>%1</dcc:value>").arg(QString::fromStdString(sha))));
  EXPECT_TRUE(amendedDcc.contains("<dcc:uniqueIdentifier>C-77-probe_1-A1</dcc:uniqueIdentifier>"));
#endif

  // A crash during the as-left pass: offered again and taken up with the run's results, the
  // factors each probe held before the write and the probe that was written.
  {
    QFile j(bench->journalPath());
    ASSERT_TRUE(j.open(QIODevice::WriteOnly | QIODevice::Truncate));
    j.write(cutDuringAsLeft);
  }
  QString asked;
  cw.resumeHook = [&](const QString& q) {
    asked = q;
    return ComparisonWindow::ResumeChoice::Resume;
  };
  cw.offerResume();
  EXPECT_TRUE(asked.startsWith("An as-left pass was cut off before set point 1 of 1")) << asked.toStdString();
  ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString();
  EXPECT_TRUE(cw.controller().asLeftPass());
  EXPECT_EQ(cw.controller().run()->underTest(), (std::vector<int>{1}));
  ASSERT_EQ(cw.controller().results().size(), 3u);
  EXPECT_EQ(cw.controller().results()[0].held->R0, 100.0);  // not what it holds now
  EXPECT_EQ(cw.controller().results()[0].cells, results[0].cells);
  EXPECT_EQ(cw.controller().runPlan().setPoints, (std::vector<double>{30, 60, 90}));
  ASSERT_EQ(cw.controller().written().size(), 1u);
  EXPECT_TRUE(cw.controller().written().at(1).verified);
  cw.btStopClick();
}

// "Set point reached" while the reference is far from the set point asks; Escape takes nothing.
TEST_F(Bench, SetPointReachedFarFromTheSetPointAsksAndEscapeCapturesNothing) {
  ComparisonWindow& cw = window();
  BenchSetup s = plan({30});
  s.bathPort.clear();  // the bath sits at about 21 °C
  cw.showSetup(s);
  cw.btStartClick();
  ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return cw.controller().run()->tracker(0).size() > 0; }, 20000));
  QStringList asked;
  bool answer = false;
  cw.captureAnywayHook = [&](const QString& q) {
    asked << q;
    return answer;
  };
  cw.btReachedClick();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].startsWith("The reference reads 2")) << asked[0].toStdString();
  EXPECT_TRUE(asked[0].endsWith("from the set point 30 °C. Capture anyway?")) << asked[0].toStdString();
  EXPECT_EQ(cw.controller().run()->phase(), ComparisonRun::Phase::Approaching);
  answer = true;
  cw.btReachedClick();
  EXPECT_EQ(cw.controller().run()->phase(), ComparisonRun::Phase::Soaking);
  cw.btStopClick();
}

// The bath's silence: never reported while it answers every poll, cleared when answers return.
TEST(BathDriverSilence, ABathThatAnswersIsNeverSilentAndTheWarningClearsWhenItAnswersAgain) {
  auto driven = std::make_shared<sim::DrivenBath>();
  sim::PtyBath port(driven);
  ASSERT_TRUE(port.start());
  BathDriver d;
  d.setPollInterval(250);
  std::vector<bool> changes;
  int readings = 0;
  QObject::connect(&d, &BathDriver::silenceChanged, [&](bool silent) { changes.push_back(silent); });
  QObject::connect(&d, &BathDriver::reading, [&](double) { ++readings; });
  QString why;
  ASSERT_TRUE(d.open(QString::fromStdString(port.devicePath()), 9600, &why)) << why.toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return readings >= 20; }, 30000));
  EXPECT_TRUE(changes.empty());
  driven->silent = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !changes.empty(); }, 20000));
  EXPECT_EQ(changes, std::vector<bool>{true});
  driven->silent = false;
  ASSERT_TRUE(QTest::qWaitFor([&] { return changes.size() == 2; }, 20000));
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  port.stop();
}

TEST_F(Bench, ACutOffRunIsResumedSetAsideOrKeptForLater) {
  // A run of two set points cut off after its first point.
  BenchSetup s = plan({30, 60});
  s.underTest = {1, 2};
  s.bathPort.clear();
  s.plan.setPointTolerance = 0.25;
  s.plan.stopOnMissed = true;
  std::string journal;
  ComparisonRun cut(s.plan, 4, 0, s.underTest, false);
  cut.journal = [&](const std::string& line) { journal += line + "\n"; };
  journal = cut.header({"T1", "probe 1", "probe 2", "probe 3"}) +
            "ui reference -\nui budget 0.004 2.5 0.0021 0.0032 0.0013\nui bath - 9600\nui method 1\nui endrecording 1\n";
  cut.start(0, 1796731200000);
  cut.confirmReached(0.1);
  double t = 0.1;
  for (; cut.points().empty(); t += 0.5)
    for (int k = 0; k < 4; ++k) cut.reading(k, t, 111.67, 30.0 + 0.0001 * k, 1796731200000 + static_cast<std::int64_t>(t * 60000));
  journal += "setpoint 1 60\nreached 1\n";  // the second set point was begun when it stopped
  // The run's journal is this program's, beside the recording journal; one left by a program
  // that is gone is taken over and offered.
  const QString path = bench->journalPath();
  EXPECT_EQ(QFileInfo(path).fileName(), QString("bench-run-%1.txt").arg(QCoreApplication::applicationPid()));
  EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
  auto put = [&] {
    QFile f(QDir(folder.path()).filePath("bench-run-4000001.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(journal.data(), static_cast<qint64>(journal.size()));
  };
  using Choice = ComparisonWindow::ResumeChoice;
  for (const Choice choice : {Choice::Later, Choice::SetAside, Choice::Resume}) {
    put();
    ComparisonWindow& cw = window();
    QString asked;
    cw.resumeHook = [&](const QString& q) {
      asked = q;
      return choice;
    };
    bench->offerResume();
    EXPECT_TRUE(asked.contains("before set point 2 of 2 (1 point captured)")) << asked.toStdString();
    switch (choice) {
      case Choice::Later:  // Escape: kept and offered again
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_FALSE(cw.controller().running());
        break;
      case Choice::SetAside:  // renamed, never offered again, and the user told where
        EXPECT_FALSE(QFile::exists(path));
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_TRUE(messages.back().contains(path + ".")) << messages.back().toStdString();
        EXPECT_FALSE(cw.controller().unfinished());
        break;
      case Choice::Resume: {
        ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString();
        const ComparisonRun& run = *cw.controller().run();
        EXPECT_EQ(run.points().size(), 1u);  // the captured point kept
        EXPECT_EQ(run.index(), 1);           // at the set point where it stopped
        // Every input of the uncertainty budget and of the run's rules as the run began with them.
        const BenchSetup& again = cw.controller().setup();
        EXPECT_EQ(again.budget.referenceU, 0.004);
        EXPECT_EQ(again.budget.referenceK, 2.5);
        EXPECT_EQ(again.budget.bathStability, 0.0021);
        EXPECT_EQ(again.budget.bathUniformity, 0.0032);
        EXPECT_EQ(again.budget.resolution, 0.0013);
        EXPECT_EQ(again.method, 1);
        EXPECT_EQ(again.plan.setPointTolerance, 0.25);
        EXPECT_TRUE(again.plan.stopOnMissed);
        EXPECT_TRUE(again.stopRecordingAtEnd);
        EXPECT_EQ(cw.findChild<QLineEdit*>("edSetPoints")->text(), "30; 60");
        cw.btStopClick();
        break;
      }
    }
  }
}

TEST_F(Bench, StartRefusesASetUpThatCannotRunAndSaysWhy) {
  ComparisonWindow& cw = window();
  struct Case {
    const char* name;
    std::function<void(BenchSetup&)> change;
    const char* says;
  };
  const Case cases[] = {
      {"no probe", [](BenchSetup& s) { s.underTest.clear(); }, "No probe under test"},
      {"no rule", [](BenchSetup& s) { s.plan.rule = {}; }, "No stability rule"},
      {"bath port missing", [](BenchSetup& s) { s.bathPort = "/dev/velmora-no-such-bath"; }, "Cannot open the bath's port /dev/velmora-no-such-bath"},
      {"probe file damaged", [&](BenchSetup& s) {
         s.referenceFile = QDir(folder.path()).filePath("ref.probe");
         QFile f(s.referenceFile);
         (void)f.open(QIODevice::WriteOnly);
         f.write("VELMORA PROBE 1\ntype: CVD\nR0: abc\n");
       }, "is damaged (line"},
  };
  for (const auto& c : cases) {
    BenchSetup s = plan({30});
    c.change(s);
    cw.showSetup(s);
    messages.clear();
    cw.btStartClick();
    EXPECT_FALSE(cw.controller().running()) << c.name;
    ASSERT_EQ(messages.size(), 1) << c.name;
    EXPECT_TRUE(messages[0].contains(c.says)) << c.name << ": " << messages[0].toStdString();
  }
  // A reference past its certificate's due date: the set-up shows it, Start asks why and
  // without a reason nothing starts; the reason goes into the journal and the run's record.
  {
    metrology::ProbeCharacterisation old;
    old.serial = "R-1";
    old.certificate = "NMI-1";
    old.date = "2024-01-10";
    old.due = "2025-01-10";
    old.cvd = {100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
    BenchSetup s = plan({30});
    s.bathPort.clear();
    s.referenceFile = QDir(folder.path()).filePath("old.probe");
    QFile f(s.referenceFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromStdString(metrology::probeText(old)));
    f.close();
    cw.showSetup(s);
    EXPECT_EQ(cw.findChild<QLabel*>("lbReferenceStatus")->text(), "Reference certificate NMI-1 of 2024-01-10, due 2025-01-10.");
    QString asked, reason;
    bool given = false;
    cw.overdueReasonHook = [&](const QString& q, bool* ok) {
      asked = q;
      *ok = given;
      return reason;
    };
    messages.clear();
    cw.btStartClick();  // Escape on the question
    EXPECT_FALSE(cw.controller().running());
    EXPECT_TRUE(asked.startsWith("The reference's certificate NMI-1 was due on 2025-01-10.")) << asked.toStdString();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("the run was not started without a reason")) << messages[0].toStdString();
    given = true;
    reason = "intermediate check at the TPW passed";
    cw.btStartClick();
    ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString();
    ASSERT_GT(cw.controller().recordLines().size(), 1u);
    EXPECT_TRUE(cw.controller().recordLines()[1].endsWith("it was used because: intermediate check at the TPW passed"));
    QFile journal(cw.controller().journalPath());
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    EXPECT_TRUE(journal.readAll().contains("ui overdue intermediate%20check%20at%20the%20TPW%20passed"));
    EXPECT_EQ(cw.controller().setup().overdueReason, reason);
    cw.btStopClick();
  }
  // Set points as typed: ";" or blanks between them, "," as the decimal sign; words refused.
  EXPECT_EQ(parseSetPoints("0; 29,7646  156.5985"), (std::vector<double>{0, 29.7646, 156.5985}));
  EXPECT_FALSE(parseSetPoints("0; fifty"));
  EXPECT_FALSE(parseSetPoints(" ; "));
}

// Quitting with the bench's window open ends the program; while a run is under way it asks
// first (Cancel keeps both), and Escape on the bench's window asks the same way.
TEST_F(Bench, QuittingOrEscapeDuringARunAsksAndTheProgramEndsWithItsWindows) {
  w->show();
  ComparisonWindow& cw = window();
  BenchSetup s = plan({30});
  s.bathPort.clear();
  cw.showSetup(s);
  cw.btStartClick();
  ASSERT_TRUE(cw.controller().running()) << messages.join("|").toStdString();
  QStringList asked;
  bool answer = false;
  cw.stopQuestionHook = [&](const QString& q) {
    asked << q;
    return answer;
  };
  QTest::keyClick(&cw, Qt::Key_Escape);
  EXPECT_TRUE(cw.isVisible());
  EXPECT_TRUE(cw.controller().running());
  w->close();  // Ctrl+Q does the same
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(cw.controller().running());
  ASSERT_EQ(asked.size(), 2);
  EXPECT_TRUE(asked[0].contains("Close the window and stop the run?"));
  EXPECT_TRUE(asked[1].contains("Stop the run and quit the program?"));
  answer = true;
  bool ended = false;
  QObject::connect(w.get(), &TfmMain::closedNormally, [&] { ended = true; });
  w->close();
  EXPECT_TRUE(ended);
  EXPECT_FALSE(cw.controller().running());
  EXPECT_FALSE(cw.isVisible());
}

// At start after a crash during a run: the recording (with its instruments) is restored first,
// then the cut-off run is offered and finds its instruments by name.
TEST(BenchAtStart, TheRecordingComesBackFirstThenTheRunIsOfferedWithItsInstruments) {
  QTemporaryDir dir;
  const QByteArray previous = qgetenv("VELMORA_JOURNAL_DIR");
  qputenv("VELMORA_JOURNAL_DIR", dir.path().toLocal8Bit());
  MemorySettingsBackend store;
  {
    // A recording of two instruments, cut off (no normal end).
    auto w = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    w->messageHook = [](MessageKind, const QString&) {};
    Channel* p = w->addInstrument("", "probe 9");
    ASSERT_NE(p, nullptr);
    w->AddPoint(1 / 1440.0, 30.0);
    w->journal().recordedOn(p->number(), 1 / 1440.0, 30.01, "30.01", 111.7, 1'790'000'000'000);
    const QString path = w->journal().journalPath();
    w.reset();
    ASSERT_TRUE(QFile::rename(path, QDir(dir.path()).filePath("journal-999993.txt")));
  }
  {
    // The run it was part of, cut off after its first point, left by that program.
    comparison::Plan plan;
    plan.setPoints = {30, 60};
    plan.rule.windowMinutes = 1;
    plan.rule.maxSd = 0.01;
    plan.captureReadings = 3;
    ComparisonRun cut(plan, 2, 0, {1}, false);
    std::string journal = cut.header({"T1", "probe 9"}) + "ui reference -\n";
    cut.journal = [&](const std::string& line) { journal += line + "\n"; };
    cut.start(0, 1'790'000'000'000);
    cut.confirmReached(0.1);
    for (double t = 0.1; cut.points().empty(); t += 0.25)
      for (int k = 0; k < 2; ++k) cut.reading(k, t, 111.67, 30.0, 1'790'000'000'000 + static_cast<std::int64_t>(t * 60000));
    QFile f(QDir(dir.path()).filePath("bench-run-999993.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(journal.data(), static_cast<qint64>(journal.size()));
  }
  TfmMain w(store, MainWindowOptions::with(false, 1033));
  w.messageHook = [](MessageKind, const QString&) {};
  QStringList order;
  w.journal().restoreQuestionHook = [&](const QString&) {
    order << "restore";
    return JournalKeeper::Choice::Restore;
  };
  ComparisonBench bench(w.context(), w.journal().folder());
  w.channels().at(0).setFactors({100.0, 3.9083e-3, -5.775e-7, -4.183e-12});  // what the reference holds
  ComparisonWindow* cw = bench.open();
  cw->hide();
  QStringList said;
  cw->messageHook = [&](MessageKind, const QString& t) { said << t; };
  cw->resumeHook = [&](const QString&) {
    order << "resume:" + QString::number(w.channels().size());
    return ComparisonWindow::ResumeChoice::Resume;
  };
  bench.offerAtStart();
  EXPECT_EQ(order, (QStringList{"restore", "resume:2"}));
  ASSERT_TRUE(cw->controller().running()) << said.join("|").toStdString();
  EXPECT_EQ(cw->controller().run()->points().size(), 1u);
  EXPECT_EQ(w.channels().at(1).name, "probe 9");
  cw->controller().stop();
  qputenv("VELMORA_JOURNAL_DIR", previous);
}

// The bench stands on the context it is given, not on a main window: its menu entry follows
// the context's language, its window lists the context's instruments (one added later too),
// quitting the program while no run is under way lets it close, and the program's end hides it.
TEST(BenchContext, TheBenchNeedsOnlyItsContext) {
  SteadyDayClock clock;
  ChannelSet set(ConnectionOptions{}, clock);
  set.add("", "reference");
  set.add("", "probe A");
  Translator tr;
  QWidget main;
  QMenu menu;
  QStatusBar bar;
  AppContext app(set, tr, &main, &menu, &bar);
  QTemporaryDir folder;
  auto* bench = new ComparisonBench(app, folder.path());
  ASSERT_EQ(menu.actions().size(), 1);
  const QString english = menu.actions().front()->text();
  tr.setLanguage(Language::Russian);
  emit app.languageChanged();
  EXPECT_NE(menu.actions().front()->text(), english);
  EXPECT_FALSE(menu.actions().front()->text().isEmpty());
  ComparisonWindow* cw = bench->open();
  auto* reference = cw->findChild<QComboBox*>("cbReference");
  ASSERT_NE(reference, nullptr);
  EXPECT_EQ(reference->count(), 2);
  set.add("", "probe B");
  ASSERT_TRUE(QTest::qWaitFor([&] { return reference->count() == 3; }, 5000));
  EXPECT_EQ(reference->itemText(2).contains("probe B"), true) << reference->itemText(2).toStdString();
  QCloseEvent close;
  QApplication::sendEvent(&main, &close);
  EXPECT_TRUE(close.isAccepted());
  emit app.closedNormally();
  EXPECT_FALSE(cw->isVisible());
}
