#pragma once
// The main window `TfmMain`: the toolbar with its commands, the list and chart views, the
// set-up panel, the status bar, and the composition of everything else — settings, the
// measurement display, the protocol and its transport, the calibration window.

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "app/settings_store.h"
#include "app/translations.h"
#include "app/ui_helpers.h"
#include "device/hid_backend.h"
#include "device/protocol.h"
#include "display/measurement_display.h"

namespace velmora {

class ChartPanel;
class ReadingListView;
class TSerialPort;
class TfmCalibr;
class HidBackend;
class THidDevice;
class THidDeviceController;
struct HidDeviceInfo;

// The program's clock: monotonic, in days.
class SteadyDayClock : public Clock {
 public:
  double nowDays() const override {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count() / 86400.0;
  }
};

// A protocol timer on QTimer.
class QtProtocolTimer : public ProtocolTimer {
 public:
  explicit QtProtocolTimer(QTimer& timer) : m_timer(timer) {}
  void start(int ms) override { m_timer.start(ms); }
  void stop() override { m_timer.stop(); }
  bool active() const override { return m_timer.isActive(); }

 private:
  QTimer& m_timer;
};

struct MainWindowOptions {
  bool demo = false;        // offer the built-in demo thermometer as the port "DEMO"
  int userLanguageId = 0;   // 0: ask the system
  std::function<std::unique_ptr<HidBackend>()> hidBackend;  // empty: the system's HID library

  static MainWindowOptions with(bool demoPort, int languageId) {
    MainWindowOptions o;
    o.demo = demoPort;
    o.userLanguageId = languageId;
    return o;
  }
};

class TfmMain : public QMainWindow, public ProtocolHost {
  Q_OBJECT
 public:
  TfmMain(SettingsBackend& store, MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Commands and handlers, public so that tests can drive them.
  void miLangRUClick();
  void miSelectViewClick();
  void miTuneClick();
  void miRecordClick();
  void pnTuneDblClick();
  void lbTabloClick();
  void miPortClick(QAction* entry);
  void btMenuClick();
  // The USB adapter.
  void HidControllerArrival(const HidDeviceInfo& device);
  void HidControllerRemoval(const HidDeviceInfo& device);
  void GetReport(int reportId, const QByteArray& data);
  bool SendReport(const std::string& text);
  THidDeviceController& hidController() { return *m_hid; }
  bool UsbPresent() const { return m_usbPresent; }
  const std::vector<QAction*>& PortItems() const { return m_portItems; }
  QString portCaption() const;
  bool miSaveClick();
  void miOpenClick();
  void miToClipboardClick();
  // Asks before readings that were not saved would be lost; false means "Cancel".
  bool confirmDiscard();

  // Replaceable dialogs, so that tests run without a person. The file hook returns the
  // chosen path or an empty text for Cancel; the question hook 0 Save, 1 Discard, 2 Cancel.
  std::function<QString(bool save, const QString& title, const QString& folder, const QString& proposed)> fileDialogHook;
  std::function<int(const QString& text)> questionHook;
  void UpdateStrings();

  Translator& translator() { return m_tr; }
  MeasurementDisplay& display() { return *m_display; }
  Protocol& protocol() { return *m_protocol; }
  ChartPanel* chart() const { return m_chart; }
  ReadingListView* list() const { return m_list; }
  TfmCalibr* calibrationWindow() const { return m_calibr; }
  TSerialPort& serialPort() { return *m_serial; }
  QString statusText() const;
  const QString& PortPrefix() const { return m_portPrefix; }
  const std::vector<std::string>& PortList() const { return m_portList; }
  bool UsbSelected() const { return m_usbSelected; }

  // Where the window's message boxes go (tests record them instead of showing them).
  std::function<void(MessageKind, const QString&)> messageHook;
  void message(MessageKind kind, const QString& text);

  // A reading, as the protocol delivers it.
  void AddPoint(double x, double y) override;
  // Brings list and chart up to the stores now (they normally follow at most ~30 times a second).
  void flushViews();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildActions();
  void buildToolbar();
  void buildCentral();
  void buildStatusBar();
  void FormCreate();
  void FormActivate();
  void FormClose();
  void applySettings(const MainSettings& s);
  MainSettings collectSettings() const;
  void restoreToolbarLayout();
  void saveToolbarLayout();
  void buildPortList();
  void updatePortCaption(const QString& name);
  void refreshReadout();
  void SerialPortRxClusterEvent();
  void seFlowChange();
  void scheduleViews();
  void pullIntoView();
  QString fileDialog(bool save, const QString& title, const QString& folder, const QString& proposed);
  bool loadDataFile(const QString& path);
  static std::string writeErrorText(const std::string& error, int code);
  bool copyChart();

  // ProtocolHost
  bool usbActive() const override { return m_usbPresent && m_usbSelected; }
  void sendSerial(std::string_view text) override;
  void sendUsb(std::string_view text) override;
  bool setSerialActive(bool on) override;
  bool serialActive() const override;
  void purgeSerial() override;
  void setStatusText(std::string_view text) override;
  void appendStatusText(std::string_view text) override;
  void setRecording(bool on) override;
  void readoutRequest() override;
  void readoutReply(std::string_view reply) override;
  void startRun() override { m_display->clock().startRun(); }
  void endRun() override { m_display->clock().endRun(); }
  double elapsed() const override { return m_display->clock().elapsed(); }
  void communicationError() override;
  void showError(std::string_view text) override;
  void setCalibrStatus(std::string_view text) override;
  void appendCalibrStatus(std::string_view text) override;
  std::string newCofCell(int index) const override;
  void rejectNewCofCell(int index) override;
  void setCofCell(int row, int column, std::string_view text) override;
  void cofProgressChanged() override;

  SettingsBackend& m_store;
  MainWindowOptions m_options;
  Translator m_tr;
  SteadyDayClock m_clock;
  MeasurementSeries m_series;
  std::unique_ptr<MeasurementDisplay> m_display;
  QTimer m_dataTimer;
  QTimer m_timeOffTimer;
  QtProtocolTimer m_dataTimerAdapter{m_dataTimer};
  QtProtocolTimer m_timeOffAdapter{m_timeOffTimer};
  std::unique_ptr<Protocol> m_protocol;
  std::unique_ptr<TSerialPort> m_serial;
  std::unique_ptr<THidDeviceController> m_hid;
  std::unique_ptr<THidDevice> m_usbDevice;
  QTimer m_viewTimer;

  // State of the connection.
  bool m_usbPresent = false;
  bool m_usbSelected = false;
  std::vector<std::string> m_portList;
  std::vector<QAction*> m_portItems;
  QString m_portPrefix;
  bool m_activated = false;

  // Controls.
  QToolBar* m_toolbar = nullptr;
  QActionGroup* m_langGroup = nullptr;
  QAction *miLangRU, *miLangEN, *miPort, *miFile, *miOpen, *miSave, *miToClipboard, *miExit, *miTune,
      *miSelectView, *miRecord, *miHelp, *miClear, *miCatch, *miYAuto, *miXAuto;
  QMenu* m_portMenu = nullptr;
  QMenu* m_fileMenu = nullptr;
  QMenu* mnPopup = nullptr;
  QLabel* lbTablo = nullptr;
  QWidget* pnTable = nullptr;
  ReadingListView* m_list = nullptr;
  ChartPanel* m_chart = nullptr;
  QFrame* pnTune = nullptr;
  QLabel* lbFlow = nullptr;
  QSpinBox* seFlow = nullptr;
  QPushButton* btClb = nullptr;
  QFrame* pnGauge = nullptr;
  QProgressBar* Gauge = nullptr;
  QLabel* m_osPanel = nullptr;
  QLabel* m_statusLabel = nullptr;
  TfmCalibr* m_calibr = nullptr;
  QString m_lastDock = "TopDock";
};

}  // namespace velmora
