#include "KelXmlInputSource.h"

#include "KelXmlCall.h"
#include "KelXmlText.h"

KelImplementClass(KelXmlInputSource, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlInputSource* KelXmlInputSource::FromText(const KelUnicodeString& text, const KelUnicodeString& identifier) {
  // Everything that may fail is done before the object exists.
  // Copied as it is when the string holds UTF-8 already.
  std::string utf8 = text.ToUTF8();
  // A byte-order mark decoded along with the text means nothing any more.
  if (utf8.compare(0, 3, "\xEF\xBB\xBF") == 0) utf8.erase(0, 3);
  kelxml::DeclareUtf8(utf8);
  std::string systemId = kelxml::Utf8(identifier);
  KelUnicodeString systemText = identifier;
  auto* made = new KelXmlInputSource;
  if (made == nullptr) return nullptr;
  made->in_memory_ = true;
  made->text_ = std::move(utf8);
  made->system_id_ = std::move(systemId);
  made->system_id_text_ = std::move(systemText);
  return made;
}

KelXmlInputSource* KelXmlInputSource::FromSystemId(const KelUnicodeString& systemId, const KelUnicodeString& publicId) {
  std::string system = kelxml::Utf8(systemId);
  std::string external = kelxml::Utf8(publicId);
  KelUnicodeString systemText = systemId;
  KelUnicodeString publicText = publicId.IsEmpty() ? KelUnicodeString() : publicId;
  auto* made = new KelXmlInputSource;
  if (made == nullptr) return nullptr;
  made->system_id_ = std::move(system);
  made->public_id_ = std::move(external);
  made->system_id_text_ = std::move(systemText);
  made->public_id_text_ = std::move(publicText);
  return made;
}

long KelXmlInputSource::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_KelIXMLInputSource) {
    AddRef();
    *object = static_cast<KelIXMLInputSource*>(this);
    return S_OK;
  }
  return KelBaseUnknown::QueryInterface(iid, object);
}

long KelXmlInputSource::getSystemId(KelUnicodeString& systemId) {
  return kelxml::Call([&]() -> long {
    systemId = system_id_text_;
    return S_OK;
  });
}

long KelXmlInputSource::getPublicId(KelUnicodeString& publicId) {
  return kelxml::Call([&]() -> long {
    publicId = public_id_text_;
    return S_OK;
  });
}
