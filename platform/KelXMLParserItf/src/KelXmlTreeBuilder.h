// Building the stand-in's tree straight from libxml2's parser, through SAX
// handlers that stand in for libxml2's own tree builders, for a document
// without a document type: the common document, read without the libxml2
// tree that KelXmlConvert.h would read it from.
//
// The handlers make what libxml2's would: the same names, namespace
// declarations as attributes in their order, attribute values as libxml2
// keeps them, adjacent text (and adjacent CDATA sections) in one node, no
// text outside the document element. A document type stops the parse
// (FellBack): entities, defaults and validation are libxml2's tree's work.
// The parse (KelXmlParse.cpp) installs handlers that call these members.
//
// Threading: one parse, on the thread that runs it.
#pragma once

#include <libxml/parser.h>

#include <memory>
#include <string>
#include <string_view>

#include "KelXmlTree.h"

namespace kelxml {

class TreeBuilder {
 public:
  // `referencesKept`: the parse keeps entity references (libxml2 then holds
  // an "&" of an attribute value as "&#38;").
  explicit TreeBuilder(bool referencesKept);

  bool FellBack() const { return fell_back_; }
  // The tree made; the builder is done with it.
  std::unique_ptr<Tree> Take();

  // What the handlers pass on.
  void StartDocument(xmlParserCtxtPtr ctxt);
  void StartElement(const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri, int namespaceCount,
                    const xmlChar** namespaces, int attributeCount, const xmlChar** attributes);
  void EndElement();
  void Characters(const xmlChar* text, int length, Kind kind);
  void Comment(const xmlChar* text);
  void ProcessingInstruction(const xmlChar* target, const xmlChar* data);
  void FallBack() { fell_back_ = true; }

  // What the quick reader (KelXmlQuickParse.h) passes on, already decoded:
  // the XML declaration's version and standalone flag (as libxml2 numbers
  // it); an element without namespaces; an attribute of the element just
  // started, false (and nothing added) when the element has one of that
  // name; text of the element being filled.
  void Declaration(std::string_view version, int standalone);
  void StartElement(std::string_view name);
  bool AddAttribute(std::string_view name, std::string_view value);
  void Characters(std::string_view text) {
    Characters(reinterpret_cast<const xmlChar*>(text.data()), static_cast<int>(text.size()), Kind::Text);
  }
  // Bytes of the names held so far.
  std::size_t NameBytes() const { return tree_->NameBytes(); }
  bool Started() const { return started_; }
  // Whether text of `kind` would be added to a node already begun, and how
  // long that node's text is.
  bool Grows(Kind kind) const { return has_pending_ && pending_kind_ == kind; }
  std::size_t Pending() const { return pending_.size(); }

 private:
  void Flush();
  std::string_view QName(const xmlChar* prefix, const xmlChar* localname);

  std::unique_ptr<Tree> tree_;
  bool references_kept_;
  Node* current_ = nullptr;  // the element being filled; null before and after the document element
  Attribute** tail_ = nullptr;  // where the quick reader's next attribute of current_ goes
  // Text (or CDATA) met since the last node, not yet made a node: libxml2
  // makes adjacent pieces one node.
  std::string pending_;
  Kind pending_kind_ = Kind::Text;
  bool has_pending_ = false;
  bool fell_back_ = false;
  bool started_ = false;
  std::string scratch_;
  NameMemo names_;  // of the names libxml2's parser hands on
};

}  // namespace kelxml
