#include "app/ini_settings_backend.h"

#include <QDir>
#include <QStandardPaths>

namespace velmora {

QString IniSettingsBackend::defaultPath() {
  const QByteArray env = qgetenv("VELMORA_SETTINGS");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/KORVAN/Velmora.ini";
}

IniSettingsBackend::IniSettingsBackend(const QString& path)
    : m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

// "Software\KORVAN\Programs\Velmora\PortSettings" → "Velmora/PortSettings".
QString IniSettingsBackend::group(std::string_view key) {
  constexpr std::string_view prefix = "Software\\KORVAN\\Programs\\";
  if (key.substr(0, prefix.size()) == prefix) key.remove_prefix(prefix.size());
  QString g = QString::fromUtf8(key.data(), static_cast<int>(key.size()));
  g.replace('\\', '/');
  return g;
}

bool IniSettingsBackend::keyExists(std::string_view key) const {
  const QString g = group(key);
  const int slash = g.lastIndexOf('/');
  if (slash >= 0) m_settings->beginGroup(g.left(slash));
  const bool exists = m_settings->childGroups().contains(g.mid(slash + 1));
  if (slash >= 0) m_settings->endGroup();
  return exists;
}

std::optional<SettingValue> IniSettingsBackend::read(std::string_view key, std::string_view name) const {
  const QVariant v = m_settings->value(group(key) + "/" + QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  if (!v.isValid()) return std::nullopt;
  switch (v.typeId()) {
    case QMetaType::QByteArray: {
      const QByteArray b = v.toByteArray();
      return SettingValue{std::vector<std::uint8_t>(b.begin(), b.end())};
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
      const qlonglong n = v.toLongLong();
      if (n < 0 || n > 0xFFFFFFFFll) return SettingValue{std::string(v.toString().toStdString())};
      return SettingValue{static_cast<std::uint32_t>(n)};
    }
    case QMetaType::QString:
      return SettingValue{v.toString().toStdString()};
    default:
      return SettingValue{std::vector<std::uint8_t>{}};  // a type no key uses: never taken
  }
}

bool IniSettingsBackend::write(std::string_view key, std::string_view name, const SettingValue& value) {
  const QString path = group(key) + "/" + QString::fromUtf8(name.data(), static_cast<int>(name.size()));
  if (auto* d = std::get_if<std::uint32_t>(&value))
    m_settings->setValue(path, static_cast<qulonglong>(*d));
  else if (auto* b = std::get_if<std::vector<std::uint8_t>>(&value))
    m_settings->setValue(path, QByteArray(reinterpret_cast<const char*>(b->data()), static_cast<int>(b->size())));
  else
    m_settings->setValue(path, QString::fromStdString(std::get<std::string>(value)));
  return m_settings->isWritable();
}

void IniSettingsBackend::sync() { m_settings->sync(); }

}  // namespace velmora
