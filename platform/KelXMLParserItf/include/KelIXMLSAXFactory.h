// KelIXMLSAXFactory: makes input sources for the parser.
//
// CreateKelIXMLSAXFactory(out, CLSID_XML4C_SAX) makes a factory. Another class
// identifier gives E_INVALIDARG, and no memory E_OUTOFMEMORY; the out handle is
// then empty.
//
// Ownership: stateless; each input source is the caller's (one reference in
// the out handle). Threading: any thread.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelBaseUnknown.h"
#include "KelIXMLInputSource.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

class KelIXMLSAXFactory;
typedef KelVar<KelIXMLSAXFactory> KelIXMLSAXFactory_var;

extern ExportedByKelXMLParserItf const IID IID_KelIXMLSAXFactory;
extern ExportedByKelXMLParserItf const CLSID CLSID_XML4C_SAX;

class ExportedByKelXMLParserItf KelIXMLSAXFactory : public KelBaseUnknown {
 public:
  ~KelIXMLSAXFactory() override;

  // A source over a copy of `text`, known to the parser (base for relative
  // references, messages) by `identifier`.
  virtual long createInputSourceFromBuffer(const KelUnicodeString& text, const KelUnicodeString& identifier,
                                           KelIXMLInputSource_var& source) = 0;
  // A source that reads the file named by `systemId` (a path or a file: URI;
  // network locations are refused when the source is read). `publicId` may be
  // empty.
  virtual long createInputSourceFromSystemId(const KelUnicodeString& systemId, const KelUnicodeString& publicId,
                                             KelIXMLInputSource_var& source) = 0;
};

ExportedByKelXMLParserItf long CreateKelIXMLSAXFactory(KelIXMLSAXFactory_var& factory, const CLSID& clsid);
