#pragma once
// The calibration window `TfmCalibr`: the input table `sgData`, the coefficient table
// `sgCof`, the data type choice, and the buttons that load, store, read, write, calculate
// and show deviations. While it is open it owns the device link: showing it suspends a
// running recording and opens the port, closing it resumes or closes again.

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <functional>
#include <string>

#include "app/translations.h"
#include "app/ui_helpers.h"

namespace velmora {

class TfmCalibr : public QDialog {
  Q_OBJECT
 public:
  TfmCalibr(const Translator& tr, QWidget* parent = nullptr);

  // What the window asks of the main window.
  std::function<bool()> isRecording;
  std::function<void(bool)> setRecording;  // checks "Record" and runs its handler
  std::function<bool(bool)> toggleSerialPort;
  std::function<void()> clearTransferFlags;
  std::function<void()> startRead;
  std::function<void()> startWrite;
  std::function<int()> writeProgress;      // pbWrite position
  std::function<bool()> readingCof;
  std::function<bool()> writingCof;
  std::function<void(MessageKind, const QString&)> messageHook;

  int CalcMethod() const { return m_calcMethod; }
  void setCalcMethod(int method);
  void UpdateStrings();  // captions and texts after a language switch

  // The coefficient table, rows 1 ("Old") and 2 ("New"), columns 1..4.
  QString cofCell(int row, int column) const;
  void setCofCell(int row, int column, const QString& text);
  void rejectNewCofCell(int index);
  void setStatus(const QString& text);
  void appendStatus(const QString& text);
  QString status() const;
  void progressChanged();
  bool WasRecording() const { return m_wasRecording; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void FormActivate();
  void FormClose();
  void updateCalcCaption();

  const Translator& m_tr;
  QGroupBox* m_rgRorT;
  QRadioButton* m_rbResistance;
  QRadioButton* m_rbTemperature;
  QGroupBox* m_gbData;
  QTableWidget* m_sgData;
  QGroupBox* m_gbCof;
  QTableWidget* m_sgCof;
  QPushButton *m_btLoad, *m_btSave, *m_btRead, *m_btWrite, *m_btCalc, *m_btError;
  QProgressBar* m_pbWrite;
  QStatusBar* m_status;
  QLabel* m_statusText;
  int m_calcMethod = 0;
  bool m_wasRecording = false;
};

}  // namespace velmora
