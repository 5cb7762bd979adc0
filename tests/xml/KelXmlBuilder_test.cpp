// Parsing and writing with the XML stand-in's builder: options, validation,
// entity resolution and entity policy, errors, encodings, files.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "KelInternalError.h"
#include "KelXmlTestSupport.h"

using namespace keltest;

namespace {

class XmlBuilder : public ::testing::Test {
 protected:
  KelIXMLDOMDocumentBuilder_var builder_ = MakeBuilder();

  std::string LastError(int* line = nullptr, int* column = nullptr) {
    KelUnicodeString message;
    int l = -1, c = -1;
    EXPECT_GE(builder_->getLastError(message, l, c), 0);
    if (line != nullptr) *line = l;
    if (column != nullptr) *column = c;
    return U8(message);
  }
};

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Accents, CJK, a character outside the Basic Multilingual Plane, markup
// characters and line ends.
const char kAwkward[] = "Caf\xC3\xA9 \xE9\x9B\xBB\xE7\xB7\x9A \xF0\x9F\x94\x8C <&>\"' tab\tline\ncr\r";

TEST_F(XmlBuilder, NonAsciiTextRoundTripsThroughStringAndFile) {
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMElement_var root = Element(document, "Jobs", {{"EDB_oAttrValue", kAwkward}});
  Append(document, root);
  KelIDOMNode_var text;
  ASSERT_GE(document->createTextNode(U(kAwkward), text), 0);
  Append(root, text);

  const std::string written = WriteText(builder_, document, {{"KelEncoding", "UTF-8"}});
  EXPECT_EQ(written.rfind(kDeclaration, 0), 0u) << written;
  EXPECT_NE(written.find("\xF0\x9F\x94\x8C"), std::string::npos);  // raw UTF-8, not a character reference

  Scratch scratch;
  const std::string path = scratch.File("jobs.xml");
  ASSERT_GE(builder_->write(document, U(path), Options{{"KelEncoding", "UTF-8"}}.names,
                            Options{{"KelEncoding", "UTF-8"}}.values),
            0);
  EXPECT_EQ(ReadFile(path), written);
  const bool checked = HaveXmllint();
  if (checked) {
    EXPECT_TRUE(XmllintAccepts(path));
  }

  for (int fromFile = 0; fromFile < 2; ++fromFile) {
    KelIDOMDocument_var back;
    ASSERT_GE(fromFile != 0 ? ParseFile(builder_, path, back) : ParseText(builder_, written, back), 0);
    KelIDOMElement_var backRoot;
    ASSERT_GE(back->getDocumentElement(backRoot), 0);
    EXPECT_EQ(Attribute(backRoot, "EDB_oAttrValue"), kAwkward);
    KelIDOMNode_var backText;
    ASSERT_GE(backRoot->getFirstChild(backText), 0);
    KelUnicodeString value;
    ASSERT_GE(backText->getNodeValue(value), 0);
    EXPECT_EQ(U8(value), kAwkward);
  }
  if (!checked) GTEST_SKIP() << "xmllint is not installed: written bytes not checked by it";
}

TEST_F(XmlBuilder, LargeTextWrittenToAStringKeepsCharactersSplitByTheWriter) {
  // Written text is gathered in blocks of a megabyte: two-, three- and
  // four-byte characters end up across block boundaries at every offset.
  std::string value;
  for (int k = 0; value.size() < 3500000; ++k)
    value += k % 3 == 0 ? "\xC3\xA9" : k % 3 == 1 ? "\xE4\xB8\xAD" : "\xF0\x9F\x94\x8C";
  KelIDOMDocument_var document = NewDocument(builder_);
  KelIDOMElement_var root = Element(document, "Jobs", {{"v", value.c_str()}});
  Append(document, root);
  KelUnicodeString text;
  const Options none;
  ASSERT_GE(builder_->writeToString(document, text, none.names, none.values), 0);
  const std::string written = U8(text);
  EXPECT_NE(written.find("v=\"" + value + "\"/>"), std::string::npos);
  EXPECT_EQ(written.find("\xEF\xBF\xBD"), std::string::npos) << "no character was cut";
}

TEST_F(XmlBuilder, TextDeclaringAnotherEncodingIsReadAsTheCharactersItHolds) {
  KelIDOMDocument_var document;
  ASSERT_GE(
      ParseText(builder_, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xC3\xA9t\xC3\xA9\"/>", document), 0);
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  EXPECT_EQ(Attribute(root, "a"), "\xC3\xA9t\xC3\xA9");
  // And it is written back declaring what it is now.
  EXPECT_EQ(WriteText(builder_, document).rfind(kDeclaration, 0), 0u);
}

TEST_F(XmlBuilder, OptionsAreCheckedAndDefaultsDocumented) {
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r><a/><a/></r>", document, {{"SomeOtherOption", "whatever"}}), 0);
  struct Case {
    Options options;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {{{"KelDoValidation", "TRUE"}}, true},        {{{"KelExpandEntityReferences", "False"}}, true},
      {{{"KelDoValidation", "yes"}}, false},        {{{"KelExpandEntityReferences", ""}}, false},
      {{{"KelEncoding", "ISO-8859-1"}}, false},     {{{"KelEncoding", "utf-8"}}, true},
      {{{"KelFormatPrettyPrint", "maybe"}}, false},
  };
  for (const Case& c : cases) {
    KelUnicodeString text;
    const long result = builder_->writeToString(document, text, c.options.names, c.options.values);
    EXPECT_EQ(result >= 0, c.accepted) << U8(c.options.names[1]) << "=" << U8(c.options.values[1]);
    if (!c.accepted) {
      EXPECT_EQ(result, E_INVALIDARG);
      EXPECT_NE(LastError().find(U8(c.options.names[1])), std::string::npos);
    }
  }
  Options uneven{{"KelEncoding", "UTF-8"}};
  uneven.values.Append(U("extra"));
  KelUnicodeString text;
  EXPECT_EQ(builder_->writeToString(document, text, uneven.names, uneven.values), E_INVALIDARG);
  // Compact by default; indented on request.
  EXPECT_NE(WriteText(builder_, document).find("<r><a/><a/></r>"), std::string::npos);
  EXPECT_NE(WriteText(builder_, document, {{"KelFormatPrettyPrint", "true"}}).find("<r>\n  <a/>\n  <a/>\n</r>"),
            std::string::npos);
}

TEST_F(XmlBuilder, ValidationOutcomes) {
  struct Case {
    const char* file;
    bool validate;
    bool succeeds;
  };
  for (const Case& c :
       {Case{"valid.xml", true, true}, Case{"invalid.xml", true, false}, Case{"missing_dtd.xml", true, false},
        Case{"no_doctype.xml", true, false}, Case{"invalid.xml", false, true}, Case{"missing_dtd.xml", false, true}}) {
    KelIDOMDocument_var document;
    auto handler = Make<RecordingHandler>();
    const long result = ParseFile(builder_, DataPath(c.file), document,
                                  {{"KelDoValidation", c.validate ? "true" : "false"}}, nullptr, handler);
    EXPECT_EQ(result >= 0, c.succeeds) << c.file << " validate=" << c.validate;
    EXPECT_EQ(document != nullptr, c.succeeds) << c.file;
    if (!c.succeeds) {
      EXPECT_TRUE(handler->Has("error")) << c.file;
      EXPECT_NE(LastError(), "") << c.file;
    }
  }
  // Validation fills in the DTD's default attribute values.
  KelIDOMDocument_var document;
  ASSERT_GE(ParseFile(builder_, DataPath("valid.xml"), document, {{"KelDoValidation", "true"}}), 0);
  KelIDOMNodeList_var jobs;
  ASSERT_GE(document->getElementsByTagName(U("EDB_Job"), jobs), 0);
  EXPECT_EQ(ListAttributes(jobs, "EDB_Priority"), "normal");
}

TEST_F(XmlBuilder, ResolverIsAskedForTheDtdAndMayDecline) {
  const std::string text = ReadFile(DataPath("valid.xml"));
  const std::string dtd = ReadFile(DataPath("jobs.dtd"));
  struct Case {
    const char* what;
    std::function<KelIXMLInputSource_var(const std::string&)> answer;
    bool fromFile;  // parse the file (the DTD is then found beside it) or the text
    bool succeeds;
  };
  const std::vector<Case> cases = {
      {"answers with the DTD's text", [&](const std::string&) { return TextSource(dtd, "jobs.dtd"); }, false, true},
      {"answers with the DTD's path", [](const std::string&) { return FileSource(DataPath("jobs.dtd")); }, false, true},
      {"declines, DTD beside the file", nullptr, true, true},
      {"declines, no DTD beside the text", nullptr, false, false},
      {"answers with a file that is not there", [](const std::string&) { return FileSource("/nonexistent.dtd"); }, true,
       false},
  };
  for (const Case& c : cases) {
    auto resolver = Make<RecordingResolver>(c.answer);
    KelIDOMDocument_var document;
    const Options validate{{"KelDoValidation", "true"}};
    const long result = c.fromFile ? ParseFile(builder_, DataPath("valid.xml"), document, validate, resolver)
                                   : ParseText(builder_, text, document, validate, resolver);
    EXPECT_EQ(result >= 0, c.succeeds) << c.what << ": " << LastError();
    ASSERT_EQ(resolver->system_ids.size(), 1u) << c.what;
    EXPECT_EQ(resolver->system_ids[0], "jobs.dtd") << c.what;
    EXPECT_EQ(resolver->public_ids[0], "<null>") << c.what;
  }
  // Without validation nothing external is asked for.
  auto resolver = Make<RecordingResolver>();
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, text, document, {}, resolver), 0);
  EXPECT_TRUE(resolver->system_ids.empty());
}

// An external entity is declared as read and empty, with a warning; that its
// content never reaches the document is checked with the hostile documents.
TEST_F(XmlBuilder, ExternalEntitiesAreLeftOutWithAWarning) {
  auto handler = Make<RecordingHandler>();
  KelIDOMDocument_var document;
  ASSERT_GE(ParseFile(builder_, DataPath("external_entities.xml"), document, {}, nullptr, handler), 0) << LastError();
  ASSERT_TRUE(handler->Has("warning"));
  EXPECT_NE(handler->entries[0].message.find("' is not read"), std::string::npos) << handler->entries[0].message;
}

// libxml2's own network refusal aside, ours names the location; that no
// byte is fetched is checked with the hostile documents.
TEST_F(XmlBuilder, NetworkLocationsAreRefusedByName) {
  KelIDOMDocument_var document;
  EXPECT_LT(ParseFile(builder_, "http://127.0.0.1:9/jobs.xml", document), 0);
  EXPECT_NE(LastError().find("network access refused for \"http://127.0.0.1:9/jobs.xml\""), std::string::npos);
  auto handler = Make<RecordingHandler>();
  EXPECT_LT(ParseText(builder_, "<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/r.dtd\"><r/>", document,
                      {{"KelDoValidation", "true"}}, nullptr, handler),
            0);
  ASSERT_TRUE(handler->Has("error"));
  EXPECT_NE(handler->entries[0].message.find("network access refused"), std::string::npos);
}

const char kEntities[] =
    "<!DOCTYPE r [<!ENTITY who \"World\"><!ENTITY part \"<p id='in'>&who;</p>\">]>"
    "<r a=\"Hi &who;\">Hello &who;!&part;</r>";

TEST_F(XmlBuilder, EntityReferencesKeptOrExpanded) {
  KelIDOMDocument_var kept;
  ASSERT_GE(ParseText(builder_, kEntities, kept, {{"KelExpandEntityReferences", "false"}}), 0);
  KelIDOMElement_var root;
  ASSERT_GE(kept->getDocumentElement(root), 0);
  EXPECT_EQ(ChildNames(root), "#text,who,#text,part");
  EXPECT_EQ(Attribute(root, "a"), "Hi World");
  KelIDOMNode_var reference;
  KelIDOMNodeList_var children;
  ASSERT_GE(root->getChildNodes(children), 0);
  ASSERT_GE(children->item(1, reference), 0);
  unsigned short type = 0;
  EXPECT_GE(reference->getNodeType(type), 0);
  EXPECT_EQ(type, KelIDOMNode::ENTITY_REFERENCE_NODE);
  KelIDOMNode_var content;
  ASSERT_GE(reference->getFirstChild(content), 0);
  KelUnicodeString value;
  EXPECT_GE(content->getNodeValue(value), 0);
  EXPECT_EQ(U8(value), "World");
  // Entity content is part of the tree for searches, and read-only.
  KelIDOMNodeList_var ps;
  ASSERT_GE(kept->getElementsByTagName(U("p"), ps), 0);
  EXPECT_EQ(ListAttributes(ps, "id"), "in");
  KelIDOMNode_var p;
  ASSERT_GE(ps->item(0, p), 0);
  EXPECT_LT(KelQuery<KelIDOMElement>(p, IID_KelIDOMElement)->setAttribute(U("id"), U("x")), 0);
  KelIDOMNode_var appended;
  EXPECT_LT(p->appendChild(Element(kept, "q"), appended), 0);

  EXPECT_NE(WriteText(builder_, kept, {{"KelExpandEntityReferences", "false"}})
                .find("<r a=\"Hi &who;\">Hello &who;!&part;</r>"),
            std::string::npos);
  EXPECT_NE(WriteText(builder_, kept, {{"KelExpandEntityReferences", "true"}})
                .find("<r a=\"Hi World\">Hello World!<p id=\"in\">World</p></r>"),
            std::string::npos);

  KelIDOMDocument_var expanded;
  ASSERT_GE(ParseText(builder_, kEntities, expanded, {{"KelExpandEntityReferences", "true"}}), 0);
  ASSERT_GE(expanded->getDocumentElement(root), 0);
  EXPECT_EQ(ChildNames(root), "#text,p");
  EXPECT_EQ(Attribute(root, "a"), "Hi World");
  EXPECT_NE(WriteText(builder_, expanded).find("<r a=\"Hi World\">Hello World!<p id=\"in\">World</p></r>"),
            std::string::npos);
}

TEST_F(XmlBuilder, NamespacedNamesAreQualifiedNames) {
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r xmlns='urn:d' xmlns:p='urn:p'><p:a p:x='1' y='2'><b/></p:a></r>", document), 0);
  struct Case {
    const char* tag;
    unsigned int count;
  };
  for (const Case& c : {Case{"p:a", 1}, Case{"a", 0}, Case{"b", 1}, Case{"p:b", 0}}) {
    KelIDOMNodeList_var list;
    ASSERT_GE(document->getElementsByTagName(U(c.tag), list), 0);
    unsigned int length = 99;
    list->getLength(length);
    EXPECT_EQ(length, c.count) << c.tag;
  }
  KelIDOMElement_var root;
  ASSERT_GE(document->getDocumentElement(root), 0);
  EXPECT_EQ(Attribute(root, "xmlns:p"), "urn:p");
  EXPECT_EQ(Attribute(root, "xmlns"), "urn:d");
  KelIDOMNode_var a;
  ASSERT_GE(root->getFirstChild(a), 0);
  EXPECT_EQ(Name(a), "p:a");
  EXPECT_EQ(Attribute(a, "p:x"), "1");
  EXPECT_EQ(Attribute(a, "x"), "");
  ASSERT_GE(KelQuery<KelIDOMElement>(a, IID_KelIDOMElement)->setAttribute(U("p:z"), U("3")), 0);
  // A copy carries the declarations it needs wherever it goes.
  KelIDOMNode_var copy;
  ASSERT_GE(a->cloneNode(true, copy), 0);
  KelIDOMElement_var holder = Element(document, "holder");
  Append(holder, copy);
  Append(root, holder);
  KelIDOMDocument_var back;
  auto handler = Make<RecordingHandler>();
  ASSERT_GE(ParseText(builder_, WriteText(builder_, document), back, {}, nullptr, handler), 0) << LastError();
  EXPECT_TRUE(handler->entries.empty()) << handler->entries[0].message;  // no undeclared prefix
  KelIDOMNodeList_var as;
  ASSERT_GE(back->getElementsByTagName(U("p:a"), as), 0);
  EXPECT_EQ(ListAttributes(as, "p:z"), "3,3");
  KelIDOMNodeList_var bs;
  ASSERT_GE(back->getElementsByTagName(U("b"), bs), 0);
  EXPECT_EQ(ListAttributes(bs, "xmlns"), ",urn:d");
}

TEST_F(XmlBuilder, ValuesLibxml2WritesRawAreWrittenEscaped) {
  // Found by fuzzing: markup characters and white space in a namespace URI
  // or in an attribute's declared default were written as they stand.
  const char kUri[] = "urn:a?x=1&y=<2>\"q'\tt\nn\rr";
  const std::string text =
      "<!DOCTYPE r [<!ENTITY e 'v'><!ATTLIST r d CDATA \"&amp;&#38;#60;&e;&#60;&quot;'&#9;&#10;&#13;\">]>"
      "<r xmlns:p=\"urn:a?x=1&amp;y=&lt;2>&quot;q'&#9;t&#10;n&#13;r\"><p:e xmlns:q='&amp;'/></r>";
  for (const char* expand : {"true", "false"}) {
    SCOPED_TRACE(std::string("KelExpandEntityReferences ") + expand);
    const Options options{{"KelExpandEntityReferences", expand}};
    KelIDOMDocument_var document;
    ASSERT_GE(ParseText(builder_, text, document, options), 0);
    const std::string written = WriteText(builder_, document);
    KelIDOMDocument_var back;
    ASSERT_GE(ParseText(builder_, written, back, options), 0) << written;
    EXPECT_EQ(WriteText(builder_, back), written);
    KelIDOMElement_var root, backRoot;
    ASSERT_GE(document->getDocumentElement(root), 0);
    ASSERT_GE(back->getDocumentElement(backRoot), 0);
    EXPECT_EQ(Attribute(backRoot, "xmlns:p"), Attribute(root, "xmlns:p"));
    // Kept references leave "&" as "&#38;" there, as libxml2 reads it.
    if (expand == std::string("true")) {
      EXPECT_EQ(Attribute(root, "xmlns:p"), kUri);
    }
    // The document written keeps its own values.
    EXPECT_EQ(WriteText(builder_, document), written);
  }
}

TEST_F(XmlBuilder, MalformedInputFailsWithWhereAndTheBuilderCarriesOn) {
  struct Case {
    const char* text;
    int line;
  };
  for (const Case& c : {Case{"<r>\n<a></b>\n</r>", 2}, Case{"", 1}, Case{"<r", 1}, Case{"<r>\n\n&undeclared;</r>", 3},
                        Case{"<r a='1' a='2'/>", 1}, Case{"<r/><s/>", 1}, Case{"<r>\x01</r>", 1}}) {
    auto handler = Make<RecordingHandler>();
    KelIDOMDocument_var document;
    EXPECT_LT(ParseText(builder_, c.text, document, {}, nullptr, handler), 0) << c.text;
    EXPECT_EQ(document, NULL_var);
    int line = 0, column = 0;
    EXPECT_NE(LastError(&line, &column), "") << c.text;
    EXPECT_EQ(line, c.line) << c.text;
    EXPECT_GE(column, 0) << c.text;
    ASSERT_TRUE(handler->Has("fatal")) << c.text;

    ASSERT_GE(ParseText(builder_, "<ok/>", document), 0);
    EXPECT_EQ(LastError(), "");
  }
  // With references kept, libxml2 never expands them, so the parse measures
  // what they stand for and refuses what an expanding parse would refuse:
  // over 10 MB, and over 10 times the bytes read.
  const Options kept{{"KelExpandEntityReferences", "false"}};
  auto blowup = [](int references, bool inAttribute) {
    std::string text = "<!DOCTYPE r [<!ENTITY a \"" + std::string(10000, 'x') + "\">]>";
    std::string uses;
    for (int i = 0; i < references; ++i) uses += "&a;";
    return text + (inAttribute ? "<r a=\"" + uses + "\"/>" : "<r>" + uses + "</r>");
  };
  KelIDOMDocument_var document;
  for (bool inAttribute : {false, true}) {
    EXPECT_LT(ParseText(builder_, blowup(1001, inAttribute), document, kept), 0);
    EXPECT_NE(LastError().find("would expand to"), std::string::npos) << LastError();
    EXPECT_GE(ParseText(builder_, blowup(999, inAttribute), document, kept), 0);  // 9.99 MB
  }
}

// Handlers that raise, as a caller's code might.
class RaisingHandler final : public KelISAXErrorHandler {
 public:
  explicit RaisingHandler(bool platformError) : platform_error_(platformError) {}
  long warning(const KelXMLParseError&) override { return S_OK; }
  long error(const KelXMLParseError&) override { return S_OK; }
  long fatalError(const KelXMLParseError&) override {
    if (platform_error_) KelError::Throw(new KelInternalError(1));
    throw std::runtime_error("handler");
  }

 private:
  bool platform_error_;
};

TEST_F(XmlBuilder, WhatCallbacksRaiseIsContained) {
  KelIDOMDocument_var document;
  EXPECT_LT(ParseText(builder_, "<r>", document, {}, nullptr, Make<RaisingHandler>(true)), 0);
  EXPECT_THROW(ParseText(builder_, "<r>", document, {}, nullptr, Make<RaisingHandler>(false)), std::runtime_error);
  EXPECT_GE(ParseText(builder_, "<r/>", document), 0);
}

TEST_F(XmlBuilder, FileWrites) {
  Scratch scratch;
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r><a/></r>", document), 0);
  const std::string path = scratch.File("out.xml");
  WriteFile(path, "previous content");
  ASSERT_GE(builder_->write(document, U(path), {}, {}), 0);
  EXPECT_EQ(ReadFile(path), std::string(kDeclaration) + "\n<r><a/></r>\n");
  EXPECT_LT(builder_->write(document, U(scratch.File("missing/dir/out.xml")), {}, {}), 0);
  EXPECT_NE(LastError().find("missing/dir/out.xml"), std::string::npos);
  KelIDOMDocument_var none;
  EXPECT_EQ(builder_->write(none, U(path), {}, {}), E_INVALIDARG);
}

TEST_F(XmlBuilder, InputSourcesTellTheirIdentifiers) {
  KelUnicodeString systemId, publicId("x");
  EXPECT_GE(TextSource("<r/>", "Buffer")->getPublicId(publicId), 0);
  EXPECT_TRUE(publicId.IsNull());
  KelIXMLInputSource_var file = FileSource("jobs.dtd", "-//Kel//Jobs//EN");
  EXPECT_GE(file->getSystemId(systemId) + file->getPublicId(publicId), 0);
  EXPECT_EQ(U8(systemId) + " " + U8(publicId), "jobs.dtd -//Kel//Jobs//EN");
  KelIDOMDocument_var document;
  EXPECT_GE(builder_->parse(FileSource(DataPath("valid.xml")), document, {}, {}, nullptr, nullptr), 0);
  EXPECT_EQ(builder_->parse(KelIXMLInputSource_var(), document, {}, {}, nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
