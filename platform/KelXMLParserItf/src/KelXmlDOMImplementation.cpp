#include "KelXmlDOMImplementation.h"

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <utility>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlDocumentType.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlDOMImplementation, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

long KelXmlDOMImplementation::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_KelIDOMImplementation) {
    AddRef();
    *object = static_cast<KelIDOMImplementation*>(this);
    return S_OK;
  }
  return KelBaseUnknown::QueryInterface(iid, object);
}

long KelXmlDOMImplementation::createDocumentType(const KelUnicodeString& qualifiedName,
                                                 const KelUnicodeString& publicId, const KelUnicodeString& systemId,
                                                 KelIDOMDocumentType_var& doctype) {
  doctype = nullptr;
  return kelxml::Call([&]() -> long {
    if (!kelxml::IsXmlName(qualifiedName.View())) return E_INVALIDARG;
    if (!kelxml::IsPublicIdText(publicId.View()) || !kelxml::IsXmlText(systemId.View())) return E_INVALIDARG;
    // A public identifier is always followed by a system identifier, and a
    // system identifier is quoted with one kind of quote.
    if (!publicId.IsEmpty() && systemId.IsEmpty()) return E_INVALIDARG;
    if (systemId.SearchSubString(KelUnicodeString("\"")) >= 0 && systemId.SearchSubString(KelUnicodeString("'")) >= 0) {
      return E_INVALIDARG;
    }
    const std::string name = kelxml::Utf8(qualifiedName);
    const std::string external = kelxml::Utf8(publicId);
    const std::string system = kelxml::Utf8(systemId);
    // The DTD is kept for writing the document type as libxml2 writes one.
    xmlDtdPtr dtd =
        xmlCreateIntSubset(nullptr, BAD_CAST name.c_str(), external.empty() ? nullptr : BAD_CAST external.c_str(),
                           system.empty() ? nullptr : BAD_CAST system.c_str());
    if (dtd == nullptr) return E_OUTOFMEMORY;
    std::unique_ptr<kelxml::Tree> own;
    try {
      own = std::make_unique<kelxml::Tree>();
      own->AdoptDtd(dtd, nullptr);
    } catch (...) {
      xmlFreeDtd(dtd);
      throw;
    }
    // From here on the tree frees the DTD.
    kelxml::Node* node = own->NewNode(kelxml::Kind::DocumentType);
    node->name = own->Intern(name);
    if (!external.empty()) node->value = own->Store(external);
    if (!system.empty()) node->system_id = own->Store(system);
    node->dtd = dtd;
    auto* made = new KelXmlDocumentType(std::move(own), node);
    if (made == nullptr) return E_OUTOFMEMORY;
    doctype = KelIDOMDocumentType_var::Adopt(made);
    return S_OK;
  });
}

long KelXmlDOMImplementation::createDocument(const KelUnicodeString& /*namespaceURI*/,
                                             const KelUnicodeString& /*qualifiedName*/,
                                             const KelIDOMDocumentType_var& doctype, KelIDOMDocument_var& document) {
  document = nullptr;
  return kelxml::Call([&]() -> long {
    KelXmlDocumentType* type = nullptr;
    if (doctype != nullptr) {
      type = dynamic_cast<KelXmlDocumentType*>(doctype.get());
      if (type == nullptr || type->Document() != nullptr) return E_INVALIDARG;
    }
    KelXmlDocument* made = KelXmlDocument::Create(std::make_unique<kelxml::Tree>(), false);
    if (made == nullptr) return E_OUTOFMEMORY;
    KelIDOMDocument_var held = KelIDOMDocument_var::Adopt(made);
    if (type != nullptr) {
      const long joined = type->Join(made);
      if (joined < 0) return joined;
    }
    document = std::move(held);
    return S_OK;
  });
}
