// KelXmlNodeList: a KelIDOMNodeList over a fixed vector of libxml2 nodes of
// one document, on which it holds a reference.
//
// Threading: one thread at a time, like its document.
#pragma once

#include <libxml/tree.h>

#include <vector>

#include "KelIDOMNodeList.h"

class KelXmlDocument;

class KelXmlNodeList final : public KelIDOMNodeList {
  KelDeclareClass

  KelXmlNodeList(KelXmlDocument* document, std::vector<xmlNodePtr>&& nodes);
  ~KelXmlNodeList() override;
  KelXmlNodeList(const KelXmlNodeList&) = delete;
  KelXmlNodeList& operator=(const KelXmlNodeList&) = delete;

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getLength(unsigned int& length) override;
  long item(unsigned int index, KelIDOMNode_var& node) override;

 private:
  KelXmlDocument* document_;
  std::vector<xmlNodePtr> nodes_;
};
