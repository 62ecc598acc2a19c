#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

#include "ui_common/velmora_application.h"
#include "calibration/calibration_window.h"
#include "device/serial_port.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"

using namespace velmora;

namespace {

struct Window {
  explicit Window(MemorySettingsBackend& store, int userLanguage = 1033) : w(store, MainWindowOptions::with(false, userLanguage)) {
    w.messageHook = [this](MessageKind, const QString& text) { messages.push_back(text); };
    w.files().questionHook = [this](const QString&) {
      ++questions;
      return 1;  // Discard
    };
  }
  template <typename T = QObject>
  T* find(const char* name) {
    return w.findChild<T*>(name);
  }
  TfmMain w;
  QStringList messages;
  int questions = 0;
};

QString caption(TfmMain& w, const char* name) { return w.findChild<QAction*>(name)->text(); }

}  // namespace

TEST(MainWindow, FirstRun) {
  MemorySettingsBackend store;
  Window win(store);
  TfmMain& w = win.w;
  EXPECT_EQ(w.windowTitle(), "Velmora");
  EXPECT_EQ(w.size(), QSize(800, 600));
  EXPECT_FALSE(win.find<QAction>("miLangRU")->isChecked());
  EXPECT_FALSE(win.find<QAction>("miLangEN")->isChecked());
  EXPECT_EQ(w.translator().language(), Language::English);
  EXPECT_EQ(caption(w, "miTune"), "Setup");
  EXPECT_FALSE(win.find<QAction>("miSelectView")->isChecked());
  EXPECT_TRUE(win.find<QWidget>("pnChart")->isVisibleTo(&w));
  EXPECT_FALSE(win.find<QWidget>("pnTable")->isVisibleTo(&w));
  EXPECT_FALSE(win.find<QWidget>("pnTune")->isVisibleTo(&w));
  EXPECT_EQ(win.find<QSpinBox>("seFlow")->value(), 60);
  EXPECT_EQ(win.find<QLineEdit>("edYstart")->text(), "0");
  EXPECT_EQ(win.find<QLineEdit>("edYrange")->text(), "350");
  EXPECT_EQ(win.find<QLineEdit>("edXrange")->text(), "30");
  EXPECT_EQ(w.protocol().pollIntervalMs(), 1000);
  EXPECT_EQ(w.PortPrefix(), "Port:");
  // Every control of the design is there under its name.
  for (const char* name : {"TBToolbar", "lbTablo", "reRX", "Chart", "cbAxis", "sbXpos", "btMenu", "lbFlow", "btClb",
                           "pnGauge", "Gauge", "StatusBar", "mnPopup", "fmCalibr"})
    EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name;
  for (const char* name : {"miLangRU", "miLangEN", "miPort", "miFile", "miOpen", "miSave", "miToClipboard", "miExit",
                           "miTune", "miSelectView", "miRecord", "miHelp", "miClear", "miCatch", "miYAuto", "miXAuto"})
    EXPECT_NE(w.findChild<QAction*>(name), nullptr) << name;
  EXPECT_FALSE(win.find<QAction>("miHelp")->isVisible());
  EXPECT_EQ(win.find<QAction>("miRecord")->shortcut(), QKeySequence("Ctrl+R"));
}

TEST(MainWindow, SettingsRoundTrip) {
  MemorySettingsBackend store;
  {
    Window win(store);
    win.find<QAction>("miLangRU")->trigger();
    win.find<QAction>("miSelectView")->trigger();
    win.find<QAction>("miTune")->trigger();
    win.find<QSpinBox>("seFlow")->setValue(7);
    win.find<QLineEdit>("edXrange")->setText("14");
    win.w.resize(900, 650);
    win.w.close();
  }
  EXPECT_TRUE(store.keyExists(kMainKey));
  EXPECT_TRUE(store.keyExists(kPortSettingsKey));
  Window win(store);
  EXPECT_EQ(win.w.translator().language(), Language::Russian);
  EXPECT_TRUE(win.find<QAction>("miLangRU")->isChecked());
  EXPECT_EQ(caption(win.w, "miTune"), "Настройка");
  EXPECT_TRUE(win.find<QAction>("miSelectView")->isChecked());
  EXPECT_TRUE(win.find<QWidget>("pnTable")->isVisibleTo(&win.w));
  EXPECT_FALSE(win.find<QWidget>("pnChart")->isVisibleTo(&win.w));
  EXPECT_TRUE(win.find<QWidget>("pnTune")->isVisibleTo(&win.w));
  EXPECT_EQ(win.find<QSpinBox>("seFlow")->value(), 7);
  EXPECT_EQ(win.w.protocol().pollIntervalMs(), 8571);
  EXPECT_EQ(win.find<QLineEdit>("edXrange")->text(), "14");
  EXPECT_EQ(win.w.size(), QSize(900, 650));
  // The port object's stored baud rate is replaced by 4800.
  EXPECT_EQ(win.w.serialPort().BaudRate(), 4800);
}

TEST(MainWindow, StoredFlowIsClampedAndAbsentLanguageFollowsTheUser) {
  MemorySettingsBackend store;
  writeDword(store, kMainKey, "Flow", 500);
  writeDword(store, kMainKey, "ChartVisible", 0);
  Window win(store, 1049);
  EXPECT_EQ(win.find<QSpinBox>("seFlow")->value(), 120);
  EXPECT_EQ(win.w.protocol().pollIntervalMs(), 500);
  EXPECT_TRUE(win.find<QAction>("miSelectView")->isChecked());
  EXPECT_EQ(win.w.translator().language(), Language::Russian);
  EXPECT_TRUE(win.find<QAction>("miLangRU")->isChecked());
  EXPECT_EQ(win.w.PortPrefix(), "Порт: ");
}

TEST(MainWindow, WrongTypedValuesAndOffScreenWindows) {
  MemorySettingsBackend store;
  writeText(store, kMainKey, "Width", "wide");
  writeDword(store, kMainKey, "Left", 60000);
  writeDword(store, kMainKey, "Top", 60000);
  Window win(store);
  EXPECT_EQ(win.w.width(), 800);
  // Pulled back onto a screen.
  bool onScreen = false;
  for (QScreen* s : QGuiApplication::screens())
    onScreen = onScreen || s->availableGeometry().intersects(QRect(win.w.pos(), win.w.size()));
  EXPECT_TRUE(onScreen);
}

TEST(MainWindow, ToolbarLayoutRoundTrip) {
  MemorySettingsBackend store;
  {
    Window win(store);
    auto* tb = win.find<QToolBar>("TBToolbar");
    win.w.addToolBar(Qt::LeftToolBarArea, tb);
    win.w.close();
  }
  auto layout = loadToolbarLayout(store, "TBToolbar");
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->DockedTo, "LeftDock");
  Window win(store);
  EXPECT_EQ(win.w.toolBarArea(win.find<QToolBar>("TBToolbar")), Qt::LeftToolBarArea);
}

TEST(MainWindow, LanguageSwitchTranslatesEveryCaptionAndBack) {
  MemorySettingsBackend store;
  Window win(store);
  TfmMain& w = win.w;
  auto checkAll = [&](Language lang) {
    for (const auto& e : mainWindowTable()) {
      if (e.section != Section::Captions || e.key == "miPort" || e.key == "lbTablo" || e.key == "fmMain") continue;
      const std::string_view text = e.text(lang);
      if (text.empty()) continue;
      QObject* o = w.findChild<QObject*>(QString::fromUtf8(e.key.data(), int(e.key.size())));
      ASSERT_NE(o, nullptr) << e.key;
      QString shown;
      if (auto* a = qobject_cast<QAction*>(o)) shown = a->text();
      else if (auto* l = qobject_cast<QLabel*>(o)) shown = l->text();
      else if (auto* b = qobject_cast<QAbstractButton*>(o)) shown = b->text();
      EXPECT_EQ(shown.toStdString(), std::string(text)) << e.key;
    }
  };
  win.find<QAction>("miLangRU")->trigger();
  checkAll(Language::Russian);
  EXPECT_EQ(w.calibrationWindow()->windowTitle(), "Расчет градуировочных коэффициентов термометра");
  win.find<QAction>("miLangEN")->trigger();
  checkAll(Language::English);
  win.find<QAction>("miLangRU")->trigger();
  checkAll(Language::Russian);
  EXPECT_EQ(w.PortPrefix(), "Порт: ");
  // The chart's overlay takes its titles at every redraw: the switch shows at once.
  EXPECT_EQ(w.chart()->messageText("IDS_65"), "t, мин");
  // A switch changes texts only: the axis boxes keep what the user set.
  EXPECT_EQ(win.find<QLineEdit>("edYrange")->text(), "350");
}

TEST(MessageBoxes, OkInBothLanguages) {
  for (Language lang : {Language::English, Language::Russian}) {
    Translator tr;
    tr.setLanguage(lang);
    QString button, title, text;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      button = box->buttons().value(0)->text();
      title = box->windowTitle();
      text = box->text();
      box->accept();
    });
    showMessage(nullptr, tr, MessageKind::Error, QString::fromUtf8(tr.text("IDS_53").data()) + "\r" + "second");
    EXPECT_EQ(button, "OK");
    EXPECT_EQ(title, "Error");
    EXPECT_TRUE(text.endsWith("\nsecond"));
  }
}

TEST(MainWindow, SetupPanelAndCalibrationOpenTheCalibrationWindowModally) {
  MemorySettingsBackend store;
  Window win(store);
  win.w.show();
  win.find<QAction>("miTune")->trigger();
  for (int way = 0; way < 2; ++way) {
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      wasModal = modal == win.w.calibrationWindow();
      if (modal) modal->close();
    });
    if (way == 0)
      QTest::mouseDClick(win.find<QWidget>("pnTune"), Qt::LeftButton, {}, QPoint(170, 5));
    else
      win.find<QPushButton>("btClb")->click();
    EXPECT_TRUE(wasModal) << way;
  }
}

TEST(GeneralErrorReport, AnEscapedExceptionIsReportedAndTheProgramCarriesOn) {
  auto* app = static_cast<VelmoraApplication*>(QCoreApplication::instance());
  QStringList reported;
  app->errorReport = [&](const QString& text) { reported.push_back(text); };
  QObject target;
  QMetaObject::invokeMethod(&target, [] { throw std::runtime_error("Invalid numeric input"); }, Qt::QueuedConnection);
  QCoreApplication::processEvents();
  app->errorReport = nullptr;
  ASSERT_EQ(reported.size(), 1);
  EXPECT_EQ(reported[0], "Invalid numeric input");
}

TEST(MainWindow, ReadingsReachListAndChart) {
  MemorySettingsBackend store;
  Window win(store);
  TfmMain& w = win.w;
  for (int i = 1; i <= 50; ++i) w.AddPoint(i / 1440.0, 20 + i * 0.01);
  w.flushViews();
  EXPECT_EQ(w.list()->model()->rowCount(), 50);
  EXPECT_EQ(w.list()->model()->index(0, 0).data().toString(), "1.00 20.01");
  EXPECT_EQ(w.display().series().size(), 50u);
  // Clear empties both (the unsaved readings are asked about first).
  win.find<QAction>("miClear")->trigger();
  EXPECT_EQ(win.questions, 1);
  EXPECT_EQ(w.list()->model()->rowCount(), 0);
  EXPECT_EQ(w.display().series().size(), 0u);
}

TEST(MainWindow, PointInspectionTextInBothLanguages) {
  MemorySettingsBackend store;
  Window win(store);
  TfmMain& w = win.w;
  w.resize(800, 600);
  w.show();
  w.AddPoint(0, 25.5);
  w.AddPoint((3600 + 120 + 3) / 86400.0, 25.5);
  win.find<QLineEdit>("edXrange")->setText("120");
  w.display().rules().UpdateChartAxis();
  w.flushViews();
  emit w.chart()->seriesClicked(1);
  auto* inspection = win.find<QLabel>("StatusInspection");
  EXPECT_EQ(inspection->text(), "Temperature T=25.50, time t=01:02:03");
  // The next poll's mark goes to the status text and leaves the inspected point shown.
  w.protocol().DataTimerTimer();
  EXPECT_EQ(w.statusText(), "|");
  EXPECT_EQ(inspection->text(), "Temperature T=25.50, time t=01:02:03");
  win.find<QAction>("miLangRU")->trigger();
  emit w.chart()->seriesClicked(1);
  EXPECT_EQ(inspection->text(), "Температура T=25.50,  время t=01:02:03");
}

TEST(MainWindow, ChoosingAPortProbesTheEntries) {
  MemorySettingsBackend store;
  TfmMain w(store, MainWindowOptions::with(true, 1033));
  w.messageHook = [](MessageKind, const QString&) {};
  w.show();
  QAction* demo = nullptr;
  for (QAction* a : w.PortItems())
    if (a->text() == "DEMO") demo = a;
  ASSERT_NE(demo, nullptr);
  EXPECT_TRUE(demo->isChecked());  // chosen at start
  w.miPortClick(demo);
  EXPECT_TRUE(demo->isEnabled());
  EXPECT_TRUE(demo->isChecked());
  EXPECT_EQ(w.portCaption(), "Port:DEMO");
  EXPECT_FALSE(w.UsbSelected());
  EXPECT_FALSE(w.serialPort().Active());  // the probe closes what it opened
  // A second activation does not add the entries again.
  const auto count = w.PortItems().size();
  w.hide();
  w.show();
  EXPECT_EQ(w.PortItems().size(), count);
}

TEST(MainWindow, TitlesCarryNoApplicationName) {
  // A display name would be added by the platform to every window's title.
  VelmoraApplication::describeProgram();
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  EXPECT_EQ(QCoreApplication::applicationName(), "Velmora");
  MemorySettingsBackend store;
  Window win(store);
  EXPECT_EQ(win.w.windowTitle(), "Velmora");
}

namespace {
// How many pixels of the widget's picture are close to `color`.
int pixelsNear(QWidget* widget, const QColor& color) {
  const QImage image = widget->grab().toImage();
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - color.red()) < 40 && std::abs(c.green() - color.green()) < 40 &&
          std::abs(c.blue() - color.blue()) < 40)
        ++n;
    }
  return n;
}
}  // namespace

TEST(MainWindow, TheReadoutIsDrawnInItsColours) {
  MemorySettingsBackend store;
  Window win(store);
  TfmMain& w = win.w;
  w.resize(800, 600);
  w.show();
  auto* readout = win.find<QLabel>("lbTablo");
  static_cast<ReadingSink&>(w).setRecording(true);
  static_cast<ReadingSink&>(w).readoutReply("100.000 21.50");
  QCoreApplication::processEvents();
  ASSERT_TRUE(readout->isVisible());
  EXPECT_GT(pixelsNear(readout, Qt::black), 20);  // a fresh reading: black
  static_cast<ReadingSink&>(w).readoutRequest();  // a reading is awaited: purple
  EXPECT_GT(pixelsNear(readout, QColor(128, 0, 128)), 20);
  EXPECT_EQ(pixelsNear(readout, Qt::black), 0);
  w.lbTabloClick();  // after a mode change: white
  const int white = pixelsNear(readout, Qt::white);
  static_cast<ReadingSink&>(w).readoutReply("100.000 21.50");
  EXPECT_GT(white, pixelsNear(readout, Qt::white) + 20);
}

TEST(MainWindow, PollAndTimeOutUsePreciseTimers) {
  // A coarse timer lets a 1-s poll period wander by several percent.
  MemorySettingsBackend store;
  Window win(store);
  EXPECT_EQ(win.w.dataTimer().timerType(), Qt::PreciseTimer);
  EXPECT_EQ(win.w.timeOffTimer().timerType(), Qt::PreciseTimer);
}

TEST(MainWindow, TheReconnectOptionIsStoredAndShowsItsStatus) {
  MemorySettingsBackend store;
  {
    Window win(store);
    auto* option = win.find<QCheckBox>("cbReconnect");
    ASSERT_NE(option, nullptr);
    EXPECT_FALSE(option->isChecked());  // off by default: the designed behaviour
    option->setChecked(true);
    win.find<QSpinBox>("seReconnectLimit")->setValue(25);
    EXPECT_TRUE(win.w.protocol().reconnectEnabled());
    win.w.close();
  }
  Window win(store);
  EXPECT_TRUE(win.find<QCheckBox>("cbReconnect")->isChecked());
  EXPECT_EQ(win.find<QSpinBox>("seReconnectLimit")->value(), 25);
  auto& sink = static_cast<ReadingSink&>(win.w);
  auto* link = win.find<QLabel>("StatusLink");
  sink.reconnecting(3);
  EXPECT_EQ(link->text(), "Reconnecting… (attempt 3)");
  sink.linkRestored();
  EXPECT_EQ(link->text(), "");
  sink.invalidAnswers(true);
  // The next poll's mark does not take the warning away; only a valid reading does.
  win.w.protocol().DataTimerTimer();
  EXPECT_EQ(win.w.statusText(), "|");
  EXPECT_EQ(link->text(), "No valid readings from the instrument");
  sink.invalidAnswers(false);
  EXPECT_EQ(link->text(), "");
  win.find<QAction>("miLangRU")->trigger();
  sink.reconnecting(4);
  EXPECT_EQ(link->text(), QString::fromUtf8("Переподключение… (попытка 4)"));
}

TEST(MainWindow, RecordWithAPortThatDoesNotOpenSaysWhyAndTheDemoIsAlwaysOffered) {
  MemorySettingsBackend store;
  Window win(store);
  TfmMain& w = win.w;
  w.show();
  // Nothing stored, the default port not there: the caption says "Port", DEMO ends the list.
  ASSERT_FALSE(w.PortList().empty());
  EXPECT_EQ(w.PortList().back(), "DEMO");
  if (std::find(w.PortList().begin(), w.PortList().end(), "COM1") == w.PortList().end()) {
    EXPECT_EQ(w.portCaption(), "Port");
  }
  w.serialPort().setCommPort("/dev/velmora-no-such-port");
  win.find<QAction>("miRecord")->setChecked(true);
  w.miRecordClick();
  EXPECT_FALSE(win.find<QAction>("miRecord")->isChecked());
  ASSERT_EQ(win.messages.size(), 1);
  EXPECT_TRUE(win.messages[0].startsWith("The port /dev/velmora-no-such-port could not be opened: "))
      << win.messages[0].toStdString();
  EXPECT_TRUE(win.messages[0].contains("port menu"));
  EXPECT_FALSE(win.messages[0].contains(": .")) << "a reason is named";
}

TEST(MainWindow, TheAdaptersRemovalDuringARecordingGivesThePortMenuBackOrSaysItWaits) {
  MemorySettingsBackend store;
  Window win(store);
  auto& sink = static_cast<ReadingSink&>(win.w);
  sink.setRecording(true);
  EXPECT_FALSE(win.find<QAction>("miPort")->isEnabled());
  emit win.w.connection().adapterRemoved(true, "0001");  // a reconnecting recording waits for it
  EXPECT_FALSE(win.find<QAction>("miPort")->isEnabled());
  EXPECT_EQ(win.find<QLabel>("StatusLink")->text(), QString::fromUtf8("USB adapter №0001 removed: waiting for it to come back"));
  emit win.w.connection().adapterRemoved(false, "0001");
  EXPECT_TRUE(win.find<QAction>("miPort")->isEnabled());
}

TEST(MainWindow, BoxesOpenAboveTheModalWindowTheUserWorksIn) {
  MemorySettingsBackend store;
  Window win(store);
  win.w.show();
  QDialog onTop(&win.w, Qt::Dialog | Qt::WindowStaysOnTopHint);
  onTop.setModal(true);
  onTop.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &onTop; }, 2000));
  EXPECT_EQ(dialogParent(&win.w), &onTop);
  QMessageBox box(QMessageBox::Information, "t", "x", QMessageBox::NoButton, dialogParent(&win.w));
  keepAboveParent(box);
  EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
  onTop.hide();
  EXPECT_EQ(dialogParent(&win.w), &win.w);
}
