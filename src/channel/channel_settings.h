#pragma once
// What is remembered of the instruments (channels) between runs, under a key of its own
// beside the designed ones ("…\Velmora\Channels"): each channel's name, colour, whether it
// is drawn, and — for the channels after the first — its port. The first channel is the
// designed instrument: its port stays in the designed "PortSettings" key.

#include <cstdint>
#include <string>
#include <vector>

#include "common/settings_backend.h"

namespace velmora {

inline constexpr const char* kChannelsKey = "Software\\KORVAN\\Programs\\Velmora\\Channels";
inline constexpr int kMaxChannels = 16;

struct ChannelSetting {
  std::string name;
  std::string port;      // a serial port, "DEMO…", or "USB:<serial number>"; empty: no instrument
  std::uint32_t colour;  // 0xRRGGBB
  bool shown = true;
  // The probe's identity (certificates and the lab network name it): its serial number,
  // model and manufacturer.
  std::string serial, model, manufacturer;
};

// The colour of channel `number` (1 …): the first is the designed series' colour.
std::uint32_t defaultChannelColour(int number);
std::string defaultChannelName(int number);

// Channels 1 … N as stored; nothing when none were stored (a first run, or one channel).
std::vector<ChannelSetting> loadChannelSettings(const SettingsBackend& store);
void saveChannelSettings(SettingsBackend& store, const std::vector<ChannelSetting>& channels);

}  // namespace velmora
