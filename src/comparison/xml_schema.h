#pragma once
// An XML text checked against an XML schema with libxml2, without the network: each schema
// file is read once (its imports from beside it) and kept for the program's life.
#include <optional>
#include <string>
#include <string_view>

namespace velmora::comparison {

// Nothing when `xml` is valid; else the first fault: "element name: message (line N)", or why
// the schema or the document could not be read.
std::optional<std::string> validateXml(std::string_view xml, const std::string& schemaPath);

}  // namespace velmora::comparison
