// DOM behaviour of the XML stand-in: building documents, child lists,
// attributes, element search, the change counter, node lifetimes.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <tuple>

#include "KelAllocator.h"
#include "KelXmlTestSupport.h"
#include "support/ResultCodes.h"

using namespace keltest;
using testcodes::AllOk;

namespace {

class XmlDom : public ::testing::Test {
 protected:
  KelIXMLDOMDocumentBuilder_var builder_ = MakeBuilder();
};

TEST(XmlFactories, RefuseAnotherClassOrNoMemory) {
  KelIXMLDOMDocumentBuilder_var builder;
  KelIXMLSAXFactory_var factory;
  EXPECT_LT(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_SAX), 0);
  EXPECT_LT(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_DOM), 0);
  EXPECT_TRUE(builder == NULL_var && factory == NULL_var);
  {
    KelAllocationFailureScope noMemory(0, -1);
    EXPECT_EQ(CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM), E_OUTOFMEMORY);
    EXPECT_EQ(CreateKelIXMLSAXFactory(factory, CLSID_XML4C_SAX), E_OUTOFMEMORY);
  }
  EXPECT_TRUE(builder == NULL_var && factory == NULL_var);
}

TEST_F(XmlDom, NewDocumentHasNoElementUntilOneIsAppended) {
  KelIDOMDocument_var document = NewDocument(builder_);
  EXPECT_EQ(Root(document), NULL_var);
  EXPECT_EQ(ChildNames(document), "");
  // Nothing to write yet: no document element.
  KelUnicodeString text;
  EXPECT_LT(builder_->writeToString(document, text, {}, {}), 0);

  KelIDOMElement_var jobs = Element(document, "Jobs", {{"version", "2"}});
  Append(document, jobs);
  EXPECT_TRUE(Same(Root(document), jobs));
  EXPECT_EQ(WriteText(builder_, document), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Jobs version=\"2\"/>\n");
}

TEST_F(XmlDom, DocumentTypeIsWrittenOut) {
  KelIDOMImplementation_var implementation;
  ASSERT_GE(builder_->getDOMImplementation(implementation), 0);
  for (const auto& [publicId, systemId, declaration] :
       {std::tuple{"", "Dictionary00.dtd", "<!DOCTYPE Package SYSTEM \"Dictionary00.dtd\">"},
        {"-//Kel//DTD Package//EN", "pkg.dtd", "<!DOCTYPE Package PUBLIC \"-//Kel//DTD Package//EN\" \"pkg.dtd\">"}}) {
    KelIDOMDocumentType_var doctype, found;
    ASSERT_GE(implementation->createDocumentType(U("Package"), U(publicId), U(systemId), doctype), 0);
    KelIDOMDocument_var owner, document, second;
    EXPECT_GE(doctype->getOwnerDocument(owner), 0);
    EXPECT_EQ(owner, NULL_var);
    ASSERT_GE(implementation->createDocument(U(""), U("Package"), doctype, document), 0);
    Append(document, Element(document, "Package"));
    EXPECT_NE(WriteText(builder_, document).find(declaration), std::string::npos) << declaration;

    ASSERT_GE(document->getDoctype(found), 0);
    ASSERT_NE(found, NULL_var);
    KelUnicodeString name, foundPublic, foundSystem;
    EXPECT_TRUE(AllOk({found->getName(name), found->getPublicId(foundPublic), found->getSystemId(foundSystem)}));
    EXPECT_EQ(U8(name) + "|" + U8(foundPublic) + "|" + U8(foundSystem),
              "Package|" + std::string(publicId) + "|" + systemId);
    EXPECT_EQ(foundPublic.IsNull(), *publicId == '\0');
    EXPECT_EQ(TypeOf(found), KelIDOMNode::DOCUMENT_TYPE_NODE);
    // A document type serves one document only.
    EXPECT_EQ(implementation->createDocument(U(""), U("Package"), doctype, second), E_INVALIDARG);
    EXPECT_EQ(second, NULL_var);
  }
  const std::tuple<const char*, const char*, const char*> bad[] = {{"", "", "a.dtd"},
                                                                   {"1Package", "", "a.dtd"},
                                                                   {"P", "pub{}", "a.dtd"},
                                                                   {"P", "-//pub", ""},
                                                                   {"P", "", "a\"'.dtd"}};
  for (const auto& [name, publicId, systemId] : bad) {
    KelIDOMDocumentType_var doctype;
    EXPECT_EQ(implementation->createDocumentType(U(name), U(publicId), U(systemId), doctype), E_INVALIDARG)
        << name << " / " << publicId << " / " << systemId;
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
  const auto has = [&](const char* name) {  // asked twice, so that an answer left unwritten shows
    bool yes = false, no = true;
    EXPECT_TRUE(AllOk({job->hasAttribute(U(name), yes), job->hasAttribute(U(name), no)}));
    EXPECT_EQ(yes, no) << name;
    return yes;
  };
  EXPECT_FALSE(has("EDB_Type"));

  EXPECT_GE(job->setAttribute(U("EDB_Type"), U("route")), 0);
  EXPECT_GE(job->setAttribute(U("EDB_Type"), U("copy")), 0);
  EXPECT_GE(job->setAttribute(U("EDB_Empty"), U("")), 0);
  EXPECT_EQ(Attribute(job, "EDB_Type"), "copy");
  EXPECT_TRUE(has("EDB_Empty"));
  EXPECT_GE(job->removeAttribute(U("EDB_Type")), 0);
  EXPECT_GE(job->removeAttribute(U("EDB_Type")), 0);  // already gone: nothing to do
  EXPECT_FALSE(has("EDB_Type"));

  for (const char* name : {"", "1st", "a b", "x<y"})
    EXPECT_EQ(job->setAttribute(U(name), U("v")), E_INVALIDARG) << name;
  for (const std::u16string& bad : {std::u16string(u"a\u0001b"), std::u16string(1, char16_t(0xD800)),
                                    std::u16string(u"\uFFFE"), std::u16string(1, char16_t(0))}) {
    EXPECT_EQ(job->setAttribute(U("EDB_Bad"), KelUnicodeString(bad)), E_INVALIDARG);
    KelIDOMNode_var text;
    EXPECT_EQ(document->createTextNode(KelUnicodeString(bad), text), E_INVALIDARG);
  }
  EXPECT_FALSE(has("EDB_Bad"));

  // One string changed in place between calls (its units stay where they
  // are): each call takes the name the string holds at that moment.
  KelUnicodeString name(U("EDB_Aaaa"));
  const char16_t* const units = name.View().data();
  for (const char* now : {"EDB_Aaaa", "EDB_Bbbb", "1st", "EDB_Aaab"}) {
    const KelUnicodeString next = U(now);
    name = next;  // copied into the same units
    ASSERT_EQ(name.View().data(), units);
    EXPECT_EQ(job->setAttribute(name, U(now)), std::isdigit(*now) ? E_INVALIDARG : S_OK) << now;
  }
  const KelUnicodeString unset = U("EDB_Cccc");
  name = unset;
  EXPECT_GE(job->getAttribute(name, value), 0);
  EXPECT_EQ(U8(value), "");
  for (const char* set : {"EDB_Aaaa", "EDB_Bbbb", "EDB_Aaab"}) EXPECT_EQ(Attribute(job, set), set);
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
    KelUnicodeString name;
    EXPECT_GE(Element(document, tag)->getTagName(name), 0);
    EXPECT_EQ(U8(name), tag);
  }
}

// Nesting to search through, and elements of the same tag at several depths.
KelIDOMDocument_var NestedDocument(const KelIXMLDOMDocumentBuilder_var& builder) {
  KelIDOMDocument_var document;
  EXPECT_GE(ParseText(builder,
                      "<root id='r'><a id='1'><b id='2'><a id='3'/></b></a><b id='4'/><a id='5'><a id='6'/></a></root>",
                      document),
            0);
  return document;
}

TEST_F(XmlDom, NoMemoryForAWrapperFailsCleanly) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root = Root(document), element;
  KelIDOMNode_var child;
  KelIDOMNodeList_var list;
  {
    KelAllocationFailureScope noMemory(0, -1);
    EXPECT_EQ(document->createElement(U("made"), element), E_OUTOFMEMORY);
    EXPECT_EQ(root->getFirstChild(child), E_OUTOFMEMORY);
    EXPECT_EQ(document->getElementsByTagName(U("a"), list), E_OUTOFMEMORY);
  }
  EXPECT_TRUE(element == NULL_var && child == NULL_var && list == NULL_var);
  // The element made before its wrapper failed is freed with the document.
  EXPECT_EQ(Attribute(FirstChild(root), "id"), "1");
}

TEST_F(XmlDom, ElementSearchIsInDocumentOrderAtAnyDepth) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  const KelIDOMElement_var firstA = AsElement(Item(ByTag(document, "a"), 0));
  ASSERT_NE(firstA, NULL_var);
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"a", "1,3,5,6", "3"},         {"b", "2,4", "2"}, {"root", "r", ""},
      {"*", "r,1,2,3,4,5,6", "2,3"}, {"none", "", ""},  {"a b", "", ""}};
  for (const auto& [tag, fromDocument, fromFirstA] : cases) {
    EXPECT_EQ(ListAttributes(ByTag(document, tag), "id"), fromDocument) << tag;
    EXPECT_EQ(ListAttributes(ByTag(firstA, tag), "id"), fromFirstA) << tag;
  }
}

TEST_F(XmlDom, NodeListItemsAndInterfaces) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMNodeList_var list = ByTag(document, "b");
  KelIDOMNode_var node;
  EXPECT_EQ(list->item(2, node), E_INVALIDARG);
  EXPECT_EQ(node, NULL_var);
  EXPECT_EQ(KelQuery<KelIDOMNodeList>(list, IID_KelIDOMNodeList), list);
  long code = 0;
  EXPECT_NE(KelQuery<KelIDOMElement>(Item(list, 1), IID_KelIDOMElement, &code), NULL_var);
  EXPECT_EQ(KelQuery<KelIDOMElement>(Text(document, "t"), IID_KelIDOMElement, &code), NULL_var);
  EXPECT_EQ(code, E_NOINTERFACE);
  EXPECT_NE(KelQuery<KelIDOMDocument>(KelIDOMNode_var(document), IID_KelIDOMDocument), NULL_var);
}

TEST_F(XmlDom, AppendChildMovesNodesAndNeverMergesText) {
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMElement_var root = Element(document, "root"), left = Element(document, "left");
  KelIDOMElement_var right = Element(document, "right"), item = Element(document, "item");
  Append(document, root);
  Append(root, left);
  Append(root, right);
  Append(left, item);
  Append(right, item);  // moved, not copied
  EXPECT_EQ(ChildNames(left), "");
  EXPECT_EQ(ChildNames(right), "item");
  EXPECT_TRUE(Same(Parent(item), right));

  KelIDOMNode_var one = Text(document, "one"), two = Text(document, "two"), last;
  Append(left, one);
  Append(left, two);
  EXPECT_EQ(ChildNames(left), "#text,#text");
  ASSERT_GE(left->getLastChild(last), 0);
  EXPECT_TRUE(Same(last, two));
  EXPECT_EQ(Value(one), "one");

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

// Lists follow the tree, whichever handle changed it. A removed node keeps
// its subtree, searchable, and can come back.
TEST_F(XmlDom, NodeListsAreLive) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root = Root(document);
  KelIDOMNodeList_var as = ByTag(document, "a"), underRoot = ByTag(root, "a"), children;
  ASSERT_GE(root->getChildNodes(children), 0);
  KelIDOMNode_var a1 = Item(as, 0), removed, out;
  // The change; the ids of both searches and the children's names after it; whether a1 is out of the tree.
  const std::tuple<std::function<long()>, const char*, bool> steps[] = {
      {[&] {
         return root->appendChild(Element(document, "a", {{"id", "7"}}), out);
       },
       "1,3,5,6,7 1,3,5,6,7 a,b,a,a", false},
      {[&] { return root->removeChild(a1, removed); }, "5,6,7 5,6,7 b,a,a", true},
      {[&] { return document->getDocumentElement(root); }, "5,6,7 5,6,7 b,a,a", true},  // no change: nothing gathered
      {[&] { return AsElement(Item(as, 0))->setAttribute(U("id"), U("five")); }, "five,6,7 five,6,7 b,a,a", true},
      {[&] { return root->insertBefore(removed, nullptr, out); }, "five,6,7,1,3 five,6,7,1,3 b,a,a,a", false},
      {[&] { return root->removeChild(a1, removed); }, "five,6,7 five,6,7 b,a,a", true},
      {[&] { return root->appendChild(removed, out); }, "five,6,7,1,3 five,6,7,1,3 b,a,a,a", false},
  };
  for (const auto& [change, expected, a1Removed] : steps) {
    ASSERT_GE(change(), 0) << expected;
    EXPECT_EQ(ListAttributes(as, "id") + " " + ListAttributes(underRoot, "id") + " " + Joined(children, Name),
              expected);
    EXPECT_EQ(Parent(a1) == NULL_var, a1Removed) << expected;
    if (a1Removed) {
      EXPECT_EQ(NextSibling(a1), NULL_var);
      EXPECT_EQ(ListAttributes(ByTag(AsElement(a1), "a"), "id"), "3");
      EXPECT_EQ(ListAttributes(ByTag(document, "*"), "id"), "r,4," + ListAttributes(underRoot, "id"));
    }
  }
  KelIDOMNode_var none;
  EXPECT_EQ(children->item(4, none), E_INVALIDARG);
  // Made and never attached: freed with the document (the leak checker watches this).
  Element(document, "orphan", {{"id", "o"}});
  Text(document, "never attached");
}

TEST_F(XmlDom, ChildListChangesThatAreRefused) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root = Root(document);
  KelIDOMNodeList_var as = ByTag(document, "a");
  KelIDOMNode_var a1 = Item(as, 0), a3 = Item(as, 1), text = Text(document, "t");
  const std::string before = WriteText(builder_, document);
  const std::tuple<const char*, KelIDOMNode_var, KelIDOMNode_var> cases[] = {
      {"itself", a1, a1},
      {"its ancestor", a3, a1},
      {"the document element below itself", a3, root},
      {"a node of another document", root, Element(NewDocument(builder_), "x")},
      {"the document", root, document},
      {"a child under a text node", text, Element(document, "x")},
      {"an empty handle", root, nullptr},
      {"a second element under the document", document, Element(document, "x")},  // a document holds one element
      {"text under the document", document, Text(document, "loose")},             // and no text
  };
  for (const auto& [what, parent, child] : cases) {
    KelIDOMNode_var appended;
    EXPECT_LT(parent->appendChild(child, appended), 0) << what;
    EXPECT_EQ(appended, NULL_var) << what;
  }
  KelIDOMNode_var removed;
  EXPECT_EQ(root->removeChild(a3, removed), E_INVALIDARG);  // a grandchild, not a child
  EXPECT_EQ(WriteText(builder_, document), before);
}

TEST_F(XmlDom, HandlesKeepTheirDocumentAlive) {
  KelIDOMNode_var node;
  KelIDOMNodeList_var list;
  {
    KelIDOMDocument_var document = NestedDocument(builder_);
    list = ByTag(document, "a");
    node = Item(list, 3);
  }
  // Every handle on the document itself is gone.
  EXPECT_EQ(Attribute(node, "id"), "6");
  EXPECT_EQ(ListAttributes(list, "id"), "1,3,5,6");
  EXPECT_EQ(Attribute(Parent(node), "id"), "5");
  KelIDOMDocument_var owner, none;
  ASSERT_GE(node->getOwnerDocument(owner), 0);
  ASSERT_NE(owner, NULL_var);
  list = nullptr;
  owner = none;  // an empty handle copied over gives the document up as well
  EXPECT_GE(AsElement(node)->setAttribute(U("id"), U("last")), 0);
  EXPECT_EQ(Attribute(node, "id"), "last");
}

TEST_F(XmlDom, ChangeCounterCountsEveryChange) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root = Root(document);
  KelIDOMNode_var first = FirstChild(root), text = Text(document, "t"), removed, out;
  KelIDOMElement_var firstElement = AsElement(first);
  const std::pair<const char*, std::function<long()>> steps[] = {
      {"append", [&] { return root->appendChild(text, out); }},
      {"move", [&] { return root->insertBefore(text, first, out); }},
      {"remove", [&] { return root->removeChild(text, removed); }},
      {"set attribute", [&] { return firstElement->setAttribute(U("id"), U("changed")); }},
      {"add attribute", [&] { return firstElement->setAttribute(U("extra"), U("x")); }},
      {"remove attribute", [&] { return firstElement->removeAttribute(U("extra")); }},
      {"change text", [&] { return text->setNodeValue(U("new text")); }},
  };
  const auto changes = [&] {
    unsigned long long count = 0;
    EXPECT_GE(document->getChangeCount(count), 0);
    return count;
  };
  unsigned long long count = changes();
  for (const auto& [what, change] : steps) {
    ASSERT_GE(change(), 0) << what;
    EXPECT_GT(changes(), count) << what;
    count = changes();
  }
  // Reading, searching, writing and failed changes leave it alone.
  ByTag(document, "a");
  EXPECT_EQ(Attribute(first, "id"), "changed");
  WriteText(builder_, document);
  EXPECT_LT(root->appendChild(root, out), 0);
  EXPECT_LT(firstElement->setAttribute(U("bad name"), U("x")), 0);
  EXPECT_EQ(changes(), count);
}

TEST_F(XmlDom, CloneNodeCopiesIntoTheSameDocument) {
  KelIDOMDocument_var document = NestedDocument(builder_);
  KelIDOMElement_var root = Root(document);
  KelIDOMNode_var first = FirstChild(root), deep, shallow, clone;
  ASSERT_GE(first->cloneNode(true, deep), 0);
  ASSERT_GE(first->cloneNode(false, shallow), 0);
  EXPECT_EQ(Attribute(deep, "id"), "1");
  EXPECT_EQ(Attribute(shallow, "id"), "1");
  EXPECT_EQ(ChildNames(deep), "b");
  EXPECT_EQ(ChildNames(shallow), "");
  EXPECT_EQ(Parent(deep), NULL_var);
  AsElement(deep)->setAttribute(U("id"), U("copy"));
  EXPECT_EQ(Attribute(first, "id"), "1");
  Append(root, deep);
  EXPECT_EQ(ListAttributes(ByTag(document, "a"), "id"), "1,3,5,6,copy,3");
  EXPECT_EQ(document->cloneNode(true, clone), E_NOTIMPL);
}

TEST_F(XmlDom, NodeValuesAreCheckedForWhatTheNodeCanHold) {
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r><!--note--><?pi data?><![CDATA[raw]]>text</r>", document), 0);
  KelIDOMElement_var root = Root(document);
  EXPECT_EQ(ChildNames(root), "#comment,pi,#cdata-section,#text");
  KelIDOMNode_var comment = FirstChild(root), pi = NextSibling(comment), cdata = NextSibling(pi);
  EXPECT_EQ(comment->setNodeValue(U("a--b")), E_INVALIDARG);
  EXPECT_EQ(comment->setNodeValue(U("ends-")), E_INVALIDARG);
  EXPECT_EQ(pi->setNodeValue(U("x?>y")), E_INVALIDARG);
  EXPECT_EQ(cdata->setNodeValue(U("x]]>y")), E_INVALIDARG);
  EXPECT_GE(comment->setNodeValue(U("fine")), 0);
  EXPECT_GE(root->setNodeValue(U("ignored on an element")), 0);
  EXPECT_EQ(Value(root), "<null>");
  EXPECT_NE(WriteText(builder_, document).find("<r><!--fine--><?pi data?><![CDATA[raw]]>text</r>"), std::string::npos);
}

}  // namespace
