// The DOM view of a libxml2 tree: node type numbers, children as the DOM sees
// them (an entity reference's children are its entity's content), links that
// never merge text nodes, an iterative walk and an iterative copy (documents
// may be nested far deeper than the stack allows recursion).
#pragma once

#include <libxml/tree.h>

#include <string>
#include <vector>

namespace kelxml {

// The W3C DOM node type number of a libxml2 node.
unsigned short DomType(xmlNodePtr node);

// First and last DOM children; null for kinds that hold none (text, comment,
// processing instruction, document type...).
xmlNodePtr DomFirstChild(xmlNodePtr node);
xmlNodePtr DomLastChild(xmlNodePtr node);

// Links a detached node as the last child of `parent`, or just before `ref`.
// Unlike xmlAddChild these never merge adjacent text nodes, so the node passed
// is always the node that ends up in the tree.
void LinkLast(xmlNodePtr parent, xmlNodePtr node);
void LinkBefore(xmlNodePtr ref, xmlNodePtr node);

// Whether the qualified name ("prefix:local" or "local") of an element or
// attribute with local name `local` in namespace `ns` is `qname`.
bool QNameIs(const xmlChar* local, const xmlNs* ns, const char* qname);
// The qualified name of an element or attribute.
std::string QNameOf(const xmlChar* local, const xmlNs* ns);

// The content of an entity reference (the first node of its entity), or null.
xmlNodePtr EntityContent(xmlNodePtr reference);

// Calls visit(node) for every DOM descendant of `root` in document order,
// going into the content of entity references. Iterative.
template <class Visit>
void ForEachDescendant(xmlNodePtr root, Visit&& visit) {
  std::vector<xmlNodePtr> references;  // entity references entered, innermost last
  xmlNodePtr current = DomFirstChild(root);
  if (current != nullptr && root->type == XML_ENTITY_REF_NODE) references.push_back(root);
  while (current != nullptr) {
    visit(current);
    if (xmlNodePtr down = DomFirstChild(current)) {
      if (current->type == XML_ENTITY_REF_NODE) references.push_back(current);
      current = down;
      continue;
    }
    // Climb until a node has a next sibling; stop on reaching the root.
    for (;;) {
      if (current->next != nullptr) {
        current = current->next;
        break;
      }
      xmlNodePtr up = current->parent;
      if (up != nullptr && up->type == XML_ENTITY_DECL) {
        if (references.empty())
          up = nullptr;
        else {
          up = references.back();
          references.pop_back();
        }
      }
      if (up == nullptr || up == root) {
        current = nullptr;
        break;
      }
      current = up;
    }
  }
}

// The value of an attribute, its entity references replaced by their text
// with white space made spaces, as an expanding parse makes it (libxml2's
// xmlNodeListGetString gives null for an empty value as for a failed
// allocation, and keeps that white space). Raises std::bad_alloc when memory
// runs out.
std::string AttributeText(xmlAttrPtr attribute);

// Whether any element content or attribute value of the document holds an
// entity reference node.
bool ContainsEntityReferences(xmlDocPtr document);

// Copies `source` (with its attributes, and with its whole subtree when
// `deep`) into `document`, linked as the last child of `parent`. With
// `expand`, entity references inside the subtree are replaced by copies of
// their content (`source` itself must then not be one). Returns the copy, or
// null when memory ran out, in which case nothing stays linked.
xmlNodePtr CopyTree(xmlNodePtr source, xmlDocPtr document, xmlNodePtr parent, bool deep, bool expand);

// A copy of the whole document in which every entity reference is replaced by
// its content; null when memory ran out.
xmlDocPtr CopyDocumentExpanded(xmlDocPtr source);

}  // namespace kelxml
