// KelXmlNode: the wrapper of a node that is neither a document, an element
// nor a document type: text, CDATA section, comment, processing instruction,
// entity reference.
//
// Threading: one thread at a time, like its document.
#pragma once

#include "KelXmlNodeBase.h"

class KelXmlNode final : public KelXmlNodeBase<KelIDOMNode> {
  KelDeclareClass

  KelXmlNode(KelXmlDocument* document, kelxml::Node* node) : KelXmlNodeBase(document, node, true) {}

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;
};
