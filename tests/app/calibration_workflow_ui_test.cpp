// The calibration workflow in the windows: a point taken from the statistics panel, the
// warning before a calculation, the residual plot, and the report as a PDF whose text is
// read back with pdftotext.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/analysis_tools.h"
#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "calibration/residual_window.h"
#include "common/number_text.h"
#include "display/chart_panel.h"
#include "math/platinum.h"

using namespace velmora;

namespace {
constexpr double kMinute = 1.0 / 1440.0;
const math::TCofSet kIec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};

struct WorkflowFixture : ::testing::Test {
  MemorySettingsBackend store;
  QTemporaryDir dir;
  TfmMain w{store, MainWindowOptions::with(false, 1033)};
  TfmCalibr* c = w.calibrationWindow();
  QStringList messages;

  void SetUp() override {
    w.messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    c->setPacing(false);
  }
  // A settled bath at 21 °C: 41 readings with known resistance.
  void settledReadings() {
    for (int i = 0; i <= 40; ++i) {
      const double t = 21 + ((i % 3) - 1) * 0.002;
      w.addReading(i * 0.5 * kMinute, t, math::RofT(kIec, t, false));
    }
    w.flushViews();
  }
  void point(int row, double t) {
    c->setDataCell(2, row, formatFixed(math::RofT(kIec, t, t < 0) + 0.001 * row, 12, 4));
    c->setDataCell(3, row, formatFixed(t, 6, 2));
  }
};
}  // namespace

TEST_F(WorkflowFixture, TheMeanOfASpanLandsInTheNextFreeRowAsTheDataTypeAsks) {
  settledReadings();
  c->setDataCell(2, 1, "100.0");
  c->setDataCell(3, 1, "0.01");
  w.chart()->setSpan(5 * kMinute, 15 * kMinute);
  QString prompt;
  c->actualTemperatureHook = [&](const QString& p) -> std::optional<QString> {
    prompt = p;
    return QString("20.998");
  };
  w.analysis().panel()->addPointButton()->click();  // the calibration window is not open
  const SpanStatistics st = w.display().series().statistics(10, 31);
  EXPECT_EQ(c->dataCell(2, 2), formatFixed(st.resistance.mean, 12, 5));
  EXPECT_EQ(c->dataCell(3, 2), "20.998");
  EXPECT_TRUE(prompt.contains("n = 21")) << prompt.toStdString();
  auto* table = c->findChild<QTableWidget*>("sgData");
  EXPECT_TRUE(table->item(1, 1)->toolTip().startsWith("n = 21, std. deviation = ")) << table->item(1, 1)->toolTip().toStdString();
  EXPECT_TRUE(messages.last().contains("row 2"));
  // Temperature as the data type: the mean temperature.
  c->findChildren<QRadioButton*>().at(1)->setChecked(true);  // the data type group: resistance, temperature
  w.analysis().panel()->addPointButton()->click();
  EXPECT_EQ(c->dataCell(2, 3), formatFixed(st.temperature.mean, 12, 5));
  // The calibration window is modal: its own "Point" button takes the same stretch.
  c->findChild<QToolButton*>("btTakePoint")->click();
  EXPECT_EQ(c->dataCell(2, 4), formatFixed(st.temperature.mean, 12, 5));
  c->setDataCell(2, 4, "");
  c->setDataCell(3, 4, "");
  // Cancel leaves the table alone; a reference that is not a number is refused.
  c->actualTemperatureHook = [](const QString&) { return std::optional<QString>(); };
  w.analysis().panel()->addPointButton()->click();
  EXPECT_TRUE(c->dataCell(2, 4).empty());
  c->actualTemperatureHook = [](const QString&) { return std::optional<QString>("twenty"); };
  w.analysis().panel()->addPointButton()->click();
  EXPECT_TRUE(c->dataCell(2, 4).empty());
  EXPECT_TRUE(messages.last().contains("twenty"));
  // The reference is kept as typed, every digit of it; "," is read as the decimal sign.
  c->actualTemperatureHook = [](const QString&) { return std::optional<QString>(" 29,7646 "); };
  w.analysis().panel()->addPointButton()->click();
  EXPECT_EQ(c->dataCell(3, 4), "29.7646");
  c->setDataCell(2, 4, "");
  c->setDataCell(3, 4, "");
  // A full table is refused with a message and nothing is overwritten.
  c->actualTemperatureHook = [](const QString&) { return std::optional<QString>("1"); };
  for (int r = 4; r <= 20; ++r) point(r, r);
  w.analysis().panel()->addPointButton()->click();
  EXPECT_EQ(messages.last(), "The calibration table is full: no free row left.");
  EXPECT_EQ(c->dataCell(3, 20), "20.00");
}

TEST_F(WorkflowFixture, AWarningBeforeACalculationCanBeAcceptedOrCancelled) {
  for (int r = 1; r <= 5; ++r) point(r, std::vector<double>{-50, 0.01, 100, 200, 400}[static_cast<std::size_t>(r - 1)]);
  c->setCalcMethod(0);
  QString warning;
  c->warningHook = [&](const QString& text) {
    warning = text;
    return false;
  };
  c->btCalcMouseDown(Qt::LeftButton);
  EXPECT_TRUE(warning.contains("Only one point below 0")) << warning.toStdString();
  EXPECT_TRUE(c->coefficientText(2, 1).isEmpty());  // cancelled: nothing calculated
  c->warningHook = [](const QString&) { return true; };
  c->btCalcMouseDown(Qt::LeftButton);
  EXPECT_FALSE(c->coefficientText(2, 1).isEmpty());
  // The residual plot follows the calculation: one point per used row, labelled by row.
  ASSERT_EQ(c->residuals().size(), 5u);
  EXPECT_EQ(c->residualWindow()->pointLabels(), (QStringList{"1", "2", "3", "4", "5"}));
  EXPECT_TRUE(c->dataCell(4, 1).empty());  // the designed deviation column waits for Δ
  c->grab().save(QDir::temp().filePath("velmora-calibration-en.png"));
  c->residualWindow()->grab().save(QDir::temp().filePath("velmora-residuals-en.png"));
  w.findChild<QAction*>("miLangRU")->trigger();
  c->grab().save(QDir::temp().filePath("velmora-calibration-ru.png"));
  c->residualWindow()->grab().save(QDir::temp().filePath("velmora-residuals-ru.png"));
  w.findChild<QAction*>("miLangEN")->trigger();
  // Δ with a row excluded: four points.
  c->setDataCell(1, 3, "X");
  c->btErrorClick();
  EXPECT_EQ(c->residualWindow()->pointLabels(), (QStringList{"1", "2", "4", "5"}));
  // A method the points cannot support at all is not offered "anyway": it says which fits.
  warning.clear();
  c->setCalcMethod(0);
  c->setDataCell(1, 5, "X");  // with row 3 excluded: −50, 0.01 and 200 °C left
  const QString before = c->coefficientText(2, 1);
  c->btCalcMouseDown(Qt::LeftButton);
  EXPECT_TRUE(warning.isEmpty());
  EXPECT_TRUE(messages.last().contains("Method 1 needs points at four")) << messages.last().toStdString();
  EXPECT_TRUE(messages.last().contains("Method 3 fits these points")) << messages.last().toStdString();
  EXPECT_EQ(c->coefficientText(2, 1), before);
  c->setDataCell(1, 5, "");
  // No warning on a table the method is made for.
  warning.clear();
  c->warningHook = [&](const QString& text) {
    warning = text;
    return true;
  };
  c->setDataCell(1, 3, "");
  point(6, -100);
  c->btCalcMouseDown(Qt::LeftButton);
  EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
}

TEST_F(WorkflowFixture, TheReportHoldsTheFactorsTheMethodAndEveryPoint) {
  const std::vector<double> temps{-100, -50, 0.01, 100, 200, 400};
  for (int r = 1; r <= 6; ++r) point(r, temps[static_cast<std::size_t>(r - 1)]);
  c->setDataCell(1, 6, "X");
  for (int col = 1; col <= 4; ++col) c->setCoefficientText(1, col, QStringList{"100.000", "3.9083", "-5.7750", "-4.1830"}[col - 1]);
  // A seventh point taken from readings: its n, spread and time go into the report.
  settledReadings();
  w.chart()->setSpan(5 * kMinute, 15 * kMinute);
  c->actualTemperatureHook = [](const QString&) { return std::optional<QString>("21.0002"); };
  ASSERT_TRUE(c->addCalibrationPoint(w.analysis().currentStretch()));
  c->setCalcMethod(1);
  c->warningHook = [](const QString&) { return true; };
  c->btCalcMouseDown(Qt::LeftButton);
  ASSERT_FALSE(c->coefficientText(2, 1).isEmpty());
  c->reportFieldsHook = [](ReportFields& f) {
    f = {"PT-100 #4711", "A. Operator", "SPRT 5681 <ref>", "Bath: oil\nSecond line"};
    return true;
  };
  const QString path = dir.filePath("report.pdf");
  c->fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return path; };
  c->btReportClick();
  ASSERT_TRUE(QFile::exists(path));
  QFile::remove(QDir::temp().filePath("velmora-report.pdf"));
  QFile::copy(path, QDir::temp().filePath("velmora-report.pdf"));  // to look at
  EXPECT_TRUE(messages.last().startsWith("Report saved: "));
  QFile csv(TfmCalibr::pointsPathFor(path));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QStringList csvLines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(csvLines.size(), 8);
  EXPECT_EQ(csvLines[0], "row,excluded,measured_ohm,actual_C,deviation_C,n,sd_ohm,from,to");  // with units
  EXPECT_TRUE(csvLines[6].startsWith("6,X," + QString::fromStdString(c->dataCell(2, 6)) + ",400.00,"));
  EXPECT_TRUE(csvLines[7].startsWith("7,," + QString::fromStdString(c->dataCell(2, 7)) + ",21.0002,")) << csvLines[7].toStdString();
  EXPECT_EQ(csvLines[7].split(',').value(5), "21");
  // The deviations carry the decimals that make E meaningful (two significant digits of E).
  const ResidualSummary summary = summarizeResiduals(c->residuals());
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(summary.rms))) + 1, 3, 7);
  const QString deviation1 = csvLines[1].split(',').value(4);
  EXPECT_EQ(deviation1.size() - deviation1.indexOf('.') - 1, decimals) << deviation1.toStdString();
  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  QProcess p;
  p.start(pdftotext, {"-layout", path, "-"});
  ASSERT_TRUE(p.waitForFinished(20000));
  const QString text = QString::fromUtf8(p.readAllStandardOutput());
  for (int col = 1; col <= 4; ++col) {
    EXPECT_TRUE(text.contains(c->coefficientText(1, col))) << col;
    EXPECT_TRUE(text.contains(c->coefficientText(2, col))) << col;
  }
  EXPECT_TRUE(text.contains("Calc #2: A, B - based on positive")) << text.toStdString();  // the method menu's name
  for (int r = 1; r <= 6; ++r) {
    EXPECT_TRUE(text.contains(QString::fromStdString(c->dataCell(2, r)))) << r;
    EXPECT_TRUE(text.contains(QString::fromStdString(c->dataCell(3, r)))) << r;
  }
  EXPECT_TRUE(text.contains("excluded"));
  EXPECT_TRUE(text.contains(deviation1)) << text.toStdString();
  for (const char* header : {"Measured,", "Deviation,", "Std. dev.,", "Measured from"})  // headings may wrap
    EXPECT_TRUE(text.contains(QString::fromUtf8(header))) << header;
  EXPECT_FALSE(text.contains("were not read from the instrument"));  // the Old row is filled
  EXPECT_TRUE(text.contains("PT-100 #4711"));
  EXPECT_TRUE(text.contains("SPRT 5681 <ref>"));  // typed text is shown, not taken for markup
  EXPECT_TRUE(text.contains("Fit error E"));
  // In Russian, with the Old row empty: Russian headings and a note on the Old row.
  for (int col = 1; col <= 4; ++col) c->setCoefficientText(1, col, "");
  w.findChild<QAction*>("miLangRU")->trigger();
  const QString russian = dir.filePath("ru.pdf");
  ASSERT_TRUE(c->makeReport(russian));
  p.start(pdftotext, {"-layout", russian, "-"});
  ASSERT_TRUE(p.waitForFinished(20000));
  const QString ru = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(ru.contains(QString::fromUtf8("R0 [Ом]"))) << ru.toStdString();
  EXPECT_TRUE(ru.contains(QString::fromUtf8("не были прочитаны"))) << ru.toStdString();
  w.findChild<QAction*>("miLangEN")->trigger();
  // A report that cannot be written is reported, and no CSV is left claiming success.
  QString errorText;
  c->errorReport = [&](const QString& t) { errorText = t; };
  EXPECT_FALSE(c->makeReport(dir.filePath("missing/report.pdf")));
  EXPECT_FALSE(errorText.isEmpty());
  // Its points cannot be written (a folder stands in their place): no PDF either.
  errorText.clear();
  ASSERT_TRUE(QDir(dir.path()).mkdir("second-points.csv"));
  EXPECT_FALSE(c->makeReport(dir.filePath("second.pdf")));
  EXPECT_FALSE(QFile::exists(dir.filePath("second.pdf")));
  EXPECT_TRUE(errorText.contains("Is a directory")) << errorText.toStdString();
}

TEST(WorkflowSettings, VerifyAndTheReportFieldsAreRemembered) {
  MemorySettingsBackend store;
  {
    TfmMain w(store, MainWindowOptions::with(false, 1033));
    EXPECT_FALSE(w.calibrationWindow()->verifyBox()->isChecked());  // the designed write by default
    w.calibrationWindow()->verifyBox()->setChecked(true);
    EXPECT_TRUE(w.protocol().verifyWrite());
    w.calibrationWindow()->reportFields() = {"0042", "Op", "Ref", "a\nb"};
    w.show();
    w.close();
  }
  TfmMain again(store, MainWindowOptions::with(false, 1033));
  again.show();
  EXPECT_TRUE(again.calibrationWindow()->verifyBox()->isChecked());
  EXPECT_TRUE(again.protocol().verifyWrite());
  EXPECT_EQ(again.calibrationWindow()->reportFields().probe, "0042");
  EXPECT_EQ(again.calibrationWindow()->reportFields().notes, "a\nb");
}
