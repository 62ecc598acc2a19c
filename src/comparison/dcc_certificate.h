#pragma once
// A probe's Digital Calibration Certificate: the DCC 3.2.0 XML document of what its PDF and JSON
// state — administrative data (the software, core data, the item with its identifications, the
// laboratory, the responsible persons, the customer, the statements), the measuring equipment
// (the reference with its certificate, the bath, the probe's readout), the method and influence
// conditions, and the results in D-SI units: per point the reference temperature, the probe's
// resistance and indication with the factors it held, the deviation with its expanded
// uncertainty; the new factors with the curve's uncertainty; the as-left deviations. Texts in
// every language given; the PDF embedded as the document. Made from the same data as the JSON.
#include <string>
#include <string_view>
#include <vector>

#include "comparison/comparison_results.h"

namespace velmora::comparison {

struct DccLanguage {
  std::string code;  // ISO 639-1: "en", "ru"
  TextOf text;
};

struct DccInputs {
  const CertificateInfo* info = nullptr;
  const ProbeResult* probe = nullptr;
  const Reference* reference = nullptr;
  const BenchBudget* budget = nullptr;
  const Plan* plan = nullptr;
  const Plan* asLeftPlan = nullptr;
  std::string softwareVersion;
  std::vector<DccLanguage> languages;  // the certificate's own first
  std::string pdfFileName;
  std::string_view pdf;  // embedded as the DCC's document (none when empty)
};

std::string certificateDcc(const DccInputs& in);

// RFC 4648 base64 of bytes.
std::string base64(std::string_view bytes);

}  // namespace velmora::comparison
