#include "calibration/calibration_workflow.h"

#include <cmath>
#include <set>

#include "common/number_text.h"

namespace velmora {

std::optional<int> nextFreeRow(const CalibrationGrid& grid) {
  for (int r = 1; r < grid.dataRowCount(); ++r)
    if (grid.dataCell(2, r).empty() && grid.dataCell(3, r).empty()) return r;
  return std::nullopt;
}

std::string replaceArgs(std::string text, const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string mark = "%" + std::to_string(i + 1);
    const std::size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), args[i]);
  }
  return text;
}

std::vector<std::string> fitWarnings(int calcMethod, const CalibrationGrid& grid,
                                     const std::function<std::string(std::string_view)>& text) {
  std::vector<std::string> warnings;
  if (calcMethod < 0 || calcMethod > 2) return warnings;
  std::set<double> used, all;
  int below = 0, excluded = 0;
  bool nearZero = false;
  for (int r = 1; r < grid.dataRowCount(); ++r) {
    if (grid.dataCell(2, r).empty()) continue;
    const auto t = parseNumber(grid.dataCell(3, r), Blanks::Allowed);
    if (!t) continue;  // the calculation itself reports a bad cell
    all.insert(*t);
    if (!rowUsed(grid, r)) {
      ++excluded;
      continue;
    }
    used.insert(*t);
    if (*t < 0) ++below;
    if (std::fabs(*t) <= 5) nearZero = true;
  }
  if (used.empty() && all.empty()) return warnings;
  const std::size_t needed = calcMethod == 0 ? 4 : 3;
  const std::string method = std::to_string(calcMethod + 1);
  if (used.size() < needed) {
    if (excluded > 0 && all.size() >= needed)
      warnings.push_back(replaceArgs(text("fwExcluded"), {std::to_string(excluded), std::to_string(used.size()), method,
                                                           std::to_string(needed)}));
    else
      warnings.push_back(replaceArgs(text("fwTooFewTemps"), {std::to_string(used.size()), method, std::to_string(needed)}));
  }
  if (calcMethod != 2 && below == 1) warnings.push_back(text("fwOneBelowZero"));
  if (!used.empty() && !nearZero) warnings.push_back(text("fwNoneNearZero"));
  return warnings;
}

bool methodCanRun(int calcMethod, const CalibrationGrid& grid) {
  std::set<double> all, positive;
  bool anyUsed = false;
  for (int r = 1; r < grid.dataRowCount(); ++r) {
    if (!rowUsed(grid, r)) continue;
    anyUsed = true;
    const auto t = parseNumber(grid.dataCell(3, r), Blanks::Allowed);
    if (!t) return true;  // the calculation itself stops at the bad cell with its message
    all.insert(*t);
    if (*t >= 0) positive.insert(*t);
  }
  if (!anyUsed) return true;
  switch (calcMethod) {
    case 0: return all.size() >= 4;
    case 1: return positive.size() >= 3;
    case 2: return all.size() >= 3;
    default: return true;
  }
}

std::optional<TakenPoint> takePoint(const MeasuredStretch& stretch, int dataType) {
  const bool temperature = dataType == 1;
  const std::size_t n = temperature ? stretch.temperatureCount : stretch.resistanceCount;
  const double mean = temperature ? stretch.meanTemperature : stretch.meanResistance;
  if (n == 0 || !std::isfinite(mean)) return std::nullopt;
  return TakenPoint{formatFixed(mean, 12, 5), n, temperature ? stretch.temperatureSd : stretch.resistanceSd};
}

ResidualSummary summarizeResiduals(const std::vector<Residual>& residuals) {
  ResidualSummary s{NAN, NAN, residuals.size()};
  if (residuals.empty()) return s;
  double sum = 0, maxAbs = 0;
  for (const auto& r : residuals) {
    sum += r.deviation * r.deviation;
    maxAbs = std::max(maxAbs, std::fabs(r.deviation));
  }
  s.rms = std::sqrt(sum / static_cast<double>(residuals.size()));
  s.maxAbs = maxAbs;
  return s;
}

}  // namespace velmora
