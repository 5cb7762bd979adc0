#include "KelXmlNodeList.h"

#include <new>
#include <utility>

#include "KelXmlDocument.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlNodeList, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

KelXmlNodeList* KelXmlNodeList::Make(KelXmlDocument* document, kelxml::Node* root, Kind kind,
                                     const KelUnicodeString& tag) {
  std::string name = kelxml::Utf8(tag);
  // A tag that is not an XML name matches nothing.
  const bool matches = name == "*" || kelxml::IsXmlName(tag.View());
  auto* made = new KelXmlNodeList(document, root, kind, std::move(name), matches);
  if (made == nullptr) return nullptr;
  try {
    made->Gather();
  } catch (...) {
    made->Release();
    throw;
  }
  return made;
}

KelXmlNodeList::KelXmlNodeList(KelXmlDocument* document, kelxml::Node* root, Kind kind, std::string tag, bool matches)
    : document_(document), root_(root), kind_(kind), tag_(std::move(tag)), matches_(matches) {
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

void KelXmlNodeList::Gather() {
  std::vector<kelxml::Node*> nodes;
  if (kind_ == Kind::Children) {
    for (kelxml::Node* child = kelxml::DomFirstChild(root_); child != nullptr; child = child->next) {
      nodes.push_back(child);
    }
  } else if (matches_ && document_ != nullptr) {
    if (tag_ == "*") {
      kelxml::ForEachDescendant(root_, [&](kelxml::Node* node) {
        if (node->kind == kelxml::Kind::Element) nodes.push_back(node);
      });
    } else if (const char* name = document_->Tree().Find(tag_).data()) {
      kelxml::ForEachDescendant(root_, [&](kelxml::Node* node) {
        if (node->name.data() == name && node->kind == kelxml::Kind::Element) nodes.push_back(node);
      });
    }
  }
  nodes_ = std::move(nodes);
  if (document_ != nullptr) gathered_at_ = document_->Changes();
}

long KelXmlNodeList::Refresh() {
  if (document_ == nullptr || document_->Changes() == gathered_at_) return S_OK;
  try {
    Gather();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

long KelXmlNodeList::getLength(unsigned int& length) {
  length = 0;
  const long result = Refresh();
  if (result < 0) return result;
  length = static_cast<unsigned int>(nodes_.size());
  return S_OK;
}

long KelXmlNodeList::item(unsigned int index, KelIDOMNode_var& node) {
  node = nullptr;
  const long result = Refresh();
  if (result < 0) return result;
  if (index >= nodes_.size()) return E_INVALIDARG;
  return kelxml::MakeNode(document_, nodes_[index], node);
}
