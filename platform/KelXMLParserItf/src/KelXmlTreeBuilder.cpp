#include "KelXmlTreeBuilder.h"

#include <cstring>

namespace kelxml {

namespace {

std::string_view View(const xmlChar* text) {
  return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

}  // namespace

TreeBuilder::TreeBuilder(bool referencesKept) : tree_(std::make_unique<Tree>()), references_kept_(referencesKept) {}

std::unique_ptr<Tree> TreeBuilder::Take() {
  Flush();
  return std::move(tree_);
}

void TreeBuilder::StartDocument(xmlParserCtxtPtr ctxt) {
  // The XML declaration is read by now; libxml2 gives its document these.
  if (ctxt->version != nullptr) tree_->version = tree_->Store(View(ctxt->version));
  tree_->standalone = ctxt->standalone;
}

std::string_view TreeBuilder::QName(const xmlChar* prefix, const xmlChar* localname) {
  // The parser's names are its dictionary's strings.
  std::string_view name = names_.Find(localname, prefix);
  if (name.data() != nullptr) return name;
  if (prefix == nullptr) {
    name = tree_->Intern(View(localname));
  } else {
    scratch_.assign(View(prefix));
    scratch_ += ':';
    scratch_ += View(localname);
    name = tree_->Intern(scratch_);
  }
  names_.Remember(localname, prefix, name);
  return name;
}

void TreeBuilder::StartElement(const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                               int namespaceCount, const xmlChar** namespaces, int attributeCount,
                               const xmlChar** attributes) {
  Flush();
  started_ = true;
  Node* element = tree_->NewNode(Kind::Element);
  element->name = QName(prefix, localname);
  element->bound = uri != nullptr;
  Attribute** tail = &element->attributes;
  // Namespace declarations first, in their order, as libxml2 keeps them
  // (it has none of its own for the "xml" prefix).
  for (int i = 0; i < namespaceCount; ++i) {
    const xmlChar* declared = namespaces[2 * i];
    const xmlChar* uri = namespaces[2 * i + 1];
    if (declared != nullptr && std::strcmp(reinterpret_cast<const char*>(declared), "xml") == 0) continue;
    Attribute* attribute = tree_->NewAttribute();
    attribute->declaration = true;
    if (declared == nullptr) {
      attribute->name = tree_->Intern("xmlns");
    } else {
      scratch_.assign("xmlns:");
      scratch_ += View(declared);
      attribute->name = tree_->Intern(scratch_);
    }
    attribute->value = uri != nullptr ? tree_->Store(View(uri)) : std::string_view("", 0);
    *tail = attribute;
    tail = &attribute->next;
  }
  // Each attribute: local name, prefix, URI, value and its end.
  for (int i = 0; i < attributeCount; ++i) {
    const xmlChar** a = attributes + 5 * i;
    Attribute* attribute = tree_->NewAttribute();
    attribute->name = QName(a[1], a[0]);
    attribute->bound = a[2] != nullptr;
    std::string_view value(reinterpret_cast<const char*>(a[3]), static_cast<std::size_t>(a[4] - a[3]));
    // Keeping references, libxml2's parser hands an "&" on as "&#38;", the
    // only reference left in a value without a document type; libxml2's tree
    // builder turns it back.
    if (references_kept_ && value.find("&#38;") != std::string_view::npos) {
      scratch_.clear();
      for (std::size_t at = 0; at < value.size();) {
        if (value.compare(at, 5, "&#38;") == 0) {
          scratch_ += '&';
          at += 5;
        } else {
          scratch_ += value[at++];
        }
      }
      value = scratch_;
    }
    attribute->value = tree_->Store(value);
    *tail = attribute;
    tail = &attribute->next;
  }
  LinkLast(current_ != nullptr ? current_ : tree_->Root(), element);
  current_ = element;
}

void TreeBuilder::Declaration(std::string_view version, int standalone) {
  tree_->version = tree_->Store(version);
  tree_->standalone = standalone;
}

void TreeBuilder::StartElement(std::string_view name) {
  Flush();
  started_ = true;
  Node* element = tree_->NewNode(Kind::Element);
  element->name = tree_->Intern(name);
  LinkLast(current_ != nullptr ? current_ : tree_->Root(), element);
  current_ = element;
  tail_ = &element->attributes;
}

bool TreeBuilder::AddAttribute(std::string_view name, std::string_view value) {
  const std::string_view interned = tree_->Intern(name);
  for (const Attribute* a = current_->attributes; a != nullptr; a = a->next) {
    if (a->name.data() == interned.data()) return false;
  }
  Attribute* attribute = tree_->NewAttribute(value);
  attribute->name = interned;
  *tail_ = attribute;
  tail_ = &attribute->next;
  return true;
}

void TreeBuilder::EndElement() {
  Flush();
  if (current_ == nullptr) return;
  Node* parent = current_->parent;
  current_ = parent != nullptr && parent->kind == Kind::Element ? parent : nullptr;
}

void TreeBuilder::Characters(const xmlChar* text, int length, Kind kind) {
  // Text outside the document element is not kept (only white space can be).
  if (current_ == nullptr) return;
  if (has_pending_ && pending_kind_ != kind) Flush();
  if (!has_pending_) {
    has_pending_ = true;
    pending_kind_ = kind;
    pending_.clear();
  }
  pending_.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

void TreeBuilder::Flush() {
  if (!has_pending_) return;
  has_pending_ = false;
  Node* node = tree_->NewNode(pending_kind_);
  node->value = tree_->Store(pending_);
  LinkLast(current_, node);
}

void TreeBuilder::Comment(const xmlChar* text) {
  Flush();
  Node* node = tree_->NewNode(Kind::Comment);
  node->value = tree_->Store(text != nullptr ? View(text) : std::string_view("", 0));
  LinkLast(current_ != nullptr ? current_ : tree_->Root(), node);
}

void TreeBuilder::ProcessingInstruction(const xmlChar* target, const xmlChar* data) {
  Flush();
  Node* node = tree_->NewNode(Kind::ProcessingInstruction);
  node->name = tree_->Intern(View(target));
  if (data != nullptr) node->value = tree_->Store(View(data));
  LinkLast(current_ != nullptr ? current_ : tree_->Root(), node);
}

}  // namespace kelxml
