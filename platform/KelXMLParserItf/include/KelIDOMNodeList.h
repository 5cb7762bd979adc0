// KelIDOMNodeList: an ordered list of nodes, as getElementsByTagName and
// getChildNodes give it.
//
// A list is live: read after a change to its document, through any handle, it
// gives the nodes as the tree holds them then, in document order. It gathers
// them again with one walk at its first read after such a change; while the
// document does not change, getLength and item are O(1). The list holds a
// reference on its document, so its nodes never dangle.
//
// Threading: one thread at a time, like the document it belongs to.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelIDOMNode.h"

extern ExportedByKelXMLParserItf const IID IID_KelIDOMNodeList;

class ExportedByKelXMLParserItf KelIDOMNodeList : public KelBaseUnknown {
 public:
  ~KelIDOMNodeList() override;

  virtual long getLength(unsigned int& length) = 0;
  // The node at `index` (from 0). An index at or past the length gives
  // E_INVALIDARG and an empty handle.
  virtual long item(unsigned int index, KelIDOMNode_var& node) = 0;
};
