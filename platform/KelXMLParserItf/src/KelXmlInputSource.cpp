#include "KelXmlInputSource.h"

#include "KelXmlCall.h"
#include "KelXmlText.h"

KelImplementClass(KelXmlInputSource, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlInputSource* KelXmlInputSource::FromText(const KelUnicodeString& text, const KelUnicodeString& identifier) {
  // Everything that may fail is done before the object exists.
  // A text held as UTF-8 is shared, not copied (a document read from bytes,
  // or written by the stand-in); one held as UTF-16 is narrowed once.
  KelUnicodeString shared;
  std::string owned;
  std::string_view utf8;
  if (text.HoldsUTF8Only()) {
    shared = text;
    utf8 = std::string_view(shared.ConvertToChar(), shared.GetLengthInUTF8());
  } else {
    owned = text.ToUTF8();
    utf8 = owned;
  }
  // A byte-order mark decoded along with the text means nothing any more.
  const std::size_t skipped = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::string rewritten;
  const bool declared = kelxml::DeclareUtf8(utf8.substr(skipped), rewritten);
  std::string systemId = kelxml::Utf8(identifier);
  KelUnicodeString systemText = identifier;
  auto* made = new KelXmlInputSource;
  if (made == nullptr) return nullptr;
  made->in_memory_ = true;
  if (declared) {
    made->owned_ = std::move(rewritten);
    made->text_ = made->owned_;
  } else if (shared.HoldsUTF8Only()) {
    // Moving the string keeps its bytes where they are.
    made->shared_ = std::move(shared);
    made->text_ = std::string_view(made->shared_.ConvertToChar(), made->shared_.GetLengthInUTF8()).substr(skipped);
  } else {
    made->owned_ = std::move(owned);
    made->text_ = std::string_view(made->owned_).substr(skipped);
  }
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
