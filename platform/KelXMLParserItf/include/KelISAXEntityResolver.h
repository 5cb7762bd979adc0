// KelISAXEntityResolver: lets a caller supply the external entities the parser
// asks for: the external DTD subset of a document being validated, external
// parameter entities and external parsed general entities.
//
// The parser calls resolveEntity with the public identifier (null string when
// there is none) and the system identifier exactly as the document writes
// them. A non-negative code with a non-empty input source answers the request;
// a negative code (or an empty source) declines it, and the parser then finds
// the entity itself: a local regular file relative to where it is declared,
// inside the document's directory or that of a file a resolver supplied (a
// document in memory has none, so the parse then fails).
//
// A resolver must not raise: a platform error (KelError) raised by it fails
// the parse; anything else raised by it is raised again once the parse has
// been cleaned up.
//
// Ownership: the parse holds a reference for its duration. Threading: called
// on the thread that parses.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelBaseUnknown.h"
#include "KelIXMLInputSource.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

class KelISAXEntityResolver;
typedef KelVar<KelISAXEntityResolver> KelISAXEntityResolver_var;

extern ExportedByKelXMLParserItf const IID IID_KelISAXEntityResolver;

class ExportedByKelXMLParserItf KelISAXEntityResolver : public KelBaseUnknown {
 public:
  ~KelISAXEntityResolver() override;

  virtual long resolveEntity(const KelUnicodeString& publicId, const KelUnicodeString& systemId,
                             KelIXMLInputSource_var& inputSource) = 0;
};
