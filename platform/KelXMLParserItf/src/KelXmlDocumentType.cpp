#include "KelXmlDocumentType.h"

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlDocumentType, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlDocumentType::~KelXmlDocumentType() {
  // A DTD that never joined a document is this object's own.
  if (Document() == nullptr && Node() != nullptr) xmlFreeDtd(reinterpret_cast<xmlDtdPtr>(Node()));
}

long KelXmlDocumentType::QueryInterface(const IID& iid, void** object) {
  return Answer(iid, IID_KelIDOMDocumentType, object);
}

namespace {
// Identifiers that are absent read as the null string.
long Identifier(const xmlChar* text, KelUnicodeString& out) {
  return kelxml::Call([&]() -> long {
    if (text == nullptr) {
      out = KelUnicodeString();
    } else {
      kelxml::Assign(out, text);
    }
    return S_OK;
  });
}
}  // namespace

long KelXmlDocumentType::getName(KelUnicodeString& name) { return Identifier(Node()->name, name); }

long KelXmlDocumentType::getPublicId(KelUnicodeString& publicId) {
  return Identifier(reinterpret_cast<xmlDtdPtr>(Node())->ExternalID, publicId);
}

long KelXmlDocumentType::getSystemId(KelUnicodeString& systemId) {
  return Identifier(reinterpret_cast<xmlDtdPtr>(Node())->SystemID, systemId);
}

long KelXmlDocumentType::Join(KelXmlDocument* document) {
  if (Document() != nullptr) return E_INVALIDARG;
  xmlDocPtr doc = document->Doc();
  auto* dtd = reinterpret_cast<xmlDtdPtr>(Node());
  dtd->doc = doc;
  doc->intSubset = dtd;
  kelxml::LinkLast(reinterpret_cast<xmlNodePtr>(doc), Node());
  Attach(document, Node());
  return S_OK;
}
