#include "app/main_window.h"

#include <QDockWidget>

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/platform_info.h"
#include "app/analysis_tools.h"
#include "app/link_watch.h"
#include "app/toolbar_placement.h"
#include "simulator/thermometer_model.h"
#include "calibration/calibration_window.h"
#include "common/number_text.h"
#include "device/serial_port.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"
#include "display/readout_label.h"
#include "files/clipboard_export.h"
#include "ui_common/help_window.h"
#include "ui_common/velmora_application.h"

namespace velmora {

TfmMain::TfmMain(SettingsBackend& store, MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), m_store(store), m_options(std::move(options)) {
  setObjectName("fmMain");
  setWindowTitle("Velmora");
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  // The instruments: the designed one (channel 1) keeps its readings through this window.
  std::shared_ptr<const sim::Bath> bath;
  if (m_options.demoCount > 1) bath = std::make_shared<sim::Bath>();
  m_channels = std::make_unique<ChannelSet>(ConnectionOptions{m_options.demo, m_options.hidBackend, bath}, m_clock);
  m_first = &m_channels->addDesigned(*this);
  m_chart = new ChartPanel(m_first->series());
  m_display = std::make_unique<MeasurementDisplay>(*m_chart, m_clock, m_first->series(), m_first->list(), m_channels->clock());

  buildActions();
  buildPopupMenu();
  buildToolbar();
  buildCentral();
  m_status = new MainStatusBar(this);
  setStatusBar(m_status);
  m_calibr = new TfmCalibr(m_tr, this);
  m_files = std::make_unique<DataFileActions>(*this, m_tr, *m_display, *pnGauge, *Gauge, *m_cancelLoad);
  m_journal = std::make_unique<JournalKeeper>(*this, m_tr, *m_display);
  m_linkWatch = new LinkWatch(m_first->protocol(), m_first->connection(), *pnTune, *lbTablo, *m_status->link, *m_chart, m_tr, this);
  m_analysis = new AnalysisTools(*this, m_tr, *m_display, *m_chart, *m_files);
  m_analysis->placeCommands(*m_toolbar, m_tabloAction, *m_fileMenu, miSave, *mnPopup);
  wireParts();
  buildKeyboard();
  buildChannels();
  FormCreate();
}

TfmMain::~TfmMain() {
  // The docks hide as the window's widgets go: what they tell this window then is not heard.
  for (QDockWidget* dock : findChildren<QDockWidget*>()) dock->disconnect(this);
  // The background threads go first, so that nothing is delivered to a window that is
  // being torn down.
  m_channels.reset();
}

void TfmMain::wireParts() {
  // What the feature windows (the bench, the lab network) are given of this window.
  m_context = new AppContext(*m_channels, m_tr, this, mnPopup, statusBarWidget(), this);
  m_context->setRecordAll = [this](bool on) { setRecordAll(on); };
  m_context->offerRestore = [this] { m_journal->offerRestore(); };
  m_context->message = [this](MessageKind kind, const QString& text) { message(kind, text); };
  connect(this, &TfmMain::languageChanged, m_context, &AppContext::languageChanged);
  connect(this, &TfmMain::closedNormally, m_context, &AppContext::closedNormally);
  m_first->connection().messageText = [this](std::string_view id) { return std::string(m_tr.text(id)); };
  connect(&m_first->connection(), &ConnectionController::statusMessage, this, [this](const QString& t) { m_status->statusText->setText(t); });
  connect(&m_first->connection(), &ConnectionController::adapterRemoved, this, [this](bool awaited, const QString& serial) {
    // Removed during a recording: the serial port becomes the chosen link and the port menu
    // can be used again, unless the recording waits for this adapter to come back.
    if (awaited)
      m_linkWatch->awaitingAdapter(serial);
    else
      miPort->setEnabled(true);
  });
  m_viewTimer.setSingleShot(true);
  m_viewTimer.setInterval(33);
  connect(&m_viewTimer, &QTimer::timeout, this, &TfmMain::flushViews);
  m_display->beforeReplace = [this] { m_list->listModel()->beginReplace(); };
  m_display->afterReplace = [this] {
    m_chart->clearSpan();
    m_status->inspection->clear();  // the inspected point belonged to the readings replaced
    m_status->inspection->setProperty("hint", false);
    flushViews();
  };
  m_calibr->connectProtocol(m_first->protocol());
  m_analysis->takePoint = [this](const MeasuredStretch& stretch) { m_calibr->addCalibrationPoint(stretch); };
  m_calibr->currentStretch = [this] { return m_analysis->currentStretch(); };
  m_calibr->messageHook = [this](MessageKind kind, const QString& text) { message(kind, text); };
  m_files->errorReport = [this](const QString& text) { showError(text.toStdString()); };
  m_files->savedHook = [this](const QString& path, std::size_t readings) { m_journal->saved(path, readings); };
  m_files->message = [this](MessageKind kind, const QString& text) { message(kind, text); };
  m_files->loadedHook = [this](const QString& path) { m_journal->loaded(path); };
  m_journal->messageHook = [this](MessageKind kind, const QString& text) { message(kind, text); };
  m_calibr->setTableJournal(m_journal->tableJournalPath());
  m_journal->restoreTables = [this](std::string_view text) { return m_calibr->restoreTables(text); };
  m_journal->failingChanged = [this](bool failing) {
    m_status->journal->setText(failing ? qs(m_tr.text("msgJournalFailing")) : QString());
  };
}

// ---------------------------------------------------------------- construction

QAction* TfmMain::makeAction(const char* name, const QString& text, int icon, const QKeySequence& key) {
  auto* a = new QAction(text, this);
  a->setObjectName(name);
  if (icon >= 0) a->setIcon(toolbarIcon(icon));
  if (!key.isEmpty()) a->setShortcut(key);
  return a;
}

void TfmMain::buildActions() {
  m_langGroup = new QActionGroup(this);
  miLangRU = makeAction("miLangRU", QString(), 14);
  miLangRU->setToolTip("Русский");
  miLangEN = makeAction("miLangEN", QString(), 13);
  miLangEN->setToolTip("English");
  for (QAction* a : {miLangRU, miLangEN}) {
    a->setCheckable(true);
    m_langGroup->addAction(a);
    connect(a, &QAction::triggered, this, &TfmMain::miLangRUClick);
  }
  miPort = makeAction("miPort", "Port: COM1", 2);
  m_ports = new PortMenu(*miPort, m_first->connection(), m_tr, this);
  miFile = makeAction("miFile", "File", 1);
  m_fileMenu = new QMenu(this);
  miFile->setMenu(m_fileMenu);
  miOpen = makeAction("miOpen", "Open", 0, QKeySequence("Ctrl+O"));
  miSave = makeAction("miSave", "Save", 1, QKeySequence("Ctrl+S"));
  miSave->setCheckable(true);
  miToClipboard = makeAction("miToClipboard", "To clipboard", 11, QKeySequence("Ctrl+C"));
  miReport = makeAction("miReport", "Calibration report", -1);
  connect(miReport, &QAction::triggered, this, [this] { m_calibr->btReportClick(); });
  miExit = makeAction("miExit", "Exit", 5);
  connect(miExit, &QAction::triggered, this, &QWidget::close);
  connect(miSave, &QAction::triggered, this, [this] { m_files->miSaveClick(); });
  connect(miOpen, &QAction::triggered, this, [this] { m_files->miOpenClick(); });
  connect(miToClipboard, &QAction::triggered, this, &TfmMain::miToClipboardClick);
  m_fileMenu->addAction(miOpen);
  m_fileMenu->addAction(miSave);
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(miToClipboard);
  m_fileMenu->addAction(miReport);
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(miExit);
  addAction(miOpen);
  addAction(miSave);
  addAction(miToClipboard);
  miTune = makeAction("miTune", "Setup", 7, QKeySequence("Ctrl+D"));
  miTune->setCheckable(true);
  connect(miTune, &QAction::triggered, this, &TfmMain::miTuneClick);
  miSelectView = makeAction("miSelectView", "List", 6, QKeySequence("Ctrl+T"));
  miSelectView->setCheckable(true);
  connect(miSelectView, &QAction::triggered, this, &TfmMain::miSelectViewClick);
  miRecord = makeAction("miRecord", "Record", 4, QKeySequence("Ctrl+R"));
  miRecord->setCheckable(true);
  connect(miRecord, &QAction::triggered, this, &TfmMain::miRecordClick);
  miHelp = makeAction("miHelp", "?", -1, QKeySequence(Qt::Key_F1));
  miHelp->setVisible(false);
  // The item is hidden, and a hidden item's key does nothing: F1 has a shortcut of its own.
  connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, miHelp, &QAction::trigger);
  // The guide at its contents; in the statistics or the instruments panel, at their pages.
  connect(miHelp, &QAction::triggered, this, [this] {
    QString page = "index";
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
      if (w->objectName() == "dkStats") page = "statistics";
      if (w->objectName() == "dkInstruments") page = "channels";
    }
    HelpWindow::show(m_tr, page, this);
  });
}

void TfmMain::buildPopupMenu() {
  mnPopup = new QMenu(this);
  mnPopup->setObjectName("mnPopup");
  miClear = makeAction("miClear", "Clear", 10);
  mnPopup->addAction(miClear);
  connect(miClear, &QAction::triggered, this, &TfmMain::miClearClick);
  const std::pair<QAction**, AxisRules::Toggle> toggles[] = {
      {&miCatch, AxisRules::Toggle::Catch}, {&miYAuto, AxisRules::Toggle::AutoY}, {&miXAuto, AxisRules::Toggle::AutoX}};
  const char* names[] = {"miCatch", "miYAuto", "miXAuto"};
  const char* texts[] = {"Catch", "Auto Y", "Auto X"};
  const int icons[] = {12, 8, 9};
  for (int i = 0; i < 3; ++i) {
    QAction* a = *toggles[i].first = makeAction(names[i], texts[i], icons[i]);
    a->setCheckable(true);
    if (i < 2) mnPopup->addSeparator();
    mnPopup->addAction(a);
    const auto toggle = toggles[i].second;
    connect(a, &QAction::triggered, this, [this, toggle](bool on) { m_display->rules().miCatchClick(toggle, on); });
  }
}

void TfmMain::buildToolbar() {
  m_toolbar = new QToolBar(this);
  m_toolbar->setObjectName("TBToolbar");
  m_toolbar->setWindowTitle("Toolbar");
  m_toolbar->setAllowedAreas(Qt::AllToolBarAreas);
  m_toolbar->setMovable(true);
  m_toolbar->setFloatable(true);
  m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  m_toolbar->setIconSize(QSize(16, 16));
  QFont tbFont("MS Sans Serif", 9);
  tbFont.setBold(true);
  m_toolbar->setFont(tbFont);
  addToolBar(Qt::TopToolBarArea, m_toolbar);
  m_ports->setCaptionFont(tbFont);
  m_placement = std::make_unique<ToolbarPlacement>(*this, *m_toolbar);

  for (QAction* a : {miLangRU, miLangEN}) m_toolbar->addAction(a);
  m_toolbar->addAction(miPort);
  m_toolbar->addAction(miFile);
  for (QAction* a : {miPort, miFile})
    if (auto* b = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(a))) b->setPopupMode(QToolButton::InstantPopup);
  m_toolbar->addAction(miTune);
  m_toolbar->addAction(miSelectView);
  m_toolbar->addAction(miRecord);
  lbTablo = new ReadoutLabel;
  connect(lbTablo, &ReadoutLabel::clicked, this, &TfmMain::lbTabloClick);
  m_tabloAction = m_toolbar->addWidget(lbTablo);
  m_tabloAction->setVisible(false);
  m_toolbar->addAction(miHelp);
}

void TfmMain::buildCentral() {
  auto* central = new QWidget(this);
  central->setObjectName("central");
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  pnTable = new QWidget(central);
  pnTable->setObjectName("pnTable");
  auto* tableLayout = new QVBoxLayout(pnTable);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  m_listCaption = new QLabel(pnTable);
  m_listCaption->setObjectName("lbListInstrument");
  m_listCaption->setStyleSheet("font-weight: bold");
  m_listCaption->hide();
  tableLayout->addWidget(m_listCaption);
  m_list = new ReadingListView(m_display->list(), pnTable);
  tableLayout->addWidget(m_list);
  pnTable->hide();
  layout->addWidget(pnTable);

  m_chart->setParent(central);
  layout->addWidget(m_chart);
  connectChart();
  pnTune = new TunePanel(central);
  seFlow = pnTune->seFlow;
  connect(seFlow, &QSpinBox::valueChanged, this, &TfmMain::seFlowChange);
  connect(pnTune, &TunePanel::calibrationRequested, this, &TfmMain::pnTuneDblClick);

  pnGauge = new QFrame(central);
  pnGauge->setObjectName("pnGauge");
  pnGauge->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnGauge->setGeometry(108, 24, 41, 129);
  Gauge = new QProgressBar(pnGauge);
  Gauge->setObjectName("Gauge");
  Gauge->setOrientation(Qt::Vertical);
  Gauge->setGeometry(4, 4, 33, 121);
  Gauge->setTextVisible(false);
  pnGauge->hide();
  // Beside the gauge while a long open runs.
  m_cancelLoad = new QPushButton(central);
  m_cancelLoad->setObjectName("btCancelLoad");
  m_cancelLoad->setGeometry(153, 24, 72, 24);
  m_cancelLoad->hide();

  setCentralWidget(central);
}

void TfmMain::connectChart() {
  m_chart->messageText = [this](std::string_view id) { return std::string(m_tr.text(id)); };
  m_chart->errorSink = [this](std::string_view text) { showError(text); };
  m_chart->menuButton()->setIcon(toolbarIcon(6));
  connect(m_chart, &ChartPanel::menuButtonClicked, this, &TfmMain::btMenuClick);
  connect(m_chart, &ChartPanel::boxEnter, this, [this](AxisBox b) { m_display->rules().boxEnter(b); });
  connect(m_chart, &ChartPanel::userScrolled, this, [this](int p) { m_display->rules().sbXposChange(p); });
  connect(m_chart, &ChartPanel::axisSetupClicked, this, [this] { m_display->rules().cbAxisClick(); });
  connect(m_chart, &ChartPanel::chartResized, this, [this] { m_display->rules().ChartResize(); });
  connect(m_chart, &ChartPanel::zoomMade, this, [this] { m_display->rules().ChartZoom(); });
  connect(m_chart, &ChartPanel::undone, this, [this] { m_display->rules().ChartUndoZoom(); });
  connect(m_chart, &ChartPanel::seriesClicked, this, &TfmMain::showInspection);
  // The gestures are named on first use, in the inspection's panel (a click there replaces it).
  connect(m_chart, &ChartPanel::firstHover, this, [this] {
    if (!m_status->inspection->text().isEmpty()) return;
    m_status->inspection->setText(qs(m_tr.text("msgChartHint")));
    m_status->inspection->setToolTip(m_status->inspection->text());
    m_status->inspection->setProperty("hint", true);
  });
}

// ---------------------------------------------------------------- life cycle

void TfmMain::FormCreate() {
  UpdateStrings();
  m_placement->restore(m_store);
  const int lang = m_options.userLanguageId ? m_options.userLanguageId : userDefaultLanguageId();
  if (auto settings = loadMainSettings(m_store, lang)) {
    applySettings(*settings);
  } else {
    resize(800, 600);
    if (QScreen* screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - QPoint(400, 300));
  }
  if (m_options.demo) serialPort().CommPort = "DEMO";  // the demo thermometer is chosen at start
  applyChannelSettings();
  m_toolbar->setVisible(true);
  m_display->rules().UpdateChartAxis();
  m_display->rules().setScrollEnabled(false);
  QLocale::setDefault(QLocale::c());  // "." as decimal separator everywhere
  seFlowChange();
}

void TfmMain::applySettings(const MainSettings& s) {
  m_tr.setLanguage(s.LangID == 1 ? Language::Russian : Language::English);
  (s.LangID == 1 ? miLangRU : miLangEN)->setChecked(true);
  applyQtLanguage();
  translateWindow(this, mainWindowTable(), m_tr, {"miPort", "lbTablo"});
  m_calibr->UpdateStrings();
  UpdateStrings();
  if (m_store.keyExists(kPortSettingsKey)) serialPort().LoadSettings(m_store, kPortSettingsKey);
  serialPort().setBaudRate(4800);
  resize(s.Width, s.Height);
  move(s.Left, s.Top);
  pullIntoView(*this);
  miSelectView->setChecked(!s.ChartVisible);
  pnTable->setVisible(miSelectView->isChecked());
  m_chart->setVisible(!miSelectView->isChecked());
  miTune->setChecked(s.TuneVisible);
  pnTune->setVisible(s.TuneVisible);
  seFlow->setValue(s.Flow);
  m_chart->setBoxText(AxisBox::Ystart, formatFixed(s.Ystart, 4, 0));
  m_chart->setBoxText(AxisBox::Yrange, formatFixed(s.Yrange, 4, 0));
  m_chart->setBoxText(AxisBox::Xrange, formatFixed(s.Xrange, 4, 0));
  m_display->rules().setCatch(s.Catch);
  if (s.AutoY) m_chart->setLeftAutomatic(*s.AutoY);
  if (s.AutoX) m_chart->setBottomAutomatic(*s.AutoX);
  m_calibr->setCalcMethod(s.CalcMethod);
  m_calibr->verifyBox()->setChecked(s.VerifyWrite);
  m_calibr->reportFields() = {qs(s.ReportProbe), qs(s.ReportOperator), qs(s.ReportReference), qs(s.ReportNotes)};
  m_linkWatch->apply(s);
  m_analysis->apply(s);
  if (s.USB) m_first->connection().setUsbSelected(*s.USB);
}

MainSettings TfmMain::collectSettings() const {
  MainSettings s;
  s.LangID = static_cast<int>(m_tr.language());
  s.Width = width();
  s.Height = height();
  s.Top = y();
  s.Left = x();
  s.ChartVisible = !miSelectView->isChecked();
  s.TuneVisible = miTune->isChecked();
  s.Flow = seFlow->value();
  // A box that does not hold a number keeps the value last applied.
  auto box = [this](AxisBox b, double applied) {
    auto v = parseNumber(m_chart->boxText(b), Blanks::Allowed);
    const bool zeroRange = b != AxisBox::Ystart && v && *v == 0;
    return v && std::isfinite(*v) && !zeroRange ? *v : applied;
  };
  s.Ystart = box(AxisBox::Ystart, m_display->rules().Ystart());
  s.Yrange = box(AxisBox::Yrange, m_display->rules().Yrange());
  s.Xrange = box(AxisBox::Xrange, m_display->rules().Xrange());
  s.Catch = m_display->rules().Catch();
  s.AutoY = m_chart->leftAxis().automatic;
  s.AutoX = m_chart->bottomAxis().automatic;
  s.CalcMethod = m_calibr->CalcMethod();
  s.VerifyWrite = m_calibr->verifyBox()->isChecked();
  const ReportFields& report = m_calibr->reportFields();
  s.ReportProbe = report.probe.toStdString();
  s.ReportOperator = report.operatorName.toStdString();
  s.ReportReference = report.reference.toStdString();
  s.ReportNotes = report.notes.toStdString();
  s.USB = m_first->connection().UsbSelected();
  m_linkWatch->collect(s);
  m_analysis->collect(s);
  return s;
}

void TfmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_activated) {
    m_activated = true;
    FormActivate();
  }
}

void TfmMain::FormActivate() {
  m_status->osPanel->setText(QString::fromStdString(osVersionText()));
  m_first->connection().buildPortList();
  m_first->connection().startUsbSearch();  // the first device search runs from the event loop, after the port list
}

void TfmMain::closeEvent(QCloseEvent* event) {
  if (!m_files->confirmDiscard() || !m_calibr->confirmTablesAtExit()) {
    event->ignore();
    return;
  }
  FormClose();
  m_journal->closeNormally();
  event->accept();
  emit closedNormally();
}

void TfmMain::FormClose() {
  m_placement->save(m_store);
  // What is remembered of several instruments, in a key of its own (a single instrument
  // leaves the designed keys alone).
  if (m_channels->size() > 1 || m_store.keyExists(kChannelsKey)) saveChannelSettings(m_store, m_channels->settings());
  serialPort().SaveSettings(m_store, kPortSettingsKey);
  saveMainSettings(m_store, collectSettings());
}

// ---------------------------------------------------------------- toolbar commands

void TfmMain::UpdateStrings() {
  m_portPrefix = qs(m_tr.text("strPORT_PREFFIX"));
  m_chart->retranslate();
  m_ports->setPrefix(m_portPrefix);
  miReport->setText(qs(m_tr.text("miReport")));
  if (m_analysis) m_analysis->retranslate();
  if (m_instruments) retranslateChannels();
  updateToolTips();
}

void TfmMain::miLangRUClick() {
  m_tr.setLanguage(miLangEN->isChecked() ? Language::English : Language::Russian);
  applyQtLanguage();
  // The port caption and the readout are composed by the program, not taken from the table.
  translateWindow(this, mainWindowTable(), m_tr, {"miPort", "lbTablo"});
  m_calibr->UpdateStrings();
  UpdateStrings();
  m_ports->updateCaption();
  m_chart->retranslate();
  if (m_status->inspection->property("hint").toBool()) {
    m_status->inspection->setText(qs(m_tr.text("msgChartHint")));
    m_status->inspection->setToolTip(m_status->inspection->text());
  }
  emit languageChanged();
  HelpWindow::followLanguage(m_tr);  // an open guide follows
}

}  // namespace velmora
