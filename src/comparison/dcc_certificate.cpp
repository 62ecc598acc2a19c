#include "comparison/dcc_certificate.h"

#include <cmath>
#include <regex>

#include "calibration/calibration_workflow.h"
#include "common/clock_text.h"
#include "common/number_text.h"

namespace velmora::comparison {

std::string base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const auto n = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16 |
                   static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8 | static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += kAlphabet[n >> 6 & 63];
    out += kAlphabet[n & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const auto n = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16 |
                   (two ? static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8 : 0u);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += two ? kAlphabet[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

namespace {

// Text as XML character data (and attribute values).
std::string escaped(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters other than tab and line ends are not XML: a blank instead.
        out += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r' ? ' ' : c;
    }
  }
  return out;
}

// D-SI numbers: finite, in the shortest exact text; an uncertainty without a sign.
std::string number(double v) { return std::isfinite(v) ? shortestText(v) : std::string("0"); }
std::string coverageFactor(double k) { return std::isfinite(k) && k >= 1 ? shortestText(k) : std::string("2"); }
std::string probability(double p) { return std::isfinite(p) && p > 0 && p <= 1 ? shortestText(p) : std::string("0.95"); }
bool isDate(const std::string& s) {
  static const std::regex date(R"(\d{4}-\d{2}-\d{2})");
  return std::regex_match(s, date);
}
std::string dateOf(std::int64_t utcMs) { return formatUtcIso(utcMs).substr(0, 10); }

class Xml {
 public:
  void open(std::string_view tag, std::string_view attributes = {}) {
    out += '<';
    out += tag;
    if (!attributes.empty()) {
      out += ' ';
      out += attributes;
    }
    out += '>';
  }
  void close(std::string_view tag) {
    out += "</";
    out += tag;
    out += '>';
  }
  void leaf(std::string_view tag, std::string_view text, std::string_view attributes = {}) {
    open(tag, attributes);
    out += escaped(text);
    close(tag);
  }
  std::string out;
};

struct Writer {
  const DccInputs& in;
  Xml x;

  std::string say(const DccLanguage& l, const char* id, const std::vector<std::string>& args = {}) const {
    return replaceArgs(l.text ? l.text(id) : std::string(id), args);
  }
  // A dcc:textType in every language.
  void text(std::string_view tag, const char* id, const std::vector<std::string>& args = {}) {
    x.open(tag);
    for (const auto& l : in.languages) x.leaf("dcc:content", say(l, id, args), "lang=\"" + l.code + "\"");
    x.close(tag);
  }
  // A user's text as given (no language).
  void plain(std::string_view tag, const std::string& value) {
    x.open(tag);
    x.leaf("dcc:content", value);
    x.close(tag);
  }
  void location(const std::string& address) {
    x.open("dcc:location");
    if (!address.empty()) plain("dcc:further", address);
    if (!in.info->country.empty()) x.leaf("dcc:countryCode", in.info->country);
    if (address.empty() && in.info->country.empty()) plain("dcc:further", "-");
    x.close("dcc:location");
  }
  void contact(std::string_view tag, const std::string& name, const std::string& address) {
    x.open(tag);
    plain("dcc:name", name);
    location(address);
    x.close(tag);
  }
  void identification(const char* issuer, const std::string& value, const char* nameId, std::string_view refType = {}) {
    x.open("dcc:identification", refType.empty() ? std::string() : "refType=\"" + std::string(refType) + "\"");
    x.leaf("dcc:issuer", issuer);
    x.leaf("dcc:value", value);
    text("dcc:name", nameId);
    x.close("dcc:identification");
  }
  void statement(const char* id, const std::vector<std::string>& args = {}, std::string_view refType = {}, bool traceable = false) {
    x.open("dcc:statement", refType.empty() ? std::string() : "refType=\"" + std::string(refType) + "\"");
    if (traceable) x.leaf("dcc:traceable", "true");
    text("dcc:declaration", id, args);
    x.close("dcc:statement");
  }
  // A column of numbers with its unit (and, with `u`, its expanded uncertainties).
  void column(const char* nameId, std::string_view refType, const std::vector<double>& values, std::string_view unit,
              const std::vector<PointResult>* u = nullptr) {
    x.open("dcc:quantity", "refType=\"" + std::string(refType) + "\"");
    text("dcc:name", nameId);
    x.open("si:realListXMLList");
    std::string list, units;
    for (double v : values) list += (list.empty() ? "" : " ") + number(v);
    x.leaf("si:valueXMLList", list);
    x.leaf("si:unitXMLList", unit);
    if (u) {
      std::string us, ks, ps;
      for (const auto& p : *u) {
        us += (us.empty() ? "" : " ") + number(std::fabs(p.uncertainty.expanded));
        ks += (ks.empty() ? "" : " ") + coverageFactor(p.uncertainty.coverageFactor);
        ps += (ps.empty() ? "" : " ") + probability(p.uncertainty.coverageProbability);
      }
      x.open("si:expandedUncXMLList");
      x.leaf("si:uncertaintyXMLList", us);
      x.leaf("si:coverageFactorXMLList", ks);
      x.leaf("si:coverageProbabilityXMLList", ps);
      x.close("si:expandedUncXMLList");
    }
    x.close("si:realListXMLList");
    x.close("dcc:quantity");
  }
  void points(const char* nameId, std::string_view refType, const std::vector<PointResult>& list) {
    x.open("dcc:result", "refType=\"" + std::string(refType) + "\"");
    text("dcc:name", nameId);
    x.open("dcc:data");
    x.open("dcc:list");
    std::vector<double> setPoints, reference, resistance, indication, deviation;
    for (const auto& p : list) {
      setPoints.push_back(p.setPoint);
      reference.push_back(p.referenceT);
      resistance.push_back(p.probe.meanR);
      indication.push_back(p.probe.meanT);
      deviation.push_back(p.asFoundDeviation);
    }
    column("dcSetPoint", "temperature_setPoint", setPoints, "\\degreecelsius");
    column("dcReferenceT", "basic_referenceValue", reference, "\\degreecelsius");
    column("dcResistance", "basic_measuredValue", resistance, "\\ohm");
    column("dcIndication", "basic_indicatedValue", indication, "\\degreecelsius");
    column("dcDeviation", "basic_measurementError", deviation, "\\kelvin", &list);
    x.close("dcc:list");
    x.close("dcc:data");
    x.close("dcc:result");
  }
  void real(const char* nameId, std::string_view refType, double value, std::string_view unit, std::optional<double> expanded = {}) {
    x.open("dcc:quantity", "refType=\"" + std::string(refType) + "\"");
    text("dcc:name", nameId);
    x.open("si:real");
    x.leaf("si:value", number(value));
    x.leaf("si:unit", unit);
    if (expanded) {
      x.open("si:expandedUnc");
      x.leaf("si:uncertainty", number(std::fabs(*expanded)));
      x.leaf("si:coverageFactor", "2");
      x.leaf("si:coverageProbability", "0.95");
      x.close("si:expandedUnc");
    }
    x.close("si:real");
    x.close("dcc:quantity");
  }

  void administrativeData() {
    const CertificateInfo& info = *in.info;
    const ProbeResult& probe = *in.probe;
    x.open("dcc:administrativeData");
    x.open("dcc:dccSoftware");
    x.open("dcc:software");
    plain("dcc:name", "Velmora");
    x.leaf("dcc:release", in.softwareVersion.empty() ? "0" : in.softwareVersion);
    x.close("dcc:software");
    x.close("dcc:dccSoftware");

    x.open("dcc:coreData");
    x.leaf("dcc:countryCodeISO3166_1", info.country);
    for (const auto& l : in.languages) x.leaf("dcc:usedLangCodeISO639_1", l.code);
    x.leaf("dcc:mandatoryLangCodeISO639_1", in.languages.empty() ? "en" : in.languages.front().code);
    x.leaf("dcc:uniqueIdentifier", info.number);
    if (isDate(info.receivedDate)) x.leaf("dcc:receiptDate", info.receivedDate);
    // The performance dates are those of the points (the first captured, the last).
    std::int64_t first = 0, last = 0;
    for (const auto* list : {&probe.points, &probe.asLeft})
      for (const auto& p : *list) {
        if (p.probe.firstUtcMs && (!first || p.probe.firstUtcMs < first)) first = p.probe.firstUtcMs;
        last = std::max(last, p.probe.lastUtcMs);
      }
    const std::string begin = first ? dateOf(first) : info.calibrationDate, end = last ? dateOf(last) : info.calibrationDate;
    x.leaf("dcc:beginPerformanceDate", begin);
    x.leaf("dcc:endPerformanceDate", end);
    x.leaf("dcc:performanceLocation", "laboratory");
    if (isDate(info.issueDate)) x.leaf("dcc:issueDate", info.issueDate);
    if (!info.replacesNumber.empty()) {
      // An amendment: the certificate it replaces, by its number and its file's hash.
      x.open("dcc:previousReport");
      text("dcc:referral", "dcReplaces", {info.replacesNumber});
      x.leaf("dcc:referralID", info.replacesNumber);
      x.leaf("dcc:procedure", "SHA-256 " + (info.replacesFile.empty() ? info.replacesNumber : info.replacesFile));
      x.leaf("dcc:value", info.replacesSha256.empty() ? std::string("-") : info.replacesSha256);
      x.close("dcc:previousReport");
    }
    x.close("dcc:coreData");

    x.open("dcc:items");
    x.open("dcc:item");
    text("dcc:name", "dcItemName");
    x.open("dcc:manufacturer");
    plain("dcc:name", info.manufacturer.empty() ? "-" : info.manufacturer);
    x.close("dcc:manufacturer");
    if (!info.item.empty()) x.leaf("dcc:model", info.item);
    x.open("dcc:identifications");
    identification("manufacturer", info.itemSerial.empty() ? probe.name : info.itemSerial, "dcSerial", "basic_serialNumber");
    identification("calibrationLaboratory", probe.name, "dcChannel");
    x.close("dcc:identifications");
    x.close("dcc:item");
    x.close("dcc:items");

    x.open("dcc:calibrationLaboratory");
    contact("dcc:contact", info.laboratory, info.laboratoryAddress);
    x.close("dcc:calibrationLaboratory");

    x.open("dcc:respPersons");
    for (const auto& [who, role, main] : {std::tuple{info.calibratedBy, "ctCalibratedBy", false}, std::tuple{info.approvedBy, "ctApprovedBy", true}}) {
      x.open("dcc:respPerson");
      x.open("dcc:person");
      plain("dcc:name", who);
      x.close("dcc:person");
      x.leaf("dcc:role", in.languages.empty() ? role : say(in.languages.front(), role));
      if (main) x.leaf("dcc:mainSigner", "true");
      x.close("dcc:respPerson");
    }
    x.close("dcc:respPersons");

    contact("dcc:customer", info.customer, info.customerAddress);

    x.open("dcc:statements");
    statement("dcMethodStatement", {}, "temperature_comparison");
    statement("ctNotRealisation");
    statement("dcTraceability", {info.referenceTraceability.empty() ? std::string("-") : info.referenceTraceability}, {}, true);
    if (probe.fitted)
      statement("ctRange", {formatFixed(probe.rangeLow(), 15, 3), formatFixed(probe.rangeHigh(), 15, 3)}, "basic_validityRange");
    if (!probe.implausible.empty()) {
      std::string why;
      for (const auto& r : probe.implausible) why += (why.empty() ? "" : "; ") + r;
      statement("ctImplausible", {why});
    }
    for (const auto& n : probe.notices) statement("dcRemark", {n});
    if (!info.overdueReason.empty()) statement("ctOverdueUsed", {info.referenceDue, info.overdueReason});
    statement("ctStatement", {}, "basic_conformity");
    x.close("dcc:statements");
    x.close("dcc:administrativeData");
  }

  void measurementResults() {
    const ProbeResult& probe = *in.probe;
    const Reference& ref = *in.reference;
    const BenchBudget& b = *in.budget;
    const CertificateInfo& info = *in.info;
    x.open("dcc:measurementResults");
    x.open("dcc:measurementResult");
    text("dcc:name", "dcResultName");
    x.open("dcc:usedMethods");
    x.open("dcc:usedMethod", "refType=\"temperature_comparison\"");
    text("dcc:name", "dcMethodName");
    x.open("dcc:description");
    for (const auto& l : in.languages) x.leaf("dcc:content", say(l, "ctMethodText"), "lang=\"" + l.code + "\"");
    x.close("dcc:description");
    x.leaf("dcc:norm", "IEC 60751");
    x.close("dcc:usedMethod");
    x.close("dcc:usedMethods");

    x.open("dcc:measuringEquipments");
    x.open("dcc:measuringEquipment", "refType=\"temperature_referenceThermometer\"");
    text("dcc:name", "dcReference");
    x.open("dcc:description");
    x.leaf("dcc:content", ref.name + (ref.source.empty() ? std::string() : " (" + ref.source + ")"));
    x.close("dcc:description");
    const std::string certificate = info.referenceCertificate.empty() ? ref.probe.certificate : info.referenceCertificate;
    const std::string certificateDate = info.referenceCertificateDate.empty() ? ref.probe.date : info.referenceCertificateDate;
    if (!ref.probe.serial.empty() || !certificate.empty()) {
      x.open("dcc:identifications");
      if (!ref.probe.serial.empty()) identification("manufacturer", ref.probe.serial, "dcSerial", "basic_serialNumber");
      if (!certificate.empty())
        identification("calibrationLaboratory",
                       certificate + (certificateDate.empty() ? std::string() : " (" + certificateDate + ")") +
                           (info.referenceDue.empty() ? std::string() : ", due " + info.referenceDue),
                       "dcReferenceCertificate", "basic_certificateIdentification");
      x.close("dcc:identifications");
    }
    x.close("dcc:measuringEquipment");
    x.open("dcc:measuringEquipment", "refType=\"temperature_bath\"");
    text("dcc:name", "dcBath");
    x.close("dcc:measuringEquipment");
    x.open("dcc:measuringEquipment", "refType=\"temperature_readout\"");
    text("dcc:name", "dcReadout", {probe.name});
    x.close("dcc:measuringEquipment");
    x.close("dcc:measuringEquipments");

    x.open("dcc:influenceConditions");
    for (const auto& [id, value, refType] : {std::tuple{"dcBathStability", b.bathStability, "temperature_bathStability"},
                                             std::tuple{"dcBathUniformity", b.bathUniformity, "temperature_bathUniformity"}}) {
      x.open("dcc:influenceCondition", std::string("refType=\"") + refType + "\"");
      text("dcc:name", id);
      x.open("dcc:data");
      real(id, refType, value, "\\kelvin");
      x.close("dcc:data");
      x.close("dcc:influenceCondition");
    }
    if (!info.conditions.empty()) {
      x.open("dcc:influenceCondition", "refType=\"basic_ambientConditions\"");
      text("dcc:name", "dcConditions");
      x.open("dcc:data");
      plain("dcc:text", info.conditions);
      x.close("dcc:data");
      x.close("dcc:influenceCondition");
    }
    x.close("dcc:influenceConditions");

    x.open("dcc:results");
    points("ctAsFound", "temperature_asFound", probe.points);
    if (const auto f = probe.fitted ? factorsOfCells(probe.cells) : std::nullopt) {
      x.open("dcc:result", "refType=\"temperature_cvdFactors\"");
      text("dcc:name", "dcFactors", {std::to_string(probe.method + 1)});
      x.open("dcc:data");
      x.open("dcc:list");
      real("dcR0", "temperature_cvdR0", f->R0, "\\ohm");
      real("dcA", "temperature_cvdA", f->A, "\\degreecelsius\\tothe{-1}");
      real("dcB", "temperature_cvdB", f->B, "\\degreecelsius\\tothe{-2}");
      real("dcC", "temperature_cvdC", f->C, "\\degreecelsius\\tothe{-4}");
      if (std::isfinite(probe.curveU)) real("dcCurveU", "temperature_curveExpandedUncertainty", probe.curveU, "\\kelvin");
      real("dcRangeLow", "basic_validityRangeMin", probe.rangeLow(), "\\degreecelsius");
      real("dcRangeHigh", "basic_validityRangeMax", probe.rangeHigh(), "\\degreecelsius");
      x.close("dcc:list");
      x.close("dcc:data");
      x.close("dcc:result");
    }
    if (!probe.asLeft.empty()) points("ctAsLeft", "temperature_asLeft", probe.asLeft);
    x.close("dcc:results");
    x.close("dcc:measurementResult");
    x.close("dcc:measurementResults");
  }

  std::string write() {
    x.out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x.open("dcc:digitalCalibrationCertificate",
           "xmlns:dcc=\"https://ptb.de/dcc\" xmlns:si=\"https://ptb.de/si\" xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\" "
           "schemaVersion=\"3.2.0\"");
    administrativeData();
    measurementResults();
    if (!in.pdf.empty()) {
      x.open("dcc:document");
      x.leaf("dcc:fileName", in.pdfFileName);
      x.leaf("dcc:mimeType", "application/pdf");
      x.leaf("dcc:dataBase64", base64(in.pdf));
      x.close("dcc:document");
    }
    x.close("dcc:digitalCalibrationCertificate");
    x.out += '\n';
    return std::move(x.out);
  }
};

}  // namespace

std::string certificateDcc(const DccInputs& in) {
  Writer w{in, {}};
  return w.write();
}

}  // namespace velmora::comparison
