// The stand-in's own document tree: nodes of one document in one arena,
// names interned once per document, text held as UTF-8.
//
// libxml2 still parses (and validates); its tree is read once into this one
// (KelXmlConvert.h) and let go. Everything after that — the DOM operations,
// the live lists, copies and writing — works on this tree, which costs a
// fraction of libxml2's: a node is one arena block instead of two to four
// heap blocks, and freeing a document is freeing its arena's chunks.
//
// Nodes are never freed before their document: a removed or replaced node
// stays in the arena (and its wrappers stay valid) until the tree goes.
//
// Threading: one thread at a time, like the document that owns the tree.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KelUnicodeString.h"

namespace kelxml {

// The kinds of node, numbered as the DOM numbers them (nodeType).
enum class Kind : std::uint8_t {
  Element = 1,
  Text = 3,
  CData = 4,
  EntityReference = 5,
  Entity = 6,  // the holder of an entity's content; never a DOM child
  ProcessingInstruction = 7,
  Comment = 8,
  Document = 9,
  DocumentType = 10,
};

// An attribute of an element, in the order the element has them. Namespace
// declarations ("xmlns", "xmlns:p") are attributes like any other; the
// writer puts them first, as libxml2 does.
struct Attribute {
  Attribute* next = nullptr;
  std::string_view name;   // interned qualified name
  std::string_view value;  // the DOM value, entity references replaced by their text
  // When not null, the exact text to write between the quotes in place of
  // the escaped value: a parsed value that keeps entity references
  // ("a&ent;b"), or a namespace URI kept the way libxml2 keeps it.
  std::string_view written;
  // `written` holds entity references: a write that expands references
  // writes the escaped value instead.
  bool written_has_references = false;
  // The prefix of the name was bound to a namespace when the attribute was
  // read or set (libxml2 gave it that namespace): a copy keeps the binding
  // (CloneNode declares the prefix on the copy when nothing there does).
  bool bound = false;
  // A namespace declaration, as libxml2 holds one apart from the attributes
  // (and writes first): named "xmlns" or "xmlns:p" when parsed or set so. A
  // parsed attribute whose name only looks like one ("xmlns:0", which
  // libxml2 takes for a plain name) is not.
  bool declaration = false;
};

struct Node {
  Kind kind;
  // Element: its name was bound to a namespace (its prefix's, or the default
  // one) when it was read; an element the DOM makes has none. See
  // Attribute::bound.
  bool bound = false;
  Node* parent = nullptr;  // null: detached (or the document); Kind::Entity: entity content
  Node* first = nullptr;   // children (an entity reference has none: see DomFirstChild)
  Node* last = nullptr;
  Node* prev = nullptr;
  Node* next = nullptr;
  // Element: qualified name; processing instruction: target; entity
  // reference and entity: the entity's name; document type: its name. Interned.
  std::string_view name;
  // Text, CDATA section, comment, processing instruction: the content (a
  // processing instruction read without data has data() null, which reads as
  // empty but is written "<?target?>", where empty data is "<?target ?>").
  // Document type: its public identifier (data() null when there is none).
  std::string_view value;
  Attribute* attributes = nullptr;  // element
  // Entity reference: its entity (Kind::Entity, whose children are the
  // content), null when the entity is unknown. Document type: null.
  Node* entity = nullptr;
  // Document type: its system identifier (data() null when there is none)
  // and libxml2's DTD (internal subset), kept for writing it as libxml2 does.
  std::string_view system_id;
  xmlDtdPtr dtd = nullptr;

  explicit Node(Kind k) : kind(k) {}
  unsigned short DomType() const { return static_cast<unsigned short>(kind); }
};

// Names a program has passed in their UTF-16 form, with the interned names
// they stand for: most calls pass the same few strings (a program's constant
// tag and attribute names), which are then known by where their units are
// without narrowing and hashing them again. An entry is trusted only when
// the units it kept are the units passed, so a string freed and another made
// at its address is never taken for it; the address is compared, never read.
// Names of 1 to 16 units only.
class Utf16NameMemo {
 public:
  std::string_view Recall(std::u16string_view name) const {
    if (name.size() - 1 >= kUnits) return {};
    const Entry& entry = entries_[At(name.data())];
    if (entry.data != name.data() || entry.size != name.size() || !SameUnits(entry.units, name.data(), name.size())) {
      return {};
    }
    return entry.name;
  }
  void Remember(std::u16string_view name, std::string_view interned) {
    if (name.size() - 1 >= kUnits) return;
    Entry& entry = entries_[At(name.data())];
    entry.data = name.data();
    entry.size = name.size();
    std::memcpy(entry.units, name.data(), name.size() * sizeof(char16_t));
    entry.name = interned;
  }

 private:
  static constexpr std::size_t kUnits = 16;
  static constexpr std::size_t kEntries = 32;
  static std::size_t At(const char16_t* data) {
    const auto bits = reinterpret_cast<std::uintptr_t>(data);
    return static_cast<std::size_t>((bits >> 4) ^ (bits >> 11)) % kEntries;
  }
  // Equality of `n` units (1 to 16) without a call: as the first and the last
  // eight units, or four, overlapping in the middle.
  static bool SameUnits(const char16_t* a, const char16_t* b, std::size_t n) {
    if (n >= 8) return Same(a, b, 16) && Same(a + n - 8, b + n - 8, 16);
    if (n >= 4) return Same(a, b, 8) && Same(a + n - 4, b + n - 4, 8);
    for (std::size_t k = 0; k < n; ++k) {
      if (a[k] != b[k]) return false;
    }
    return true;
  }
  // Equality of 8 or 16 bytes, read as words.
  static bool Same(const char16_t* a, const char16_t* b, std::size_t bytes) {
    std::uint64_t a0, b0, a1 = 0, b1 = 0;
    std::memcpy(&a0, a, 8);
    std::memcpy(&b0, b, 8);
    if (bytes == 16) {
      std::memcpy(&a1, a + 4, 8);
      std::memcpy(&b1, b + 4, 8);
    }
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }
  struct Entry {
    const char16_t* data = nullptr;
    std::size_t size = 0;
    char16_t units[kUnits];
    std::string_view name;
  };
  Entry entries_[kEntries];
};

// The storage of one document: the document node, its arena, its names and
// the libxml2 DTDs its document types stand on.
class Tree {
 public:
  Tree();
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  Node* Root() { return &root_; }
  const Node* Root() const { return &root_; }

  // New nodes and attributes, detached. Raise std::bad_alloc when memory runs
  // out, as every member that allocates does.
  Node* NewNode(Kind kind);
  Attribute* NewAttribute();
  // An attribute with `value` stored as Store stores it, in one block with
  // the attribute (Replace reuses its room all the same).
  Attribute* NewAttribute(std::string_view value);
  // `name` interned: equal names of one tree have the same data(), so that a
  // name found through Find can be compared by pointer. Only XML names are
  // interned (names a parse read, names the DOM checked), so a name that Find
  // knows needs no check again.
  std::string_view Intern(std::string_view name);
  // The interned name equal to `name`, or data() null when the tree has none
  // (then no node of the tree bears it).
  std::string_view Find(std::string_view name) const;
  // Interned names by the UTF-16 strings they were found or made from (see
  // Utf16NameMemo): what Recall gives is what Find would give for the UTF-8
  // form of `name`, or data() null when the memo does not know it.
  std::string_view Recall(std::u16string_view name) const { return utf16_names_.Recall(name); }
  void Remember(std::u16string_view name, std::string_view interned) { utf16_names_.Remember(name, interned); }
  // `text` copied into the arena. Stored text (and an interned name) is
  // followed by a NUL, which the view does not count, so that it can be
  // handed to C functions as it stands; data() is never null.
  std::string_view Store(std::string_view text);
  // `text` stored in place of `old`, reusing its room when it fits (or when
  // `old` is the last block of the arena and the chunk has room), so that a
  // value set again and again does not grow the arena each time. The room is
  // reused only when `old` is a whole value that this tree's Store or Replace
  // gave and that nothing else shares; any other `old` (an interned name, a
  // view of other memory) is left as it is and `text` stored anew.
  std::string_view Replace(std::string_view old, std::string_view text);

  // The tree takes `dtd` (made by xmlCreateIntSubset or left by a parse,
  // together with `holder`, the libxml2 document whose dictionary its names
  // may live in; null when it has none). Both are freed with the tree, the
  // DTD unlinked from `holder` first when it is still linked there.
  void AdoptDtd(xmlDtdPtr dtd, xmlDocPtr holder);
  // Gives up a DTD that AdoptDtd took (with no holder), which the caller
  // frees or hands to another tree; nothing when the tree does not hold it.
  void ReleaseDtd(xmlDtdPtr dtd);

  // Bytes the arena holds, for the benchmarks.
  std::size_t ArenaBytes() const;
  // Bytes that the names' chunks hold.
  std::size_t NameBytes() const;

  // The XML declaration's version (interned or stored; "1.0" unless a parse
  // read another) and standalone flag as libxml2 numbers it (1 "yes", 0 "no",
  // negative: none written).
  std::string_view version = "1.0";
  int standalone = -1;

 private:
  struct Impl;
  Node root_{Kind::Document};
  std::unique_ptr<Impl> impl_;
  Utf16NameMemo utf16_names_;
};

// The interned name of a name the DOM is handed, found through the tree's
// memo of UTF-16 names first: FindName gives data() null when the tree does
// not hold it (then no node of the tree bears it); InternName interns it when
// the tree has not met it, and is false (nothing interned) when it is not an
// XML name.
std::string_view FindNewName(Tree& tree, const KelUnicodeString& name);
bool InternNewName(Tree& tree, const KelUnicodeString& name, std::string_view& interned);
inline std::string_view FindName(Tree& tree, const KelUnicodeString& name) {
  const std::string_view interned = tree.Recall(name.View());
  return interned.data() != nullptr ? interned : FindNewName(tree, name);
}
inline bool InternName(Tree& tree, const KelUnicodeString& name, std::string_view& interned) {
  interned = tree.Recall(name.View());
  return interned.data() != nullptr || InternNewName(tree, name, interned);
}

// Names a parse has interned, by the addresses of the parser's strings they
// were made from (a local name and its prefix): most names of a document
// repeat, and the address says which without hashing the text. For one
// parse: while the memo is used, an address must name one text, as the
// strings of libxml2's dictionary do during a parse and the names of a parsed
// libxml2 tree do until the tree is freed (each was made before the reading
// started, so no address can come back for another name).
class NameMemo {
 public:
  // The interned name made from (`local`, `prefix`), or data() null.
  std::string_view Find(const void* local, const void* prefix) const {
    const Entry& entry = entries_[At(local)];
    return entry.local == local && entry.prefix == prefix ? entry.name : std::string_view();
  }
  void Remember(const void* local, const void* prefix, std::string_view name) {
    entries_[At(local)] = Entry{local, prefix, name};
  }

 private:
  static constexpr std::size_t kEntries = 64;
  static std::size_t At(const void* local) {
    const auto bits = reinterpret_cast<std::uintptr_t>(local);
    return static_cast<std::size_t>((bits >> 3) ^ (bits >> 9)) % kEntries;
  }
  struct Entry {
    const void* local = nullptr;
    const void* prefix = nullptr;
    std::string_view name;
  };
  Entry entries_[kEntries];
};

// DOM children: an entity reference's are its entity's content; text,
// comments and the like have none.
inline Node* DomFirstChild(const Node* node) {
  if (node->kind == Kind::EntityReference) return node->entity != nullptr ? node->entity->first : nullptr;
  return node->first;
}
inline Node* DomLastChild(const Node* node) {
  if (node->kind == Kind::EntityReference) return node->entity != nullptr ? node->entity->last : nullptr;
  return node->last;
}

// Links a detached node as the last child of `parent`, or just before `ref`
// (a child of some parent); unlinks a node from its parent. Text nodes are
// never merged.
void LinkLast(Node* parent, Node* node);
void LinkBefore(Node* ref, Node* node);
void Unlink(Node* node);

// Whether the node is part of an entity's content (read-only).
bool InEntityContent(const Node* node);

// Calls visit(node) for every DOM descendant of `root` in document order,
// going into the content of entity references. Iterative: documents may be
// nested far deeper than the stack allows recursion.
template <class Visit>
void ForEachDescendant(const Node* root, Visit&& visit) {
  std::vector<const Node*> references;  // entity references entered, innermost last
  const Node* current = DomFirstChild(root);
  if (current != nullptr && root->kind == Kind::EntityReference) references.push_back(root);
  while (current != nullptr) {
    visit(const_cast<Node*>(current));
    if (const Node* down = DomFirstChild(current)) {
      if (current->kind == Kind::EntityReference) references.push_back(current);
      current = down;
      continue;
    }
    // Climb until a node has a next sibling; stop on reaching the root.
    for (;;) {
      if (current->next != nullptr) {
        current = current->next;
        break;
      }
      const Node* up = current->parent;
      if (up != nullptr && up->kind == Kind::Entity) {
        if (references.empty()) {
          up = nullptr;
        } else {
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

// A copy of `source` (a node of `tree`), with its attributes and, when
// `deep`, its whole subtree; detached. Entity references are copied as
// references to the same entity. Iterative.
Node* CopyTree(Tree& tree, const Node* source, bool deep);

}  // namespace kelxml
