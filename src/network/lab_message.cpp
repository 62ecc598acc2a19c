#include "network/lab_message.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "common/clock_text.h"
#include "common/json_number.h"

namespace velmora {

namespace {
using Json = nlohmann::ordered_json;

Json number(double v) { return jsonNumber(v); }  // null: an instrument that gave no resistance

// The payload as an object; nothing for text that is not JSON or not an object.
std::optional<nlohmann::json> object(std::string_view text) {
  auto j = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  return j;
}
}  // namespace

std::string topicLevel(std::string_view name) {
  std::string s;
  for (char c : name) s.push_back(c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20 ? '_' : c);
  return s.empty() ? std::string("_") : s;
}

static std::string topic(std::string_view station, std::string_view instrument, std::string_view kind) {
  return std::string(kTopicRoot) + "/" + topicLevel(station) + "/" + topicLevel(instrument) + "/" + std::string(kind);
}
std::string readingTopic(std::string_view s, std::string_view i) { return topic(s, i, "reading"); }
std::string statusTopic(std::string_view s, std::string_view i) { return topic(s, i, "status"); }
std::string factorsTopic(std::string_view s, std::string_view i) { return topic(s, i, "factors"); }

std::string readingPayload(const LabReading& r) {
  Json j;
  j["seq"] = r.seq;
  j["time_utc"] = formatUtcIso(r.utcMs);
  j["elapsed_min"] = number(r.elapsedMinutes);
  j["resistance_ohm"] = number(r.resistance);
  j["temperature_C"] = number(r.temperature);
  j["historical"] = r.historical;
  return j.dump();
}

std::string statusPayload(std::string_view state, std::string_view lastError, const InstrumentIdentity& identity) {
  Json j;
  j["state"] = state;
  j["last_error"] = lastError;
  if (!identity.empty()) {
    j["serial"] = identity.serial;
    j["model"] = identity.model;
    j["manufacturer"] = identity.manufacturer;
  }
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string stationPayload(std::string_view state, std::uint64_t droppedReadings) {
  Json j;
  j["state"] = state;
  j["last_error"] = "";
  if (droppedReadings > 0) j["dropped_readings"] = droppedReadings;
  return j.dump();
}

std::string factorsPayload(double r0, double a, double b, double c) {
  Json j;
  j["R0"] = number(r0);
  j["A"] = number(a);
  j["B"] = number(b);
  j["C"] = number(c);
  return j.dump();
}

std::optional<LabTopic> parseLabTopic(std::string_view topic) {
  const std::string root = std::string(kTopicRoot) + "/";
  if (topic.substr(0, root.size()) != root) return std::nullopt;
  topic.remove_prefix(root.size());
  LabTopic t;
  std::string* parts[] = {&t.station, &t.instrument, &t.kind};
  for (int i = 0; i < 3; ++i) {
    const auto slash = topic.find('/');
    if ((i < 2) == (slash == std::string_view::npos)) return std::nullopt;
    *parts[i] = std::string(topic.substr(0, slash));
    topic = i < 2 ? topic.substr(slash + 1) : std::string_view();
  }
  if (t.station.empty() || t.instrument.empty()) return std::nullopt;
  return t;
}

std::optional<LabReading> parseReadingPayload(std::string_view json) {
  const auto j = object(json);
  if (!j) return std::nullopt;
  const auto seq = j->find("seq");
  const auto time = j->find("time_utc");
  const auto t = j->find("temperature_C");
  if (seq == j->end() || !seq->is_number_unsigned() || time == j->end() || !time->is_string() || t == j->end() ||
      !t->is_number())
    return std::nullopt;
  const auto ms = parseUtcIso(time->get<std::string>());
  if (!ms) return std::nullopt;
  LabReading r;
  r.seq = seq->get<std::uint64_t>();
  r.utcMs = *ms;
  r.temperature = t->get<double>();
  const auto numberOr = [&](const char* key, double otherwise) {
    const auto v = j->find(key);
    return v != j->end() && v->is_number() ? v->get<double>() : otherwise;
  };
  r.elapsedMinutes = numberOr("elapsed_min", 0);
  r.resistance = numberOr("resistance_ohm", NAN);
  const auto h = j->find("historical");
  r.historical = h != j->end() && h->is_boolean() && h->get<bool>();
  return r;
}

std::optional<std::string> jsonString(std::string_view json, std::string_view key) {
  const auto j = object(json);
  if (!j) return std::nullopt;
  const auto v = j->find(key);
  if (v == j->end() || !v->is_string()) return std::nullopt;
  return v->get<std::string>();
}

}  // namespace velmora
