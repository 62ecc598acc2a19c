#pragma once
// The main window's data file commands: Save and Open with their dialogs, the progress
// gauge of a long open, and the question asked before unsaved readings would be lost.

#include <QString>

class QFile;
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/data_file.h"

#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

class QWidget;
class QProgressBar;
class QPushButton;

namespace velmora {

class MeasurementDisplay;
class DataFileLoader;
class LoadProgress;

class DataFileActions {
 public:
  // The gauge panel shows a long open's progress; the cancel button beside it stops it.
  DataFileActions(QWidget& window, const Translator& tr, MeasurementDisplay& display, QWidget& gaugePanel,
                  QProgressBar& gauge, QPushButton& cancel);

  // Saves as a .vmd file (the list's two columns) or, when the name ends in ".csv", as CSV
  // with every value of each reading.
  bool miSaveClick();
  void miOpenClick();
  // Exports the readings [first, last) of the series (in time order) as CSV; the readings'
  // saved state does not change. With several instruments, every instrument's readings (or
  // those with X in `between`) go into one file of the long form.
  bool exportCsv(std::size_t first, std::size_t last);

  // Several instruments: the further ones' stores (after the designed one, whose name is
  // `firstName`), and what takes the further instruments of a file opened.
  struct OtherChannel {
    std::string name;
    const MeasurementSeries* series;
    const ReadingList* list;
  };
  std::function<std::vector<OtherChannel>()> otherChannels;
  std::function<std::string()> firstName;
  std::function<void(const std::string& firstName, std::vector<DataFileLoader::Channel> others)> openedChannels;
  // Opens a data file; the readings shown change only when the whole file was read. While
  // it loads, the gauge moves, the window repaints and only the cancel button takes input.
  bool loadDataFile(const QString& path);
  bool loading() const { return m_loading; }
  // Stops a load in progress (the cancel button); the readings shown stay as they were.
  void cancelLoad() { m_cancel = true; }
  // Called between steps of a load with the fraction done (tests use it to cancel).
  std::function<void(double)> loadProgressHook;
  // Asks before readings that were not saved would be lost; false means "Cancel".
  bool confirmDiscard();
  // Before an instrument with readings is removed while readings are unsaved: Save… (then
  // removed), Remove, or Cancel (Escape). True: go ahead.
  bool confirmRemove(const QString& instrument, bool hasReadings);

  // Replaceable dialogs, so that tests run without a person. The file hook returns the
  // chosen path or an empty text for Cancel; the question hook 0 Save, 1 Discard, 2 Cancel.
  std::function<QString(bool save, const QString& title, const QString& folder, const QString& proposed)> fileDialogHook;
  std::function<int(const QString& text)> questionHook;
  // The general error report, and the window's information boxes.
  std::function<void(const QString& text)> errorReport;
  std::function<void(MessageKind, const QString& text)> message;
  // Told after a file was saved (with how many of the readings it holds: recording may have
  // gone on meanwhile) or opened (the journal starts again from it).
  std::function<void(const QString& path, std::size_t readings)> savedHook;
  std::function<void(const QString& path)> loadedHook;
  // Called on the user-interface thread while a long write runs, with the fraction done
  // (tests use it to cancel).
  std::function<void(double)> writeProgressHook;

 private:
  // A question with Save / Discard / Cancel (Escape): 0, 1, 2.
  int ask(const QString& text, const QString& saveWord, const QString& discardWord, const QString& cancelWord);
  QString fileDialog(bool save, const QString& title, const QString& folder, const QString& proposed,
                     bool csvOnly = false);
  void reportError(const QString& text);
  // A save or export off the user-interface thread with the gauge and Cancel: the readings
  // [first, last) of one or more instruments (named when several, in the CSV long form).
  struct WritePart {
    std::string name;
    const MeasurementSeries* series;
    const ReadingList* list;
    std::size_t first, last;
  };
  bool writeInBackground(const QString& path, const std::vector<WritePart>& parts, bool csv, bool& cancelled);
  std::vector<WritePart> allParts(std::optional<std::pair<double, double>> between) const;
  bool readFile(QFile& file, DataFileLoader& loader, LoadProgress& progress);

  QWidget& m_window;
  const Translator& m_tr;
  MeasurementDisplay& m_display;
  QWidget& m_gaugePanel;
  QProgressBar& m_gauge;
  QPushButton& m_cancelButton;
  bool m_loading = false;
  bool m_cancel = false;
};

}  // namespace velmora
