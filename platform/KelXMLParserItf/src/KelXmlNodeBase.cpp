#include "KelXmlNodeBase.h"

#include <cstring>
#include <string>
#include <string_view>
#include <typeinfo>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlDocumentType.h"
#include "KelXmlElement.h"
#include "KelXmlNode.h"
#include "KelXmlNodeList.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

namespace kelxml {

NodeHolder::NodeHolder(KelXmlDocument* document, xmlNodePtr node, bool holdsDocument)
    : document_(document), node_(node), holds_document_(holdsDocument) {
  if (holds_document_ && document_ != nullptr) document_->AddRef();
}

NodeHolder::~NodeHolder() {
  if (holds_document_ && document_ != nullptr) document_->Release();
}

void NodeHolder::Attach(KelXmlDocument* document, xmlNodePtr node) {
  document->AddRef();
  if (holds_document_ && document_ != nullptr) document_->Release();
  document_ = document;
  node_ = node;
  holds_document_ = true;
}

NodeHolder* HolderOf(KelIDOMNode* node) {
  if (node == nullptr) return nullptr;
  // Elements, by far the commonest, without the cost of a cross-cast.
  if (typeid(*node) == typeid(KelXmlElement)) return static_cast<KelXmlElement*>(node);
  return dynamic_cast<NodeHolder*>(node);
}

long MakeNode(KelXmlDocument* document, xmlNodePtr node, KelIDOMNode_var& out) {
  out = nullptr;
  KelIDOMNode* made = nullptr;
  switch (node->type) {
    case XML_ELEMENT_NODE:
      made = new KelXmlElement(document, node);
      break;
    case XML_DOCUMENT_NODE:
      out = static_cast<KelIDOMNode*>(document);
      return S_OK;
    case XML_DTD_NODE:
      made = new KelXmlDocumentType(document, node);
      break;
    default:
      made = new KelXmlNode(document, node);
      break;
  }
  if (made == nullptr) return E_OUTOFMEMORY;
  out = KelIDOMNode_var::Adopt(made);
  return S_OK;
}

long MakeElement(KelXmlDocument* document, xmlNodePtr node, KelIDOMElement_var& out) {
  out = nullptr;
  auto* made = new KelXmlElement(document, node);
  if (made == nullptr) return E_OUTOFMEMORY;
  out = KelIDOMElement_var::Adopt(made);
  return S_OK;
}

long MakeList(KelXmlDocument* document, xmlNodePtr root, bool children, const KelUnicodeString& tag,
              KelIDOMNodeList_var& out) {
  out = nullptr;
  return Call([&]() -> long {
    auto* made = KelXmlNodeList::Make(document, root,
                                      children ? KelXmlNodeList::Kind::Children : KelXmlNodeList::Kind::Elements, tag);
    if (made == nullptr) return E_OUTOFMEMORY;
    out = KelIDOMNodeList_var::Adopt(made);
    return S_OK;
  });
}

long ElementsByTagName(KelXmlDocument* document, xmlNodePtr root, const KelUnicodeString& tag,
                       KelIDOMNodeList_var& out) {
  return MakeList(document, root, false, tag, out);
}

namespace {

// The DOM parent: none for a detached node, the content of an entity (its
// references share it) or the top of a tree.
xmlNodePtr DomParent(const NodeHolder& self, xmlNodePtr node) {
  xmlNodePtr parent = node->parent;
  if (parent == nullptr || parent->type == XML_ENTITY_DECL) return nullptr;
  if (self.Document() != nullptr && self.Document()->IsDetachedHolder(parent)) return nullptr;
  return parent;
}

// Whether the node sits in a child list (so that its siblings are DOM
// siblings).
bool HasSiblings(const NodeHolder& self, xmlNodePtr node) {
  xmlNodePtr parent = node->parent;
  if (parent == nullptr) return false;
  return self.Document() == nullptr || !self.Document()->IsDetachedHolder(parent);
}

// Whether the node is part of an entity's content, which is read-only.
bool InEntityContent(KelXmlDocument* document, xmlNodePtr node) {
  if (!document->MayHoldReferences()) return false;
  for (xmlNodePtr up = node; up != nullptr; up = up->parent) {
    if (up->type == XML_ENTITY_DECL) return true;
  }
  return false;
}

long Hand(const NodeHolder& self, xmlNodePtr node, KelIDOMNode_var& out) {
  out = nullptr;
  if (node == nullptr) return S_OK;
  return MakeNode(self.Document(), node, out);
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

long GetNodeName(NodeHolder& self, KelUnicodeString& name) {
  return Call([&]() -> long {
    xmlNodePtr node = self.Node();
    switch (node->type) {
      case XML_ELEMENT_NODE: {
        const std::string qname = QNameOf(node->name, node->ns);
        Assign(name, qname.data(), qname.size());
        break;
      }
      case XML_TEXT_NODE:
        name = KelUnicodeString("#text");
        break;
      case XML_CDATA_SECTION_NODE:
        name = KelUnicodeString("#cdata-section");
        break;
      case XML_COMMENT_NODE:
        name = KelUnicodeString("#comment");
        break;
      case XML_DOCUMENT_NODE:
        name = KelUnicodeString("#document");
        break;
      case XML_DOCUMENT_FRAG_NODE:
        name = KelUnicodeString("#document-fragment");
        break;
      default:
        Assign(name, node->name);
        break;
    }
    return S_OK;
  });
}

long GetNodeValue(NodeHolder& self, KelUnicodeString& value) {
  return Call([&]() -> long {
    xmlNodePtr node = self.Node();
    switch (node->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE:
        Assign(value, node->content);
        break;
      default:
        value = KelUnicodeString();
        break;
    }
    return S_OK;
  });
}

long SetNodeValue(NodeHolder& self, const KelUnicodeString& value) {
  return Call([&]() -> long {
    xmlNodePtr node = self.Node();
    const xmlElementType type = node->type;
    if (type != XML_TEXT_NODE && type != XML_CDATA_SECTION_NODE && type != XML_COMMENT_NODE && type != XML_PI_NODE) {
      return S_OK;
    }
    if (!IsXmlText(value.View())) return E_INVALIDARG;
    const std::string text = Utf8(value);
    if (text.size() > kMaxTextBytes) return E_INVALIDARG;
    // Text that would end the node early when written.
    if (type == XML_CDATA_SECTION_NODE && Contains(text, "]]>")) return E_INVALIDARG;
    if (type == XML_COMMENT_NODE && (Contains(text, "--") || (!text.empty() && text.back() == '-'))) {
      return E_INVALIDARG;
    }
    if (type == XML_PI_NODE && Contains(text, "?>")) return E_INVALIDARG;
    KelXmlDocument* document = self.Document();
    if (InEntityContent(document, node)) return E_FAIL;
    xmlNodeSetContentLen(node, BAD_CAST text.data(), static_cast<int>(text.size()));
    document->Changed();
    return node->content != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

long GetNodeType(NodeHolder& self, unsigned short& type) {
  type = DomType(self.Node());
  return S_OK;
}

long GetParentNode(NodeHolder& self, KelIDOMNode_var& parent) {
  return Hand(self, DomParent(self, self.Node()), parent);
}

long GetFirstChild(NodeHolder& self, KelIDOMNode_var& child) { return Hand(self, DomFirstChild(self.Node()), child); }

long GetLastChild(NodeHolder& self, KelIDOMNode_var& child) { return Hand(self, DomLastChild(self.Node()), child); }

long GetPreviousSibling(NodeHolder& self, KelIDOMNode_var& sibling) {
  xmlNodePtr node = self.Node();
  return Hand(self, HasSiblings(self, node) ? node->prev : nullptr, sibling);
}

long GetNextSibling(NodeHolder& self, KelIDOMNode_var& sibling) {
  xmlNodePtr node = self.Node();
  return Hand(self, HasSiblings(self, node) ? node->next : nullptr, sibling);
}

long GetChildNodes(NodeHolder& self, KelIDOMNodeList_var& children) {
  return MakeList(self.Document(), self.Node(), true, KelUnicodeString(""), children);
}

long GetOwnerDocument(NodeHolder& self, KelIDOMDocument_var& document) {
  document = nullptr;
  if (self.Node()->type != XML_DOCUMENT_NODE && self.Document() != nullptr) {
    document = static_cast<KelIDOMDocument*>(self.Document());
  }
  return S_OK;
}

long HasChildNodes(NodeHolder& self, bool& result) {
  result = DomFirstChild(self.Node()) != nullptr;
  return S_OK;
}

long InsertChild(NodeHolder& self, const KelIDOMNode_var& newChild, const KelIDOMNode_var& refChild,
                 KelIDOMNode_var& inserted) {
  inserted = nullptr;
  return Call([&]() -> long {
    KelXmlDocument* document = self.Document();
    NodeHolder* held = HolderOf(newChild.get());
    // Nodes of another document (or of none) cannot join this one.
    if (held == nullptr || document == nullptr || held->Document() != document) return E_INVALIDARG;
    xmlNodePtr parent = self.Node();
    xmlNodePtr child = held->Node();
    xmlNodePtr ref = nullptr;
    if (refChild != nullptr) {
      NodeHolder* heldRef = HolderOf(refChild.get());
      if (heldRef == nullptr || heldRef->Document() != document || heldRef->Node()->parent != parent) {
        return E_INVALIDARG;
      }
      ref = heldRef->Node();
    }
    if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE) return E_FAIL;
    switch (child->type) {
      case XML_ELEMENT_NODE:
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE:
      case XML_ENTITY_REF_NODE:
        break;
      default:
        return E_FAIL;
    }
    if (ref == child) {
      inserted = newChild;
      return S_OK;
    }
    // A node cannot go below itself. Only a node with children can be an
    // ancestor, so a leaf skips the climb.
    if (child == parent) return E_FAIL;
    if (child->children != nullptr && child->type == XML_ELEMENT_NODE) {
      for (xmlNodePtr up = parent->parent; up != nullptr && up->type == XML_ELEMENT_NODE; up = up->parent) {
        if (up == child) return E_FAIL;
      }
    }
    if (InEntityContent(document, parent) || InEntityContent(document, child)) return E_FAIL;
    if (parent->type == XML_DOCUMENT_NODE) {
      if (child->type != XML_ELEMENT_NODE && child->type != XML_COMMENT_NODE && child->type != XML_PI_NODE) {
        return E_FAIL;
      }
      if (child->type == XML_ELEMENT_NODE) {
        // One document element, and after the document type.
        for (xmlNodePtr other = parent->children; other != nullptr; other = other->next) {
          if (other->type == XML_ELEMENT_NODE && other != child) return E_FAIL;
        }
        for (xmlNodePtr after = ref; after != nullptr; after = after->next) {
          if (after->type == XML_DTD_NODE) return E_FAIL;
        }
      }
    }
    xmlUnlinkNode(child);
    if (ref != nullptr) {
      LinkBefore(ref, child);
    } else {
      LinkLast(parent, child);
    }
    document->Changed();
    inserted = newChild;
    return S_OK;
  });
}

long RemoveChild(NodeHolder& self, const KelIDOMNode_var& oldChild, KelIDOMNode_var& removed) {
  removed = nullptr;
  return Call([&]() -> long {
    KelXmlDocument* document = self.Document();
    NodeHolder* held = HolderOf(oldChild.get());
    if (held == nullptr || document == nullptr || held->Document() != document) return E_INVALIDARG;
    xmlNodePtr child = held->Node();
    if (child->parent != self.Node() || document->IsDetachedHolder(self.Node())) return E_INVALIDARG;
    if (InEntityContent(document, child)) return E_FAIL;
    xmlUnlinkNode(child);
    document->KeepDetached(child);
    document->Changed();
    removed = oldChild;
    return S_OK;
  });
}

long CloneNode(NodeHolder& self, bool deep, KelIDOMNode_var& clone) {
  clone = nullptr;
  return Call([&]() -> long {
    xmlNodePtr node = self.Node();
    KelXmlDocument* document = self.Document();
    if (document == nullptr || node->type == XML_DOCUMENT_NODE || node->type == XML_DTD_NODE) return E_NOTIMPL;
    xmlNodePtr copy = CopyTree(node, document->Doc(), nullptr, deep, false);
    if (copy == nullptr) return E_OUTOFMEMORY;
    document->KeepDetached(copy);
    return MakeNode(document, copy, clone);
  });
}

long IsSameNode(NodeHolder& self, const KelIDOMNode_var& other, bool& same) {
  NodeHolder* held = HolderOf(other.get());
  same = held != nullptr && held->Node() == self.Node();
  return S_OK;
}

}  // namespace kelxml
