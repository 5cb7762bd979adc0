// KelXmlDOMImplementation: the KelIDOMImplementation of the stand-in; makes
// documents (with a document type when asked) and standalone document types.
//
// Threading: stateless; any thread.
#pragma once

#include "KelIDOMImplementation.h"

class KelXmlDOMImplementation final : public KelIDOMImplementation {
  KelDeclareClass

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long createDocumentType(const KelUnicodeString& qualifiedName, const KelUnicodeString& publicId,
                          const KelUnicodeString& systemId, KelIDOMDocumentType_var& doctype) override;
  long createDocument(const KelUnicodeString& namespaceURI, const KelUnicodeString& qualifiedName,
                      const KelIDOMDocumentType_var& doctype, KelIDOMDocument_var& document) override;
};
