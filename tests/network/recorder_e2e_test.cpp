// velmora-recorder as it runs beside the instruments: two simulators on pseudo-terminals,
// a real broker and an independent subscriber. The broker is killed for half a minute while
// recording goes on, and the recorder itself is stopped and started again during the outage:
// every reading still arrives, once per sequence number, in order, with the values the
// journal holds, the outage's readings marked historical. A SIGTERM leaves a complete CSV and
// journal; wrong arguments and ports give their exit codes.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <signal.h>
#include <filesystem>

#include "files/csv_file.h"
#include "files/journal.h"
#include "mqtt_broker.h"
#include "network/lab_message.h"
#include "pty_front_end.h"

using namespace velmora;
using velmora::test::Broker;
using velmora::test::Subscriber;

namespace {
struct Recorder {
  QProcess process;
  QString errorText;
  // `captured`: its standard error comes to a pipe (as under a service manager), read by errors().
  explicit Recorder(const QString& journalDir, const QStringList& args, bool captured = false) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("VELMORA_JOURNAL_DIR", journalDir);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(captured ? QProcess::ForwardedOutputChannel : QProcess::ForwardedChannels);
    process.start(VELMORA_RECORDER, args);
    process.waitForStarted();
  }
  const QString& errors() {
    errorText += QString::fromUtf8(process.readAllStandardError());
    return errorText;
  }
  ~Recorder() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  QString journal(const QString& dir) const { return QDir(dir).filePath(QString("recorder-%1.txt").arg(process.processId())); }
  // SIGTERM; the exit code (-1 on a crash or a hang).
  int stop() {
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) return -1;
    return process.exitCode();
  }
};

JournalContents readJournalFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = f.readAll();
  return readJournal(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The last sequence number in an outbox file (0 when none).
std::uint64_t lastInOutbox(const QString& path) {
  std::ifstream in(path.toStdString());
  std::uint64_t last = 0;
  for (std::string line; std::getline(in, line);)
    if (!in.eof()) last = std::stoull(line.substr(0, line.find(' ')));
  return last;
}

struct Received {
  std::map<std::uint64_t, std::vector<LabReading>> bySeq;  // every copy of each
  std::vector<LabReading> inOrder;
};
Received readings(Subscriber& sub, const QString& topic) {
  Received r;
  for (const auto& m : sub.on(topic)) {
    const auto reading = parseReadingPayload(m.payload.toStdString());
    if (!reading) continue;
    r.bySeq[reading->seq].push_back(*reading);
    r.inOrder.push_back(*reading);
  }
  return r;
}
// "1-12 15-40 (3 historical)": what came, for a failure's message.
std::string describe(const Received& r) {
  std::string out;
  std::uint64_t from = 0, prev = 0, historical = 0;
  for (const auto& [seq, copies] : r.bySeq) {
    historical += copies.front().historical;
    if (from && seq == prev + 1) {
      prev = seq;
      continue;
    }
    if (from) out += std::to_string(from) + "-" + std::to_string(prev) + " ";
    from = prev = seq;
  }
  if (from) out += std::to_string(from) + "-" + std::to_string(prev) + " ";
  return out + "(" + std::to_string(historical) + " historical)";
}
bool complete(const Received& r, std::uint64_t through) {
  return !r.bySeq.empty() && r.bySeq.rbegin()->first >= through && r.bySeq.size() == r.bySeq.rbegin()->first;
}

struct Instruments : ::testing::Test {
  std::vector<std::unique_ptr<sim::PtyThermometer>> sims;
  QTemporaryDir work;
  void SetUp() override {
    auto bath = std::make_shared<sim::Bath>();
    for (int k = 1; k <= 2; ++k) {
      sims.push_back(std::make_unique<sim::PtyThermometer>(static_cast<std::uint32_t>(k)));
      sims.back()->withModel([&](sim::ThermometerModel& m) { sim::placeInBath(m, bath, k); });
      ASSERT_TRUE(sims.back()->start());
    }
    QDir(work.path()).mkpath("journal");
    QDir(work.path()).mkpath("csv");
  }
  void TearDown() override {
    for (auto& s : sims) s->stop();
  }
  QString dir(const char* sub) const { return work.filePath(sub); }
  QStringList ports() const {
    return {"--port", QString::fromStdString(sims[0]->devicePath()) + "=bath-1", "--port",
            QString::fromStdString(sims[1]->devicePath()) + "=bath-2", "--rate", "120"};
  }
};
}  // namespace

TEST_F(Instruments, BrokerOutageAndARestartOfTheRecorderLoseNoReading) {
  if (test::mosquittoProgram().isEmpty()) GTEST_SKIP() << "mosquitto is not installed";
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber sub(broker);
  ASSERT_TRUE(sub.ready(broker));
  const QStringList args = ports() + QStringList{"--mqtt", broker.url(), "--station", "room-12", "--outbox", dir("outbox")};
  const QString names[] = {"bath-1", "bath-2"};
  auto topic = [](const QString& name) { return "velmora/v1/room-12/" + name + "/reading"; };
  auto outboxLast = [&](int k) { return lastInOutbox(dir("outbox") + "/" + names[k] + ".out"); };

  auto first = std::make_unique<Recorder>(dir("journal"), args);
  const QString firstJournal = first->journal(dir("journal"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return readings(sub, topic(names[0])).bySeq.size() >= 3 &&
                                           readings(sub, topic(names[1])).bySeq.size() >= 3; }, 30000));

  // The broker dies; recording goes on into the outbox.
  broker.kill();
  QElapsedTimer outage;
  outage.start();
  std::uint64_t liveBefore[2];
  for (int k = 0; k < 2; ++k) liveBefore[k] = readings(sub, topic(names[k])).bySeq.rbegin()->first;
  ASSERT_TRUE(QTest::qWaitFor([&] { return outboxLast(0) >= liveBefore[0] + 4 && outboxLast(1) >= liveBefore[1] + 4; }, 30000));
  // The recorder is stopped and started again while the broker is away.
  ASSERT_EQ(first->stop(), 0);
  const std::uint64_t stoppedAt[2] = {outboxLast(0), outboxLast(1)};
  Recorder second(dir("journal"), args);
  ASSERT_TRUE(QTest::qWaitFor([&] { return outboxLast(0) >= stoppedAt[0] + 4 && outboxLast(1) >= stoppedAt[1] + 4; }, 30000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return outage.elapsed() >= 30000; }, 40000));

  ASSERT_TRUE(broker.start());
  const std::uint64_t outageEnd[2] = {outboxLast(0), outboxLast(1)};
  // Everything through the outage and some live readings after it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return complete(readings(sub, topic(names[0])), outageEnd[0] + 4) &&
                                           complete(readings(sub, topic(names[1])), outageEnd[1] + 4); }, 60000))
      << describe(readings(sub, topic(names[0]))) << " through " << outageEnd[0] << "; " << describe(readings(sub, topic(names[1])))
      << " through " << outageEnd[1];
  // Killed without a word: the broker tells the others the station is offline.
  const QString secondJournal = second.journal(dir("journal"));
  second.process.kill();
  second.process.waitForFinished(5000);
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const auto s = sub.on("velmora/v1/room-12/status");
    return !s.empty() && s.back().payload.contains("offline");
  }, 10000));

  const JournalContents journals[] = {readJournalFile(firstJournal), readJournalFile(secondJournal)};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(names[k].toStdString());
    const Received got = readings(sub, topic(names[k]));
    // Every sequence number from the first on, each reading once (a repeat only of one the
    // broker took but did not confirm, with the same values).
    ASSERT_TRUE(complete(got, outageEnd[k] + 4));
    for (const auto& [seq, copies] : got.bySeq)
      for (const auto& c : copies) {
        EXPECT_EQ(c.utcMs, copies.front().utcMs) << seq;
        EXPECT_EQ(c.resistance, copies.front().resistance) << seq;
      }
    // The journal's readings of both runs, one after the other, are the published ones.
    std::vector<JournalReading> journal;
    for (const auto& j : journals) {
      const auto& list = k == 0 ? j.readings : j.channels.at(0).readings;
      journal.insert(journal.end(), list.begin(), list.end());
    }
    ASSERT_GE(journal.size(), outageEnd[k]);
    for (std::uint64_t seq = 1; seq <= outageEnd[k]; ++seq) {
      const LabReading& r = got.bySeq.at(seq).front();
      EXPECT_EQ(r.utcMs, journal[seq - 1].utcMs) << seq;
      EXPECT_EQ(r.resistance, journal[seq - 1].resistance) << seq;
      EXPECT_NEAR(r.temperature, journal[seq - 1].y, 1e-9) << seq;
    }
    // The outage's readings came as the backlog, marked historical, in order; live ones in
    // order too.
    std::uint64_t lastHistorical = 0, lastLive = 0;
    std::set<std::uint64_t> seen;
    for (const auto& r : got.inOrder) {
      if (!seen.insert(r.seq).second) continue;
      if (r.seq > liveBefore[k] && r.seq <= outageEnd[k]) {
        EXPECT_TRUE(r.historical) << r.seq;
      }
      std::uint64_t& last = r.historical ? lastHistorical : lastLive;
      EXPECT_GT(r.seq, last) << (r.historical ? "historical" : "live");
      last = r.seq;
    }
    EXPECT_GT(lastHistorical, stoppedAt[k]);  // the second run sent the first run's waiting readings
  }
}

// The day's CSV file is the live record: a SIGKILL leaves every reading but the last second's,
// in order and with the values the instruments answered; the next run goes on in the same
// file without a second header; a folder that cannot be written is refused before any reading.
TEST_F(Instruments, TheDaysCsvFileHoldsEveryReadingAfterAKill) {
  const QStringList args = ports() + QStringList{"--csv", dir("csv"), "--station", "room/12"};
  auto answered = [&](int k) {
    long n = 0;
    sims[static_cast<std::size_t>(k)]->withModel([&](sim::ThermometerModel& m) { n = m.readings(); });
    return n;
  };
  auto rows = [&] {
    std::map<std::string, std::vector<CsvRow>> out;
    int headers = 0;
    for (const QString& name : QDir(dir("csv")).entryList({"*.csv"})) {
      EXPECT_TRUE(name.startsWith("room_12-20")) << name.toStdString();
      QFile f(QDir(dir("csv")).filePath(name));
      f.open(QIODevice::ReadOnly);
      for (const QByteArray& raw : f.readAll().split('\n')) {
        const std::string line = raw.trimmed().toStdString();
        if (line.empty()) continue;
        if (isCsvChannelHeader(line)) {
          ++headers;
          continue;
        }
        std::string channel;
        CsvRow row;
        EXPECT_TRUE(parseCsvChannelRow(line, channel, row)) << line;
        out[channel].push_back(row);
      }
    }
    EXPECT_EQ(headers, 1);
    return out;
  };
  {
    Recorder recorder(dir("journal"), args);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered(0) >= 12 && answered(1) >= 12; }, 30000));
    ::kill(static_cast<pid_t>(recorder.process.processId()), SIGKILL);
    ASSERT_TRUE(recorder.process.waitForFinished(10000));
  }
  const auto killed = rows();
  const long answeredAtKill[] = {answered(0), answered(1)};
  const char* names[] = {"bath-1", "bath-2"};
  for (int k = 0; k < 2; ++k) {
    const auto& r = killed.at(names[k]);
    // At 120 a minute the last second is two readings; one more may have been on its way, and a
    // busy machine (a sanitizer build) may hold the flush back by a tick.
    EXPECT_GE(static_cast<long>(r.size()), answered(k) - 5) << names[k];
    for (std::size_t i = 1; i < r.size(); ++i) EXPECT_GT(r[i].utcMs, r[i - 1].utcMs);
  }
  EXPECT_TRUE(QDir(dir("journal")).entryList({"recorder-*.txt"}).isEmpty());  // the files are the record

  Recorder again(dir("journal"), args);
  ASSERT_TRUE(QTest::qWaitFor([&] { return answered(0) >= 20; }, 30000));
  EXPECT_EQ(again.stop(), 0);
  const auto all = rows();
  for (int k = 0; k < 2; ++k) {
    // A clean stop loses nothing (a poll answered as the port closed is not a reading).
    const long added = static_cast<long>(all.at(names[k]).size() - killed.at(names[k]).size());
    EXPECT_GE(added, answered(k) - answeredAtKill[k] - 1) << names[k];
    EXPECT_GE(added, 4);
  }

  Recorder unwritable(dir("journal"), {"--port", "DEMO", "--rate", "120", "--csv", dir("missing/folder")}, true);
  ASSERT_TRUE(unwritable.process.waitForFinished(30000));
  EXPECT_EQ(unwritable.process.exitCode(), 1);
  EXPECT_TRUE(unwritable.errors().contains("missing/folder: No such file or directory")) << unwritable.errors().toStdString();
}

// A broker away for long: the refusal is a line on a pipe, the outbox stays within its limit
// and says what it dropped, a second recorder on the same outbox is refused naming the first;
// when the broker comes, the newest reading arrives promptly, the station's status tells the
// drop, each instrument's factors are there retained, and the CSV still holds every reading.
TEST_F(Instruments, ABrokerAwayForLongKeepsTheOutboxWithinItsLimit) {
  if (test::mosquittoProgram().isEmpty()) GTEST_SKIP() << "mosquitto is not installed";
  Broker broker;  // its port, not yet listening
  QStringList args{"--rate", "120", "--mqtt", broker.url(), "--station", "room-12", "--outbox", dir("outbox"),
                   "--outbox-limit", "4K", "--csv", dir("csv")};
  for (int k = 1; k <= 4; ++k) args += QStringList{"--port", QString("DEMO%1=demo-%1").arg(k)};
  Recorder recorder(dir("journal"), args, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.errors().contains("outbox over its limit"); }, 60000))
      << recorder.errors().toStdString();
  EXPECT_TRUE(recorder.errors().contains("mqtt: cannot connect to " + broker.url())) << recorder.errors().toStdString();
  std::uintmax_t outboxBytes = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir("outbox").toStdString()))
    if (e.path().extension() == ".out") outboxBytes += std::filesystem::file_size(e.path());
  EXPECT_LE(outboxBytes, 4096u + 4 * 60u);  // the limit, and a reading each written since

  Recorder second(dir("journal"), {"--port", "DEMO", "--mqtt", broker.url(), "--outbox", dir("outbox")}, true);
  ASSERT_TRUE(second.process.waitForFinished(30000));
  EXPECT_EQ(second.process.exitCode(), 1);
  EXPECT_TRUE(second.errors().contains(QString("in use by velmora-recorder (process %1)").arg(recorder.process.processId())))
      << second.errors().toStdString();

  const std::uint64_t newest = lastInOutbox(dir("outbox") + "/demo-1.out");
  ASSERT_TRUE(broker.start());
  Subscriber sub(broker);
  ASSERT_TRUE(sub.ready(broker));
  ASSERT_TRUE(QTest::qWaitFor([&] { return readings(sub, "velmora/v1/room-12/demo-1/reading").bySeq.count(newest) > 0; }, 15000));
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const auto st = sub.on("velmora/v1/room-12/status");
    return !st.empty() && st.back().payload.contains("\"dropped_readings\":");
  }, 15000));
  // Retained: a subscriber that comes now still gets every instrument's factors.
  ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.errors().contains("mqtt: connected to " + broker.url()); }, 5000));
  Subscriber late(broker, {"-i", "velmora-test-late"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return late.on("velmora/v1/room-12/demo-4/factors").size() == 1; }, 10000));
  for (int k = 1; k <= 4; ++k) {
    const auto factors = late.on(QString("velmora/v1/room-12/demo-%1/factors").arg(k));
    ASSERT_FALSE(factors.empty()) << k;
    EXPECT_TRUE(factors.back().payload.startsWith("{\"R0\":100,\"A\":0.0039083,")) << factors.back().payload.toStdString();
  }
  EXPECT_EQ(recorder.stop(), 0);
  // The CSV kept what the outbox dropped: every number up to the last one published.
  QFile csv(QDir(dir("csv")).filePath(QDir(dir("csv")).entryList({"*.csv"}).value(0)));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const auto published = readings(sub, "velmora/v1/room-12/demo-1/reading");
  EXPECT_GE(static_cast<std::uint64_t>(csv.readAll().count("\ndemo-1,")), published.bySeq.rbegin()->first);
}

TEST(RecorderArguments, ExitCodes) {
  QTemporaryDir dir;
  const struct {
    QStringList args;
    int code;
  } cases[] = {
      {{"--help"}, 0},
      {{}, 2},
      {{"--port", "DEMO", "--rate", "0"}, 2},
      {{"--port", "DEMO", "--rate", "121"}, 2},
      {{"--port", "DEMO", "--bogus"}, 2},
      {{"--port", "DEMO", "--mqtt", "tcp://127.0.0.1:1", "--password-file", dir.filePath("none")}, 2},
      {{"--version"}, 0},
      {{"--port", "DEMO", "--mqtt", "tcp://"}, 2},
      {{"--port", "DEMO", "--mqtt", "tcp://127.0.0.1:99999"}, 2},
      {{"--port", "DEMO", "--mqtt", "tcp://127.0.0.1:1883", "--outbox-limit", "lots"}, 2},
      {{"--port", dir.filePath("no-such-port")}, 1},
  };
  for (const auto& c : cases) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("VELMORA_JOURNAL_DIR", dir.path());
    p.setProcessEnvironment(env);
    p.start(VELMORA_RECORDER, c.args);
    ASSERT_TRUE(p.waitForFinished(30000)) << c.args.join(' ').toStdString();
    EXPECT_EQ(p.exitCode(), c.code) << c.args.join(' ').toStdString() << "\n" << p.readAllStandardError().toStdString();
  }
}
