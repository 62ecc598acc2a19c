#include "network/lab_message.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/clock_text.h"
#include "common/number_text.h"

namespace velmora {

namespace {
void number(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

void quoted(std::string& out, std::string_view s) {
  out.push_back('"');
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

// The text after "key": in a flat object, up to its end (a number, a literal or a string).
std::optional<std::string_view> rawValue(std::string_view json, std::string_view key) {
  const std::string pattern = "\"" + std::string(key) + "\"";
  auto at = json.find(pattern);
  if (at == std::string_view::npos) return std::nullopt;
  at = json.find(':', at + pattern.size());
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = trimLeadingBlanks(json.substr(at + 1));
  if (!rest.empty() && rest.front() == '"') {
    std::size_t end = 1;
    while (end < rest.size() && rest[end] != '"') end += rest[end] == '\\' ? 2 : 1;
    return rest.substr(0, std::min(end + 1, rest.size()));
  }
  const auto end = rest.find_first_of(",}");
  return trimBlanks(rest.substr(0, end));
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
  std::string out = "{\"seq\":" + std::to_string(r.seq) + ",\"time_utc\":\"" + formatUtcIso(r.utcMs) + "\",\"elapsed_min\":";
  number(out, r.elapsedMinutes);
  out += ",\"resistance_ohm\":";
  number(out, r.resistance);
  out += ",\"temperature_C\":";
  number(out, r.temperature);
  out += r.historical ? ",\"historical\":true}" : ",\"historical\":false}";
  return out;
}

std::string statusPayload(std::string_view state, std::string_view lastError, const InstrumentIdentity& identity) {
  std::string out = "{\"state\":";
  quoted(out, state);
  out += ",\"last_error\":";
  quoted(out, lastError);
  if (!identity.empty()) {
    out += ",\"serial\":";
    quoted(out, identity.serial);
    out += ",\"model\":";
    quoted(out, identity.model);
    out += ",\"manufacturer\":";
    quoted(out, identity.manufacturer);
  }
  out += "}";
  return out;
}

std::string factorsPayload(double r0, double a, double b, double c) {
  std::string out = "{\"R0\":";
  number(out, r0);
  out += ",\"A\":";
  number(out, a);
  out += ",\"B\":";
  number(out, b);
  out += ",\"C\":";
  number(out, c);
  out += "}";
  return out;
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
  LabReading r;
  const auto seq = rawValue(json, "seq");
  const auto time = jsonString(json, "time_utc");
  const auto t = rawValue(json, "temperature_C");
  if (!seq || !time || !t) return std::nullopt;
  if (std::from_chars(seq->data(), seq->data() + seq->size(), r.seq).ptr != seq->data() + seq->size()) return std::nullopt;
  const auto ms = parseUtcIso(*time);
  const auto temperature = parseNumber(*t);
  if (!ms || !temperature) return std::nullopt;
  r.utcMs = *ms;
  r.temperature = *temperature;
  if (const auto e = rawValue(json, "elapsed_min"); e && *e != "null")
    if (const auto v = parseNumber(*e)) r.elapsedMinutes = *v;
  r.resistance = NAN;
  if (const auto rr = rawValue(json, "resistance_ohm"); rr && *rr != "null")
    if (const auto v = parseNumber(*rr)) r.resistance = *v;
  const auto h = rawValue(json, "historical");
  r.historical = h && *h == "true";
  return r;
}

std::optional<std::string> jsonString(std::string_view json, std::string_view key) {
  const auto raw = rawValue(json, key);
  if (!raw || raw->size() < 2 || raw->front() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i + 1 < raw->size(); ++i) {
    if ((*raw)[i] == '\\' && i + 2 < raw->size()) ++i;
    out.push_back((*raw)[i]);
  }
  return out;
}

}  // namespace velmora
