#include "recorder/recorder_outputs.h"

#include "channel/channel.h"
#include "files/daily_csv.h"
#include "files/journal.h"
#include "network/mqtt_publisher.h"

namespace velmora {

void RecorderOutputs::reading(const Channel& channel) const {
  const Channel::Reading& r = channel.lastReading();
  const std::string name = channel.name.toStdString();
  if (csv) csv->append(name, r.x, r.y, r.resistance, r.utcMs);
  if (journal) {
    // Channel 1's readings are the designed records, the others' carry their number.
    if (channel.number() == 1)
      journal->append(r.x, r.y, channel.lastLine(), r.resistance, r.utcMs);
    else
      journal->appendOn(channel.number(), r.x, r.y, channel.lastLine(), r.resistance, r.utcMs);
  }
  if (publisher) publisher->publish(name, r.utcMs, r.x * 1440.0, r.resistance, r.y);
}

}  // namespace velmora
