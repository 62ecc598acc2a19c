#pragma once
// What a comparison run gives each probe under test: at every captured point the reference
// temperature (the reference's mean resistance through its characterisation), the probe's
// as-found deviation (what its instrument showed with the factors it holds, minus the
// reference), the point's uncertainty budget; the new factors by one of the designed methods
// (the calibration window's own calculation, its checks and residuals); the fitted curve's
// uncertainty; and the certificate's contents as a structured file and a CSV of the points.
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "calibration/calculations.h"
#include "comparison/comparison_run.h"
#include "metrology/probe.h"
#include "metrology/uncertainty.h"

namespace velmora::comparison {

// Values the user sets once per bench (°C): the reference's certificate (U and its k), the
// bath's stability and uniformity (half-widths), the instruments' resolution.
struct BenchBudget {
  double referenceU = 0.002, referenceK = 2;
  double bathStability = 0.002;
  double bathUniformity = 0.003;
  double resolution = 0.001;
};

struct PointResult {
  double setPoint = 0;
  double referenceT = 0;  // °C
  ChannelCapture reference, probe;
  double asFoundDeviation = 0;  // the probe's own temperature − the reference's, °C
  std::optional<double> bathMean;
  bool forced = false;  // captured although the reference was off the set point
  std::vector<metrology::UncertaintyComponent> budget;
  metrology::UncertaintyResult uncertainty;  // of the point's reference temperature for this probe
};

struct ProbeResult {
  int channel = -1;
  std::string name;
  std::vector<PointResult> points;     // as found
  std::vector<PointResult> asLeft;     // after writing, when an as-left pass ran
  std::optional<math::TCofSet> held;   // the factors its instrument held
  int method = 0;                      // the designed method (0, 1, 2)
  std::optional<math::TCofSet> fitted;  // at full precision
  std::array<std::string, 4> cells;    // as the instrument will store them (R0, A·10³, B·10⁷, C·10¹²)
  std::vector<std::string> messages;   // the method's own messages (why there are no factors)
  std::vector<std::string> hints;      // the fit checks' hints of the calibration window (not findings)
  std::vector<std::string> implausible;  // why the factors are not to be trusted (empty: plausible)
  std::vector<Residual> residuals;     // of the points under the stored factors
  double curveU = NAN;                 // expanded (k = 2) uncertainty of the fitted curve, °C
  std::vector<std::string> notices;    // set points where it did not settle
  // The reference temperatures the factors were determined over (°C; NaN without points).
  double rangeLow() const;
  double rangeHigh() const;
};

// The bands a fitted sensor's factors are expected in: R0 within ±1 % of the nominal R0 of the
// factors its instrument held (the standard size nearest to them: 10, 25, 50, 100, 200, 500,
// 1000, 2000 Ω, or the held R0 itself when none is within 5 %), A and B within the widths real
// platinum sensors span around the IEC 60751 values, C (which only a fit below 0 °C sets) too.
struct FactorBands {
  double r0Share = 0.01;
  double aLow = 3.80e-3, aHigh = 4.00e-3;    // IEC 60751: 3.9083e-3
  double bLow = -7.0e-7, bHigh = -4.5e-7;    // IEC 60751: -5.775e-7
  double cLow = -2.0e-11, cHigh = 1.0e-11;   // IEC 60751: -4.183e-12
  // The points must span at least this share of the plan's set-point span.
  double spanShare = 0.5;
};
double nominalR0(double heldR0);
// Why a probe's fitted factors are not to be trusted, in the active language: factors outside
// their bands, a residual larger than its point's expanded uncertainty, points that span far
// less than the plan (a fit at one temperature), a point captured with the reference off its
// set point. Empty: plausible.
std::vector<std::string> implausibleReasons(const ProbeResult& probe, const Plan& plan,
                                            const std::function<std::string(std::string_view)>& text,
                                            const FactorBands& bands = {});

// The reference's temperature for a resistance, and its sensitivity (°C/Ω).
struct Reference {
  metrology::ProbeCharacterisation probe;
  std::string name;  // the channel's
  std::string source;  // "probe file …" or "factors held by the instrument"
};

// One probe's points (from `points`, where it was captured) with their budgets.
std::vector<PointResult> probePoints(const std::vector<CapturedPoint>& points, int reference, int channel,
                                     const Reference& ref, const BenchBudget& budget);

// The whole evaluation of a probe: points, fit by `method`, residuals, curve uncertainty.
// `text` gives the designed messages in the active language.
ProbeResult evaluateProbe(const std::vector<CapturedPoint>& points, int reference, int channel, std::string name,
                          const Reference& ref, const BenchBudget& budget, std::optional<math::TCofSet> held,
                          int method, const std::function<std::string(std::string_view)>& text);
// The designed method that fits these points best (method 1 with four or more temperatures
// including some below 0 °C, else method 2).
int suggestedMethod(const std::vector<PointResult>& points);

// The factors a "New" row's texts give (nothing when one does not convert).
std::optional<math::TCofSet> factorsOfCells(const std::array<std::string, 4>& cells);
std::array<std::string, 4> cellsOfFactors(const math::TCofSet& f);

// The run's record for a person (the run's log, saved with the run): a captured point with its
// clock times, the bath's and every instrument's mean, standard deviation and number of readings;
// a notice (a set point not captured, a probe left out) with its time and why. `names` by channel.
using TextOf = std::function<std::string(std::string_view)>;
std::vector<std::string> pointRecord(const CapturedPoint& p, int reference, const std::vector<std::string>& names, const TextOf& text);
std::string noticeRecord(const Notice& n, double setPoint, double tolerance, const std::vector<std::string>& names, const TextOf& text);

// What the certificate states beyond the results.
struct CertificateInfo {
  std::string title = "Calibration certificate";
  std::string laboratory, laboratoryAddress;
  std::string country;  // where the laboratory is: ISO 3166-1, two capital letters ("DE")
  std::string number;  // unique; made from the date and the probe when empty
  std::string customer, customerAddress;
  std::string item, itemSerial, manufacturer;
  std::string receivedDate, calibrationDate, issueDate;
  std::string referenceTraceability;  // the reference's certificate
  std::string referenceCertificate, referenceCertificateDate;  // its number and date
  std::string referenceDue, overdueReason;  // when it is due again; why it was used past that
  std::string conditions;             // ambient temperature, humidity
  std::string calibratedBy, approvedBy;
  // The certificate this one replaces (an amendment): its number and the SHA-256 of its file.
  std::string replacesNumber, replacesFile, replacesSha256;
  // The laboratory's private key and X.509 certificate (PEM files): the DCC is signed when both are given.
  std::string signingKey, signingCertificate;
  std::string method =
      "Comparison calibration in a stirred bath against a reference thermometer; the points were taken when the "
      "reference, the probe and the bath met the stability rule together.";
};

// What a certificate says of one probe: the item, its serial number and its manufacturer (the
// instrument's identity, editable per probe before the certificates are written).
struct ProbeItem {
  std::string item, serial, manufacturer;
};

// The structured results file (JSON) and the points (CSV) of one probe's certificate: `plan`
// is the run's, `asLeftPlan` the as-left pass's when one ran.
std::string certificateJson(const CertificateInfo& info, const ProbeResult& probe, const Reference& ref,
                            const BenchBudget& budget, const Plan& plan, const Plan* asLeftPlan = nullptr);
std::string certificateCsv(const ProbeResult& probe);

}  // namespace velmora::comparison
