#pragma once
// The settings store outside Windows: an INI file (QSettings, IniFormat) with the registry's
// key names; DWORDs as numbers, doubles as their 8 little-endian bytes, texts as texts.

#include <QSettings>
#include <memory>

#include "common/settings_backend.h"

namespace velmora {

class IniSettingsBackend : public SettingsBackend {
 public:
  // The default location is Velmora.ini in the user's configuration folder, below "KORVAN";
  // the environment variable VELMORA_SETTINGS names another file.
  static QString defaultPath();
  explicit IniSettingsBackend(const QString& path = defaultPath());

  bool keyExists(std::string_view key) const override;
  std::optional<SettingValue> read(std::string_view key, std::string_view name) const override;
  bool write(std::string_view key, std::string_view name, const SettingValue& value) override;
  void sync();

 private:
  static QString group(std::string_view key);
  std::unique_ptr<QSettings> m_settings;
};


}  // namespace velmora
