// KelIDOMElement: an element node, with its attributes.
//
// Attributes are named by their qualified name ("name" or "prefix:name").
// Reading an attribute that is not there gives the empty string (not the null
// string) and a success code. Names must be XML names and values may hold only
// characters that XML can carry; anything else is E_INVALIDARG and changes
// nothing. Setting, reading and removing an attribute cost O(number of
// attributes of the element).
//
// Ownership and threading: as KelIDOMNode.
#pragma once

#include "ExportedByKelXMLParserItf.h"
#include "KelIDOMNode.h"
#include "KelIDOMNodeList.h"

class KelIDOMElement;
typedef KelVar<KelIDOMElement> KelIDOMElement_var;

extern ExportedByKelXMLParserItf const IID IID_KelIDOMElement;

class ExportedByKelXMLParserItf KelIDOMElement : public KelIDOMNode {
 public:
  ~KelIDOMElement() override;

  virtual long getTagName(KelUnicodeString& name) = 0;
  virtual long getAttribute(const KelUnicodeString& name, KelUnicodeString& value) = 0;
  // Adds the attribute or replaces its value.
  virtual long setAttribute(const KelUnicodeString& name, const KelUnicodeString& value) = 0;
  virtual long hasAttribute(const KelUnicodeString& name, bool& present) = 0;
  // Removing an attribute that is not there succeeds and changes nothing.
  virtual long removeAttribute(const KelUnicodeString& name) = 0;
  // The descendants of this element (not the element itself) whose tag is
  // `name`, at any depth, in document order; "*" matches every element.
  virtual long getElementsByTagName(const KelUnicodeString& name, KelIDOMNodeList_var& list) = 0;
};
