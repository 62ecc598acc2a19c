// The settings store on Windows: HKEY_CURRENT_USER through the registry API. Integers and
// booleans are REG_DWORD, the axis values 8-byte REG_BINARY, the port settings REG_SZ.
#include <windows.h>

#include "platform/registry_settings_backend.h"

#include <cstring>
#include <vector>

namespace velmora {

namespace {
std::wstring wide(std::string_view s) {
  std::wstring w;
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  w.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}
std::string narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}
}  // namespace

bool RegistrySettingsBackend::keyExists(std::string_view key) const {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(full(key)).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

std::optional<SettingValue> RegistrySettingsBackend::read(std::string_view key, std::string_view name) const {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(full(key)).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  const std::wstring n = wide(name);
  std::optional<SettingValue> result;
  if (RegQueryValueExW(h, n.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size <= 65536) {
    std::vector<std::uint8_t> data(size);
    if (RegQueryValueExW(h, n.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      if (type == REG_DWORD && size == 4) {
        DWORD d;
        std::memcpy(&d, data.data(), 4);
        result = SettingValue{static_cast<std::uint32_t>(d)};
      } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring w(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!w.empty() && w.back() == L'\0') w.pop_back();
        result = SettingValue{narrow(w)};
      } else {
        data.resize(size);
        result = SettingValue{std::move(data)};
      }
    }
  }
  RegCloseKey(h);
  return result;
}

bool RegistrySettingsBackend::write(std::string_view key, std::string_view name, const SettingValue& value) {
  HKEY h;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(full(key)).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const std::wstring n = wide(name);
  LONG rc;
  if (auto* d = std::get_if<std::uint32_t>(&value)) {
    const DWORD v = *d;
    rc = RegSetValueExW(h, n.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  } else if (auto* b = std::get_if<std::vector<std::uint8_t>>(&value)) {
    rc = RegSetValueExW(h, n.c_str(), 0, REG_BINARY, b->data(), static_cast<DWORD>(b->size()));
  } else {
    const std::wstring w = wide(std::get<std::string>(value));
    rc = RegSetValueExW(h, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                        static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

bool RegistrySettingsBackend::removeTree(std::string_view key) {
  return RegDeleteTreeW(HKEY_CURRENT_USER, wide(full(key)).c_str()) == ERROR_SUCCESS;
}

}  // namespace velmora
