// KelIDOMDocumentType: the document type declaration of a document
// (<!DOCTYPE name PUBLIC "publicId" "systemId">).
//
// A document type made by KelIDOMImplementation::createDocumentType belongs to
// no document until it is passed to createDocument, which makes it that
// document's DOCTYPE; it can be given to one document only. A document type
// has no children through this interface.
//
// Ownership and threading: as KelIDOMNode.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelIDOMNode.h"

class KelIDOMDocumentType;
typedef KelVar<KelIDOMDocumentType> KelIDOMDocumentType_var;

extern ExportedByKelXMLParserItf const IID IID_KelIDOMDocumentType;

class ExportedByKelXMLParserItf KelIDOMDocumentType : public KelIDOMNode {
 public:
  ~KelIDOMDocumentType() override;

  // The name of the document element that the declaration names.
  virtual long getName(KelUnicodeString& name) = 0;
  // The identifiers; the null string when the declaration has none.
  virtual long getPublicId(KelUnicodeString& publicId) = 0;
  virtual long getSystemId(KelUnicodeString& systemId) = 0;
};
