// One probe model for every characterisation: conversions both ways and their sensitivity,
// the probe file written and read back, damaged files refused with their line, and the
// command line's conversions.
#include "metrology/probe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "math/platinum.h"

using namespace velmora;
using namespace velmora::metrology;

namespace {
const math::TCofSet kIec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};

ProbeCharacterisation cvdProbe() {
  ProbeCharacterisation p;
  p.type = ProbeType::Cvd;
  p.serial = "4711";
  p.certificate = "Cal 2026-118";
  p.date = "2026-03-01";
  p.uncertainty = "0.02 °C (k = 2)";
  p.cvd = kIec;
  return p;
}
ProbeCharacterisation sprtProbe() {
  ProbeCharacterisation p;
  p.type = ProbeType::Its90;
  p.serial = "SPRT 5681";
  p.sprt.rTpw = 25.54321;
  SubRange low{4, {-1.7e-4, -3.2e-5}, 0};
  SubRange high{6, {-1.5e-4, 1.8e-5, -2.0e-6, 4.0e-6}, 0};
  high.prepare();
  p.sprt.subRanges = {low, high};
  return p;
}
ProbeCharacterisation polynomialProbe() {
  ProbeCharacterisation p;
  p.type = ProbeType::Polynomial;
  p.serial = "TC-9";
  p.polynomial = {-245.0, 2.3, 1.1e-3};
  return p;
}
}  // namespace

TEST(Probe, EveryCharacterisationConvertsBothWaysWithItsSensitivity) {
  const ProbeCharacterisation probes[] = {cvdProbe(), sprtProbe(), polynomialProbe()};
  const double ranges[][2] = {{-200, 850}, {-189.3, 961}, {-200, 500}};
  for (int i = 0; i < 3; ++i) {
    const auto& p = probes[i];
    double worst = 0;
    for (double t = ranges[i][0]; t <= ranges[i][1]; t += 0.917) {
      const double r = p.resistance(t);
      worst = std::max(worst, std::fabs(p.temperature(r) - t));
      const double h = 1e-4;
      ASSERT_NEAR(p.temperaturePerOhm(r), 2 * h / (p.resistance(t + h) - p.resistance(t - h)), 1e-6) << i << " " << t;
    }
    EXPECT_LT(worst, 1e-8) << i;  // far inside 0.01 mK
  }
  // CVD: the designed resistance function on both sides of 0 °C, and the designed inverse
  // (a 0.5 mK search below 0 °C) agrees within its step.
  for (double t : {-200.0, -38.8344, -0.001, 0.0, 29.7646, 419.527, 850.0}) {
    EXPECT_DOUBLE_EQ(cvdResistance(kIec, t), math::RofT(kIec, t, t < 0)) << t;
    EXPECT_NEAR(math::TofR(kIec, cvdResistance(kIec, t)), t, 0.5e-3) << t;
  }
  EXPECT_NEAR(cvdTemperature(kIec, 138.5055), 100.0, 1e-4);  // the table value of a Pt100
}

TEST(Probe, FilesReadBackAsWrittenAndDamagedOnesNameTheirLine) {
  for (const auto& p : {cvdProbe(), sprtProbe(), polynomialProbe()}) {
    const std::string text = probeText(p);
    const ProbeLoad load = parseProbe(text);
    ASSERT_TRUE(load.probe) << load.line << ": " << load.error << "\n" << text;
    EXPECT_EQ(probeText(*load.probe), text);
    EXPECT_EQ(load.probe->serial, p.serial);
    for (double r : {30.0, 100.0, 150.0}) {
      double a = NAN, b = NAN;
      try {
        a = p.temperature(r);
        b = load.probe->temperature(r);
      } catch (const RangeError&) {
      }
      if (std::isfinite(a)) {
        EXPECT_EQ(a, b) << text;  // every digit kept
      }
    }
  }
  // With comments, blanks and Windows line ends.
  const ProbeLoad crlf = parseProbe("VELMORA PROBE 1\r\n# a Pt100\r\ntype: CVD\r\n R0 : 100 \r\nA: 3.9083e-3\r\n"
                                    "B: -5.775e-7\r\nC: -4.183e-12 # below 0 °C only\r\n");
  ASSERT_TRUE(crlf.probe) << crlf.error;
  EXPECT_EQ(crlf.probe->cvd.C, -4.183e-12);
  // The certificate's due date, kept as written.
  ProbeCharacterisation due = cvdProbe();
  due.due = "2027-03-01";
  const ProbeLoad withDue = parseProbe(probeText(due));
  ASSERT_TRUE(withDue.probe) << withDue.error;
  EXPECT_EQ(withDue.probe->due, "2027-03-01");
  struct Damaged {
    const char* text;
    std::size_t line;
    const char* says;
  } damaged[] = {
      {"", 1, "empty"},
      {"PROBE\n", 1, "not a probe file"},
      {"VELMORA PROBE 1\ntype: CVD\nR0 100\n", 3, "key: value"},
      {"VELMORA PROBE 1\ntype: RTD\n", 2, "unknown type"},
      {"VELMORA PROBE 1\ntype: CVD\nR0: 1OO\n", 3, "not a number"},
      {"VELMORA PROBE 1\ntype: CVD\nR0: 100\nA: 3.9e-3\nB: -5.8e-7\n", 6, "factor C is missing"},
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: 25.5\nsubrange 3: a=1\n", 4, "4 to 11"},
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: 25.5\nsubrange 8: a=1\n", 4, "coefficient b"},
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: 25.5\nsubrange 10: a=1 b=2\n", 4, "has 1 coefficients"},
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: -1\n", 3, "positive"},
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: 25.5\n", 4, "no sub-range"},
      {"VELMORA PROBE 1\ntype: polynomial\ncoefficients: 1\n", 4, "two coefficients"},
      {"VELMORA PROBE 1\nvolume: 11\n", 2, "unknown key"},
      {"VELMORA PROBE 1\ndue: next year\n", 2, "must be a date"},
  };
  for (const auto& d : damaged) {
    const ProbeLoad load = parseProbe(d.text);
    EXPECT_FALSE(load.probe) << d.text;
    EXPECT_EQ(load.line, d.line) << d.text;
    EXPECT_NE(load.error.find(d.says), std::string::npos) << d.text << " → " << load.error;
  }
}

TEST(Probe, TheCommandLineConvertsAndRefusesBadInput) {
  const auto file = std::filesystem::temp_directory_path() / ("velmora-probe-" + std::to_string(std::random_device{}()));
  {
    std::ofstream out(file);
    out << probeText(cvdProbe());
  }
  std::string out, error;
  EXPECT_EQ(probeCommand(true, file.string(), "138.5055", out, error), 0) << error;
  EXPECT_EQ(out, "100.000000");  // R(100 °C) of a Pt100: 100 (1 + 0.39083 − 0.005775) Ω
  EXPECT_EQ(probeCommand(false, file.string(), "-200", out, error), 0) << error;
  EXPECT_EQ(out, "18.52008000");  // 100 (1 − 0.78166 − 0.0231 − 0.0100392) Ω, ten digits
  EXPECT_EQ(probeCommand(true, file.string(), "abc", out, error), 1);
  EXPECT_NE(error.find("not a number"), std::string::npos);
  EXPECT_EQ(probeCommand(true, (file.string() + "-missing"), "100", out, error), 1);
  EXPECT_NE(error.find("cannot read"), std::string::npos);
  EXPECT_EQ(probeCommand(true, file.string(), "-5", out, error), 1);  // no temperature for a negative resistance
  EXPECT_NE(error.find("positive"), std::string::npos) << error;
  std::filesystem::remove(file);
}

// The edges of a characterisation: a value within a millikelvin beyond a sub-range's limits is
// converted and marked extrapolated, further out refused; each sub-range keeps its own limits;
// with overlapping sub-ranges the narrowest covering one is used in both directions; CVD and
// polynomial probes have ranges too.
TEST(Probe, LimitsAreKeptWithAMillikelvinMarginAndSaidWhenUsed) {
  const auto sprtWith = [](std::vector<SubRange> subRanges) {
    ProbeCharacterisation p;
    p.type = ProbeType::Its90;
    p.sprt.rTpw = 25.54321;
    for (auto& s : subRanges) s.prepare();
    p.sprt.subRanges = std::move(subRanges);
    return p;
  };
  const ProbeCharacterisation only4 = sprtWith({SubRange{4, {-1.7e-4, -3.2e-5}, 0}});
  const ProbeCharacterisation only9 = sprtWith({SubRange{9, {-1.6e-4, 2.1e-5}, 0}});
  const double sn = fixedPoint("Sn").kelvin - kZeroCelsius;
  struct Case {
    const char* name;
    const ProbeCharacterisation& probe;
    double celsius;
    bool converts, extrapolated;
  };
  const Case cases[] = {
      {"R_TPW of a sub-range 4 SPRT", only4, 0.01, true, false},
      {"its top limit plus 0.5 mK", only4, 0.0105, true, true},
      {"its top limit plus 2 mK", only4, 0.012, false, false},
      {"sub-range 9 at the tin point", only9, sn, true, false},
      {"sub-range 9, 0.4 mK above tin", only9, sn + 0.0004, true, true},
      {"sub-range 9, 5 mK above tin", only9, sn + 0.005, false, false},
      {"sub-range 9, an ice point 3 µK below 0 °C", only9, -0.000003, true, true},
      {"CVD at -200 °C", cvdProbe(), -200, true, false},
      {"CVD at 850.0005 °C", cvdProbe(), 850.0005, true, true},
      {"CVD at -300 °C", cvdProbe(), -300, false, false},
      {"CVD at 2000 °C", cvdProbe(), 2000, false, false},
  };
  for (const Case& c : cases) {
    bool extrapolated = !c.extrapolated;
    if (!c.converts) {
      EXPECT_THROW((void)c.probe.resistance(c.celsius, &extrapolated), RangeError) << c.name;
      continue;
    }
    const double r = c.probe.resistance(c.celsius, &extrapolated);
    EXPECT_EQ(extrapolated, c.extrapolated) << c.name;
    extrapolated = !c.extrapolated;
    EXPECT_NEAR(c.probe.temperature(r, &extrapolated), c.celsius, 1e-7) << c.name;
    EXPECT_EQ(extrapolated, c.extrapolated) << c.name;
  }
  // W = 1 itself, through the published constants: R_TPW converts (a hair beyond 0.01 °C).
  bool extrapolated = false;
  EXPECT_NEAR(only4.temperature(only4.sprt.rTpw, &extrapolated), 0.01, 1e-5);
  // Overlapping sub-ranges with different coefficients: the narrowest one that covers the
  // temperature (10 inside 9 inside 8), the same in both directions.
  const ProbeCharacterisation three = sprtWith({SubRange{8, {-1.6e-4, 2.1e-5}, 0}, SubRange{9, {-1.2e-4, 1.0e-5}, 0},
                                                SubRange{10, {-0.9e-4}, 0}});
  for (double t : {50.0, 200.0, 300.0}) {
    const ProbeCharacterisation& narrowest = t < 156.5985 ? sprtWith({SubRange{10, {-0.9e-4}, 0}})
                                             : t < 231.928 ? sprtWith({SubRange{9, {-1.2e-4, 1.0e-5}, 0}})
                                                           : sprtWith({SubRange{8, {-1.6e-4, 2.1e-5}, 0}});
    EXPECT_DOUBLE_EQ(three.resistance(t), narrowest.resistance(t)) << t;
    EXPECT_NEAR(three.temperature(three.resistance(t)), t, 1e-8) << t;
  }
  // A polynomial: its stated range, or −273.15 … 2000 °C.
  ProbeCharacterisation poly = polynomialProbe();
  EXPECT_THROW((void)poly.temperature(1e6), RangeError);  // 1.1e9 °C
  poly.range = std::pair{-50.0, 300.0};
  EXPECT_THROW((void)poly.resistance(400), RangeError);
  EXPECT_NO_THROW((void)poly.resistance(250));
  const ProbeLoad back = parseProbe(probeText(poly));
  ASSERT_TRUE(back.probe) << back.error;
  EXPECT_EQ(back.probe->range, poly.range);
}

TEST(Probe, RepeatedKeysAndBadRangesAreRefusedAndTheCommandSaysWhatItDid) {
  struct Damaged {
    const char* text;
    std::size_t line;
    const char* says;
  } damaged[] = {
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: 25.5\nR_TPW: 25.6\n", 4, "\"R_TPW\" is given twice"},
      {"VELMORA PROBE 1\ntype: ITS-90\nR_TPW: 25.5\nsubrange 8: a=1 a=2\n", 4, "coefficient a of sub-range 8 is given twice"},
      {"VELMORA PROBE 1\ntype: CVD\nR0: 100\nR0: 100\n", 4, "\"R0\" is given twice"},
      {"VELMORA PROBE 1\ntype: polynomial\ncoefficients: 1 2\nrange: 300 -50\n", 4, "LOW below HIGH"},
      {"VELMORA PROBE 1\ntype: CVD\nR0: 100\nA: 3.9e-3\nB: -5.8e-7\nC: 0\nrange: 0 100\n", 8, "only a polynomial"},
  };
  for (const auto& d : damaged) {
    const ProbeLoad load = parseProbe(d.text);
    EXPECT_FALSE(load.probe) << d.text;
    EXPECT_EQ(load.line, d.line) << d.text;
    EXPECT_NE(load.error.find(d.says), std::string::npos) << d.text << " → " << load.error;
  }
  const auto file = std::filesystem::temp_directory_path() / ("velmora-probe-" + std::to_string(std::random_device{}()));
  ProbeCharacterisation hot;
  hot.type = ProbeType::Its90;
  hot.sprt.rTpw = 0.25;
  hot.sprt.subRanges = {SubRange{8, {-1.6e-4, 2.1e-5}, 0}};
  {
    std::ofstream out(file);
    out << probeText(hot);
  }
  struct Run {
    bool temperature;
    const char* value;
    int status;
    const char* out;   // or what the error says
    bool noted;
  } runs[] = {
      {false, "0.01", 0, "0.2499999975", false},   // ten significant digits of a 0.25-ohm SPRT at the TPW
      {false, "419.5275", 0, "0.", true},          // 0.8 mK above the zinc point: extrapolated
      {false, "419.6", 1, "outside every sub-range", false},
      {true, "1e6", 1, "outside every sub-range", false},
  };
  for (const Run& r : runs) {
    std::string out, error, note;
    EXPECT_EQ(probeCommand(r.temperature, file.string(), r.value, out, error, &note), r.status) << r.value << ": " << error;
    EXPECT_NE((r.status ? error : out).find(r.out), std::string::npos) << r.value << ": " << out << error;
    EXPECT_EQ(!note.empty(), r.noted) << r.value << ": " << note;
    if (r.noted) {
      EXPECT_NE(note.find("extrapolated"), std::string::npos);
    }
  }
  std::filesystem::remove(file);
}
