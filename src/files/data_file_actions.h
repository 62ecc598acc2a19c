#pragma once
// The main window's data file commands: Save and Open with their dialogs, the progress
// gauge of a long open, and the question asked before unsaved readings would be lost.

#include <QString>
#include <functional>

#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

class QWidget;
class QProgressBar;

namespace velmora {

class MeasurementDisplay;

class DataFileActions {
 public:
  DataFileActions(QWidget& window, const Translator& tr, MeasurementDisplay& display, QWidget& gaugePanel,
                  QProgressBar& gauge)
      : m_window(window), m_tr(tr), m_display(display), m_gaugePanel(gaugePanel), m_gauge(gauge) {}

  bool miSaveClick();
  void miOpenClick();
  bool loadDataFile(const QString& path);
  // Asks before readings that were not saved would be lost; false means "Cancel".
  bool confirmDiscard();

  // Replaceable dialogs, so that tests run without a person. The file hook returns the
  // chosen path or an empty text for Cancel; the question hook 0 Save, 1 Discard, 2 Cancel.
  std::function<QString(bool save, const QString& title, const QString& folder, const QString& proposed)> fileDialogHook;
  std::function<int(const QString& text)> questionHook;
  // The general error report.
  std::function<void(const QString& text)> errorReport;

 private:
  QString fileDialog(bool save, const QString& title, const QString& folder, const QString& proposed);
  void reportError(const QString& text);

  QWidget& m_window;
  const Translator& m_tr;
  MeasurementDisplay& m_display;
  QWidget& m_gaugePanel;
  QProgressBar& m_gauge;
};

}  // namespace velmora
