#pragma once
// The settings store on Windows: HKEY_CURRENT_USER through the Win32 registry API. Integers
// and booleans are REG_DWORD, the axis values 8-byte REG_BINARY, texts REG_SZ (UTF-16 in the
// registry, UTF-8 here). No Qt.

#include <string>

#include "common/settings_backend.h"

namespace velmora {

class RegistrySettingsBackend : public SettingsBackend {
 public:
  // `prefix` goes in front of every key (tests keep their keys apart from the user's).
  explicit RegistrySettingsBackend(std::string prefix = {}) : m_prefix(std::move(prefix)) {}
  bool keyExists(std::string_view key) const override;
  std::optional<SettingValue> read(std::string_view key, std::string_view name) const override;
  bool write(std::string_view key, std::string_view name, const SettingValue& value) override;
  // Removes a key with everything below it (tests).
  bool removeTree(std::string_view key);

 private:
  std::string full(std::string_view key) const { return m_prefix + std::string(key); }
  std::string m_prefix;
};

}  // namespace velmora
