// KelIDOMDocument: a DOM document, the factory of its nodes.
//
// Nodes made by createElement and createTextNode belong to the document but
// to no parent until they are appended; those never appended are freed with
// the document. The first element appended to the document itself becomes
// its document element; a document holds at most one.
//
// getChangeCount gives a counter that grows with every change made to the
// document's nodes through any handle: a child appended, inserted, moved or
// removed, an attribute set or removed, a node's text changed. Two equal
// readings mean that nothing changed in between, so a caller can keep an index
// of the document and trust it while the counter stays the same. Reading it is
// O(1).
//
// Ownership: the document lives while any handle on it, on one of its nodes
// or on one of its node lists exists. Threading: as KelIDOMNode.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelIDOMDocumentType.h"
#include "KelIDOMElement.h"
#include "KelIDOMNode.h"
#include "KelIDOMNodeList.h"

extern ExportedByKelXMLParserItf const IID IID_KelIDOMDocument;

class ExportedByKelXMLParserItf KelIDOMDocument : public KelIDOMNode {
 public:
  ~KelIDOMDocument() override;

  // The DOCTYPE, or an empty handle when the document has none.
  virtual long getDoctype(KelIDOMDocumentType_var& doctype) = 0;
  // The document element, or an empty handle when there is none yet.
  virtual long getDocumentElement(KelIDOMElement_var& element) = 0;
  // A new element, not yet attached; a tag that is not an XML name is
  // E_INVALIDARG.
  virtual long createElement(const KelUnicodeString& tagName, KelIDOMElement_var& element) = 0;
  // A new text node, not yet attached.
  virtual long createTextNode(const KelUnicodeString& data, KelIDOMNode_var& text) = 0;
  // Every element of the document whose tag is `tagName`, at any depth, in
  // document order; "*" matches every element.
  virtual long getElementsByTagName(const KelUnicodeString& tagName, KelIDOMNodeList_var& list) = 0;
  // The document's change counter (see above). Extension of the stand-in,
  // not in the platform contract (docs/XML.md).
  virtual long getChangeCount(unsigned long long& count) = 0;
};
