// Velmora without a mouse and wholly in Russian: the toolbar's menus by Alt and a letter in
// both keyboard layouts, the shortcuts named in tool tips, Tab round the window and out of
// the statistics table, Ctrl+C there, the calibration window's method menu and Calc by keys;
// the chart's wheel; Qt's own dialogs in Russian; a long port caption at 800 px.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "app/analysis_tools.h"
#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "display/chart_panel.h"
#include "device/serial_port.h"

using namespace velmora;

namespace {
struct KeyFixture : ::testing::Test {
  MemorySettingsBackend store;
  TfmMain w{store, MainWindowOptions::with(false, 1033)};
  void SetUp() override {
    w.messageHook = [](MessageKind, const QString&) {};
    w.resize(800, 600);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  }
  QMenu* menu(const char* action) { return w.findChild<QAction*>(action)->menu(); }
};
}  // namespace

TEST_F(KeyFixture, TheToolbarsMenusOpenByAltAndALetterInBothLayouts) {
  struct Case {
    int key;
    std::function<QMenu*()> menu;
  } cases[] = {
      {Qt::Key_F, [&] { return menu("miFile"); }},     {0x0424, [&] { return menu("miFile"); }},  // Ф
      {Qt::Key_P, [&] { return menu("miPort"); }},     {0x041F, [&] { return menu("miPort"); }},  // П
      {Qt::Key_G, [&] { return w.findChild<QMenu*>("mnPopup"); }},
      {Qt::Key_L, [&] { return w.findChild<QMenu*>("mnLanguage"); }},
  };
  for (const auto& c : cases) {
    QMenu* m = c.menu();
    ASSERT_NE(m, nullptr) << c.key;
    // (The key's text as a keyboard in that layout gives it; QTest knows only ASCII keys.)
    QTest::sendKeyEvent(QTest::Click, &w, static_cast<Qt::Key>(c.key), QString(QChar(c.key)).toLower(), Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return m->isVisible(); }, 2000)) << std::hex << c.key;
    EXPECT_NE(m->activeAction(), nullptr) << std::hex << c.key;  // ready for the arrow keys
    m->hide();
  }
  // The language menu switches the language.
  w.findChild<QMenu*>("mnLanguage")->actions().at(0)->trigger();
  EXPECT_EQ(w.translator().language(), Language::Russian);
}

TEST_F(KeyFixture, ShortcutsAreNamedInToolTipsAndTheNewCommandsHaveThem) {
  EXPECT_EQ(w.findChild<QAction*>("miRecord")->toolTip(), "Record (Ctrl+R)");
  EXPECT_EQ(w.findChild<QAction*>("miFile")->toolTip(), "File (Alt+F)");
  w.findChild<QAction*>("miLangRU")->trigger();
  EXPECT_EQ(w.findChild<QAction*>("miRecord")->toolTip(), QString::fromUtf8("Регистрация (Ctrl+R)"));
  EXPECT_EQ(w.analysis().statsAction()->toolTip(), QString::fromUtf8("Статистика (Ctrl+I)"));
  // Export (Ctrl+E) asks for a file; the statistics (Ctrl+I) show.
  int dialogs = 0;
  w.files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) {
    ++dialogs;
    return QString();
  };
  QTest::keyClick(&w, Qt::Key_E, Qt::ControlModifier);
  EXPECT_EQ(dialogs, 1);
  QTest::keyClick(&w, Qt::Key_I, Qt::ControlModifier);
  EXPECT_TRUE(w.analysis().dock()->isVisible());
  EXPECT_EQ(w.findChild<QAction*>("miExit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST_F(KeyFixture, TabGoesRoundTheWindowAndOutOfTheStatisticsTableWhereCtrlCCopiesTheFigures) {
  for (int i = 0; i < 50; ++i) w.addReading(i / 1440.0, 21 + i * 0.001, 108.2);
  w.findChild<QAction*>("miTune")->trigger();
  w.analysis().statsAction()->trigger();
  w.flushViews();
  QWidget* first = w.findChild<QToolBar*>("TBToolbar")->widgetForAction(w.findChild<QAction*>("miLangRU"));
  first->setFocus();
  QTableWidget* table = w.analysis().panel()->table();
  std::vector<QWidget*> seen;
  for (int i = 0; i < 40 && (seen.empty() || QApplication::focusWidget() != first); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(seen.back(), first) << "Tab comes round again";
  const auto at = [&](QWidget* x) { return std::find(seen.begin(), seen.end(), x) - seen.begin(); };
  ASSERT_LT(at(table), static_cast<long>(seen.size()));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), table), 1) << "one Tab enters the table, the next leaves it";
  EXPECT_LT(at(w.findChild<QWidget*>("seFlow")), at(w.findChild<QWidget*>("cbAxis")));  // set-up panel, then the chart
  EXPECT_LT(at(w.findChild<QWidget*>("cbAxis")), at(table));
  EXPECT_EQ(at(w.analysis().panel()->addPointButton()), at(table) + 1);
  table->setFocus();
  QApplication::clipboard()->clear();
  QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
  const QString copied = QApplication::clipboard()->text();
  EXPECT_TRUE(copied.startsWith("Visible range")) << copied.toStdString();
  EXPECT_TRUE(copied.contains("Mean\t21.0")) << copied.toStdString();
}

TEST_F(KeyFixture, TheCalibrationWindowsMethodMenuAndCalcWork) {
  TfmCalibr* c = w.calibrationWindow();
  c->setPacing(false);
  c->show();
  auto* calc = c->findChild<QPushButton*>("btCalc");
  calc->setFocus();
  QMenu* methods = c->findChild<QMenu*>("pmCalc");
  QTest::keyClick(calc, Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return methods->isVisible(); }, 2000));
  methods->hide();
  QTest::keyClick(calc, Qt::Key_Menu);
  EXPECT_TRUE(QTest::qWaitFor([&] { return methods->isVisible(); }, 2000));
  methods->actions().at(2)->trigger();  // method 3
  EXPECT_EQ(c->CalcMethod(), 2);
  const double temps[] = {0.01, 100, 200, 300};
  for (int r = 1; r <= 4; ++r) {
    c->setDataCell(2, r, std::to_string(100 * (1 + 3.9083e-3 * temps[r - 1] - 5.775e-7 * temps[r - 1] * temps[r - 1])));
    c->setDataCell(3, r, std::to_string(temps[r - 1]));
  }
  calc->setFocus();
  QTest::keyClick(calc, Qt::Key_Return);
  EXPECT_EQ(c->coefficientText(2, 1), "100.000");
  c->hide();
}

TEST_F(KeyFixture, TheWheelZoomsTheTimeAxisAroundThePointerAndCtrlTheTemperatureAxis) {
  for (int i = 0; i <= 60; ++i) w.AddPoint(i / 1440.0, 20 + i % 5);
  w.flushViews();
  ChartPanel* chart = w.chart();
  ChartPlot* plot = chart->plot();
  const QPointF at = plot->axisRect()->rect().center();
  const double pivot = plot->xAxis->pixelToCoord(at.x());
  const AxisScale before = chart->bottomAxis();
  QWheelEvent in(at, plot->mapToGlobal(at.toPoint()), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                 false);
  QApplication::sendEvent(plot, &in);
  EXPECT_NEAR(chart->bottomAxis().max - chart->bottomAxis().min, 0.85 * (before.max - before.min), 1e-12);
  EXPECT_NEAR(plot->xAxis->pixelToCoord(at.x()), pivot, 1e-9);  // the time under the pointer stays
  EXPECT_TRUE(chart->zoomed());
  EXPECT_TRUE(w.display().rules().zoomActive());
  const AxisScale left = chart->leftAxis();
  QWheelEvent ctrl(at, plot->mapToGlobal(at.toPoint()), {}, QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(plot, &ctrl);
  EXPECT_GT(chart->leftAxis().max - chart->leftAxis().min, left.max - left.min);
}

TEST_F(KeyFixture, QtsOwnDialogsAndTheInputDialogFollowTheLanguage) {
  w.findChild<QAction*>("miLangRU")->trigger();
  QFileDialog dialog(&w);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  auto* label = dialog.findChild<QLabel*>("fileNameLabel");
  ASSERT_NE(label, nullptr);
  const auto cyrillic = [](const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() >= 0x0400 && c.unicode() < 0x0500; });
  };
  EXPECT_TRUE(cyrillic(label->text())) << label->text().toStdString();
  EXPECT_TRUE(cyrillic(dialog.findChild<QLabel*>("lookInLabel")->text()));
  w.findChild<QAction*>("miLangEN")->trigger();
  QFileDialog english(&w);
  english.setOption(QFileDialog::DontUseNativeDialog);
  EXPECT_FALSE(cyrillic(english.findChild<QLabel*>("fileNameLabel")->text()));
}

TEST(LongPortName, TheCaptionIsShortenedInItsMiddleAndTheReadoutStaysAt800PixelsInBothLanguages) {
  QTemporaryDir dir;
  // A device path as long as those under /dev/serial/by-id/.
  const QString port = dir.filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  QFile f(port);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  for (const bool russian : {true, false}) {
    const int language = russian ? 1 : 2;
    MemorySettingsBackend store;
    TfmMain w(store, MainWindowOptions::with(false, 1033));
    w.messageHook = [](MessageKind, const QString&) {};
    if (russian) w.findChild<QAction*>("miLangRU")->trigger();
    w.serialPort().CommPort = port.toStdString();
    w.resize(800, 600);
    w.show();
    QCoreApplication::processEvents();
    auto* miPort = w.findChild<QAction*>("miPort");
    EXPECT_TRUE(miPort->text().contains(QChar(0x2026))) << miPort->text().toStdString();
    EXPECT_TRUE(miPort->toolTip().endsWith(port));
    static_cast<ReadingSink&>(w).setRecording(true);
    static_cast<ReadingSink&>(w).readoutReply("108.190 21.00");
    QCoreApplication::processEvents();
    auto* readout = w.findChild<QLabel*>("lbTablo");
    w.grab().save(QDir::temp().filePath(QString("velmora-long-port-%1.png").arg(language)));
    ASSERT_TRUE(readout->isVisible()) << language;  // not pushed into the toolbar's overflow
    const QRect inToolbar(readout->mapTo(&w, QPoint(0, 0)), readout->size());
    EXPECT_LE(inToolbar.right(), w.width()) << language;
    static_cast<ReadingSink&>(w).setRecording(false);
  }
}
