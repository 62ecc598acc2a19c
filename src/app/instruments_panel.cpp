#include "app/instruments_panel.h"

#include <utility>

#include <QColorDialog>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QSerialPort>
#include <QVBoxLayout>

#include "channel/channel_set.h"
#include "common/number_text.h"
#include "display/stability.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

namespace {
enum Column { kColour, kName, kPort, kState, kLast, kAge, kStability, kSerial, kModel, kMaker, kColumns };
}

InstrumentsPanel::InstrumentsPanel(ChannelSet& channels, const Translator& tr, QWidget* parent)
    : QWidget(parent), m_channels(channels), m_tr(tr) {
  setObjectName("pnInstruments");
  auto* layout = new QVBoxLayout(this);
  m_table = new QTableWidget(0, kColumns, this);
  m_table->setObjectName("tbInstruments");
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setTabKeyNavigation(false);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->horizontalHeader()->setStretchLastSection(true);
  // A long name is elided in its cell (the whole name in its tip and when edited).
  m_table->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Interactive);
  m_table->setColumnWidth(kName, 150);
  m_table->setTextElideMode(Qt::ElideMiddle);
  m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  setMinimumWidth(440);
  auto* buttons = new QHBoxLayout;
  m_add = new QPushButton(this);
  m_add->setObjectName("btAddInstrument");
  m_addMenu = new QMenu(m_add);
  m_addMenu->setObjectName("mnAddInstrument");
  m_add->setMenu(m_addMenu);
  connect(m_addMenu, &QMenu::aboutToShow, this, &InstrumentsPanel::buildAddMenu);
  m_remove = new QPushButton(this);
  m_remove->setObjectName("btRemoveInstrument");
  buttons->addWidget(m_add);
  buttons->addWidget(m_remove);
  buttons->addStretch(1);
  layout->addWidget(m_table);
  layout->addLayout(buttons);
  connect(m_remove, &QPushButton::clicked, this, [this] {
    const std::size_t i = m_channels.selectedIndex();
    if (i > 0 && i < m_channels.size()) emit removeRequested(&m_channels.at(i));
  });
  connect(m_table, &QTableWidget::cellClicked, this, &InstrumentsPanel::cellClicked);
  connect(m_table, &QTableWidget::cellChanged, this, &InstrumentsPanel::cellChanged);
  connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] {
    const auto rows = m_table->selectionModel()->selectedRows();
    if (!rows.isEmpty()) m_channels.select(static_cast<std::size_t>(rows.first().row()));
    m_remove->setEnabled(m_channels.selectedIndex() > 0);
  });
  // The ages of the last readings move on their own.
  m_ages.setInterval(1000);
  connect(&m_ages, &QTimer::timeout, this, &InstrumentsPanel::refresh);
  m_ages.start();
  retranslate();
  rebuild();
}

void InstrumentsPanel::retranslate() {
  QStringList headers;
  for (const char* id : {"inColour", "inName", "inPort", "inState", "inLast", "inAge", "inStability", "inSerial", "inModel", "inMaker"})
    headers << qs(m_tr.text(id));
  m_table->setHorizontalHeaderLabels(headers);
  m_add->setText(qs(m_tr.text("inAdd")));
  m_remove->setText(qs(m_tr.text("inRemove")));
  // Alt-keys beside the main window's own (File, Port, the chart's menu, the language).
  assignMnemonics(this, QString::fromUtf8("fpglфпгя"));
  refresh();
}

void InstrumentsPanel::rebuild() {
  m_filling = true;
  m_table->setRowCount(static_cast<int>(m_channels.size()));
  for (int r = 0; r < m_table->rowCount(); ++r)
    for (int c = 0; c < kColumns; ++c) {
      if (!m_table->item(r, c)) m_table->setItem(r, c, new QTableWidgetItem);
      QTableWidgetItem* item = m_table->item(r, c);
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (c == kName || c == kSerial || c == kModel || c == kMaker) flags |= Qt::ItemIsEditable;
      if (c == kColour) flags |= Qt::ItemIsUserCheckable;
      item->setFlags(flags);
    }
  m_filling = false;
  refresh();
  const int selected = static_cast<int>(m_channels.selectedIndex());
  if (selected < m_table->rowCount()) m_table->selectRow(selected);
  m_remove->setEnabled(m_channels.selectedIndex() > 0);
}

void InstrumentsPanel::refresh() {
  if (m_table->rowCount() != static_cast<int>(m_channels.size())) return rebuild();
  m_filling = true;
  const auto rule = stabilityRule ? stabilityRule() : std::pair<double, double>{10.0, 0.01};
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  for (int r = 0; r < m_table->rowCount(); ++r) {
    Channel& c = m_channels.at(static_cast<std::size_t>(r));
    QTableWidgetItem* colour = m_table->item(r, kColour);
    colour->setBackground(c.colour);
    colour->setCheckState(c.shown ? Qt::Checked : Qt::Unchecked);
    colour->setToolTip(qs(m_tr.text("inColourTip")));
    const auto put = [&](int column, const QString& text) {
      if (m_table->item(r, column)->text() != text) m_table->item(r, column)->setText(text);
    };
    put(kName, c.name);
    m_table->item(r, kName)->setToolTip(c.name);  // a long name is elided in its cell
    put(kSerial, c.serial);
    put(kModel, c.model);
    put(kMaker, c.manufacturer);
    m_table->item(r, kPort)->setText(c.portCaption().isEmpty() ? QString::fromUtf8("\u2014") : c.portCaption());
    static const char* const kStates[] = {"inIdle", "inRecording", "inReconnecting", "inGarbage", "inFailed"};
    QString state = qs(m_tr.text(kStates[static_cast<int>(c.link())]));
    if (c.link() == Channel::Link::Failed && !c.linkText().isEmpty()) state += ": " + c.linkText();
    m_table->item(r, kState)->setText(state);
    m_table->item(r, kState)->setForeground(c.link() == Channel::Link::Failed || c.link() == Channel::Link::NoValidReadings
                                                ? QColor(176, 0, 0)
                                                : palette().color(QPalette::Text));
    const MeasurementSeries& s = c.series();
    const bool any = !s.empty();
    m_table->item(r, kLast)->setText(any ? qs(formatFixed(s.y(s.size() - 1), 7, 3)) + QString::fromUtf8(" \u00B0C") : QString());
    const std::int64_t last = c.lastUtcMs();
    m_table->item(r, kAge)->setText(last == kNoTime ? QString() : qs(m_tr.text("lvSeconds")).arg(std::max<qint64>(0, now - last) / 1000));
    // Old readings while recording: the age in red.
    const bool stale = c.recording() && last != kNoTime && now - last > 3 * c.protocol().pollIntervalMs();
    m_table->item(r, kAge)->setForeground(stale ? QColor(176, 0, 0) : palette().color(QPalette::Text));
    const Stability st = assessStability(s, rule.first, rule.second);
    m_table->item(r, kStability)->setText(st.state == Stability::State::Stable     ? qs(m_tr.text("inStable"))
                                          : st.state == Stability::State::Unstable ? qs(m_tr.text("inUnstable"))
                                                                                   : QString::fromUtf8("\u2014"));
  }
  m_filling = false;
}

void InstrumentsPanel::cellClicked(int row, int column) {
  if (column != kColour || row < 0 || row >= static_cast<int>(m_channels.size())) return;
  // A click on the "drawn" tick toggled it; it is no request for a colour.
  if (std::exchange(m_tickToggled, false)) return;
  Channel& c = m_channels.at(static_cast<std::size_t>(row));
  const QColor chosen = colourDialogHook ? colourDialogHook(c.colour)
                                         : QColorDialog::getColor(c.colour, dialogParent(this), c.name);
  if (!chosen.isValid() || chosen == c.colour) return;
  c.colour = chosen;
  emit channelEdited(&c);
  refresh();
}

void InstrumentsPanel::cellChanged(int row, int column) {
  if (m_filling || row < 0 || row >= static_cast<int>(m_channels.size())) return;
  Channel& c = m_channels.at(static_cast<std::size_t>(row));
  if (column == kName) {
    const QString name = m_table->item(row, column)->text().trimmed().left(64);
    if (name.isEmpty() || name == c.name) {
      refresh();
      return;
    }
    c.name = name;
    emit channelEdited(&c);
  } else if (column == kSerial || column == kModel || column == kMaker) {
    QString& field = column == kSerial ? c.serial : column == kModel ? c.model : c.manufacturer;
    const QString text = m_table->item(row, column)->text().trimmed().left(128);
    if (text == field) return;
    field = text;
    emit channelEdited(&c);
  } else if (column == kColour) {
    const bool shown = m_table->item(row, column)->checkState() == Qt::Checked;
    if (shown == c.shown) return;
    c.shown = shown;
    m_tickToggled = true;  // the click that comes with it does not ask for a colour
    QTimer::singleShot(0, this, [this] { m_tickToggled = false; });
    emit channelEdited(&c);
  }
}

void InstrumentsPanel::buildAddMenu() {
  m_addMenu->clear();
  std::vector<std::string> used;
  for (std::size_t i = 0; i < m_channels.size(); ++i) used.push_back(m_channels.at(i).port());
  const auto free = [&](const std::string& p) { return std::find(used.begin(), used.end(), p) == used.end(); };
  if (serialPorts)
    for (const std::string& p : serialPorts())
      if (free(p)) m_addMenu->addAction(QString::fromStdString(p), this, [this, p] { emit addRequested(p); });
  if (usbAdapters)
    for (const std::string& serial : usbAdapters())
      if (free("USB:" + serial))
        m_addMenu->addAction(QString::fromUtf8("USB \u2116") + QString::fromStdString(serial), this,
                             [this, serial] { emit addRequested("USB:" + serial); });
  const std::string demo = m_channels.nextDemoPort();
  if (free(demo))
    m_addMenu->addAction(QString::fromStdString(demo) + " (" + qs(m_tr.text("inDemo")) + ")", this,
                         [this, demo] { emit addRequested(demo); });
  // Ports the system does not list (pseudo-terminals, virtual and Bluetooth ports) by path.
  m_addMenu->addSeparator();
  m_addMenu->addAction(qs(m_tr.text("inPortByPath")), this, &InstrumentsPanel::addPortByPath);
  m_addMenu->setEnabled(m_channels.size() < static_cast<std::size_t>(kMaxChannels));
}

void InstrumentsPanel::addPortByPath() {
  std::optional<QString> typed;
  if (portPathHook) {
    typed = portPathHook();
  } else {
    QInputDialog d(dialogParent(this));
    keepAboveParent(d);
    d.setWindowTitle(qs(m_tr.text("inPortByPathTitle")));
    d.setLabelText(qs(m_tr.text("inPortByPathPrompt")));
    if (d.exec() == QDialog::Accepted) typed = d.textValue();
  }
  if (!typed || typed->trimmed().isEmpty()) return;
  const QString path = typed->trimmed();
  const auto tell = [this](const QString& text) {
    if (messageHook)
      messageHook(MessageKind::Error, text);
    else
      showMessage(this, m_tr, MessageKind::Error, text);
  };
  bool used = false;
  for (std::size_t i = 0; i < m_channels.size(); ++i) used = used || m_channels.at(i).port() == path.toStdString();
  if (used) {
    tell(qs(m_tr.text("inPortInUse")).arg(path));
    return;
  }
  // Only a port that opens is added.
  QSerialPort port(path);
  if (!port.open(QIODevice::ReadWrite)) {
    tell(qs(m_tr.text("msgPortNotOpened")).arg(path, port.errorString()));
    return;
  }
  port.close();
  emit addRequested(path.toStdString());
}

}  // namespace velmora
