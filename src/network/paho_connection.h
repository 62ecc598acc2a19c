#pragma once
// What the publisher and the lab view's subscriber share about Paho: the address as Paho
// takes it, the broker's refusals in words, and connection options for the settings (the
// user, the password, TLS with OpenSSL's words on a failed handshake).
#include <MQTTAsync.h>

#include <string>

#include "network/mqtt_publisher.h"

namespace velmora::paho {

std::string url(std::string address);  // mqtt:// → tcp://, mqtts:// → ssl://, none → tcp://
std::string refusal(int code, const char* message);
// OpenSSL's words on a failed handshake as one line: "TLS: …".
std::string tlsErrorLine(const char* text, std::size_t length);

// Options that point into `settings` and into themselves: keep both alive until connected.
struct ConnectOptions {
  MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
  MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
  ConnectOptions(const MqttSettings& settings, int (*tlsError)(const char*, std::size_t, void*), void* context);
  ConnectOptions(const ConnectOptions&) = delete;
  ConnectOptions& operator=(const ConnectOptions&) = delete;
};

}  // namespace velmora::paho
