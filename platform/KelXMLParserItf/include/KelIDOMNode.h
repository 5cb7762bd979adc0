// KelIDOMNode: one node of a DOM document, with W3C DOM Level 2 Core
// semantics (node types, navigation, child list changes, cloning).
//
// Every method returns a result code (S_OK or another non-negative code on
// success, a negative one on failure) and hands objects out through `_var`
// out-parameters, which adopt the one reference they receive. A navigation
// that finds nothing (no parent, no child, no sibling) succeeds with an empty
// handle. On failure an out handle is left empty. No method raises an
// exception.
//
// Ownership: node objects are light wrappers made per call, so two handles on
// one node may be different objects (compare nodes with isSameNode). Each
// wrapper holds a reference on its document: a node handle stays usable after
// every handle on the document itself is gone. Nodes that are created and
// never attached, and nodes that are removed, stay valid while handles hold
// them and are freed with the document.
//
// Child list changes follow DOM Level 2: appendChild and insertBefore move a
// node that is already in the tree, never merge adjacent text nodes, and
// refuse (with a negative code) a node of another document, an ancestor of the
// parent or the parent itself, a second document element, and any node the
// parent cannot hold. Children of an entity reference are read-only.
//
// Threading: a document and every node, list and handle that belongs to it
// are used by one thread at a time.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelBaseUnknown.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

class KelIDOMNode;
class KelIDOMNodeList;
class KelIDOMDocument;
typedef KelVar<KelIDOMNode> KelIDOMNode_var;
typedef KelVar<KelIDOMNodeList> KelIDOMNodeList_var;
typedef KelVar<KelIDOMDocument> KelIDOMDocument_var;

extern ExportedByKelXMLParserItf const IID IID_KelIDOMNode;

class ExportedByKelXMLParserItf KelIDOMNode : public KelBaseUnknown {
 public:
  // W3C DOM node type numbers, as getNodeType gives them.
  enum NodeType : unsigned short {
    ELEMENT_NODE = 1,
    ATTRIBUTE_NODE = 2,
    TEXT_NODE = 3,
    CDATA_SECTION_NODE = 4,
    ENTITY_REFERENCE_NODE = 5,
    ENTITY_NODE = 6,
    PROCESSING_INSTRUCTION_NODE = 7,
    COMMENT_NODE = 8,
    DOCUMENT_NODE = 9,
    DOCUMENT_TYPE_NODE = 10,
    DOCUMENT_FRAGMENT_NODE = 11,
    NOTATION_NODE = 12
  };

  ~KelIDOMNode() override;

  // The tag of an element, the name of a doctype, entity reference or
  // processing-instruction target, or "#text", "#comment", "#cdata-section",
  // "#document".
  virtual long getNodeName(KelUnicodeString& name) = 0;
  // The text of a text, comment, CDATA or processing-instruction node; the
  // null string for the other kinds.
  virtual long getNodeValue(KelUnicodeString& value) = 0;
  // Changes the text of a text, comment, CDATA or processing-instruction node
  // (E_INVALIDARG for characters XML cannot carry, or text the node kind
  // cannot hold, such as "--" in a comment); no effect on other kinds.
  virtual long setNodeValue(const KelUnicodeString& value) = 0;
  virtual long getNodeType(unsigned short& type) = 0;

  virtual long getParentNode(KelIDOMNode_var& parent) = 0;
  virtual long getFirstChild(KelIDOMNode_var& child) = 0;
  virtual long getLastChild(KelIDOMNode_var& child) = 0;
  virtual long getPreviousSibling(KelIDOMNode_var& sibling) = 0;
  virtual long getNextSibling(KelIDOMNode_var& sibling) = 0;
  // A list of the children as they are now (later changes do not alter it).
  virtual long getChildNodes(KelIDOMNodeList_var& children) = 0;
  // The document of the node; empty for a document, and for a document type
  // not yet given to a document.
  virtual long getOwnerDocument(KelIDOMDocument_var& document) = 0;
  virtual long hasChildNodes(bool& result) = 0;

  // Adds `newChild` as the last child; `appended` receives it.
  virtual long appendChild(const KelIDOMNode_var& newChild, KelIDOMNode_var& appended) = 0;
  // Adds `newChild` just before `refChild` (at the end when `refChild` is
  // empty); a `refChild` that is not a child of this node is E_INVALIDARG.
  virtual long insertBefore(const KelIDOMNode_var& newChild, const KelIDOMNode_var& refChild,
                            KelIDOMNode_var& inserted) = 0;
  // Detaches `oldChild` (E_INVALIDARG if it is not a child of this node).
  virtual long removeChild(const KelIDOMNode_var& oldChild, KelIDOMNode_var& removed) = 0;
  // A detached copy of this node (with its attributes for an element), and of
  // its whole subtree when `deep`. Documents and document types are not
  // cloned (E_NOTIMPL).
  virtual long cloneNode(bool deep, KelIDOMNode_var& clone) = 0;
  // Whether `other` stands for this very node. Extension of the stand-in
  // (DOM Level 3), not in the platform contract (docs/XML.md).
  virtual long isSameNode(const KelIDOMNode_var& other, bool& same) = 0;
};
