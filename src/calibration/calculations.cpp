#include "calibration/calculations.h"

#include <cmath>
#include <stdexcept>

#include "common/number_text.h"

namespace velmora {

using math::TCofSet;

namespace {

constexpr double kGridScale[4] = {1.0, 1e3, 1e7, 1e12};
constexpr double kReadScale[4] = {1.0, 0.001, 1e-7, 1e-12};

// A cell that did not convert ends the calculation; the message was shown already.
struct Stop {};

std::string notAFloat(std::string_view text) {
  std::string s = "'";
  s += text;
  s += "' is not a valid floating point value";
  return s;
}

double parseDataCell(CalibrationGrid& grid, int column, int row) {
  auto v = parseNumber(grid.dataCell(column, row), Blanks::Allowed);
  if (!v) {
    grid.focusDataCell(column, row);
    grid.showError(grid.text("IDS_1"));
    throw Stop{};
  }
  return *v;
}

// Step O: the "Old" row into OldCof.
void readOldCof(CalibrationGrid& grid, CalibrationState& state) {
  double* fields[4] = {&state.OldCof.R0, &state.OldCof.A, &state.OldCof.B, &state.OldCof.C};
  for (int i = 0; i < 4; ++i) {
    auto v = parseNumber(grid.cofCell(i + 1, 1), Blanks::Allowed);
    if (!v) {
      grid.focusCofCell(i + 1, 1);
      grid.showError(grid.text("IDS_2"));
      throw Stop{};
    }
    *fields[i] = *v * kReadScale[i];
  }
}

// Step R: every used row, highlighted and paced, its deviation cleared; `store` gets (t, v).
template <typename Store>
void readRows(CalibrationGrid& grid, Store&& store) {
  for (int r = 1; r < grid.dataRowCount(); ++r) {
    if (!rowUsed(grid, r)) continue;
    grid.setHighlightDataRow(r);
    grid.setDataCell(4, r, "");
    grid.repaintData();
    grid.pause(50);
    const double t = parseDataCell(grid, 3, r);
    const double v = parseDataCell(grid, 2, r);
    store(t, v);
  }
  grid.setHighlightDataRow(0);
  grid.repaintData();
}

void writeNew(CalibrationGrid& grid, int index, double value, int decimals) {
  grid.setCofCell(index + 1, 2, formatFixed(value * kGridScale[index], 8, decimals));
}

// Steps 3 to 7 of method 2: the quadratic fit over PosT/PosR. False when singular.
bool fitQuadratic(CalibrationGrid& grid, CalibrationState& s) {
  math::BuildQuadNormalEq(s.quad, s.PosR, s.PosT);
  if (math::InvertMatrix3(s.quad.QuadMatrix, 3, s.quad.QuadInverse) != 0) {
    std::string msg = grid.text("IDS_5");
    msg += '\r';
    msg += grid.text("IDS_6");
    grid.showError(msg);
    return false;
  }
  s.quad.QuadSolution = math::MulMatrixVector3(s.quad.QuadInverse, s.quad.QuadRhs);
  const auto [a, b, c] = s.quad.QuadSolution;
  s.NewCof.R0 = c;
  s.NewCof.A = math::checkedDivide(b, s.NewCof.R0);
  s.NewCof.B = math::checkedDivide(a, s.NewCof.R0);
  writeNew(grid, 0, s.NewCof.R0, 3);
  writeNew(grid, 1, s.NewCof.A, 4);
  writeNew(grid, 2, s.NewCof.B, 4);
  return true;
}

// In temperature mode the measured temperatures of the positive group become resistances
// through the old factors, without the C term.
void positiveResistances(CalibrationGrid& grid, CalibrationState& s) {
  if (grid.dataType() != 1) return;
  readOldCof(grid, s);
  for (std::size_t i = 0; i < s.PosT.size(); ++i) s.PosR[i] = math::RofT(s.OldCof, s.PosTm[i], false);
}

void clearArrays(CalibrationState& s) {
  s.points.clear();
  for (auto* v : {&s.PosT, &s.PosTm, &s.PosR, &s.NegT, &s.NegTm, &s.NegR}) v->clear();
}

}  // namespace

bool rowUsed(const CalibrationGrid& grid, int row) {
  return grid.dataCell(1, row).empty() && !grid.dataCell(2, row).empty();
}

void calcMethod1(CalibrationGrid& grid, CalibrationState& s) {
  try {
    clearArrays(s);
    readRows(grid, [&](double t, double v) { s.points.push_back({t, v}); });
    if (grid.dataType() == 1) {
      readOldCof(grid, s);
      for (auto& p : s.points) p.R = math::RofT(s.OldCof, p.R, false);
    }
    math::TFitResult result;
    math::FitCalibration(s.points, nullptr, result);
    writeNew(grid, 0, result.R0, 3);
    writeNew(grid, 1, result.A, 4);
    writeNew(grid, 2, result.B, 4);
    writeNew(grid, 3, result.C, 4);
  } catch (const Stop&) {
  }
}

void calcMethod2(CalibrationGrid& grid, CalibrationState& s) {
  try {
    clearArrays(s);
    const bool temperature = grid.dataType() == 1;
    readRows(grid, [&](double t, double v) {
      const bool pos = t >= 0;
      (pos ? s.PosT : s.NegT).push_back(t);
      (pos ? s.PosTm : s.NegTm).push_back(temperature ? v : 0.0);
      (pos ? s.PosR : s.NegR).push_back(temperature ? 0.0 : v);
    });
    positiveResistances(grid, s);
    if (!fitQuadratic(grid, s)) return;
    if (!s.NegT.empty()) {
      if (temperature)
        for (std::size_t i = 0; i < s.NegT.size(); ++i) s.NegR[i] = math::RofT(s.OldCof, s.NegTm[i], true);
      s.NewCof.C = math::FindC(s.NewCof, s.NegT, s.NegR);
    } else {
      s.NewCof.C = s.OldCof.C;
    }
    writeNew(grid, 3, s.NewCof.C, 4);
  } catch (const Stop&) {
  }
}

void calcMethod3(CalibrationGrid& grid, CalibrationState& s) {
  try {
    clearArrays(s);
    const bool temperature = grid.dataType() == 1;
    readRows(grid, [&](double t, double v) {
      s.PosT.push_back(t);
      s.PosTm.push_back(temperature ? v : 0.0);
      s.PosR.push_back(temperature ? 0.0 : v);
    });
    positiveResistances(grid, s);
    if (!fitQuadratic(grid, s)) return;
    s.NewCof.C = 0;
    constexpr double kNoValue = 1.7e308;
    double errAt50 = kNoValue;
    for (int r = 1; r < grid.dataRowCount(); ++r) {
      if (!rowUsed(grid, r)) continue;
      const double t = parseDataCell(grid, 3, r);
      double v = parseDataCell(grid, 2, r);
      if (temperature) v = math::RofT(s.OldCof, v, t < 0);
      const double tc = math::TofR(s.NewCof, v);
      if (-55 < t && t < -45) {
        errAt50 = tc - t;
      } else if (t >= 0 && std::fabs(tc - t) > 0.04) {
        grid.setDataCell(1, r, "X");
        grid.repaintData();
        std::string msg = grid.text("IDS_11");
        msg += '\r';
        msg += grid.text("IDS_12");
        grid.showError(msg);
        errAt50 = kNoValue;
        break;
      }
    }
    s.NewCof.C = errAt50 <= 8.5e307 ? (errAt50 - 0.015) * 2.12e-10 : 0.0;
    writeNew(grid, 3, s.NewCof.C, 3);
  } catch (const Stop&) {
  }
}

void runCalcMethod(int calcMethod, CalibrationGrid& grid, CalibrationState& state) {
  switch (calcMethod) {
    case 0:
      calcMethod1(grid, state);
      break;
    case 1:
      calcMethod2(grid, state);
      break;
    case 2:
      calcMethod3(grid, state);
      break;
    default:
      break;
  }
}

void btErrorClick(CalibrationGrid& grid, CalibrationState& s) {
  double* fields[4] = {&s.NewCof.R0, &s.NewCof.A, &s.NewCof.B, &s.NewCof.C};
  for (int i = 0; i < 4; ++i) {
    auto v = parseNumber(grid.cofCell(i + 1, 2), Blanks::Allowed);
    if (!v) {
      grid.focusCofCell(i + 1, 2);
      grid.showError(grid.text("IDS_2"));
      return;
    }
    *fields[i] = *v * kReadScale[i];
  }
  for (int r = 1; r < grid.dataRowCount(); ++r) {
    if (!rowUsed(grid, r)) continue;
    const std::string tText = grid.dataCell(3, r);
    const auto tAct = parseNumber(tText, Blanks::Allowed);
    if (!tAct) throw std::runtime_error(notAFloat(tText));
    const std::string mText = grid.dataCell(2, r);
    auto m = parseNumber(mText, Blanks::Allowed);
    if (!m) throw std::runtime_error(notAFloat(mText));
    double measured = *m;
    if (grid.dataType() == 1) measured = math::RofT(s.OldCof, measured, *tAct < 0);
    const double tCalc = math::TofR(s.NewCof, measured);
    grid.setDataCell(4, r, "");
    grid.repaintData();
    grid.pause(50);
    grid.setDataCell(4, r, formatFixed(tCalc - *tAct, 8, 3));
  }
}

}  // namespace velmora
