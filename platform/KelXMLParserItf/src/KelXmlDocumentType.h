// KelXmlDocumentType: the KelIDOMDocumentType over one libxml2 DTD node.
//
// Made by KelXmlDOMImplementation, the DTD belongs to no document and this
// object owns it; Join hands it to a new document, which owns it from then on.
// Got from a document, it is that document's DTD.
//
// Threading: one thread at a time, like its document.
#pragma once

#include <libxml/tree.h>

#include "KelXmlNodeBase.h"

class KelXmlDocumentType final : public KelXmlNodeBase<KelIDOMDocumentType> {
  KelDeclareClass

  // The DTD of a document.
  KelXmlDocumentType(KelXmlDocument* document, xmlNodePtr node) : KelXmlNodeBase(document, node, true) {}
  // A DTD of no document, owned by this object.
  explicit KelXmlDocumentType(xmlDtdPtr dtd) : KelXmlNodeBase(nullptr, reinterpret_cast<xmlNodePtr>(dtd), true) {}
  ~KelXmlDocumentType() override;

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getName(KelUnicodeString& name) override;
  long getPublicId(KelUnicodeString& publicId) override;
  long getSystemId(KelUnicodeString& systemId) override;

  // Makes the DTD of no document the DTD of `document` (a new document with
  // no children). E_INVALIDARG when it already belongs to a document.
  long Join(KelXmlDocument* document);
};
