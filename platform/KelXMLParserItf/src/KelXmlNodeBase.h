// KelXmlNodeBase: the KelIDOMNode part shared by every node wrapper
// (document, element, document type, other nodes), over one node of the
// stand-in's own tree (KelXmlTree.h).
//
// A wrapper is made per call and holds a reference on its document
// (KelXmlDocument), so the tree outlives every wrapper; nodes are never freed
// before their tree, so a wrapper of a removed node stays valid. The
// document's own wrapper is the document object itself and holds no
// reference on itself. A document type not yet given to a document has no
// document (it owns a small tree of its own).
//
// Threading: one thread at a time, like the document.
#pragma once

#include "KelIDOMDocument.h"
#include "KelIDOMElement.h"
#include "KelIDOMNode.h"
#include "KelIDOMNodeList.h"
#include "KelXmlTree.h"

class KelXmlDocument;

namespace kelxml {

// The node a wrapper stands for and the document that owns it.
class NodeHolder {
 public:
  NodeHolder(KelXmlDocument* document, kelxml::Node* node, bool holdsDocument);
  ~NodeHolder();
  NodeHolder(const NodeHolder&) = delete;
  NodeHolder& operator=(const NodeHolder&) = delete;

  KelXmlDocument* Document() const { return document_; }
  kelxml::Node* Node() const { return node_; }

 protected:
  // Gives the holder its document (a document type joining a document).
  void Attach(KelXmlDocument* document, kelxml::Node* node);

 private:
  KelXmlDocument* document_;
  kelxml::Node* node_;
  bool holds_document_;
};

// The holder behind a node interface of this library, or null for a foreign
// object. Without a cross-cast: the wrapper classes are final, so their type
// identifiers say it all.
NodeHolder* HolderOf(KelIDOMNode* node);

// A new wrapper for `node` of `document`, typed by the node's kind.
long MakeNode(KelXmlDocument* document, kelxml::Node* node, KelIDOMNode_var& out);
long MakeElement(KelXmlDocument* document, kelxml::Node* node, KelIDOMElement_var& out);
// A new live list: the children of `root`, or (not `children`) the elements
// below it named `tag` ("*": all), in document order.
long MakeList(KelXmlDocument* document, kelxml::Node* root, bool children, const KelUnicodeString& tag,
              KelIDOMNodeList_var& out);
// The live list of the elements below `root` named `tag` ("*": all).
long ElementsByTagName(KelXmlDocument* document, kelxml::Node* root, const KelUnicodeString& tag,
                       KelIDOMNodeList_var& out);

// The KelIDOMNode operations on a holder.
long GetNodeName(NodeHolder& self, KelUnicodeString& name);
long GetNodeValue(NodeHolder& self, KelUnicodeString& value);
long SetNodeValue(NodeHolder& self, const KelUnicodeString& value);
long GetNodeType(NodeHolder& self, unsigned short& type);
long GetParentNode(NodeHolder& self, KelIDOMNode_var& parent);
long GetFirstChild(NodeHolder& self, KelIDOMNode_var& child);
long GetLastChild(NodeHolder& self, KelIDOMNode_var& child);
long GetPreviousSibling(NodeHolder& self, KelIDOMNode_var& sibling);
long GetNextSibling(NodeHolder& self, KelIDOMNode_var& sibling);
long GetChildNodes(NodeHolder& self, KelIDOMNodeList_var& children);
long GetOwnerDocument(NodeHolder& self, KelIDOMDocument_var& document);
long HasChildNodes(NodeHolder& self, bool& result);
long InsertChild(NodeHolder& self, const KelIDOMNode_var& newChild, const KelIDOMNode_var& refChild,
                 KelIDOMNode_var& inserted);
long RemoveChild(NodeHolder& self, const KelIDOMNode_var& oldChild, KelIDOMNode_var& removed);
long CloneNode(NodeHolder& self, bool deep, KelIDOMNode_var& clone);
long IsSameNode(NodeHolder& self, const KelIDOMNode_var& other, bool& same);

}  // namespace kelxml

template <class Interface>
class KelXmlNodeBase : public Interface, public kelxml::NodeHolder {
 public:
  long getNodeName(KelUnicodeString& name) override { return kelxml::GetNodeName(*this, name); }
  long getNodeValue(KelUnicodeString& value) override { return kelxml::GetNodeValue(*this, value); }
  long setNodeValue(const KelUnicodeString& value) override { return kelxml::SetNodeValue(*this, value); }
  long getNodeType(unsigned short& type) override { return kelxml::GetNodeType(*this, type); }
  long getParentNode(KelIDOMNode_var& parent) override { return kelxml::GetParentNode(*this, parent); }
  long getFirstChild(KelIDOMNode_var& child) override { return kelxml::GetFirstChild(*this, child); }
  long getLastChild(KelIDOMNode_var& child) override { return kelxml::GetLastChild(*this, child); }
  long getPreviousSibling(KelIDOMNode_var& sibling) override { return kelxml::GetPreviousSibling(*this, sibling); }
  long getNextSibling(KelIDOMNode_var& sibling) override { return kelxml::GetNextSibling(*this, sibling); }
  long getChildNodes(KelIDOMNodeList_var& children) override { return kelxml::GetChildNodes(*this, children); }
  long getOwnerDocument(KelIDOMDocument_var& document) override { return kelxml::GetOwnerDocument(*this, document); }
  long hasChildNodes(bool& result) override { return kelxml::HasChildNodes(*this, result); }
  long appendChild(const KelIDOMNode_var& newChild, KelIDOMNode_var& appended) override {
    return kelxml::InsertChild(*this, newChild, nullptr, appended);
  }
  long insertBefore(const KelIDOMNode_var& newChild, const KelIDOMNode_var& refChild,
                    KelIDOMNode_var& inserted) override {
    return kelxml::InsertChild(*this, newChild, refChild, inserted);
  }
  long removeChild(const KelIDOMNode_var& oldChild, KelIDOMNode_var& removed) override {
    return kelxml::RemoveChild(*this, oldChild, removed);
  }
  long cloneNode(bool deep, KelIDOMNode_var& clone) override { return kelxml::CloneNode(*this, deep, clone); }
  long isSameNode(const KelIDOMNode_var& other, bool& same) override { return kelxml::IsSameNode(*this, other, same); }

 protected:
  KelXmlNodeBase(KelXmlDocument* document, kelxml::Node* node, bool holdsDocument)
      : kelxml::NodeHolder(document, node, holdsDocument) {}

  // Hands this object out as `Interface` for the interface identifiers it
  // answers to (KelIDOMNode and `Interface`'s own).
  long Answer(const IID& iid, const IID& own, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_KelIDOMNode) {
      this->AddRef();
      *object = static_cast<KelIDOMNode*>(this);
      return S_OK;
    }
    if (iid == own) {
      this->AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    return this->KelBaseUnknown::QueryInterface(iid, object);
  }
};
