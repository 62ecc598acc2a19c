#pragma once
// The main window's side of the lab network: every reading of every instrument goes to the
// publisher (which queues it and returns at once), with the instruments' states and factors;
// the "Lab network…" and "Lab view…" entries of the chart's menu; and a status-bar field
// "MQTT: connected" / "MQTT: not connected (why), waiting n". Off by default: then nothing is
// published and the field is hidden.
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "common/settings_backend.h"
#include "network/mqtt_publisher.h"

class QAction;

namespace velmora {

class Channel;
class LabView;
class NetworkDialog;
class AppContext;

class LabNetwork : public QObject {
  Q_OBJECT
 public:
  // `folder`: where the password file and the outboxes are kept.
  LabNetwork(AppContext& app, SettingsBackend& store, QString folder);
  ~LabNetwork() override;

  const MqttSettings& settings() const { return m_settings; }
  // Takes new settings (as the dialog's OK does): stored, the password in its own file, and
  // the publisher started again with them. Why the password could not be written, if so.
  std::optional<std::string> apply(const MqttSettings& settings);
  MqttPublisher* publisher() const { return m_publisher.get(); }
  QLabel* statusField() const { return m_field; }
  QAction* networkAction() const { return m_networkAction; }
  QAction* labViewAction() const { return m_labViewAction; }

  // The settings dialog (tests act on it before it runs); the lab view, once opened.
  std::function<void(NetworkDialog&)> dialogHook;
  void openDialog();
  LabView* openLabView();

  // The name an instrument has on the broker: its channel's name; a USB adapter's serial
  // number when the channel kept its first name.
  static std::string instrumentName(const Channel& c);

 private:
  void start();
  void attach(Channel* c);
  void channelChanged(Channel* c);
  void refreshField();
  void retranslate();

  AppContext& m_app;
  SettingsBackend& m_store;
  QString m_folder;
  MqttSettings m_settings;
  std::unique_ptr<MqttPublisher> m_publisher;
  QLabel* m_field;
  QAction* m_networkAction;
  QAction* m_labViewAction;
  QTimer m_refresh;
  QPointer<LabView> m_view;
};

}  // namespace velmora
