#include "KelXmlElement.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlElement, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

namespace {

// The attribute of `element` named `name`: names are interned, so a name the
// tree does not know is on no attribute, and the others compare by pointer.
kelxml::Attribute* FindAttribute(kelxml::Tree& tree, const kelxml::Node* element, const KelUnicodeString& name) {
  if (element->attributes == nullptr) return nullptr;
  const std::string_view interned = kelxml::FindName(tree, name);
  if (interned.data() == nullptr) return nullptr;
  for (kelxml::Attribute* attribute = element->attributes; attribute != nullptr; attribute = attribute->next) {
    if (attribute->name.data() == interned.data()) return attribute;
  }
  return nullptr;
}

bool IsNamespaceDeclaration(std::string_view qname) {
  return qname.size() >= 5 && std::memcmp(qname.data(), "xmlns", 5) == 0 && (qname.size() == 5 || qname[5] == ':');
}

// Whether `name` has a prefix, without a call for names of 8 to 16 bytes
// (most): a colon byte is a zero byte after the exclusive or with colons.
bool HasColon(std::string_view name) {
  if (name.size() < 8 || name.size() > 16) return name.find(':') != std::string_view::npos;
  constexpr std::uint64_t kColons = 0x3A3A3A3A3A3A3A3AULL;
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::uint64_t head, tail;
  std::memcpy(&head, name.data(), sizeof head);
  std::memcpy(&tail, name.data() + name.size() - 8, sizeof tail);
  head ^= kColons;
  tail ^= kColons;
  return (((head - kOnes) & ~head) | ((tail - kOnes) & ~tail)) & kHighs;
}

// Whether the prefix of `qname` is declared on `element` or above it (the
// "xml" prefix always is): an attribute set with it is bound to that
// namespace, as libxml2 binds it.
bool PrefixInScope(const kelxml::Node* element, std::string_view qname) {
  if (!HasColon(qname)) return false;
  const std::size_t colon = qname.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view prefix = qname.substr(0, colon);
  if (prefix == "xml") return true;
  for (const kelxml::Node* up = element; up != nullptr && up->kind == kelxml::Kind::Element; up = up->parent) {
    for (const kelxml::Attribute* a = up->attributes; a != nullptr; a = a->next) {
      if (a->declaration && a->name.size() == 6 + prefix.size() && a->name.compare(0, 6, "xmlns:") == 0 &&
          a->name.compare(6, std::string_view::npos, prefix) == 0) {
        return true;
      }
    }
  }
  return false;
}

bool ReadOnly(const KelXmlDocument* document, const kelxml::Node* element) {
  return document->MayHoldReferences() && kelxml::InEntityContent(element);
}

}  // namespace

long KelXmlElement::QueryInterface(const IID& iid, void** object) { return Answer(iid, IID_KelIDOMElement, object); }

long KelXmlElement::getTagName(KelUnicodeString& name) { return getNodeName(name); }

long KelXmlElement::getAttribute(const KelUnicodeString& name, KelUnicodeString& value) {
  return kelxml::Call([&]() -> long {
    const kelxml::Attribute* attribute = FindAttribute(Document()->Tree(), Node(), name);
    if (attribute != nullptr) {
      kelxml::Assign(value, attribute->value.data(), attribute->value.size());
    } else {
      kelxml::Assign(value, "", 0);
    }
    return S_OK;
  });
}

long KelXmlElement::setAttribute(const KelUnicodeString& name, const KelUnicodeString& value) {
  return kelxml::Call([&]() -> long {
    KelXmlDocument* document = Document();
    kelxml::Tree& tree = document->Tree();
    // The name is the attribute's whether it is there already or added (a
    // call refused below leaves it interned, on no node).
    std::string_view interned;
    if (!kelxml::InternName(tree, name, interned)) return E_INVALIDARG;
    const kelxml::Utf8Text text(value);
    if (!text.Plain() && !kelxml::IsXmlText(value.View())) return E_INVALIDARG;
    kelxml::Node* element = Node();
    if (ReadOnly(document, element)) return E_FAIL;
    if (text.View().size() > kelxml::kMaxTextBytes) return E_INVALIDARG;
    kelxml::Attribute** tail = &element->attributes;
    while (*tail != nullptr && (*tail)->name.data() != interned.data()) tail = &(*tail)->next;
    if (kelxml::Attribute* attribute = *tail) {
      attribute->value = tree.Replace(attribute->value, text.View());
      // The value is the caller's now: written escaped, as it reads.
      attribute->written = std::string_view();
      attribute->written_has_references = false;
    } else {
      // Made whole before it is linked, so that running out of memory leaves
      // the element as it was.
      kelxml::Attribute* made = tree.NewAttribute(text.View());
      made->name = interned;
      made->bound = PrefixInScope(element, interned);
      made->declaration = IsNamespaceDeclaration(interned);
      *tail = made;
    }
    document->Changed();
    return S_OK;
  });
}

long KelXmlElement::hasAttribute(const KelUnicodeString& name, bool& present) {
  present = false;
  return kelxml::Call([&]() -> long {
    present = FindAttribute(Document()->Tree(), Node(), name) != nullptr;
    return S_OK;
  });
}

long KelXmlElement::removeAttribute(const KelUnicodeString& name) {
  return kelxml::Call([&]() -> long {
    KelXmlDocument* document = Document();
    kelxml::Node* element = Node();
    kelxml::Attribute* attribute = FindAttribute(document->Tree(), element, name);
    if (attribute == nullptr) return S_OK;
    // Elements and attributes may still use a declaration: it stays.
    if (attribute->declaration) return E_NOTIMPL;
    if (ReadOnly(document, element)) return E_FAIL;
    kelxml::Attribute** link = &element->attributes;
    while (*link != attribute) link = &(*link)->next;
    *link = attribute->next;
    attribute->next = nullptr;
    document->Changed();
    return S_OK;
  });
}

long KelXmlElement::getElementsByTagName(const KelUnicodeString& name, KelIDOMNodeList_var& list) {
  return kelxml::ElementsByTagName(Document(), Node(), name, list);
}
