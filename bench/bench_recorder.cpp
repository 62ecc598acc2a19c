// The recorder's memory over a day, in virtual time: sixteen channels that keep no readings,
// each reading taken through the protocol's answer, the channel, the day's CSV file and the
// outbox of a broker that never answers (so the outbox grows to a day's readings on disk, as
// in a day-long outage). Its resident memory after a minute's readings and after a day's
// (16 × 120 a minute × 1440 minutes = 2 764 800 readings); the two must be the same.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <thread>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "files/daily_csv.h"
#include "network/mqtt_publisher.h"
#include "recorder/recorder_outputs.h"

using namespace velmora;

namespace {
double residentMb() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}
}  // namespace

static void BM_RecorderMemoryOverADay(benchmark::State& state) {
  const long perMinute = 16 * 120;
  const long minutes = state.range(0);
  for (auto _ : state) {
    QTemporaryDir dir;
    SteadyDayClock wall;
    RecordingClock clock(wall);
    std::vector<std::unique_ptr<Channel>> channels;
    for (int k = 1; k <= 16; ++k) {
      ConnectionOptions options;
      options.hidBackend = [] { return std::unique_ptr<HidBackend>(); };
      channels.push_back(std::make_unique<Channel>(k, options, clock, wall));
      channels.back()->name = QString("T%1").arg(k);
      channels.back()->setKeepReadings(false);
    }
    MqttSettings mqtt;
    mqtt.enabled = true;
    mqtt.url = "tcp://127.0.0.1:1";  // nobody there: every reading waits in the outbox
    mqtt.station = "bench";
    DailyCsvWriter csv(dir.filePath("csv").toStdString(), "bench");
    QDir().mkpath(dir.filePath("csv"));
    auto publisher = std::make_unique<MqttPublisher>(mqtt, dir.filePath("outbox").toStdString());
    const RecorderOutputs outputs{&csv, nullptr, publisher.get()};
    for (auto& c : channels) QObject::connect(c.get(), &Channel::readingAdded, [&outputs](Channel* ch) { outputs.reading(*ch); });
    clock.startRun();
    double afterMinute = 0;
    for (long m = 0; m < minutes; ++m) {
      for (long i = 0; i < perMinute; ++i) {
        Protocol& p = channels[static_cast<std::size_t>(i % 16)]->protocol();
        p.WaitData = true;
        p.ParseRXstr("108.2154 21.0036");
      }
      if (m % 10 == 9) csv.sync();
      while (publisher->state().waiting + 20000 < static_cast<std::uint64_t>((m + 1) * perMinute))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the outbox keeps up, as it does at 32 a second
      if (m == 0) afterMinute = residentMb();
    }
    state.counters["rss_MB_after_1_min"] = afterMinute;
    state.counters["rss_MB_after_run"] = residentMb();
    state.counters["readings"] = static_cast<double>(minutes * perMinute);
    state.counters["outbox_MB"] = static_cast<double>(publisher->state().outboxBytes) / (1 << 20);
    publisher.reset();
  }
}
BENCHMARK(BM_RecorderMemoryOverADay)->Arg(60)->Arg(1440)->Iterations(1)->Unit(benchmark::kSecond);
