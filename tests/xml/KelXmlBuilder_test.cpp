// Parsing and writing with the XML stand-in's builder: options, validation,
// entity resolution and entity policy, errors, encodings, files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "KelInternalError.h"
#include "KelXmlTestSupport.h"
#include "reliability/HostileDocuments.h"
#include "support/ResultCodes.h"

using namespace keltest;
using namespace testfiles;
using testcodes::AllOk;

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
  Append(root, Text(document, kAwkward));

  const std::string written = WriteText(builder_, document, {{"KelEncoding", "UTF-8"}});
  EXPECT_EQ(written.rfind(kDeclaration, 0), 0u) << written;
  EXPECT_NE(written.find("\xF0\x9F\x94\x8C"), std::string::npos);  // raw UTF-8, not a character reference

  Scratch scratch;
  const std::string path = scratch.File("jobs.xml");
  const Options utf8{{"KelEncoding", "UTF-8"}};
  ASSERT_GE(builder_->write(document, U(path), utf8.names, utf8.values), 0);
  EXPECT_EQ(ReadFile(path), written);
  const bool checked = testsystem::HaveProgram("xmllint");
  if (checked) {  // another reader sees the same characters
    const std::string read = scratch.File("read.txt");
    EXPECT_EQ(std::system(("xmllint --nonet --xpath 'string(/Jobs)' '" + path + "' >'" + read + "'").c_str()), 0);
    EXPECT_EQ(ReadFile(read), std::string(kAwkward) + "\n");
  }

  for (bool fromFile : {false, true}) {
    KelIDOMDocument_var back;
    ASSERT_GE(fromFile ? ParseFile(builder_, path, back) : ParseText(builder_, written, back), 0);
    EXPECT_EQ(Attribute(Root(back), "EDB_oAttrValue"), kAwkward);
    EXPECT_EQ(Value(FirstChild(Root(back))), kAwkward);
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
  Append(document, Element(document, "Jobs", {{"v", value.c_str()}}));
  const std::string written = WriteText(builder_, document);
  EXPECT_NE(written.find("v=\"" + value + "\"/>"), std::string::npos);
  EXPECT_EQ(written.find("\xEF\xBF\xBD"), std::string::npos) << "no character was cut";
}

TEST_F(XmlBuilder, TextDeclaringAnotherEncodingIsReadAsTheCharactersItHolds) {
  KelIDOMDocument_var document;
  ASSERT_GE(
      ParseText(builder_, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xC3\xA9t\xC3\xA9\"/>", document), 0);
  EXPECT_EQ(Attribute(Root(document), "a"), "\xC3\xA9t\xC3\xA9");
  // And it is written back declaring what it is now.
  EXPECT_EQ(WriteText(builder_, document).rfind(kDeclaration, 0), 0u);
}

TEST_F(XmlBuilder, OptionsAreCheckedAndDefaultsDocumented) {
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r><a/><a/></r>", document, {{"SomeOtherOption", "whatever"}}), 0);
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"KelDoValidation", "TRUE", true},       {"KelExpandEntityReferences", "False", true},
      {"KelDoValidation", "yes", false},       {"KelExpandEntityReferences", "", false},
      {"KelEncoding", "ISO-8859-1", false},    {"KelEncoding", "utf-8", true},
      {"KelFormatPrettyPrint", "maybe", false}};
  for (const auto& [name, value, accepted] : cases) {
    const Options options{{name, value}};
    KelUnicodeString text;
    const long result = builder_->writeToString(document, text, options.names, options.values);
    EXPECT_EQ(result, accepted ? S_OK : E_INVALIDARG) << name << "=" << value;
    if (!accepted) {
      EXPECT_NE(LastError().find(name), std::string::npos);
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
  const std::tuple<const char*, bool, bool> cases[] = {
      {"valid.xml", true, true},       {"invalid.xml", true, false}, {"missing_dtd.xml", true, false},
      {"no_doctype.xml", true, false}, {"invalid.xml", false, true}, {"missing_dtd.xml", false, true}};
  for (const auto& [file, validate, succeeds] : cases) {
    SCOPED_TRACE(std::string(file) + (validate ? " validated" : ""));
    KelIDOMDocument_var document;
    auto handler = Make<RecordingHandler>();
    const long result = ParseFile(builder_, DataPath(file), document,
                                  {{"KelDoValidation", validate ? "true" : "false"}}, nullptr, handler);
    EXPECT_EQ(result >= 0, succeeds);
    EXPECT_EQ(document != nullptr, succeeds);
    if (!succeeds) {
      EXPECT_TRUE(handler->Has("error"));
      EXPECT_NE(LastError(), "");
    }
  }
}

// Defaults declared in the internal subset are supplied by every parse;
// those of the external subset only when it is read, that is with validation.
TEST_F(XmlBuilder, DeclaredDefaultsWithoutValidation) {
  const std::string text =
      "<!DOCTYPE Integration SYSTEM \"jobs.dtd\" [<!ATTLIST EDB_Job EDB_Type CDATA \"deflt\">]>"
      "<Integration version=\"1\"><EDB_Job EDB_Id=\"J\"/><EDB_Job EDB_Id=\"K\" EDB_Type=\"own\"/>"
      "</Integration>";
  Scratch scratch;
  const std::string path = scratch.File("defaults.xml");
  WriteFile(path, text);
  WriteFile(scratch.File("jobs.dtd"), ReadFile(DataPath("jobs.dtd")));
  for (const char* validate : {"false", "true"}) {
    for (const char* expand : {"false", "true"}) {
      SCOPED_TRACE(std::string("validation ") + validate + ", expansion " + expand);
      KelIDOMDocument_var document;
      ASSERT_GE(
          ParseFile(builder_, path, document, {{"KelDoValidation", validate}, {"KelExpandEntityReferences", expand}}),
          0)
          << LastError();
      const KelIDOMNodeList_var jobs = ByTag(document, "EDB_Job");
      EXPECT_EQ(ListAttributes(jobs, "EDB_Type"), "deflt,own");
      EXPECT_EQ(ListAttributes(jobs, "EDB_Priority"), validate == std::string("true") ? "normal,normal" : ",");
      EXPECT_NE(WriteText(builder_, document).find("<EDB_Job EDB_Id=\"J\" EDB_Type=\"deflt\""), std::string::npos);
    }
  }
}

TEST_F(XmlBuilder, ResolverIsAskedForTheDtdAndMayDecline) {
  const std::string text = ReadFile(DataPath("valid.xml"));
  const std::string dtd = ReadFile(DataPath("jobs.dtd"));
  // What the resolver does, how it answers, whether the file is parsed (the
  // DTD is then found beside it) or the text, and whether the parse succeeds.
  const std::tuple<const char*, std::function<KelIXMLInputSource_var(const std::string&)>, bool, bool> cases[] = {
      {"answers with the DTD's text", [&](const std::string&) { return TextSource(dtd, "jobs.dtd"); }, false, true},
      {"answers with the DTD's path", [](const std::string&) { return FileSource(DataPath("jobs.dtd")); }, false, true},
      {"declines, DTD beside the file", nullptr, true, true},
      {"declines, no DTD beside the text", nullptr, false, false},
      {"answers with a file that is not there", [](const std::string&) { return FileSource("/nonexistent.dtd"); }, true,
       false},
  };
  for (const auto& [what, answer, fromFile, succeeds] : cases) {
    auto resolver = Make<RecordingResolver>(answer);
    KelIDOMDocument_var document;
    const Options validate{{"KelDoValidation", "true"}};
    const long result = fromFile ? ParseFile(builder_, DataPath("valid.xml"), document, validate, resolver)
                                 : ParseText(builder_, text, document, validate, resolver);
    EXPECT_EQ(result >= 0, succeeds) << what << ": " << LastError();
    EXPECT_EQ(resolver->system_ids, std::vector<std::string>{"jobs.dtd"}) << what;
    EXPECT_EQ(resolver->public_ids, std::vector<std::string>{"<null>"}) << what;
  }
  // Without validation nothing external is asked for.
  auto resolver = Make<RecordingResolver>();
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, text, document, {}, resolver), 0);
  EXPECT_TRUE(resolver->system_ids.empty());
}

// External entities are read, as the resolver answers or, when it declines,
// from a file in the document's directory (or in that of a file the resolver
// gave); a document in memory has no directory. What nothing supplies fails
// the parse, named. Entities outside the directory are among the hostile
// documents.
TEST_F(XmlBuilder, ExternalEntitiesAreReadOrTheParseFails) {
  Scratch scratch;
  const std::string dir = scratch.File("doc");
  std::filesystem::create_directories(dir + "/dtd");
  WriteFile(dir + "/ext.xml", "<?xml version='1.0' encoding='UTF-8'?><a id='file'/>");
  WriteFile(dir + "/utf16.xml", std::string("\xFF\xFE<\0a\0 \0i\0d\0=\0'\0\xE9\0'\0/\0>\0", 24));
  WriteFile(dir + "/latin1.xml", "<?xml encoding='ISO-8859-1'?><a id='\xE9'/>");
  WriteFile(dir + "/dtd/r.dtd", "<!ENTITY % m SYSTEM 'module.ent'>%m;<!ATTLIST a id CDATA #IMPLIED>");
  WriteFile(dir + "/dtd/module.ent", "<!ELEMENT r (a*)><!ELEMENT a EMPTY>");
  const auto with = [](const std::string& entity, const std::string& system, const std::string& use) {
    return "<!DOCTYPE r [<!ENTITY " + entity + " SYSTEM '" + system + "'>]><r" + use + "</r>";
  };
  const auto file = [&](const std::string&) { return FileSource(dir + "/ext.xml"); };
  const auto text = [](const std::string&) { return TextSource("<?xml version='1.0'?><a id='text'/>", "t.xml"); };
  // Document, read from its file (else as text), resolver's answer, validation,
  // and the ids read (empty: the parse fails).
  const std::tuple<std::string, bool, std::function<KelIXMLInputSource_var(const std::string&)>, bool, const char*>
      cases[] = {
          {with("e", "ext.xml", ">&e;&e;"), true, nullptr, false, "file,file"},
          {with("e", "utf16.xml", ">&e;"), true, nullptr, false, "\xC3\xA9"},
          {with("e", "latin1.xml", ">&e;"), true, nullptr, false, "\xC3\xA9"},
          {with("e", "ext.xml", ">&e;"), false, nullptr, false, ""},  // no directory
          {with("e", "ext.xml", ">&e;"), false, file, false, "file"},
          {with("e", "elsewhere.xml", ">&e;"), false, text, false, "text"},
          {with("e", "missing.xml", ">&e;"), true, nullptr, false, ""},
          {with("e", "ext.xml", " id='&e;'>"), true, nullptr, false, ""},                      // not in an attribute
          {"<!DOCTYPE r [<!ENTITY % p SYSTEM 'ext.xml'>%p;]><r/>", true, nullptr, false, ""},  // not declarations
          // Declarations through a parameter entity of the DTD, beside it.
          {"<!DOCTYPE r SYSTEM 'dtd/r.dtd'><r><a id='v'/></r>", true, nullptr, true, "v"},
          // A reference to what the unread external subset may declare.
          {"<!DOCTYPE r SYSTEM 'dtd/r.dtd'><r>&undeclared;<a id='v'/></r>", true, nullptr, false, ""},
      };
  const std::string path = dir + "/document.xml";
  for (const auto& [document, fromFile, answer, validate, ids] : cases) {
    SCOPED_TRACE(document + (fromFile ? " from its file" : " as text"));
    WriteFile(path, document);
    for (const char* expand : {"false", "true"}) {
      auto resolver = Make<RecordingResolver>(answer);
      KelIDOMDocument_var parsed;
      const Options options{{"KelExpandEntityReferences", expand}, {"KelDoValidation", validate ? "true" : "false"}};
      const long result = fromFile ? ParseFile(builder_, path, parsed, options, resolver)
                                   : ParseText(builder_, document, parsed, options, resolver);
      ASSERT_EQ(result >= 0, *ids != '\0') << LastError();
      if (result >= 0) {
        EXPECT_EQ(ListAttributes(ByTag(parsed, "a"), "id"), ids);
        EXPECT_NE(WriteText(builder_, parsed).find("id=\"" + std::string(ids).substr(0, 2)), std::string::npos);
      } else if (document.find_first_of("%=") == std::string::npos &&
                 document.find("SYSTEM 'dtd") == std::string::npos) {
        EXPECT_NE(LastError().find("cannot be read: "), std::string::npos) << LastError();
      }
    }
  }
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
    "<!DOCTYPE r [<!ENTITY who \"World\"><!ENTITY none \"\"><!ENTITY part \"<p id='in'>&who;</p>\">]>"
    "<r a=\"Hi &who;\" b=\"&none;\">Hello &who;!&part;</r>";

TEST_F(XmlBuilder, EntityReferencesKeptOrExpanded) {
  KelIDOMDocument_var kept;
  ASSERT_GE(ParseText(builder_, kEntities, kept, {{"KelExpandEntityReferences", "false"}}), 0);
  KelIDOMElement_var root = Root(kept);
  EXPECT_EQ(ChildNames(root), "#text,who,#text,part");
  EXPECT_EQ(Attribute(root, "a"), "Hi World");
  EXPECT_EQ(Attribute(root, "b"), "");  // libxml2 gives null for it, as for no memory
  KelIDOMNode_var reference = NextSibling(FirstChild(root));
  EXPECT_EQ(TypeOf(reference), KelIDOMNode::ENTITY_REFERENCE_NODE);
  EXPECT_EQ(Value(FirstChild(reference)), "World");
  // Entity content is part of the tree for searches, and read-only.
  EXPECT_EQ(ListAttributes(ByTag(kept, "p"), "id"), "in");
  KelIDOMNode_var p = Item(ByTag(kept, "p"), 0), appended;
  EXPECT_LT(AsElement(p)->setAttribute(U("id"), U("x")), 0);
  EXPECT_LT(p->appendChild(Element(kept, "q"), appended), 0);

  // Written with references kept or expanded, whichever way the document was read.
  const std::string asKept = "<r a=\"Hi &who;\" b=\"&none;\">Hello &who;!&part;</r>";
  const std::string asExpanded = "<r a=\"Hi World\" b=\"\">Hello World!<p id=\"in\">World</p></r>";
  EXPECT_NE(WriteText(builder_, kept, {{"KelExpandEntityReferences", "false"}}).find(asKept), std::string::npos);
  EXPECT_NE(WriteText(builder_, kept, {{"KelExpandEntityReferences", "true"}}).find(asExpanded), std::string::npos);

  KelIDOMDocument_var expanded;
  ASSERT_GE(ParseText(builder_, kEntities, expanded, {{"KelExpandEntityReferences", "true"}}), 0);
  EXPECT_EQ(ChildNames(Root(expanded)), "#text,p");
  EXPECT_EQ(Attribute(Root(expanded), "a"), "Hi World");
  EXPECT_NE(WriteText(builder_, expanded).find(asExpanded), std::string::npos);
}

TEST_F(XmlBuilder, NamespacedNamesAreQualifiedNames) {
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r xmlns='urn:d' xmlns:p='urn:p'><p:a p:x='1' y='2'><b/></p:a></r>", document), 0);
  for (const auto& [tag, count] : {std::pair{"p:a", 1u}, {"a", 0u}, {"b", 1u}, {"p:b", 0u}})
    EXPECT_EQ(Length(ByTag(document, tag)), count) << tag;
  KelIDOMElement_var root = Root(document);
  EXPECT_EQ(Attribute(root, "xmlns:p"), "urn:p");
  EXPECT_EQ(Attribute(root, "xmlns"), "urn:d");
  KelIDOMNode_var a = FirstChild(root);
  EXPECT_EQ(Name(a), "p:a");
  EXPECT_EQ(Attribute(a, "p:x"), "1");
  EXPECT_EQ(Attribute(a, "x"), "");
  // What a copy declares where it goes is among the write roads' cases.
}

TEST_F(XmlBuilder, ValuesLibxml2WritesRawAreWrittenEscaped) {
  // Found by fuzzing: markup characters and white space in a namespace URI
  // or in an attribute's declared default were written as they stand.
  const char kUri[] = "urn:a?x=1&y=<2>\"q'\tt\nn\rr";
  const std::string elements =
      "<r xmlns:p=\"urn:a?x=1&amp;y=&lt;2>&quot;q'&#9;t&#10;n&#13;r\"><p:e xmlns:q='&amp;'/></r>";
  const std::string subset =
      "<!DOCTYPE r [<!ENTITY e 'v'><!ATTLIST r d CDATA \"&amp;&#38;#60;&e;&#60;&quot;'&#9;&#10;&#13;\">]>";
  for (const std::string& text : {subset + elements, elements}) {
    for (const char* expand : {"true", "false"}) {
      SCOPED_TRACE(std::string("KelExpandEntityReferences ") + expand + ": " + text);
      const Options options{{"KelExpandEntityReferences", expand}};
      KelIDOMDocument_var document;
      ASSERT_GE(ParseText(builder_, text, document, options), 0);
      const std::string written = WriteText(builder_, document);
      KelIDOMDocument_var back;
      ASSERT_GE(ParseText(builder_, written, back, options), 0) << written;
      EXPECT_EQ(WriteText(builder_, back), written);
      EXPECT_EQ(Attribute(Root(back), "xmlns:p"), Attribute(Root(document), "xmlns:p"));
      // Kept references leave "&" as "&#38;" there, as libxml2 reads it.
      if (expand == std::string("true")) {
        EXPECT_EQ(Attribute(Root(document), "xmlns:p"), kUri);
      }
      // The document written keeps its own values.
      EXPECT_EQ(WriteText(builder_, document), written);
    }
  }
}

TEST_F(XmlBuilder, MalformedInputFailsWithWhereAndTheBuilderCarriesOn) {
  const std::pair<const char*, int> malformed[] = {
      {"<r>\n<a></b>\n</r>", 2}, {"", 1},         {"<r", 1},         {"<r>\n\n&undeclared;</r>", 3},
      {"<r a='1' a='2'/>", 1},   {"<r/><s/>", 1}, {"<r>\x01</r>", 1}};
  for (const auto& [text, expectedLine] : malformed) {
    SCOPED_TRACE(text);
    auto handler = Make<RecordingHandler>();
    KelIDOMDocument_var document;
    EXPECT_LT(ParseText(builder_, text, document, {}, nullptr, handler), 0);
    EXPECT_EQ(document, NULL_var);
    int line = 0, column = 0;
    EXPECT_NE(LastError(&line, &column), "");
    EXPECT_EQ(line, expectedLine);
    EXPECT_GE(column, 0);
    ASSERT_TRUE(handler->Has("fatal"));

    ASSERT_GE(ParseText(builder_, "<ok/>", document), 0);
    EXPECT_EQ(LastError(), "");
  }
  // With references kept, libxml2 never expands them, so the parse measures
  // what they stand for and refuses what an expanding parse would refuse:
  // over 10 MB, and over 10 times the bytes read.
  const Options kept{{"KelExpandEntityReferences", "false"}};
  KelIDOMDocument_var document;
  for (bool inAttribute : {false, true}) {
    EXPECT_LT(ParseText(builder_, hostile::QuadraticBlowup(10000, 1001, inAttribute), document, kept), 0);
    EXPECT_NE(LastError().find("would expand to"), std::string::npos) << LastError();
    EXPECT_GE(ParseText(builder_, hostile::QuadraticBlowup(10000, 999, inAttribute), document, kept), 0);  // 9.99 MB
  }
}

// Handlers that raise, as a caller's code might.
class RaisingHandler final : public KelISAXErrorHandler {
 public:
  explicit RaisingHandler(bool platformError) : platformError(platformError) {}
  long warning(const KelXMLParseError&) override { return S_OK; }
  long error(const KelXMLParseError&) override { return S_OK; }
  long fatalError(const KelXMLParseError&) override {
    if (platformError) KelError::Throw(new KelInternalError(1));
    throw std::runtime_error("handler");
  }
  const bool platformError;
};

TEST_F(XmlBuilder, WhatCallbacksRaiseIsContained) {
  KelIDOMDocument_var document;
  EXPECT_LT(ParseText(builder_, "<r>", document, {}, nullptr, Make<RaisingHandler>(true)), 0);
  EXPECT_THROW(ParseText(builder_, "<r>", document, {}, nullptr, Make<RaisingHandler>(false)), std::runtime_error);
  EXPECT_GE(ParseText(builder_, "<r/>", document), 0);
}

// What a file holds is the string form (checked above); replacing a file is
// among the atomic writes.
TEST_F(XmlBuilder, FileWritesThatFail) {
  Scratch scratch;
  KelIDOMDocument_var document;
  ASSERT_GE(ParseText(builder_, "<r><a/></r>", document), 0);
  const std::string path = scratch.File("out.xml");
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
  EXPECT_TRUE(AllOk({file->getSystemId(systemId), file->getPublicId(publicId)}));
  EXPECT_EQ(U8(systemId) + " " + U8(publicId), "jobs.dtd -//Kel//Jobs//EN");
  KelIDOMDocument_var document;
  EXPECT_GE(builder_->parse(FileSource(DataPath("valid.xml")), document, {}, {}, nullptr, nullptr), 0);
  EXPECT_EQ(builder_->parse(KelIXMLInputSource_var(), document, {}, {}, nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
