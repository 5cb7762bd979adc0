// KelIXMLInputSource: where a parse reads its text: an in-memory text with an
// identifier, or a system identifier (a file path or file: URI) with an
// optional public identifier. Made by KelIXMLSAXFactory; handed to
// KelIXMLDOMDocumentBuilder::parse or returned by an entity resolver.
//
// An in-memory source keeps its own copy of the text. The text is read as the
// characters it holds: an encoding named in its XML or text declaration is
// disregarded, since the text is no longer in that encoding.
//
// Ownership: reference-counted; immutable once made. Threading: an input
// source may be read by one parse at a time.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelBaseUnknown.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

class KelIXMLInputSource;
typedef KelVar<KelIXMLInputSource> KelIXMLInputSource_var;

extern ExportedByKelXMLParserItf const IID IID_KelIXMLInputSource;

class ExportedByKelXMLParserItf KelIXMLInputSource : public KelBaseUnknown {
 public:
  ~KelIXMLInputSource() override;

  // The system identifier (the identifier of an in-memory source).
  virtual long getSystemId(KelUnicodeString& systemId) = 0;
  // The public identifier; the null string when there is none.
  virtual long getPublicId(KelUnicodeString& publicId) = 0;
};
