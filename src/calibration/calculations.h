#pragma once
// The calibration calculations over the window's two tables: the three methods that fit new
// factors R0, A, B, C from the calibration points, and the deviation of every point under
// the "New" factors.
//
// Input table: column 1 exclusion mark ("X" = skip), column 2 the measured value (ohms, or
// °C with the data type "temperature"), column 3 the reference temperature, column 4 the
// deviation. Coefficient table: row 1 "Old", row 2 "New"; columns R0, A×10³, B×10⁷, C×10¹².
//
// The table is read once (`readCalibrationInput`); a pure fit turns that into a plan of what
// the table shows afterwards (`fitMethod`, `deviationPlan`); the window carries the plan
// out, pacing the rows as it highlights them (`applyFit`, `applyDeviations`).

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "math/least_squares.h"
#include "math/platinum.h"

namespace velmora {

class CalibrationGrid {
 public:
  virtual ~CalibrationGrid() = default;
  virtual int dataRowCount() const = 0;  // rows including the header row (21 as designed)
  virtual std::string dataCell(int column, int row) const = 0;
  virtual void setDataCell(int column, int row, std::string_view text) = 0;
  virtual std::string cofCell(int column, int row) const = 0;
  virtual void setCofCell(int column, int row, std::string_view text) = 0;
  virtual int dataType() const = 0;  // 0 resistance, 1 temperature
  virtual void setHighlightDataRow(int row) = 0;
  virtual void focusDataCell(int column, int row) = 0;  // make current, focus, redraw
  virtual void focusCofCell(int column, int row) = 0;
  virtual void repaintData() = 0;  // redraw the input table at once
  virtual void pause(int ms) = 0;  // the per-row pacing (a window waits; tests do not)
  virtual void showError(std::string_view text) = 0;  // an error box with one OK button
  virtual std::string text(std::string_view id) const = 0;  // message of the active language
};

// Module data of the calibration: the coefficient sets and the working arrays, rebuilt by
// every calculation and kept for the deviation table (which uses OldCof as last loaded).
struct CalibrationState {
  math::TCofSet OldCof;
  math::TCofSet NewCof;
  math::QuadWorkspace quad;
  std::vector<math::TCalibrPoint> points;
  std::vector<double> PosT, PosTm, PosR, NegT, NegTm, NegR;
};

// What a calculation reads: the used rows in table order and the coefficient texts.
struct CalibrationInput {
  struct Row {
    int row;
    std::string measured;
    std::string actual;
    // The group a point belongs to where the caller knows it better than the sign of its
    // reference temperature (the bench: the set point's sign). Unset: by the sign.
    std::optional<bool> belowZero;
  };
  std::vector<Row> rows;
  int dataType = 0;
  std::string oldCells[4];  // the "Old" row
  std::string newCells[4];  // the "New" row
};
CalibrationInput readCalibrationInput(const CalibrationGrid& grid);

// What the table shows after a calculation, in the order the window shows it.
struct FitPlan {
  enum class Stop { None, BadDataCell, BadOldFactor };
  int rowsRead = 0;  // used rows highlighted and paced (an offending row included)
  Stop stop = Stop::None;
  int stopColumn = 0, stopRow = 0;  // the cell to make current with the stop's message
  struct Step {
    enum class Kind { SetNew, Reject, Error } kind;
    int index = 0;     // SetNew: factor 0..3; Reject: the table row marked "X"
    std::string text;  // SetNew: the cell text; Error: the message
  };
  std::vector<Step> steps;
  std::exception_ptr fault;  // an arithmetic fault for the general error report, last
};

// The pure calculation of method `calcMethod` (0, 1, 2); any other number plans nothing.
// `text` gives a message of the active language by its identifier.
FitPlan fitMethod(int calcMethod, const CalibrationInput& input, CalibrationState& state,
                  const std::function<std::string(std::string_view)>& text);
// Carries a plan out on the grid, pausing `rowPauseMs` at each row read (throws the
// planned arithmetic fault last).
void applyFit(CalibrationGrid& grid, const CalibrationInput& input, const FitPlan& plan, int rowPauseMs = 50);
// The pause per row: 50 ms as designed, less for long tables so that all rows together
// take about a second at most.
int rowPauseFor(std::size_t rows);

void calcMethod1(CalibrationGrid& grid, CalibrationState& state);
void calcMethod2(CalibrationGrid& grid, CalibrationState& state);
void calcMethod3(CalibrationGrid& grid, CalibrationState& state);
// Reads the table, fits and applies the plan, pacing the rows by rowPauseFor.
void runCalcMethod(int calcMethod, CalibrationGrid& grid, CalibrationState& state);

// The deviation of every used row under the "New" factors.
struct Residual {
  int row;
  double actual;     // reference temperature, °C
  double deviation;  // t_calc − t_act, °C
};
struct DeviationPlan {
  int badNewCell = -1;  // factor index of a "New" cell that does not convert
  std::vector<std::pair<int, std::string>> deviations;  // (table row, text)
  std::vector<Residual> residuals;                      // the same rows as numbers
  std::exception_ptr fault;  // after the rows above: a cell that does not convert, or a fault
};
DeviationPlan deviationPlan(const CalibrationInput& input, CalibrationState& state);
void applyDeviations(CalibrationGrid& grid, const DeviationPlan& plan, int rowPauseMs = 50);
// Fills column 4 with the deviation of every used row under the "New" factors.
void btErrorClick(CalibrationGrid& grid, CalibrationState& state);

// A row is used when its exclusion cell is empty and its measured cell is not.
bool rowUsed(const CalibrationGrid& grid, int row);

}  // namespace velmora
