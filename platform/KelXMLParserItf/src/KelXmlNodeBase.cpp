#include "KelXmlNodeBase.h"

#include <string_view>
#include <typeinfo>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlDocumentType.h"
#include "KelXmlElement.h"
#include "KelXmlNode.h"
#include "KelXmlNodeList.h"
#include "KelXmlText.h"

namespace kelxml {

NodeHolder::NodeHolder(KelXmlDocument* document, kelxml::Node* node, bool holdsDocument)
    : document_(document), node_(node), holds_document_(holdsDocument) {
  if (holds_document_ && document_ != nullptr) document_->AddRef();
}

NodeHolder::~NodeHolder() {
  if (holds_document_ && document_ != nullptr) document_->Release();
}

void NodeHolder::Attach(KelXmlDocument* document, kelxml::Node* node) {
  document->AddRef();
  if (holds_document_ && document_ != nullptr) document_->Release();
  document_ = document;
  node_ = node;
  holds_document_ = true;
}

NodeHolder* HolderOf(KelIDOMNode* node) {
  if (node == nullptr) return nullptr;
  const std::type_info& type = typeid(*node);
  // Elements first: by far the commonest.
  if (type == typeid(KelXmlElement)) return static_cast<KelXmlElement*>(node);
  if (type == typeid(KelXmlNode)) return static_cast<KelXmlNode*>(node);
  if (type == typeid(KelXmlDocument)) return static_cast<KelXmlDocument*>(node);
  if (type == typeid(KelXmlDocumentType)) return static_cast<KelXmlDocumentType*>(node);
  return nullptr;
}

long MakeNode(KelXmlDocument* document, kelxml::Node* node, KelIDOMNode_var& out) {
  out = nullptr;
  KelIDOMNode* made = nullptr;
  switch (node->kind) {
    case Kind::Element:
      made = new KelXmlElement(document, node);
      break;
    case Kind::Document:
      out = static_cast<KelIDOMNode*>(document);
      return S_OK;
    case Kind::DocumentType:
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

long MakeElement(KelXmlDocument* document, kelxml::Node* node, KelIDOMElement_var& out) {
  out = nullptr;
  auto* made = new KelXmlElement(document, node);
  if (made == nullptr) return E_OUTOFMEMORY;
  out = KelIDOMElement_var::Adopt(made);
  return S_OK;
}

long MakeList(KelXmlDocument* document, kelxml::Node* root, bool children, const KelUnicodeString& tag,
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

long ElementsByTagName(KelXmlDocument* document, kelxml::Node* root, const KelUnicodeString& tag,
                       KelIDOMNodeList_var& out) {
  return MakeList(document, root, false, tag, out);
}

namespace {

// The DOM parent: none for a detached node or for the top of an entity's
// content (its references share it).
kelxml::Node* DomParent(kelxml::Node* node) {
  kelxml::Node* parent = node->parent;
  if (parent == nullptr || parent->kind == Kind::Entity) return nullptr;
  return parent;
}

// Whether the node is part of an entity's content, which is read-only.
bool ReadOnly(const KelXmlDocument* document, const kelxml::Node* node) {
  return document->MayHoldReferences() && InEntityContent(node);
}

long Hand(const NodeHolder& self, kelxml::Node* node, KelIDOMNode_var& out) {
  out = nullptr;
  if (node == nullptr) return S_OK;
  return MakeNode(self.Document(), node, out);
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool HasValue(Kind kind) {
  return kind == Kind::Text || kind == Kind::CData || kind == Kind::Comment || kind == Kind::ProcessingInstruction;
}

// The namespace declaration attribute for `prefix` ("xmlns" or "xmlns:p").
bool Declares(const Attribute* attribute, std::string_view prefix) {
  const std::string_view name = attribute->name;
  if (!attribute->declaration) return false;
  if (prefix.empty()) return name.size() == 5;
  return name.size() == 6 + prefix.size() && name[5] == ':' && name.compare(6, std::string_view::npos, prefix) == 0;
}

// The declaration of `prefix` nearest `from` among `from` and its element
// ancestors (up to and with `last` when given), or null.
const Attribute* DeclarationOf(const kelxml::Node* from, const kelxml::Node* last, std::string_view prefix) {
  for (const kelxml::Node* up = from; up != nullptr && up->kind == Kind::Element; up = up->parent) {
    for (const Attribute* attribute = up->attributes; attribute != nullptr; attribute = attribute->next) {
      if (Declares(attribute, prefix)) return attribute;
    }
    if (up == last) break;
  }
  return nullptr;
}

// Gives `copy` (one element of the copy under `top`) the declaration of
// `prefix` that its source had in scope above the copied part, when nothing
// in the copy declares it: a copy carries the declarations its names need
// wherever it goes, as libxml2's copies did.
void Declare(Tree& tree, const kelxml::Node* sourceAbove, const kelxml::Node* top, kelxml::Node* copy,
             std::string_view prefix) {
  if (prefix == "xml" || prefix == "xmlns" || DeclarationOf(copy, top, prefix) != nullptr) return;
  const Attribute* declared = DeclarationOf(sourceAbove, nullptr, prefix);
  // An empty default declaration puts names in no namespace: nothing to carry.
  if (declared == nullptr || (prefix.empty() && declared->value.empty())) return;
  Attribute* made = tree.NewAttribute();
  made->name = declared->name;
  made->value = tree.Store(declared->value);
  made->written = declared->written;
  made->written_has_references = declared->written_has_references;
  made->declaration = true;
  Attribute** tail = &copy->attributes;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = made;
}

std::string_view PrefixOf(std::string_view qname) {
  const std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

// The copy `top` of `source`: every element of it that uses a prefix (or the
// default namespace) declared only above `source` gets that declaration.
void CarryNamespaces(Tree& tree, const kelxml::Node* source, kelxml::Node* top) {
  const kelxml::Node* above = source->parent;
  if (above == nullptr || above->kind != Kind::Element) return;
  bool any = false;
  for (const kelxml::Node* up = above; up != nullptr && up->kind == Kind::Element && !any; up = up->parent) {
    for (const Attribute* attribute = up->attributes; attribute != nullptr && !any; attribute = attribute->next) {
      any = attribute->declaration;
    }
  }
  if (!any) return;
  // The elements of the copy in document order; entity content is not part
  // of a copy.
  kelxml::Node* current = top;
  while (current != nullptr) {
    if (current->kind == Kind::Element) {
      // Only names bound to a namespace: libxml2 gave the others none to
      // carry.
      if (current->bound) Declare(tree, above, top, current, PrefixOf(current->name));
      for (const Attribute* attribute = current->attributes; attribute != nullptr; attribute = attribute->next) {
        const std::string_view prefix = PrefixOf(attribute->name);
        if (attribute->bound && !prefix.empty()) Declare(tree, above, top, current, prefix);
      }
      if (current->first != nullptr) {
        current = current->first;
        continue;
      }
    }
    while (current != top && current->next == nullptr) current = current->parent;
    current = current == top ? nullptr : current->next;
  }
}

}  // namespace

long GetNodeName(NodeHolder& self, KelUnicodeString& name) {
  return Call([&]() -> long {
    const kelxml::Node* node = self.Node();
    switch (node->kind) {
      case Kind::Text:
        name = KelUnicodeString("#text");
        break;
      case Kind::CData:
        name = KelUnicodeString("#cdata-section");
        break;
      case Kind::Comment:
        name = KelUnicodeString("#comment");
        break;
      case Kind::Document:
        name = KelUnicodeString("#document");
        break;
      default:
        // Elements: the qualified name; processing instructions: the target;
        // entity references and document types: the name.
        Assign(name, node->name.data(), node->name.size());
        break;
    }
    return S_OK;
  });
}

long GetNodeValue(NodeHolder& self, KelUnicodeString& value) {
  return Call([&]() -> long {
    const kelxml::Node* node = self.Node();
    if (HasValue(node->kind)) {
      Assign(value, node->value.data(), node->value.size());
    } else {
      value = KelUnicodeString();
    }
    return S_OK;
  });
}

long SetNodeValue(NodeHolder& self, const KelUnicodeString& value) {
  return Call([&]() -> long {
    kelxml::Node* node = self.Node();
    const Kind kind = node->kind;
    if (!HasValue(kind)) return S_OK;
    const Utf8Text utf8(value);
    if (!utf8.Plain() && !IsXmlText(value.View())) return E_INVALIDARG;
    const std::string_view text = utf8.View();
    if (text.size() > kMaxTextBytes) return E_INVALIDARG;
    // Text that would end the node early when written.
    if (kind == Kind::CData && Contains(text, "]]>")) return E_INVALIDARG;
    if (kind == Kind::Comment && (Contains(text, "--") || (!text.empty() && text.back() == '-'))) {
      return E_INVALIDARG;
    }
    if (kind == Kind::ProcessingInstruction && Contains(text, "?>")) return E_INVALIDARG;
    KelXmlDocument* document = self.Document();
    if (ReadOnly(document, node)) return E_FAIL;
    node->value = document->Tree().Replace(node->value, text);
    document->Changed();
    return S_OK;
  });
}

long GetNodeType(NodeHolder& self, unsigned short& type) {
  type = self.Node()->DomType();
  return S_OK;
}

long GetParentNode(NodeHolder& self, KelIDOMNode_var& parent) { return Hand(self, DomParent(self.Node()), parent); }

long GetFirstChild(NodeHolder& self, KelIDOMNode_var& child) { return Hand(self, DomFirstChild(self.Node()), child); }

long GetLastChild(NodeHolder& self, KelIDOMNode_var& child) { return Hand(self, DomLastChild(self.Node()), child); }

// A detached node has no siblings: unlinking clears them.
long GetPreviousSibling(NodeHolder& self, KelIDOMNode_var& sibling) { return Hand(self, self.Node()->prev, sibling); }

long GetNextSibling(NodeHolder& self, KelIDOMNode_var& sibling) { return Hand(self, self.Node()->next, sibling); }

long GetChildNodes(NodeHolder& self, KelIDOMNodeList_var& children) {
  return MakeList(self.Document(), self.Node(), true, KelUnicodeString(""), children);
}

long GetOwnerDocument(NodeHolder& self, KelIDOMDocument_var& document) {
  document = nullptr;
  if (self.Node()->kind != Kind::Document && self.Document() != nullptr) {
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
    kelxml::Node* parent = self.Node();
    kelxml::Node* child = held->Node();
    kelxml::Node* ref = nullptr;
    if (refChild != nullptr) {
      NodeHolder* heldRef = HolderOf(refChild.get());
      if (heldRef == nullptr || heldRef->Document() != document || heldRef->Node()->parent != parent) {
        return E_INVALIDARG;
      }
      ref = heldRef->Node();
    }
    if (parent->kind != Kind::Element && parent->kind != Kind::Document) return E_FAIL;
    switch (child->kind) {
      case Kind::Element:
      case Kind::Text:
      case Kind::CData:
      case Kind::Comment:
      case Kind::ProcessingInstruction:
      case Kind::EntityReference:
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
    if (child->first != nullptr && child->kind == Kind::Element) {
      for (kelxml::Node* up = parent->parent; up != nullptr && up->kind == Kind::Element; up = up->parent) {
        if (up == child) return E_FAIL;
      }
    }
    if (ReadOnly(document, parent) || ReadOnly(document, child)) return E_FAIL;
    if (parent->kind == Kind::Document) {
      if (child->kind != Kind::Element && child->kind != Kind::Comment && child->kind != Kind::ProcessingInstruction) {
        return E_FAIL;
      }
      if (child->kind == Kind::Element) {
        // One document element, and after the document type.
        for (kelxml::Node* other = parent->first; other != nullptr; other = other->next) {
          if (other->kind == Kind::Element && other != child) return E_FAIL;
        }
        for (kelxml::Node* after = ref; after != nullptr; after = after->next) {
          if (after->kind == Kind::DocumentType) return E_FAIL;
        }
      }
    }
    Unlink(child);
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
    kelxml::Node* child = held->Node();
    if (child->parent != self.Node()) return E_INVALIDARG;
    if (ReadOnly(document, child)) return E_FAIL;
    // The node stays in the tree's arena until the document goes.
    Unlink(child);
    document->Changed();
    removed = oldChild;
    return S_OK;
  });
}

long CloneNode(NodeHolder& self, bool deep, KelIDOMNode_var& clone) {
  clone = nullptr;
  return Call([&]() -> long {
    const kelxml::Node* node = self.Node();
    KelXmlDocument* document = self.Document();
    if (document == nullptr || node->kind == Kind::Document || node->kind == Kind::DocumentType) return E_NOTIMPL;
    Tree& tree = document->Tree();
    kelxml::Node* copy = CopyTree(tree, node, deep);
    if (copy->kind == Kind::Element) CarryNamespaces(tree, node, copy);
    return MakeNode(document, copy, clone);
  });
}

long IsSameNode(NodeHolder& self, const KelIDOMNode_var& other, bool& same) {
  NodeHolder* held = HolderOf(other.get());
  same = held != nullptr && held->Node() == self.Node();
  return S_OK;
}

}  // namespace kelxml
