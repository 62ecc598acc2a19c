#include "comparison/dcc_signature.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/keysmngr.h>
#include <xmlsec/openssl/x509.h>
#include <xmlsec/templates.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>
#include <xmlsec/xmltree.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>

namespace velmora::comparison {

namespace {

std::mutex g_mutex;

// xmlsec and its crypto engine, once; its own error printing off (the callers say what failed).
bool ready() {
  static const bool ok = [] {
    if (xmlSecInit() < 0 || xmlSecCheckVersion() != 1) return false;
    if (xmlSecCryptoAppInit(nullptr) < 0 || xmlSecCryptoInit() < 0) return false;
    xmlSecErrorsDefaultCallbackEnableOutput(0);
    return true;
  }();
  return ok;
}

using Doc = std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)>;
Doc parse(std::string_view xml) {
  return Doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "certificate.xml", "UTF-8",
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
             xmlFreeDoc);
}

std::string subjectOf(X509* certificate) {
  if (!certificate) return {};
  BIO* out = BIO_new(BIO_s_mem());
  X509_NAME_print_ex(out, X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253);
  char* data = nullptr;
  const long n = BIO_get_mem_data(out, &data);
  std::string s(data, static_cast<std::size_t>(n > 0 ? n : 0));
  BIO_free(out);
  return s;
}

int passphraseCallback(char* buffer, int size, int, void* user) {
  const auto* pass = static_cast<const std::string*>(user);
  const int n = static_cast<int>(std::min<std::size_t>(pass->size(), static_cast<std::size_t>(size)));
  std::copy(pass->data(), pass->data() + n, buffer);
  return n;
}

}  // namespace

std::optional<std::string> signXml(std::string& xml, const std::string& keyFile, const std::string& certificateFile,
                                   const std::string& passphrase) {
  const std::lock_guard<std::mutex> lock(g_mutex);
  if (!ready()) return std::string("the signing library could not be started");
  // The key and the certificate read, and checked to belong together, before anything is signed.
  std::unique_ptr<FILE, int (*)(FILE*)> keyIn(std::fopen(keyFile.c_str(), "rb"), std::fclose);
  if (!keyIn) return "the key " + keyFile + " cannot be read";
  std::string pass = passphrase;
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(PEM_read_PrivateKey(keyIn.get(), nullptr, passphraseCallback, &pass), EVP_PKEY_free);
  if (!key) return "the key " + keyFile + " is not a PEM private key or the passphrase is wrong";
  std::unique_ptr<FILE, int (*)(FILE*)> certIn(std::fopen(certificateFile.c_str(), "rb"), std::fclose);
  if (!certIn) return "the certificate " + certificateFile + " cannot be read";
  std::unique_ptr<X509, void (*)(X509*)> certificate(PEM_read_X509(certIn.get(), nullptr, nullptr, nullptr), X509_free);
  if (!certificate) return "the certificate " + certificateFile + " is not a PEM X.509 certificate";
  if (X509_check_private_key(certificate.get(), key.get()) != 1)
    return "the key " + keyFile + " is not the key of the certificate " + certificateFile;
  const bool ec = EVP_PKEY_base_id(key.get()) == EVP_PKEY_EC;

  Doc doc = parse(xml);
  if (!doc) return std::string("the document is not XML");
  xmlNodePtr root = xmlDocGetRootElement(doc.get());
  xmlNodePtr signature = xmlSecTmplSignatureCreate(doc.get(), xmlSecTransformExclC14NId,
                                                   ec ? xmlSecTransformEcdsaSha256Id : xmlSecTransformRsaSha256Id, nullptr);
  if (!signature) return std::string("the signature could not be made");
  xmlAddChild(root, signature);
  xmlNodePtr reference = xmlSecTmplSignatureAddReference(signature, xmlSecTransformSha256Id, nullptr, BAD_CAST "", nullptr);
  if (!reference || !xmlSecTmplReferenceAddTransform(reference, xmlSecTransformEnvelopedId) ||
      !xmlSecTmplReferenceAddTransform(reference, xmlSecTransformExclC14NId))
    return std::string("the signature could not be made");
  xmlNodePtr keyInfo = xmlSecTmplSignatureEnsureKeyInfo(signature, nullptr);
  xmlNodePtr x509 = keyInfo ? xmlSecTmplKeyInfoAddX509Data(keyInfo) : nullptr;
  if (!x509 || !xmlSecTmplX509DataAddSubjectName(x509) || !xmlSecTmplX509DataAddCertificate(x509))
    return std::string("the signature could not be made");
  std::unique_ptr<xmlSecDSigCtx, void (*)(xmlSecDSigCtxPtr)> ctx(xmlSecDSigCtxCreate(nullptr), xmlSecDSigCtxDestroy);
  if (!ctx) return std::string("the signature could not be made");
  ctx->signKey = xmlSecCryptoAppKeyLoad(keyFile.c_str(), xmlSecKeyDataFormatPem, passphrase.c_str(), nullptr, nullptr);
  if (!ctx->signKey) return "the key " + keyFile + " could not be used for signing";
  if (xmlSecCryptoAppKeyCertLoad(ctx->signKey, certificateFile.c_str(), xmlSecKeyDataFormatPem) < 0)
    return "the certificate " + certificateFile + " could not be used for signing";
  if (xmlSecDSigCtxSign(ctx.get(), signature) < 0) return std::string("signing failed");
  xmlChar* out = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc.get(), &out, &size, "UTF-8");
  if (!out) return std::string("the signed document could not be written");
  xml.assign(reinterpret_cast<const char*>(out), static_cast<std::size_t>(size));
  xmlFree(out);
  return std::nullopt;
}

SignatureCheck verifyXmlSignature(std::string_view xml) {
  const std::lock_guard<std::mutex> lock(g_mutex);
  SignatureCheck check;
  if (!ready()) {
    check.reason = "the signing library could not be started";
    return check;
  }
  Doc doc = parse(xml);
  if (!doc) {
    check.reason = "not XML";
    return check;
  }
  xmlNodePtr node = xmlSecFindNode(xmlDocGetRootElement(doc.get()), xmlSecNodeSignature, xmlSecDSigNs);
  if (!node) {
    check.reason = "not signed";
    return check;
  }
  std::unique_ptr<xmlSecKeysMngr, void (*)(xmlSecKeysMngrPtr)> keys(xmlSecKeysMngrCreate(), xmlSecKeysMngrDestroy);
  if (!keys || xmlSecCryptoAppDefaultKeysMngrInit(keys.get()) < 0) {
    check.reason = "the signature cannot be checked";
    return check;
  }
  std::unique_ptr<xmlSecDSigCtx, void (*)(xmlSecDSigCtxPtr)> ctx(xmlSecDSigCtxCreate(keys.get()), xmlSecDSigCtxDestroy);
  // The key is the one of the certificate in the signature: whose it is, the subject says; a
  // laboratory's own certificate need not chain to a known authority.
  ctx->keyInfoReadCtx.flags |= XMLSEC_KEYINFO_FLAGS_X509DATA_DONT_VERIFY_CERTS;
  if (xmlSecDSigCtxVerify(ctx.get(), node) < 0) {
    check.reason = "the signature cannot be checked (damaged, or no certificate in it)";
    return check;
  }
  if (ctx->status != xmlSecDSigStatusSucceeded) {
    check.reason = "the document was changed after it was signed, or the signature is not its signer's";
    return check;
  }
  check.valid = true;
  if (ctx->signKey)
    if (xmlSecKeyDataPtr data = xmlSecKeyGetData(ctx->signKey, xmlSecOpenSSLKeyDataX509Id))
      check.subject = subjectOf(xmlSecOpenSSLKeyDataX509GetKeyCert(data));
  if (check.subject.empty()) {
    // The certificate the key came from: the one in the signature.
    if (xmlNodePtr c = xmlSecFindNode(node, BAD_CAST "X509Certificate", xmlSecDSigNs)) {
      xmlChar* text = xmlNodeGetContent(c);
      std::string b64 = text ? reinterpret_cast<const char*>(text) : "";
      xmlFree(text);
      b64.erase(std::remove_if(b64.begin(), b64.end(), [](unsigned char ch) { return std::isspace(ch); }), b64.end());
      std::string der(b64.size(), '\0');
      int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(der.data()), reinterpret_cast<const unsigned char*>(b64.data()),
                              static_cast<int>(b64.size()));
      for (auto it = b64.rbegin(); n > 0 && it != b64.rend() && *it == '='; ++it) --n;  // the padding's bytes
      if (n > 0) {
        const auto* p = reinterpret_cast<const unsigned char*>(der.data());
        std::unique_ptr<X509, void (*)(X509*)> cert(d2i_X509(nullptr, &p, n), X509_free);
        check.subject = subjectOf(cert.get());
      }
    }
  }
  return check;
}

}  // namespace velmora::comparison
