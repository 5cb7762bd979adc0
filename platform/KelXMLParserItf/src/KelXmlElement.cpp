#include "KelXmlElement.h"

#include <cstring>
#include <string>

#include "KelXmlCall.h"
#include "KelXmlDocument.h"
#include "KelXmlText.h"
#include "KelXmlTree.h"

KelImplementClass(KelXmlElement, KelImplementationKind, KelBaseUnknown, "KelNull", "KelXMLParserItf")

namespace {

xmlAttrPtr FindAttribute(xmlNodePtr element, const std::string& qname) {
  for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
    if (kelxml::QNameIs(attribute->name, attribute->ns, qname.c_str())) return attribute;
  }
  return nullptr;
}

// Namespace declarations are attributes to the DOM ("xmlns", "xmlns:p") but
// not to libxml2, which keeps them apart.
bool IsNamespaceDeclaration(const std::string& qname) {
  return qname.size() >= 5 && std::memcmp(qname.data(), "xmlns", 5) == 0 && (qname.size() == 5 || qname[5] == ':');
}

xmlNsPtr FindNamespaceDeclaration(xmlNodePtr element, const std::string& qname) {
  if (!IsNamespaceDeclaration(qname)) return nullptr;
  const char* prefix = qname.size() > 6 ? qname.c_str() + 6 : nullptr;
  for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next) {
    if (prefix == nullptr ? ns->prefix == nullptr : xmlStrEqual(ns->prefix, BAD_CAST prefix)) return ns;
  }
  return nullptr;
}

// The value of an attribute, with entity references replaced by their text.
long ReadValue(xmlAttrPtr attribute, KelUnicodeString& value) {
  xmlNodePtr only = attribute->children;
  if (only == nullptr) {
    kelxml::Assign(value, "", 0);
    return S_OK;
  }
  if (only->next == nullptr && only->type == XML_TEXT_NODE) {
    kelxml::Assign(value, only->content);
    return S_OK;
  }
  const std::string joined = kelxml::AttributeText(attribute);
  kelxml::Assign(value, joined.data(), joined.size());
  return S_OK;
}

bool ReadOnly(KelXmlDocument* document, xmlNodePtr element) {
  if (!document->MayHoldReferences()) return false;
  for (xmlNodePtr up = element; up != nullptr; up = up->parent) {
    if (up->type == XML_ENTITY_DECL) return true;
  }
  return false;
}

}  // namespace

long KelXmlElement::QueryInterface(const IID& iid, void** object) { return Answer(iid, IID_KelIDOMElement, object); }

long KelXmlElement::getTagName(KelUnicodeString& name) { return getNodeName(name); }

long KelXmlElement::getAttribute(const KelUnicodeString& name, KelUnicodeString& value) {
  return kelxml::Call([&]() -> long {
    const std::string qname = kelxml::Utf8(name);
    if (xmlAttrPtr attribute = FindAttribute(Node(), qname)) return ReadValue(attribute, value);
    if (xmlNsPtr ns = FindNamespaceDeclaration(Node(), qname)) {
      kelxml::Assign(value, ns->href);
      return S_OK;
    }
    kelxml::Assign(value, "", 0);
    return S_OK;
  });
}

long KelXmlElement::setAttribute(const KelUnicodeString& name, const KelUnicodeString& value) {
  return kelxml::Call([&]() -> long {
    if (!kelxml::IsXmlName(name.View()) || !kelxml::IsXmlText(value.View())) return E_INVALIDARG;
    if (ReadOnly(Document(), Node())) return E_FAIL;
    const std::string qname = kelxml::Utf8(name);
    const std::string text = kelxml::Utf8(value);
    if (text.size() > kelxml::kMaxTextBytes) return E_INVALIDARG;
    xmlNodePtr element = Node();
    const xmlChar* content = BAD_CAST text.c_str();
    if (IsNamespaceDeclaration(qname)) {
      if (xmlNsPtr ns = FindNamespaceDeclaration(element, qname)) {
        xmlChar* href = xmlStrdup(content);
        if (href == nullptr) return E_OUTOFMEMORY;
        xmlFree(const_cast<xmlChar*>(ns->href));
        ns->href = href;
      } else if (xmlNewNs(element, content, qname.size() > 6 ? BAD_CAST qname.c_str() + 6 : nullptr) == nullptr) {
        return E_OUTOFMEMORY;
      }
      Document()->Changed();
      return S_OK;
    }
    xmlAttrPtr done = nullptr;
    if (qname.find(':') == std::string::npos) {
      done = xmlSetNsProp(element, nullptr, BAD_CAST qname.c_str(), content);
    } else if (xmlAttrPtr attribute = FindAttribute(element, qname)) {
      done = xmlSetNsProp(element, attribute->ns, attribute->name, content);
    } else {
      // Takes the prefix's namespace when one is in scope.
      done = xmlSetProp(element, BAD_CAST qname.c_str(), content);
    }
    if (done == nullptr) return E_OUTOFMEMORY;
    Document()->Changed();
    return S_OK;
  });
}

long KelXmlElement::hasAttribute(const KelUnicodeString& name, bool& present) {
  present = false;
  return kelxml::Call([&]() -> long {
    const std::string qname = kelxml::Utf8(name);
    present = FindAttribute(Node(), qname) != nullptr || FindNamespaceDeclaration(Node(), qname) != nullptr;
    return S_OK;
  });
}

long KelXmlElement::removeAttribute(const KelUnicodeString& name) {
  return kelxml::Call([&]() -> long {
    const std::string qname = kelxml::Utf8(name);
    xmlAttrPtr attribute = FindAttribute(Node(), qname);
    if (attribute == nullptr) {
      // Elements and attributes may still use a declaration: it stays.
      return FindNamespaceDeclaration(Node(), qname) != nullptr ? E_NOTIMPL : S_OK;
    }
    if (ReadOnly(Document(), Node())) return E_FAIL;
    xmlRemoveProp(attribute);
    Document()->Changed();
    return S_OK;
  });
}

long KelXmlElement::getElementsByTagName(const KelUnicodeString& name, KelIDOMNodeList_var& list) {
  return kelxml::ElementsByTagName(Document(), Node(), name, list);
}
