#include "comparison/comparison_results.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "calibration/calibration_workflow.h"
#include "common/clock_text.h"
#include "common/json_number.h"
#include "common/coefficient_scale.h"
#include "common/number_text.h"
#include "metrology/curve_fit.h"

namespace velmora::comparison {

namespace {
std::string num(double v) { return std::isfinite(v) ? shortestText(v) : std::string("null"); }
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
    pr.bathMean = p.bathMean;
    pr.forced = p.forced;
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
  for (auto& w : fitWarnings(method, grid, text)) res.hints.push_back(std::move(w));
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

double ProbeResult::rangeLow() const {
  double v = NAN;
  for (const auto& p : points) v = std::isnan(v) ? p.referenceT : std::min(v, p.referenceT);
  return v;
}
double ProbeResult::rangeHigh() const {
  double v = NAN;
  for (const auto& p : points) v = std::isnan(v) ? p.referenceT : std::max(v, p.referenceT);
  return v;
}

double nominalR0(double held) {
  for (double n : {10.0, 25.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0})
    if (std::fabs(held - n) <= 0.05 * n) return n;
  return held;
}

std::vector<std::string> implausibleReasons(const ProbeResult& probe, const Plan& plan,
                                            const std::function<std::string(std::string_view)>& text,
                                            const FactorBands& bands) {
  std::vector<std::string> out;
  const auto say = [&](const char* id, const std::vector<std::string>& args) {
    out.push_back(replaceArgs(text ? text(id) : std::string(id), args));
  };
  const auto g = [](double v) { return shortestText(v); };
  for (const auto& p : probe.points)
    if (p.forced) say("bnImplForced", {fixed(p.setPoint, 3), fixed(std::fabs(p.reference.meanT - p.setPoint), 3)});
  const auto f = probe.fitted ? factorsOfCells(probe.cells) : std::nullopt;
  if (!f) return out;
  if (probe.held) {
    const double nominal = nominalR0(probe.held->R0);
    if (!(std::fabs(f->R0 - nominal) <= bands.r0Share * nominal)) say("bnImplR0", {fixed(f->R0, 3), g(nominal)});
  }
  // As the tables show them: A × 10³, B × 10⁷, C × 10¹².
  const struct {
    const char* name;
    int index;
    double v, low, high;
  } checks[] = {{"A x 10^3", 1, f->A, bands.aLow, bands.aHigh},
                {"B x 10^7", 2, f->B, bands.bLow, bands.bHigh},
                {"C x 10^12", 3, f->C, bands.cLow, bands.cHigh}};
  for (const auto& c : checks)
    if (!(c.v >= c.low && c.v <= c.high)) {
      const double scale = kCofScale[c.index].shown;
      say("bnImplFactor", {c.name, std::string(trimBlanks(probe.cells[static_cast<std::size_t>(c.index)])), fixed(c.low * scale, 4),
                           fixed(c.high * scale, 4)});
    }
  for (const auto& r : probe.residuals) {
    const auto i = static_cast<std::size_t>(r.row - 1);
    if (i < probe.points.size() && std::fabs(r.deviation) > probe.points[i].uncertainty.expanded)
      say("bnImplResidual", {fixed(r.deviation, 4), fixed(r.actual, 3), fixed(probe.points[i].uncertainty.expanded, 4)});
  }
  const auto planned = plan.setPoints;
  if (!planned.empty()) {
    const double span = *std::max_element(planned.begin(), planned.end()) - *std::min_element(planned.begin(), planned.end());
    const double got = probe.rangeHigh() - probe.rangeLow();
    if (span > 0 && !(got >= bands.spanShare * span)) say("bnImplSpan", {fixed(got, 3), fixed(span, 3)});
  }
  return out;
}

namespace {
std::string nameOf(const std::vector<std::string>& names, int channel) {
  return channel >= 0 && static_cast<std::size_t>(channel) < names.size() ? names[static_cast<std::size_t>(channel)] : std::to_string(channel + 1);
}
std::string timeOf(std::int64_t utcMs) { return utcMs > 0 ? formatUtcIso(utcMs) : std::string("-"); }
}  // namespace

std::vector<std::string> pointRecord(const CapturedPoint& p, int reference, const std::vector<std::string>& names, const TextOf& text) {
  const auto say = [&](const char* id, const std::vector<std::string>& args) { return replaceArgs(text ? text(id) : std::string(id), args); };
  std::int64_t from = 0, to = 0;
  for (const auto& c : p.channels) {
    if (c.firstUtcMs && (!from || c.firstUtcMs < from)) from = c.firstUtcMs;
    to = std::max(to, c.lastUtcMs);
  }
  std::vector<std::string> out;
  out.push_back(say("bnRecPoint", {timeOf(to), fixed(p.setPoint, 3), timeOf(from), timeOf(to)}) +
                (p.forced ? say("bnRecAnyway", {}) : std::string()));
  if (p.bathMean) out.push_back(say("bnRecBath", {fixed(*p.bathMean, 4), fixed(p.bathSd, 4), std::to_string(p.bathN)}));
  for (const auto& c : p.channels)
    out.push_back(say(c.channel == reference ? "bnRecReference" : "bnRecProbe",
                      {nameOf(names, c.channel), fixed(c.meanR, 5), fixed(c.meanT, 4), fixed(c.sdR, 5), fixed(c.sdT, 4), std::to_string(c.n)}));
  return out;
}

std::string noticeRecord(const Notice& n, double setPoint, double tolerance, const std::vector<std::string>& names, const TextOf& text) {
  const auto say = [&](const char* id, const std::vector<std::string>& args) { return replaceArgs(text ? text(id) : std::string(id), args); };
  const std::string at = timeOf(n.utcMs), sp = fixed(setPoint, 3);
  if (n.channel >= 0) return say("bnRecLeftOut", {at, nameOf(names, n.channel), sp});
  if (n.text == kNotReached) return say("bnRecNotReached", {at, sp});
  if (n.text == kNoProbe) return say("bnRecNoProbe", {at, sp});
  if (n.text == kReferenceOff && n.value)
    return say("bnRecReferenceOff", {at, sp, fixed(*n.value, 3), fixed(*n.value - setPoint, 3), fixed(tolerance, 3)});
  return say("bnRecNotStable", {at, sp});
}

std::string certificateCsv(const ProbeResult& probe) {
  std::string out =
      "set_point_C,reference_C,probe_resistance_ohm,probe_reading_C,as_found_deviation_C,n,sd_ohm,time_from_utc,time_to_utc,"
      "expanded_uncertainty_C,coverage_factor,residual_after_fit_C,reference_resistance_ohm,reference_sd_ohm,reference_n,"
      "reference_reading_C,bath_mean_C,captured_anyway\r\n";
  for (std::size_t i = 0; i < probe.points.size(); ++i) {
    const PointResult& p = probe.points[i];
    const double residual = i < probe.residuals.size() ? probe.residuals[i].deviation : NAN;
    out += num(p.setPoint) + "," + fixed(p.referenceT, 5) + "," + fixed(p.probe.meanR, 6) + "," + fixed(p.probe.meanT, 5) + "," +
           fixed(p.asFoundDeviation, 5) + "," + std::to_string(p.probe.n) + "," + fixed(p.probe.sdR, 6) + "," +
           formatUtcIso(p.probe.firstUtcMs) + "," + formatUtcIso(p.probe.lastUtcMs) + "," + fixed(p.uncertainty.expanded, 4) + "," +
           fixed(p.uncertainty.coverageFactor, 2) + "," + (std::isfinite(residual) ? fixed(residual, 5) : std::string()) + "," +
           fixed(p.reference.meanR, 6) + "," + fixed(p.reference.sdR, 6) + "," + std::to_string(p.reference.n) + "," +
           fixed(p.reference.meanT, 5) + "," + (p.bathMean ? fixed(*p.bathMean, 4) : std::string()) + "," + (p.forced ? "1" : "0") +
           "\r\n";
  }
  return out;
}

std::string certificateJson(const CertificateInfo& info, const ProbeResult& probe, const Reference& ref, const BenchBudget& b,
                            const Plan& plan, const Plan* asLeftPlan) {
  using Json = nlohmann::ordered_json;
  // A number; null where it is not finite, "inf" for infinite degrees of freedom.
  const auto number = [](double v) { return jsonNumber(v); };
  const auto dof = [&](double v) { return std::isinf(v) ? Json("inf") : number(v); };
  const auto optional = [&](const std::optional<double>& v) { return v ? number(*v) : Json(nullptr); };
  const auto factors = [&](const math::TCofSet& f) {
    return Json{{"R0", number(f.R0)}, {"A", number(f.A)}, {"B", number(f.B)}, {"C", number(f.C)}};
  };
  const auto points = [&](const std::vector<PointResult>& list) {
    Json out = Json::array();
    for (const PointResult& p : list) {
      Json budget = Json::array();
      for (const auto& c : p.budget)
        budget.push_back({{"component", c.name}, {"standard_uncertainty_C", number(c.contribution())}, {"dof", dof(c.degreesOfFreedom)}});
      out.push_back({{"set_point_C", number(p.setPoint)},
                     {"reference_C", number(p.referenceT)},
                     {"probe_resistance_ohm", number(p.probe.meanR)},
                     {"probe_reading_C", number(p.probe.meanT)},
                     {"deviation_C", number(p.asFoundDeviation)},
                     {"n", p.probe.n},
                     {"sd_ohm", number(p.probe.sdR)},
                     {"time_from_utc", formatUtcIso(p.probe.firstUtcMs)},
                     {"time_to_utc", formatUtcIso(p.probe.lastUtcMs)},
                     {"reference_resistance_ohm", number(p.reference.meanR)},
                     {"reference_sd_ohm", number(p.reference.sdR)},
                     {"reference_n", p.reference.n},
                     {"bath_mean_C", p.bathMean ? number(*p.bathMean) : Json(nullptr)},
                     {"captured_anyway", p.forced},
                     {"uncertainty",
                      {{"combined_C", number(p.uncertainty.combined)},
                       {"expanded_C", number(p.uncertainty.expanded)},
                       {"coverage_factor", number(p.uncertainty.coverageFactor)},
                       {"coverage_probability", number(p.uncertainty.coverageProbability)},
                       {"effective_dof", dof(p.uncertainty.effectiveDof)},
                       {"budget", budget}}}});
    }
    return out;
  };
  const auto planJson = [&](const Plan& p) {
    Json setPoints = Json::array();
    for (double t : p.setPoints) setPoints.push_back(number(t));
    return Json{{"set_points_C", setPoints},
                {"soak_min", number(p.soakMinutes)},
                {"stability_window_min", number(p.rule.windowMinutes)},
                {"max_sd_C", optional(p.rule.maxSd)},
                {"max_drift_C_per_min", optional(p.rule.maxDriftPerMinute)},
                {"max_peak_to_peak_C", optional(p.rule.maxPeakToPeak)},
                {"band_C", optional(p.rule.band)},
                {"band_min", number(p.rule.bandMinutes)}};
  };
  Json j;
  j["title"] = info.title;
  j["certificate_number"] = info.number;
  if (!info.replacesNumber.empty())
    j["replaces"] = {{"certificate_number", info.replacesNumber}, {"file", info.replacesFile}, {"sha256", info.replacesSha256}};
  j["laboratory"] = {{"name", info.laboratory}, {"address", info.laboratoryAddress}};
  j["customer"] = {{"name", info.customer}, {"address", info.customerAddress}};
  j["item"] = {{"description", info.item}, {"serial", info.itemSerial}, {"manufacturer", info.manufacturer}, {"channel", probe.name}};
  j["dates"] = {{"received", info.receivedDate}, {"calibration", info.calibrationDate}, {"issue", info.issueDate}};
  j["method"] = info.method;
  j["method_note"] = "This is a comparison calibration against a reference thermometer, not a realisation of the temperature scale.";
  j["plan"] = planJson(plan);
  if (asLeftPlan) j["as_left_plan"] = planJson(*asLeftPlan);
  j["reference"] = {{"channel", ref.name},
                    {"serial", ref.probe.serial},
                    {"certificate", info.referenceCertificate.empty() ? ref.probe.certificate : info.referenceCertificate},
                    {"certificate_date", info.referenceCertificateDate.empty() ? ref.probe.date : info.referenceCertificateDate},
                    {"certificate_due", info.referenceDue},
                    {"used_past_due_because", info.overdueReason},
                    {"characterisation", ref.source},
                    {"traceability", info.referenceTraceability}};
  j["budget_inputs_C"] = {{"reference_U", number(b.referenceU)},
                          {"reference_k", number(b.referenceK)},
                          {"bath_stability", number(b.bathStability)},
                          {"bath_uniformity", number(b.bathUniformity)},
                          {"resolution", number(b.resolution)}};
  j["conditions"] = info.conditions;
  j["as_found"] = {{"factors", probe.held ? factors(*probe.held) : Json(nullptr)}, {"points", points(probe.points)}};
  Json residuals = Json::array();
  for (const auto& r : probe.residuals) residuals.push_back({{"reference_C", number(r.actual)}, {"residual_C", number(r.deviation)}});
  j["adjustment"] = {{"designed_method", probe.method + 1},
                     {"factors", probe.fitted ? factors(*factorsOfCells(probe.cells)) : Json(nullptr)},
                     {"residuals_C", residuals},
                     {"curve_expanded_uncertainty_C", number(probe.curveU)},
                     {"curve_coverage_factor", 2},
                     {"range_C", {{"low", number(probe.rangeLow())}, {"high", number(probe.rangeHigh())}}},
                     {"messages", probe.messages},
                     {"fit_hints", probe.hints},
                     {"implausible", probe.implausible}};
  j["as_left"] = {{"points", points(probe.asLeft)}};
  j["not_settled"] = probe.notices;
  j["calibrated_by"] = info.calibratedBy;
  j["approved_by"] = info.approvedBy;
  j["statement"] = "The results relate only to the item calibrated.";
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace velmora::comparison
