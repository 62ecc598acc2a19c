#pragma once
// The calibration window `TfmCalibr`: the input table `sgData`, the coefficient table
// `sgCof`, the data type choice, and the buttons that load, store, read, write, calculate
// and show deviations. While it is open it owns the device link: showing it suspends a
// running recording and opens the port, closing it resumes or closes again.

#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QCheckBox>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <vector>
#include <string>

#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"
#include "ui_common/report_document.h"
#include "calibration/calculations.h"
#include "calibration/calibration_file.h"
#include "calibration/calibration_workflow.h"
#include "device/protocol.h"

namespace velmora {

class TfmCalibr;
class ResidualWindow;

// The free fields of a calibration report (remembered between runs).
struct ReportFields {
  QString probe, operatorName, reference, notes;
};

// A header row drawn by the window (symbols, subscripts, raised exponents).
class SymbolHeader : public QHeaderView {
 public:
  SymbolHeader(QWidget* parent, std::function<void(QPainter*, const QRect&, int)> draw)
      : QHeaderView(Qt::Horizontal, parent), m_draw(std::move(draw)) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

 private:
  std::function<void(QPainter*, const QRect&, int)> m_draw;
};

// Draws the cells of both tables by the window's rules.
class CalibrationCellDelegate : public QStyledItemDelegate {
 public:
  CalibrationCellDelegate(TfmCalibr& window, bool cofTable) : m_window(window), m_cof(cofTable) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  TfmCalibr& m_window;
  bool m_cof;
};

class TfmCalibr : public QDialog, public CalibrationGrid, public FactorLink {
  Q_OBJECT
 public:
  TfmCalibr(const Translator& tr, QWidget* parent = nullptr);

  // The protocol that reads and writes the factors (and whose recording the window suspends
  // while it is open). The window becomes the protocol's factor link; the protocol it worked
  // on before gets its own link back.
  void connectProtocol(Protocol& protocol);
  // The instrument the window works on, with several (its number and "name (port)" for the
  // title); 0 and empty with one instrument: the designed window. A point taken from another
  // instrument's readings is refused.
  void setInstrument(int channel, const QString& caption);
  int instrumentChannel() const { return m_instrumentChannel; }

  std::function<void(MessageKind, const QString&)> messageHook;
  std::function<void(const QString&)> errorReport;  // the general error report
  std::function<QString(bool save, const QString& title, const QString& folder, const QString& proposed)>
      fileDialogHook;

  int CalcMethod() const { return m_calcMethod; }
  void setCalcMethod(int method);
  void UpdateStrings();  // captions and texts after a language switch
  void setPacing(bool on) { m_pacing = on; }  // the 50 ms row pauses and the blink

  // The coefficient table for the protocol: row 1 "Old", 2 "New"; columns 1..4.
  QString coefficientText(int row, int column) const;
  void setCoefficientText(int row, int column, const QString& text);
  void setStatus(const QString& text);
  void appendStatus(const QString& text);
  QString status() const;

  // FactorLink
  void setFactorStatus(std::string_view text) override { setStatus(qs(text)); }
  void appendFactorStatus(std::string_view text) override { appendStatus(qs(text)); }
  std::string newCofCell(int index) const override { return cofCell(index + 1, 2); }
  void rejectNewCofCell(int index) override;
  void setFactorCell(int row, int column, std::string_view text) override { setCofCell(column, row, text); }
  void cofProgressChanged() override;
  bool WasRecording() const { return m_wasRecording; }
  void writeVerified(const std::vector<Mismatch>& mismatches) override;
  void readBackFailed(std::string_view reason) override;

  // Beyond the designed window: a point taken from a stretch of readings, the checks
  // before a calculation, the residual plot, the write's read-back and the report.
  // Puts the stretch's mean into the next free row and asks for the reference temperature
  // (false: refused with a message, or cancelled).
  bool addCalibrationPoint(const MeasuredStretch& stretch);
  std::function<std::optional<QString>(const QString& prompt)> actualTemperatureHook;  // nothing: Cancel
  // The stretch the main window's statistics describe (the status bar's "Point" button
  // takes it while this modal window is open).
  std::function<MeasuredStretch()> currentStretch;
  std::function<bool(const QString& text)> warningHook;  // true: calculate anyway
  std::function<bool(ReportFields& fields)> reportFieldsHook;  // false: Cancel
  ResidualWindow* residualWindow() const { return m_residualWindow; }
  const std::vector<Residual>& residuals() const { return m_residuals; }
  QCheckBox* verifyBox() const { return m_cbVerify; }
  ReportFields& reportFields() { return m_reportFields; }
  // The tables are kept while they have changes that were not stored (Store, Load): in the
  // file named here, written at every change, so that a crash does not take them.
  void setTableJournal(const QString& path);
  bool tablesChanged() const { return m_tablesChanged; }
  // Tables kept by a program that did not close normally (the calibration file's text).
  bool restoreTables(std::string_view text);
  // At exit, changes that were not stored are asked about: Store, Discard or Cancel (false).
  bool confirmTablesAtExit();
  std::function<int(const QString& text)> tablesQuestionHook;  // 0 Store, 1 Discard, 2 Cancel
  // Asks for the report's fields and a file name, then writes the PDF and the points' CSV.
  void btReportClick();
  // Writes the report to `pdfPath` and the points to the CSV beside it; false with a
  // message when a file cannot be written.
  bool makeReport(const QString& pdfPath);
  // The CSV of the points written beside a report.
  static QString pointsPathFor(const QString& pdfPath);

  // Handlers, public so that tests can drive them.
  void btCalcMouseDown(Qt::MouseButton button);
  void pmCalc_N1Click(int tag);
  void btErrorClick();
  bool btSaveClick();  // false: cancelled or failed
  void btLoadClick();
  void toggleExclusion(int row);
  CalibrationState& state() { return m_state; }
  int HighlightDataRow() const { return m_highlightDataRow; }
  int HighlightCofRow() const { return m_highlightCofRow; }
  bool cofMismatch(int index) const { return index >= 0 && index < 4 && m_cofMismatch[index]; }

  // CalibrationGrid
  int dataRowCount() const override { return m_sgData->rowCount() + 1; }
  std::string dataCell(int column, int row) const override;
  void setDataCell(int column, int row, std::string_view text) override;
  std::string cofCell(int column, int row) const override;
  void setCofCell(int column, int row, std::string_view text) override;
  int dataType() const override { return m_rbTemperature->isChecked() ? 1 : 0; }
  void setHighlightDataRow(int row) override { m_highlightDataRow = row; }
  void focusDataCell(int column, int row) override;
  void focusCofCell(int column, int row) override;
  void repaintData() override;
  void pause(int ms) override;
  void showError(std::string_view text) override;
  std::string text(std::string_view id) const override { return std::string(m_tr.text(id)); }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class CalibrationCellDelegate;
  void FormActivate();
  void FormClose();
  void clearCofMismatches();
  void tablesChangedByUser();
  void writeTableJournal();
  void tablesKept();
  void updateCalcCaption();
  void drawDataHeader(QPainter* p, const QRect& r, int section);
  void drawCofHeader(QPainter* p, const QRect& r, int section);
  void message(MessageKind kind, const QString& text);
  void reportError(const QString& text);
  void applyTables(const CalibrationTables& t);
  CalibrationTables collectTables() const;
  QString fileDialog(bool save, const QString& title, const QString& proposed);
  void buildWorkflowControls();
  void retranslateWorkflow();
  bool confirmFitWarnings();
  void updateResiduals();
  QString methodName() const;
  QTableWidget* makeGrid(QGroupBox* box, const char* name, int rows, const QRect& geometry, int headerHeight, int rowHeaderWidth,
                         bool coefficients);
  ReportDocument reportDocument(const ResidualSummary& summary) const;

  void applyTitle();

  const Translator& m_tr;
  Protocol* m_protocol = nullptr;
  FactorLink* m_linkBefore = nullptr;  // the protocol's own link, given back when the window moves on
  int m_instrumentChannel = 0;
  QString m_instrumentCaption;
  CalibrationState m_state;
  QGroupBox* m_rgRorT;
  QRadioButton* m_rbResistance;
  QRadioButton* m_rbTemperature;
  QGroupBox* m_gbData;
  QTableWidget* m_sgData;
  QGroupBox* m_gbCof;
  QTableWidget* m_sgCof;
  QPushButton *m_btLoad, *m_btSave, *m_btRead, *m_btWrite, *m_btCalc, *m_btError;
  QMenu* m_pmCalc;
  QProgressBar* m_pbWrite;
  QStatusBar* m_status;
  QLabel* m_statusText;
  int m_calcMethod = 0;
  int m_highlightDataRow = 0;
  int m_highlightCofRow = 0;
  bool m_wasRecording = false;
  bool m_pacing = true;
  QCheckBox* m_cbVerify = nullptr;
  QToolButton* m_btTakePoint = nullptr;
  QToolButton* m_btResiduals = nullptr;
  QToolButton* m_btReport = nullptr;
  ResidualWindow* m_residualWindow = nullptr;
  std::vector<Residual> m_residuals;
  ReportFields m_reportFields;
  // What a point taken from the readings stood on, by table row (for the report).
  struct PointInfo {
    std::size_t count = 0;
    double sd = NAN;
    QString from, to;
  };
  std::map<int, PointInfo> m_pointInfo;
  bool m_takingPoint = false;
  QString m_tableJournal;
  bool m_tablesChanged = false;
  bool m_applyingTables = false;
  QTimer m_tableJournalTimer;
  // "New" factors that the instrument did not store as written (Verify): shown in red, the
  // written value kept, until the next write or an edit of the cell.
  bool m_cofMismatch[4] = {false, false, false, false};
  bool m_settingMismatch = false;
};

}  // namespace velmora
