#include "network/mqtt_publisher.h"

#include <MQTTAsync.h>

#include <chrono>
#include <fstream>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <set>

#include "common/file_io.h"
#include "network/outbox.h"
#include "network/paho_connection.h"

namespace velmora {

namespace {
using Clock = std::chrono::steady_clock;

std::string stationTopic(const std::string& station) { return std::string(kTopicRoot) + "/" + topicLevel(station) + "/status"; }

// VELMORA_MQTT_TRACE=1: what the publisher does, on stderr (never the password).
bool tracing() {
  static const bool on = [] {
    const char* v = std::getenv("VELMORA_MQTT_TRACE");
    return v && *v && *v != '0';
  }();
  return on;
}
template <typename... Args>
void trace(const char* format, Args... args) {
  if (!tracing()) return;
  std::fprintf(stderr, "mqtt: ");
  std::fprintf(stderr, format, args...);
  std::fprintf(stderr, "\n");
}

struct SentContext {
  MqttPublisher* publisher;
  std::string instrument;
  std::uint64_t seq;
};
}  // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, std::filesystem::path outboxFolder)
    : m_settings(std::move(settings)), m_folder(std::move(outboxFolder)) {
  // One program at a time per outbox: a second one (the same station on this computer)
  // would mix the sequence numbers. It is told who holds it and publishes nothing.
  std::error_code ec;
  std::filesystem::create_directories(m_folder, ec);
  const std::filesystem::path lockFile = m_folder / "lock";
  m_lock = std::make_unique<ExclusiveLock>(lockFile);
  if (m_lock->held()) {
    if (!m_settings.owner.empty()) {
      std::ofstream(lockFile, std::ios::binary | std::ios::trunc) << m_settings.owner << "\n";
    }
  } else {
    std::string who;
    readWholeFile(pathToUtf8(lockFile), who);
    while (!who.empty() && (who.back() == '\n' || who.back() == '\r')) who.pop_back();
    m_holder = who.empty() ? std::string("another program") : who;
    m_state.error = "the outbox " + pathToUtf8(m_folder) + " is in use by " + *m_holder;
  }
  m_thread = std::thread([this] { run(); });
}

MqttPublisher::~MqttPublisher() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void MqttPublisher::publish(const std::string& instrument, std::int64_t utcMs, double elapsedMinutes, double resistance,
                            double temperature) {
  LabReading r;
  r.utcMs = utcMs;
  r.elapsedMinutes = elapsedMinutes;
  r.resistance = resistance;
  r.temperature = temperature;
  std::lock_guard lock(m_mutex);
  m_queue.push_back({topicLevel(instrument), r});
}

void MqttPublisher::setStatus(const std::string& instrument, const std::string& state, const std::string& lastError,
                              const InstrumentIdentity& identity) {
  std::lock_guard lock(m_mutex);
  const std::string topic = statusTopic(m_settings.station, instrument);
  m_retained[topic] = {topic, statusPayload(state, lastError, identity)};
  m_wake.notify_all();
}

void MqttPublisher::setFactors(const std::string& instrument, double r0, double a, double b, double c) {
  std::lock_guard lock(m_mutex);
  const std::string topic = factorsTopic(m_settings.station, instrument);
  m_retained[topic] = {topic, factorsPayload(r0, a, b, c)};
  m_wake.notify_all();
}

MqttPublisher::State MqttPublisher::state() const {
  std::lock_guard lock(m_mutex);
  return m_state;
}

std::vector<std::string> MqttPublisher::takeEvents() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_events, {});
}

void MqttPublisher::event(std::string line) {
  if (m_events.size() < 1000) m_events.push_back(std::move(line));  // nobody reading: bounded
}

// ---------------------------------------------------------------- Paho's side

struct MqttPublisher::Callbacks {
  static void onConnected(void* context, char* cause);
  static void onConnectionLost(void* context, char* cause);
  static void onConnectFailure(void* context, MQTTAsync_failureData* response);
  static void onSent(void* context, MQTTAsync_successData* response);
  static void onSendFailure(void* context, MQTTAsync_failureData* response);
  static int onMessage(void*, char*, int, MQTTAsync_message*);
  static int onTlsError(const char* text, std::size_t length, void* context);
};

// OpenSSL's own words on a failed handshake (an untrusted certificate, a wrong host name…).
int MqttPublisher::Callbacks::onTlsError(const char* text, std::size_t length, void* context) {
  auto* self = static_cast<MqttPublisher*>(context);
  std::lock_guard lock(self->m_mutex);
  self->m_tlsError = paho::tlsErrorLine(text, length);
  return 0;
}

void MqttPublisher::Callbacks::onConnected(void* context, char*) {
  auto* self = static_cast<MqttPublisher*>(context);
  std::lock_guard lock(self->m_mutex);
  self->m_state.connected = true;
  self->m_state.error.clear();
  self->m_reconnected = true;
  self->m_connecting = false;
  self->m_everConnected = true;
  self->m_lastRefusal.clear();
  self->m_wake.notify_all();
  self->event("connected to " + paho::url(self->m_settings.url));
  trace("connected");
}

void MqttPublisher::Callbacks::onConnectionLost(void* context, char* cause) {
  auto* self = static_cast<MqttPublisher*>(context);
  std::lock_guard lock(self->m_mutex);
  self->m_state.connected = false;
  self->m_state.error = cause && *cause ? cause : "connection lost";
  self->event("connection to the broker lost: " + self->m_state.error);
  self->m_lastRefusal = self->m_state.error;
  trace("connection lost: %s", self->m_state.error.c_str());
}

void MqttPublisher::Callbacks::onConnectFailure(void* context, MQTTAsync_failureData* response) {
  auto* self = static_cast<MqttPublisher*>(context);
  std::lock_guard lock(self->m_mutex);
  self->m_state.connected = false;
  self->m_state.error = response ? paho::refusal(response->code, response->message) : "cannot connect";
  self->m_connecting = false;
  if (!self->m_tlsError.empty()) self->m_state.error = std::exchange(self->m_tlsError, {});
  // Said once for each reason, not at every attempt of an outage that lasts.
  if (self->m_state.error != self->m_lastRefusal)
    self->event("cannot connect to " + paho::url(self->m_settings.url) + ": " + self->m_state.error);
  self->m_lastRefusal = self->m_state.error;
  trace("connect failed: %s", self->m_state.error.c_str());
}

void MqttPublisher::Callbacks::onSent(void* context, MQTTAsync_successData*) {
  std::unique_ptr<SentContext> sent(static_cast<SentContext*>(context));
  MqttPublisher* self = sent->publisher;
  std::lock_guard lock(self->m_mutex);
  if (sent->seq > 0) self->m_acks.emplace_back(sent->instrument, sent->seq);
  ++self->m_state.sent;
}

void MqttPublisher::Callbacks::onSendFailure(void* context, MQTTAsync_failureData*) {
  std::unique_ptr<SentContext> sent(static_cast<SentContext*>(context));  // sent again with the backlog
  std::lock_guard lock(sent->publisher->m_mutex);
  if (sent->seq > 0) sent->publisher->m_failed.emplace_back(sent->instrument, sent->seq);
  trace("send failed: %s %llu", sent->instrument.c_str(), static_cast<unsigned long long>(sent->seq));
}

int MqttPublisher::Callbacks::onMessage(void*, char* topic, int, MQTTAsync_message* message) {
  MQTTAsync_freeMessage(&message);
  MQTTAsync_free(topic);
  return 1;
}

void MqttPublisher::connect() {
  paho::ConnectOptions prepared(m_settings, &Callbacks::onTlsError, this);
  MQTTAsync_connectOptions& options = prepared.options;
  options.cleansession = 0;  // the broker keeps the subscription and what was not acknowledged
  options.onFailure = &Callbacks::onConnectFailure;
  const std::string station = stationTopic(m_settings.station);
  MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
  const std::string offline = statusPayload("offline", "");
  will.topicName = station.c_str();
  will.message = offline.c_str();
  will.retained = 1;
  will.qos = 1;
  options.will = &will;
  trace("connecting to %s", paho::url(m_settings.url).c_str());
  {
    std::lock_guard lock(m_mutex);
    m_connecting = true;
  }
  const int rc = MQTTAsync_connect(m_client, &options);
  if (rc != MQTTASYNC_SUCCESS) {
    std::lock_guard lock(m_mutex);
    m_state.error = "cannot connect (" + std::to_string(rc) + ")";
    m_connecting = false;
  }
}

bool MqttPublisher::send(const std::string& topic, const std::string& payload, bool retained,
                         const std::string& instrument, std::uint64_t seq) {
  MQTTAsync_responseOptions options = MQTTAsync_responseOptions_initializer;
  auto* sent = new SentContext{this, instrument, seq};
  options.context = sent;
  options.onSuccess = &Callbacks::onSent;
  options.onFailure = &Callbacks::onSendFailure;
  const int rc = MQTTAsync_send(m_client, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                                retained ? 1 : 0, &options);
  if (rc != MQTTASYNC_SUCCESS) {
    delete sent;
    trace("send refused (%d): %s %llu", rc, instrument.c_str(), static_cast<unsigned long long>(seq));
    return false;
  }
  trace("sent: %s %llu", instrument.c_str(), static_cast<unsigned long long>(seq));
  return true;
}

// ---------------------------------------------------------------- the publisher's thread

void MqttPublisher::run() {
  if (m_holder) {
    std::unique_lock wait(m_mutex);
    m_wake.wait(wait, [&] { return m_stop; });
    return;
  }
  Outbox outbox(m_folder);
  outbox.setLimit(m_settings.outboxLimitBytes);
  std::uint64_t overflowSent = 0;  // the dropped count the station's status last carried
  std::map<std::string, std::uint64_t> backlogOf;  // readings of a backlog under way
  MQTTAsync client = nullptr;
  MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
  create.sendWhileDisconnected = 0;  // the outbox keeps what cannot go now
  const std::string clientId = "velmora-" + topicLevel(m_settings.station);
  if (MQTTAsync_createWithOptions(&client, paho::url(m_settings.url).c_str(), clientId.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                                  nullptr, &create) != MQTTASYNC_SUCCESS) {
    std::lock_guard lock(m_mutex);
    m_state.error = "not a broker address: " + m_settings.url;
    event(m_state.error);
    client = nullptr;
  }
  m_client = client;
  if (client) {
    MQTTAsync_setCallbacks(client, this, &Callbacks::onConnectionLost, &Callbacks::onMessage, nullptr);
    MQTTAsync_setConnected(client, this, &Callbacks::onConnected);
    connect();
  }
  std::map<std::string, std::uint64_t> cursor;    // the next historical reading to send
  std::map<std::string, std::uint64_t> liveFrom;  // from here on readings go out live
  std::map<std::string, std::set<std::uint64_t>> inflight;
  std::map<std::string, std::string> sentRetained;
  auto lastSave = Clock::now(), lastBacklog = Clock::now(), lastConnect = Clock::now();
  int retry = 2;
  double budget = 0;
  bool backlogRunning = false;
  std::unique_lock lock(m_mutex);
  for (;;) {
    // A backlog going out is paced in small steps; otherwise the thread sleeps until a reading
    // comes (a quarter of a second at most: acknowledgements and retries are looked at then).
    m_wake.wait_for(lock, std::chrono::milliseconds(backlogRunning ? 20 : 250),
                    [&] { return m_stop || !m_queue.empty() || m_reconnected; });
    const bool stopping = m_stop;
    std::deque<Pending> queue;
    queue.swap(m_queue);
    auto acks = std::move(m_acks);
    m_acks.clear();
    auto failed = std::move(m_failed);
    m_failed.clear();
    const std::map<std::string, Retained> retained = m_retained;  // the latest of each topic
    const bool reconnected = std::exchange(m_reconnected, false);
    const bool connected = m_state.connected;
    // A first connection that failed is tried again here; once connected, Paho reconnects.
    const bool mayConnect = !m_connecting && !m_everConnected;
    lock.unlock();

    for (const auto& [instrument, seq] : acks) {
      outbox.acknowledged(instrument, seq);
      inflight[instrument].erase(seq);
    }
    // A send that failed goes again from the backlog.
    for (const auto& [instrument, seq] : failed) {
      inflight[instrument].erase(seq);
      if (cursor.count(instrument)) cursor[instrument] = std::min(cursor[instrument], seq);
      if (liveFrom.count(instrument) && liveFrom[instrument] <= seq) liveFrom[instrument] = outbox.lastSeq(instrument) + 1;
    }
    if (reconnected) {
      // What the broker never acknowledged goes out again, historical; new readings live.
      for (const auto& name : outbox.instruments()) {
        cursor[name] = outbox.ackedThrough(name) + 1;
        liveFrom[name] = outbox.lastSeq(name) + 1;
        trace("backlog of %s: %llu to %llu", name.c_str(), static_cast<unsigned long long>(cursor[name]),
              static_cast<unsigned long long>(liveFrom[name] - 1));
        if (liveFrom[name] > cursor[name]) backlogOf[name] = liveFrom[name] - cursor[name];
        inflight[name].clear();
      }
      send(stationTopic(m_settings.station), stationPayload("online", outbox.overflowDropped()), true, {}, 0);
      overflowSent = outbox.overflowDropped();
      sentRetained.clear();  // everything retained goes again
    }
    if (connected)
      for (const auto& [topic, r] : retained)
        if (sentRetained[topic] != r.payload && send(r.topic, r.payload, true, {}, 0)) sentRetained[topic] = r.payload;
    for (auto& p : queue) {
      if (!outbox.append(p.instrument, p.reading)) continue;  // a full disk: counted as dropped
      if (!liveFrom.count(p.instrument)) {
        liveFrom[p.instrument] = connected ? p.reading.seq : outbox.lastSeq(p.instrument) + 1;
        cursor[p.instrument] = outbox.ackedThrough(p.instrument) + 1;
      }
      if (!connected || p.reading.seq < liveFrom[p.instrument]) continue;
      if (send(readingTopic(m_settings.station, p.instrument), readingPayload(p.reading), false, p.instrument,
               p.reading.seq)) {
        inflight[p.instrument].insert(p.reading.seq);
      } else {
        // Refused (the connection just went): it and what follows go with the backlog.
        cursor[p.instrument] = std::min(cursor[p.instrument], p.reading.seq);
        liveFrom[p.instrument] = outbox.lastSeq(p.instrument) + 1;
      }
    }
    // The backlog at its limited rate, in order per instrument.
    const auto now = Clock::now();
    budget = std::min<double>(m_settings.backlogPerSecond,
                              budget + m_settings.backlogPerSecond * std::chrono::duration<double>(now - lastBacklog).count());
    lastBacklog = now;
    backlogRunning = false;
    if (connected) {
      for (auto& [name, next] : cursor) {
        const std::uint64_t end = liveFrom.count(name) ? liveFrom[name] : outbox.lastSeq(name) + 1;
        if (next < end) backlogRunning = true;
        if (next >= end && backlogOf.count(name)) {
          std::lock_guard events(m_mutex);
          event("backlog of " + name + " sent: " + std::to_string(backlogOf[name]) + " readings");
          backlogOf.erase(name);
        }
        if (next >= end || budget < 1) continue;
        const auto readings = outbox.after(name, next - 1, static_cast<std::size_t>(budget));
        for (LabReading r : readings) {
          if (r.seq >= end || budget < 1) break;
          r.historical = true;
          if (!inflight[name].count(r.seq) && !outbox.isAcknowledged(name, r.seq)) {
            if (!send(readingTopic(m_settings.station, name), readingPayload(r), false, name, r.seq)) break;
            inflight[name].insert(r.seq);
            budget -= 1;
          }
          next = r.seq + 1;
        }
      }
    } else if (client && mayConnect && now - lastConnect > std::chrono::seconds(retry)) {
      lastConnect = now;
      retry = std::min(retry * 2, 16);
      connect();
    }
    if (connected) retry = 2;
    if (stopping || now - lastSave > std::chrono::seconds(1)) {
      outbox.save();
      lastSave = now;
    }
    const auto overflow = outbox.takeOverflow();
    if (connected && outbox.overflowDropped() != overflowSent &&
        send(stationTopic(m_settings.station), stationPayload("online", outbox.overflowDropped()), true, {}, 0))
      overflowSent = outbox.overflowDropped();
    lock.lock();
    for (const auto& [name, n] : overflow)
      event("outbox over its limit: the oldest " + std::to_string(n) + " waiting readings of " + name +
            " dropped (the files keep them)");
    m_state.waiting = outbox.waiting();
    m_state.dropped = outbox.dropped();
    m_state.overflow = outbox.overflowDropped();
    m_state.outboxBytes = outbox.bytes();
    if (stopping) break;
  }
  lock.unlock();
  if (client) {
    if (MQTTAsync_isConnected(client)) {
      send(stationTopic(m_settings.station), statusPayload("offline", ""), true, {}, 0);
      MQTTAsync_disconnectOptions d = MQTTAsync_disconnectOptions_initializer;
      d.timeout = 2000;
      MQTTAsync_disconnect(client, &d);
      for (int i = 0; i < 100 && MQTTAsync_isConnected(client); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    MQTTAsync_destroy(&client);
  }
  outbox.save();
}

}  // namespace velmora
