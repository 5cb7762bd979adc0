#include "KelEEdsSAXEntityResolver.h"

#include <cstring>

#include "KelDictionary.h"
#include "KelEdsUtil.h"
#include "KelEdsResultCodes.h"
#include "KelError.h"
#include "KelGuard.h"
#include "KelISAXEntityResolver.h"
#include "KelIXMLSAXFactory.h"

namespace {

constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEEdsSAXEntityResolver";
constexpr std::size_t kNameRoom = 260;
constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;

// The adaptor through which the parser reaches a resolver.
class TIEKelISAXEntityResolverKelEEdsSAXEntityResolver final : public KelTieBase<KelISAXEntityResolver> {
 public:
  using KelTieBase::KelTieBase;

  long resolveEntity(const KelUnicodeString& publicId, const KelUnicodeString& systemId,
                     KelIXMLInputSource_var& inputSource) override {
    // The dictionary entry that makes this adaptor names only the resolver's
    // class (and QueryInterface walks down from it), so the cast holds.
    return static_cast<KelEEdsSAXEntityResolver*>(Implementation())->resolveEntity(publicId, systemId, inputSource);
  }
};

const KelMetaClass* ResolverInterfaceMeta() {
  static const KelMetaClass meta(IID_KelISAXEntityResolver, "KelISAXEntityResolver");
  return &meta;
}

// Registered when the library loads, so that QueryInterface finds the adaptor.
struct RegisterResolverInterface {
  RegisterResolverInterface() {
    static const KelDictionaryEntry entry{"KelEEdsSAXEntityResolver", &IID_KelISAXEntityResolver,
                                          "KelISAXEntityResolver",
                                          &CreateTIEKelISAXEntityResolverKelEEdsSAXEntityResolver};
    KelFillDictionary(&entry, 1);
  }
};
const RegisterResolverInterface registerResolverInterface;

}  // namespace

KelBaseUnknown* CreateTIEKelISAXEntityResolverKelEEdsSAXEntityResolver(KelBaseUnknown* implementation,
                                                                       KelBaseUnknown* /*outer*/) {
  if (implementation == nullptr) return nullptr;
  // KelBaseUnknown's operator new gives null when memory is short.
  return new TIEKelISAXEntityResolverKelEEdsSAXEntityResolver(implementation, ResolverInterfaceMeta());
}

KelImplementClass(KelEEdsSAXEntityResolver, KelImplementationKind, KelBaseUnknown, "KelNull",
                  "KelEngSystemDbServerClient")

KelEEdsSAXEntityResolver::KelEEdsSAXEntityResolver(const char* dtdFileName, const char* dtdPath) {
  _DTDPath[0] = '\0';
  _DTDName[0] = '\0';
  const char* name = dtdFileName != nullptr ? dtdFileName : "";
  const char* path = dtdPath != nullptr ? dtdPath : "";
  const std::size_t nameLength = strnlen(name, kNameRoom);
  const std::size_t pathLength = strnlen(path, kNameRoom);
  // A name cut short would answer for another file: store nothing instead.
  if (nameLength >= kNameRoom || pathLength >= kNameRoom) return;
  std::memcpy(_DTDPath, path, pathLength + 1);
  std::memcpy(_DTDName, name, nameLength + 1);
}

KelEEdsSAXEntityResolver::~KelEEdsSAXEntityResolver() = default;

long KelEEdsSAXEntityResolver::resolveEntity(const KelUnicodeString& /*publicId*/, const KelUnicodeString& systemId,
                                             KelIXMLInputSource_var& inputSource) {
  long result = Failure(__LINE__);
  if (!KelGuard([&] {
        const KelUnicodeString name(_DTDName);
        if (systemId.IsEmpty() || name.IsEmpty() || systemId != name) return;
        const KelUnicodeString path(_DTDPath);
        if (path.IsEmpty()) return;
        KelIXMLSAXFactory_var factory;
        result = CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX);
        if (result >= 0 && factory != nullptr) {
          result = factory->createInputSourceFromSystemId(path, KelUnicodeString(""), inputSource);
        }
      })) {
    result = Failure(__LINE__);
  }
  return result;
}
