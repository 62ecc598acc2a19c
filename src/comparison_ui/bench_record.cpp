// The run's record: what a person (an assessor) follows of a run — its set-up, each set point's
// capture with clock times, the bath's and every instrument's mean, standard deviation and
// number of readings, who was left out and why, what was not captured and why — and, saved with
// it when the run ends, every reading of the run's instruments while it ran, so that each point
// can be traced to the raw readings.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "channel/channel.h"
#include "channel/channel_set.h"
#include "common/clock_text.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "files/csv_file.h"
#include "comparison_ui/bench_controller.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

QString BenchController::recordHead() const {
  if (!m_run) return {};
  const auto names = channelNames();
  const auto name = [&](int k) { return k >= 0 && static_cast<std::size_t>(k) < names.size() ? qs(names[static_cast<std::size_t>(k)]) : QString::number(k + 1); };
  QStringList probes, points;
  for (int k : m_run->underTest()) probes << name(k);
  for (double v : m_run->plan().ordered()) points << qs(formatFixed(v, 12, 3));
  return qs(m_tr.text(m_asLeft ? "bnRecAsLeftHead" : "bnRecHead"))
      .arg(qs(formatUtcIso(m_startUtc)), name(m_run->reference()),
           m_reference ? qs(m_reference->source) : QString(), probes.join(", "), points.join("; "),
           qs(formatFixed(m_run->plan().setPointTolerance, 12, 3)));
}

std::vector<QString> BenchController::recordLines() const {
  std::vector<QString> out;
  if (!m_run) return out;
  out.push_back(recordHead());
  if (!m_setup.overdueReason.isEmpty() && m_reference)
    out.push_back(qs(m_tr.text("bnRecOverdue")).arg(qs(formatUtcIso(m_startUtc)), qs(m_reference->probe.due), m_setup.overdueReason));
  const auto names = channelNames();
  const auto text = [this](std::string_view id) { return std::string(m_tr.text(id)); };
  const auto order = m_run->plan().ordered();
  // Set point by set point: what was noted there, then its point.
  for (int i = 0; i < static_cast<int>(order.size()); ++i) {
    for (const auto& n : m_run->notices())
      if (n.index == i)
        out.push_back(qs(comparison::noticeRecord(n, order[static_cast<std::size_t>(i)], m_run->plan().setPointTolerance, names, text)));
    for (const auto& p : m_run->points())
      if (p.index == i)
        for (const auto& line : comparison::pointRecord(p, m_run->reference(), names, text)) out.push_back(qs(line));
  }
  if (m_run->phase() == comparison::ComparisonRun::Phase::Stopped)
    out.push_back(qs(m_tr.text("bnRecStopped")).arg(qs(formatUtcIso(QDateTime::currentMSecsSinceEpoch()))));
  if (m_run->phase() == comparison::ComparisonRun::Phase::Done)
    out.push_back(qs(m_tr.text(m_setup.stopRecordingAtEnd ? "bnRecEndStopped" : "bnRecEndGoesOn"))
                      .arg(qs(formatUtcIso(m_run->lastUtcMs() ? m_run->lastUtcMs() : QDateTime::currentMSecsSinceEpoch()))));
  return out;
}

void BenchController::saveRecord() {
  if (!m_run) return;
  const QString stem = QDir(QFileInfo(m_journalPath).absolutePath()).filePath("bench-record-" + m_stamp + (m_asLeft ? "-as-left" : ""));
  std::string record;
  for (const auto& line : recordLines()) record += line.toStdString() + "\n";
  // Every reading of the run's instruments from its start on, in the long form the program reads back.
  std::string readings;
  appendCsvChannelHeader(readings);
  std::vector<int> channels{m_run->reference()};
  channels.insert(channels.end(), m_run->underTest().begin(), m_run->underTest().end());
  for (int k : channels) {
    if (k < 0 || static_cast<std::size_t>(k) >= m_channels.size()) continue;
    const Channel& c = m_channels.at(static_cast<std::size_t>(k));
    const MeasurementSeries& s = c.series();
    const std::string name = c.name.toStdString();
    for (std::size_t i = 0; i < s.size(); ++i)
      if (s.utcMs(i) >= m_startUtc) appendCsvChannelRow(readings, name, s.x(i), s.y(i), s.resistance(i), s.utcMs(i));
  }
  const QString text = stem + ".txt", csv = stem + "-readings.csv";
  if (auto cause = writeFilesAtomically({{text.toStdString(), record}, {csv.toStdString(), readings}})) {
    emit recordSaved({}, qs(m_tr.text("bnRecordNotSaved")).arg(text, qs(*cause)));
    return;
  }
  m_recordFiles = {text, csv};
  emit recordSaved(m_recordFiles, QString());
}

}  // namespace velmora
