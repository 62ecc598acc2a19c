#include "calibration/calculations.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include "common/coefficient_scale.h"
#include "common/number_text.h"

namespace velmora {

using math::TCofSet;
using Step = FitPlan::Step;

namespace {

// A cell that did not convert ends the calculation; the plan says where.
struct Stop {};

class Fitter {
 public:
  Fitter(const CalibrationInput& in, CalibrationState& s, FitPlan& plan,
         const std::function<std::string(std::string_view)>& text)
      : m_in(in), m_s(s), m_plan(plan), m_text(text) {}

  void method1();
  void method2();
  void method3();

 private:
  bool temperature() const { return m_in.dataType == 1; }
  std::string text(std::string_view id) const { return m_text ? m_text(id) : std::string(id); }
  double dataValue(const CalibrationInput::Row& row, int column) {
    auto v = parseNumber(column == 3 ? row.actual : row.measured, Blanks::Allowed);
    if (!v) {
      m_plan.stop = FitPlan::Stop::BadDataCell;
      m_plan.stopColumn = column;
      m_plan.stopRow = row.row;
      throw Stop{};
    }
    return *v;
  }
  // Step R: every used row in turn; `store` gets (t, v, whether the point is of the group
  // below 0 °C).
  template <typename Store>
  void readRows(Store&& store) {
    for (const auto& row : m_in.rows) {
      ++m_plan.rowsRead;
      const double t = dataValue(row, 3);
      const double v = dataValue(row, 2);
      store(t, v, row.belowZero.value_or(t < 0));
    }
  }
  // Step O: the "Old" row into OldCof.
  void readOldCof() {
    double* fields[4] = {&m_s.OldCof.R0, &m_s.OldCof.A, &m_s.OldCof.B, &m_s.OldCof.C};
    for (int i = 0; i < 4; ++i) {
      auto v = parseNumber(m_in.oldCells[i], Blanks::Allowed);
      if (!v) {
        m_plan.stop = FitPlan::Stop::BadOldFactor;
        m_plan.stopColumn = i + 1;
        m_plan.stopRow = 1;
        throw Stop{};
      }
      *fields[i] = *v * kCofScale[i].unscale;
    }
  }
  void setNew(int index, double value, int decimals) {
    m_plan.steps.push_back({Step::Kind::SetNew, index, formatFixed(value * kCofScale[index].shown, 8, decimals)});
  }
  void error(std::string message) { m_plan.steps.push_back({Step::Kind::Error, 0, std::move(message)}); }
  // Points at too few different reference temperatures cannot determine the factors: the
  // "New" row stays as it is. (No points at all is left to the methods' own messages.)
  bool enoughTemperatures(const std::vector<double>& temps, std::size_t needed, std::string_view messageId) {
    if (temps.empty() || std::set<double>(temps.begin(), temps.end()).size() >= needed) return true;
    error(text(messageId));
    return false;
  }
  bool fitQuadratic();
  void positiveResistances();
  void clearArrays() {
    m_s.points.clear();
    for (auto* v : {&m_s.PosT, &m_s.PosTm, &m_s.PosR, &m_s.NegT, &m_s.NegTm, &m_s.NegR}) v->clear();
  }

  const CalibrationInput& m_in;
  CalibrationState& m_s;
  FitPlan& m_plan;
  const std::function<std::string(std::string_view)>& m_text;
};

// Steps 3 to 7 of method 2: the quadratic fit over PosT/PosR. False when singular.
bool Fitter::fitQuadratic() {
  math::BuildQuadNormalEq(m_s.quad, m_s.PosR, m_s.PosT);
  if (math::InvertMatrix3(m_s.quad.QuadMatrix, 3, m_s.quad.QuadInverse) != 0) {
    error(text("IDS_5") + '\r' + text("IDS_6"));
    return false;
  }
  if (!enoughTemperatures(m_s.PosT, 3, "msgTooFewPoints2")) return false;
  m_s.quad.QuadSolution = math::MulMatrixVector3(m_s.quad.QuadInverse, m_s.quad.QuadRhs);
  const auto [a, b, c] = m_s.quad.QuadSolution;
  m_s.NewCof.R0 = c;
  m_s.NewCof.A = math::checkedDivide(b, m_s.NewCof.R0);
  m_s.NewCof.B = math::checkedDivide(a, m_s.NewCof.R0);
  setNew(0, m_s.NewCof.R0, 3);
  setNew(1, m_s.NewCof.A, 4);
  setNew(2, m_s.NewCof.B, 4);
  return true;
}

// In temperature mode the measured temperatures of the positive group become resistances
// through the old factors, without the C term.
void Fitter::positiveResistances() {
  if (!temperature()) return;
  readOldCof();
  for (std::size_t i = 0; i < m_s.PosT.size(); ++i) m_s.PosR[i] = math::RofT(m_s.OldCof, m_s.PosTm[i], false);
}

void Fitter::method1() {
  clearArrays();
  readRows([&](double t, double v, bool) { m_s.points.push_back({t, v}); });
  if (temperature()) {
    readOldCof();
    for (auto& p : m_s.points) p.R = math::RofT(m_s.OldCof, p.R, false);
  }
  std::vector<double> temps;
  for (const auto& p : m_s.points) temps.push_back(p.t);
  if (!enoughTemperatures(temps, 4, "msgTooFewPoints1")) return;
  math::TFitResult result;
  math::FitCalibration(m_s.points, nullptr, result);
  setNew(0, result.R0, 3);
  setNew(1, result.A, 4);
  setNew(2, result.B, 4);
  setNew(3, result.C, 4);
}

void Fitter::method2() {
  clearArrays();
  readRows([&](double t, double v, bool below) {
    const bool pos = !below;
    (pos ? m_s.PosT : m_s.NegT).push_back(t);
    (pos ? m_s.PosTm : m_s.NegTm).push_back(temperature() ? v : 0.0);
    (pos ? m_s.PosR : m_s.NegR).push_back(temperature() ? 0.0 : v);
  });
  positiveResistances();
  if (!fitQuadratic()) return;
  if (!m_s.NegT.empty()) {
    if (temperature())
      for (std::size_t i = 0; i < m_s.NegT.size(); ++i) m_s.NegR[i] = math::RofT(m_s.OldCof, m_s.NegTm[i], true);
    m_s.NewCof.C = math::FindC(m_s.NewCof, m_s.NegT, m_s.NegR);
  } else {
    m_s.NewCof.C = m_s.OldCof.C;
  }
  setNew(3, m_s.NewCof.C, 4);
}

void Fitter::method3() {
  clearArrays();
  readRows([&](double t, double v, bool) {
    m_s.PosT.push_back(t);
    m_s.PosTm.push_back(temperature() ? v : 0.0);
    m_s.PosR.push_back(temperature() ? 0.0 : v);
  });
  positiveResistances();
  if (!fitQuadratic()) return;
  m_s.NewCof.C = 0;
  constexpr double kNoValue = 1.7e308;
  double errAt50 = kNoValue;
  for (const auto& row : m_in.rows) {
    const double t = dataValue(row, 3);
    double v = dataValue(row, 2);
    if (temperature()) v = math::RofT(m_s.OldCof, v, t < 0);
    const double tc = math::TofR(m_s.NewCof, v);
    if (-55 < t && t < -45) {
      errAt50 = tc - t;
    } else if (t >= 0 && std::fabs(tc - t) > 0.04) {
      m_plan.steps.push_back({Step::Kind::Reject, row.row, {}});
      error(text("IDS_11") + '\r' + text("IDS_12"));
      errAt50 = kNoValue;
      break;
    }
  }
  m_s.NewCof.C = errAt50 <= 8.5e307 ? (errAt50 - 0.015) * 2.12e-10 : 0.0;
  setNew(3, m_s.NewCof.C, 3);
}

// The grid's own messages, for the calculations run straight on a grid.
std::function<std::string(std::string_view)> gridText(const CalibrationGrid& grid) {
  return [&grid](std::string_view id) { return grid.text(id); };
}

}  // namespace

bool rowUsed(const CalibrationGrid& grid, int row) {
  return grid.dataCell(1, row).empty() && !grid.dataCell(2, row).empty();
}

CalibrationInput readCalibrationInput(const CalibrationGrid& grid) {
  CalibrationInput in;
  for (int r = 1; r < grid.dataRowCount(); ++r)
    if (rowUsed(grid, r)) in.rows.push_back({r, grid.dataCell(2, r), grid.dataCell(3, r), std::nullopt});
  in.dataType = grid.dataType();
  for (int i = 0; i < 4; ++i) {
    in.oldCells[i] = grid.cofCell(i + 1, 1);
    in.newCells[i] = grid.cofCell(i + 1, 2);
  }
  return in;
}

FitPlan fitMethod(int calcMethod, const CalibrationInput& input, CalibrationState& state,
                  const std::function<std::string(std::string_view)>& text) {
  FitPlan plan;
  Fitter fitter(input, state, plan, text);
  try {
    switch (calcMethod) {
      case 0:
        fitter.method1();
        break;
      case 1:
        fitter.method2();
        break;
      case 2:
        fitter.method3();
        break;
      default:
        break;
    }
  } catch (const Stop&) {
  } catch (const std::exception&) {
    plan.fault = std::current_exception();
  }
  return plan;
}

int rowPauseFor(std::size_t rows) {
  constexpr int kDesignedPause = 50;
  constexpr std::size_t kWholePacingMs = 1000;
  if (rows == 0) return kDesignedPause;
  return static_cast<int>(std::clamp<std::size_t>(kWholePacingMs / rows, 1, kDesignedPause));
}

void applyFit(CalibrationGrid& grid, const CalibrationInput& input, const FitPlan& plan, int rowPauseMs) {
  for (int i = 0; i < plan.rowsRead && i < static_cast<int>(input.rows.size()); ++i) {
    const int r = input.rows[static_cast<std::size_t>(i)].row;
    grid.setHighlightDataRow(r);
    grid.setDataCell(4, r, "");
    grid.repaintData();
    grid.pause(rowPauseMs);
  }
  if (plan.stop == FitPlan::Stop::BadDataCell) {
    grid.focusDataCell(plan.stopColumn, plan.stopRow);
    grid.showError(grid.text("IDS_1"));
    return;
  }
  grid.setHighlightDataRow(0);
  grid.repaintData();
  if (plan.stop == FitPlan::Stop::BadOldFactor) {
    grid.focusCofCell(plan.stopColumn, plan.stopRow);
    grid.showError(grid.text("IDS_2"));
    return;
  }
  for (const auto& step : plan.steps) {
    switch (step.kind) {
      case Step::Kind::SetNew:
        grid.setCofCell(step.index + 1, 2, step.text);
        break;
      case Step::Kind::Reject:
        grid.setDataCell(1, step.index, "X");
        grid.repaintData();
        break;
      case Step::Kind::Error:
        grid.showError(step.text);
        break;
    }
  }
  if (plan.fault) std::rethrow_exception(plan.fault);
}

void runCalcMethod(int calcMethod, CalibrationGrid& grid, CalibrationState& state) {
  if (calcMethod < 0 || calcMethod > 2) return;
  const CalibrationInput input = readCalibrationInput(grid);
  applyFit(grid, input, fitMethod(calcMethod, input, state, gridText(grid)), rowPauseFor(input.rows.size()));
}

void calcMethod1(CalibrationGrid& grid, CalibrationState& state) { runCalcMethod(0, grid, state); }
void calcMethod2(CalibrationGrid& grid, CalibrationState& state) { runCalcMethod(1, grid, state); }
void calcMethod3(CalibrationGrid& grid, CalibrationState& state) { runCalcMethod(2, grid, state); }

DeviationPlan deviationPlan(const CalibrationInput& input, CalibrationState& s) {
  DeviationPlan plan;
  double* fields[4] = {&s.NewCof.R0, &s.NewCof.A, &s.NewCof.B, &s.NewCof.C};
  for (int i = 0; i < 4; ++i) {
    auto v = parseNumber(input.newCells[i], Blanks::Allowed);
    if (!v) {
      plan.badNewCell = i;
      return plan;
    }
    *fields[i] = *v * kCofScale[i].unscale;
  }
  try {
    for (const auto& row : input.rows) {
      const auto tAct = parseNumber(row.actual, Blanks::Allowed);
      if (!tAct) throw std::runtime_error(notAValidFloat(row.actual));
      auto m = parseNumber(row.measured, Blanks::Allowed);
      if (!m) throw std::runtime_error(notAValidFloat(row.measured));
      double measured = *m;
      if (input.dataType == 1) measured = math::RofT(s.OldCof, measured, *tAct < 0);
      const double tCalc = math::TofR(s.NewCof, measured);
      plan.deviations.emplace_back(row.row, formatFixed(tCalc - *tAct, 8, 3));
      plan.residuals.push_back({row.row, *tAct, tCalc - *tAct});
    }
  } catch (const std::exception&) {
    plan.fault = std::current_exception();
  }
  return plan;
}

void applyDeviations(CalibrationGrid& grid, const DeviationPlan& plan, int rowPauseMs) {
  if (plan.badNewCell >= 0) {
    grid.focusCofCell(plan.badNewCell + 1, 2);
    grid.showError(grid.text("IDS_2"));
    return;
  }
  for (const auto& [row, text] : plan.deviations) {
    grid.setDataCell(4, row, "");
    grid.repaintData();
    grid.pause(rowPauseMs);
    grid.setDataCell(4, row, text);
  }
  if (plan.fault) std::rethrow_exception(plan.fault);
}

void btErrorClick(CalibrationGrid& grid, CalibrationState& state) {
  const CalibrationInput input = readCalibrationInput(grid);
  applyDeviations(grid, deviationPlan(input, state), rowPauseFor(input.rows.size()));
}

}  // namespace velmora
