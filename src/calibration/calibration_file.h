#pragma once
// Calibration files (*.clb): the data type, the input table's size and cells column by
// column, the coefficient table's size and cells, and the method — one item per line, CR LF.
// Files are untrusted: a load reads into a fresh copy and reports the first bad line.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct CalibrationTables {
  int dataType = 0;     // 0 resistance, 1 temperature
  int dataColumns = 5;  // including the fixed column 0
  int dataRows = 21;    // including the fixed row 0
  std::vector<std::string> dataCells;  // columns 1.., each rows 1..; (dataColumns-1)×(dataRows-1)
  int cofColumns = 5;
  int cofRows = 3;
  std::vector<std::string> cofCells;  // columns 1..4, each rows 1..2
  int calcMethod = 0;

  // Cell (column ≥ 1, row ≥ 1) of each table.
  std::string& data(int column, int row) { return dataCells[static_cast<std::size_t>((column - 1) * (dataRows - 1) + row - 1)]; }
  std::string& cof(int column, int row) { return cofCells[static_cast<std::size_t>((column - 1) * (cofRows - 1) + row - 1)]; }
  const std::string& data(int column, int row) const {
    return dataCells[static_cast<std::size_t>((column - 1) * (dataRows - 1) + row - 1)];
  }
  const std::string& cof(int column, int row) const {
    return cofCells[static_cast<std::size_t>((column - 1) * (cofRows - 1) + row - 1)];
  }
  void resize();  // cells to match the counts, empty
};

std::string calibrationFileText(const CalibrationTables& tables);

struct CalibrationFileLoad {
  bool ok = true;
  std::size_t line = 0;
  std::string error;
};

// Input table exactly 5 columns and 2 to 1000 rows, coefficient table exactly 5 × 3.
CalibrationFileLoad parseCalibrationFile(std::string_view bytes, CalibrationTables& out);

}  // namespace velmora
