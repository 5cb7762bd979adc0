// The stand-in's serializer against libxml2's. A document read and written by
// the stand-in must give the bytes libxml2 gives reading and writing the same
// input itself; after edits (values no parse can give), what the stand-in
// wrote must be what libxml2 writes again on reading it; and the string and
// the file must hold the same bytes.
//
// Input: a flags byte, then the document's bytes, then optionally a zero byte
// and a text. Flags: bit 0 keeps entity references (parse and write), bit 1
// writes indented. A document that does not parse is replaced by a new one
// with one element. The text, when given, is set as an attribute value and
// appended as a text node and inside a new element of the document element,
// so that tabs and line ends in attributes and carriage returns in text reach
// the writers. Documents that name anything external are left to the other
// targets: libxml2 on its own would read it another way.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <libxml/parser.h>
#include <libxml/xmlsave.h>

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

int Collect(void* context, const char* data, int length) {
  static_cast<std::string*>(context)->append(data, static_cast<std::size_t>(length));
  return length;
}

// Whether libxml2 writes the document's namespace URIs and declared attribute
// defaults as the stand-in does: it writes them unescaped, the stand-in
// escapes them so that they read back (docs/XML.md).
bool LiteralsAgree(xmlDocPtr document) {
  auto plain = [](const xmlChar* text) {
    return text == nullptr || std::strpbrk(reinterpret_cast<const char*>(text), "&<\"\t\n\r") == nullptr;
  };
  if (document->intSubset != nullptr) {
    for (xmlNodePtr decl = document->intSubset->children; decl != nullptr; decl = decl->next) {
      if (decl->type == XML_ATTRIBUTE_DECL && !plain(reinterpret_cast<xmlAttributePtr>(decl)->defaultValue)) {
        return false;
      }
    }
  }
  for (xmlNodePtr node = xmlDocGetRootElement(document); node != nullptr;) {
    for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next) {
      if (!plain(ns->href)) return false;
    }
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
      node = node->children;
      continue;
    }
    while (node != nullptr && node->next == nullptr) {
      node = node->parent;
      if (node != nullptr && node->type == XML_DOCUMENT_NODE) node = nullptr;
    }
    if (node != nullptr) node = node->next;
  }
  return true;
}

// `text` read and written by libxml2 alone, with the stand-in's parse flags;
// false when libxml2 refuses it or would write it otherwise than the stand-in.
bool LibxmlRewrite(const std::string& text, bool keep, bool pretty, std::string& written) {
  const int flags = XML_PARSE_NONET | XML_PARSE_DTDATTR | (keep ? 0 : XML_PARSE_NOENT) | XML_PARSE_NOERROR |
                    XML_PARSE_NOWARNING;
  xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), "Buffer", nullptr, flags);
  if (document == nullptr) return false;
  bool agree = LiteralsAgree(document);
  if (agree) {
    xmlSaveCtxtPtr save = xmlSaveToIO(Collect, nullptr, &written, "UTF-8", pretty ? XML_SAVE_FORMAT : 0);
    Require(save != nullptr);
    agree = xmlSaveDoc(save, document) >= 0;
    xmlSaveClose(save);
  }
  xmlFreeDoc(document);
  return agree;
}

bool External(const std::string& text) {
  return text.find("SYSTEM") != std::string::npos || text.find("PUBLIC") != std::string::npos;
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
  const KelUnicodeString input = FuzzText(body, documentLength);
  KelIDOMDocument_var document = Parse(builder, input, names, values);
  const bool parsed = document != NULL_var;
  if (!parsed) document = NewDocument(builder);
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
  const std::string written = text.ToUTF8();
  Require(written == ReadAll(path));

  const bool keep = (flags & 1) != 0;
  const bool pretty = (flags & 2) != 0;
  std::string expected;
  const std::string source = input.ToUTF8();
  if (parsed && zero == nullptr && !External(source) && LibxmlRewrite(source, keep, pretty, expected)) {
    Require(written == expected);
  }
  // Read again, an indented document holds the indentation as text, which
  // libxml2 then writes as it stands: only unindented writes are compared.
  expected.clear();
  // An empty text node, which an edit can append, is written "<e></e>" and
  // read back as no node at all.
  const bool emptyText = zero != nullptr && documentLength + 1 == length;
  if (!pretty && !emptyText && !External(written) && LibxmlRewrite(written, keep, false, expected)) {
    Require(written == expected);
  }
  return 0;
}
