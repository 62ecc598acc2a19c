#pragma once
// What the lab network remembers, under a key of its own beside the designed ones
// ("…\Velmora\Network"): publishing on or off (off unless the user turned it on), the broker's
// address, this station's name, the user, the TLS files. The password is never in that store:
// it lives in a file of its own that only its owner may read.

#include <optional>
#include <string>
#include <string_view>

#include "common/settings_backend.h"
#include "network/mqtt_publisher.h"

namespace velmora {

inline constexpr const char* kNetworkKey = "Software\\KORVAN\\Programs\\Velmora\\Network";

// The settings as stored; `password` is left empty (see loadNetworkPassword).
MqttSettings loadNetworkSettings(const SettingsBackend& store, const std::string& defaultStation);
void saveNetworkSettings(SettingsBackend& store, const MqttSettings& settings);

// The password file (`path`): read (empty when there is none), written owner-only, removed
// when the password is empty. The reason when it could not be written.
std::string loadNetworkPassword(const std::string& path);
std::optional<std::string> saveNetworkPassword(const std::string& path, const std::string& password);

// What is wrong with settings about to be used: no address, an address that is not
// tcp/ssl/mqtt/mqtts, no station, a TLS file that cannot be read, a certificate without its key.
struct NetworkProblem {
  enum class Kind { None, NoAddress, BadScheme, BadHostOrPort, NoStation, Unreadable, CertificateWithoutKey } kind = Kind::None;
  std::string file, cause;  // Unreadable: which file, and why
};
NetworkProblem checkNetworkSettings(const MqttSettings& settings);

// What is wrong with a broker address, in words (nothing when it will do): the scheme
// (tcp, ssl, mqtt, mqtts or none), a host, a port from 1 to 65535 when one is given, and
// nothing after it.
std::optional<std::string> brokerAddressProblem(std::string_view url);

// The folder name of a destination's outbox (the broker and the station): readable, and
// different for different destinations.
std::string outboxName(const MqttSettings& settings);

}  // namespace velmora
