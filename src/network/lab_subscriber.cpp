#include "network/lab_subscriber.h"

#include <MQTTAsync.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>

#include "network/paho_connection.h"

namespace velmora {

struct LabSubscriber::Callbacks {
  static void onConnected(void* context, char*) {
    auto* self = static_cast<LabSubscriber*>(context);
    {
      std::lock_guard lock(self->m_mutex);
      self->m_connected = true;
      self->m_connecting = false;
      self->m_everConnected = true;
      self->m_error.clear();
    }
    // After every (re)connection: the subscription again (the broker keeps nothing for us).
    MQTTAsync_responseOptions options = MQTTAsync_responseOptions_initializer;
    options.context = self;
    options.onFailure = &Callbacks::onSubscribeFailure;
    MQTTAsync_subscribe(self->m_client, "velmora/v1/#", 1, &options);
  }
  static void onSubscribeFailure(void* context, MQTTAsync_failureData*) {
    auto* self = static_cast<LabSubscriber*>(context);
    std::lock_guard lock(self->m_mutex);
    self->m_error = "refused: not authorized to read velmora/v1/#";
  }
  static void onConnectionLost(void* context, char* cause) {
    auto* self = static_cast<LabSubscriber*>(context);
    std::lock_guard lock(self->m_mutex);
    self->m_connected = false;
    self->m_error = cause && *cause ? cause : "connection lost";
  }
  static void onConnectFailure(void* context, MQTTAsync_failureData* response) {
    auto* self = static_cast<LabSubscriber*>(context);
    std::lock_guard lock(self->m_mutex);
    self->m_connected = false;
    self->m_connecting = false;
    self->m_error = response ? paho::refusal(response->code, response->message) : "cannot connect";
    if (!self->m_tlsError.empty()) self->m_error = std::exchange(self->m_tlsError, {});
  }
  static int onTlsError(const char* text, std::size_t length, void* context) {
    auto* self = static_cast<LabSubscriber*>(context);
    std::lock_guard lock(self->m_mutex);
    self->m_tlsError = paho::tlsErrorLine(text, length);
    return 0;
  }
  static int onMessage(void* context, char* topic, int topicLength, MQTTAsync_message* message) {
    auto* self = static_cast<LabSubscriber*>(context);
    Message m;
    m.topic = topicLength > 0 ? std::string(topic, static_cast<std::size_t>(topicLength)) : std::string(topic);
    m.payload.assign(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    m.retained = message->retained != 0;
    {
      std::lock_guard lock(self->m_mutex);
      self->m_messages.push_back(std::move(m));
    }
    MQTTAsync_freeMessage(&message);
    MQTTAsync_free(topic);
    return 1;
  }
};

namespace {
std::atomic<int> g_views{0};
}

LabSubscriber::LabSubscriber(MqttSettings settings) : m_settings(std::move(settings)) {
  MQTTAsync client = nullptr;
  // A client id of its own: several lab views may watch one broker.
  const std::string id = "velmora-view-" + std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xffffff) + "-" +
                         std::to_string(++g_views);
  if (MQTTAsync_create(&client, paho::url(m_settings.url).c_str(), id.c_str(), MQTTCLIENT_PERSISTENCE_NONE, nullptr) !=
      MQTTASYNC_SUCCESS) {
    m_error = "not a broker address: " + m_settings.url;
    return;
  }
  m_client = client;
  MQTTAsync_setCallbacks(client, this, &Callbacks::onConnectionLost, &Callbacks::onMessage, nullptr);
  MQTTAsync_setConnected(client, this, &Callbacks::onConnected);
  connect();
}

void LabSubscriber::connect() {
  paho::ConnectOptions prepared(m_settings, &Callbacks::onTlsError, this);
  prepared.options.cleansession = 1;
  prepared.options.onFailure = &Callbacks::onConnectFailure;
  m_lastAttempt = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(m_mutex);
    m_connecting = true;
  }
  const int rc = MQTTAsync_connect(m_client, &prepared.options);
  if (rc != MQTTASYNC_SUCCESS) {
    std::lock_guard lock(m_mutex);
    m_error = "cannot connect (" + std::to_string(rc) + ")";
    m_connecting = false;
  }
}

LabSubscriber::~LabSubscriber() {
  if (!m_client) return;
  MQTTAsync client = m_client;
  if (MQTTAsync_isConnected(client)) {
    MQTTAsync_disconnectOptions d = MQTTAsync_disconnectOptions_initializer;
    d.timeout = 1000;
    MQTTAsync_disconnect(client, &d);
  }
  MQTTAsync_destroy(&client);
}

std::vector<LabSubscriber::Message> LabSubscriber::take() {
  bool retry = false;
  {
    std::lock_guard lock(m_mutex);
    retry = m_client && !m_connecting && !m_everConnected &&
            std::chrono::steady_clock::now() - m_lastAttempt > std::chrono::seconds(m_retrySeconds);
  }
  if (retry) {
    m_retrySeconds = std::min(m_retrySeconds * 2, 16);
    connect();
  }
  std::lock_guard lock(m_mutex);
  return std::exchange(m_messages, {});
}

bool LabSubscriber::connected() const {
  std::lock_guard lock(m_mutex);
  return m_connected;
}

std::string LabSubscriber::error() const {
  std::lock_guard lock(m_mutex);
  return m_error;
}

}  // namespace velmora
