#pragma once
// A comparison run in the program: the run's logic (comparison_core) fed with the readings of
// the channels taking part and the bath's own temperature, on the bench's clock; the bath
// driven to each set point; every event in the run's journal, from which a run that was cut
// off is taken up again; at the end each probe under test evaluated, its new factors written
// into its instrument and read back one probe after another, and an as-left pass on request.
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "comparison/comparison_results.h"
#include "comparison/comparison_run.h"
#include "ui_common/translations.h"

namespace velmora {

class BathDriver;
class Channel;
class ChannelSet;

struct BenchSetup {
  comparison::Plan plan;
  int reference = 0;            // channel indexes
  std::vector<int> underTest;
  QString referenceFile;        // a probe file; empty: the factors the reference's instrument holds
  std::optional<math::TCofSet> referenceFactors;  // those factors, as the run took them
  comparison::BenchBudget budget;
  QString bathPort;             // empty: no bath driver (the user confirms each set point)
  int bathBaud = 9600;
  int method = -1;              // the designed method (0, 1, 2); -1: the one the points suit
  bool stopRecordingAtEnd = false;  // Record off when the run ends (else recording goes on)
  QString overdueReason;  // why a reference past its certificate's due date is used (empty: it is not)
};

class BenchController : public QObject {
  Q_OBJECT
 public:
  BenchController(ChannelSet& channels, QString journalPath, const Translator& tr, QObject* parent = nullptr);
  ~BenchController() override;

  // Recording on or off for every instrument (the main window's Record).
  std::function<void(bool)> record;
  // The bench's clock, in minutes: a steady clock running `timeScale` times faster than the
  // wall clock (1 for a real bath; the tests' and the demo's baths run faster).
  double timeScale = 1.0;
  double now() const;

  // The reference's characterisation for a set-up; nothing with the reason.
  std::optional<comparison::Reference> referenceFor(const BenchSetup& s, QString* why) const;

  // Whether the reference's certificate is past its due date (today, by the local calendar).
  static bool referenceOverdue(const comparison::Reference& ref);

  // Starts a run (recording starts with it); false with the reason.
  bool start(const BenchSetup& s, QString* why);
  void stop();
  // The user says the bath is there; `anyway`: a point even with the reference off the set point.
  void confirmReached(bool anyway = false);
  bool running() const;
  bool asLeftPass() const { return m_asLeft; }
  const comparison::ComparisonRun* run() const { return m_run.get(); }
  // The plan of the run whose points are the results (an as-left pass does not replace it),
  // and the as-left pass's plan once one ran.
  const comparison::Plan& runPlan() const { return m_runPlan; }
  const std::optional<comparison::Plan>& asLeftPlan() const { return m_asLeftPlan; }
  const BenchSetup& setup() const { return m_setup; }
  const std::optional<comparison::Reference>& reference() const { return m_reference; }
  BathDriver* bath() const { return m_bath.get(); }
  bool bathSilent() const { return m_bathSilent; }
  std::optional<double> bathTemperature() const { return m_bathLast; }
  QString journalPath() const { return m_journalPath; }

  // A run in the journal that did not reach its end: its state and set-up.
  struct Unfinished {
    comparison::ComparisonRun::Restored run;
    BenchSetup setup;
    // An as-left pass cut off after its run had ended: the run (its points give the results),
    // the factors each probe held before the write and the probes written, by instrument name.
    bool asLeft = false;
    comparison::ComparisonRun::Restored mainRun;
    BenchSetup mainSetup;
    std::map<std::string, math::TCofSet> held;
    std::vector<std::string> written;
  };
  std::optional<Unfinished> unfinished() const;
  bool resume(const Unfinished& u, QString* why);
  // Keeps the journal of a run the user will not resume aside (renamed, with the time).
  QString setJournalAside();

  // Each probe's results, once the run is done (evaluated again when the method changes).
  const std::vector<comparison::ProbeResult>& results() const { return m_results; }
  void evaluate();
  // Writes the new factors of these probes (channels) into their instruments and reads them
  // back, one after another (recording stops for it); false with the reason when it cannot begin.
  bool writeAndVerify(const std::vector<int>& channels, QString* why);
  bool writing() const { return !m_writeQueue.empty() || m_writingChannel >= 0; }
  // What the last write of each probe gave: verified, or why not (by channel index).
  struct WriteResult {
    bool verified = false;
    QString detail;
  };
  const std::map<int, WriteResult>& written() const { return m_written; }
  // An as-left pass at these set points after writing (the plan's other settings).
  bool startAsLeft(const std::vector<double>& setPoints, QString* why);

  // The run's record for a person, line by line (the log): its set-up, then each set point's
  // notices and point with clock times, means, standard deviations and numbers of readings.
  std::vector<QString> recordLines() const;
  // Where the run's record and its readings (every reading of the run's instruments while it
  // ran) were saved when it ended; empty before.
  QStringList recordFiles() const { return m_recordFiles; }
  // The channels' names, as the record gives them.
  std::vector<std::string> channelNamesNow() const { return channelNames(); }

 signals:
  void changed();
  void finished();     // a run (or the as-left pass) reached its end
  void writingDone();  // every probe written
  void bathSilenceChanged(bool silent);
  void stoppedBecause(const QString& why);
  // The run's record and readings were saved (or why not), and whether recording goes on.
  void recordSaved(const QStringList& files, const QString& error);

 private:
  // The instruments' names in their places (the journal names them; a resumed run finds them by name).
  std::vector<std::string> channelNames() const;
  void attach(Channel* c);
  void reading(Channel* c);
  void tick();
  bool begin(const BenchSetup& s, std::unique_ptr<comparison::ComparisonRun> run, bool freshJournal, QString* why);
  void journalLine(const std::string& line);
  std::string setupLines(const BenchSetup& s) const;
  void writeNext();
  void channelWritten(Channel* c, bool verified, const QString& detail);
  void channelRemoved(Channel* c);
  void runEnded();
  void saveRecord();
  std::string asLeftHead() const;
  bool resumeAsLeft(const Unfinished& u, QString* why);
  QString recordHead() const;

  ChannelSet& m_channels;
  QString m_journalPath;
  const Translator& m_tr;
  QElapsedTimer m_started;
  QTimer m_tick;
  BenchSetup m_setup;
  std::optional<comparison::Reference> m_reference;
  std::unique_ptr<comparison::ComparisonRun> m_run;
  comparison::Plan m_runPlan;
  std::optional<comparison::Plan> m_asLeftPlan;
  std::unique_ptr<BathDriver> m_bath;
  bool m_bathSilent = false;
  std::optional<double> m_bathLast;
  bool m_asLeft = false;
  bool m_ended = false;
  std::vector<comparison::ProbeResult> m_results;
  std::vector<int> m_writeQueue;
  int m_writingChannel = -1;
  std::map<int, WriteResult> m_written;
  std::unique_ptr<QFile> m_journal;
  // The run whose points are the results (an as-left pass does not replace them).
  std::vector<comparison::CapturedPoint> m_runPoints;
  std::vector<comparison::Notice> m_runNotices;
  std::vector<int> m_runUnderTest;
  std::int64_t m_startUtc = 0;
  QString m_stamp;  // the run's start, for its record's file names
  QStringList m_recordFiles;
};

}  // namespace velmora
