#pragma once
// Keeps the recording journal of the window's readings: every reading as it is recorded,
// a fresh journal after an open, a save or a Clear, and its removal at a normal exit. At
// start it finds the journal that a program which did not close normally left behind and
// offers to restore it.
//
// The journals live in the user's application data folder (or the folder named by the
// environment variable VELMORA_JOURNAL_DIR) as "journal-<process id>.txt", each held by a
// lock file while its program runs, so that two programs never take each other's journal.

#include <QLockFile>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display/reading_list.h"
#include "files/journal.h"
#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

class QFileInfo;
class QWidget;

namespace velmora {

class MeasurementDisplay;

class JournalKeeper {
 public:
  JournalKeeper(QWidget& window, const Translator& tr, MeasurementDisplay& display);
  ~JournalKeeper();

  // The newest reading of the display was just recorded.
  void recorded(double x, double y, double resistance = kNoValue, std::int64_t utcMs = kNoTime);
  // A further instrument (channel ≥ 2): named in the journal, and each of its readings.
  void channelAdded(int channel, const std::string& port, const std::string& name);
  void channelRemoved(int channel);
  void recordedOn(int channel, double x, double y, std::string_view line, double resistance, std::int64_t utcMs);
  // Starts the journal afresh with every reading held: the designed instrument's and these
  // further ones' (after a file of several instruments was opened).
  struct Held {
    int channel;
    const MeasurementSeries* series;
    const ReadingList* list;
  };
  void rewrite(const std::vector<Held>& others);
  // Restores a further instrument's readings found in a journal (the window makes the channel).
  std::function<void(const JournalChannel& channel)> restoreChannel;
  // The window now holds exactly the readings of this data file.
  void loaded(const QString& path);
  // Saved: the file holds the first `readings` of the window's; any recorded since follow
  // it in the journal.
  void saved(const QString& path, std::size_t readings);
  // The window holds no readings any more.
  void cleared();
  // A normal end: the journal is removed.
  void closeNormally();

  // Looks for journals of programs that did not close normally and offers each: restored
  // into the window (the journal goes once its readings are in), discarded after a second
  // question, or kept for the next start ("not now", also Escape). A journal that cannot be
  // read is kept aside under another name, and the user is told where. Lock files of
  // programs that are gone are removed. Returns whether readings were restored.
  bool offerRestore();

  bool failing() const { return m_writer && m_writer->failing(); }
  // Where this program keeps the calibration tables that were not stored (beside its journal,
  // held by the same lock), and what restores such tables left by another program.
  QString tableJournalPath() const;
  std::function<bool(std::string_view text)> restoreTables;
  QString folder() const { return m_folder; }
  QString journalPath() const;

  // Replaceable questions (tests): the offer, and the confirmation of a discard (true: delete).
  enum class Choice { Restore, Discard, Later };
  std::function<Choice(const QString& text)> restoreQuestionHook;
  std::function<bool(const QString& text)> confirmDiscardHook;
  std::function<void(MessageKind, const QString&)> messageHook;
  // Told once a second whether the journal is being written (a full disk, a read-only folder).
  std::function<void(bool failing)> failingChanged;

  static QString journalFolder();

 private:
  bool restoreFrom(const JournalContents& journal, int& restored, bool& damaged, bool& baseMissing);
  Choice ask(const QString& text);
  bool confirmDiscard(std::size_t readings);
  void tell(MessageKind kind, const QString& text);
  void keepAside(const QFileInfo& journal);
  void removeStaleLocks();
  void offerTables();
  void startNew(const std::optional<JournalBase>& base);
  void writeAll();

  QWidget& m_window;
  const Translator& m_tr;
  MeasurementDisplay& m_display;
  QString m_folder;
  std::unique_ptr<QLockFile> m_lock;
  std::unique_ptr<JournalWriter> m_writer;
  bool m_started = false;
  struct Declared {
    int channel;
    std::string port, name;
  };
  std::vector<Declared> m_channels;
  QTimer m_check;
};

}  // namespace velmora
