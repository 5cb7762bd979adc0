// KelEdsDomParser: creating and writing, loading, failure codes and messages.
#include "JobTestSupport.h"
#include "KelAllocator.h"
#include "KelIDOMDocument.h"
#include "support/ResultCodes.h"

using namespace jobtest;
using namespace testfiles;
using testcodes::AllOk;

namespace {

const char kJob[] =
    "<Integration version=\"1\"><EDB_Job EDB_Id=\"J1\" EDB_Type=\"t\" EDB_JobInput=\"\"/></Integration>";

// Runs `body` while platform allocations fail: `count` of them after `skip`.
template <class Body>
decltype(auto) Starved(long skip, long count, Body body) {
  KelAllocationFailureScope failing(skip, count);
  return body();
}

std::string RootName(const KelEdsDomParser& parser) {
  KelIDOMNode_var root = parser.GetRoot();
  KelUnicodeString name("<none>");
  if (root != NULL_var) root->getNodeName(name);
  return name.ToUTF8();
}

TEST(DomCreateWrite, InitRefusesNullAndBadTags) {
  KelEdsDomParser parser;
  ASSERT_EQ(parser.Init("Jobs", KelUnicodeString()), S_OK);
  EXPECT_EQ(Stream(parser, true), "<Jobs version=\"\"/>\n");
  EXPECT_EQ(parser.Init(KelUnicodeString(), "3"), E_INVALIDARG);
  EXPECT_EQ(RootName(parser), "Jobs");  // untouched
  EXPECT_GE(parser.dump(), 0);
  // A tag the DOM refuses makes no root: setting the version through the
  // empty root handle raises the null-handle error.
  EXPECT_THROW(parser.Init("1 not a name", "3"), KelError::ThrowSmartPtr);
  EXPECT_EQ(parser.dump(), E_FAIL);  // a document without element is not written
}

// The root is the first element of a file but the first child of a stream;
// a file is read with entity references expanded, a stream with them kept.
// Attribute values read the same either way: white space from an entity's
// text is a space, a character reference stays what it stands for.
TEST(DomLoad, RootAndEntityReferencesOfFilesAndStreams) {
  const std::string text =
      "<!DOCTYPE r [<!ENTITY e \"v\"><!ENTITY b \"x&#9;y\"><!ENTITY a \"&b;\">]>"
      "<r n=\"&a;|&#9;|&b;\">&e;</r>";
  Scratch scratch;
  std::ofstream(scratch.File("e.xml")) << text;
  LogCapture log;
  for (bool fromFile : {true, false}) {
    KelEdsDomParser parser;
    ASSERT_GE(fromFile ? parser.LoadFile(scratch.File("e.xml").c_str(), 0) : Load(parser, text), 0);
    EXPECT_EQ(RootName(parser), fromFile ? "r" : "<none>");
    KelIDOMElement_var root;
    KelIDOMNode_var child;
    unsigned short type = 0;
    ASSERT_TRUE(AllOk({parser.GetDocument()->getDocumentElement(root), root->getFirstChild(child)}));
    EXPECT_GE(child->getNodeType(type), 0);
    EXPECT_EQ(type, fromFile ? KelIDOMNode::TEXT_NODE : KelIDOMNode::ENTITY_REFERENCE_NODE);
    KelUnicodeString value;
    EXPECT_GE(root->getAttribute("n", value), 0);
    EXPECT_EQ(value.ToUTF8(), "x y|\t|x y") << (fromFile ? "file" : "stream");
    EXPECT_NE(Stream(parser).find("n=\"x y|&#9;|x y\""), std::string::npos);
  }
  EXPECT_EQ(log.messages, Strings{"error in KelEdsDomParser::GetRoot (): _spKelIDOMroot.isNull()"});
}

// Truncated, not XML, two roots, a zero byte (inside, or after the root as a
// C string's terminator: XML has no U+0000), binary noise: each fails, and the
// parser loads the next document.
TEST(DomLoad, DamagedBytesFailAndTheParserLoadsTheNextDocument) {
  const Strings damaged = {"<Integration version=\"1\"><EDB_Job EDB_Id=\"J",
                           "this is not XML",
                           "<a/><b/>",
                           "<a><b></a></b>",
                           "<?xml version=\"1.0\"?>",
                           std::string("<r/>\0<more/>", 12),
                           std::string("<r/>\0", 5),
                           "\x01\x02\xFF\xFE garbage"};
  KelEdsXMLParser parser;
  KelUnicodeString id, type, input;
  for (const std::string& text : damaged) {
    EXPECT_LT(Load(parser, text), 0) << text;
    EXPECT_TRUE(AllOk({Load(parser, kJob), parser.GetSingleJobDefinition(id, type, input)}));
  }
  // The parser says where the zero stands.
  KelUnicodeString message;
  int line = 0, column = 0;
  EXPECT_LT(Load(parser, std::string("<r>\n<a/>\0</r>", 14)), 0);
  EXPECT_GE(parser.GetDOMDocumentBuilder()->getLastError(message, line, column), 0);
  EXPECT_EQ(message.ToUTF8() + " " + std::to_string(line) + ":" + std::to_string(column),
            "U+0000 is not an XML character 2:5");
  EXPECT_LT(parser.LoadFile("/nonexistent/jobs.xml", 0), 0);
  EXPECT_GE(Load(parser, "\xEF\xBB\xBF<r/>"), 0);  // a byte-order mark is accepted
  // Read as UTF-8 whatever encoding a declaration names, after a mark or not.
  for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
    for (const char* encoding : {"ISO-8859-1", "UTF-8"}) {
      KelIDOMElement_var root;
      KelUnicodeString read;
      const std::string text = mark + "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?><R a=\"\xC3\xA9\"/>";
      ASSERT_TRUE(
          AllOk({Load(parser, text), parser.GetDocument()->getDocumentElement(root), root->getAttribute("a", read)}))
          << text;
      EXPECT_EQ(read.ToUTF8(), "\xC3\xA9") << text;
    }
  }
  // The bytes are decoded whole, as UTF-8: what is not UTF-8 (Latin-1, broken,
  // overlong, surrogate) reads as U+FFFD and loads.
  const std::string fffd = "\xEF\xBF\xBD";
  const std::pair<const char*, std::string> notUtf8[] = {{"<R a=\"\xE9t\xE9\"/>", fffd + "t" + fffd},
                                                         {"<R a=\"\xC3\x28\"/>", fffd + "("},
                                                         {"<R a=\"\xC0\xAF\"/>", fffd + fffd},
                                                         {"<R a=\"\xED\xA0\x80\"/>", fffd + fffd + fffd}};
  for (const auto& [text, value] : notUtf8) {
    KelIDOMElement_var root;
    KelUnicodeString read;
    ASSERT_TRUE(
        AllOk({Load(parser, text), parser.GetDocument()->getDocumentElement(root), root->getAttribute("a", read)}));
    EXPECT_EQ(read.ToUTF8(), value) << text;
  }
}

TEST(DomFailures, FixedCodesAndTheirMessages) {
  LogCapture log;
  KelEdsDomParser parser;
  _SEQUENCE_octet someone, *bytes = nullptr, *taken = &someone;
  for (long code : {parser.GenerateStream(&bytes), parser.GenerateFile("/tmp/never-written.xml"), parser.dump(),
                    parser.LoadStream(&someone, 0, nullptr)}) {  // no document; no bytes
    EXPECT_EQ(code, E_FAIL);
  }
  EXPECT_EQ(parser.LoadStream(nullptr, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(parser.GenerateStream(nullptr), E_INVALIDARG);
  EXPECT_EQ(parser.GenerateStream(&taken), E_INVALIDARG);
  EXPECT_EQ(taken, &someone);
  EXPECT_EQ(parser.GetDocument(), NULL_var);
  EXPECT_EQ(parser.GetRoot(), NULL_var);
  // No memory for the builder: the object exists without one.
  std::optional<KelEdsXMLParser> orphan;
  const _SEQUENCE_octet job = Bytes(kJob);
  Starved(0, 1, [&] { orphan.emplace(); });
  EXPECT_EQ(orphan->Init("Integration", "1"), S_OK);  // nothing made
  EXPECT_EQ(orphan->LoadFile("/nonexistent.xml", 0), E_FAIL);
  EXPECT_EQ(orphan->GetDOMDocumentBuilder(), NULL_var);
  EXPECT_ANY_THROW(orphan->LoadStream(&job, 0, nullptr));  // the empty builder handle raises
  // No memory for the SAX factory or its input source (the bytes out are
  // refused in AllocationFailure.GenerateStream).
  for (long skip : {0, 1}) EXPECT_EQ(Starved(skip, 1, [&] { return parser.LoadStream(&job, 0, nullptr); }), E_FAIL);
  EXPECT_EQ(log.messages,
            (Strings{"***ERROR*** input parameter must be null !!!",
                     "error in KelEdsDomParser::GetDocument (): _spKelIDOMdocument.isNull()",
                     "error in KelEdsDomParser::GetRoot (): _spKelIDOMroot.isNull()",
                     "error in KelEdsDomParser::KelEdsDomParser: NULL_var == spDOMDocumentBuilder",
                     "error in KelEdsDomParser::GetDOMDocumentBuilder (): NULL_var==_spDOMDocumentBuilder",
                     "***ERROR*** SAX factory cannot be created !!!!"}));
}

}  // namespace
