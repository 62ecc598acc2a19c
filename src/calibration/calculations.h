#pragma once
// The calibration calculations over the window's two tables: the three methods that fit new
// factors R0, A, B, C from the calibration points, and the deviation of every point under
// the "New" factors. They work on an abstract grid so that they run without a display.
//
// Input table: column 1 exclusion mark ("X" = skip), column 2 the measured value (ohms, or
// °C with the data type "temperature"), column 3 the reference temperature, column 4 the
// deviation. Coefficient table: row 1 "Old", row 2 "New"; columns R0, A×10³, B×10⁷, C×10¹².

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

void calcMethod1(CalibrationGrid& grid, CalibrationState& state);
void calcMethod2(CalibrationGrid& grid, CalibrationState& state);
void calcMethod3(CalibrationGrid& grid, CalibrationState& state);
// Runs the method of `calcMethod` (0, 1, 2); any other number runs none.
void runCalcMethod(int calcMethod, CalibrationGrid& grid, CalibrationState& state);

// Fills column 4 with the deviation of every used row under the "New" factors.
void btErrorClick(CalibrationGrid& grid, CalibrationState& state);

// A row is used when its exclusion cell is empty and its measured cell is not.
bool rowUsed(const CalibrationGrid& grid, int row);

}  // namespace velmora
