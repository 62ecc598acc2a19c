// A probe's DCC against the project's copy of the DCC 3.2.0 schema (libxml2, no network): a full
// certificate validates and states the same numbers as the JSON made from the same data; a
// fault names the element it is in; the embedded PDF's base64 is the standard one.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "common/clock_text.h"
#include "comparison/comparison_results.h"
#include "comparison/dcc_certificate.h"
#include "comparison/xml_schema.h"
#include "metrology/probe.h"

using namespace velmora;
using namespace velmora::comparison;

namespace {
const std::string kSchema = std::string(VELMORA_SOURCE_DCC) + "/dcc_local.xsd";

std::string idAndArgs(std::string_view id) { return std::string(id) + " %1 %2 %3 %4"; }

struct Certificate {
  Reference ref;
  BenchBudget budget;
  Plan plan;
  CertificateInfo info;
  ProbeResult probe;

  Certificate() {
    ref.name = "T1";
    ref.source = "probe file ref.probe";
    ref.probe.type = metrology::ProbeType::Cvd;
    ref.probe.cvd = {25.5, 3.9860e-3, -5.870e-7, -4.0e-12};
    ref.probe.serial = "SPRT-7";
    ref.probe.certificate = "NMI-2026-3";
    ref.probe.date = "2026-03-01";
    const math::TCofSet sensor{100.02, 3.9080e-3, -5.79e-7, -4.183e-12}, held{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
    std::vector<CapturedPoint> points;
    for (double t : {0.01, 30.0, 60.0, 90.0}) {
      CapturedPoint p;
      p.index = static_cast<int>(points.size());
      p.setPoint = std::round(t);
      p.bathMean = t;
      const double r = metrology::cvdResistance(sensor, t);
      const std::int64_t at = 1'796'731'200'000 + p.index * 3'600'000;
      p.channels = {{0, 30, metrology::cvdResistance(ref.probe.cvd, t), t, 0.00002, 0.0002, at, at + 120'000},
                    {1, 30, r, metrology::cvdTemperature(held, r), 0.0003, 0.0008, at, at + 120'000}};
      points.push_back(p);
      plan.setPoints.push_back(p.setPoint);
    }
    probe = evaluateProbe(points, 0, 1, "probe 1", ref, budget, held, 1, idAndArgs);
    probe.asLeft = probePoints({points[2]}, 0, 1, ref, budget);
    info.number = "C-77-probe_1";
    info.laboratory = "Cold Lab";
    info.country = "DE";
    info.customer = "Acme <Thermo> & Co";
    info.itemSerial = "SN-111";
    info.manufacturer = "Maker 1";
    info.item = "PT-100 B";
    info.receivedDate = "2026-12-01";
    info.issueDate = "2026-12-09";
    info.calibratedBy = "A. Tech";
    info.approvedBy = "B. Head";
  }
  std::string dcc(std::string_view pdf = "%PDF-1.4 …") const {
    DccInputs in;
    in.info = &info;
    in.probe = &probe;
    in.reference = &ref;
    in.budget = &budget;
    in.plan = &plan;
    in.softwareVersion = "0.1.0";
    in.languages = {{"en", idAndArgs}, {"ru", idAndArgs}};
    in.pdfFileName = "C-77-probe_1.pdf";
    in.pdf = pdf;
    return certificateDcc(in);
  }
};

// Every <si:valueXMLList> / <si:uncertaintyXMLList> of the document, in order, as numbers.
std::vector<std::vector<double>> lists(const std::string& xml, const std::string& tag) {
  std::vector<std::vector<double>> out;
  const std::regex re("<" + tag + ">([^<]*)</" + tag + ">");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator(); ++it) {
    std::vector<double> v;
    std::istringstream words((*it)[1].str());
    for (std::string w; words >> w;) v.push_back(std::stod(w));
    out.push_back(v);
  }
  return out;
}
}  // namespace

TEST(Dcc, AProbesCertificateValidatesAndStatesTheJsonsNumbers) {
  const Certificate c;
  const std::string xml = c.dcc();
  const auto fault = validateXml(xml, kSchema);
  ASSERT_FALSE(fault) << *fault;
  const auto j = nlohmann::json::parse(certificateJson(c.info, c.probe, c.ref, c.budget, c.plan));
  // As found: set point, reference, resistance, indication, deviation; then as left.
  const auto values = lists(xml, "si:valueXMLList");
  ASSERT_EQ(values.size(), 10u);
  const char* keys[] = {"set_point_C", "reference_C", "probe_resistance_ohm", "probe_reading_C", "deviation_C"};
  for (std::size_t k = 0; k < 5; ++k) {
    ASSERT_EQ(values[k].size(), 4u) << keys[k];
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(values[k][i], j["as_found"]["points"][i][keys[k]].get<double>()) << keys[k] << " " << i;
  }
  EXPECT_EQ(values[9][0], c.probe.asLeft[0].asFoundDeviation);
  const auto u = lists(xml, "si:uncertaintyXMLList");
  ASSERT_EQ(u.size(), 2u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(u[0][i], j["as_found"]["points"][i]["uncertainty"]["expanded_C"].get<double>());
  const auto k = lists(xml, "si:coverageFactorXMLList");
  ASSERT_FALSE(k.empty());
  EXPECT_EQ(k[0][0], j["as_found"]["points"][0]["uncertainty"]["coverage_factor"].get<double>());
  // Units, the factors, the identifications, the escaped customer, the embedded PDF.
  for (const char* part : {"<si:unitXMLList>\\degreecelsius</si:unitXMLList>", "<si:unitXMLList>\\ohm</si:unitXMLList>",
                           "<si:unitXMLList>\\kelvin</si:unitXMLList>", "<si:unit>\\ohm</si:unit>", "<dcc:value>SN-111</dcc:value>", "<dcc:model>PT-100 B</dcc:model>",
                           "<dcc:value>NMI-2026-3 (2026-03-01)</dcc:value>", "Acme &lt;Thermo&gt; &amp; Co", "lang=\"ru\"",
                           "<dcc:mimeType>application/pdf</dcc:mimeType>", "<dcc:dataBase64>JVBERi0xLjQg4oCm</dcc:dataBase64>",
                           "<dcc:receiptDate>2026-12-01</dcc:receiptDate>"})
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  // The performance dates are the first and the last point's.
  EXPECT_NE(xml.find("<dcc:beginPerformanceDate>" + formatUtcIso(1'796'731'200'000).substr(0, 10) + "<"), std::string::npos);
  EXPECT_NE(xml.find("<dcc:endPerformanceDate>" + formatUtcIso(1'796'731'200'000 + 3 * 3'600'000).substr(0, 10) + "<"), std::string::npos);
  const auto factors = factorsOfCells(c.probe.cells);
  EXPECT_NE(xml.find("<si:value>" + std::to_string(factors->R0).substr(0, 6)), std::string::npos);
}

TEST(Dcc, AFaultNamesItsElementAndIsNeverTakenForValid) {
  struct Case {
    const char* name;
    std::function<void(Certificate&)> change;
    const char* says;
  };
  const Case cases[] = {
      {"a country in small letters", [](Certificate& c) { c.info.country = "de"; }, "dcc:countryCodeISO3166_1"},
      {"no country", [](Certificate& c) { c.info.country.clear(); }, "dcc:countryCodeISO3166_1"},
      {"no certificate number", [](Certificate& c) { c.info.number.clear(); }, "dcc:uniqueIdentifier"},
  };
  for (const auto& f : cases) {
    Certificate c;
    f.change(c);
    const auto fault = validateXml(c.dcc(), kSchema);
    ASSERT_TRUE(fault) << f.name;
    EXPECT_NE(fault->find(f.says), std::string::npos) << f.name << ": " << *fault;
  }
  EXPECT_TRUE(validateXml("<dcc:digitalCalibrationCertificate", kSchema));  // not XML
  const auto missing = validateXml(Certificate().dcc(), "/nonexistent/dcc.xsd");
  ASSERT_TRUE(missing);
  EXPECT_NE(missing->find("/nonexistent/dcc.xsd"), std::string::npos) << *missing;
  // The standard base64 (RFC 4648's examples).
  const std::pair<const char*, const char*> b64[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
  for (const auto& [in, out] : b64) EXPECT_EQ(base64(in), out) << in;
}

#ifdef VELMORA_HAVE_DCC_SIGNATURE
#include <cstdlib>
#include <filesystem>

#include "comparison/dcc_signature.h"

// A laboratory's key (with a passphrase) and certificate, made by openssl for the test.
TEST(DccSignature, ASignedDccVerifiesATamperedOneDoesNotAndAWrongKeyIsRefused) {
  char pattern[] = "/tmp/velmora-dcc-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const auto run = [](const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); };
  ASSERT_EQ(run("openssl req -x509 -newkey rsa:2048 -sha256 -days 30 -subj '/CN=Cold Lab/O=Cold Lab Ltd' -passout pass:secret -keyout " +
                dir + "/lab.key -out " + dir + "/lab.crt"),
            0);
  ASSERT_EQ(run("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " + dir + "/other.key"), 0);

  const Certificate c;
  std::string xml = c.dcc();
  const std::string unsignedXml = xml;
  ASSERT_FALSE(signXml(xml, dir + "/lab.key", dir + "/lab.crt", "secret"));
  EXPECT_FALSE(validateXml(xml, kSchema)) << *validateXml(xml, kSchema);  // a signed DCC is still a DCC
  const SignatureCheck good = verifyXmlSignature(xml);
  EXPECT_TRUE(good.valid) << good.reason;
  EXPECT_NE(good.subject.find("CN=Cold Lab"), std::string::npos) << good.subject;

  // One character changed anywhere in what was signed: invalid, with the reason.
  std::string tampered = xml;
  const auto at = tampered.find("<dcc:value>SN-111</dcc:value>");
  ASSERT_NE(at, std::string::npos);
  tampered[at + 16] = '2';  // SN-112
  const SignatureCheck bad = verifyXmlSignature(tampered);
  EXPECT_FALSE(bad.valid);
  EXPECT_NE(bad.reason.find("changed"), std::string::npos) << bad.reason;
  EXPECT_FALSE(verifyXmlSignature(unsignedXml).valid);
  EXPECT_EQ(verifyXmlSignature(unsignedXml).reason, "not signed");

  struct Refused {
    const char* name;
    std::string key, passphrase;
    const char* says;
  };
  const Refused refused[] = {
      {"a wrong passphrase", dir + "/lab.key", "guess", "passphrase is wrong"},
      {"another key", dir + "/other.key", "", "is not the key of the certificate"},
      {"no key file", dir + "/none.key", "", "cannot be read"},
  };
  for (const auto& r : refused) {
    std::string copy = unsignedXml;
    const auto why = signXml(copy, r.key, dir + "/lab.crt", r.passphrase);
    ASSERT_TRUE(why) << r.name;
    EXPECT_NE(why->find(r.says), std::string::npos) << r.name << ": " << *why;
    EXPECT_EQ(copy, unsignedXml) << r.name;
  }
  std::filesystem::remove_all(dir);
}
#endif
