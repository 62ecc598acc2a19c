#include "common/settings_backend.h"

#include <algorithm>
#include <cstring>

#include "common/number_text.h"

namespace velmora {

std::optional<std::uint32_t> readDword(const SettingsBackend& store, std::string_view key, std::string_view name) {
  auto v = store.read(key, name);
  if (!v) return std::nullopt;
  if (auto* d = std::get_if<std::uint32_t>(&*v)) return *d;
  if (auto* s = std::get_if<std::string>(&*v)) {
    auto t = trimBlanks(*s);
    if (t.empty() || t.size() > 10) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : t) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (n > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(n);
  }
  return std::nullopt;
}

std::optional<double> readDouble(const SettingsBackend& store, std::string_view key, std::string_view name) {
  auto v = store.read(key, name);
  if (!v) return std::nullopt;
  auto* bytes = std::get_if<std::vector<std::uint8_t>>(&*v);
  if (!bytes || bytes->size() != 8) return std::nullopt;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | (*bytes)[static_cast<size_t>(i)];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::optional<std::string> readText(const SettingsBackend& store, std::string_view key, std::string_view name) {
  auto v = store.read(key, name);
  if (!v) return std::nullopt;
  if (auto* s = std::get_if<std::string>(&*v)) return *s;
  return std::nullopt;
}

void writeDword(SettingsBackend& store, std::string_view key, std::string_view name, std::uint32_t value) {
  store.write(key, name, SettingValue{value});
}

void writeDouble(SettingsBackend& store, std::string_view key, std::string_view name, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  std::vector<std::uint8_t> bytes(8);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  store.write(key, name, SettingValue{std::move(bytes)});
}

void writeText(SettingsBackend& store, std::string_view key, std::string_view name, std::string_view value) {
  store.write(key, name, SettingValue{std::string(value)});
}

bool MemorySettingsBackend::keyExists(std::string_view key) const {
  return std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end();
}

std::optional<SettingValue> MemorySettingsBackend::read(std::string_view key, std::string_view name) const {
  for (const auto& e : m_values)
    if (e.key == key && e.name == name) return e.value;
  return std::nullopt;
}

bool MemorySettingsBackend::write(std::string_view key, std::string_view name, const SettingValue& value) {
  createKey(key);
  for (auto& e : m_values)
    if (e.key == key && e.name == name) {
      e.value = value;
      return true;
    }
  m_values.push_back({std::string(key), std::string(name), value});
  return true;
}

void MemorySettingsBackend::createKey(std::string_view key) {
  if (!keyExists(key)) m_keys.emplace_back(key);
}

}  // namespace velmora
