#include "KelXmlNodeList.h"

#include "KelXmlDocument.h"

KelImplementClass(KelXmlNodeList, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlNodeList::KelXmlNodeList(KelXmlDocument* document, std::vector<xmlNodePtr>&& nodes)
    : document_(document), nodes_(std::move(nodes)) {
  if (document_ != nullptr) document_->AddRef();
}

KelXmlNodeList::~KelXmlNodeList() {
  if (document_ != nullptr) document_->Release();
}

long KelXmlNodeList::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_KelIDOMNodeList) {
    AddRef();
    *object = static_cast<KelIDOMNodeList*>(this);
    return S_OK;
  }
  return KelBaseUnknown::QueryInterface(iid, object);
}

long KelXmlNodeList::getLength(unsigned int& length) {
  length = static_cast<unsigned int>(nodes_.size());
  return S_OK;
}

long KelXmlNodeList::item(unsigned int index, KelIDOMNode_var& node) {
  node = nullptr;
  if (index >= nodes_.size()) return E_INVALIDARG;
  return kelxml::MakeNode(document_, nodes_[index], node);
}
