#include "network_ui/network_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "network/network_settings.h"
#include "ui_common/help_window.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

namespace {
QString text(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

NetworkDialog::NetworkDialog(const MqttSettings& s, const Translator& tr, QWidget* parent)
    : QDialog(parent), m_tr(tr), m_backlogPerSecond(s.backlogPerSecond) {
  setObjectName("dlgNetwork");
  addHelpKey(this, tr, "lab-network");
  setWindowTitle(qs(tr.text("nwTitle")));
  auto* layout = new QVBoxLayout(this);
  m_publish = new QCheckBox(qs(tr.text("nwPublish")), this);
  m_publish->setObjectName("cbPublish");
  m_publish->setChecked(s.enabled);
  layout->addWidget(m_publish);
  auto* form = new QFormLayout;
  auto line = [&](const char* label, const char* name, const std::string& value) {
    auto* edit = new QLineEdit(text(value), this);
    edit->setObjectName(name);
    form->addRow(qs(tr.text(label)), edit);
    return edit;
  };
  m_url = line("nwUrl", "edUrl", s.url);
  m_url->setPlaceholderText(qs(tr.text("nwUrlHint")));
  m_url->setMinimumWidth(320);
  m_station = line("nwStation", "edStation", s.station);
  m_user = line("nwUser", "edUser", s.user);
  m_password = line("nwPassword", "edPassword", s.password);
  m_password->setEchoMode(QLineEdit::Password);
  auto* tls = new QLabel(qs(tr.text("nwTls")), this);
  tls->setObjectName("lbTls");
  form->addRow(tls);
  m_ca = fileRow(form, "nwCa", "edCaFile", s.caFile);
  m_cert = fileRow(form, "nwCert", "edCertFile", s.certFile);
  m_key = fileRow(form, "nwKey", "edKeyFile", s.keyFile);
  layout->addLayout(form);
  m_problem = new QLabel(this);
  m_problem->setObjectName("lbProblem");
  m_problem->setStyleSheet("QLabel { color: #b00000; }");
  m_problem->setWordWrap(true);
  layout->addWidget(m_problem);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &NetworkDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &NetworkDialog::reject);
  layout->addWidget(buttons);
  assignMnemonics(this);
}

QLineEdit* NetworkDialog::fileRow(QFormLayout* form, const char* label, const char* name, const std::string& value) {
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit(text(value), this);
  edit->setObjectName(name);
  auto* browse = new QPushButton(qs(m_tr.text("nwBrowse")), this);
  browse->setObjectName(QString(name) + "Browse");
  connect(browse, &QPushButton::clicked, this, [this, edit] {
    const QString chosen = fileDialogHook ? fileDialogHook(edit->text())
                                          : QFileDialog::getOpenFileName(this, QString(), edit->text());
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  row->addWidget(edit, 1);
  row->addWidget(browse);
  form->addRow(qs(m_tr.text(label)), row);
  return edit;
}

MqttSettings NetworkDialog::settings() const {
  MqttSettings s;
  s.enabled = m_publish->isChecked();
  s.url = m_url->text().trimmed().toStdString();
  s.station = m_station->text().trimmed().toStdString();
  s.user = m_user->text().toStdString();
  s.password = m_password->text().toStdString();
  s.caFile = m_ca->text().trimmed().toStdString();
  s.certFile = m_cert->text().trimmed().toStdString();
  s.keyFile = m_key->text().trimmed().toStdString();
  s.backlogPerSecond = m_backlogPerSecond;
  return s;
}

void NetworkDialog::accept() {
  const MqttSettings s = settings();
  // Turned off, what was typed is kept as it is; on, it must be usable.
  const NetworkProblem p = s.enabled ? checkNetworkSettings(s) : NetworkProblem{};
  using Kind = NetworkProblem::Kind;
  QString why;
  QLineEdit* field = nullptr;
  switch (p.kind) {
    case Kind::None: break;
    case Kind::NoAddress: why = qs(m_tr.text("nwNoAddress")), field = m_url; break;
    case Kind::BadScheme: why = qs(m_tr.text("nwBadScheme")), field = m_url; break;
    case Kind::BadHostOrPort: why = qs(m_tr.text("nwBadHostOrPort")), field = m_url; break;
    case Kind::NoStation: why = qs(m_tr.text("nwNoStation")), field = m_station; break;
    case Kind::Unreadable:
      why = qs(m_tr.text("nwUnreadable")).arg(text(p.file), text(p.cause));
      field = p.file == s.caFile ? m_ca : p.file == s.certFile ? m_cert : m_key;
      break;
    case Kind::CertificateWithoutKey: why = qs(m_tr.text("nwCertKey")), field = s.keyFile.empty() ? m_key : m_cert; break;
  }
  if (field) {
    m_problem->setText(why);
    field->setFocus();
    field->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace velmora
