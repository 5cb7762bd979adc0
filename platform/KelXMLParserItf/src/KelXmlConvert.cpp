#include "KelXmlConvert.h"

#include "KelXmlSerialize.h"

#include <libxml/entities.h>

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kelxml {

namespace {

std::string_view View(const xmlChar* text) {
  return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

// The text of a node that may have none: libxml2's null content reads as
// empty (but not null) text.
std::string_view Content(const xmlChar* text) { return text == nullptr ? std::string_view("", 0) : View(text); }

// The qualified name of an element or attribute.
std::string QName(const xmlChar* local, const xmlNs* ns) {
  std::string name;
  if (ns != nullptr && ns->prefix != nullptr) {
    name = reinterpret_cast<const char*>(ns->prefix);
    name += ':';
  }
  if (local != nullptr) name += reinterpret_cast<const char*>(local);
  return name;
}

class Reader {
 public:
  explicit Reader(Tree& tree) : tree_(tree) {}

  // Reads `source` and everything below it, linked as the last child of
  // `parent`. Iterative.
  void ReadSubtree(xmlNodePtr source, Node* parent) {
    Node* top = ReadOne(source);
    if (top == nullptr) return;
    LinkLast(parent, top);
    if (source->type == XML_ELEMENT_NODE) ReadList(source->children, top, source);
  }

  // Reads the sibling list that starts at `first`, and everything below it,
  // as the children of `parent`. Iterative. With `owner`, the source's
  // element lists are freed once read (`owner` holds `first`): the tree's
  // memory can then come from what libxml2's gave back.
  void ReadList(xmlNodePtr first, Node* parent, xmlNodePtr owner = nullptr) {
    struct Level {
      xmlNodePtr next;
      Node* target;
      xmlNodePtr owner;  // whose children the level reads, to be freed after
    };
    std::vector<Level> levels;
    if (first != nullptr) levels.push_back({first, parent, owner});
    while (!levels.empty()) {
      Level& level = levels.back();
      xmlNodePtr source = level.next;
      if (source == nullptr) {
        if (level.owner != nullptr) {
          xmlFreeNodeList(level.owner->children);
          level.owner->children = nullptr;
          level.owner->last = nullptr;
        }
        levels.pop_back();
        continue;
      }
      level.next = source->next;
      Node* target = level.target;
      Node* made = ReadOne(source);
      if (made == nullptr) continue;
      LinkLast(target, made);
      if (source->type == XML_ELEMENT_NODE && source->children != nullptr) {
        levels.push_back({source->children, made, owner != nullptr ? source : nullptr});
      }
    }
  }

  // The entities met through references whose content is still to be read.
  bool TakePending(xmlEntityPtr& entity, Node*& holder) {
    if (pending_.empty()) return false;
    entity = pending_.back().first;
    holder = pending_.back().second;
    pending_.pop_back();
    return true;
  }

 private:
  // The interned name of an element or attribute, known by its strings'
  // addresses once met (the tree is read whole and let go only behind the
  // reading).
  std::string_view NameOf(const xmlChar* local, const xmlNs* ns) {
    const xmlChar* prefix = ns != nullptr ? ns->prefix : nullptr;
    const std::string_view known = names_.Find(local, prefix);
    if (known.data() != nullptr) return known;
    const std::string_view name = tree_.Intern(QName(local, ns));
    names_.Remember(local, prefix, name);
    return name;
  }

  Node* ReadOne(xmlNodePtr source) {
    Node* node = nullptr;
    switch (source->type) {
      case XML_ELEMENT_NODE:
        node = tree_.NewNode(Kind::Element);
        node->name = NameOf(source->name, source->ns);
        node->bound = source->ns != nullptr;
        ReadAttributes(source, node);
        return node;
      case XML_TEXT_NODE:
        node = tree_.NewNode(Kind::Text);
        node->value = tree_.Store(Content(source->content));
        return node;
      case XML_CDATA_SECTION_NODE:
        node = tree_.NewNode(Kind::CData);
        node->value = tree_.Store(Content(source->content));
        return node;
      case XML_COMMENT_NODE:
        node = tree_.NewNode(Kind::Comment);
        node->value = tree_.Store(Content(source->content));
        return node;
      case XML_PI_NODE:
        node = tree_.NewNode(Kind::ProcessingInstruction);
        node->name = tree_.Intern(View(source->name));
        if (source->content != nullptr) node->value = tree_.Store(Content(source->content));
        return node;
      case XML_ENTITY_REF_NODE:
        node = tree_.NewNode(Kind::EntityReference);
        node->name = tree_.Intern(View(source->name));
        node->entity = EntityOf(source);
        return node;
      default:
        // Nothing else can stand in element content after a parse.
        return nullptr;
    }
  }

  // The holder of the content of the entity that `reference` refers to, made
  // (and its content queued for reading) the first time.
  Node* EntityOf(xmlNodePtr reference) {
    xmlNodePtr decl = reference->children;
    if (decl == nullptr || decl->type != XML_ENTITY_DECL) return nullptr;
    auto* entity = reinterpret_cast<xmlEntityPtr>(decl);
    auto found = entities_.find(entity);
    if (found != entities_.end()) return found->second;
    Node* holder = tree_.NewNode(Kind::Entity);
    holder->name = tree_.Intern(View(entity->name));
    entities_.emplace(entity, holder);
    pending_.emplace_back(entity, holder);
    return holder;
  }

  void ReadAttributes(xmlNodePtr source, Node* element) {
    Attribute** tail = &element->attributes;
    auto append = [&tail](Attribute* attribute) {
      *tail = attribute;
      tail = &attribute->next;
    };
    // Namespace declarations first, where libxml2 keeps (and writes) them.
    for (xmlNsPtr ns = source->nsDef; ns != nullptr; ns = ns->next) {
      Attribute* attribute = tree_.NewAttribute();
      attribute->declaration = true;
      attribute->name = tree_.Intern(ns->prefix == nullptr ? std::string("xmlns")
                                                          : "xmlns:" + std::string(View(ns->prefix)));
      // Kept as libxml2 keeps it; written with the rules of a namespace URI
      // (KelXmlSerialize.cpp).
      attribute->value = tree_.Store(Content(ns->href));
      append(attribute);
    }
    for (xmlAttrPtr property = source->properties; property != nullptr; property = property->next) {
      Attribute* attribute = tree_.NewAttribute();
      attribute->name = NameOf(property->name, property->ns);
      attribute->bound = property->ns != nullptr;
      xmlNodePtr only = property->children;
      if (only == nullptr) {
        attribute->value = std::string_view("", 0);
      } else if (only->next == nullptr && only->type == XML_TEXT_NODE) {
        attribute->value = tree_.Store(Content(only->content));
      } else {
        ReadCompoundValue(property, attribute);
      }
      append(attribute);
    }
  }

  // A value made of several parts, entity references among them: the DOM
  // value has each reference replaced by its text, with white space made
  // spaces as an expanding parse makes it (XML 1.0, 3.3.3); the written form
  // keeps the references.
  void ReadCompoundValue(xmlAttrPtr property, Attribute* attribute) {
    std::string value;
    std::string written;
    bool references = false;
    for (xmlNodePtr part = property->children; part != nullptr; part = part->next) {
      if (part->type == XML_TEXT_NODE) {
        const std::string_view text = Content(part->content);
        value += text;
        AppendAttributeEscaped(written, text);
      } else if (part->type == XML_ENTITY_REF_NODE) {
        references = true;
        written += '&';
        written += View(part->name);
        written += ';';
        AppendReplacement(part, value);
      }
    }
    attribute->value = tree_.Store(value);
    if (references) {
      attribute->written = tree_.Store(written);
      attribute->written_has_references = true;
    }
  }

  // The text of an entity reference's content, normalised.
  static void AppendReplacement(xmlNodePtr reference, std::string& value) {
    std::vector<xmlNodePtr> stack;
    auto content = [](xmlNodePtr ref) -> xmlNodePtr {
      xmlNodePtr decl = ref->children;
      return decl != nullptr && decl->type == XML_ENTITY_DECL ? decl->children : nullptr;
    };
    // Depth first, in document order, through nested references.
    for (xmlNodePtr node = content(reference); node != nullptr || !stack.empty();) {
      if (node == nullptr) {
        node = stack.back();
        stack.pop_back();
        continue;
      }
      if (node->type == XML_TEXT_NODE && node->content != nullptr) {
        const std::size_t start = value.size();
        value += reinterpret_cast<const char*>(node->content);
        for (std::size_t i = start; i < value.size(); ++i) {
          if (value[i] == '\t' || value[i] == '\n' || value[i] == '\r') value[i] = ' ';
        }
      }
      xmlNodePtr down = nullptr;
      if (node->type == XML_ENTITY_REF_NODE) {
        down = content(node);
      } else if (node->type == XML_ELEMENT_NODE) {
        down = node->children;
      }
      if (down != nullptr) {
        stack.push_back(node->next);
        node = down;
      } else {
        node = node->next;
      }
    }
  }

  Tree& tree_;
  NameMemo names_;
  std::unordered_map<xmlEntityPtr, Node*> entities_;
  std::vector<std::pair<xmlEntityPtr, Node*>> pending_;
};

// Frees a libxml2 document on every way out; released when the tree keeps it.
struct DocumentGuard {
  xmlDocPtr document;
  ~DocumentGuard() {
    if (document != nullptr) xmlFreeDoc(document);
  }
};

}  // namespace

std::unique_ptr<Tree> ReadTree(xmlDocPtr document) {
  DocumentGuard guard{document};
  auto tree = std::make_unique<Tree>();
  if (document->version != nullptr) tree->version = tree->Store(View(document->version));
  tree->standalone = document->standalone;
  Reader reader(*tree);
  Node* root = tree->Root();
  for (xmlNodePtr top = document->children; top != nullptr; top = top->next) {
    if (top->type == XML_DTD_NODE) {
      auto* dtd = reinterpret_cast<xmlDtdPtr>(top);
      Node* type = tree->NewNode(Kind::DocumentType);
      type->name = tree->Intern(View(dtd->name));
      if (dtd->ExternalID != nullptr) type->value = tree->Store(Content(dtd->ExternalID));
      if (dtd->SystemID != nullptr) type->system_id = tree->Store(Content(dtd->SystemID));
      type->dtd = dtd;
      LinkLast(root, type);
      continue;
    }
    reader.ReadSubtree(top, root);
  }
  xmlEntityPtr entity = nullptr;
  Node* holder = nullptr;
  while (reader.TakePending(entity, holder)) reader.ReadList(entity->children, holder);

  // What the tree keeps of libxml2's document: its internal subset, for
  // writing the document type as libxml2 writes it. The rest goes now.
  xmlDtdPtr internal = document->intSubset;
  if (internal != nullptr) {
    for (xmlNodePtr top = document->children; top != nullptr;) {
      xmlNodePtr next = top->next;
      if (top != reinterpret_cast<xmlNodePtr>(internal)) {
        xmlUnlinkNode(top);
        xmlFreeNode(top);
      }
      top = next;
    }
    if (document->extSubset != nullptr && document->extSubset != internal) {
      xmlFreeDtd(document->extSubset);
    }
    document->extSubset = nullptr;
    tree->AdoptDtd(internal, document);
    guard.document = nullptr;
  }
  return tree;
}

namespace {

// Links `node` as the last child of `parent`; unlike xmlAddChild, never
// merges text nodes.
void Link(xmlNodePtr parent, xmlNodePtr node) {
  node->parent = parent;
  node->prev = parent->last;
  if (parent->last != nullptr) {
    parent->last->next = node;
  } else {
    parent->children = node;
  }
  parent->last = node;
}

// Builds libxml2's tree of a document for libxml2's serializer.
class LibxmlWriter {
 public:
  LibxmlWriter(xmlDocPtr document, bool expand, bool referencesKept)
      : document_(document), expand_(expand), references_kept_(referencesKept) {}

  // Copies `source` and its subtree as the last child of `parent`; false
  // when memory ran out. Iterative.
  bool CopySubtree(const Node* source, xmlNodePtr parent) {
    struct Level {
      const Node* next;
      xmlNodePtr target;
    };
    std::vector<Level> levels{{source, parent}};
    bool first = true;
    while (!levels.empty()) {
      Level& level = levels.back();
      const Node* node = level.next;
      if (node == nullptr) {
        levels.pop_back();
        continue;
      }
      // The top node is copied alone, not its siblings.
      level.next = first ? nullptr : node->next;
      first = false;
      xmlNodePtr target = level.target;
      if (node->kind == Kind::EntityReference && expand_) {
        if (const Node* content = DomFirstChild(node)) levels.push_back({content, target});
        continue;
      }
      xmlNodePtr copy = CopyOne(node, target);
      if (copy == nullptr) return false;
      if (node->kind == Kind::Element && node->first != nullptr) levels.push_back({node->first, copy});
    }
    return true;
  }

 private:
  static std::string Text(std::string_view text) { return std::string(text); }
  static const xmlChar* X(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

  xmlNodePtr CopyOne(const Node* node, xmlNodePtr parent) {
    xmlNodePtr copy = nullptr;
    switch (node->kind) {
      case Kind::Element:
        copy = xmlNewDocNode(document_, nullptr, X(Text(node->name)), nullptr);
        if (copy == nullptr) return nullptr;
        Link(parent, copy);
        return Complete(node, copy) ? copy : nullptr;
      case Kind::Text:
        copy = xmlNewDocTextLen(document_, B(node->value), static_cast<int>(node->value.size()));
        break;
      case Kind::CData:
        copy = xmlNewCDataBlock(document_, B(node->value), static_cast<int>(node->value.size()));
        break;
      case Kind::Comment:
        copy = xmlNewDocComment(document_, X(Text(node->value)));
        break;
      case Kind::ProcessingInstruction:
        copy = xmlNewDocPI(document_, X(Text(node->name)),
                           node->value.data() != nullptr ? X(Text(node->value)) : nullptr);
        break;
      case Kind::EntityReference:
        copy = xmlNewReference(document_, X(Text(node->name)));
        break;
      default:
        return nullptr;
    }
    if (copy != nullptr) Link(parent, copy);
    return copy;
  }

  static const xmlChar* B(std::string_view text) { return reinterpret_cast<const xmlChar*>(text.data()); }

  // The namespace declarations, the namespace of a prefixed name, and the
  // attributes of a linked element.
  bool Complete(const Node* node, xmlNodePtr copy) {
    for (const Attribute* a = node->attributes; a != nullptr; a = a->next) {
      if (!a->declaration) continue;
      if (a->name == "xmlns:xml") continue;
      const std::string href = EscapeLiteral(a->value, references_kept_);
      const std::string prefix = a->name.size() > 6 ? Text(a->name.substr(6)) : std::string();
      if (xmlNewNs(copy, X(href), prefix.empty() ? nullptr : X(prefix)) == nullptr) return false;
    }
    std::string local;
    xmlNsPtr ns = Namespace(copy, node->name, local);
    if (ns != nullptr) {
      xmlSetNs(copy, ns);
      xmlNodeSetName(copy, X(local));
    }
    for (const Attribute* a = node->attributes; a != nullptr; a = a->next) {
      if (a->declaration) continue;
      xmlNsPtr attributeNs = Namespace(copy, a->name, local);
      const std::string name = attributeNs != nullptr ? local : Text(a->name);
      if (a->written.data() != nullptr && !(expand_ && a->written_has_references)) {
        xmlAttrPtr made = xmlNewNsProp(copy, attributeNs, X(name), nullptr);
        if (made == nullptr) return false;
        const std::string written = Text(a->written);
        xmlNodePtr parts = xmlStringGetNodeList(document_, X(written));
        if (parts == nullptr && !written.empty()) return false;
        made->children = parts;
        for (xmlNodePtr part = parts; part != nullptr; part = part->next) {
          part->parent = reinterpret_cast<xmlNodePtr>(made);
          made->last = part;
        }
      } else if (xmlNewNsProp(copy, attributeNs, X(name), X(Text(a->value))) == nullptr) {
        return false;
      }
    }
    return true;
  }

  // The namespace in scope for the prefix of `qname`, with `local` its local
  // part; null for a name without prefix or a prefix not declared.
  xmlNsPtr Namespace(xmlNodePtr element, std::string_view qname, std::string& local) {
    const std::size_t colon = qname.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == qname.size()) return nullptr;
    const std::string prefix = Text(qname.substr(0, colon));
    xmlNsPtr ns = xmlSearchNs(document_, element, X(prefix));
    if (ns != nullptr) local = Text(qname.substr(colon + 1));
    return ns;
  }

  xmlDocPtr document_;
  bool expand_;
  bool references_kept_;
};

}  // namespace

xmlDocPtr WriteLibxmlDocument(const Tree& tree, bool expand, bool referencesKept) {
  xmlDocPtr document = xmlNewDoc(reinterpret_cast<const xmlChar*>(std::string(tree.version).c_str()));
  if (document == nullptr) return nullptr;
  document->standalone = tree.standalone;
  LibxmlWriter writer(document, expand, referencesKept);
  bool done = true;
  try {
    for (const Node* top = tree.Root()->first; top != nullptr && done; top = top->next) {
      if (top->kind != Kind::DocumentType) {
        done = writer.CopySubtree(top, reinterpret_cast<xmlNodePtr>(document));
        continue;
      }
      xmlDtdPtr dtd = xmlCopyDtd(top->dtd);
      if (dtd == nullptr) {
        done = false;
        break;
      }
      dtd->doc = document;
      document->intSubset = dtd;
      Link(reinterpret_cast<xmlNodePtr>(document), reinterpret_cast<xmlNodePtr>(dtd));
      EscapeAttributeDefaults(dtd, referencesKept);
    }
  } catch (const std::bad_alloc&) {
    done = false;
  }
  if (!done) {
    xmlFreeDoc(document);
    return nullptr;
  }
  return document;
}

}  // namespace kelxml
