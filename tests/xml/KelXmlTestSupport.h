// Shared helpers of the XML parser tests: making builders and documents,
// parsing and writing text, option lists, reading the tree, and recording
// entity resolvers and error handlers. Every call a helper makes is expected
// to succeed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <initializer_list>
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

// What `call` hands out through its last argument, starting from `value`.
template <class T, class Call>
T Out(Call&& call, T value = T()) {
  EXPECT_GE(call(value), 0);
  return value;
}

inline KelIXMLDOMDocumentBuilder_var MakeBuilder() {
  auto builder =
      Out<KelIXMLDOMDocumentBuilder_var>([](auto& b) { return CreateKelIXMLDOMDocumentBuilder(b, CLSID_XML4C_DOM); });
  EXPECT_NE(builder, NULL_var);
  return builder;
}

inline KelIXMLSAXFactory_var SaxFactory() {
  return Out<KelIXMLSAXFactory_var>([](auto& f) { return CreateKelIXMLSAXFactory(f, CLSID_XML4C_SAX); });
}

inline KelIXMLInputSource_var TextSource(const std::string& text, const std::string& identifier = "Buffer") {
  return Out<KelIXMLInputSource_var>(
      [&](auto& s) { return SaxFactory()->createInputSourceFromBuffer(U(text), U(identifier), s); });
}

inline KelIXMLInputSource_var FileSource(const std::string& systemId, const std::string& publicId = "") {
  return Out<KelIXMLInputSource_var>(
      [&](auto& s) { return SaxFactory()->createInputSourceFromSystemId(U(systemId), U(publicId), s); });
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
  const auto implementation = Out<KelIDOMImplementation_var>([&](auto& i) { return builder->getDOMImplementation(i); });
  return Out<KelIDOMDocument_var>(
      [&](auto& d) { return implementation->createDocument(U(""), U("Integration"), doctype, d); });
}

inline KelIDOMElement_var Element(const KelIDOMDocument_var& document, const std::string& tag,
                                  std::initializer_list<std::pair<const char*, const char*>> attributes = {}) {
  const auto element = Out<KelIDOMElement_var>([&](auto& e) { return document->createElement(U(tag), e); });
  for (const auto& [name, value] : attributes) EXPECT_GE(element->setAttribute(U(name), U(value)), 0);
  return element;
}

inline void Append(const KelIDOMNode_var& parent, const KelIDOMNode_var& child) {
  KelIDOMNode_var appended;
  ASSERT_GE(parent->appendChild(child, appended), 0);
  ASSERT_NE(appended, NULL_var);
}

inline KelIDOMNode_var Text(const KelIDOMDocument_var& document, const std::string& text) {
  return Out<KelIDOMNode_var>([&](auto& t) { return document->createTextNode(U(text), t); });
}

inline KelIDOMElement_var Root(const KelIDOMDocument_var& document) {
  return Out<KelIDOMElement_var>([&](auto& r) { return document->getDocumentElement(r); });
}
inline KelIDOMNode_var FirstChild(const KelIDOMNode_var& node) {
  return Out<KelIDOMNode_var>([&](auto& c) { return node->getFirstChild(c); });
}
inline KelIDOMNode_var NextSibling(const KelIDOMNode_var& node) {
  return Out<KelIDOMNode_var>([&](auto& s) { return node->getNextSibling(s); });
}
inline KelIDOMNode_var Parent(const KelIDOMNode_var& node) {
  return Out<KelIDOMNode_var>([&](auto& p) { return node->getParentNode(p); });
}
inline KelIDOMElement_var AsElement(const KelIDOMNode_var& node) {
  return KelQuery<KelIDOMElement>(node, IID_KelIDOMElement);
}
inline unsigned short TypeOf(const KelIDOMNode_var& node) {
  return Out<unsigned short>([&](auto& t) { return node->getNodeType(t); });
}
inline std::string Name(const KelIDOMNode_var& node) {
  return U8(Out<KelUnicodeString>([&](auto& n) { return node->getNodeName(n); }));
}
// The node's value, "<null>" for none; a value left unwritten shows as "stale".
inline std::string Value(const KelIDOMNode_var& node) {
  const auto value = Out([&](auto& v) { return node->getNodeValue(v); }, KelUnicodeString("stale"));
  return value.IsNull() ? "<null>" : U8(value);
}
inline bool Same(const KelIDOMNode_var& a, const KelIDOMNode_var& b) {
  return Out<bool>([&](auto& same) { return a->isSameNode(b, same); });
}
inline std::string Attribute(const KelIDOMNode_var& node, const std::string& name) {
  const KelIDOMElement_var element = AsElement(node);
  if (element == nullptr) return "<not an element>";
  return U8(Out<KelUnicodeString>([&](auto& v) { return element->getAttribute(U(name), v); }));
}

// Elements tagged `tag` below a document or an element.
template <class Scope>
KelIDOMNodeList_var ByTag(const Scope& scope, const std::string& tag) {
  return Out<KelIDOMNodeList_var>([&](auto& l) { return scope->getElementsByTagName(U(tag), l); });
}
inline unsigned int Length(const KelIDOMNodeList_var& list) {
  return Out<unsigned int>([&](auto& n) { return list->getLength(n); });
}
inline KelIDOMNode_var Item(const KelIDOMNodeList_var& list, unsigned int index) {
  return Out<KelIDOMNode_var>([&](auto& n) { return list->item(index, n); });
}

// `text(node)` for each node of a list, joined with ",".
inline std::string Joined(const KelIDOMNodeList_var& list,
                          const std::function<std::string(const KelIDOMNode_var&)>& text) {
  std::string joined;
  for (unsigned int i = 0; i < Length(list); ++i) joined += (i > 0 ? "," : "") + text(Item(list, i));
  return joined;
}
inline std::string ListAttributes(const KelIDOMNodeList_var& list, const std::string& attribute) {
  return Joined(list, [&](const KelIDOMNode_var& node) { return Attribute(node, attribute); });
}
// The names of a node's children, by their sibling links.
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
  bool Has(const std::string& kind) const {
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) { return entry.kind == kind; });
  }
  std::vector<Entry> entries;

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
