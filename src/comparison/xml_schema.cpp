#include "comparison/xml_schema.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>
#include <libxml/xmlversion.h>

#include <map>
#include <memory>
#include <mutex>

namespace velmora::comparison {

namespace {

#if LIBXML_VERSION >= 21200
using ErrorPtr = const xmlError*;
#else
using ErrorPtr = xmlErrorPtr;
#endif

// The first error libxml2 reports, as a person reads it.
struct FirstError {
  std::string text;
  static void take(void* self, ErrorPtr e) {
    auto* me = static_cast<FirstError*>(self);
    if (!me->text.empty() || !e) return;
    std::string message = e->message ? e->message : "invalid";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    const auto* node = static_cast<const xmlNode*>(e->node);
    std::string where = node && node->name ? reinterpret_cast<const char*>(node->name) : std::string();
    if (node && node->ns && node->ns->prefix) where = std::string(reinterpret_cast<const char*>(node->ns->prefix)) + ":" + where;
    me->text = (where.empty() ? std::string() : where + ": ") + message + (e->line > 0 ? " (line " + std::to_string(e->line) + ")" : "");
  }
};

struct Schema {
  xmlSchemaPtr schema = nullptr;
  std::string error;
  ~Schema() {
    if (schema) xmlSchemaFree(schema);
  }
};

std::mutex g_mutex;
std::map<std::string, std::unique_ptr<Schema>> g_schemas;

const Schema& schemaAt(const std::string& path) {
  auto& slot = g_schemas[path];
  if (slot) return *slot;
  slot = std::make_unique<Schema>();
  xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.c_str());
  if (!parser) {
    slot->error = "cannot read the schema " + path;
    return *slot;
  }
  // libxml2's own messages (a file that cannot be read) come here too, not to stderr.
  FirstError failed;
  xmlSetStructuredErrorFunc(&failed, &FirstError::take);
  xmlSchemaSetParserStructuredErrors(parser, &FirstError::take, &failed);
  slot->schema = xmlSchemaParse(parser);
  xmlSchemaFreeParserCtxt(parser);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  if (!slot->schema) slot->error = "the schema " + path + " is not usable: " + (failed.text.empty() ? "unreadable" : failed.text);
  return *slot;
}

}  // namespace

std::optional<std::string> validateXml(std::string_view xml, const std::string& schemaPath) {
  const std::lock_guard<std::mutex> lock(g_mutex);
  const Schema& s = schemaAt(schemaPath);
  if (!s.schema) return s.error;
  FirstError failed;
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(nullptr, xmlFreeDoc);
  {
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (!parser) return std::string("out of memory");
    doc.reset(xmlCtxtReadMemory(parser, xml.data(), static_cast<int>(xml.size()), "certificate.xml", "UTF-8", XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc && parser->lastError.message) {
      FirstError::take(&failed, &parser->lastError);
    }
    xmlFreeParserCtxt(parser);
  }
  if (!doc) return failed.text.empty() ? std::string("not XML") : "not XML: " + failed.text;
  xmlSchemaValidCtxtPtr valid = xmlSchemaNewValidCtxt(s.schema);
  if (!valid) return std::string("out of memory");
  xmlSchemaSetValidStructuredErrors(valid, &FirstError::take, &failed);
  const int result = xmlSchemaValidateDoc(valid, doc.get());
  xmlSchemaFreeValidCtxt(valid);
  if (result == 0) return std::nullopt;
  return failed.text.empty() ? std::string("not valid") : failed.text;
}

}  // namespace velmora::comparison
