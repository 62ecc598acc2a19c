#include "comparison/comparison_results.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "calibration/calibration_workflow.h"
#include "common/clock_text.h"
#include "common/coefficient_scale.h"
#include "common/number_text.h"
#include "metrology/curve_fit.h"

namespace velmora::comparison {

namespace {
std::string num(double v) { return std::isfinite(v) ? shortestText(v) : std::string("null"); }
std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}
std::string fixed(double v, int decimals) { return formatFixed(v, 15, decimals); }

// The designed methods read a table: an in-memory one, rows of (measured Ω, reference °C).
class PointsGrid : public CalibrationGrid {
 public:
  PointsGrid(const std::vector<PointResult>& points, const std::array<std::string, 4>& old,
             const std::function<std::string(std::string_view)>& text)
      : m_text(text) {
    m_data.assign(21, std::array<std::string, 4>{});
    for (std::size_t i = 0; i < points.size() && i + 1 < m_data.size(); ++i) {
      m_data[i + 1][1] = fixed(points[i].probe.meanR, 6);
      m_data[i + 1][2] = fixed(points[i].referenceT, 6);
    }
    for (int i = 0; i < 4; ++i) m_cof[0][static_cast<std::size_t>(i)] = m_cof[1][static_cast<std::size_t>(i)] = old[static_cast<std::size_t>(i)];
  }
  int dataRowCount() const override { return static_cast<int>(m_data.size()); }
  std::string dataCell(int c, int r) const override {
    return c >= 1 && c <= 4 && r >= 0 && r < dataRowCount() ? m_data[static_cast<std::size_t>(r)][static_cast<std::size_t>(c - 1)] : std::string();
  }
  void setDataCell(int c, int r, std::string_view t) override {
    if (c >= 1 && c <= 4 && r >= 0 && r < dataRowCount()) m_data[static_cast<std::size_t>(r)][static_cast<std::size_t>(c - 1)] = t;
  }
  std::string cofCell(int c, int r) const override {
    return c >= 1 && c <= 4 && (r == 1 || r == 2) ? m_cof[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)] : std::string();
  }
  void setCofCell(int c, int r, std::string_view t) override {
    if (c >= 1 && c <= 4 && (r == 1 || r == 2)) m_cof[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)] = t;
  }
  int dataType() const override { return 0; }
  void setHighlightDataRow(int) override {}
  void focusDataCell(int, int) override {}
  void focusCofCell(int, int) override {}
  void repaintData() override {}
  void pause(int) override {}
  void showError(std::string_view t) override { errors.emplace_back(t); }
  std::string text(std::string_view id) const override { return m_text ? m_text(id) : std::string(id); }
  std::vector<std::string> errors;

 private:
  std::function<std::string(std::string_view)> m_text;
  std::vector<std::array<std::string, 4>> m_data;
  std::array<std::array<std::string, 4>, 2> m_cof;
};
}  // namespace

std::array<std::string, 4> cellsOfFactors(const math::TCofSet& f) {
  const double v[4] = {f.R0, f.A, f.B, f.C};
  std::array<std::string, 4> cells;
  for (int i = 0; i < 4; ++i) cells[static_cast<std::size_t>(i)] = formatFixed(v[i] * kCofScale[i].shown, 8, i == 0 ? 3 : 4);
  return cells;
}

std::optional<math::TCofSet> factorsOfCells(const std::array<std::string, 4>& cells) {
  double v[4];
  for (int i = 0; i < 4; ++i) {
    const auto x = parseNumber(trimBlanks(cells[static_cast<std::size_t>(i)]));
    if (!x) return std::nullopt;
    v[i] = *x * kCofScale[i].unscale;
  }
  return math::TCofSet{v[0], v[1], v[2], v[3]};
}

std::vector<PointResult> probePoints(const std::vector<CapturedPoint>& points, int reference, int channel,
                                     const Reference& ref, const BenchBudget& b) {
  using namespace metrology;
  std::vector<PointResult> out;
  for (const auto& p : points) {
    const ChannelCapture* r = p.find(reference);
    const ChannelCapture* c = p.find(channel);
    if (!r || !c || r->n == 0 || c->n == 0) continue;
    PointResult pr;
    pr.setPoint = p.setPoint;
    pr.reference = *r;
    pr.probe = *c;
    try {
      pr.referenceT = ref.probe.temperature(r->meanR);
    } catch (const std::exception&) {
      continue;  // a resistance its characterisation cannot take
    }
    pr.asFoundDeviation = c->meanT - pr.referenceT;
    const double refSensitivity = ref.probe.temperaturePerOhm(r->meanR);
    // The probe's own scatter in °C through the nominal platinum slope at its size (its R0
    // from its resistance here).
    const double t = pr.referenceT;
    const double r0 = c->meanR / (1 + 3.9083e-3 * t - 5.775e-7 * t * t);
    const double probeTPerOhm = 1 / (r0 * (3.9083e-3 - 2 * 5.775e-7 * t));
    pr.budget.push_back(typeA("reference, repeatability", r->sdR, r->n, refSensitivity));
    pr.budget.push_back(typeA("probe, repeatability", c->sdR, c->n, probeTPerOhm));
    pr.budget.push_back(typeB("reference, calibration certificate", b.referenceU, Distribution::Normal, b.referenceK));
    pr.budget.push_back(typeB("bath, stability", b.bathStability, Distribution::Rectangular));
    pr.budget.push_back(typeB("bath, uniformity", b.bathUniformity, Distribution::Rectangular));
    pr.budget.push_back(typeB("resolution", b.resolution / 2, Distribution::Rectangular));
    pr.uncertainty = combine(pr.budget);
    out.push_back(std::move(pr));
  }
  return out;
}

int suggestedMethod(const std::vector<PointResult>& points) {
  std::set<double> temps;
  bool below = false;
  for (const auto& p : points) {
    temps.insert(std::round(p.referenceT * 10) / 10);
    below = below || p.setPoint < 0;
  }
  return temps.size() >= 4 && below ? 0 : 1;
}

ProbeResult evaluateProbe(const std::vector<CapturedPoint>& points, int reference, int channel, std::string name,
                          const Reference& ref, const BenchBudget& budget, std::optional<math::TCofSet> held, int method,
                          const std::function<std::string(std::string_view)>& text) {
  ProbeResult res;
  res.channel = channel;
  res.name = std::move(name);
  res.held = held;
  res.method = method;
  res.points = probePoints(points, reference, channel, ref, budget);
  const math::TCofSet old = held.value_or(math::TCofSet{100.0, 3.9083e-3, -5.775e-7, -4.183e-12});
  PointsGrid grid(res.points, cellsOfFactors(old), text);
  // The designed checks first, then the designed calculation.
  for (auto& w : fitWarnings(method, grid, text)) res.messages.push_back(std::move(w));
  CalibrationState state;
  state.OldCof = old;  // a method that keeps C keeps the one the instrument holds
  CalibrationInput input = readCalibrationInput(grid);
  // A point belongs to the group of its set point: an ice point that reads a few microkelvin
  // below zero still helps determine R0, A and B (the C term is nil there).
  for (auto& row : input.rows) {
    const auto i = static_cast<std::size_t>(row.row - 1);
    if (i < res.points.size()) row.belowZero = res.points[i].setPoint < 0;
  }
  const FitPlan plan = fitMethod(method, input, state, text);
  bool set = false;
  for (const auto& step : plan.steps) {
    if (step.kind == FitPlan::Step::Kind::SetNew) {
      grid.setCofCell(step.index + 1, 2, step.text);
      set = true;
    } else if (step.kind == FitPlan::Step::Kind::Error) {
      res.messages.push_back(step.text);
    }
  }
  if (plan.fault) {
    try {
      std::rethrow_exception(plan.fault);
    } catch (const std::exception& e) {
      res.messages.push_back(e.what());
    }
    set = false;
  }
  if (set && plan.stop == FitPlan::Stop::None) {
    for (int i = 0; i < 4; ++i) {
      const std::string cell = grid.cofCell(i + 1, 2);
      res.cells[static_cast<std::size_t>(i)] = std::string(trimBlanks(cell));
    }
    res.fitted = state.NewCof;
    // Residuals under the factors as they will be stored.
    CalibrationState devState;
    const DeviationPlan dev = deviationPlan(readCalibrationInput(grid), devState);
    res.residuals = dev.residuals;
    // The curve's uncertainty from the points' budgets (their probe scatter as uR).
    std::vector<metrology::CurvePoint> cps;
    bool below = false;
    for (const auto& p : res.points) {
      double u2 = 0;
      for (const auto& c : p.budget)
        if (c.name != "probe, repeatability") u2 += c.contribution() * c.contribution();
      cps.push_back({p.referenceT, p.probe.meanR, std::sqrt(u2), p.probe.n > 0 ? p.probe.sdR / std::sqrt(double(p.probe.n)) : 0});
      below = below || p.setPoint < 0;
    }
    if (const auto curve = metrology::fitCvdCurve(cps, below && method == 0)) res.curveU = 2 * curve->largestTemperatureUncertainty();
  }
  return res;
}

std::string certificateCsv(const ProbeResult& probe) {
  std::string out =
      "set_point_C,reference_C,probe_resistance_ohm,probe_reading_C,as_found_deviation_C,n,sd_ohm,time_from_utc,time_to_utc,"
      "expanded_uncertainty_C,coverage_factor,residual_after_fit_C\r\n";
  for (std::size_t i = 0; i < probe.points.size(); ++i) {
    const PointResult& p = probe.points[i];
    const double residual = i < probe.residuals.size() ? probe.residuals[i].deviation : NAN;
    out += num(p.setPoint) + "," + fixed(p.referenceT, 5) + "," + fixed(p.probe.meanR, 6) + "," + fixed(p.probe.meanT, 5) + "," +
           fixed(p.asFoundDeviation, 5) + "," + std::to_string(p.probe.n) + "," + fixed(p.probe.sdR, 6) + "," +
           formatUtcIso(p.probe.firstUtcMs) + "," + formatUtcIso(p.probe.lastUtcMs) + "," + fixed(p.uncertainty.expanded, 4) + "," +
           fixed(p.uncertainty.coverageFactor, 2) + "," + (std::isfinite(residual) ? fixed(residual, 5) : std::string()) + "\r\n";
  }
  return out;
}

std::string certificateJson(const CertificateInfo& info, const ProbeResult& probe, const Reference& ref, const BenchBudget& b,
                            const Plan& plan, const Plan* asLeftPlan) {
  auto factors = [](const math::TCofSet& f) {
    return "{\"R0\":" + num(f.R0) + ",\"A\":" + num(f.A) + ",\"B\":" + num(f.B) + ",\"C\":" + num(f.C) + "}";
  };
  auto points = [&](const std::vector<PointResult>& list) {
    std::string s = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
      const PointResult& p = list[i];
      if (i) s += ",";
      s += "{\"set_point_C\":" + num(p.setPoint) + ",\"reference_C\":" + num(p.referenceT) + ",\"probe_resistance_ohm\":" +
           num(p.probe.meanR) + ",\"probe_reading_C\":" + num(p.probe.meanT) + ",\"deviation_C\":" + num(p.asFoundDeviation) +
           ",\"n\":" + std::to_string(p.probe.n) + ",\"sd_ohm\":" + num(p.probe.sdR) + ",\"time_from_utc\":" +
           quoted(formatUtcIso(p.probe.firstUtcMs)) + ",\"time_to_utc\":" + quoted(formatUtcIso(p.probe.lastUtcMs)) +
           ",\"uncertainty\":{\"combined_C\":" + num(p.uncertainty.combined) + ",\"expanded_C\":" + num(p.uncertainty.expanded) +
           ",\"coverage_factor\":" + num(p.uncertainty.coverageFactor) + ",\"coverage_probability\":" +
           num(p.uncertainty.coverageProbability) + ",\"effective_dof\":" +
           (std::isfinite(p.uncertainty.effectiveDof) ? num(p.uncertainty.effectiveDof) : std::string("\"inf\"")) + ",\"budget\":[";
      for (std::size_t k = 0; k < p.budget.size(); ++k) {
        if (k) s += ",";
        s += "{\"component\":" + quoted(p.budget[k].name) + ",\"standard_uncertainty_C\":" + num(p.budget[k].contribution()) +
             ",\"dof\":" + (std::isfinite(p.budget[k].degreesOfFreedom) ? num(p.budget[k].degreesOfFreedom) : std::string("\"inf\"")) + "}";
      }
      s += "]}}";
    }
    return s + "]";
  };
  std::string j = "{\n";
  j += "  \"title\": " + quoted(info.title) + ",\n";
  j += "  \"certificate_number\": " + quoted(info.number) + ",\n";
  j += "  \"laboratory\": {\"name\": " + quoted(info.laboratory) + ", \"address\": " + quoted(info.laboratoryAddress) + "},\n";
  j += "  \"customer\": {\"name\": " + quoted(info.customer) + ", \"address\": " + quoted(info.customerAddress) + "},\n";
  j += "  \"item\": {\"description\": " + quoted(info.item) + ", \"serial\": " + quoted(info.itemSerial) + ", \"manufacturer\": " +
       quoted(info.manufacturer) + ", \"channel\": " + quoted(probe.name) + "},\n";
  j += "  \"dates\": {\"received\": " + quoted(info.receivedDate) + ", \"calibration\": " + quoted(info.calibrationDate) +
       ", \"issue\": " + quoted(info.issueDate) + "},\n";
  j += "  \"method\": " + quoted(info.method) + ",\n";
  j += "  \"method_note\": \"This is a comparison calibration against a reference thermometer, not a realisation of the "
       "temperature scale.\",\n";
  const auto planJson = [](const Plan& p) {
    std::string s = "{\"set_points_C\": [";
    for (std::size_t i = 0; i < p.setPoints.size(); ++i) s += (i ? "," : "") + num(p.setPoints[i]);
    s += "], \"soak_min\": " + num(p.soakMinutes) + ", \"stability_window_min\": " + num(p.rule.windowMinutes) +
         ", \"max_sd_C\": " + (p.rule.maxSd ? num(*p.rule.maxSd) : "null") + ", \"max_drift_C_per_min\": " +
         (p.rule.maxDriftPerMinute ? num(*p.rule.maxDriftPerMinute) : "null") + ", \"max_peak_to_peak_C\": " +
         (p.rule.maxPeakToPeak ? num(*p.rule.maxPeakToPeak) : "null") + ", \"band_C\": " +
         (p.rule.band ? num(*p.rule.band) : "null") + ", \"band_min\": " + num(p.rule.bandMinutes) + "}";
    return s;
  };
  j += "  \"plan\": " + planJson(plan) + ",\n";
  if (asLeftPlan) j += "  \"as_left_plan\": " + planJson(*asLeftPlan) + ",\n";
  j += "  \"reference\": {\"channel\": " + quoted(ref.name) + ", \"serial\": " + quoted(ref.probe.serial) + ", \"certificate\": " +
       quoted(ref.probe.certificate) + ", \"characterisation\": " + quoted(ref.source) + ", \"traceability\": " +
       quoted(info.referenceTraceability) + "},\n";
  j += "  \"budget_inputs_C\": {\"reference_U\": " + num(b.referenceU) + ", \"reference_k\": " + num(b.referenceK) +
       ", \"bath_stability\": " + num(b.bathStability) + ", \"bath_uniformity\": " + num(b.bathUniformity) + ", \"resolution\": " +
       num(b.resolution) + "},\n";
  j += "  \"conditions\": " + quoted(info.conditions) + ",\n";
  j += "  \"as_found\": {\"factors\": " + (probe.held ? factors(*probe.held) : std::string("null")) + ", \"points\": " +
       points(probe.points) + "},\n";
  j += "  \"adjustment\": {\"designed_method\": " + std::to_string(probe.method + 1) + ", \"factors\": " +
       (probe.fitted ? factors(*factorsOfCells(probe.cells)) : std::string("null")) + ", \"residuals_C\": [";
  for (std::size_t i = 0; i < probe.residuals.size(); ++i)
    j += (i ? "," : "") + std::string("{\"reference_C\":") + num(probe.residuals[i].actual) + ",\"residual_C\":" +
         num(probe.residuals[i].deviation) + "}";
  j += "], \"curve_expanded_uncertainty_C\": " + num(probe.curveU) + ", \"curve_coverage_factor\": 2, \"messages\": [";
  for (std::size_t i = 0; i < probe.messages.size(); ++i) j += (i ? "," : "") + quoted(probe.messages[i]);
  j += "]},\n";
  j += "  \"as_left\": {\"points\": " + points(probe.asLeft) + "},\n";
  j += "  \"not_settled\": [";
  for (std::size_t i = 0; i < probe.notices.size(); ++i) j += (i ? "," : "") + quoted(probe.notices[i]);
  j += "],\n";
  j += "  \"calibrated_by\": " + quoted(info.calibratedBy) + ",\n";
  j += "  \"approved_by\": " + quoted(info.approvedBy) + ",\n";
  j += "  \"statement\": \"The results relate only to the item calibrated.\"\n}\n";
  return j;
}

}  // namespace velmora::comparison
