#pragma once
// The lab view's ear: subscribes to everything Velmora publishes (velmora/v1/#) on a broker
// and hands the messages over in the order they came. Paho's thread receives; the window
// takes them on its own thread.
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "network/mqtt_publisher.h"

namespace velmora {

class LabSubscriber {
 public:
  explicit LabSubscriber(MqttSettings settings);
  ~LabSubscriber();
  LabSubscriber(const LabSubscriber&) = delete;
  LabSubscriber& operator=(const LabSubscriber&) = delete;

  struct Message {
    std::string topic, payload;
    bool retained = false;
  };
  // What came since the last call (and a first connection that failed is tried again).
  std::vector<Message> take();
  bool connected() const;
  std::string error() const;  // why not connected (never the password)

 private:
  struct Callbacks;
  friend struct Callbacks;
  void connect();

  const MqttSettings m_settings;
  void* m_client = nullptr;
  mutable std::mutex m_mutex;
  std::vector<Message> m_messages;  // under m_mutex
  bool m_connected = false;         // under m_mutex
  bool m_connecting = false;        // under m_mutex
  bool m_everConnected = false;     // under m_mutex: from then on Paho reconnects
  std::chrono::steady_clock::time_point m_lastAttempt;
  int m_retrySeconds = 2;
  std::string m_error, m_tlsError;  // under m_mutex
};

}  // namespace velmora
