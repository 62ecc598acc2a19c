#pragma once
// Publishes every reading of every instrument to an MQTT broker (Eclipse Paho C, the
// asynchronous client), off the recording's thread: publish() only queues. A thread of its
// own writes each reading to the outbox with its sequence number, sends it at QoS 1, and
// marks it acknowledged when the broker says so. After an outage (or a restart of the
// program) the readings the broker never acknowledged go out again, marked historical, at a
// limited rate and in order per instrument, while new readings go out live. The broker keeps
// what it holds for this client (a fixed client id, no clean start); the status topics are retained with a
// last will "offline"; TLS and user/password as set. The password is never written anywhere
// by this class.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "network/lab_message.h"

namespace velmora {

struct MqttSettings {
  bool enabled = false;
  std::string url;      // tcp://host:1883, ssl://host:8883
  std::string station;  // the topic level of this program
  std::string user, password;
  std::string caFile, certFile, keyFile;  // TLS: the broker's CA, and this client's own (optional)
  int backlogPerSecond = 200;             // historical readings a second at most
  std::uint64_t outboxLimitBytes = 0;     // what waits for the broker, at most (0: no limit)
  std::string owner;                      // who holds the outbox, as another program is told
};

class MqttPublisher {
 public:
  MqttPublisher(MqttSettings settings, std::filesystem::path outboxFolder);
  ~MqttPublisher();  // stops: what was queued is written to the outbox first
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // The recording side (any thread, a few hundred nanoseconds): one reading of an instrument.
  void publish(const std::string& instrument, std::int64_t utcMs, double elapsedMinutes, double resistance,
               double temperature);
  // Retained: the instrument's state ("recording", "reconnecting", …) and last error; its factors.
  void setStatus(const std::string& instrument, const std::string& state, const std::string& lastError = {},
                 const InstrumentIdentity& identity = {});
  void setFactors(const std::string& instrument, double r0, double a, double b, double c);

  struct State {
    bool connected = false;
    std::string error;         // why not (never the password)
    std::uint64_t waiting = 0;  // written, not yet acknowledged
    std::uint64_t dropped = 0;  // refused by a full disk
    std::uint64_t overflow = 0;  // dropped for the outbox's limit (the files still hold them)
    std::uint64_t outboxBytes = 0;
    std::uint64_t sent = 0;
  };
  State state() const;
  // Another program holds the outbox (what it wrote of itself); then nothing is published.
  const std::optional<std::string>& outboxHolder() const { return m_holder; }
  // What happened since the last call, a line each: connected, refused and why, lost, the
  // backlog sent, readings dropped for the outbox's limit.
  std::vector<std::string> takeEvents();

 private:
  struct Pending {
    std::string instrument;
    LabReading reading;
  };
  struct Retained {
    std::string topic, payload;
  };
  void run();
  void connect();
  void event(std::string line);  // under m_mutex
  bool send(const std::string& topic, const std::string& payload, bool retained, const std::string& instrument,
            std::uint64_t seq);
  struct Callbacks;  // Paho's callbacks (their types are Paho's)
  friend struct Callbacks;

  const MqttSettings m_settings;
  const std::filesystem::path m_folder;
  void* m_client = nullptr;  // MQTTAsync

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Pending> m_queue;                   // under m_mutex
  std::map<std::string, Retained> m_retained;    // under m_mutex: the latest of each topic
  std::vector<std::pair<std::string, std::uint64_t>> m_acks;    // under m_mutex (from Paho's thread)
  std::vector<std::pair<std::string, std::uint64_t>> m_failed;  // under m_mutex: to be sent again
  std::map<int, std::pair<std::string, std::uint64_t>> m_inflight;  // under m_mutex: token → reading
  bool m_stop = false;
  bool m_reconnected = false;  // under m_mutex: the backlog starts again
  bool m_connecting = false;   // under m_mutex: a connection attempt is under way
  bool m_everConnected = false;  // under m_mutex: from then on Paho reconnects by itself
  State m_state;               // under m_mutex
  std::string m_tlsError;      // under m_mutex: why the last handshake failed
  std::vector<std::string> m_events;  // under m_mutex
  std::string m_lastRefusal;          // under m_mutex: the reason last told
  std::unique_ptr<class ExclusiveLock> m_lock;
  std::optional<std::string> m_holder;
  std::thread m_thread;
};

}  // namespace velmora
