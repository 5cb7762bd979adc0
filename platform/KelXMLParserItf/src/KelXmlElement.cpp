#include "KelXmlElement.h"

#include <cstring>
#include <string>
#include <string_view>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlElement, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

namespace {

// The attribute of `element` named `qname`: names are interned, so a name
// the tree does not know is on no attribute, and the others compare by
// pointer.
kelxml::Attribute* FindAttribute(const kelxml::Tree& tree, const kelxml::Node* element, std::string_view qname) {
  if (element->attributes == nullptr) return nullptr;
  const std::string_view name = tree.Find(qname);
  if (name.data() == nullptr) return nullptr;
  for (kelxml::Attribute* attribute = element->attributes; attribute != nullptr; attribute = attribute->next) {
    if (attribute->name.data() == name.data()) return attribute;
  }
  return nullptr;
}

bool IsNamespaceDeclaration(std::string_view qname) {
  return qname.size() >= 5 && std::memcmp(qname.data(), "xmlns", 5) == 0 && (qname.size() == 5 || qname[5] == ':');
}

bool ReadOnly(const KelXmlDocument* document, const kelxml::Node* element) {
  return document->MayHoldReferences() && kelxml::InEntityContent(element);
}

}  // namespace

long KelXmlElement::QueryInterface(const IID& iid, void** object) { return Answer(iid, IID_KelIDOMElement, object); }

long KelXmlElement::getTagName(KelUnicodeString& name) { return getNodeName(name); }

long KelXmlElement::getAttribute(const KelUnicodeString& name, KelUnicodeString& value) {
  return kelxml::Call([&]() -> long {
    const kelxml::Attribute* attribute = FindAttribute(Document()->Tree(), Node(), kelxml::Utf8(name));
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
    if (!kelxml::IsXmlName(name.View()) || !kelxml::IsXmlText(value.View())) return E_INVALIDARG;
    KelXmlDocument* document = Document();
    kelxml::Node* element = Node();
    if (ReadOnly(document, element)) return E_FAIL;
    const std::string qname = kelxml::Utf8(name);
    const std::string text = kelxml::Utf8(value);
    if (text.size() > kelxml::kMaxTextBytes) return E_INVALIDARG;
    kelxml::Tree& tree = document->Tree();
    if (kelxml::Attribute* attribute = FindAttribute(tree, element, qname)) {
      attribute->value = tree.Replace(attribute->value, text);
      // The value is the caller's now: written escaped, as it reads.
      attribute->written = std::string_view();
      attribute->written_has_references = false;
    } else {
      // Interned and stored before anything is linked, so that running out
      // of memory leaves the element as it was.
      const std::string_view interned = tree.Intern(qname);
      const std::string_view stored = tree.Store(text);
      kelxml::Attribute* made = tree.NewAttribute();
      made->name = interned;
      made->value = stored;
      kelxml::Attribute** tail = &element->attributes;
      while (*tail != nullptr) tail = &(*tail)->next;
      *tail = made;
    }
    document->Changed();
    return S_OK;
  });
}

long KelXmlElement::hasAttribute(const KelUnicodeString& name, bool& present) {
  present = false;
  return kelxml::Call([&]() -> long {
    present = FindAttribute(Document()->Tree(), Node(), kelxml::Utf8(name)) != nullptr;
    return S_OK;
  });
}

long KelXmlElement::removeAttribute(const KelUnicodeString& name) {
  return kelxml::Call([&]() -> long {
    const std::string qname = kelxml::Utf8(name);
    KelXmlDocument* document = Document();
    kelxml::Node* element = Node();
    kelxml::Attribute* attribute = FindAttribute(document->Tree(), element, qname);
    if (attribute == nullptr) return S_OK;
    // Elements and attributes may still use a declaration: it stays.
    if (IsNamespaceDeclaration(qname)) return E_NOTIMPL;
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
