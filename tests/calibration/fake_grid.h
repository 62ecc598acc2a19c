#pragma once
#include <map>
#include <string>
#include <vector>

#include "calibration/calculations.h"
#include "common/number_text.h"
#include "math/platinum.h"

namespace velmora::test {

struct FakeGrid : CalibrationGrid {
  int rows = 21;
  std::map<std::pair<int, int>, std::string> data, cof;
  int type = 0;
  int highlight = 0;
  std::vector<std::string> errors;
  std::pair<int, int> focusedData{0, 0}, focusedCof{0, 0};
  int pauses = 0;

  int dataRowCount() const override { return rows; }
  std::string dataCell(int c, int r) const override {
    auto it = data.find({c, r});
    return it == data.end() ? std::string() : it->second;
  }
  void setDataCell(int c, int r, std::string_view t) override { data[{c, r}] = t; }
  std::string cofCell(int c, int r) const override {
    auto it = cof.find({c, r});
    return it == cof.end() ? std::string() : it->second;
  }
  void setCofCell(int c, int r, std::string_view t) override { cof[{c, r}] = t; }
  int dataType() const override { return type; }
  void setHighlightDataRow(int r) override { highlight = r; }
  void focusDataCell(int c, int r) override { focusedData = {c, r}; }
  void focusCofCell(int c, int r) override { focusedCof = {c, r}; }
  void repaintData() override {}
  void pause(int) override { ++pauses; }
  void showError(std::string_view t) override { errors.emplace_back(t); }
  std::string text(std::string_view id) const override { return std::string(id); }

  // A calibration point in row r: measured value and reference temperature.
  void point(int r, const std::string& measured, const std::string& actual) {
    data[{2, r}] = measured;
    data[{3, r}] = actual;
  }
  std::vector<std::string> newRow() const {
    return {cofCell(1, 2), cofCell(2, 2), cofCell(3, 2), cofCell(4, 2)};
  }
};

// The IEC 60751 factors, and rows of their exact resistances (with `decimals`) at the given
// temperatures, from row 1 on.
inline const math::TCofSet kIec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
inline void exactRows(FakeGrid& g, const std::vector<double>& temps, int decimals = 9) {
  int r = 1;
  for (double t : temps) g.point(r++, formatFixed(math::RofT(kIec, t, t < 0), 12, decimals), formatFixed(t, 6, 2));
}

}  // namespace velmora::test
