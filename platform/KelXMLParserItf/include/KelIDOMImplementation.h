// KelIDOMImplementation: makes new documents and document types.
//
// createDocument makes a document with no element at all: the first element
// that the caller appends to it becomes its document element. The namespace
// URI and qualified name are accepted for the DOM's sake and otherwise unused.
// A document type passed in becomes the document's DOCTYPE and is written out
// with it.
//
// Ownership: stateless; each document it makes is the caller's (one reference
// in the out handle). Threading: any thread.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelIDOMDocument.h"
#include "KelIDOMDocumentType.h"

class KelIDOMImplementation;
typedef KelVar<KelIDOMImplementation> KelIDOMImplementation_var;

extern ExportedByKelXMLParserItf const IID IID_KelIDOMImplementation;

class ExportedByKelXMLParserItf KelIDOMImplementation : public KelBaseUnknown {
 public:
  ~KelIDOMImplementation() override;

  // An empty public identifier means none (SYSTEM form). E_INVALIDARG for a
  // name that is not an XML name, a public identifier with characters a
  // public identifier may not hold or without a system identifier, or a
  // system identifier holding both kinds of quote.
  virtual long createDocumentType(const KelUnicodeString& qualifiedName, const KelUnicodeString& publicId,
                                  const KelUnicodeString& systemId, KelIDOMDocumentType_var& doctype) = 0;
  // `doctype` may be empty. A document type that already belongs to a
  // document is E_INVALIDARG.
  virtual long createDocument(const KelUnicodeString& namespaceURI, const KelUnicodeString& qualifiedName,
                              const KelIDOMDocumentType_var& doctype, KelIDOMDocument_var& document) = 0;
};
