#pragma once
// The instruments the program reads: the designed one first (channel 1), up to 16 in all,
// the one whose readout, list and statistics the window shows (the selected one), and the
// recording clock they share. Record starts and stops them together.

#include <QObject>
#include <memory>
#include <vector>

#include "channel/channel.h"
#include "channel/channel_settings.h"
#include "display/recording_clock.h"

namespace velmora {

namespace sim {
struct Bath;
}

class ChannelSet : public QObject {
  Q_OBJECT
 public:
  // `options` are those of every channel's link (the demo bath among them).
  ChannelSet(ConnectionOptions options, const Clock& wallClock, QObject* parent = nullptr);
  ~ChannelSet() override;

  // The designed instrument, whose readings go to the main window.
  Channel& addDesigned(ReadingSink& window);
  // Another instrument on `port` ("DEMO2", a serial port, "USB:<serial>", or "" for a channel
  // that holds readings from a file); nothing when 16 are there already.
  Channel* add(const std::string& port, const QString& name = {});
  void remove(Channel* channel);  // never the first

  std::size_t size() const { return m_channels.size(); }
  Channel& at(std::size_t i) { return *m_channels.at(i); }
  const Channel& at(std::size_t i) const { return *m_channels.at(i); }
  Channel& first() { return *m_channels.front(); }
  std::size_t indexOf(const Channel* c) const;

  Channel& selected() { return *m_channels.at(m_selected); }
  std::size_t selectedIndex() const { return m_selected; }
  void select(std::size_t i);

  RecordingClock& clock() { return m_clock; }
  // Whether any channel after the first records (the window starts the first as designed).
  bool othersRecording() const;
  // The next free demo instrument's port ("DEMO2" …).
  std::string nextDemoPort() const;

  std::vector<ChannelSetting> settings() const;

 signals:
  void channelAdded(velmora::Channel* channel);
  void channelRemoved(velmora::Channel* channel);  // just before it goes
  void selectionChanged();

 private:
  ConnectionOptions m_options;
  const Clock& m_wallClock;
  RecordingClock m_clock;
  std::vector<std::unique_ptr<Channel>> m_channels;
  std::size_t m_selected = 0;
};

}  // namespace velmora
