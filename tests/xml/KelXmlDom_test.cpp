// DOM behaviour of the XML stand-in: building documents, child lists,
// attributes, element search, the change counter, node lifetimes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "KelAllocator.h"
#include "KelXmlTestSupport.h"

using namespace keltest;

namespace {

class XmlDom : public ::testing::Test {
 protected:
  KelIXMLDOMDocumentBuilder_var builder_ = MakeBuilder();
};

TEST(XmlFactories, RefuseAnotherClassOrNoMemory) {
  KelIXMLDOMDocumentBuilder_var builder;
  EXPECT_LT(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_SAX), 0);
  EXPECT_EQ(builder, NULL_var);
  KelIXMLSAXFactory_var factory;
  EXPECT_LT(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_DOM), 0);
  EXPECT_EQ(factory, NULL_var);
  {
    KelAllocationFailureScope noMemory(0, -1);
    EXPECT_EQ(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM), E_OUTOFMEMORY);
    EXPECT_EQ(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX), E_OUTOFMEMORY);
  }
  EXPECT_EQ(builder, NULL_var);
  EXPECT_EQ(factory, NULL_var);
  EXPECT_GE(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM), 0);
  EXPECT_NE(builder, NULL_var);
}

TEST_F(XmlDom, NewDocumentHasNoElementUntilOneIsAppended) {
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMElement_var root;
  EXPECT_GE(document->getDocumentElement(root), 0);
  EXPECT_EQ(root, NULL_var);
  EXPECT_EQ(ChildNames(document), "");
  // Nothing to write yet: no document element.
  KelUnicodeString text;
  EXPECT_LT(builder_->writeToString(document, text, {}, {}), 0);

  KelIDOMElement_var jobs = Element(document, "Jobs", {{"version", "2"}});
  Append(document, jobs);
  EXPECT_GE(document->getDocumentElement(root), 0);
  bool same = false;
  EXPECT_GE(root->isSameNode(jobs, same), 0);
  EXPECT_TRUE(same);
  EXPECT_EQ(WriteText(builder_, document), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Jobs version=\"2\"/>\n");

  // A document holds one element, and no text.
  KelIDOMNode_var appended;
  EXPECT_LT(document->appendChild(Element(document, "Other"), appended), 0);
  EXPECT_EQ(appended, NULL_var);
  KelIDOMNode_var text_node;
  ASSERT_GE(document->createTextNode(U("loose"), text_node), 0);
  EXPECT_LT(document->appendChild(text_node, appended), 0);
  EXPECT_EQ(ChildNames(document), "Jobs");
}

TEST_F(XmlDom, DocumentTypeIsWrittenOut) {
  KelIDOMImplementation_var implementation;
  ASSERT_GE(builder_->getDOMImplementation(implementation), 0);
  struct Case {
    const char* publicId;
    const char* systemId;
    const char* declaration;
  };
  for (const Case& c : {Case{"", "Dictionary00.dtd", "<!DOCTYPE Package SYSTEM \"Dictionary00.dtd\">"},
                        Case{"-//Kel//DTD Package//EN", "pkg.dtd",
                             "<!DOCTYPE Package PUBLIC \"-//Kel//DTD Package//EN\" \"pkg.dtd\">"}}) {
    KelIDOMDocumentType_var doctype;
    ASSERT_GE(implementation->createDocumentType(U("Package"), U(c.publicId), U(c.systemId), doctype), 0);
    KelIDOMDocument_var owner;
    EXPECT_GE(doctype->getOwnerDocument(owner), 0);
    EXPECT_EQ(owner, NULL_var);
    KelIDOMDocument_var document;
    ASSERT_GE(implementation->createDocument(U(""), U("Package"), doctype, document), 0);
    Append(document, Element(document, "Package"));
    EXPECT_NE(WriteText(builder_, document).find(c.declaration), std::string::npos) << c.declaration;

    KelIDOMDocumentType_var found;
    ASSERT_GE(document->getDoctype(found), 0);
    ASSERT_NE(found, NULL_var);
    KelUnicodeString name, publicId, systemId;
    EXPECT_GE(found->getName(name), 0);
    EXPECT_GE(found->getPublicId(publicId), 0);
    EXPECT_GE(found->getSystemId(systemId), 0);
    EXPECT_EQ(U8(name), "Package");
    EXPECT_EQ(publicId.IsNull(), *c.publicId == '\0');
    EXPECT_EQ(U8(publicId), c.publicId);
    EXPECT_EQ(U8(systemId), c.systemId);
    unsigned short type = 0;
    EXPECT_GE(found->getNodeType(type), 0);
    EXPECT_EQ(type, KelIDOMNode::DOCUMENT_TYPE_NODE);
    // A document type serves one document only.
    KelIDOMDocument_var second;
    EXPECT_EQ(implementation->createDocument(U(""), U("Package"), doctype, second), E_INVALIDARG);
    EXPECT_EQ(second, NULL_var);
  }
  struct Bad {
    const char* name;
    const char* publicId;
    const char* systemId;
  };
  for (const Bad& bad : {Bad{"", "", "a.dtd"}, Bad{"1Package", "", "a.dtd"}, Bad{"P", "pub{}", "a.dtd"},
                         Bad{"P", "-//pub", ""}, Bad{"P", "", "a\"'.dtd"}}) {
    KelIDOMDocumentType_var doctype;
    EXPECT_EQ(implementation->createDocumentType(U(bad.name), U(bad.publicId), U(bad.systemId), doctype), E_INVALIDARG)
        << bad.name << " / " << bad.publicId << " / " << bad.systemId;
    EXPECT_EQ(doctype, NULL_var);
  }
}

TEST_F(XmlDom, AttributesFollowTheDom) {
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMElement_var job = Element(document, "EDB_Job");
  KelUnicodeString value("stale");
  EXPECT_GE(job->getAttribute(U("EDB_Type"), value), 0);
  EXPECT_FALSE(value.IsNull());
  EXPECT_EQ(U8(value), "");
  bool present = true;
  EXPECT_GE(job->hasAttribute(U("EDB_Type"), present), 0);
  EXPECT_FALSE(present);

  EXPECT_GE(job->setAttribute(U("EDB_Type"), U("route")), 0);
  EXPECT_GE(job->setAttribute(U("EDB_Type"), U("copy")), 0);
  EXPECT_GE(job->setAttribute(U("EDB_Empty"), U("")), 0);
  EXPECT_EQ(Attribute(job, "EDB_Type"), "copy");
  EXPECT_GE(job->hasAttribute(U("EDB_Empty"), present), 0);
  EXPECT_TRUE(present);
  EXPECT_GE(job->removeAttribute(U("EDB_Type")), 0);
  EXPECT_GE(job->removeAttribute(U("EDB_Type")), 0);  // already gone: nothing to do
  EXPECT_EQ(Attribute(job, "EDB_Type"), "");

  for (const char* name : {"", "1st", "a b", "x<y"}) {
    EXPECT_EQ(job->setAttribute(U(name), U("v")), E_INVALIDARG) << name;
  }
  for (const std::u16string& bad : {std::u16string(u"a\u0001b"), std::u16string(1, char16_t(0xD800)),
                                    std::u16string(u"\uFFFE"), std::u16string(1, char16_t(0))}) {
    EXPECT_EQ(job->setAttribute(U("EDB_Bad"), KelUnicodeString(bad)), E_INVALIDARG);
    KelIDOMNode_var text;
    EXPECT_EQ(document->createTextNode(KelUnicodeString(bad), text), E_INVALIDARG);
  }
  EXPECT_GE(job->hasAttribute(U("EDB_Bad"), present), 0);
  EXPECT_FALSE(present);
}

TEST_F(XmlDom, CreateElementRefusesWhatIsNotAName) {
  KelIDOMDocument_var document = NewDocument(builder_);
  // ASCII goes by table, the rest by the full rules; names mixing both are
  // judged the same way.
  for (const char* tag : {"", "9jobs", "-x", ".x", "a b", "a>b", "a&b", "job\x7F", "a\xC2\xB7\xC2\xA0",
                          "\xC2\xB7"
                          "a",
                          "a\xCD\xBE"}) {
    KelIDOMElement_var element;
    EXPECT_EQ(document->createElement(U(tag), element), E_INVALIDARG) << tag;
    EXPECT_EQ(element, NULL_var);
  }
  for (const char* tag : {"_x", ":x", "Z9", "a-b.c", "ns:job", "\xC3\xA9l\xC3\xA9ment", "\xE4\xBD\x9C\xE6\xA5\xAD",
                          "job\xC2\xB7x", "x\xCC\x80-\xC3\xA9"}) {
    KelIDOMElement_var element;
    EXPECT_GE(document->createElement(U(tag), element), 0) << tag;
    KelUnicodeString name;
    EXPECT_GE(element->getTagName(name), 0);
    EXPECT_EQ(U8(name), tag);
  }
}

// Builds <root id=r><a id=1><b id=2><a id=3/></b></a><b id=4/><a id=5><a id=6/></a></root>.
KelIDOMDocument_var NestedDocument(const KelIXMLDOMDocumentBuilder_var& builder) {
  KelIDOMDocument_var document = NewDocument(builder);
  KelIDOMElement_var root = Element(document, "root", {{"id", "r"}});
  Append(document, root);
  KelIDOMElement_var a1 = Element(document, "a", {{"id", "1"}});
  KelIDOMElement_var b2 = Element(document, "b", {{"id", "2"}});
  KelIDOMElement_var a5 = Element(document, "a", {{"id", "5"}});
  Append(root, a1);
  Append(a1, b2);
  Append(b2, Element(document, "a", {{"id", "3"}}));
  Append(root, Element(document, "b", {{"id", "4"}}));
  Append(root, a5);
  Append(a5, Element(document, "a", {{"id", "6"}}));
  return document;
}

TEST_F(XmlDom, NoMemoryForAWrapperFailsCleanly) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  KelIDOMElement_var element;
  KelIDOMNode_var child;
  KelIDOMNodeList_var list;
  {
    KelAllocationFailureScope noMemory(0, -1);
    EXPECT_EQ(document->createElement(U("made"), element), E_OUTOFMEMORY);
    EXPECT_EQ(root->getFirstChild(child), E_OUTOFMEMORY);
    EXPECT_EQ(document->getElementsByTagName(U("a"), list), E_OUTOFMEMORY);
  }
  EXPECT_EQ(element, NULL_var);
  EXPECT_EQ(child, NULL_var);
  EXPECT_EQ(list, NULL_var);
  // The element made before its wrapper failed is freed with the document.
  ASSERT_GE(root->getFirstChild(child), 0);
  EXPECT_EQ(Attribute(child, "id"), "1");
}

TEST_F(XmlDom, ElementSearchIsInDocumentOrderAtAnyDepth) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  struct Case {
    const char* tag;
    const char* fromDocument;
    const char* fromFirstA;
  };
  for (const Case& c : {Case{"a", "1,3,5,6", "3"}, Case{"b", "2,4", "2"}, Case{"root", "r", ""},
                        Case{"*", "r,1,2,3,4,5,6", "2,3"}, Case{"none", "", ""}, Case{"a b", "", ""}}) {
    KelIDOMNodeList_var list;
    ASSERT_GE(document->getElementsByTagName(U(c.tag), list), 0);
    EXPECT_EQ(ListAttributes(list, "id"), c.fromDocument) << c.tag;

    KelIDOMNodeList_var as;
    ASSERT_GE(document->getElementsByTagName(U("a"), as), 0);
    KelIDOMNode_var first;
    ASSERT_GE(as->item(0, first), 0);
    KelIDOMElement_var firstA = KelQuery<KelIDOMElement>(first, IID_KelIDOMElement);
    ASSERT_NE(firstA, NULL_var);
    ASSERT_GE(firstA->getElementsByTagName(U(c.tag), list), 0);
    EXPECT_EQ(ListAttributes(list, "id"), c.fromFirstA) << c.tag;
  }
}

TEST_F(XmlDom, NodeListItemsAndInterfaces) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMNodeList_var list;
  ASSERT_GE(document->getElementsByTagName(U("b"), list), 0);
  KelIDOMNode_var node;
  EXPECT_EQ(list->item(2, node), E_INVALIDARG);
  EXPECT_EQ(node, NULL_var);
  EXPECT_EQ(KelQuery<KelIDOMNodeList>(list, IID_KelIDOMNodeList), list);
  ASSERT_GE(list->item(1, node), 0);
  KelIDOMNode_var text;
  ASSERT_GE(document->createTextNode(U("t"), text), 0);
  long code = 0;
  EXPECT_NE(KelQuery<KelIDOMElement>(node, IID_KelIDOMElement, &code), NULL_var);
  EXPECT_EQ(KelQuery<KelIDOMElement>(text, IID_KelIDOMElement, &code), NULL_var);
  EXPECT_EQ(code, E_NOINTERFACE);
  EXPECT_NE(KelQuery<KelIDOMDocument>(KelIDOMNode_var(document), IID_KelIDOMDocument), NULL_var);
}

TEST_F(XmlDom, AppendChildMovesNodesAndNeverMergesText) {
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMElement_var root = Element(document, "root");
  Append(document, root);
  KelIDOMElement_var left = Element(document, "left");
  KelIDOMElement_var right = Element(document, "right");
  KelIDOMElement_var item = Element(document, "item");
  Append(root, left);
  Append(root, right);
  Append(left, item);
  Append(right, item);  // moved, not copied
  EXPECT_EQ(ChildNames(left), "");
  EXPECT_EQ(ChildNames(right), "item");
  KelIDOMNode_var parent;
  ASSERT_GE(item->getParentNode(parent), 0);
  bool same = false;
  EXPECT_GE(parent->isSameNode(right, same), 0);
  EXPECT_TRUE(same);

  KelIDOMNode_var one, two;
  ASSERT_GE(document->createTextNode(U("one"), one), 0);
  ASSERT_GE(document->createTextNode(U("two"), two), 0);
  Append(left, one);
  Append(left, two);
  EXPECT_EQ(ChildNames(left), "#text,#text");
  KelIDOMNode_var last;
  ASSERT_GE(left->getLastChild(last), 0);
  EXPECT_GE(last->isSameNode(two, same), 0);
  EXPECT_TRUE(same);
  KelUnicodeString value;
  EXPECT_GE(one->getNodeValue(value), 0);
  EXPECT_EQ(U8(value), "one");

  // A child list is a snapshot.
  KelIDOMNodeList_var children;
  ASSERT_GE(left->getChildNodes(children), 0);
  Append(left, Element(document, "later"));
  unsigned int length = 0;
  EXPECT_GE(children->getLength(length), 0);
  EXPECT_EQ(length, 2u);

  // insertBefore places; a reference that is not a child is refused.
  KelIDOMNode_var inserted;
  EXPECT_GE(root->insertBefore(item, left, inserted), 0);
  EXPECT_EQ(ChildNames(root), "item,left,right");
  EXPECT_GE(root->insertBefore(item, nullptr, inserted), 0);
  EXPECT_EQ(ChildNames(root), "left,right,item");
  EXPECT_EQ(root->insertBefore(left, one, inserted), E_INVALIDARG);
  EXPECT_EQ(inserted, NULL_var);
  EXPECT_EQ(ChildNames(root), "left,right,item");
}

TEST_F(XmlDom, ChildListChangesThatAreRefused) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMDocument_var other = NewDocument(builder_);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  KelIDOMNodeList_var as;
  ASSERT_GE(document->getElementsByTagName(U("a"), as), 0);
  KelIDOMNode_var a1, a3;
  ASSERT_GE(as->item(0, a1), 0);
  ASSERT_GE(as->item(1, a3), 0);
  KelIDOMNode_var text;
  ASSERT_GE(document->createTextNode(U("t"), text), 0);
  const std::string before = WriteText(builder_, document);

  struct Case {
    const char* what;
    KelIDOMNode_var parent;
    KelIDOMNode_var child;
  };
  const std::vector<Case> cases = {
      {"itself", a1, a1},
      {"its ancestor", a3, a1},
      {"the document element below itself", a3, root},
      {"a node of another document", root, Element(other, "x")},
      {"the document", root, document},
      {"a child under a text node", text, Element(document, "x")},
      {"an empty handle", root, nullptr},
  };
  for (const Case& c : cases) {
    KelIDOMNode_var appended;
    EXPECT_LT(c.parent->appendChild(c.child, appended), 0) << c.what;
    EXPECT_EQ(appended, NULL_var) << c.what;
  }
  KelIDOMNode_var removed;
  EXPECT_EQ(root->removeChild(a3, removed), E_INVALIDARG);  // a grandchild, not a child
  EXPECT_EQ(WriteText(builder_, document), before);
}

TEST_F(XmlDom, RemovedAndUnattachedNodesStayUsable) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  KelIDOMNode_var first;
  ASSERT_GE(root->getFirstChild(first), 0);
  KelIDOMNode_var removed;
  ASSERT_GE(root->removeChild(first, removed), 0);
  EXPECT_EQ(ChildNames(root), "b,a");
  KelIDOMNode_var parent, sibling;
  EXPECT_GE(removed->getParentNode(parent), 0);
  EXPECT_EQ(parent, NULL_var);
  EXPECT_GE(removed->getNextSibling(sibling), 0);
  EXPECT_EQ(sibling, NULL_var);
  KelIDOMNodeList_var below;
  ASSERT_GE(KelQuery<KelIDOMElement>(removed, IID_KelIDOMElement)->getElementsByTagName(U("a"), below), 0);
  EXPECT_EQ(ListAttributes(below, "id"), "3");
  // Detached nodes are out of the document's searches; they can come back.
  KelIDOMNodeList_var all;
  ASSERT_GE(document->getElementsByTagName(U("*"), all), 0);
  EXPECT_EQ(ListAttributes(all, "id"), "r,4,5,6");
  Append(root, removed);
  EXPECT_EQ(ChildNames(root), "b,a,a");
  // Made and never attached: freed with the document (the leak checker
  // watches this).
  Element(document, "orphan", {{"id", "o"}});
  KelIDOMNode_var text;
  ASSERT_GE(document->createTextNode(U("never attached"), text), 0);
}

TEST_F(XmlDom, HandlesKeepTheirDocumentAlive) {
  KelIDOMNode_var node;
  KelIDOMNodeList_var list;
  {
    KelIDOMDocument_var document = NestedDocument(builder_);
    ASSERT_GE(document->getElementsByTagName(U("a"), list), 0);
    ASSERT_GE(list->item(3, node), 0);
  }
  // Every handle on the document itself is gone.
  EXPECT_EQ(Attribute(node, "id"), "6");
  EXPECT_EQ(ListAttributes(list, "id"), "1,3,5,6");
  KelIDOMNode_var parent;
  ASSERT_GE(node->getParentNode(parent), 0);
  EXPECT_EQ(Attribute(parent, "id"), "5");
  KelIDOMDocument_var owner;
  ASSERT_GE(node->getOwnerDocument(owner), 0);
  ASSERT_NE(owner, NULL_var);
  list = nullptr;
  owner = nullptr;
  parent = nullptr;
  EXPECT_GE(KelQuery<KelIDOMElement>(node, IID_KelIDOMElement)->setAttribute(U("id"), U("last")), 0);
  EXPECT_EQ(Attribute(node, "id"), "last");
}

TEST_F(XmlDom, ChangeCounterCountsEveryChange) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  KelIDOMNode_var first, text, removed, out;
  ASSERT_GE(root->getFirstChild(first), 0);
  ASSERT_GE(document->createTextNode(U("t"), text), 0);
  KelIDOMElement_var firstElement = KelQuery<KelIDOMElement>(first, IID_KelIDOMElement);
  struct Step {
    const char* what;
    std::function<long()> change;
  };
  const std::vector<Step> steps = {
      {"append", [&] { return root->appendChild(text, out); }},
      {"move", [&] { return root->insertBefore(text, first, out); }},
      {"remove", [&] { return root->removeChild(text, removed); }},
      {"set attribute", [&] { return firstElement->setAttribute(U("id"), U("changed")); }},
      {"add attribute", [&] { return firstElement->setAttribute(U("extra"), U("x")); }},
      {"remove attribute", [&] { return firstElement->removeAttribute(U("extra")); }},
      {"change text", [&] { return text->setNodeValue(U("new text")); }},
  };
  unsigned long long count = 0;
  ASSERT_GE(document->getChangeCount(count), 0);
  for (const Step& step : steps) {
    ASSERT_GE(step.change(), 0) << step.what;
    unsigned long long now = 0;
    ASSERT_GE(document->getChangeCount(now), 0);
    EXPECT_GT(now, count) << step.what;
    count = now;
  }
  // Reading, searching, writing and failed changes leave it alone.
  KelIDOMNodeList_var list;
  ASSERT_GE(document->getElementsByTagName(U("a"), list), 0);
  EXPECT_EQ(Attribute(first, "id"), "changed");
  WriteText(builder_, document);
  EXPECT_LT(root->appendChild(root, out), 0);
  EXPECT_LT(firstElement->setAttribute(U("bad name"), U("x")), 0);
  unsigned long long after = 0;
  ASSERT_GE(document->getChangeCount(after), 0);
  EXPECT_EQ(after, count);
}

TEST_F(XmlDom, CloneNodeCopiesIntoTheSameDocument) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  KelIDOMNode_var first;
  ASSERT_GE(root->getFirstChild(first), 0);
  KelIDOMNode_var deep, shallow;
  ASSERT_GE(first->cloneNode(true, deep), 0);
  ASSERT_GE(first->cloneNode(false, shallow), 0);
  EXPECT_EQ(Attribute(deep, "id"), "1");
  EXPECT_EQ(Attribute(shallow, "id"), "1");
  EXPECT_EQ(ChildNames(deep), "b");
  EXPECT_EQ(ChildNames(shallow), "");
  KelIDOMNode_var parent;
  EXPECT_GE(deep->getParentNode(parent), 0);
  EXPECT_EQ(parent, NULL_var);
  KelQuery<KelIDOMElement>(deep, IID_KelIDOMElement)->setAttribute(U("id"), U("copy"));
  EXPECT_EQ(Attribute(first, "id"), "1");
  Append(root, deep);
  KelIDOMNodeList_var as;
  ASSERT_GE(document->getElementsByTagName(U("a"), as), 0);
  EXPECT_EQ(ListAttributes(as, "id"), "1,3,5,6,copy,3");
  KelIDOMNode_var clone;
  EXPECT_EQ(document->cloneNode(true, clone), E_NOTIMPL);
}

TEST_F(XmlDom, NodeValuesAreCheckedForWhatTheNodeCanHold) {
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r><!--note--><?pi data?><![CDATA[raw]]>text</r>", document), 0);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  EXPECT_EQ(ChildNames(root), "#comment,pi,#cdata-section,#text");
  KelIDOMNode_var comment, pi, cdata;
  ASSERT_GE(root->getFirstChild(comment), 0);
  ASSERT_GE(comment->getNextSibling(pi), 0);
  ASSERT_GE(pi->getNextSibling(cdata), 0);
  EXPECT_EQ(comment->setNodeValue(U("a--b")), E_INVALIDARG);
  EXPECT_EQ(comment->setNodeValue(U("ends-")), E_INVALIDARG);
  EXPECT_EQ(pi->setNodeValue(U("x?>y")), E_INVALIDARG);
  EXPECT_EQ(cdata->setNodeValue(U("x]]>y")), E_INVALIDARG);
  EXPECT_GE(comment->setNodeValue(U("fine")), 0);
  EXPECT_GE(root->setNodeValue(U("ignored on an element")), 0);
  KelUnicodeString value("x");
  EXPECT_GE(root->getNodeValue(value), 0);
  EXPECT_TRUE(value.IsNull());
  EXPECT_NE(WriteText(builder_, document).find("<r><!--fine--><?pi data?><![CDATA[raw]]>text</r>"), std::string::npos);
}

// Nesting far deeper than a recursive walk could survive (writing such a
// tree is checked with the hostile documents).
TEST_F(XmlDom, DeepTreesAreSearchedAndCopiedWithoutRecursion) {
  constexpr int kDepth = 100000;
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMNode_var current = Element(document, "n");
  Append(document, current);
  for (int i = 1; i < kDepth; ++i) {
    KelIDOMNode_var child = Element(document, "n");
    KelIDOMNode_var appended;
    ASSERT_GE(current->appendChild(child, appended), 0);
    current = child;
  }
  KelIDOMNodeList_var list;
  ASSERT_GE(document->getElementsByTagName(U("n"), list), 0);
  unsigned int length = 0;
  list->getLength(length);
  EXPECT_EQ(length, static_cast<unsigned int>(kDepth));
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  KelIDOMNode_var copy;
  ASSERT_GE(root->cloneNode(true, copy), 0);
  // The deepest node cannot take its ancestor.
  KelIDOMNode_var appended;
  EXPECT_LT(current->appendChild(root, appended), 0);
}

}  // namespace
