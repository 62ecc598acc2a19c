#pragma once
// The laboratory's signature on a DCC: an enveloped XML-Signature (exclusive canonicalisation,
// SHA-256, RSA or ECDSA by the key) made with its private key and X.509 certificate (PEM files,
// the key's passphrase given by the caller, never kept), the certificate carried in the
// signature; and the check of a signed document: its signature over the whole document, and who
// signed it (the subject of the certificate the signature was checked with).
#include <optional>
#include <string>
#include <string_view>

namespace velmora::comparison {

// Signs `xml` in place; nothing when done, else why not (the key or certificate unreadable, the
// passphrase wrong, the certificate not the key's).
std::optional<std::string> signXml(std::string& xml, const std::string& keyFile, const std::string& certificateFile,
                                   const std::string& passphrase);

struct SignatureCheck {
  bool valid = false;
  std::string subject;  // the signer's, RFC 2253 ("CN=…,O=…") when the signature is valid
  std::string reason;   // why not, when it is not
};
SignatureCheck verifyXmlSignature(std::string_view xml);

}  // namespace velmora::comparison
