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
  EXPECT_EQ(out, "18.5200800");  // 100 (1 − 0.78166 − 0.0231 − 0.0100392) Ω
  EXPECT_EQ(probeCommand(true, file.string(), "abc", out, error), 1);
  EXPECT_NE(error.find("not a number"), std::string::npos);
  EXPECT_EQ(probeCommand(true, (file.string() + "-missing"), "100", out, error), 1);
  EXPECT_NE(error.find("cannot read"), std::string::npos);
  EXPECT_EQ(probeCommand(true, file.string(), "-5", out, error), 1);  // no temperature for a negative resistance
  EXPECT_NE(error.find("positive"), std::string::npos) << error;
  std::filesystem::remove(file);
}
