#include "comparison_ui/bench_controller.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <charconv>

#include "channel/channel.h"
#include "channel/channel_set.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "comparison_ui/bath_driver.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

using comparison::ComparisonRun;

namespace {
std::string num(double v) { return shortestText(v); }
}  // namespace

BenchController::BenchController(ChannelSet& channels, QString journalPath, const Translator& tr, QObject* parent)
    : QObject(parent), m_channels(channels), m_journalPath(std::move(journalPath)), m_tr(tr) {
  m_started.start();
  m_tick.setInterval(250);
  connect(&m_tick, &QTimer::timeout, this, &BenchController::tick);
  for (std::size_t i = 0; i < channels.size(); ++i) attach(&channels.at(i));
  connect(&channels, &ChannelSet::channelAdded, this, &BenchController::attach);
  connect(&channels, &ChannelSet::channelRemoved, this, &BenchController::channelRemoved);
}

BenchController::~BenchController() = default;

double BenchController::now() const { return static_cast<double>(m_started.elapsed()) / 60000.0 * timeScale; }

void BenchController::attach(Channel* c) {
  connect(c, &Channel::readingAdded, this, &BenchController::reading);
  connect(c, &Channel::factorsWritten, this, &BenchController::channelWritten);
}

void BenchController::channelRemoved(Channel*) {
  // The run knows its instruments by their place in the list, which has just changed.
  if (!running()) return;
  stop();
  emit stoppedBecause(qs(m_tr.text("bnRemoved")));
}

bool BenchController::referenceOverdue(const comparison::Reference& ref) {
  const QDate due = QDate::fromString(qs(ref.probe.due), Qt::ISODate);
  return due.isValid() && due < QDate::currentDate();
}

bool BenchController::running() const {
  return m_run && m_run->phase() != ComparisonRun::Phase::Done && m_run->phase() != ComparisonRun::Phase::Stopped &&
         m_run->phase() != ComparisonRun::Phase::Idle;
}

std::optional<comparison::Reference> BenchController::referenceFor(const BenchSetup& s, QString* why) const {
  if (s.reference < 0 || s.reference >= static_cast<int>(m_channels.size())) {
    if (why) *why = qs(m_tr.text("bnNoReference"));
    return std::nullopt;
  }
  const Channel& c = m_channels.at(static_cast<std::size_t>(s.reference));
  comparison::Reference ref;
  ref.name = c.name.toStdString();
  if (!s.referenceFile.isEmpty()) {
    std::string text;
    if (auto cause = readWholeFile(s.referenceFile.toStdString(), text)) {
      if (why) *why = qs(m_tr.text("bnProbeUnreadable")).arg(s.referenceFile, qs(*cause));
      return std::nullopt;
    }
    const metrology::ProbeLoad load = metrology::parseProbe(text);
    if (!load.probe) {
      if (why) *why = qs(m_tr.text("bnProbeDamaged")).arg(s.referenceFile).arg(load.line).arg(qs(load.error));
      return std::nullopt;
    }
    ref.probe = *load.probe;
    ref.source = "probe file " + QFileInfo(s.referenceFile).fileName().toStdString();
    return ref;
  }
  // A run taken up again uses the factors it began with.
  const std::optional<math::TCofSet> factors = s.referenceFactors ? s.referenceFactors : c.factors();
  if (!factors) {
    if (why) *why = qs(m_tr.text("bnNoFactors")).arg(c.name);
    return std::nullopt;
  }
  ref.probe.type = metrology::ProbeType::Cvd;
  ref.probe.cvd = *factors;
  ref.probe.serial = ref.name;
  ref.source = "factors held by the instrument";
  return ref;
}

void BenchController::journalLine(const std::string& line) {
  if (!m_journal) return;
  m_journal->write(line.data(), static_cast<qint64>(line.size()));
  m_journal->write("\n", 1);
  m_journal->flush();
}

bool BenchController::start(const BenchSetup& s, QString* why) {
  if (running()) return false;
  const int n = static_cast<int>(m_channels.size());
  if (s.plan.setPoints.empty()) {
    if (why) *why = qs(m_tr.text("bnNoSetPoints"));
    return false;
  }
  if (s.underTest.empty()) {
    if (why) *why = qs(m_tr.text("bnNoProbes"));
    return false;
  }
  for (int k : s.underTest)
    if (k < 0 || k >= n || k == s.reference) {
      if (why) *why = qs(m_tr.text("bnNoProbes"));
      return false;
    }
  if (!s.plan.rule.any()) {
    if (why) *why = qs(m_tr.text("bnNoRule"));
    return false;
  }
  auto run = std::make_unique<ComparisonRun>(s.plan, n, s.reference, s.underTest, !s.bathPort.isEmpty());
  if (!begin(s, std::move(run), true, why)) return false;
  m_asLeft = false;
  m_run->start(now(), QDateTime::currentMSecsSinceEpoch());
  emit changed();
  return true;
}

std::vector<std::string> BenchController::channelNames() const {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < m_channels.size(); ++i) names.push_back(m_channels.at(i).name.toStdString());
  return names;
}

bool BenchController::begin(const BenchSetup& s, std::unique_ptr<ComparisonRun> run, bool freshJournal, QString* why) {
  auto ref = referenceFor(s, why);
  if (!ref) return false;
  // A reference past its certificate's due date only with the user's reason.
  if (referenceOverdue(*ref) && s.overdueReason.trimmed().isEmpty()) {
    if (why) *why = qs(m_tr.text("bnRefOverdueRefused")).arg(qs(ref->probe.due));
    return false;
  }
  std::unique_ptr<BathDriver> bath;
  m_bath.reset();  // the last run's hold on the bath's port
  if (!s.bathPort.isEmpty()) {
    bath = std::make_unique<BathDriver>();
    QString cause;
    if (!bath->open(s.bathPort, s.bathBaud, &cause)) {
      if (why) *why = qs(m_tr.text("bnBathNotOpened")).arg(s.bathPort, cause);
      return false;
    }
  }
  auto journal = std::make_unique<QFile>(m_journalPath);
  if (!journal->open(freshJournal ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::Append)) {
    if (why) *why = qs(m_tr.text("bnJournalNotOpened")).arg(m_journalPath, journal->errorString());
    return false;
  }
  m_setup = s;
  if (s.referenceFile.isEmpty()) m_setup.referenceFactors = ref->probe.cvd;
  m_reference = std::move(ref);
  m_results.clear();
  m_written.clear();
  m_ended = false;
  m_bathSilent = false;
  m_bathLast.reset();
  m_run = std::move(run);
  m_runPlan = m_run->plan();
  m_asLeftPlan.reset();
  m_journal = std::move(journal);
  m_startUtc = QDateTime::currentMSecsSinceEpoch();
  m_stamp = QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
  m_recordFiles.clear();
  m_bath = std::move(bath);
  if (freshJournal) {
    const std::string head = m_run->header(channelNames()) + setupLines(m_setup);
    m_journal->write(head.data(), static_cast<qint64>(head.size()));
    m_journal->flush();
  }
  m_run->journal = [this](const std::string& line) { journalLine(line); };
  if (m_bath) {
    m_run->sendSetPoint = [this](double t) { m_bath->setSetPoint(t); };
    connect(m_bath.get(), &BathDriver::reading, this, [this](double t) {
      m_bathLast = t;
      if (m_run) m_run->bathReading(now(), t);
      tick();
    });
    connect(m_bath.get(), &BathDriver::silenceChanged, this, [this](bool silent) {
      m_bathSilent = silent;
      emit bathSilenceChanged(silent);
    });
  }
  // Every instrument records while the run goes on.
  bool all = true;
  all = all && m_channels.at(static_cast<std::size_t>(s.reference)).recording();
  for (int k : s.underTest) all = all && m_channels.at(static_cast<std::size_t>(k)).recording();
  if (!all && record) record(true);
  m_tick.start();
  return true;
}

void BenchController::stop() {
  if (!running()) return;
  m_run->stop(now());
  m_tick.stop();
  m_ended = true;
  saveRecord();  // what the run did up to here
  emit changed();
}

void BenchController::confirmReached(bool anyway) {
  if (!m_run) return;
  m_run->confirmReached(now(), anyway);
  emit changed();
}

void BenchController::reading(Channel* c) {
  if (!running()) return;
  const std::size_t k = m_channels.indexOf(c);
  const MeasurementSeries& s = c->series();
  if (k >= m_channels.size() || s.empty()) return;
  const std::size_t i = s.size() - 1;
  m_run->reading(static_cast<int>(k), now(), s.resistance(i), s.y(i), s.utcMs(i));
  tick();
}

void BenchController::tick() {
  if (!m_run) return;
  if (running()) m_run->tick(now());
  if (!m_ended && m_run->phase() == ComparisonRun::Phase::Done) {
    m_ended = true;
    m_tick.stop();
    runEnded();
  } else if (!m_ended && m_run->phase() == ComparisonRun::Phase::Stopped) {
    // A set point without a point, and the set-up says to stop there.
    m_ended = true;
    m_tick.stop();
    saveRecord();
    const auto order = m_run->plan().ordered();
    const int missed = m_run->index() - 1;
    emit stoppedBecause(qs(m_tr.text("bnStoppedAtMissed"))
                            .arg(missed >= 0 && missed < static_cast<int>(order.size()) ? qs(formatFixed(order[static_cast<std::size_t>(missed)], 12, 3)) : QString()));
    emit changed();
  }
}

void BenchController::runEnded() {
  if (m_asLeft) {
    for (auto& r : m_results)
      r.asLeft = comparison::probePoints(m_run->points(), m_setup.reference, r.channel, *m_reference, m_setup.budget);
  } else {
    m_runPoints = m_run->points();
    m_runNotices = m_run->notices();
    m_runUnderTest = m_run->underTest();
    evaluate();
  }
  saveRecord();
  if (m_setup.stopRecordingAtEnd && record) record(false);
  emit finished();
  emit changed();
}

void BenchController::evaluate() {
  if (!m_reference) return;
  std::vector<comparison::ProbeResult> out;
  const auto text = [this](std::string_view id) { return std::string(m_tr.text(id)); };
  for (int k : m_runUnderTest) {
    if (k >= static_cast<int>(m_channels.size())) continue;
    const Channel& c = m_channels.at(static_cast<std::size_t>(k));
    int method = m_setup.method;
    if (method < 0)
      method = comparison::suggestedMethod(
          comparison::probePoints(m_runPoints, m_setup.reference, k, *m_reference, m_setup.budget));
    // The factors it held when the run ended, not those written since; an as-left pass that
    // already ran keeps its points.
    const auto old = std::find_if(m_results.begin(), m_results.end(), [k](const auto& r) { return r.channel == k; });
    const std::optional<math::TCofSet> held = old != m_results.end() ? old->held : c.factors();
    comparison::ProbeResult r = comparison::evaluateProbe(m_runPoints, m_setup.reference, k, c.name.toStdString(),
                                                          *m_reference, m_setup.budget, held, method, text);
    r.implausible = comparison::implausibleReasons(r, m_runPlan, text);
    const auto order = m_runPlan.ordered();
    for (const auto& notice : m_runNotices)
      if (notice.channel == k && notice.index >= 0 && notice.index < static_cast<int>(order.size()))
        r.notices.push_back(qs(m_tr.text("bnNotSettled")).arg(qs(formatFixed(order[static_cast<std::size_t>(notice.index)], 8, 3)).trimmed()).toStdString());
    if (old != m_results.end()) r.asLeft = old->asLeft;
    out.push_back(std::move(r));
  }
  m_results = std::move(out);
}

bool BenchController::writeAndVerify(const std::vector<int>& channels, QString* why) {
  if (running() || writing()) return false;
  m_writeQueue.clear();
  for (const auto& r : m_results)
    if (r.fitted && std::find(channels.begin(), channels.end(), r.channel) != channels.end()) m_writeQueue.push_back(r.channel);
  if (m_writeQueue.empty()) {
    if (why) *why = qs(m_tr.text("bnNothingToWrite"));
    return false;
  }
  // The factor exchange needs the line to itself.
  if (record) record(false);
  m_written.clear();
  writeNext();
  return true;
}

void BenchController::writeNext() {
  m_writingChannel = -1;
  while (!m_writeQueue.empty()) {
    const int k = m_writeQueue.front();
    m_writeQueue.erase(m_writeQueue.begin());
    const auto result = std::find_if(m_results.begin(), m_results.end(), [k](const auto& r) { return r.channel == k; });
    if (result == m_results.end() || k >= static_cast<int>(m_channels.size())) continue;
    Channel& c = m_channels.at(static_cast<std::size_t>(k));
    m_writingChannel = k;
    if (c.writeFactors(result->cells)) {
      emit changed();
      return;
    }
    m_written[k] = {false, qs(m_tr.text("bnWriteBusy"))};
    m_writingChannel = -1;
  }
  emit changed();
  emit writingDone();
}

void BenchController::channelWritten(Channel* c, bool verified, const QString& detail) {
  const std::size_t k = m_channels.indexOf(c);
  if (static_cast<int>(k) != m_writingChannel) return;
  m_written[m_writingChannel] = {verified, detail};
  // Let the protocol finish the exchange it is in before the next instrument's begins.
  QTimer::singleShot(0, this, &BenchController::writeNext);
}

bool BenchController::startAsLeft(const std::vector<double>& setPoints, QString* why) {
  if (running() || writing() || m_results.empty()) return false;
  if (setPoints.empty()) {
    if (why) *why = qs(m_tr.text("bnNoSetPoints"));
    return false;
  }
  BenchSetup s = m_setup;
  s.plan.setPoints = setPoints;
  // The probes whose new factors were written: the others have nothing to show as left.
  s.underTest.clear();
  for (const auto& [k, w] : m_written)
    if (w.verified) s.underTest.push_back(k);
  if (s.underTest.empty()) {
    if (why) *why = qs(m_tr.text("bnNothingWritten"));
    return false;
  }
  const auto results = m_results;
  const auto written = m_written;
  const comparison::Plan runPlan = m_runPlan;
  auto run = std::make_unique<ComparisonRun>(s.plan, static_cast<int>(m_channels.size()), s.reference, s.underTest,
                                             !s.bathPort.isEmpty());
  if (!begin(s, std::move(run), false, why)) return false;
  m_results = results;
  m_written = written;
  m_runPlan = runPlan;
  m_asLeftPlan = s.plan;
  m_asLeft = true;
  // The pass's own journal after the run's, with what it needs to be taken up again.
  const std::string head = asLeftHead();
  m_journal->write(head.data(), static_cast<qint64>(head.size()));
  m_journal->flush();
  m_run->start(now(), QDateTime::currentMSecsSinceEpoch());
  emit changed();
  return true;
}

}  // namespace velmora
