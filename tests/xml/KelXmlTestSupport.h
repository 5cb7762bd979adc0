// Shared helpers of the XML parser tests: making builders and documents,
// parsing and writing text, option lists, and recording entity
// resolvers and error handlers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "KelIDOMDocument.h"
#include "KelIDOMImplementation.h"
#include "KelISAXEntityResolver.h"
#include "KelISAXErrorHandler.h"
#include "KelIXMLDOMDocumentBuilder.h"
#include "KelIXMLSAXFactory.h"
#include "KelListValKelUnicodeString.h"
#include "support/TestFiles.h"

namespace keltest {

inline std::string U8(const KelUnicodeString& text) { return text.ToUTF8(); }
inline KelUnicodeString U(const std::string& utf8) { return KelUnicodeString(utf8); }

inline std::string DataPath(const std::string& name) { return std::string(KEL_TEST_DATA_DIR) + "/xml/" + name; }

// Option lists from name/value pairs.
struct Options {
  KelListValKelUnicodeString names;
  KelListValKelUnicodeString values;
  Options() = default;
  Options(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    for (const auto& [name, value] : pairs) {
      names.Append(KelUnicodeString(name));
      values.Append(KelUnicodeString(value));
    }
  }
};

inline KelIXMLDOMDocumentBuilder_var MakeBuilder() {
  KelIXMLDOMDocumentBuilder_var builder;
  EXPECT_GE(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM), 0);
  EXPECT_NE(builder, NULL_var);
  return builder;
}

inline KelIXMLInputSource_var TextSource(const std::string& text, const std::string& identifier = "Buffer") {
  KelIXMLSAXFactory_var factory;
  EXPECT_GE(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX), 0);
  KelIXMLInputSource_var source;
  EXPECT_GE(factory->createInputSourceFromBuffer(U(text), U(identifier), source), 0);
  return source;
}

inline KelIXMLInputSource_var FileSource(const std::string& systemId, const std::string& publicId = "") {
  KelIXMLSAXFactory_var factory;
  EXPECT_GE(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX), 0);
  KelIXMLInputSource_var source;
  EXPECT_GE(factory->createInputSourceFromSystemId(U(systemId), U(publicId), source), 0);
  return source;
}

inline long ParseText(const KelIXMLDOMDocumentBuilder_var& builder, const std::string& text,
                      KelIDOMDocument_var& document, const Options& options = {},
                      const KelISAXEntityResolver_var& resolver = nullptr,
                      const KelISAXErrorHandler_var& handler = nullptr) {
  return builder->parse(TextSource(text), document, options.names, options.values, resolver, handler);
}

inline long ParseFile(const KelIXMLDOMDocumentBuilder_var& builder, const std::string& path,
                      KelIDOMDocument_var& document, const Options& options = {},
                      const KelISAXEntityResolver_var& resolver = nullptr,
                      const KelISAXErrorHandler_var& handler = nullptr) {
  return builder->parse(U(path), document, options.names, options.values, resolver, handler);
}

// The document written into a string, as UTF-8; "" on failure.
inline std::string WriteText(const KelIXMLDOMDocumentBuilder_var& builder, const KelIDOMDocument_var& document,
                             const Options& options = {}) {
  KelUnicodeString text;
  const long result = builder->writeToString(document, text, options.names, options.values);
  EXPECT_GE(result, 0);
  return result >= 0 ? U8(text) : std::string();
}

inline KelIDOMDocument_var NewDocument(const KelIXMLDOMDocumentBuilder_var& builder,
                                       const KelIDOMDocumentType_var& doctype = nullptr) {
  KelIDOMImplementation_var implementation;
  EXPECT_GE(builder->getDOMImplementation(implementation), 0);
  KelIDOMDocument_var document;
  EXPECT_GE(implementation->createDocument(U(""), U("Integration"), doctype, document), 0);
  return document;
}

inline KelIDOMElement_var Element(const KelIDOMDocument_var& document, const std::string& tag,
                                  std::initializer_list<std::pair<const char*, const char*>> attributes = {}) {
  KelIDOMElement_var element;
  EXPECT_GE(document->createElement(U(tag), element), 0);
  for (const auto& [name, value] : attributes) EXPECT_GE(element->setAttribute(U(name), U(value)), 0);
  return element;
}

// Appends and checks that it worked.
inline void Append(const KelIDOMNode_var& parent, const KelIDOMNode_var& child) {
  KelIDOMNode_var appended;
  ASSERT_GE(parent->appendChild(child, appended), 0);
  ASSERT_NE(appended, NULL_var);
}

// Reading the tree; each call is expected to succeed.
inline KelIDOMElement_var Root(const KelIDOMDocument_var& document) {
  KelIDOMElement_var root;
  EXPECT_GE(document->getDocumentElement(root), 0);
  return root;
}

inline KelIDOMNode_var FirstChild(const KelIDOMNode_var& node) {
  KelIDOMNode_var child;
  EXPECT_GE(node->getFirstChild(child), 0);
  return child;
}

inline KelIDOMNode_var NextSibling(const KelIDOMNode_var& node) {
  KelIDOMNode_var sibling;
  EXPECT_GE(node->getNextSibling(sibling), 0);
  return sibling;
}

inline KelIDOMNode_var Parent(const KelIDOMNode_var& node) {
  KelIDOMNode_var parent;
  EXPECT_GE(node->getParentNode(parent), 0);
  return parent;
}

inline KelIDOMElement_var AsElement(const KelIDOMNode_var& node) {
  return KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
}

inline unsigned short TypeOf(const KelIDOMNode_var& node) {
  unsigned short type = 0;
  EXPECT_GE(node->getNodeType(type), 0);
  return type;
}

// The node's value, "<null>" for none.
inline std::string Value(const KelIDOMNode_var& node) {
  KelUnicodeString value("stale");
  EXPECT_GE(node->getNodeValue(value), 0);
  return value.IsNull() ? "<null>" : U8(value);
}

inline bool Same(const KelIDOMNode_var& a, const KelIDOMNode_var& b) {
  bool same = false;
  EXPECT_GE(a->isSameNode(b, same), 0);
  return same;
}

inline KelIDOMNode_var Text(const KelIDOMDocument_var& document, const std::string& text) {
  KelIDOMNode_var node;
  EXPECT_GE(document->createTextNode(U(text), node), 0);
  return node;
}

// Elements tagged `tag` below a document or an element.
template <class Scope>
KelIDOMNodeList_var ByTag(const Scope& scope, const std::string& tag) {
  KelIDOMNodeList_var list;
  EXPECT_GE(scope->getElementsByTagName(U(tag), list), 0);
  return list;
}

inline unsigned int Length(const KelIDOMNodeList_var& list) {
  unsigned int length = 0;
  EXPECT_GE(list->getLength(length), 0);
  return length;
}

inline KelIDOMNode_var Item(const KelIDOMNodeList_var& list, unsigned int index) {
  KelIDOMNode_var node;
  EXPECT_GE(list->item(index, node), 0);
  return node;
}

inline std::string Attribute(const KelIDOMNode_var& node, const std::string& name) {
  KelIDOMElement_var element = KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
  if (element == nullptr) return "<not an element>";
  KelUnicodeString value;
  EXPECT_GE(element->getAttribute(U(name), value), 0);
  return U8(value);
}

inline std::string Name(const KelIDOMNode_var& node) {
  KelUnicodeString name;
  EXPECT_GE(node->getNodeName(name), 0);
  return U8(name);
}

// The values of attribute `attribute` of the list's nodes, joined with ",".
inline std::string ListAttributes(const KelIDOMNodeList_var& list, const std::string& attribute) {
  std::string joined;
  for (unsigned int i = 0; i < Length(list); ++i) joined += (i > 0 ? "," : "") + Attribute(Item(list, i), attribute);
  return joined;
}

// The names of a node's children, joined with ",".
inline std::string ChildNames(const KelIDOMNode_var& parent) {
  std::string joined;
  for (KelIDOMNode_var child = FirstChild(parent); child != nullptr; child = NextSibling(child))
    joined += (joined.empty() ? "" : ",") + Name(child);
  return joined;
}

// A resolver that records what it is asked and answers with `answer` (or
// declines when it gives an empty source).
class RecordingResolver final : public KelISAXEntityResolver {
 public:
  explicit RecordingResolver(std::function<KelIXMLInputSource_var(const std::string&)> answer = nullptr)
      : answer_(std::move(answer)) {}
  long resolveEntity(const KelUnicodeString& publicId, const KelUnicodeString& systemId,
                     KelIXMLInputSource_var& inputSource) override {
    public_ids.push_back(publicId.IsNull() ? "<null>" : U8(publicId));
    system_ids.push_back(U8(systemId));
    inputSource = answer_ ? answer_(U8(systemId)) : nullptr;
    return inputSource != nullptr ? S_OK : E_FAIL;
  }
  std::vector<std::string> public_ids;
  std::vector<std::string> system_ids;

 private:
  std::function<KelIXMLInputSource_var(const std::string&)> answer_;
};

class RecordingHandler final : public KelISAXErrorHandler {
 public:
  struct Entry {
    std::string kind;
    std::string message;
  };
  long warning(const KelXMLParseError& problem) override { return Record("warning", problem); }
  long error(const KelXMLParseError& problem) override { return Record("error", problem); }
  long fatalError(const KelXMLParseError& problem) override { return Record("fatal", problem); }
  std::vector<Entry> entries;

  bool Has(const std::string& kind) const {
    for (const Entry& entry : entries) {
      if (entry.kind == kind) return true;
    }
    return false;
  }

 private:
  long Record(const char* kind, const KelXMLParseError& problem) {
    entries.push_back({kind, U8(problem.message)});
    return S_OK;
  }
};

// Objects made with new start with one reference, which the handle takes.
template <class T, class... Args>
KelVar<T> Make(Args&&... args) {
  return KelVar<T>::Adopt(new T(std::forward<Args>(args)...));
}

}  // namespace keltest
