#include "KelXmlDocument.h"

#include <libxml/dict.h>

#include "KelXmlCall.h"
#include "KelXmlText.h"

KelImplementClass(KelXmlDocument, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlDocument* KelXmlDocument::Create(xmlDocPtr document, bool referencesKept) {
  if (document == nullptr) return nullptr;
  // Names are shared through a dictionary: one copy per distinct tag or
  // attribute name instead of one per node. Parsed documents have one already.
  if (document->dict == nullptr) document->dict = xmlDictCreate();
  xmlNodePtr detached = xmlNewDocNode(document, nullptr, BAD_CAST "detached", nullptr);
  if (detached == nullptr) {
    xmlFreeDoc(document);
    return nullptr;
  }
  auto* made = new KelXmlDocument(document, detached, referencesKept);
  if (made == nullptr) {
    xmlFreeNode(detached);
    xmlFreeDoc(document);
  }
  return made;
}

KelXmlDocument::KelXmlDocument(xmlDocPtr document, xmlNodePtr detached, bool referencesKept)
    : KelXmlNodeBase(this, reinterpret_cast<xmlNodePtr>(document), false),
      document_(document),
      detached_(detached),
      references_kept_(referencesKept),
      may_hold_references_(referencesKept && (document->intSubset != nullptr || document->extSubset != nullptr)) {}

KelXmlDocument::~KelXmlDocument() {
  // libxml2 frees a document type only through its document: free the
  // removed ones here. The detached nodes go before the document, whose
  // dictionary and identifier table they still use.
  for (xmlNodePtr node = detached_->children; node != nullptr;) {
    xmlNodePtr next = node->next;
    if (node->type == XML_DTD_NODE) {
      xmlUnlinkNode(node);
      xmlFreeDtd(reinterpret_cast<xmlDtdPtr>(node));
    }
    node = next;
  }
  xmlFreeNode(detached_);
  xmlFreeDoc(document_);
}

long KelXmlDocument::QueryInterface(const IID& iid, void** object) { return Answer(iid, IID_KelIDOMDocument, object); }

long KelXmlDocument::getDoctype(KelIDOMDocumentType_var& doctype) {
  doctype = nullptr;
  if (document_->intSubset == nullptr) return S_OK;
  KelIDOMNode_var node;
  long result = kelxml::MakeNode(this, reinterpret_cast<xmlNodePtr>(document_->intSubset), node);
  if (result < 0) return result;
  doctype = KelIDOMDocumentType_var::Adopt(static_cast<KelIDOMDocumentType*>(node.Detach()));
  return S_OK;
}

long KelXmlDocument::getDocumentElement(KelIDOMElement_var& element) {
  element = nullptr;
  xmlNodePtr root = xmlDocGetRootElement(document_);
  if (root == nullptr) return S_OK;
  return kelxml::MakeElement(this, root, element);
}

long KelXmlDocument::createElement(const KelUnicodeString& tagName, KelIDOMElement_var& element) {
  element = nullptr;
  return kelxml::Call([&]() -> long {
    if (!kelxml::IsXmlName(tagName.View())) return E_INVALIDARG;
    const std::string name = kelxml::Utf8(tagName);
    xmlNodePtr node = xmlNewDocNode(document_, nullptr, BAD_CAST name.c_str(), nullptr);
    if (node == nullptr) return E_OUTOFMEMORY;
    KeepDetached(node);
    return kelxml::MakeElement(this, node, element);
  });
}

long KelXmlDocument::createTextNode(const KelUnicodeString& data, KelIDOMNode_var& text) {
  text = nullptr;
  return kelxml::Call([&]() -> long {
    if (!kelxml::IsXmlText(data.View())) return E_INVALIDARG;
    const std::string content = kelxml::Utf8(data);
    if (content.size() > kelxml::kMaxTextBytes) return E_INVALIDARG;
    xmlNodePtr node = xmlNewDocTextLen(document_, BAD_CAST content.data(), static_cast<int>(content.size()));
    if (node == nullptr) return E_OUTOFMEMORY;
    KeepDetached(node);
    return kelxml::MakeNode(this, node, text);
  });
}

long KelXmlDocument::getElementsByTagName(const KelUnicodeString& tagName, KelIDOMNodeList_var& list) {
  return kelxml::ElementsByTagName(this, reinterpret_cast<xmlNodePtr>(document_), tagName, list);
}

long KelXmlDocument::getChangeCount(unsigned long long& count) {
  count = changes_;
  return S_OK;
}
