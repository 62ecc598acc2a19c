#pragma once
// The "Lab network" settings: publishing on or off, the broker's address, the station's name,
// the user and password, the TLS files. OK checks what it can (an address, readable files)
// and says what is wrong beside the fields; the dialog stays open until it is right or the
// user cancels.
#include <QCheckBox>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <functional>

#include "network/mqtt_publisher.h"
#include "ui_common/translations.h"

namespace velmora {

class NetworkDialog : public QDialog {
  Q_OBJECT
 public:
  NetworkDialog(const MqttSettings& settings, const Translator& tr, QWidget* parent = nullptr);

  MqttSettings settings() const;
  // The file chosen with Browse (tests answer without the file dialog); empty: Cancel.
  std::function<QString(const QString& current)> fileDialogHook;

  void accept() override;

 private:
  QLineEdit* fileRow(QFormLayout* form, const char* label, const char* name, const std::string& value);
  const Translator& m_tr;
  QCheckBox* m_publish;
  QLineEdit *m_url, *m_station, *m_user, *m_password, *m_ca, *m_cert, *m_key;
  QLabel* m_problem;
  int m_backlogPerSecond;
};

}  // namespace velmora
