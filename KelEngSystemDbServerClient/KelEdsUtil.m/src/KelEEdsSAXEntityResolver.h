// KelEEdsSAXEntityResolver: answers the parser's request for one DTD with
// the file found for it, so that a document held in memory (which has no
// location of its own) can be validated.
//
// A resolver is made for one parse with the DTD's file name and the path
// that the search along "KelDictionaryPath" gave for it. It offers
// KelISAXEntityResolver through the interface dictionary: QueryInterface for
// IID_KelISAXEntityResolver yields an adaptor (TIE) that forwards
// resolveEntity here. A request whose system identifier is exactly the DTD's
// file name is answered with an input source over the path; every other
// request is declined (a negative code), and the parser then looks for the
// entity itself. The public identifier plays no part.
//
// Internal to the module; only the adaptor factory is exported (KelEdsUtil.h).
//
// Ownership: reference-counted, created with one reference; the adaptor holds
// one more for as long as it lives. The two names are set once by the
// constructor: a name or path of 260 characters or more is not stored at
// all, and the resolver then declines everything.
//
// Threading: a resolver serves the one parse it was made for. Its meta-object
// and the interface's meta class are made on first use without a lock.
#pragma once

#include "KelBaseUnknown.h"
#include "KelIXMLInputSource.h"
#include "KelUnicodeString.h"

class KelEEdsSAXEntityResolver : public KelBaseUnknown {
  KelDeclareClass

  KelEEdsSAXEntityResolver(const char* dtdFileName, const char* dtdPath);
  ~KelEEdsSAXEntityResolver() override;
  KelEEdsSAXEntityResolver(const KelEEdsSAXEntityResolver&) = delete;
  KelEEdsSAXEntityResolver& operator=(const KelEEdsSAXEntityResolver&) = delete;

  // The KelISAXEntityResolver operation, reached through the adaptor.
  long resolveEntity(const KelUnicodeString& publicId, const KelUnicodeString& systemId,
                     KelIXMLInputSource_var& inputSource);

 private:
  friend class KelEEdsSAXEntityResolverTestPeer;

  char _DTDPath[260];
  char _DTDName[260];
};
