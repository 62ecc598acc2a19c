// velmora-recorder: Velmora's recording without a window, for a small computer beside the
// instruments. It reads every instrument given, keeps the recording journal, reconnects,
// publishes every reading to an MQTT broker (when asked), and at a clean stop (SIGTERM,
// SIGINT) writes every reading as CSV. A one-line status goes to a terminal.
//
//   velmora-recorder --port PATH[=NAME] [--port …] [--rate N] [--reconnect MINUTES]
//                    [--mqtt URL --station NAME [--user U --password-file F]
//                     [--ca FILE [--cert FILE --key FILE]]] [--csv DIR] [--outbox DIR]
//
// Exit status: 0 after a clean stop, 1 when an instrument's port cannot be opened at the
// start or the CSV cannot be written, 2 for wrong arguments.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "files/csv_file.h"
#include "files/journal.h"
#include "network/mqtt_publisher.h"
#include "simulator/thermometer_model.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

using namespace velmora;

namespace {
std::atomic<bool> g_stop{false};
void onSignal(int) { g_stop = true; }

const char* const kUsage =
    "usage: velmora-recorder --port PATH[=NAME] [--port ...] [--rate N] [--reconnect MINUTES]\n"
    "       [--mqtt URL --station NAME [--user U --password-file F] [--ca FILE [--cert F --key F]]]\n"
    "       [--csv DIR] [--outbox DIR]\n"
    "  --port PATH[=NAME]  an instrument's serial port (DEMO: the demo thermometer), named NAME\n"
    "  --rate N            readings a minute, 1 to 120 (60)\n"
    "  --reconnect M       minutes a lost instrument is tried again (10)\n"
    "  --mqtt URL          publish every reading: tcp://host:1883, ssl://host:8883\n"
    "  --station NAME      this recorder's name in the topics (the host name)\n"
    "  --csv DIR           at a clean stop (SIGTERM, SIGINT) every reading as CSV into DIR\n"
    "  --outbox DIR        where readings wait for the broker\n"
    "Exit status: 0 after a clean stop, 1 when a port cannot be opened or the CSV not written,\n"
    "2 for wrong arguments.\n";

int usage(const char* why) {
  std::fprintf(stderr, "velmora-recorder: %s\n%s", why, kUsage);
  return 2;
}

QString dataFolder(const char* sub) {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/KORVAN/Velmora/" + sub;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  struct Port {
    std::string path, name;
  };
  std::vector<Port> ports;
  int rate = 60, reconnectMinutes = 10;
  MqttSettings mqtt;
  std::string csvDir, outboxDir, passwordFile;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    auto next = [&] { return std::string(argv[++i]); };
    if (a == "--help" || a == "-h") {
      std::printf("%s", kUsage);
      return 0;
    }
    if (a == "--version") {
      std::printf("velmora-recorder %s\n", VELMORA_VERSION);
      return 0;
    }
    if (a == "--port" && value) {
      std::string p = next();
      const auto eq = p.find('=');
      ports.push_back({p.substr(0, eq), eq == std::string::npos ? std::string() : p.substr(eq + 1)});
      if (ports.back().name.empty()) {
        const auto slash = ports.back().path.find_last_of("/\\");
        ports.back().name = slash == std::string::npos ? ports.back().path : ports.back().path.substr(slash + 1);
      }
    } else if (a == "--rate" && value) {
      const auto r = parseInteger(next());
      if (!r || *r < 1 || *r > 120) return usage("--rate takes 1 to 120 readings a minute");
      rate = *r;
    } else if (a == "--reconnect" && value) {
      const auto r = parseInteger(next());
      if (!r || *r < 1 || *r > 1440) return usage("--reconnect takes 1 to 1440 minutes");
      reconnectMinutes = *r;
    } else if (a == "--mqtt" && value) {
      mqtt.url = next();
      mqtt.enabled = true;
    } else if (a == "--station" && value) {
      mqtt.station = next();
    } else if (a == "--user" && value) {
      mqtt.user = next();
    } else if (a == "--password-file" && value) {
      passwordFile = next();
    } else if (a == "--ca" && value) {
      mqtt.caFile = next();
    } else if (a == "--cert" && value) {
      mqtt.certFile = next();
    } else if (a == "--key" && value) {
      mqtt.keyFile = next();
    } else if (a == "--csv" && value) {
      csvDir = next();
    } else if (a == "--outbox" && value) {
      outboxDir = next();
    } else {
      return usage(("unknown or incomplete argument: " + a).c_str());
    }
  }
  if (ports.empty()) return usage("at least one --port is needed");
  if (ports.size() > 16) return usage("at most 16 instruments");
  if (mqtt.enabled && mqtt.station.empty()) mqtt.station = QSysInfo::machineHostName().toStdString();
  // Under systemd the password may come as a credential of the service.
  if (passwordFile.empty() && !qEnvironmentVariableIsEmpty("CREDENTIALS_DIRECTORY")) {
    const QString credential = QDir(qEnvironmentVariable("CREDENTIALS_DIRECTORY")).filePath("mqtt-password");
    if (QFileInfo::exists(credential)) passwordFile = credential.toStdString();
  }
  if (!passwordFile.empty()) {
    std::string text;
    if (auto cause = readWholeFile(passwordFile, text)) return usage(("cannot read the password file: " + *cause).c_str());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    mqtt.password = text;
  }

  SteadyDayClock wall;
  RecordingClock clock(wall);
  std::shared_ptr<const sim::Bath> bath = std::make_shared<sim::Bath>();
  std::vector<std::unique_ptr<Channel>> channels;
  for (std::size_t k = 0; k < ports.size(); ++k) {
    ConnectionOptions options;
    options.hidBackend = [] { return std::unique_ptr<HidBackend>(); };  // serial ports and demo instruments
    options.demoBath = bath;
    auto c = std::make_unique<Channel>(static_cast<int>(k + 1), options, clock, wall);
    c->name = QString::fromStdString(ports[k].name);
    c->setPort(ports[k].path);
    c->protocol().seFlowChange(std::to_string(rate));
    c->setReconnect(true, reconnectMinutes * 60000);
    channels.push_back(std::move(c));
  }

  // The journal: every reading, as the program keeps it (channel 1 as the designed records).
  const QString journalFolder = qEnvironmentVariableIsEmpty("VELMORA_JOURNAL_DIR")
                                    ? dataFolder("journal")
                                    : QString::fromLocal8Bit(qgetenv("VELMORA_JOURNAL_DIR"));
  QDir().mkpath(journalFolder);
  const QString journalPath =
      QDir(journalFolder).filePath(QString("recorder-%1.txt").arg(QCoreApplication::applicationPid()));
  JournalWriter journal(journalPath.toStdString());
  journal.startNew(std::nullopt);
  for (std::size_t k = 0; k < channels.size(); ++k)  // the first's name too ("N 1"); its readings are "V" records
    journal.declareChannel(static_cast<int>(k + 1), ports[k].path, ports[k].name);

  std::unique_ptr<MqttPublisher> publisher;
  if (mqtt.enabled) {
    const QString outbox = outboxDir.empty() ? dataFolder("outbox") + "/" + QString::fromStdString(topicLevel(mqtt.station))
                                             : QString::fromStdString(outboxDir);
    publisher = std::make_unique<MqttPublisher>(mqtt, outbox.toStdString());
  }

  for (auto& c : channels) {
    Channel* ch = c.get();
    QObject::connect(ch, &Channel::readingAdded, [&, ch] {
      const MeasurementSeries& s = ch->series();
      const std::size_t i = s.size() - 1;
      const std::string_view line = ch->list().line(ch->list().size() - 1);
      if (ch->number() == 1)
        journal.append(s.x(i), s.y(i), line, s.resistance(i), s.utcMs(i));
      else
        journal.appendOn(ch->number(), s.x(i), s.y(i), line, s.resistance(i), s.utcMs(i));
      if (publisher) publisher->publish(ch->name.toStdString(), s.utcMs(i), s.x(i) * 1440.0, s.resistance(i), s.y(i));
    });
    QObject::connect(ch, &Channel::changed, [&, ch] {
      if (!publisher) return;
      static const char* const kStates[] = {"idle", "recording", "reconnecting", "no valid readings", "failed"};
      publisher->setStatus(ch->name.toStdString(), kStates[static_cast<int>(ch->link())], ch->linkText().toStdString());
      if (const auto& f = ch->factors()) publisher->setFactors(ch->name.toStdString(), f->R0, f->A, f->B, f->C);
    });
  }
  // The factors each instrument holds, then the recording.
  clock.startRun();
  for (std::size_t k = 0; k < channels.size(); ++k) {
    if (!channels[k]->record(true)) {
      std::fprintf(stderr, "velmora-recorder: %s: %s\n", ports[k].path.c_str(),
                   channels[k]->linkText().isEmpty() ? "cannot be opened" : channels[k]->linkText().toUtf8().constData());
      return 1;
    }
  }

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  const bool terminal = isatty(fileno(stderr));
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (g_stop) {
      app.quit();
      return;
    }
    static int tick = 0;
    if (!terminal || ++tick % 10 != 0) return;
    std::string line = QDateTime::currentDateTime().toString("hh:mm:ss").toStdString();
    for (auto& c : channels) {
      const MeasurementSeries& s = c->series();
      line += "  " + c->name.toStdString() + " " + (s.empty() ? std::string("-") : formatFixed(s.y(s.size() - 1), 7, 3)) +
              " (" + std::to_string(s.size()) + ")";
    }
    if (publisher) {
      const auto st = publisher->state();
      line += st.connected ? "  mqtt: connected" : "  mqtt: " + (st.error.empty() ? std::string("connecting") : st.error);
      line += ", waiting " + std::to_string(st.waiting);
    }
    std::fprintf(stderr, "\r%-120.120s", line.c_str());
    std::fflush(stderr);
  });
  watch.start(100);
  app.exec();
  if (terminal) std::fprintf(stderr, "\n");

  // A clean stop: recording ends, every reading into the CSV, the journal complete.
  for (auto& c : channels) c->record(false);
  clock.endRun();
  int status = 0;
  if (!csvDir.empty()) {
    const std::string path = QDir(QString::fromStdString(csvDir))
                                 .filePath("velmora-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss") + ".csv")
                                 .toStdString();
    std::string text;
    if (channels.size() == 1) {
      appendCsvHeader(text);
    } else {
      appendCsvChannelHeader(text);
    }
    for (auto& c : channels) {
      const MeasurementSeries& s = c->series();
      for (std::size_t i = 0; i < s.size(); ++i) {
        if (channels.size() == 1)
          appendCsvRow(text, s.x(i), s.y(i), s.resistance(i), s.utcMs(i));
        else
          appendCsvChannelRow(text, c->name.toStdString(), s.x(i), s.y(i), s.resistance(i), s.utcMs(i));
      }
    }
    if (auto cause = writeFileAtomically(path, text)) {
      std::fprintf(stderr, "velmora-recorder: cannot write %s: %s\n", path.c_str(), cause->c_str());
      status = 1;
    } else {
      std::fprintf(stderr, "velmora-recorder: %s\n", path.c_str());
    }
  }
  journal.stop();
  publisher.reset();  // what was queued reaches the outbox
  channels.clear();
  return status;
}
