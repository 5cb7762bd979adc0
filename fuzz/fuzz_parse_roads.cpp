// The stand-in's two readers of a document held in memory against each
// other: the quick reader, which takes the plainest documents, and libxml2's
// parser, which takes all ("KelParseWithLibxml2"). Both must accept or refuse
// the same bytes, and what they accept must be the same DOM, node for node,
// and write the same bytes.
//
// Input: a flags byte (bit 0 keeps entity references), then the document.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "KelIDOMDocument.h"
#include "KelIDOMNode.h"
#include "KelIXMLDOMDocumentBuilder.h"
#include "KelIXMLSAXFactory.h"
#include "KelListValKelUnicodeString.h"
#include "KelSysLog.h"

namespace {

void Quiet(const char*, void*) {}

void Require(bool condition) {
  if (!condition) std::abort();
}

KelIDOMDocument_var Parse(const KelIXMLDOMDocumentBuilder_var& builder, const KelUnicodeString& text, bool keep,
                          bool libxml2) {
  KelListValKelUnicodeString names, values;
  names.Append(KelUnicodeString("KelExpandEntityReferences"));
  values.Append(KelUnicodeString(keep ? "false" : "true"));
  names.Append(KelUnicodeString("KelParseWithLibxml2"));
  values.Append(KelUnicodeString(libxml2 ? "true" : "false"));
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

// Type, name and value of every node, depth first, with its depth.
std::string Outline(const KelIDOMNode_var& top) {
  std::string out;
  KelIDOMNode_var node = top;
  int depth = 0;
  for (;;) {
    unsigned short type = 0;
    KelUnicodeString name, value;
    Require(node->getNodeType(type) >= 0 && node->getNodeName(name) >= 0 && node->getNodeValue(value) >= 0);
    out += std::to_string(depth) + " " + std::to_string(type) + " " + name.ToUTF8() + "=" + value.ToUTF8() + "\n";
    KelIDOMNode_var next;
    Require(node->getFirstChild(next) >= 0);
    if (next != NULL_var) {
      ++depth;
      node = next;
      continue;
    }
    // Up to the nearest node with a next sibling, the top excepted.
    while (depth > 0) {
      Require(node->getNextSibling(next) >= 0);
      if (next != NULL_var) break;
      KelIDOMNode_var parent;
      Require(node->getParentNode(parent) >= 0 && parent != NULL_var);
      node = parent;
      --depth;
    }
    if (depth == 0) return out;
    node = next;
  }
}

std::string Written(const KelIXMLDOMDocumentBuilder_var& builder, const KelIDOMDocument_var& document) {
  KelUnicodeString text;
  Require(builder->writeToString(document, text, KelListValKelUnicodeString(), KelListValKelUnicodeString()) >= 0);
  return text.ToUTF8();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KelSetSysLogSink(Quiet, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool keep = (data[0] & 1) != 0;
  const KelUnicodeString text = FuzzText(data + 1, size - 1);
  KelIXMLDOMDocumentBuilder_var builder;
  Require(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM) >= 0);
  const KelIDOMDocument_var quick = Parse(builder, text, keep, false);
  const KelIDOMDocument_var libxml2 = Parse(builder, text, keep, true);
  Require((quick != NULL_var) == (libxml2 != NULL_var));
  if (quick == NULL_var) return 0;
  Require(Outline(KelIDOMNode_var(quick)) == Outline(KelIDOMNode_var(libxml2)));
  Require(Written(builder, quick) == Written(builder, libxml2));
  return 0;
}
