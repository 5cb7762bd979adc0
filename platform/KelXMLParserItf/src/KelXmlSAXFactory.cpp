#include "KelXmlSAXFactory.h"

#include "KelXmlCall.h"
#include "KelXmlInputSource.h"
#include "KelXmlLibrary.h"

KelImplementClass(KelXmlSAXFactory, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

long KelXmlSAXFactory::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_KelIXMLSAXFactory) {
    AddRef();
    *object = static_cast<KelIXMLSAXFactory*>(this);
    return S_OK;
  }
  return KelBaseUnknown::QueryInterface(iid, object);
}

long KelXmlSAXFactory::createInputSourceFromBuffer(const KelUnicodeString& text, const KelUnicodeString& identifier,
                                                   KelIXMLInputSource_var& source) {
  source = nullptr;
  return kelxml::Call([&]() -> long {
    KelXmlInputSource* made = KelXmlInputSource::FromText(text, identifier);
    if (made == nullptr) return E_OUTOFMEMORY;
    source = KelIXMLInputSource_var::Adopt(made);
    return S_OK;
  });
}

long KelXmlSAXFactory::createInputSourceFromSystemId(const KelUnicodeString& systemId, const KelUnicodeString& publicId,
                                                     KelIXMLInputSource_var& source) {
  source = nullptr;
  return kelxml::Call([&]() -> long {
    KelXmlInputSource* made = KelXmlInputSource::FromSystemId(systemId, publicId);
    if (made == nullptr) return E_OUTOFMEMORY;
    source = KelIXMLInputSource_var::Adopt(made);
    return S_OK;
  });
}

long CreateKelIXMLSAXFactory(KelIXMLSAXFactory_var& factory, const CLSID& clsid) {
  factory = nullptr;
  if (clsid != CLSID_XML4C_SAX) return E_INVALIDARG;
  kelxml::InitLibrary();
  auto* made = new KelXmlSAXFactory;
  if (made == nullptr) return E_OUTOFMEMORY;
  factory = KelIXMLSAXFactory_var::Adopt(made);
  return S_OK;
}
