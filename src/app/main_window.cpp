#include "app/main_window.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSvgGenerator>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/platform_info.h"
#include "app/ui_helpers.h"
#include "app/velmora_application.h"
#include "calibration/calibration_window.h"
#include "common/number_text.h"
#include "device/demo_device.h"
#include "device/hid_controller.h"
#include "device/hid_reports.h"
#include "device/port_names.h"
#include "device/serial_port.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"
#include "files/data_file.h"

namespace velmora {

namespace {
const char* dockName(Qt::ToolBarArea area) {
  switch (area) {
    case Qt::BottomToolBarArea:
      return "BotDock";
    case Qt::LeftToolBarArea:
      return "LeftDock";
    case Qt::RightToolBarArea:
      return "RightDock";
    default:
      return "TopDock";
  }
}
Qt::ToolBarArea dockArea(const std::string& name) {
  if (name == "BotDock") return Qt::BottomToolBarArea;
  if (name == "LeftDock") return Qt::LeftToolBarArea;
  if (name == "RightDock") return Qt::RightToolBarArea;
  return Qt::TopToolBarArea;
}
}  // namespace

TfmMain::TfmMain(SettingsBackend& store, MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), m_store(store), m_options(options) {
  setObjectName("fmMain");
  setWindowTitle("Velmora");
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  m_chart = new ChartPanel(m_series);
  m_display = std::make_unique<MeasurementDisplay>(*m_chart, m_clock, m_series);
  m_protocol = std::make_unique<Protocol>(*this, m_dataTimerAdapter, m_timeOffAdapter);
  std::function<std::unique_ptr<QIODevice>()> demo;
  if (m_options.demo) demo = [] { return std::make_unique<DemoDevice>(); };
  m_serial = std::make_unique<TSerialPort>(demo);
  // The window's own settings of the port object.
  m_serial->CommPort = "COM1";
  m_serial->setBaudRate(4800);

  m_hid = std::make_unique<THidDeviceController>(m_options.hidBackend ? m_options.hidBackend() : makeHidapiBackend());
  connect(m_hid.get(), &THidDeviceController::arrival, this, &TfmMain::HidControllerArrival);
  connect(m_hid.get(), &THidDeviceController::removal, this, &TfmMain::HidControllerRemoval);

  m_dataTimer.setObjectName("DataTimer");
  m_timeOffTimer.setObjectName("TimeOffTimer");
  m_timeOffTimer.setInterval(200);
  connect(&m_dataTimer, &QTimer::timeout, this, [this] { m_protocol->DataTimerTimer(); });
  connect(&m_timeOffTimer, &QTimer::timeout, this, [this] { m_protocol->TimeOffTimerTimer(); });
  connect(m_serial.get(), &TSerialPort::OnRxClusterEvent, this, &TfmMain::SerialPortRxClusterEvent);
  m_viewTimer.setSingleShot(true);
  m_viewTimer.setInterval(33);
  connect(&m_viewTimer, &QTimer::timeout, this, &TfmMain::flushViews);

  buildActions();
  buildToolbar();
  buildCentral();
  buildStatusBar();

  m_calibr = new TfmCalibr(m_tr, this);
  m_calibr->isRecording = [this] { return miRecord->isChecked(); };
  m_calibr->setRecording = [this](bool on) {
    miRecord->setChecked(on);
    miRecordClick();
  };
  m_calibr->toggleSerialPort = [this](bool on) { return m_protocol->ToggleSerialPort(on); };
  m_calibr->clearTransferFlags = [this] { m_protocol->clearTransferFlags(); };
  m_calibr->startRead = [this] { m_protocol->startCofRead(); };
  m_calibr->startWrite = [this] { m_protocol->startCofWrite(); };
  m_calibr->writeProgress = [this] { return m_protocol->pbWrite(); };
  m_calibr->readingCof = [this] { return m_protocol->ReadingCof; };
  m_calibr->writingCof = [this] { return m_protocol->WritingCof; };
  m_calibr->messageHook = [this](MessageKind kind, const QString& text) { message(kind, text); };

  FormCreate();
}

TfmMain::~TfmMain() {
  // The background threads go first, so that nothing is delivered to a window that is
  // being torn down.
  m_usbDevice.reset();
  m_serial.reset();
}

// ---------------------------------------------------------------- construction

void TfmMain::buildActions() {
  auto action = [this](const char* name, const QString& text, int icon, const QKeySequence& key = {}) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    if (icon >= 0) a->setIcon(toolbarIcon(icon));
    if (!key.isEmpty()) a->setShortcut(key);
    return a;
  };
  m_langGroup = new QActionGroup(this);
  miLangRU = action("miLangRU", QString(), 14);
  miLangRU->setToolTip("Русский");
  miLangEN = action("miLangEN", QString(), 13);
  miLangEN->setToolTip("English");
  for (QAction* a : {miLangRU, miLangEN}) {
    a->setCheckable(true);
    m_langGroup->addAction(a);
    connect(a, &QAction::triggered, this, &TfmMain::miLangRUClick);
  }
  miPort = action("miPort", "Port: COM1", 2);
  m_portMenu = new QMenu(this);
  m_portMenu->setObjectName("miPortMenu");
  miPort->setMenu(m_portMenu);
  miFile = action("miFile", "File", 1);
  m_fileMenu = new QMenu(this);
  miFile->setMenu(m_fileMenu);
  miOpen = action("miOpen", "Open", 0, QKeySequence("Ctrl+O"));
  miSave = action("miSave", "Save", 1, QKeySequence("Ctrl+S"));
  miSave->setCheckable(true);
  miToClipboard = action("miToClipboard", "To clipboard", 11, QKeySequence("Ctrl+C"));
  miExit = action("miExit", "Exit", 5);
  connect(miExit, &QAction::triggered, this, &QWidget::close);
  connect(miSave, &QAction::triggered, this, [this] { miSaveClick(); });
  connect(miOpen, &QAction::triggered, this, &TfmMain::miOpenClick);
  connect(miToClipboard, &QAction::triggered, this, &TfmMain::miToClipboardClick);
  m_fileMenu->addAction(miOpen);
  m_fileMenu->addAction(miSave);
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(miToClipboard);
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(miExit);
  addAction(miOpen);
  addAction(miSave);
  addAction(miToClipboard);
  miTune = action("miTune", "Setup", 7, QKeySequence("Ctrl+D"));
  miTune->setCheckable(true);
  connect(miTune, &QAction::triggered, this, &TfmMain::miTuneClick);
  miSelectView = action("miSelectView", "List", 6, QKeySequence("Ctrl+T"));
  miSelectView->setCheckable(true);
  connect(miSelectView, &QAction::triggered, this, &TfmMain::miSelectViewClick);
  miRecord = action("miRecord", "Record", 4, QKeySequence("Ctrl+R"));
  miRecord->setCheckable(true);
  connect(miRecord, &QAction::triggered, this, &TfmMain::miRecordClick);
  miHelp = action("miHelp", "?", -1, QKeySequence(Qt::Key_F1));
  miHelp->setVisible(false);
  connect(miHelp, &QAction::triggered, this, [] {
    const QString help = qApp->property("helpFile").toString();
    if (QFileInfo::exists(help)) QDesktopServices::openUrl(QUrl::fromLocalFile(help));
  });

  mnPopup = new QMenu(this);
  mnPopup->setObjectName("mnPopup");
  miClear = action("miClear", "Clear", 10);
  miCatch = action("miCatch", "Catch", 12);
  miYAuto = action("miYAuto", "Auto Y", 8);
  miXAuto = action("miXAuto", "Auto X", 9);
  for (QAction* a : {miCatch, miYAuto, miXAuto}) a->setCheckable(true);
  mnPopup->addAction(miClear);
  mnPopup->addSeparator();
  mnPopup->addAction(miCatch);
  mnPopup->addSeparator();
  mnPopup->addAction(miYAuto);
  mnPopup->addAction(miXAuto);
  connect(miClear, &QAction::triggered, this, [this] {
    m_list->listModel()->beginReplace();
    m_display->miClearClick();
    flushViews();
  });
  connect(miCatch, &QAction::triggered, this,
          [this](bool on) { m_display->rules().miCatchClick(AxisRules::Toggle::Catch, on); });
  connect(miYAuto, &QAction::triggered, this,
          [this](bool on) { m_display->rules().miCatchClick(AxisRules::Toggle::AutoY, on); });
  connect(miXAuto, &QAction::triggered, this,
          [this](bool on) { m_display->rules().miCatchClick(AxisRules::Toggle::AutoX, on); });
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
  connect(m_toolbar, &QToolBar::topLevelChanged, this, [this](bool floating) {
    if (!floating) m_lastDock = dockName(toolBarArea(m_toolbar));
  });

  for (QAction* a : {miLangRU, miLangEN}) m_toolbar->addAction(a);
  m_toolbar->addAction(miPort);
  m_toolbar->addAction(miFile);
  for (QAction* a : {miPort, miFile})
    if (auto* b = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(a))) b->setPopupMode(QToolButton::InstantPopup);
  m_toolbar->addAction(miTune);
  m_toolbar->addAction(miSelectView);
  m_toolbar->addAction(miRecord);
  lbTablo = new QLabel("0.0");
  lbTablo->setObjectName("lbTablo");
  QFont readout("MS Sans Serif", 12);
  readout.setBold(true);
  lbTablo->setFont(readout);
  lbTablo->setMinimumWidth(140);
  lbTablo->setAlignment(Qt::AlignCenter);
  lbTablo->setAutoFillBackground(false);
  lbTablo->installEventFilter(this);
  m_toolbar->addWidget(lbTablo)->setVisible(false);
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
  m_list = new ReadingListView(m_display->list(), pnTable);
  tableLayout->addWidget(m_list);
  pnTable->hide();
  layout->addWidget(pnTable);

  m_chart->setParent(central);
  layout->addWidget(m_chart);
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
  connect(m_chart, &ChartPanel::seriesClicked, this, [this](long long i) {
    // Point inspection: temperature with 5 significant digits and 2 decimals, time hh:mm:ss.
    const auto& s = m_display->series();
    if (i < 0 || static_cast<std::size_t>(i) >= s.size()) return;
    std::string text(m_tr.text("IDS_70"));
    text += formatFixed(s.y(static_cast<std::size_t>(i)), 5, 2);
    text += m_tr.text("IDS_71");
    text += formatHhMmSs(s.x(static_cast<std::size_t>(i)));
    setStatusText(text);
  });

  pnTune = new QFrame(central);
  pnTune->setObjectName("pnTune");
  pnTune->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnTune->setLineWidth(2);
  pnTune->setAutoFillBackground(true);
  pnTune->setGeometry(170, 25, 178, 72);
  pnTune->installEventFilter(this);
  lbFlow = new QLabel("Recording data/min", pnTune);
  lbFlow->setObjectName("lbFlow");
  lbFlow->setGeometry(8, 12, 120, 16);
  QFont small = lbFlow->font();
  small.setPixelSize(10);
  lbFlow->setFont(small);
  seFlow = new QSpinBox(pnTune);
  seFlow->setObjectName("seFlow");
  seFlow->setRange(1, 120);
  seFlow->setValue(60);
  seFlow->setGeometry(128, 8, 41, 22);
  seFlow->setFrame(false);
  seFlow->setFont(small);
  connect(seFlow, &QSpinBox::valueChanged, this, &TfmMain::seFlowChange);
  auto* clbFrame = new QFrame(pnTune);
  clbFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
  clbFrame->setStyleSheet("QFrame { color: grey; }");
  clbFrame->setGeometry(24, 40, 129, 22);
  btClb = new QPushButton("Calibration", pnTune);
  btClb->setObjectName("btClb");
  btClb->setFlat(true);
  btClb->setGeometry(24, 40, 129, 22);
  QFont clbFont("MS Sans Serif", 8);
  clbFont.setBold(true);
  btClb->setFont(clbFont);
  connect(btClb, &QPushButton::clicked, this, &TfmMain::pnTuneDblClick);
  pnTune->hide();

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

  setCentralWidget(central);
}

void TfmMain::buildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName("StatusBar");
  QFont f("Tahoma");
  f.setPixelSize(11);
  bar->setFont(f);
  m_osPanel = new QLabel(bar);
  m_osPanel->setObjectName("StatusPanel0");
  m_osPanel->setMinimumWidth(50);
  m_osPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_statusLabel = new QLabel(bar);
  m_statusLabel->setObjectName("StatusText");
  bar->addWidget(m_osPanel);
  bar->addWidget(m_statusLabel, 1);
  setStatusBar(bar);
}

// ---------------------------------------------------------------- life cycle

void TfmMain::FormCreate() {
  UpdateStrings();
  m_usbPresent = false;
  restoreToolbarLayout();
  const int lang = m_options.userLanguageId ? m_options.userLanguageId : userDefaultLanguageId();
  if (auto settings = loadMainSettings(m_store, lang)) {
    applySettings(*settings);
  } else {
    resize(800, 600);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect avail = screen->availableGeometry();
      move(avail.center() - QPoint(400, 300));
    }
  }
  if (m_options.demo) m_serial->CommPort = "DEMO";  // the demo thermometer is chosen at start
  m_toolbar->setVisible(true);
  m_display->rules().UpdateChartAxis();
  m_display->rules().setScrollEnabled(false);
  QLocale::setDefault(QLocale::c());  // "." as decimal separator everywhere
  seFlowChange();
}

void TfmMain::applySettings(const MainSettings& s) {
  m_tr.setLanguage(s.LangID == 1 ? Language::Russian : Language::English);
  (s.LangID == 1 ? miLangRU : miLangEN)->setChecked(true);
  translateWindow(this, mainWindowTable(), m_tr, {"miPort", "lbTablo"});
  m_calibr->UpdateStrings();
  UpdateStrings();
  if (m_store.keyExists(kPortSettingsKey)) m_serial->LoadSettings(m_store, kPortSettingsKey);
  m_serial->setBaudRate(4800);
  resize(s.Width, s.Height);
  move(s.Left, s.Top);
  pullIntoView();
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
  if (s.USB) m_usbSelected = *s.USB;
}

void TfmMain::pullIntoView() {
  const QRect frame(pos(), size());
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().intersects(frame.adjusted(40, 10, -40, -40))) return;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    resize(std::min(width(), avail.width()), std::min(height(), avail.height()));
    move(avail.center() - QPoint(width() / 2, height() / 2));
  }
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
    return v && std::isfinite(*v) ? *v : applied;
  };
  s.Ystart = box(AxisBox::Ystart, m_display->rules().Ystart());
  s.Yrange = box(AxisBox::Yrange, m_display->rules().Yrange());
  s.Xrange = box(AxisBox::Xrange, m_display->rules().Xrange());
  s.Catch = m_display->rules().Catch();
  s.AutoY = m_chart->leftAxis().automatic;
  s.AutoX = m_chart->bottomAxis().automatic;
  s.CalcMethod = m_calibr->CalcMethod();
  s.USB = m_usbSelected;
  return s;
}

void TfmMain::restoreToolbarLayout() {
  auto layout = loadToolbarLayout(m_store, "TBToolbar");
  if (!layout) return;
  // A floating toolbar comes back docked where it last was: Qt offers no portable way to
  // float a toolbar from code.
  const std::string& dock = layout->DockedTo == "+" ? layout->LastDock : layout->DockedTo;
  addToolBar(dockArea(dock), m_toolbar);
  m_lastDock = QString::fromStdString(dock);
}

void TfmMain::saveToolbarLayout() {
  ToolbarLayout l;
  l.Visible = m_toolbar->isVisible();
  if (m_toolbar->isFloating()) {
    l.DockedTo = "+";
    l.FloatLeft = m_toolbar->x();
    l.FloatTop = m_toolbar->y();
  } else {
    l.DockedTo = dockName(toolBarArea(m_toolbar));
    m_lastDock = QString::fromStdString(l.DockedTo);
    const bool vertical = m_toolbar->orientation() == Qt::Vertical;
    l.DockPos = vertical ? m_toolbar->y() : m_toolbar->x();
  }
  l.LastDock = m_lastDock.toStdString();
  velmora::saveToolbarLayout(m_store, "TBToolbar", l);
}

void TfmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_activated) {
    m_activated = true;
    FormActivate();
  }
}

void TfmMain::FormActivate() {
  m_osPanel->setText(QString::fromStdString(osVersionText()));
  buildPortList();
  m_hid->start();  // the first device search runs from the event loop, after the port list
}

void TfmMain::closeEvent(QCloseEvent* event) {
  if (!confirmDiscard()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TfmMain::FormClose() {
  saveToolbarLayout();
  m_serial->SaveSettings(m_store, kPortSettingsKey);
  saveMainSettings(m_store, collectSettings());
  for (QAction* a : m_portItems) a->deleteLater();
  m_portItems.clear();
  m_portList.clear();
}

// ---------------------------------------------------------------- toolbar commands

void TfmMain::UpdateStrings() { m_portPrefix = qs(m_tr.text("strPORT_PREFFIX")); }

void TfmMain::miLangRUClick() {
  m_tr.setLanguage(miLangEN->isChecked() ? Language::English : Language::Russian);
  // The port caption and the readout are composed by the program, not taken from the table.
  translateWindow(this, mainWindowTable(), m_tr, {"miPort", "lbTablo"});
  m_calibr->UpdateStrings();
  UpdateStrings();
  updatePortCaption(m_usbSelected && m_usbPresent ? QString("USB") : QString::fromStdString(m_serial->CommPort));
  m_chart->plot()->replot(QCustomPlot::rpQueuedRefresh);
}

void TfmMain::updatePortCaption(const QString& name) {
  if (name == "USB")
    miPort->setText(name);
  else if (std::find(m_portList.begin(), m_portList.end(), name.toStdString()) != m_portList.end())
    miPort->setText(m_portPrefix + name);
  else
    miPort->setText(qs(m_tr.lookup(mainWindowTable(), Section::Captions, "miPort")));
}

void TfmMain::miSelectViewClick() {
  pnTable->setVisible(miSelectView->isChecked());
  m_chart->setVisible(!miSelectView->isChecked());
}

void TfmMain::miTuneClick() { pnTune->setVisible(miTune->isChecked()); }

void TfmMain::pnTuneDblClick() { m_calibr->exec(); }

void TfmMain::lbTabloClick() {
  m_display->readout().toggleMode();
  refreshReadout();
}

void TfmMain::miRecordClick() { m_protocol->miRecordClick(miRecord->isChecked()); }

void TfmMain::seFlowChange() {
  if (auto rate = m_protocol->seFlowChange(seFlow->text().toStdString())) {
    if (seFlow->value() != *rate) seFlow->setValue(*rate);
  }
}

void TfmMain::btMenuClick() {
  miCatch->setChecked(m_display->rules().Catch());
  miYAuto->setChecked(m_chart->leftAxis().automatic);
  miXAuto->setChecked(m_chart->bottomAxis().automatic);
  QToolButton* b = m_chart->menuButton();
  mnPopup->popup(b->mapToGlobal(QPoint(0, b->height())));
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pnTune && event->type() == QEvent::MouseButtonDblClick) {
    pnTuneDblClick();
    return true;
  }
  if (watched == lbTablo && event->type() == QEvent::MouseButtonPress) {
    lbTabloClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- ports

void TfmMain::buildPortList() {
  std::vector<std::string> names;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) names.push_back(info.portName().toStdString());
  if (m_options.demo) names.push_back("DEMO");
  // A stored device path (a pseudo-terminal, say) is offered as well.
  if (!m_serial->CommPort.empty() && m_serial->CommPort.front() == '/' &&
      QFileInfo::exists(QString::fromStdString(m_serial->CommPort)))
    names.push_back(m_serial->CommPort);
  m_portList = sortedPortNames(names);
  m_portItems.clear();
  m_portMenu->clear();
  for (const auto& name : m_portList) {
    auto* entry = new QAction(QString::fromStdString(name), m_portMenu);
    entry->setCheckable(true);
    entry->setChecked(name == m_serial->CommPort);
    connect(entry, &QAction::triggered, this, [this, entry] { miPortClick(entry); });
    m_portItems.push_back(entry);
    m_portMenu->addAction(entry);
  }
  updatePortCaption(QString::fromStdString(m_serial->CommPort));
}

void TfmMain::miPortClick(QAction* entry) {
  if (m_usbPresent && !m_portItems.empty() && entry == m_portItems.back()) {
    for (QAction* a : m_portItems) a->setChecked(false);
    entry->setChecked(true);
    miPort->setText(entry->text());
    m_usbSelected = true;
    return;
  }
  const std::string chosen = entry->text().toStdString();
  m_serial->setCommPort(chosen);
  miPort->setText(m_portPrefix + entry->text());
  for (QAction* a : m_portItems) a->setChecked(false);
  entry->setChecked(true);
  miPort->setIcon(toolbarIcon(2));
  // Probe every serial entry: an entry is enabled exactly when its port opens.
  const std::size_t serialCount = m_portItems.size() - (m_usbPresent ? 1 : 0);
  for (std::size_t i = 0; i < serialCount; ++i) {
    QAction* a = m_portItems[i];
    m_serial->setCommPort(a->text().toStdString());
    const bool opened = m_serial->setActive(true);
    a->setEnabled(opened);
    m_serial->setActive(false);
    if (a == entry && !opened) miPort->setIcon(toolbarIcon(3));
  }
  m_serial->setCommPort(chosen);
  m_usbSelected = false;
}

void TfmMain::SerialPortRxClusterEvent() {
  TSerialCluster block;
  if (!m_serial->takeCluster(block)) {
    m_timeOffTimer.stop();
    return;
  }
  m_protocol->SerialPortRxClusterEvent(block.data, block.errors);
}

// ---------------------------------------------------------------- readings

void TfmMain::AddPoint(double x, double y) {
  m_display->AddPoint(x, y);
  scheduleViews();
}

void TfmMain::scheduleViews() {
  m_chart->requestRedraw();
  if (!m_viewTimer.isActive()) m_viewTimer.start();
}

void TfmMain::flushViews() {
  m_viewTimer.stop();
  m_list->sync();
  m_chart->flushRedraw();
}

void TfmMain::refreshReadout() {
  const Readout& r = m_display->readout();
  lbTablo->setText(QString::fromStdString(r.text()));
  const QColor color = r.color() == ReadoutColor::Purple ? QColor(128, 0, 128)
                       : r.color() == ReadoutColor::White ? QColor(Qt::white)
                                                          : QColor(Qt::black);
  QPalette pal = lbTablo->palette();
  pal.setColor(QPalette::WindowText, color);
  lbTablo->setPalette(pal);
}

QString TfmMain::statusText() const { return m_statusLabel->text(); }

// ---------------------------------------------------------------- protocol host

void TfmMain::sendSerial(std::string_view text) { m_serial->SendText(std::string(text)); }

void TfmMain::sendUsb(std::string_view text) { SendReport(std::string(text)); }

QString TfmMain::portCaption() const { return miPort->text(); }

void TfmMain::HidControllerArrival(const HidDeviceInfo& device) {
  if (m_usbDevice) return;  // one adapter at a time
  if (deviceString(device.product, device.vendorId, device.productId) != kAdapterProduct ||
      deviceString(device.manufacturer, device.vendorId, device.productId) != kAdapterMaker)
    return;
  m_usbDevice = m_hid->checkOut(device);
  if (!m_usbDevice) return;
  connect(m_usbDevice.get(), &THidDevice::OnDeviceData, this, &TfmMain::GetReport);
  m_usbDevice->startReading();
  m_usbPresent = true;
  m_portList.push_back("USB");
  auto* entry = new QAction("USB", m_portMenu);
  entry->setCheckable(true);
  connect(entry, &QAction::triggered, this, [this, entry] { miPortClick(entry); });
  m_portItems.push_back(entry);
  m_portMenu->addAction(entry);
  if (m_usbSelected) {
    for (QAction* a : m_portItems) a->setChecked(false);
    entry->setChecked(true);
    miPort->setText("USB");
  }
  std::string error;
  int code = 0;
  if (!m_usbDevice->write(setupReport(m_usbDevice->outputReportLength()), error, code))
    setStatusText(writeErrorText(error, code));
  setStatusText(device.product + " \u2116" + device.serial);
}

void TfmMain::HidControllerRemoval(const HidDeviceInfo& device) {
  if (!m_usbDevice || m_usbDevice->info().path != device.path) return;
  m_usbDevice.reset();  // the reader stops, the device closes
  miPort->setText(m_portPrefix + QString::fromStdString(m_serial->CommPort));
  miPort->setEnabled(true);
  m_usbPresent = false;
  m_usbSelected = false;
  if (!m_portItems.empty()) {
    m_portItems.back()->deleteLater();
    m_portMenu->removeAction(m_portItems.back());
    m_portItems.pop_back();
    m_portList.pop_back();
  }
  // The first remaining entry is chosen as if clicked. Without any serial port the caption
  // keeps the serial port's name and no entry is checked.
  if (!m_portItems.empty()) miPortClick(m_portItems.front());
  setStatusText("");
}

std::string TfmMain::writeErrorText(const std::string& error, int code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
  return "WRITE ERROR: " + error + " (" + hex + ")";
}

bool TfmMain::SendReport(const std::string& text) {
  if (!m_usbDevice) return false;
  auto report = packOutputReport(text, m_usbDevice->outputReportLength());
  if (!report) {
    // Cutting a command would send the instrument something else; it is refused instead.
    setStatusText(std::string(m_tr.text("msgUsbTooLong")));
    return false;
  }
  std::string error;
  int code = 0;
  if (!m_usbDevice->write(*report, error, code)) {
    setStatusText(writeErrorText(error, code));  // the command counts as sent
    return false;
  }
  return true;
}

void TfmMain::GetReport(int, const QByteArray& report) {
  m_timeOffTimer.stop();
  const auto text = inputReportText(reinterpret_cast<const std::uint8_t*>(report.constData()),
                                    static_cast<std::size_t>(report.size()));
  if (!text) return;
  m_protocol->receiveText(*text);
}

bool TfmMain::setSerialActive(bool on) {
  const bool active = m_serial->setActive(on);
  m_serial->setDTR(active);
  m_serial->setRTS(!active);
  return active;
}

bool TfmMain::serialActive() const { return m_serial->Active(); }
void TfmMain::purgeSerial() { m_serial->purge(); }
void TfmMain::setStatusText(std::string_view text) { m_statusLabel->setText(qs(text)); }
void TfmMain::appendStatusText(std::string_view text) { m_statusLabel->setText(m_statusLabel->text() + qs(text)); }

void TfmMain::setRecording(bool on) {
  miPort->setEnabled(!on);
  miRecord->setChecked(on);
  m_display->readout().setVisible(on);
  for (QAction* a : m_toolbar->actions())
    if (m_toolbar->widgetForAction(a) == lbTablo) a->setVisible(on);
  refreshReadout();
}

void TfmMain::readoutRequest() {
  m_display->readout().onRequest();
  refreshReadout();
}

void TfmMain::readoutReply(std::string_view reply) {
  m_display->readout().onReply(reply, m_tr.text("IDS_55"));
  refreshReadout();
}

void TfmMain::message(MessageKind kind, const QString& text) {
  if (messageHook)
    messageHook(kind, text);
  else
    showMessage(this, m_tr, kind, text);
}

void TfmMain::communicationError() {
  QApplication::beep();
  message(MessageKind::Error, qs(m_tr.text("IDS_53")) + "\r" + qs(m_tr.text("IDS_54")));
}

void TfmMain::showError(std::string_view text) {
  auto* app = dynamic_cast<VelmoraApplication*>(QCoreApplication::instance());
  if (app && !messageHook)
    app->reportError(qs(text));
  else
    message(MessageKind::Error, qs(text));
}

void TfmMain::setCalibrStatus(std::string_view text) { m_calibr->setStatus(qs(text)); }
void TfmMain::appendCalibrStatus(std::string_view text) { m_calibr->appendStatus(qs(text)); }
std::string TfmMain::newCofCell(int index) const { return m_calibr->coefficientText(2, index + 1).toStdString(); }
void TfmMain::rejectNewCofCell(int index) { m_calibr->rejectNewCofCell(index); }
void TfmMain::setCofCell(int row, int column, std::string_view text) { m_calibr->setCoefficientText(row, column, qs(text)); }
void TfmMain::cofProgressChanged() { m_calibr->progressChanged(); }

}  // namespace velmora

// ---------------------------------------------------------------- data files and clipboard

namespace velmora {

QString TfmMain::fileDialog(bool save, const QString& title, const QString& folder, const QString& proposed) {
  if (fileDialogHook) return fileDialogHook(save, title, folder, proposed);
  return runFileDialog(this, save, title, folder, proposed,
                       qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "SaveDialog.Filter")), "vmd");
}

bool TfmMain::miSaveClick() {
  const QString path = fileDialog(true, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "SaveDialog.Title")),
                                  startFolder("Data"), "D_" + QDate::currentDate().toString("dd_MM_yyyy"));
  if (path.isEmpty()) return false;
  std::string text;
  dataFileText(m_display->list(), text);
  // Written to a temporary file and renamed into place: a failed save never damages an
  // existing file.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) !=
                                              static_cast<qint64>(text.size()) ||
      !file.commit()) {
    showError(("Cannot write " + QDir::toNativeSeparators(path) + ": " + file.errorString()).toStdString());
    return false;
  }
  m_display->setUnsaved(false);
  return true;
}

bool TfmMain::confirmDiscard() {
  if (!m_display->unsaved()) return true;
  const QString text = qs(m_tr.text("msgUnsaved"));
  int answer;
  if (questionHook) {
    answer = questionHook(text);
  } else {
    QMessageBox box(QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text, QMessageBox::NoButton, this);
    auto* save = box.addButton(qs(m_tr.dialogWord("Yes")), QMessageBox::YesRole);
    auto* discard = box.addButton(qs(m_tr.dialogWord("No")), QMessageBox::NoRole);
    auto* cancel = box.addButton(qs(m_tr.dialogWord("Cancel")), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    answer = box.clickedButton() == save ? 0 : box.clickedButton() == discard ? 1 : 2;
  }
  if (answer == 0) return miSaveClick();
  return answer == 1;
}

void TfmMain::miOpenClick() {
  if (!confirmDiscard()) return;
  const QString path = fileDialog(false, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "OpenDialog.Title")),
                                  startFolder("Data"), QString());
  if (path.isEmpty()) return;
  loadDataFile(path);
}

bool TfmMain::loadDataFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    showError(("Cannot open " + QDir::toNativeSeparators(path) + ": " + file.errorString()).toStdString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  file.close();
  ReadingList list;
  MeasurementSeries series;
  Gauge->setRange(0, 1000);
  Gauge->setValue(0);
  pnGauge->show();
  pnGauge->raise();
  const auto total = static_cast<double>(std::max<qsizetype>(1, bytes.size()));
  const DataFileLoad result =
      parseDataFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), list, series,
                    [&](std::size_t done) {
                      Gauge->setValue(static_cast<int>(1000.0 * static_cast<double>(done) / total));
                      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                    });
  pnGauge->hide();
  if (!result.ok) {
    // The readings shown before stay as they were.
    showError(result.error + " (" + std::string(m_tr.text("msgLine")) + " " + std::to_string(result.errorLine) + ")");
    return false;
  }
  m_list->listModel()->beginReplace();
  m_display->list() = std::move(list);
  m_series = std::move(series);
  m_display->rules().setScrollPosition(100);
  m_list->sync();
  m_display->rules().UpdateChartAxis();
  m_display->clock().continueAfterLoad(m_series.empty() ? 0.0 : m_series.maxX());
  m_display->setUnsaved(false);  // the readings are in their file
  flushViews();
  return true;
}

void TfmMain::miToClipboardClick() {
  if (miSelectView->isChecked()) {
    m_list->copyAllToClipboard();
    message(MessageKind::Information, qs(m_tr.text("IDS_78")));
    return;
  }
  if (copyChart()) message(MessageKind::Information, qs(m_tr.text("IDS_77")));
}

bool TfmMain::copyChart() {
  struct Dress {
    ChartPanel* chart;
    explicit Dress(ChartPanel* c) : chart(c) { chart->setPrintDress(true); }
    ~Dress() { chart->setPrintDress(false); }  // put back even when the copy fails
  } dress(m_chart);
  ChartPlot* plot = m_chart->plot();
  const int w = std::max(1, plot->width() - 1);
  const int h = std::max(1, plot->height() - 1);
  QBuffer svg;
  svg.open(QIODevice::WriteOnly);
  {
    QSvgGenerator generator;
    generator.setOutputDevice(&svg);
    generator.setSize(QSize(w, h));
    generator.setViewBox(QRect(0, 0, w, h));
    generator.setTitle("Velmora chart");
    QCPPainter painter(&generator);
    plot->toPainter(&painter, w, h);
    m_chart->ChartAfterDraw(painter);
  }
  QPixmap pixmap = plot->toPixmap(w, h);
  {
    QPainter painter(&pixmap);
    m_chart->ChartAfterDraw(painter);
  }
  auto* mime = new QMimeData;
  mime->setData("image/svg+xml", svg.data());
  mime->setImageData(pixmap.toImage());
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard) {
    delete mime;
    throw std::runtime_error("Cannot open clipboard");
  }
  clipboard->setMimeData(mime);
  return true;
}

}  // namespace velmora
