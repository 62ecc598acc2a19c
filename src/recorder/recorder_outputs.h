#pragma once
// Where each reading of the recorder goes, at once: the day's CSV file, the recording journal
// (when there are no CSV files), the broker's outbox. Nothing of it is kept in memory here.
#include <memory>

namespace velmora {

class Channel;
class DailyCsvWriter;
class JournalWriter;
class MqttPublisher;

struct RecorderOutputs {
  DailyCsvWriter* csv = nullptr;
  JournalWriter* journal = nullptr;
  MqttPublisher* publisher = nullptr;
  // The channel's newest reading to each output there is.
  void reading(const Channel& channel) const;
};

}  // namespace velmora
