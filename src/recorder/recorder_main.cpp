// velmora-recorder: Velmora's recording without a window, for a small computer beside the
// instruments, running for months under a service manager. It reads every instrument given,
// appends every reading to the day's CSV file as it comes (and/or keeps the recording
// journal), reconnects, and publishes every reading and each instrument's factors to an MQTT
// broker (when asked). It holds no reading in memory beyond what the files and the outbox
// need. Every state change and error is one timestamped line on stderr; a live status line
// only on a terminal. Under systemd it tells readiness and a watchdog's keep-alive.
//
// Exit status: 0 after a clean stop (SIGTERM, SIGINT); 1 when something needed cannot be had
// at the start (an instrument's port, the CSV folder, the outbox held by another recorder);
// 2 for wrong arguments.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "files/daily_csv.h"
#include "files/journal.h"
#include "network/mqtt_publisher.h"
#include "network/network_settings.h"
#include "recorder/recorder_outputs.h"
#include "simulator/thermometer_model.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#ifdef VELMORA_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

using namespace velmora;

namespace {
std::atomic<bool> g_stop{false};
void onSignal(int) { g_stop = true; }

const char* const kUsage =
    "usage: velmora-recorder --port PATH[=NAME] [--port ...] [--rate N] [--reconnect MINUTES]\n"
    "       [--csv DIR] [--mqtt URL [--station NAME] [--user U --password-file F]\n"
    "        [--ca FILE [--cert F --key F]] [--outbox DIR] [--outbox-limit SIZE]]\n"
    "  --port PATH[=NAME]  an instrument's serial port (DEMO: the demo thermometer), named NAME\n"
    "  --rate N            readings a minute, 1 to 120 (60)\n"
    "  --reconnect M       minutes a lost instrument is tried again (10)\n"
    "  --csv DIR           every reading as it comes into DIR/<station>-YYYY-MM-DD.csv (a file\n"
    "                      each UTC day); without it the recording journal keeps them\n"
    "  --mqtt URL          publish every reading: tcp://host:1883, ssl://host:8883\n"
    "  --station NAME      this recorder's name in the topics and the CSV files (the host name)\n"
    "  --outbox DIR        where readings wait for the broker\n"
    "  --outbox-limit S    the most that waits for the broker: 30d (days of the instruments\n"
    "                      given, the default) or a size, 500M, 2G; beyond it the oldest\n"
    "                      waiting readings are dropped (the CSV files keep them)\n"
    "  --help, --version\n"
    "Exit status: 0 after a clean stop (SIGTERM, SIGINT); 1 when a port cannot be opened, the CSV\n"
    "folder cannot be written or the outbox is held by another recorder; 2 for wrong arguments.\n";

int usage(const std::string& why) {
  std::fprintf(stderr, "velmora-recorder: %s\n%s", why.c_str(), kUsage);
  return 2;
}

QString dataFolder(const char* sub) {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/KORVAN/Velmora/" + sub;
}

// Bytes a reading takes in the outbox, about ("seq utc_ms minutes ohms degrees").
constexpr std::uint64_t kOutboxLineBytes = 57;

// "30d" (days of the instruments at the rate), "500M", "2G", "64K" or bytes.
std::optional<std::uint64_t> parseLimit(const std::string& text, std::size_t instruments, int rate) {
  if (text.empty()) return std::nullopt;
  const char unit = text.back();
  const std::string digits = std::isdigit(static_cast<unsigned char>(unit)) ? text : text.substr(0, text.size() - 1);
  const auto n = parseInteger(digits);
  if (!n || *n < 1) return std::nullopt;
  const auto v = static_cast<std::uint64_t>(*n);
  switch (unit) {
    case 'd': case 'D': return v * instruments * static_cast<std::uint64_t>(rate) * 1440 * kOutboxLineBytes;
    case 'k': case 'K': return v << 10;
    case 'm': case 'M': return v << 20;
    case 'g': case 'G': return v << 30;
    default: return std::isdigit(static_cast<unsigned char>(unit)) ? std::optional<std::uint64_t>(v) : std::nullopt;
  }
}

struct Log {
  bool terminal = false;
  bool statusShown = false;
  // One line: UTC time, the program, what happened.
  void line(const std::string& text) {
    if (statusShown) std::fprintf(stderr, "\r\033[K");
    statusShown = false;
    const std::string when = QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddThh:mm:ssZ").toStdString();
    std::fprintf(stderr, "%s velmora-recorder: %s\n", when.c_str(), text.c_str());
    std::fflush(stderr);
  }
  void status(const std::string& text) {
    int width = 120;
#ifndef _WIN32
    winsize ws{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) width = ws.ws_col;
#endif
    std::fprintf(stderr, "\r%-*.*s", width - 1, width - 1, text.c_str());
    std::fflush(stderr);
    statusShown = true;
  }
};

void notifySystemd(const char* state) {
#ifdef VELMORA_HAVE_SYSTEMD
  sd_notify(0, state);
#else
  (void)state;
#endif
}

const char* linkWord(Channel::Link link) {
  static const char* const kStates[] = {"idle", "recording", "reconnecting", "no valid readings", "failed"};
  return kStates[static_cast<int>(link)];
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
  std::string csvDir, outboxDir, passwordFile, limitText = "30d", station;
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
      station = next();
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
    } else if (a == "--outbox-limit" && value) {
      limitText = next();
    } else {
      return usage("unknown or incomplete argument: " + a);
    }
  }
  if (ports.empty()) return usage("at least one --port is needed");
  if (ports.size() > 16) return usage("at most 16 instruments");
  if (station.empty()) station = QSysInfo::machineHostName().toStdString();
  mqtt.station = station;
  const auto limit = parseLimit(limitText, ports.size(), rate);
  if (!limit || *limit < (4u << 10)) return usage("--outbox-limit takes days (30d) or a size of 4K or more (500M, 2G)");
  mqtt.outboxLimitBytes = *limit;
  if (mqtt.enabled) {
    if (mqtt.url.empty() || mqtt.url.size() == mqtt.url.find("://") + 3) return usage("--mqtt: no broker address");
    if (auto why = brokerAddressProblem(mqtt.url)) return usage("--mqtt: " + *why);
    if (mqtt.certFile.empty() != mqtt.keyFile.empty()) return usage("--cert and --key go together");
  }
  // Under systemd the password may come as a credential of the service.
  if (passwordFile.empty() && !qEnvironmentVariableIsEmpty("CREDENTIALS_DIRECTORY")) {
    const QString credential = QDir(qEnvironmentVariable("CREDENTIALS_DIRECTORY")).filePath("mqtt-password");
    if (QFileInfo::exists(credential)) passwordFile = credential.toStdString();
  }
  if (!passwordFile.empty()) {
    std::string text;
    if (auto cause = readWholeFile(passwordFile, text)) return usage("cannot read the password file: " + *cause);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    mqtt.password = text;
  }

  Log log;
  log.terminal = isatty(fileno(stderr));
  // What cannot work is refused before any reading is taken.
  std::unique_ptr<DailyCsvWriter> csv;
  if (!csvDir.empty()) {
    if (auto why = DailyCsvWriter::folderProblem(csvDir)) {
      log.line("cannot write CSV files: " + *why);
      return 1;
    }
    csv = std::make_unique<DailyCsvWriter>(csvDir, station);
  }
  std::unique_ptr<MqttPublisher> publisher;
  if (mqtt.enabled) {
    const QString outbox = outboxDir.empty() ? dataFolder("outbox") + "/" + QString::fromStdString(topicLevel(mqtt.station))
                                             : QString::fromStdString(outboxDir);
    mqtt.owner = "velmora-recorder (process " + std::to_string(QCoreApplication::applicationPid()) + ")";
    publisher = std::make_unique<MqttPublisher>(mqtt, outbox.toStdString());
    if (publisher->outboxHolder()) {
      log.line("the outbox " + outbox.toStdString() + " is in use by " + *publisher->outboxHolder());
      return 1;
    }
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
    c->setKeepReadings(false);  // each reading goes to the files and the outbox at once
    c->protocol().seFlowChange(std::to_string(rate));
    c->setReconnect(true, reconnectMinutes * 60000);
    channels.push_back(std::move(c));
  }

  // Without CSV files the recording journal keeps every reading (channel 1 as the designed
  // records); with them the day's files are the record and no journal is kept.
  std::unique_ptr<JournalWriter> journal;
  QString journalPath;
  if (!csv) {
    const QString journalFolder = qEnvironmentVariableIsEmpty("VELMORA_JOURNAL_DIR")
                                      ? dataFolder("journal")
                                      : QString::fromLocal8Bit(qgetenv("VELMORA_JOURNAL_DIR"));
    QDir().mkpath(journalFolder);
    journalPath = QDir(journalFolder).filePath(QString("recorder-%1.txt").arg(QCoreApplication::applicationPid()));
    journal = std::make_unique<JournalWriter>(journalPath.toStdString());
    journal->startNew(std::nullopt);
    for (std::size_t k = 0; k < channels.size(); ++k)
      journal->declareChannel(static_cast<int>(k + 1), ports[k].path, ports[k].name);
  }

  const RecorderOutputs outputs{csv.get(), journal.get(), publisher.get()};
  std::map<const Channel*, Channel::Link> lastLink;
  std::map<const Channel*, std::string> lastFactors;
  for (auto& c : channels) {
    Channel* ch = c.get();
    lastLink[ch] = Channel::Link::Idle;
    auto* retry = new QTimer(ch);
    QObject::connect(retry, &QTimer::timeout, ch, [ch] {
      if (ch->link() == Channel::Link::Failed && !g_stop) ch->record(true);
    });
    QObject::connect(ch, &Channel::readingAdded, [&, ch] { outputs.reading(*ch); });
    QObject::connect(ch, &Channel::changed, [&, ch, retry] {
      const std::string name = ch->name.toStdString();
      const Channel::Link was = lastLink[ch], now = ch->link();
      if (now != was) {
        lastLink[ch] = now;
        std::string text = name + " (" + ch->port() + "): " + linkWord(now);
        if (!ch->linkText().isEmpty() && now != Channel::Link::Recording) text += ": " + ch->linkText().toStdString();
        if (now == Channel::Link::Reconnecting) text = name + " (" + ch->port() + "): lost, reconnecting";
        // Unattended, an instrument given up is tried again a round later, for as long as it runs.
        if (now == Channel::Link::Failed) {
          text += "; tried again every " + std::to_string(reconnectMinutes) + " min";
          retry->start(reconnectMinutes * 60000);
        }
        if (now == Channel::Link::Recording) retry->stop();
        if (was != Channel::Link::Failed || now != Channel::Link::Idle) log.line(text);
        // An instrument back after an outage may be another one: its factors are asked again.
        if (now == Channel::Link::Recording && (was == Channel::Link::Reconnecting || was == Channel::Link::Failed))
          ch->readFactors();
      }
      if (publisher) publisher->setStatus(name, linkWord(now), ch->linkText().toStdString());
      if (const auto& f = ch->factors()) {
        const std::string payload = factorsPayload(f->R0, f->A, f->B, f->C);
        if (lastFactors[ch] != payload) {
          lastFactors[ch] = payload;
          char text[160];
          std::snprintf(text, sizeof text, ": factors R0=%.10g A=%.10g B=%.10g C=%.10g", f->R0, f->A, f->B, f->C);
          log.line(name + text);
          if (publisher) publisher->setFactors(name, f->R0, f->A, f->B, f->C);
        }
      }
    });
  }
  // The recording, its first poll asking each instrument for the factors it holds.
  clock.startRun();
  for (std::size_t k = 0; k < channels.size(); ++k) {
    if (!channels[k]->record(true)) {
      log.line(ports[k].path + ": " +
               (channels[k]->linkText().isEmpty() ? std::string("cannot be opened") : channels[k]->linkText().toStdString()));
      return 1;
    }
    channels[k]->readFactors();
  }
  log.line("recording " + std::to_string(channels.size()) + " instrument(s) at " + std::to_string(rate) + " a minute" +
           (csv ? " into " + csvDir : " into the journal " + journalPath.toStdString()) +
           (publisher ? ", publishing to " + mqtt.url + " as " + station : std::string()));
  notifySystemd("READY=1");

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::uint64_t watchdogUsec = 0;
#ifdef VELMORA_HAVE_SYSTEMD
  if (sd_watchdog_enabled(0, &watchdogUsec) <= 0) watchdogUsec = 0;
#endif
  std::string csvError, diskError;
  std::uint64_t diskDropped = 0;
  int tick = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (g_stop) {
      app.quit();
      return;
    }
    ++tick;
    if (csv && tick % 10 == 0) {  // a second: rows to the file; ten: to the disk
      auto why = tick % 100 == 0 ? csv->sync() : csv->flush();
      const std::string text = why ? *why : std::string();
      if (text != csvError) log.line(text.empty() ? "CSV writing again: " + csv->currentFile() : "cannot write CSV: " + text);
      csvError = text;
      const std::string repair = csv->takeRepairNote();
      if (!repair.empty()) log.line("a cut last line removed from " + csv->currentFile() + ": " + repair);
    }
    if (journal && journal->failing() != !diskError.empty()) {
      diskError = journal->failing() ? "journal" : "";
      log.line(journal->failing() ? "cannot write the journal " + journalPath.toStdString() : "journal writing again");
    }
    if (publisher) {
      for (const auto& e : publisher->takeEvents()) log.line("mqtt: " + e);
      const std::uint64_t refused = publisher->state().dropped;
      if (refused != diskDropped)
        log.line("mqtt: " + std::to_string(refused - diskDropped) + " readings could not be written to the outbox (the disk refused them" +
                 (csv ? "; the CSV keeps them)" : ")"));
      diskDropped = refused;
    }
    if (watchdogUsec > 0 && tick % std::max<std::uint64_t>(1, watchdogUsec / 200000) == 0) notifySystemd("WATCHDOG=1");
    if (!log.terminal || tick % 10 != 0) return;
    std::string line = QDateTime::currentDateTime().toString("hh:mm:ss").toStdString();
    for (auto& c : channels) {
      const Channel::Reading& r = c->lastReading();
      line += "  " + c->name.toStdString() + " " + (c->readingCount() == 0 ? std::string("-") : formatFixed(r.y, 7, 3)) +
              " (" + std::to_string(c->readingCount()) + ")";
    }
    if (publisher) {
      const auto st = publisher->state();
      line += st.connected ? "  mqtt: connected" : "  mqtt: " + (st.error.empty() ? std::string("connecting") : st.error);
      line += ", waiting " + std::to_string(st.waiting);
    }
    log.status(line);
  });
  watch.start(100);
  app.exec();
  notifySystemd("STOPPING=1");

  // A clean stop: no poll goes out any more, and the answers still on their way (a second at
  // most) are readings too; then recording ends, the files and the journal complete.
  for (auto& c : channels) c->protocol().stopPolling();
  QElapsedTimer answers;
  answers.start();
  auto awaiting = [&] {
    for (auto& c : channels)
      if (c->protocol().awaitingAnswer()) return true;
    return false;
  };
  while (awaiting() && answers.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  for (auto& c : channels) c->record(false);
  clock.endRun();
  int status = 0;
  std::uint64_t total = 0;
  for (auto& c : channels) total += c->readingCount();
  if (csv) {
    if (auto why = csv->sync()) {
      log.line("cannot write CSV: " + *why);
      status = 1;
    }
  }
  if (journal) journal->stop();
  if (publisher) {
    for (const auto& e : publisher->takeEvents()) log.line("mqtt: " + e);
    const auto st = publisher->state();
    publisher.reset();  // what was queued reaches the outbox
    if (st.overflow > 0) log.line("mqtt: " + std::to_string(st.overflow) + " readings were dropped for the outbox's limit");
  }
  log.line("stopped: " + std::to_string(total) + " readings" +
           (csv ? std::string(" in ") + csvDir : " in the journal " + journalPath.toStdString()));
  channels.clear();
  return status;
}
