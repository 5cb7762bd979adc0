// KelXmlDocument: the KelIDOMDocument over one libxml2 document, which it owns.
//
// Nodes that belong to the document but to no parent (made and not yet
// appended, or removed) hang under a private holder node that is not part of
// the tree; they are freed with the document. The document is freed when the
// last handle on it, on one of its nodes or on one of its lists goes.
//
// Threading: one thread at a time.
#pragma once

#include <libxml/tree.h>

#include "KelXmlNodeBase.h"
#include "KelXmlTree.h"

class KelXmlDocument final : public KelXmlNodeBase<KelIDOMDocument> {
  KelDeclareClass

  // Takes ownership of `document` (freed here when no object can be made).
  // `referencesKept`: parsed without expanding entity references.
  static KelXmlDocument* Create(xmlDocPtr document, bool referencesKept);
  ~KelXmlDocument() override;

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  // KelIDOMDocument
  long getDoctype(KelIDOMDocumentType_var& doctype) override;
  long getDocumentElement(KelIDOMElement_var& element) override;
  long createElement(const KelUnicodeString& tagName, KelIDOMElement_var& element) override;
  long createTextNode(const KelUnicodeString& data, KelIDOMNode_var& text) override;
  long getElementsByTagName(const KelUnicodeString& tagName, KelIDOMNodeList_var& list) override;
  long getChangeCount(unsigned long long& count) override;

  xmlDocPtr Doc() const { return document_; }
  // Whether `node` is the holder of the detached nodes.
  bool IsDetachedHolder(xmlNodePtr node) const { return node == detached_; }
  // Keeps an unlinked node (and its subtree) until the document goes.
  void KeepDetached(xmlNodePtr node) { kelxml::LinkLast(detached_, node); }
  // Whether the tree may hold entity reference nodes (parsed keeping them,
  // with a document type that can declare entities).
  bool MayHoldReferences() const { return may_hold_references_; }
  // Parsed keeping entity references: libxml2 then holds namespace URIs and
  // declared attribute defaults with each "&" as the start of a reference
  // ("&#38;" for the character itself).
  bool ReferencesKept() const { return references_kept_; }
  void Changed() { ++changes_; }
  unsigned long long Changes() const { return changes_; }

 private:
  KelXmlDocument(xmlDocPtr document, xmlNodePtr detached, bool referencesKept);

  xmlDocPtr document_;
  xmlNodePtr detached_;
  bool references_kept_;
  bool may_hold_references_;
  unsigned long long changes_ = 0;
};
