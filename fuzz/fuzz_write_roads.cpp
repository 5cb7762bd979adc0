// The two roads of writing: a document written into a string (the direct
// writer for common documents) must give the same result code and the same
// bytes as the same document written to a file (libxml2's serializer, always).
//
// Input: a flags byte, then the document's bytes, then optionally a zero byte
// and a text. Flags: bit 0 keeps entity references (parse and write), bit 1
// writes indented (both roads libxml2's then). A document that does not parse
// is replaced by a new one with one element. The text, when given, is set as
// an attribute value and appended as a text node and inside a new element of
// the document element, so that values no parse can give (tabs and line ends
// in attributes, carriage returns in text) reach the writers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FuzzInput.h"
#include "KelIDOMImplementation.h"
#include "KelIXMLDOMDocumentBuilder.h"
#include "KelIXMLSAXFactory.h"
#include "KelListValKelUnicodeString.h"
#include "KelSysLog.h"

namespace {

std::string g_directory;

void Quiet(const char*, void*) {}

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

KelIDOMDocument_var Parse(const KelIXMLDOMDocumentBuilder_var& builder, const KelUnicodeString& text,
                          const KelListValKelUnicodeString& names, const KelListValKelUnicodeString& values) {
  KelIXMLSAXFactory_var factory;
  KelIXMLInputSource_var source;
  KelIDOMDocument_var document;
  Require(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX) >= 0);
  Require(factory->createInputSourceFromBuffer(text, KelUnicodeString("Buffer"), source) >= 0);
  if (builder->parse(source, document, names, values, KelISAXEntityResolver_var(), KelISAXErrorHandler_var()) < 0) {
    return KelIDOMDocument_var();
  }
  return document;
}

KelIDOMDocument_var NewDocument(const KelIXMLDOMDocumentBuilder_var& builder) {
  KelIDOMImplementation_var implementation;
  KelIDOMDocument_var document;
  KelIDOMElement_var root;
  KelIDOMNode_var appended;
  Require(builder->getDOMImplementation(implementation) >= 0);
  Require(implementation->createDocument(KelUnicodeString(""), KelUnicodeString("r"), KelIDOMDocumentType_var(),
                                         document) >= 0);
  Require(document->createElement(KelUnicodeString("r"), root) >= 0);
  Require(document->appendChild(root, appended) >= 0);
  return document;
}

// The text as an attribute value, a text node and a new element's content.
// The stand-in may refuse it (not XML characters, read-only content): the
// document is then written as it is.
void Edit(const KelIDOMDocument_var& document, const KelUnicodeString& text) {
  KelIDOMElement_var root;
  if (document->getDocumentElement(root) < 0 || root == NULL_var) return;
  root->setAttribute(KelUnicodeString("fuzzed"), text);
  KelIDOMNode_var node, appended;
  if (document->createTextNode(text, node) >= 0 && node != NULL_var) root->appendChild(node, appended);
  KelIDOMElement_var element;
  if (document->createElement(KelUnicodeString("e"), element) < 0 || element == NULL_var) return;
  element->setAttribute(KelUnicodeString("a"), text);
  if (document->createTextNode(text, node) >= 0 && node != NULL_var) element->appendChild(node, appended);
  root->appendChild(element, appended);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_directory = ScratchDirectory("write-roads");
  std::atexit([] { std::filesystem::remove_all(g_directory); });
  KelSetSysLogSink(Quiet, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const std::uint8_t* body = data + 1;
  const std::size_t length = size - 1;
  const void* zero = std::memchr(body, 0, length);
  const std::size_t documentLength = zero != nullptr ? static_cast<const std::uint8_t*>(zero) - body : length;

  KelIXMLDOMDocumentBuilder_var builder;
  Require(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM) >= 0);
  KelListValKelUnicodeString names, values;
  names.Append(KelUnicodeString("KelExpandEntityReferences"));
  values.Append(KelUnicodeString((flags & 1) != 0 ? "false" : "true"));
  KelIDOMDocument_var document = Parse(builder, FuzzText(body, documentLength), names, values);
  if (document == NULL_var) document = NewDocument(builder);
  if (zero != nullptr) Edit(document, FuzzText(body + documentLength + 1, length - documentLength - 1));

  names.Append(KelUnicodeString("KelFormatPrettyPrint"));
  values.Append(KelUnicodeString((flags & 2) != 0 ? "true" : "false"));
  KelUnicodeString text;
  const long toString = builder->writeToString(document, text, names, values);
  const std::string path = g_directory + "/written.xml";
  std::filesystem::remove(path);
  const long toFile = builder->write(document, KelUnicodeString(path), names, values);
  Require((toString >= 0) == (toFile >= 0));
  if (toString < 0) return 0;
  Require(text.ToUTF8() == ReadAll(path));
  return 0;
}
