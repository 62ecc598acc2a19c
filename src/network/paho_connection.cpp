#include "network/paho_connection.h"

namespace velmora::paho {

std::string url(std::string address) {
  if (address.rfind("mqtt://", 0) == 0) return "tcp://" + address.substr(7);
  if (address.rfind("mqtts://", 0) == 0) return "ssl://" + address.substr(8);
  if (address.find("://") == std::string::npos) return "tcp://" + address;
  return address;
}

std::string tlsErrorLine(const char* text, std::size_t length) {
  std::string line(text, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return "TLS: " + line;
}

std::string refusal(int code, const char* message) {
  switch (code) {
    case 1: return "refused: protocol version";
    case 2: return "refused: client id";
    case 3: return "refused: server unavailable";
    case 4: return "refused: wrong user name or password";
    case 5: return "refused: not authorized";
    default: break;
  }
  return message && *message ? std::string(message) : "cannot connect (" + std::to_string(code) + ")";
}

ConnectOptions::ConnectOptions(const MqttSettings& s, int (*tlsError)(const char*, std::size_t, void*), void* context) {
  options.keepAliveInterval = 20;
  options.automaticReconnect = 1;
  options.minRetryInterval = 1;
  options.maxRetryInterval = 16;
  options.connectTimeout = 10;
  options.context = context;
  if (!s.user.empty()) {
    options.username = s.user.c_str();
    options.password = s.password.c_str();
  }
  if (!s.caFile.empty()) ssl.trustStore = s.caFile.c_str();
  if (!s.certFile.empty()) ssl.keyStore = s.certFile.c_str();
  if (!s.keyFile.empty()) ssl.privateKey = s.keyFile.c_str();
  ssl.enableServerCertAuth = 1;
  ssl.verify = 1;
  ssl.ssl_error_cb = tlsError;
  ssl.ssl_error_context = context;
  if (url(s.url).rfind("ssl://", 0) == 0) options.ssl = &ssl;
}

}  // namespace velmora::paho
