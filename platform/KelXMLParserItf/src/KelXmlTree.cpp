#include "KelXmlTree.h"

#include <cstring>
#include <new>
#include <string>

#include <libxml/entities.h>

namespace kelxml {

unsigned short DomType(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
      return 1;
    case XML_ATTRIBUTE_NODE:
      return 2;
    case XML_TEXT_NODE:
      return 3;
    case XML_CDATA_SECTION_NODE:
      return 4;
    case XML_ENTITY_REF_NODE:
      return 5;
    case XML_ENTITY_NODE:
    case XML_ENTITY_DECL:
      return 6;
    case XML_PI_NODE:
      return 7;
    case XML_COMMENT_NODE:
      return 8;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return 9;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE:
      return 10;
    case XML_DOCUMENT_FRAG_NODE:
      return 11;
    case XML_NOTATION_NODE:
      return 12;
    default:
      return 0;
  }
}

xmlNodePtr EntityContent(xmlNodePtr reference) {
  xmlNodePtr entity = reference->children;
  return entity != nullptr && entity->type == XML_ENTITY_DECL ? entity->children : nullptr;
}

xmlNodePtr DomFirstChild(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      return node->children;
    case XML_ENTITY_REF_NODE:
      return EntityContent(node);
    default:
      return nullptr;
  }
}

xmlNodePtr DomLastChild(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      return node->last;
    case XML_ENTITY_REF_NODE: {
      xmlNodePtr entity = node->children;
      return entity != nullptr && entity->type == XML_ENTITY_DECL ? entity->last : nullptr;
    }
    default:
      return nullptr;
  }
}

void LinkLast(xmlNodePtr parent, xmlNodePtr node) {
  node->parent = parent;
  node->next = nullptr;
  node->prev = parent->last;
  if (parent->last != nullptr) {
    parent->last->next = node;
  } else {
    parent->children = node;
  }
  parent->last = node;
}

void LinkBefore(xmlNodePtr ref, xmlNodePtr node) {
  xmlNodePtr parent = ref->parent;
  node->parent = parent;
  node->next = ref;
  node->prev = ref->prev;
  if (ref->prev != nullptr) {
    ref->prev->next = node;
  } else {
    parent->children = node;
  }
  ref->prev = node;
}

bool QNameIs(const xmlChar* local, const xmlNs* ns, const char* qname) {
  const char* name = reinterpret_cast<const char*>(local);
  if (name == nullptr) return false;
  if (ns == nullptr || ns->prefix == nullptr) return std::strcmp(name, qname) == 0;
  const char* prefix = reinterpret_cast<const char*>(ns->prefix);
  const std::size_t n = std::strlen(prefix);
  return std::strncmp(qname, prefix, n) == 0 && qname[n] == ':' && std::strcmp(qname + n + 1, name) == 0;
}

std::string QNameOf(const xmlChar* local, const xmlNs* ns) {
  std::string name;
  if (ns != nullptr && ns->prefix != nullptr) {
    name = reinterpret_cast<const char*>(ns->prefix);
    name += ':';
  }
  if (local != nullptr) name += reinterpret_cast<const char*>(local);
  return name;
}

std::string AttributeText(xmlAttrPtr attribute) {
  std::string text;
  // The parser has normalised the value's own text already; the text of an
  // entity it references is normalised here, as an expanding parse does: each
  // tab, line feed and carriage return of the replacement text becomes a
  // space (XML 1.0, 3.3.3), so that both ways of reading give one value.
  auto normalised = [&text](xmlNodePtr node) {
    if (node->type != XML_TEXT_NODE || node->content == nullptr) return;
    const std::size_t start = text.size();
    text += reinterpret_cast<const char*>(node->content);
    for (std::size_t i = start; i < text.size(); ++i) {
      if (text[i] == '\t' || text[i] == '\n' || text[i] == '\r') text[i] = ' ';
    }
  };
  for (xmlNodePtr part = attribute->children; part != nullptr; part = part->next) {
    if (part->type == XML_ENTITY_REF_NODE) {
      ForEachDescendant(part, normalised);
    } else if (part->type == XML_TEXT_NODE && part->content != nullptr) {
      text += reinterpret_cast<const char*>(part->content);
    }
  }
  return text;
}

bool ContainsEntityReferences(xmlDocPtr document) {
  bool found = false;
  auto check = [&found](xmlNodePtr node) {
    if (found) return;
    if (node->type == XML_ENTITY_REF_NODE) {
      found = true;
      return;
    }
    if (node->type != XML_ELEMENT_NODE) return;
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
      for (xmlNodePtr part = attribute->children; part != nullptr; part = part->next) {
        if (part->type == XML_ENTITY_REF_NODE) found = true;
      }
    }
  };
  // Entity content is not entered: a reference to it was seen first.
  for (xmlNodePtr top = document->children; top != nullptr && !found; top = top->next) {
    check(top);
    if (top->type == XML_ELEMENT_NODE) ForEachDescendant(top, check);
  }
  return found;
}

namespace {

// The namespace of `copy` (already linked) that stands for `source`: the
// parent's when it is the same, else one in scope with the same prefix and
// URI, else a new declaration on `copy`.
xmlNsPtr MapNamespace(xmlDocPtr document, xmlNodePtr copy, xmlNsPtr source) {
  xmlNodePtr parent = copy->parent;
  if (parent != nullptr && parent->type == XML_ELEMENT_NODE && parent->ns != nullptr &&
      xmlStrEqual(parent->ns->prefix, source->prefix) && xmlStrEqual(parent->ns->href, source->href)) {
    return parent->ns;
  }
  xmlNsPtr found = xmlSearchNs(document, copy, source->prefix);
  if (found != nullptr && xmlStrEqual(found->href, source->href)) return found;
  return xmlNewNs(copy, source->href, source->prefix);
}

bool CopyAttributes(xmlDocPtr document, xmlNodePtr source, xmlNodePtr copy, bool expand) {
  for (xmlAttrPtr attribute = source->properties; attribute != nullptr; attribute = attribute->next) {
    xmlNsPtr ns = nullptr;
    if (attribute->ns != nullptr) {
      ns = MapNamespace(document, copy, attribute->ns);
      if (ns == nullptr) return false;
    }
    bool references = false;
    for (xmlNodePtr part = attribute->children; part != nullptr; part = part->next) {
      if (part->type == XML_ENTITY_REF_NODE) references = true;
    }
    if (references && !expand) {
      xmlAttrPtr made = xmlNewNsProp(copy, ns, attribute->name, nullptr);
      if (made == nullptr) return false;
      xmlNodePtr parts = xmlDocCopyNodeList(document, attribute->children);
      if (parts == nullptr) return false;
      made->children = parts;
      for (xmlNodePtr part = parts; part != nullptr; part = part->next) {
        part->parent = reinterpret_cast<xmlNodePtr>(made);
        made->last = part;
      }
      continue;
    }
    xmlNodePtr only = attribute->children;
    const bool plain = only == nullptr || (only->next == nullptr && only->type == XML_TEXT_NODE);
    std::string joined;
    if (!plain) {
      try {
        joined = AttributeText(attribute);
      } catch (const std::bad_alloc&) {
        return false;
      }
    }
    const xmlChar* value = plain ? (only != nullptr ? only->content : BAD_CAST "") : BAD_CAST joined.c_str();
    if (xmlNewNsProp(copy, ns, attribute->name, value) == nullptr) return false;
  }
  return true;
}

// Copies one node without its children, linked under `parent` when given.
xmlNodePtr CopyOne(xmlNodePtr source, xmlDocPtr document, xmlNodePtr parent, bool expand) {
  xmlNodePtr copy = nullptr;
  switch (source->type) {
    case XML_ELEMENT_NODE:
      copy = xmlNewDocNode(document, nullptr, source->name, nullptr);
      if (copy == nullptr) return nullptr;
      if (source->nsDef != nullptr) {
        copy->nsDef = xmlCopyNamespaceList(source->nsDef);
        if (copy->nsDef == nullptr) {
          xmlFreeNode(copy);
          return nullptr;
        }
      }
      // Linked first so that namespaces in scope are found.
      if (parent != nullptr) LinkLast(parent, copy);
      if (source->ns != nullptr) {
        copy->ns = MapNamespace(document, copy, source->ns);
        if (copy->ns == nullptr || !CopyAttributes(document, source, copy, expand)) {
          if (parent != nullptr) xmlUnlinkNode(copy);
          xmlFreeNode(copy);
          return nullptr;
        }
      } else if (!CopyAttributes(document, source, copy, expand)) {
        if (parent != nullptr) xmlUnlinkNode(copy);
        xmlFreeNode(copy);
        return nullptr;
      }
      return copy;
    case XML_TEXT_NODE:
      copy = xmlNewDocText(document, source->content != nullptr ? source->content : BAD_CAST "");
      break;
    case XML_CDATA_SECTION_NODE:
      copy = xmlNewCDataBlock(document, source->content, xmlStrlen(source->content));
      break;
    case XML_COMMENT_NODE:
      copy = xmlNewDocComment(document, source->content != nullptr ? source->content : BAD_CAST "");
      break;
    case XML_PI_NODE:
      copy = xmlNewDocPI(document, source->name, source->content);
      break;
    case XML_ENTITY_REF_NODE:
      copy = xmlNewReference(document, source->name);
      break;
    default:
      return nullptr;
  }
  if (copy != nullptr && parent != nullptr) LinkLast(parent, copy);
  return copy;
}

}  // namespace

xmlNodePtr CopyTree(xmlNodePtr source, xmlDocPtr document, xmlNodePtr parent, bool deep, bool expand) {
  xmlNodePtr top = CopyOne(source, document, parent, expand);
  if (top == nullptr || !deep || source->type != XML_ELEMENT_NODE) return top;
  struct Level {
    xmlNodePtr next;    // next source node to copy at this level
    xmlNodePtr target;  // the copy its copies go under
  };
  std::vector<Level> levels;
  if (source->children != nullptr) levels.push_back({source->children, top});
  while (!levels.empty()) {
    Level& level = levels.back();
    xmlNodePtr node = level.next;
    if (node == nullptr) {
      levels.pop_back();
      continue;
    }
    level.next = node->next;
    xmlNodePtr target = level.target;
    if (expand && node->type == XML_ENTITY_REF_NODE) {
      if (xmlNodePtr content = EntityContent(node)) levels.push_back({content, target});
      continue;
    }
    xmlNodePtr copy = CopyOne(node, document, target, expand);
    if (copy == nullptr) {
      if (parent != nullptr) xmlUnlinkNode(top);
      xmlFreeNode(top);
      return nullptr;
    }
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) levels.push_back({node->children, copy});
  }
  return top;
}

xmlDocPtr CopyDocumentExpanded(xmlDocPtr source) {
  xmlDocPtr copy = xmlNewDoc(source->version != nullptr ? source->version : BAD_CAST "1.0");
  if (copy == nullptr) return nullptr;
  copy->standalone = source->standalone;
  for (xmlNodePtr top = source->children; top != nullptr; top = top->next) {
    if (top->type == XML_DTD_NODE) {
      xmlDtdPtr dtd = xmlCopyDtd(reinterpret_cast<xmlDtdPtr>(top));
      if (dtd == nullptr) {
        xmlFreeDoc(copy);
        return nullptr;
      }
      dtd->doc = copy;
      copy->intSubset = dtd;
      LinkLast(reinterpret_cast<xmlNodePtr>(copy), reinterpret_cast<xmlNodePtr>(dtd));
      continue;
    }
    if (CopyTree(top, copy, reinterpret_cast<xmlNodePtr>(copy), true, true) == nullptr) {
      xmlFreeDoc(copy);
      return nullptr;
    }
  }
  return copy;
}

}  // namespace kelxml
