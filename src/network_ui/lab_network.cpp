#include "network_ui/lab_network.h"

#include <QCoreApplication>

#include <QAction>
#include <QDir>
#include <QSysInfo>
#include <QMenu>
#include <QStatusBar>

#include "channel/app_context.h"
#include "channel/channel.h"
#include "channel/channel_set.h"
#include "channel/channel_settings.h"
#include "network/network_settings.h"
#include "network_ui/lab_view.h"
#include "network_ui/network_dialog.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

namespace {
const char* stateWord(Channel::Link link) {
  static const char* const kStates[] = {"idle", "recording", "reconnecting", "no valid readings", "failed"};
  return kStates[static_cast<int>(link)];
}
}  // namespace

LabNetwork::LabNetwork(AppContext& app, SettingsBackend& store, QString folder)
    : QObject(&app), m_app(app), m_store(store), m_folder(std::move(folder)) {
  m_settings = loadNetworkSettings(store, QSysInfo::machineHostName().toStdString());
  m_settings.password = loadNetworkPassword(QDir(m_folder).filePath("network-password").toStdString());

  m_field = new QLabel(app.statusBar());
  m_field->setObjectName("StatusNetwork");
  app.statusBar()->addPermanentWidget(m_field);
  m_networkAction = new QAction(this);
  m_networkAction->setObjectName("miNetwork");
  m_labViewAction = new QAction(this);
  m_labViewAction->setObjectName("miLabView");
  app.menu()->addSeparator();
  app.menu()->addAction(m_networkAction);
  app.menu()->addAction(m_labViewAction);
  connect(m_networkAction, &QAction::triggered, this, &LabNetwork::openDialog);
  connect(m_labViewAction, &QAction::triggered, this, [this] { openLabView(); });
  connect(&app, &AppContext::languageChanged, this, &LabNetwork::retranslate);

  for (std::size_t i = 0; i < app.channels().size(); ++i) attach(&app.channels().at(i));
  connect(&app.channels(), &ChannelSet::channelAdded, this, &LabNetwork::attach);
  connect(&m_refresh, &QTimer::timeout, this, &LabNetwork::refreshField);
  m_refresh.start(500);
  retranslate();
  start();
}

LabNetwork::~LabNetwork() = default;

std::string LabNetwork::instrumentName(const Channel& c) {
  const std::string port = c.port();
  if (port.rfind("USB:", 0) == 0 && c.name.toStdString() == defaultChannelName(c.number())) return port.substr(4);
  return c.name.isEmpty() ? defaultChannelName(c.number()) : c.name.toStdString();
}

void LabNetwork::attach(Channel* c) {
  connect(c, &Channel::readingAdded, this, [this](Channel* ch) {
    if (!m_publisher) return;
    const MeasurementSeries& s = ch->series();
    if (s.empty()) return;
    const std::size_t i = s.size() - 1;
    m_publisher->publish(instrumentName(*ch), s.utcMs(i), s.x(i) * 1440.0, s.resistance(i), s.y(i));
  });
  connect(c, &Channel::changed, this, &LabNetwork::channelChanged);
  channelChanged(c);
}

void LabNetwork::channelChanged(Channel* c) {
  if (!m_publisher) return;
  const std::string name = instrumentName(*c);
  const QString error = c->link() == Channel::Link::Failed || c->link() == Channel::Link::NoValidReadings ? c->linkText() : QString();
  m_publisher->setStatus(name, stateWord(c->link()), error.toStdString(),
                         {c->serial.toStdString(), c->model.toStdString(), c->manufacturer.toStdString()});
  if (const auto& f = c->factors()) m_publisher->setFactors(name, f->R0, f->A, f->B, f->C);
}

void LabNetwork::start() {
  m_publisher.reset();
  if (m_settings.enabled && checkNetworkSettings(m_settings).kind == NetworkProblem::Kind::None) {
    const QString outbox = QDir(m_folder).filePath("outbox/" + QString::fromStdString(outboxName(m_settings)));
    MqttSettings settings = m_settings;
    settings.owner = "velmora (process " + std::to_string(QCoreApplication::applicationPid()) + ")";
    m_publisher = std::make_unique<MqttPublisher>(settings, outbox.toStdString());
    for (std::size_t i = 0; i < m_app.channels().size(); ++i) channelChanged(&m_app.channels().at(i));
  }
  refreshField();
}

std::optional<std::string> LabNetwork::apply(const MqttSettings& settings) {
  QDir().mkpath(m_folder);
  auto cause = saveNetworkPassword(QDir(m_folder).filePath("network-password").toStdString(), settings.password);
  m_settings = settings;
  saveNetworkSettings(m_store, m_settings);
  start();
  return cause;
}

void LabNetwork::openDialog() {
  NetworkDialog dialog(m_settings, m_app.translator(), dialogParent(m_app.window()));
  if (dialogHook) {
    dialogHook(dialog);
  } else if (dialog.exec() != QDialog::Accepted) {
    return;
  }
  if (dialog.result() != QDialog::Accepted) return;
  if (const auto cause = apply(dialog.settings()))
    m_app.message(MessageKind::Error, qs(m_app.translator().text("nwPasswordNotSaved")).arg(QString::fromStdString(*cause)));
}

LabView* LabNetwork::openLabView() {
  if (m_settings.url.empty()) {
    m_app.message(MessageKind::Warning, qs(m_app.translator().text("lvNoUrl")));
    return nullptr;
  }
  if (!m_view) {
    m_view = new LabView(m_settings, m_app.translator(), nullptr);
    m_view->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_app.window(), &QObject::destroyed, m_view.data(), &QWidget::close);
    connect(&m_app, &AppContext::languageChanged, m_view.data(), &LabView::retranslate);
  }
  m_view->show();
  m_view->raise();
  m_view->activateWindow();
  return m_view;
}

void LabNetwork::refreshField() {
  const Translator& tr = m_app.translator();
  if (!m_publisher) {
    // Off: no field. On with settings that cannot be used (a TLS file gone): not connected.
    m_field->setVisible(m_settings.enabled);
    m_field->setText(qs(tr.text(m_settings.enabled ? "nwNotConnected" : "nwOff")));
    m_field->setStyleSheet(m_settings.enabled ? QString("QLabel { color: #b00000; }") : QString());
    const NetworkProblem p = checkNetworkSettings(m_settings);
    m_field->setToolTip(p.kind == NetworkProblem::Kind::Unreadable ? QString::fromStdString(p.file + ": " + p.cause) : QString());
    return;
  }
  const MqttPublisher::State st = m_publisher->state();
  QString text = st.connected ? qs(tr.text("nwConnected"))
                 : st.error.empty() ? qs(tr.text("nwConnecting"))
                                    : qs(tr.text("nwNotConnected"));
  if (st.waiting > 0) text += ", " + qs(tr.text("nwWaiting")).arg(st.waiting);
  if (st.dropped > 0) text += ", " + qs(tr.text("nwDropped")).arg(st.dropped);
  m_field->setText(text);
  m_field->setToolTip(QString::fromStdString(m_settings.url + (st.error.empty() ? std::string() : "\n" + st.error)));
  m_field->setStyleSheet(st.connected ? QString() : QString("QLabel { color: #b00000; }"));
  m_field->setVisible(true);
}

void LabNetwork::retranslate() {
  const Translator& tr = m_app.translator();
  m_networkAction->setText(qs(tr.text("miNetwork")));
  m_labViewAction->setText(qs(tr.text("miLabView")));
  refreshField();
}

}  // namespace velmora
