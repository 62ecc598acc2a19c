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
  explicit Recorder(const QString& journalDir, const QStringList& args) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("VELMORA_JOURNAL_DIR", journalDir);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(VELMORA_RECORDER, args);
    process.waitForStarted();
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

TEST_F(Instruments, SigtermLeavesACompleteCsvAndJournal) {
  Recorder recorder(dir("journal"), ports() + QStringList{"--csv", dir("csv")});
  // A second one on the demo thermometer whose CSV folder does not exist: exit status 1.
  Recorder unwritable(dir("journal"), {"--port", "DEMO", "--rate", "120", "--csv", dir("missing/folder")});
  const QString journalPath = recorder.journal(dir("journal"));
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const auto j = readJournalFile(journalPath);
    return j.readings.size() >= 4 && !j.channels.empty() && j.channels[0].readings.size() >= 4;
  }, 30000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return readJournalFile(unwritable.journal(dir("journal"))).readings.size() >= 2; }, 30000));
  EXPECT_EQ(recorder.stop(), 0);
  EXPECT_EQ(unwritable.stop(), 1);

  const auto journal = readJournalFile(journalPath);
  EXPECT_FALSE(journal.damaged);
  const QStringList csvs = QDir(dir("csv")).entryList({"*.csv"});
  ASSERT_EQ(csvs.size(), 1);
  QFile f(QDir(dir("csv")).filePath(csvs[0]));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = f.readAll().split('\n');
  ASSERT_TRUE(isCsvChannelHeader(lines[0].trimmed().toStdString()));
  std::map<std::string, std::vector<CsvRow>> rows;
  for (int i = 1; i < lines.size(); ++i) {
    if (lines[i].trimmed().isEmpty()) continue;
    std::string channel;
    CsvRow row;
    ASSERT_TRUE(parseCsvChannelRow(lines[i].trimmed().toStdString(), channel, row)) << lines[i].toStdString();
    rows[channel].push_back(row);
  }
  // Every reading the journal holds is in the CSV, with the same values.
  const std::vector<JournalReading>* lists[] = {&journal.readings, &journal.channels.at(0).readings};
  const char* names[] = {"bath-1", "bath-2"};
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(rows[names[k]].size(), lists[k]->size()) << names[k];
    for (std::size_t i = 0; i < lists[k]->size(); ++i) {
      EXPECT_EQ(rows[names[k]][i].utcMs, (*lists[k])[i].utcMs);
      EXPECT_EQ(rows[names[k]][i].resistance, (*lists[k])[i].resistance);
    }
  }
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
