// The lab network's cost on the recording side, with the broker down (the worst case: every
// reading waits in the outbox): a reading handed to the publisher as the window hands it —
// the instrument's name, the reading's fields, the queue — while the publisher's own thread
// writes the outbox and tries the broker. And a reading's whole road in the window (answer →
// protocol → list and series → journal → views) with and without publishing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSpinBox>
#include <QTemporaryDir>
#include <cstdio>

#include "app/main_window.h"
#include "channel/channel_set.h"
#include "network/mqtt_publisher.h"
#include "network/network_settings.h"
#include "network_ui/lab_network.h"

using namespace velmora;

namespace {
MqttSettings deadBroker() {
  MqttSettings s;
  s.enabled = true;
  s.url = "tcp://127.0.0.1:1";  // nobody listens there
  s.station = "bench";
  return s;
}
}  // namespace

static void BM_PublishRoad(benchmark::State& state) {
  QTemporaryDir outbox;
  MqttPublisher publisher(deadBroker(), outbox.path().toStdString());
  const QString name = "bath 1";
  double t = 21.0;
  std::int64_t utc = 1'796'731'200'000;
  for (auto _ : state) {
    publisher.publish(name.toStdString(), utc, static_cast<double>(utc - 1'796'731'200'000) / 60000.0, 100 + t * 0.39, t);
    utc += 500;
    t += 1e-6;
  }
  state.counters["waiting_at_end"] = static_cast<double>(publisher.state().waiting);
}
BENCHMARK(BM_PublishRoad)->Unit(benchmark::kMicrosecond);

// A reading's whole road in the window; /1 with the lab network publishing to a dead broker.
static void BM_ReadingRoadPublishing(benchmark::State& state) {
  QTemporaryDir folder;
  qputenv("VELMORA_JOURNAL_DIR", folder.path().toLocal8Bit());
  MemorySettingsBackend store;
  TfmMain w(store, MainWindowOptions::with(false, 1033));
  w.messageHook = [](MessageKind, const QString&) {};
  if (state.range(0)) {
    saveNetworkSettings(store, deadBroker());
    new LabNetwork(w.context(), store, folder.path());
  }
  w.show();
  Protocol& p = w.channels().at(0).protocol();
  std::size_t i = 0;
  for (auto _ : state) {
    p.DataTimerTimer();
    char answer[48];
    const double t = 21.0 + 1e-4 * static_cast<double>(i++ % 1000);
    std::snprintf(answer, sizeof answer, "%.3f %.3f\r", 100 + 0.39 * t, t);
    p.received(answer);
  }
  p.miRecordClick(false);
}
BENCHMARK(BM_ReadingRoadPublishing)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
