// KelXmlSAXFactory: the KelIXMLSAXFactory of the stand-in; makes input
// sources.
//
// Threading: stateless; any thread.
#pragma once

#include "KelIXMLSAXFactory.h"

class KelXmlSAXFactory final : public KelIXMLSAXFactory {
  KelDeclareClass

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long createInputSourceFromBuffer(const KelUnicodeString& text, const KelUnicodeString& identifier,
                                   KelIXMLInputSource_var& source) override;
  long createInputSourceFromSystemId(const KelUnicodeString& systemId, const KelUnicodeString& publicId,
                                     KelIXMLInputSource_var& source) override;
};
