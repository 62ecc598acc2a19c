// The run's journal as the bench reads it back: the set-up lines beside the run's own, the
// run that was cut off, and an as-left pass cut off after its run had ended (written after the
// run's journal with the factors each probe held before the write and the probes written, so
// that the results and the pass are both taken up again).
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "channel/channel.h"
#include "channel/channel_set.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "comparison_ui/bench_controller.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

using comparison::ComparisonRun;

namespace {
std::string num(double v) { return shortestText(v); }

// The set-up a journal's "ui" lines give, beside its run's own.
BenchSetup setupOf(std::string_view text, const ComparisonRun::Restored& r) {
  BenchSetup s;
  s.plan = r.plan;
  s.reference = r.reference;
  s.underTest = r.underTest;
  std::string_view rest = text;
  while (!rest.empty()) {
    const auto nl = rest.find('\n');
    const std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    const auto w = comparison::journalWords(line);
    if (w.size() < 3 || w[0] != "ui") continue;
    if (w[1] == "reference") {
      s.referenceFile = w[2] == "-" ? QString() : qs(comparison::journalUnword(w[2]));
    } else if (w[1] == "budget" && w.size() >= 7) {
      comparison::BenchBudget& b = s.budget;
      b.referenceU = parseNumber(w[2]).value_or(b.referenceU);
      b.referenceK = parseNumber(w[3]).value_or(b.referenceK);
      b.bathStability = parseNumber(w[4]).value_or(b.bathStability);
      b.bathUniformity = parseNumber(w[5]).value_or(b.bathUniformity);
      b.resolution = parseNumber(w[6]).value_or(b.resolution);
    } else if (w[1] == "bath") {
      s.bathPort = w[2] == "-" ? QString() : qs(comparison::journalUnword(w[2]));
      if (w.size() > 3) s.bathBaud = static_cast<int>(parseNumber(w[3]).value_or(9600));
    } else if (w[1] == "overdue") {
      s.overdueReason = qs(comparison::journalUnword(w[2]));
    } else if (w[1] == "endrecording") {
      s.stopRecordingAtEnd = w[2] == "1";
    } else if (w[1] == "method") {
      s.method = static_cast<int>(parseNumber(w[2]).value_or(-1));
    } else if (w[1] == "factors" && w.size() >= 6) {
      const auto r0 = parseNumber(w[2]), a = parseNumber(w[3]), b = parseNumber(w[4]), cc = parseNumber(w[5]);
      if (r0 && a && b && cc) s.referenceFactors = math::TCofSet{*r0, *a, *b, *cc};
    }
  }
  return s;
}
}  // namespace

std::string BenchController::setupLines(const BenchSetup& s) const {
  std::string out = "ui reference " + (s.referenceFile.isEmpty() ? std::string("-") : comparison::journalWord(s.referenceFile.toStdString()));
  const comparison::BenchBudget& b = s.budget;
  out += "\nui budget " + num(b.referenceU) + " " + num(b.referenceK) + " " + num(b.bathStability) + " " + num(b.bathUniformity) +
         " " + num(b.resolution);
  out += "\nui bath " + (s.bathPort.isEmpty() ? std::string("-") : comparison::journalWord(s.bathPort.toStdString())) + " " +
         std::to_string(s.bathBaud);
  out += "\nui method " + std::to_string(s.method) + "\n";
  out += std::string("ui endrecording ") + (s.stopRecordingAtEnd ? "1" : "0") + "\n";
  if (!s.overdueReason.isEmpty()) out += "ui overdue " + comparison::journalWord(s.overdueReason.toStdString()) + "\n";
  if (s.referenceFactors)
    out += "ui factors " + num(s.referenceFactors->R0) + " " + num(s.referenceFactors->A) + " " + num(s.referenceFactors->B) + " " +
           num(s.referenceFactors->C) + "\n";
  return out;
}

std::string BenchController::asLeftHead() const {
  const auto names = channelNames();
  const auto name = [&](int k) { return comparison::journalWord(k >= 0 && static_cast<std::size_t>(k) < names.size() ? names[static_cast<std::size_t>(k)] : std::to_string(k)); };
  std::string head = std::string(comparison::kAsLeftMark) + "\n" + m_run->header(names) + setupLines(m_setup);
  for (const auto& r : m_results)
    if (r.held)
      head += "held " + name(r.channel) + " " + num(r.held->R0) + " " + num(r.held->A) + " " + num(r.held->B) + " " + num(r.held->C) + "\n";
  for (const auto& [k, w] : m_written)
    if (w.verified) head += "written " + name(k) + "\n";
  return head;
}

std::optional<BenchController::Unfinished> BenchController::unfinished() const {
  std::string text;
  if (!QFileInfo::exists(m_journalPath) || readWholeFile(m_journalPath.toStdString(), text)) return std::nullopt;
  auto r = ComparisonRun::restore(text);
  if (!r) return std::nullopt;
  Unfinished u;
  if (!r->finished) {
    if (r->nextIndex >= static_cast<int>(r->plan.setPoints.size())) return std::nullopt;
    u.setup = setupOf(text, *r);
    u.run = std::move(*r);
    return u;
  }
  // A finished run: perhaps its last as-left pass was cut off.
  const std::string mark = "\n" + std::string(comparison::kAsLeftMark) + "\n";
  const auto at = text.rfind(mark);
  if (at == std::string::npos) return std::nullopt;
  const std::string_view pass = std::string_view(text).substr(at + mark.size());
  auto a = ComparisonRun::restore(pass);
  if (!a || a->finished || a->nextIndex >= static_cast<int>(a->plan.setPoints.size())) return std::nullopt;
  u.asLeft = true;
  u.mainSetup = setupOf(std::string_view(text).substr(0, at), *r);
  u.mainRun = std::move(*r);
  u.setup = setupOf(pass, *a);
  u.run = std::move(*a);
  for (std::string_view rest = pass; !rest.empty();) {
    const auto nl = rest.find('\n');
    const auto w = comparison::journalWords(rest.substr(0, nl));
    rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    if (w.size() == 6 && w[0] == "held") {
      const auto r0 = parseNumber(w[2]), a0 = parseNumber(w[3]), b = parseNumber(w[4]), c = parseNumber(w[5]);
      if (r0 && a0 && b && c) u.held[comparison::journalUnword(w[1])] = math::TCofSet{*r0, *a0, *b, *c};
    } else if (w.size() == 2 && w[0] == "written") {
      u.written.push_back(comparison::journalUnword(w[1]));
    }
  }
  return u;
}

bool BenchController::resume(const Unfinished& u, QString* why) {
  if (running()) return false;
  if (u.asLeft) return resumeAsLeft(u, why);
  // The run's instruments by their names, wherever they are in the list now.
  std::string missing;
  const auto bound = ComparisonRun::rebind(u.run, channelNames(), &missing);
  if (!bound) {
    if (why)
      *why = u.run.names.empty() ? qs(m_tr.text("bnResumeChannels")).arg(u.run.channels)
                                 : qs(m_tr.text("bnResumeMissing")).arg(qs(missing));
    return false;
  }
  BenchSetup setup = u.setup;
  setup.reference = bound->reference;
  setup.underTest = bound->underTest;
  auto run = std::make_unique<ComparisonRun>(bound->plan, static_cast<int>(m_channels.size()), bound->reference,
                                             bound->underTest, bound->withBath);
  if (!begin(setup, std::move(run), false, why)) return false;
  m_asLeft = false;
  m_run->resume(*bound, now());
  emit changed();
  return true;
}

bool BenchController::resumeAsLeft(const Unfinished& u, QString* why) {
  const auto names = channelNames();
  std::string missing;
  const auto run = ComparisonRun::rebind(u.mainRun, names, &missing);
  const auto pass = run ? ComparisonRun::rebind(u.run, names, &missing) : std::nullopt;
  if (!run || !pass) {
    if (why) *why = qs(m_tr.text("bnResumeMissing")).arg(qs(missing));
    return false;
  }
  BenchSetup setup = u.setup;
  setup.reference = pass->reference;
  setup.underTest = pass->underTest;
  auto passRun = std::make_unique<ComparisonRun>(pass->plan, static_cast<int>(m_channels.size()), pass->reference, pass->underTest,
                                                 pass->withBath);
  if (!begin(setup, std::move(passRun), false, why)) return false;
  // The run's results as they stood when the pass began: its points, and the factors each
  // probe held before the write (its instrument holds the new ones now).
  m_runPoints = run->points;
  m_runNotices = run->notices;
  m_runUnderTest = run->underTest;
  m_runPlan = run->plan;
  m_results.clear();
  for (int k : m_runUnderTest) {
    comparison::ProbeResult held;
    held.channel = k;
    if (const auto h = u.held.find(names[static_cast<std::size_t>(k)]); h != u.held.end()) held.held = h->second;
    m_results.push_back(held);
  }
  evaluate();
  for (const auto& name : u.written)
    for (std::size_t k = 0; k < names.size(); ++k)
      if (names[k] == name) m_written[static_cast<int>(k)] = {true, QString()};
  m_asLeftPlan = pass->plan;
  m_asLeft = true;
  m_run->resume(*pass, now());
  emit changed();
  return true;
}

QString BenchController::setJournalAside() {
  const QString aside = m_journalPath + "." + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
  return QFile::rename(m_journalPath, aside) ? aside : QString();
}


}  // namespace velmora
