#include "channel/channel_settings.h"

#include <algorithm>

namespace velmora {

std::uint32_t defaultChannelColour(int number) {
  static constexpr std::uint32_t kPalette[kMaxChannels] = {
      0x0080C0, 0xD62728, 0x2CA02C, 0xFF7F0E, 0x9467BD, 0x8C564B, 0xE377C2, 0x7F7F7F,
      0xBCBD22, 0x17BECF, 0x1F3A93, 0xAD494A, 0x637939, 0xE7BA52, 0x7B4173, 0x3182BD};
  return kPalette[static_cast<std::size_t>(std::clamp(number, 1, kMaxChannels) - 1)];
}

std::string defaultChannelName(int number) { return "T" + std::to_string(number); }

std::vector<ChannelSetting> loadChannelSettings(const SettingsBackend& store) {
  std::vector<ChannelSetting> channels;
  const auto count = readDword(store, kChannelsKey, "Count");
  if (!count || *count < 1) return channels;
  const int n = std::min<int>(static_cast<int>(*count), kMaxChannels);
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i);
    ChannelSetting c;
    c.name = readText(store, kChannelsKey, "Name" + k).value_or(defaultChannelName(i));
    if (c.name.empty() || c.name.size() > 64) c.name = defaultChannelName(i);
    c.port = i == 1 ? std::string() : readText(store, kChannelsKey, "Port" + k).value_or("");
    if (c.port.size() > 255) c.port.clear();
    c.colour = readDword(store, kChannelsKey, "Colour" + k).value_or(defaultChannelColour(i)) & 0xFFFFFF;
    c.shown = readDword(store, kChannelsKey, "Shown" + k).value_or(1) != 0;
    const auto text = [&](const char* key) {
      std::string v = readText(store, kChannelsKey, key + k).value_or("");
      return v.size() > 128 ? v.substr(0, 128) : v;
    };
    c.serial = text("Serial");
    c.model = text("Model");
    c.manufacturer = text("Manufacturer");
    channels.push_back(std::move(c));
  }
  return channels;
}

void saveChannelSettings(SettingsBackend& store, const std::vector<ChannelSetting>& channels) {
  writeDword(store, kChannelsKey, "Count", static_cast<std::uint32_t>(channels.size()));
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const std::string k = std::to_string(i + 1);
    writeText(store, kChannelsKey, "Name" + k, channels[i].name);
    if (i > 0) writeText(store, kChannelsKey, "Port" + k, channels[i].port);
    writeDword(store, kChannelsKey, "Colour" + k, channels[i].colour);
    writeDword(store, kChannelsKey, "Shown" + k, channels[i].shown ? 1 : 0);
    writeText(store, kChannelsKey, "Serial" + k, channels[i].serial);
    writeText(store, kChannelsKey, "Model" + k, channels[i].model);
    writeText(store, kChannelsKey, "Manufacturer" + k, channels[i].manufacturer);
  }
}

}  // namespace velmora
