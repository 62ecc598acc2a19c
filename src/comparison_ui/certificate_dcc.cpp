// Where the DCC schemas are, and the check of a DCC file from the command line.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "common/file_io.h"
#include "comparison/xml_schema.h"
#include "comparison_ui/comparison_window.h"
#ifdef VELMORA_HAVE_DCC_SIGNATURE
#include "comparison/dcc_signature.h"
#endif

namespace velmora {

QString dccSchemaPath() {
  const QString env = qEnvironmentVariable("VELMORA_DCC_DIR");
  const QString app = QCoreApplication::applicationDirPath();
  for (const QString& folder : {env, app + "/../share/velmora/dcc", app + "/dcc", QStringLiteral(VELMORA_SOURCE_DCC)})
    if (!folder.isEmpty() && QFileInfo::exists(folder + "/dcc_local.xsd")) return QDir(folder).absoluteFilePath("dcc_local.xsd");
  return QStringLiteral(VELMORA_SOURCE_DCC) + "/dcc_local.xsd";
}

int verifyCertificateFile(const QString& path, std::string& line) {
  std::string xml;
  if (auto cause = readWholeFile(path.toStdString(), xml)) {
    line = "invalid: " + path.toStdString() + " cannot be read: " + *cause;
    return 1;
  }
  if (auto fault = comparison::validateXml(xml, dccSchemaPath().toStdString())) {
    line = "invalid: not a DCC 3.2.0 document: " + *fault;
    return 1;
  }
#ifdef VELMORA_HAVE_DCC_SIGNATURE
  const comparison::SignatureCheck check = comparison::verifyXmlSignature(xml);
  if (!check.valid) {
    line = "invalid: " + check.reason;
    return 1;
  }
  line = "valid: signed by " + (check.subject.empty() ? std::string("an unnamed signer") : check.subject);
  return 0;
#else
  line = "invalid: this program cannot check signatures";
  return 1;
#endif
}

}  // namespace velmora
