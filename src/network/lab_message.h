#pragma once
// What Velmora publishes to an MQTT broker, and reads back in the lab view:
//   velmora/v1/<station>/<instrument>/reading   {"seq":…, "time_utc":"…", "elapsed_min":…,
//                                                 "resistance_ohm":…, "temperature_C":…,
//                                                 "historical":false}
//   velmora/v1/<station>/<instrument>/status    {"state":"recording", "last_error":""}  (retained)
//   velmora/v1/<station>/<instrument>/factors   {"R0":…, "A":…, "B":…, "C":…}           (retained)
// A station or instrument name is one topic level: "/", "+", "#" and control characters
// become "_".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr std::string_view kTopicRoot = "velmora/v1";

std::string topicLevel(std::string_view name);
std::string readingTopic(std::string_view station, std::string_view instrument);
std::string statusTopic(std::string_view station, std::string_view instrument);
std::string factorsTopic(std::string_view station, std::string_view instrument);

struct LabReading {
  std::uint64_t seq = 0;
  std::int64_t utcMs = 0;
  double elapsedMinutes = 0;
  double resistance = 0;  // NaN: unknown (null)
  double temperature = 0;
  bool historical = false;
};
std::string readingPayload(const LabReading& r);
// The probe an instrument reads (what the user gave in the Instruments panel).
struct InstrumentIdentity {
  std::string serial, model, manufacturer;
  bool empty() const { return serial.empty() && model.empty() && manufacturer.empty(); }
};
// The status; with an identity its serial number, model and manufacturer too.
std::string statusPayload(std::string_view state, std::string_view lastError, const InstrumentIdentity& identity = {});
// This program's own status ("online", "offline"); with the count of readings its outbox
// dropped for its limit when there were any.
std::string stationPayload(std::string_view state, std::uint64_t droppedReadings);
std::string factorsPayload(double r0, double a, double b, double c);

// The lab view's side: a topic's station, instrument and kind; a reading's payload.
struct LabTopic {
  std::string station, instrument, kind;  // kind: "reading", "status", "factors"
};
std::optional<LabTopic> parseLabTopic(std::string_view topic);
std::optional<LabReading> parseReadingPayload(std::string_view json);
// A string field of a small flat JSON object ("state", "last_error"); nothing when absent.
std::optional<std::string> jsonString(std::string_view json, std::string_view key);

}  // namespace velmora
