// KelXmlDocument: the KelIDOMDocument over one document of the stand-in's own
// tree (KelXmlTree.h), which it owns.
//
// Nodes that belong to the document but to no parent (made and not yet
// appended, or removed) are simply detached: they stay in the tree's arena,
// and are freed with it. The document is freed when the last handle on it, on
// one of its nodes or on one of its lists goes.
//
// Threading: one thread at a time.
#pragma once

#include <memory>

#include "KelXmlNodeBase.h"
#include "KelXmlTree.h"

class KelXmlDocument final : public KelXmlNodeBase<KelIDOMDocument> {
  KelDeclareClass

  // A document over `tree` (null when no object can be made; the tree is
  // then freed). `referencesKept`: parsed without expanding entity
  // references.
  static KelXmlDocument* Create(std::unique_ptr<kelxml::Tree> tree, bool referencesKept);
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

  kelxml::Tree& Tree() { return *tree_; }
  const kelxml::Tree& Tree() const { return *tree_; }
  // The document element, or null.
  kelxml::Node* DocumentElement() const;
  // The document type node, or null.
  kelxml::Node* DocumentType() const;
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
  KelXmlDocument(std::unique_ptr<kelxml::Tree> tree, bool referencesKept);

  std::unique_ptr<kelxml::Tree> tree_;
  bool references_kept_;
  bool may_hold_references_;
  unsigned long long changes_ = 0;
};
