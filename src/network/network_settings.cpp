#include "network/network_settings.h"

#include "common/number_text.h"

#include <cstdio>
#include <filesystem>
#include <cctype>
#include <cstdint>

#include "common/file_io.h"

namespace velmora {

MqttSettings loadNetworkSettings(const SettingsBackend& store, const std::string& defaultStation) {
  MqttSettings s;
  s.enabled = readDword(store, kNetworkKey, "Enabled").value_or(0) != 0;
  s.url = readText(store, kNetworkKey, "Url").value_or("");
  s.station = readText(store, kNetworkKey, "Station").value_or("");
  if (s.station.empty()) s.station = defaultStation;
  s.user = readText(store, kNetworkKey, "User").value_or("");
  s.caFile = readText(store, kNetworkKey, "CaFile").value_or("");
  s.certFile = readText(store, kNetworkKey, "CertFile").value_or("");
  s.keyFile = readText(store, kNetworkKey, "KeyFile").value_or("");
  return s;
}

void saveNetworkSettings(SettingsBackend& store, const MqttSettings& s) {
  writeDword(store, kNetworkKey, "Enabled", s.enabled ? 1 : 0);
  writeText(store, kNetworkKey, "Url", s.url);
  writeText(store, kNetworkKey, "Station", s.station);
  writeText(store, kNetworkKey, "User", s.user);
  writeText(store, kNetworkKey, "CaFile", s.caFile);
  writeText(store, kNetworkKey, "CertFile", s.certFile);
  writeText(store, kNetworkKey, "KeyFile", s.keyFile);
}

std::string loadNetworkPassword(const std::string& path) {
  std::string text;
  if (readWholeFile(path, text)) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::optional<std::string> saveNetworkPassword(const std::string& path, const std::string& password) {
  if (password.empty()) {
    std::error_code ec;
    std::filesystem::remove(pathFromUtf8(path), ec);
    return std::nullopt;
  }
  return writePrivateFile(path, password + "\n");
}

NetworkProblem checkNetworkSettings(const MqttSettings& s) {
  using Kind = NetworkProblem::Kind;
  const auto scheme = s.url.find("://");
  if (s.url.empty() || (scheme != std::string::npos && s.url.size() == scheme + 3)) return {Kind::NoAddress, {}, {}};
  if (scheme != std::string::npos) {
    const std::string name = s.url.substr(0, scheme);
    if (name != "tcp" && name != "ssl" && name != "mqtt" && name != "mqtts") return {Kind::BadScheme, {}, {}};
  }
  if (brokerAddressProblem(s.url)) return {Kind::BadHostOrPort, {}, {}};
  if (s.station.empty()) return {Kind::NoStation, {}, {}};
  for (const std::string* f : {&s.caFile, &s.certFile, &s.keyFile}) {
    if (f->empty()) continue;
    std::string bytes;
    if (auto cause = readWholeFile(*f, bytes)) return {Kind::Unreadable, *f, *cause};
  }
  if (s.certFile.empty() != s.keyFile.empty()) return {Kind::CertificateWithoutKey, {}, {}};
  return {};
}

std::optional<std::string> brokerAddressProblem(std::string_view url) {
  std::string_view rest = url;
  if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) {
    const std::string_view name = rest.substr(0, scheme);
    if (name != "tcp" && name != "ssl" && name != "mqtt" && name != "mqtts")
      return "the address must start with tcp://, ssl://, mqtt:// or mqtts://: " + std::string(url);
    rest.remove_prefix(scheme + 3);
  }
  std::string_view host = rest, port;
  if (!rest.empty() && rest.front() == '[') {  // an IPv6 address
    const auto close = rest.find(']');
    if (close == std::string_view::npos) return "an IPv6 address without its \"]\": " + std::string(url);
    host = rest.substr(0, close + 1);
    rest.remove_prefix(close + 1);
    if (!rest.empty() && rest.front() != ':') return "something after the host: " + std::string(url);
    if (!rest.empty()) port = rest.substr(1);
    if (host.size() <= 2) return "no host in the address: " + std::string(url);
  } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (port.empty()) return "a \":\" without a port: " + std::string(url);
  }
  if (host.empty()) return "no host in the address: " + std::string(url);
  for (const char c : host)
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '?' || c == '#' || c == '@')
      return "not a host name: " + std::string(host);
  if (!port.empty() || rest.size() != host.size()) {
    const auto p = parseInteger(port);
    if (!p || *p < 1 || *p > 65535) return "the port must be 1 to 65535: " + std::string(port);
  }
  return std::nullopt;
}

std::string outboxName(const MqttSettings& s) {
  std::string host;
  for (char c : s.url.substr(s.url.find("://") == std::string::npos ? 0 : s.url.find("://") + 3))
    host.push_back(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_');
  // FNV-1a: the same name for the same destination in every build.
  std::uint32_t h = 2166136261u;
  for (char c : s.url + '\n' + topicLevel(s.station)) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  char hash[9];
  std::snprintf(hash, sizeof hash, "%08x", static_cast<unsigned>(h));
  return host.substr(0, 40) + "-" + hash;
}

}  // namespace velmora
