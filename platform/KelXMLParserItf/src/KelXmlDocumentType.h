// KelXmlDocumentType: the KelIDOMDocumentType over one document type node of
// the stand-in's tree.
//
// Made by KelXmlDOMImplementation, the document type belongs to no document:
// this object owns a small tree of its own holding the node and its libxml2
// DTD. Join moves it into a new document, which owns it from then on. Got
// from a document, it is that document's node.
//
// Threading: one thread at a time, like its document.
#pragma once

#include <memory>

#include "KelXmlNodeBase.h"
#include "KelXmlTree.h"

class KelXmlDocumentType final : public KelXmlNodeBase<KelIDOMDocumentType> {
  KelDeclareClass

  // The document type node of a document.
  KelXmlDocumentType(KelXmlDocument* document, kelxml::Node* node) : KelXmlNodeBase(document, node, true) {}
  // The document type `node` of no document, in `own`, which this object keeps.
  KelXmlDocumentType(std::unique_ptr<kelxml::Tree> own, kelxml::Node* node);
  ~KelXmlDocumentType() override;

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getName(KelUnicodeString& name) override;
  long getPublicId(KelUnicodeString& publicId) override;
  long getSystemId(KelUnicodeString& systemId) override;

  // Makes the document type of no document the document type of `document`
  // (a new document with no children). E_INVALIDARG when it already belongs
  // to a document. Raises std::bad_alloc when memory runs out (nothing moved).
  long Join(KelXmlDocument* document);

 private:
  std::unique_ptr<kelxml::Tree> own_;  // null once in a document
};
