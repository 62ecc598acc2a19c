// The main window with several instruments: the "Instruments" panel, the channels' series on
// the chart, their readings into the journal, Record for all of them on one recording clock,
// and the selected instrument in the readout, the list and the statistics panel. With one
// instrument none of this shows: the window is the designed one.
#include <QDockWidget>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QToolBar>

#include "app/analysis_tools.h"
#include "app/instruments_panel.h"
#include "app/link_watch.h"
#include "app/main_window.h"
#include "app/main_window_parts.h"
#include "device/hid_controller.h"
#include "device/hid_reports.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"
#include "display/readout_label.h"
#include "display/series_plottable.h"
#include "files/data_file_actions.h"
#include "files/journal_keeper.h"

namespace velmora {

namespace {
// A name as the chart's legend shows it: long ones shortened in the middle.
QString legendName(const QString& name) {
  constexpr int kLongest = 24;
  if (name.size() <= kLongest) return name;
  return name.left(kLongest / 2 - 1) + QString::fromUtf8("\u2026") + name.right(kLongest / 2 - 1);
}
}  // namespace

void TfmMain::buildChannels() {
  m_instrumentsDock = new QDockWidget(this);
  m_instrumentsDock->setObjectName("dkInstruments");
  m_instrumentsDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
  m_instruments = new InstrumentsPanel(*m_channels, m_tr, m_instrumentsDock);
  m_instrumentsDock->setWidget(m_instruments);
  addDockWidget(Qt::RightDockWidgetArea, m_instrumentsDock);
  m_instrumentsDock->hide();
  miInstruments = new QAction(this);
  miInstruments->setObjectName("miInstruments");
  miInstruments->setCheckable(true);
  miInstruments->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
  addAction(miInstruments);
  mnPopup->addAction(miInstruments);
  connect(miInstruments, &QAction::toggled, m_instrumentsDock, &QDockWidget::setVisible);
  connect(m_instrumentsDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (!visible && !m_instrumentsDock->isVisibleTo(this)) miInstruments->setChecked(false);
  });

  m_instruments->serialPorts = [] {
    std::vector<std::string> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) ports.push_back(info.portName().toStdString());
    return ports;
  };
  m_instruments->usbAdapters = [this] {
    std::vector<std::string> serials;
    for (const HidDeviceInfo& d : m_first->connection().hidController().present())
      if (deviceString(d.product, d.vendorId, d.productId) == kAdapterProduct && !d.serial.empty()) serials.push_back(d.serial);
    return serials;
  };
  m_instruments->stabilityRule = [this] {
    return std::pair<double, double>{static_cast<double>(m_analysis->panel()->windowMinutes()->value()),
                                     m_analysis->panel()->threshold()->value()};
  };
  connect(m_instruments, &InstrumentsPanel::addRequested, this, [this](const std::string& port) { addInstrument(port); });
  // Readings not saved yet are asked about before their instrument goes.
  connect(m_instruments, &InstrumentsPanel::removeRequested, this, [this](Channel* c) {
    if (m_files->confirmRemove(c->name, !c->series().empty())) m_channels->remove(c);
  });
  connect(m_instruments, &InstrumentsPanel::channelEdited, this, &TfmMain::channelLookChanged);
  connect(m_channels.get(), &ChannelSet::channelAdded, this, &TfmMain::channelAdded);
  connect(m_channels.get(), &ChannelSet::channelRemoved, this, [this](Channel* c) {
    m_chart->removeSeries(m_seriesOf.take(c));
    m_journal->channelRemoved(c->number());
    if (m_channels->size() == 2) m_chart->series1()->setName(QString());
    QTimer::singleShot(0, this, [this] {
      m_instruments->rebuild();
      showSelectedChannel();
    });
  });
  connect(m_channels.get(), &ChannelSet::selectionChanged, this, &TfmMain::showSelectedChannel);
  connect(m_first, &Channel::changed, this, [this] { m_instruments->refresh(); });

  // Files of several instruments.
  m_files->firstName = [this] { return m_first->name.toStdString(); };
  m_files->otherChannels = [this] {
    std::vector<DataFileActions::OtherChannel> others;
    for (std::size_t i = 1; i < m_channels->size(); ++i) {
      Channel& c = m_channels->at(i);
      others.push_back({c.name.toStdString(), &c.series(), &c.list()});
    }
    return others;
  };
  m_files->openedChannels = [this](const std::string& firstName, std::vector<DataFileLoader::Channel> others) {
    if (!firstName.empty()) {
      m_first->name = QString::fromStdString(firstName);
      channelLookChanged(m_first);
    }
    // The further instruments of the file: one that is there by that name takes its readings,
    // another comes as a channel without an instrument; the others' readings go.
    for (std::size_t i = 1; i < m_channels->size(); ++i) {
      m_channels->at(i).list().clear();
      m_channels->at(i).series().clear();
    }
    for (auto& o : others) {
      Channel* c = nullptr;
      for (std::size_t i = 1; i < m_channels->size(); ++i)
        if (m_channels->at(i).name.toStdString() == o.name) c = &m_channels->at(i);
      if (!c) c = addInstrument("", QString::fromStdString(o.name));
      if (!c) break;  // sixteen already
      c->list() = std::move(o.list);
      c->series() = std::move(o.series);
    }
    std::vector<JournalKeeper::Held> held;
    for (std::size_t i = 1; i < m_channels->size(); ++i)
      held.push_back({m_channels->at(i).number(), &m_channels->at(i).series(), &m_channels->at(i).list()});
    m_journal->rewrite(held);
    m_instruments->rebuild();
    showSelectedChannel();
    scheduleViews();
  };
  // A journal's further instruments come back as channels.
  m_journal->restoreChannel = [this](const JournalChannel& jc) {
    // The instrument may be back already (remembered from an earlier run): a port is held by
    // one instrument only, so the same port is the same instrument whatever its name now; an
    // instrument without a port (from a file) by its name.
    Channel* c = nullptr;
    for (std::size_t i = 1; i < m_channels->size() && !c; ++i) {
      Channel& k = m_channels->at(i);
      if (jc.port.empty() ? k.port().empty() && k.name.toStdString() == jc.name : k.port() == jc.port) c = &k;
    }
    if (!c) c = addInstrument(jc.port, QString::fromStdString(jc.name));
    if (!c) return;
    c->list().clear();
    c->series().clear();
    for (const auto& r : jc.readings) {
      c->list().append(r.line);
      c->series().add(r.x, r.y, r.resistance, r.utcMs);
    }
    m_instruments->rebuild();
  };
}

Channel* TfmMain::addInstrument(const std::string& port, const QString& name) {
  Channel* c = m_channels->add(port, name);
  if (!c || port.empty()) return c;
  c->setReconnect(m_first->protocol().reconnectEnabled(), pnTune->seReconnectLimit->value() * 60000);
  c->protocol().seFlowChange(seFlow->text().toStdString());
  if (miRecord->isChecked()) {
    c->record(true);  // it joins the recording that runs
  } else {
    c->readFactors();  // what the instrument holds
  }
  return c;
}

void TfmMain::channelAdded(Channel* c) {
  if (m_channels->size() == 2) m_chart->series1()->setName(legendName(m_first->name));  // the legend tells them apart
  SeriesPlottable* p = m_chart->addSeries(c->series(), c->colour, legendName(c->name));
  p->setGapThreshold(m_chart->series1()->gapThreshold());
  m_seriesOf.insert(c, p);
  m_journal->channelAdded(c->number(), c->port(), c->name.toStdString());
  connect(c, &Channel::readingAdded, this, &TfmMain::otherReading);
  connect(c, &Channel::changed, this, [this](Channel* ch) {
    if (ch == &m_channels->selected()) refreshReadout();
    recordingStateChanged();
  });
  m_instruments->rebuild();
  miInstruments->setChecked(true);  // several instruments: the panel shows them
  showSelectedChannel();              // the views name their instrument now
}

void TfmMain::channelLookChanged(Channel* c) {
  if (c == m_first) {
    m_chart->series1()->setPen(QPen(c->colour, 2));
    m_chart->series1()->setName(m_channels->size() > 1 ? legendName(c->name) : QString());
    m_chart->series1()->setVisible(c->shown);
    m_chart->requestRedraw();
  } else if (SeriesPlottable* p = m_seriesOf.value(c)) {
    m_chart->setSeriesLook(p, c->colour, legendName(c->name), c->shown);
  }
  if (c != m_first) m_journal->channelAdded(c->number(), c->port(), c->name.toStdString());
  emit c->changed(c);  // whoever shows or publishes the instrument's name and identity
  if (m_analysis && m_listCaption && c == &m_channels->selected()) showSelectedChannel();  // a new name in the captions
}

// A reading of a further instrument: into the journal, and the views follow.
void TfmMain::otherReading(Channel* c) {
  const MeasurementSeries& s = c->series();
  const std::size_t i = s.size() - 1;
  m_journal->recordedOn(c->number(), s.x(i), s.y(i), c->list().line(c->list().size() - 1), s.resistance(i), s.utcMs(i));
  m_display->setUnsaved(true);
  if (c == &m_channels->selected()) refreshReadout();
  scheduleViews();
}

void TfmMain::showSelectedChannel() {
  Channel& c = m_channels->selected();
  m_list->setList(c.list());
  // With several instruments the readout, the list and the statistics name the one they show.
  const bool several = m_channels->size() > 1;
  const QString caption = several ? c.name : QString();
  m_analysis->showSeries(&c == m_first ? nullptr : &c.series(), several ? c.number() : 0, caption);
  m_listCaption->setText(caption);
  m_listCaption->setVisible(several);
  lbTablo->setCaption(caption);
  refreshReadout();
}

// Record starts and stops every instrument; the first as designed, the others beside it.
void TfmMain::recordAll(bool on) {
  m_first->protocol().miRecordClick(on);
  for (std::size_t i = 1; i < m_channels->size(); ++i) {
    Channel& c = m_channels->at(i);
    if (c.port().empty()) continue;  // readings from a file, no instrument
    c.protocol().seFlowChange(seFlow->text().toStdString());
    c.setReconnect(m_first->protocol().reconnectEnabled(), pnTune->seReconnectLimit->value() * 60000);
    c.record(on);
  }
  recordingStateChanged();
}

// The recording clock runs while any instrument records; the toggle and the readout show it.
void TfmMain::recordingStateChanged() {
  const bool others = m_channels->othersRecording();
  const bool any = m_first->protocol().recording() || others;
  if (any && !m_runOpen) {
    m_display->clock().startRun();
    m_runOpen = true;
  } else if (!any && m_runOpen) {
    m_display->clock().endRun();
    m_runOpen = false;
  }
  if (m_channels->size() > 1) {
    miRecord->setChecked(any);
    m_display->readout().setVisible(any);
    m_channels->selected().readout().setVisible(any);
    m_tabloAction->setVisible(any);
    refreshReadout();
  }
}

void TfmMain::startRun() {
  if (m_runOpen) return;
  m_display->clock().startRun();
  m_runOpen = true;
}

void TfmMain::endRun() {
  if (!m_runOpen || m_channels->othersRecording()) return;
  m_display->clock().endRun();
  m_runOpen = false;
}

void TfmMain::refreshReadout() {
  Channel& c = m_channels->selected();
  lbTablo->show(&c == m_first ? m_display->readout() : c.readout());
}

// The instruments remembered from the last run (or, with "--demo N", N demo instruments).
void TfmMain::applyChannelSettings() {
  const auto stored = loadChannelSettings(m_store);
  if (!stored.empty()) {
    m_first->name = QString::fromStdString(stored[0].name);
    m_first->colour = QColor::fromRgb(stored[0].colour);
    m_first->shown = stored[0].shown;
    m_first->serial = QString::fromStdString(stored[0].serial);
    m_first->model = QString::fromStdString(stored[0].model);
    m_first->manufacturer = QString::fromStdString(stored[0].manufacturer);
    channelLookChanged(m_first);
  }
  for (std::size_t i = 1; i < stored.size(); ++i)
    if (Channel* c = addInstrument(stored[i].port, QString::fromStdString(stored[i].name))) {
      c->colour = QColor::fromRgb(stored[i].colour);
      c->shown = stored[i].shown;
      c->serial = QString::fromStdString(stored[i].serial);
      c->model = QString::fromStdString(stored[i].model);
      c->manufacturer = QString::fromStdString(stored[i].manufacturer);
      channelLookChanged(c);
    }
  if (m_channels->size() == 1)
    for (int k = 2; k <= std::min(m_options.demoCount, kMaxChannels); ++k) addInstrument("DEMO" + std::to_string(k));
  m_instruments->rebuild();
}

void TfmMain::retranslateChannels() {
  miInstruments->setText(qs(m_tr.text("miInstruments")));
  m_instrumentsDock->setWindowTitle(qs(m_tr.text("inTitle")));
  m_instruments->retranslate();
}

}  // namespace velmora
