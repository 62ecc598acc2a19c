#include "channel/channel_set.h"

#include <algorithm>

namespace velmora {

ChannelSet::ChannelSet(ConnectionOptions options, const Clock& wallClock, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_wallClock(wallClock), m_clock(wallClock) {}

ChannelSet::~ChannelSet() {
  // The links' threads go before anything they deliver to.
  for (auto it = m_channels.rbegin(); it != m_channels.rend(); ++it) it->reset();
}

Channel& ChannelSet::addDesigned(ReadingSink& window) {
  auto c = std::make_unique<Channel>(1, m_options, m_clock, m_wallClock, &window, this);
  c->name = QString::fromStdString(defaultChannelName(1));
  c->colour = QColor::fromRgb(defaultChannelColour(1));
  m_channels.insert(m_channels.begin(), std::move(c));
  return first();
}

Channel* ChannelSet::add(const std::string& port, const QString& name) {
  if (m_channels.size() >= kMaxChannels) return nullptr;
  int number = 2;
  for (bool taken = true; taken; ++number) {
    taken = false;
    for (const auto& c : m_channels) taken = taken || c->number() == number;
    if (!taken) break;
  }
  ConnectionOptions options = m_options;
  options.demo = false;
  auto c = std::make_unique<Channel>(number, options, m_clock, m_wallClock, nullptr, this);
  c->name = name.isEmpty() ? QString::fromStdString(defaultChannelName(number)) : name;
  c->colour = QColor::fromRgb(defaultChannelColour(number));
  if (!port.empty()) c->setPort(port);
  m_channels.push_back(std::move(c));
  Channel* added = m_channels.back().get();
  emit channelAdded(added);
  return added;
}

void ChannelSet::remove(Channel* channel) {
  const std::size_t i = indexOf(channel);
  if (i == 0 || i >= m_channels.size()) return;
  if (channel->recording()) channel->record(false);
  emit channelRemoved(channel);
  if (m_selected == i) {
    m_selected = 0;
    emit selectionChanged();
  } else if (m_selected > i) {
    --m_selected;
  }
  m_channels.erase(m_channels.begin() + static_cast<std::ptrdiff_t>(i));
}

std::size_t ChannelSet::indexOf(const Channel* c) const {
  for (std::size_t i = 0; i < m_channels.size(); ++i)
    if (m_channels[i].get() == c) return i;
  return m_channels.size();
}

void ChannelSet::select(std::size_t i) {
  if (i >= m_channels.size() || i == m_selected) return;
  m_selected = i;
  emit selectionChanged();
}

bool ChannelSet::othersRecording() const {
  for (std::size_t i = 1; i < m_channels.size(); ++i)
    if (m_channels[i]->recording()) return true;
  return false;
}

std::string ChannelSet::nextDemoPort() const {
  for (int k = 1; k <= kMaxChannels; ++k) {
    const std::string port = k == 1 ? "DEMO" : "DEMO" + std::to_string(k);
    bool used = false;
    for (const auto& c : m_channels) used = used || c->port() == port;
    if (!used) return port;
  }
  return "DEMO";
}

std::vector<ChannelSetting> ChannelSet::settings() const {
  std::vector<ChannelSetting> out;
  for (const auto& c : m_channels)
    out.push_back({c->name.toStdString(), c->designed() ? std::string() : c->port(),
                   static_cast<std::uint32_t>(c->colour.rgb() & 0xFFFFFF), c->shown, c->serial.toStdString(),
                   c->model.toStdString(), c->manufacturer.toStdString()});
  return out;
}

}  // namespace velmora
