#pragma once
// The settings store behind one interface: the registry on Windows, an INI file elsewhere,
// with the same keys and value types (DWORDs, 8-byte binary doubles, texts).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmora {

// A stored value: a DWORD, binary bytes, or text.
using SettingValue = std::variant<std::uint32_t, std::vector<std::uint8_t>, std::string>;

class SettingsBackend {
 public:
  virtual ~SettingsBackend() = default;
  virtual bool keyExists(std::string_view key) const = 0;
  // The stored value, or nothing when the value is missing.
  virtual std::optional<SettingValue> read(std::string_view key, std::string_view name) const = 0;
  // Creates the key when needed. Returns false when the store cannot be written.
  virtual bool write(std::string_view key, std::string_view name, const SettingValue& value) = 0;
};

// Typed reads: nothing when the value is missing or of another type. An INI file stores
// every DWORD as text, so a decimal text is taken for a DWORD there.
std::optional<std::uint32_t> readDword(const SettingsBackend& store, std::string_view key, std::string_view name);
std::optional<double> readDouble(const SettingsBackend& store, std::string_view key, std::string_view name);
std::optional<std::string> readText(const SettingsBackend& store, std::string_view key, std::string_view name);
void writeDword(SettingsBackend& store, std::string_view key, std::string_view name, std::uint32_t value);
void writeDouble(SettingsBackend& store, std::string_view key, std::string_view name, double value);
void writeText(SettingsBackend& store, std::string_view key, std::string_view name, std::string_view value);

// An in-memory store for tests and for a program run without a writable store.
class MemorySettingsBackend : public SettingsBackend {
 public:
  bool keyExists(std::string_view key) const override;
  std::optional<SettingValue> read(std::string_view key, std::string_view name) const override;
  bool write(std::string_view key, std::string_view name, const SettingValue& value) override;
  void createKey(std::string_view key);

 private:
  struct Entry {
    std::string key;
    std::string name;
    SettingValue value;
  };
  std::vector<std::string> m_keys;
  std::vector<Entry> m_values;
};

}  // namespace velmora
