// KelXmlElement: the KelIDOMElement over one element of the stand-in's tree.
// Attributes are found by their qualified name as stored; namespace
// declarations ("xmlns", "xmlns:p") are attributes like any other, except
// that one cannot be removed (elements and attributes may still use it).
//
// Threading: one thread at a time, like its document.
#pragma once

#include "KelXmlNodeBase.h"

class KelXmlElement final : public KelXmlNodeBase<KelIDOMElement> {
  KelDeclareClass

  KelXmlElement(KelXmlDocument* document, kelxml::Node* node) : KelXmlNodeBase(document, node, true) {}

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getTagName(KelUnicodeString& name) override;
  long getAttribute(const KelUnicodeString& name, KelUnicodeString& value) override;
  long setAttribute(const KelUnicodeString& name, const KelUnicodeString& value) override;
  long hasAttribute(const KelUnicodeString& name, bool& present) override;
  long removeAttribute(const KelUnicodeString& name) override;
  long getElementsByTagName(const KelUnicodeString& name, KelIDOMNodeList_var& list) override;
};
