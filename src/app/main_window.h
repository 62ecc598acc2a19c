#pragma once
// The main window `TfmMain`: the toolbar with its commands, the list and chart views, the
// set-up panel and the status bar. It composes the parts that do the work — the connection,
// the protocol, the measurement display, the data file actions, the calibration window —
// and shows what the protocol reports.

#include <QAction>
#include <QDockWidget>
#include <QHash>
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
#include <QTranslator>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_window_parts.h"
#include "app/settings_store.h"
#include "channel/app_context.h"
#include "channel/channel_set.h"
#include "device/connection_controller.h"
#include "device/protocol.h"
#include "device/qt_protocol_timer.h"
#include "display/measurement_display.h"
#include "files/data_file_actions.h"
#include "files/journal_keeper.h"
#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

class ChartPanel;
class ReadoutLabel;
class ReadingListView;
class TSerialPort;
class TfmCalibr;
class ToolbarPlacement;
class LinkWatch;
class AnalysisTools;
class THidDeviceController;
class InstrumentsPanel;
class SeriesPlottable;

struct MainWindowOptions {
  bool demo = false;       // offer the built-in demo thermometer as the port "DEMO"
  int demoCount = 1;       // demo instruments in one simulated bath ("--demo N")
  int userLanguageId = 0;  // 0: ask the system
  std::function<std::unique_ptr<HidBackend>()> hidBackend;  // empty: the system's HID library

  static MainWindowOptions with(bool demoPort, int languageId) {
    MainWindowOptions o;
    o.demo = demoPort;
    o.userLanguageId = languageId;
    return o;
  }
};

class TfmMain : public QMainWindow, public ReadingSink {
  Q_OBJECT
 public:
  TfmMain(SettingsBackend& store, MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Commands and handlers, public so that tests can drive them.
  void miLangRUClick();
  void miSelectViewClick();
  void miTuneClick() { pnTune->setVisible(miTune->isChecked()); }
  void miRecordClick();
  void pnTuneDblClick();  // opens the calibration window
  void lbTabloClick();
  void miPortClick(QAction* entry) { m_ports->miPortClick(entry); }
  void btMenuClick();
  void miClearClick();
  bool miSaveClick() { return m_files->miSaveClick(); }
  void miOpenClick() { m_files->miOpenClick(); }
  void miToClipboardClick();
  bool confirmDiscard() { return m_files->confirmDiscard(); }
  // Record on or off for every instrument, as the toolbar's Record does (the comparison bench).
  void setRecordAll(bool on) {
    miRecord->setChecked(on);
    miRecordClick();
  }
  void UpdateStrings();

  Translator& translator() { return m_tr; }
  MeasurementDisplay& display() { return *m_display; }
  Protocol& protocol() { return m_first->protocol(); }
  ConnectionController& connection() { return m_first->connection(); }
  // The instruments: the designed one first.
  ChannelSet& channels() { return *m_channels; }
  // Another instrument on a port ("DEMO2", a serial port, "USB:<serial>"; "" for readings
  // from a file): it joins a recording that runs, else its factors are read.
  Channel* addInstrument(const std::string& port, const QString& name = {});
  InstrumentsPanel* instruments() const { return m_instruments; }
  DataFileActions& files() { return *m_files; }
  JournalKeeper& journal() { return *m_journal; }
  // What the feature windows are given of this window (made in wireParts()).
  AppContext& context() { return *m_context; }
  ChartPanel* chart() const { return m_chart; }
  ReadingListView* list() const { return m_list; }
  TfmCalibr* calibrationWindow() const { return m_calibr; }
  AnalysisTools& analysis() { return *m_analysis; }
  TSerialPort& serialPort() { return m_first->serialPort(); }
  QString statusText() const;
  const QTimer& dataTimer() const { return m_first->dataTimer(); }
  const QTimer& timeOffTimer() const { return m_first->timeOffTimer(); }
  QString portCaption() const { return miPort->text(); }
  const QString& PortPrefix() const { return m_portPrefix; }
  const std::vector<std::string>& PortList() const { return m_first->connection().PortList(); }
  const std::vector<QAction*>& PortItems() const { return m_ports->items(); }
  bool UsbPresent() const { return m_first->connection().UsbPresent(); }
  bool UsbSelected() const { return m_first->connection().UsbSelected(); }

  // The chart's menu (the "…" button), where further windows and settings are offered.
  QMenu* popupMenu() const { return mnPopup; }
  // The status bar, where a further field may be placed.
  QStatusBar* statusBarWidget() const;

  // Where the window's message boxes go (tests record them instead of showing them).
  std::function<void(MessageKind, const QString&)> messageHook;
  void message(MessageKind kind, const QString& text);

  // A reading, as the protocol delivers it.
  void AddPoint(double x, double y) override;
  void addReading(double x, double y, double resistance) override;
  // Brings list and chart up to the stores now (they normally follow at most ~30 times a second).
  void flushViews();

 signals:
  // The window closed and the program is to end (nothing unsaved was kept by Cancel).
  void closedNormally();
  void languageChanged();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void wireParts();
  void buildKeyboard();
  void buildChannels();
  void channelAdded(Channel* c);
  void channelLookChanged(Channel* c);
  void otherReading(Channel* c);
  void showSelectedChannel();
  void recordAll(bool on);
  void recordingStateChanged();
  void retranslateChannels();
  void applyChannelSettings();
  void openToolbarMenu(QAction* item, QMenu* menu);
  void updateToolTips();
  // Qt's own dialogs (file dialogs, the buttons of input dialogs) in the program's language.
  void applyQtLanguage();
  QAction* makeAction(const char* name, const QString& text, int icon, const QKeySequence& key = {});
  void buildActions();
  void buildPopupMenu();
  void buildToolbar();
  void buildCentral();
  void connectChart();
  void FormCreate();
  void FormActivate();
  void FormClose();
  void applySettings(const MainSettings& s);
  MainSettings collectSettings() const;
  void refreshReadout();
  void seFlowChange();
  void scheduleViews();
  void showInspection(long long index);

  // ReadingSink
  void setStatusText(std::string_view text) override;
  void appendStatusText(std::string_view text) override;
  void setRecording(bool on) override;
  void readoutRequest() override;
  void readoutReply(std::string_view reply) override;
  void startRun() override;
  void endRun() override;
  double elapsed() const override { return m_display->clock().elapsed(); }
  void communicationError() override;
  void showError(std::string_view text) override;
  void reconnecting(int attempt) override;  // these three: what LinkWatch shows
  void linkRestored() override;
  void invalidAnswers(bool on) override;
  void openFailed() override;

  SettingsBackend& m_store;
  MainWindowOptions m_options;
  Translator m_tr;
  SteadyDayClock m_clock;
  std::unique_ptr<ChannelSet> m_channels;
  Channel* m_first = nullptr;
  std::unique_ptr<MeasurementDisplay> m_display;
  std::unique_ptr<DataFileActions> m_files;
  std::unique_ptr<JournalKeeper> m_journal;
  AppContext* m_context = nullptr;
  LinkWatch* m_linkWatch = nullptr;
  AnalysisTools* m_analysis = nullptr;
  QTimer m_viewTimer;

  QString m_portPrefix;
  bool m_activated = false;

  // Controls.
  QToolBar* m_toolbar = nullptr;
  QActionGroup* m_langGroup = nullptr;
  QAction *miLangRU, *miLangEN, *miPort, *miFile, *miOpen, *miSave, *miToClipboard, *miReport, *miExit, *miTune,
      *miSelectView, *miRecord, *miHelp, *miClear, *miCatch, *miYAuto, *miXAuto;
  PortMenu* m_ports = nullptr;
  QMenu* m_fileMenu = nullptr;
  QMenu* m_langMenu = nullptr;
  QAction* miInstruments = nullptr;
  QDockWidget* m_instrumentsDock = nullptr;
  InstrumentsPanel* m_instruments = nullptr;
  QHash<Channel*, SeriesPlottable*> m_seriesOf;
  bool m_runOpen = false;
  QMenu* mnPopup = nullptr;
  ReadoutLabel* lbTablo = nullptr;
  QAction* m_tabloAction = nullptr;
  QWidget* pnTable = nullptr;
  ReadingListView* m_list = nullptr;
  QLabel* m_listCaption = nullptr;  // the instrument the list shows (with several)
  ChartPanel* m_chart = nullptr;
  TunePanel* pnTune = nullptr;
  QSpinBox* seFlow = nullptr;
  QFrame* pnGauge = nullptr;
  QProgressBar* Gauge = nullptr;
  QPushButton* m_cancelLoad = nullptr;
  MainStatusBar* m_status = nullptr;
  TfmCalibr* m_calibr = nullptr;
  std::unique_ptr<ToolbarPlacement> m_placement;
  std::unique_ptr<QTranslator> m_qtTranslator;
};

}  // namespace velmora
