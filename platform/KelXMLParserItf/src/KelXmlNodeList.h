// KelXmlNodeList: the live KelIDOMNodeList of the stand-in: the children of a
// node, or the elements below it with a tag, over one document of the
// stand-in's tree on which it holds a reference.
//
// The nodes are gathered when the list is made and gathered again, with one
// walk, at the first read after the document's change counter has moved; while
// the document stays as it is, getLength and item are O(1). The tag is looked
// up among the tree's names at each gathering (an element bearing it may have
// been made since), and elements are then matched by pointer. Nodes are never
// freed before their document, so a list read after a removal holds no
// dangling node.
//
// Threading: one thread at a time, like its document.
#pragma once

#include <string>
#include <vector>

#include "KelIDOMNodeList.h"
#include "KelXmlTree.h"

class KelXmlDocument;

class KelXmlNodeList final : public KelIDOMNodeList {
  KelDeclareClass

  enum class Kind {
    Children,  // the DOM children of the root
    Elements,  // the elements below the root named by the tag ("*": all), in document order
  };

  // A new list over `root` of `document`, its nodes gathered now. Null when
  // memory runs out; raises std::bad_alloc when the gathering does.
  static KelXmlNodeList* Make(KelXmlDocument* document, kelxml::Node* root, Kind kind, const KelUnicodeString& tag);
  ~KelXmlNodeList() override;
  KelXmlNodeList(const KelXmlNodeList&) = delete;
  KelXmlNodeList& operator=(const KelXmlNodeList&) = delete;

  using KelBaseUnknown::QueryInterface;
  long QueryInterface(const IID& iid, void** object) override;

  long getLength(unsigned int& length) override;
  long item(unsigned int index, KelIDOMNode_var& node) override;

 private:
  KelXmlNodeList(KelXmlDocument* document, kelxml::Node* root, Kind kind, std::string tag, bool matches);

  // Gathers the nodes again when the document changed since the last time;
  // E_OUTOFMEMORY (the list still stale) when memory runs out.
  long Refresh();
  void Gather();

  KelXmlDocument* document_;
  kelxml::Node* root_;
  Kind kind_;
  std::string tag_;  // as UTF-8
  bool matches_;     // the tag can match an element: "*" or an XML name
  std::vector<kelxml::Node*> nodes_;
  unsigned long long gathered_at_ = 0;  // the document's change count when gathered
};
