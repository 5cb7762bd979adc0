// The stand-in writes its tree itself, into a string (UTF-16) or a file
// (UTF-8), with the bytes libxml2's serializer writes; a document whose type
// names XHTML goes to libxml2's serializer. String and file must hold the
// same bytes for every kind of document, and the bytes are libxml2's
// (fuzz/fuzz_write_roads.cpp compares them with libxml2's own reading and
// writing).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "KelXmlTestSupport.h"

namespace {

using keltest::Options;
using keltest::U;

struct WriteCase {
  const char* name;
  const char* document;  // parsed; null: a new document with one element
  const char* edit;      // set as an attribute value and appended as text; null: none
  bool keepReferences;
  bool pretty;
};

const WriteCase kCases[] = {
    {"job", "<Integration version=\"1.0\"><EDB_Job EDB_Id=\"J\"><EDB_JobInData EDB_iAttrName=\"a\"/></EDB_Job></Integration>",
     nullptr, false, false},
    {"mixed content",
     "<?xml version=\"1.0\" standalone=\"yes\"?><!--top--><?top pi?><r a=\"&amp;&lt;&gt;&quot;&#9;&#10;&#13;'\" "
     "b=\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\">t&amp;&lt;&gt;&#13;\"'<![CDATA[a]]>]]&gt;<![CDATA[]]><!--c--><?p?>"
     "<e/>\xC3\xA9</r><!--after-->",
     nullptr, false, false},
    {"standalone no", "<?xml version=\"1.0\" standalone=\"no\"?><r/>", nullptr, false, false},
    {"edited values", nullptr, "\ttab\nline\rcr \"q\" 'a' <&> ]]> \xC3\xA9\xF0\x9F\x98\x80", false, false},
    {"namespaces", "<p:r xmlns:p=\"urn:p\" xmlns=\"urn:d\" p:a=\"1\"><e/></p:r>", "x", false, false},
    {"document type", "<!DOCTYPE r [<!ATTLIST r d CDATA \"v\">]><r/>", "x", false, false},
    {"references kept", "<!DOCTYPE r [<!ENTITY e \"text\">]><r a=\"&e;\">&e;</r>", nullptr, true, false},
    {"references expanded", "<!DOCTYPE r [<!ENTITY e \"text\">]><r a=\"&e;\">&e;</r>", nullptr, false, false},
    {"indented", "<r><a><b>t</b></a><c/></r>", "x", false, true},
};

TEST(KelXmlWriteRoads, StringAndFileWriteTheSameBytes) {
  const KelIXMLDOMDocumentBuilder_var builder = keltest::MakeBuilder();
  testfiles::Scratch scratch;
  for (const WriteCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const Options parse{{"KelExpandEntityReferences", c.keepReferences ? "false" : "true"}};
    const Options write{{"KelExpandEntityReferences", c.keepReferences ? "false" : "true"},
                        {"KelFormatPrettyPrint", c.pretty ? "true" : "false"}};
    KelIDOMDocument_var document;
    if (c.document != nullptr) {
      ASSERT_GE(keltest::ParseText(builder, c.document, document, parse), 0);
    } else {
      document = keltest::NewDocument(builder);
      keltest::Append(document, keltest::Element(document, "r"));
    }
    if (c.edit != nullptr) {
      const KelIDOMElement_var root = keltest::Root(document);
      ASSERT_GE(root->setAttribute(U("edited"), U(c.edit)), 0);
      keltest::Append(root, keltest::Text(document, c.edit));
    }
    const std::string path = scratch.File(std::string(c.name) + ".xml");
    ASSERT_GE(builder->write(document, U(path), write.names, write.values), 0);
    EXPECT_EQ(keltest::WriteText(builder, document, write), testfiles::ReadFile(path));
  }
}

struct WrittenCase {
  const char* name;
  const char* document;
  bool keepReferences;  // when parsing
  bool expand;          // when writing
  bool pretty;
  const char* written;
};

const WrittenCase kWritten[] = {
    {"xhtml written by libxml2's own rules",
     "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">"
     "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head><body><p/><br/><p:q xmlns:p=\"urn:p\" p:a=\"1\"/></body></html>",
     false, false, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
     "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" /><title>t</title></head><body><p></p><br /><p:q xmlns:p=\"urn:p\" p:a=\"1\"></p:q></body></html>\n"},
    {"indented, references kept",
     "<!DOCTYPE r [<!ENTITY e \"<b>x</b>\"><!ENTITY t \"text\">]><r><a>&e;</a><c><d/>&t;</c><f><g/></f><!--c--><?p x?></r>",
     true, false, true,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<!DOCTYPE r [\n"
     "<!ENTITY e \"<b>x</b>\">\n"
     "<!ENTITY t \"text\">\n"
     "]>\n"
     "<r>\n"
     "  <a>&e;</a>\n"
     "  <c><d/>&t;</c>\n"
     "  <f>\n"
     "    <g/>\n"
     "  </f>\n"
     "  <!--c-->\n"
     "  <?p x?>\n"
     "</r>\n"},
    {"indented, references expanded on writing",
     "<!DOCTYPE r [<!ENTITY e \"<b>x</b>\"><!ENTITY t \"text\"><!ENTITY n \"\">]><r><a>&e;</a><c><d/>&t;</c><h>&n;</h><f><g/></f></r>",
     true, true, true,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<!DOCTYPE r [\n"
     "<!ENTITY e \"<b>x</b>\">\n"
     "<!ENTITY t \"text\">\n"
     "<!ENTITY n \"\">\n"
     "]>\n"
     "<r>\n"
     "  <a>\n"
     "    <b>x</b>\n"
     "  </a>\n"
     "  <c><d/>text</c>\n"
     "  <h/>\n"
     "  <f>\n"
     "    <g/>\n"
     "  </f>\n"
     "</r>\n"},
    {"processing instructions with and without data", "<r><?p?><?q ?><?s d?></r>", false, false, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<r><?p?><?q ?><?s d?></r>\n"},
    {"namespace URIs", "<r xmlns:p=\"a&gt;b&amp;c&lt;&#9;\" xmlns=\"d&quot;\"><p:e p:a=\"1\"/></r>", false, false, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<r xmlns:p=\"a>b&amp;c&lt;&#9;\" xmlns=\"d&quot;\"><p:e p:a=\"1\"/></r>\n"},
    {"namespace URIs, references kept", "<r xmlns:p=\"a&gt;b&amp;c&#38;d\"/>", true, false, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<r xmlns:p=\"a>b&#38;c&#38;d\"/>\n"},
    {"declared defaults", "<!DOCTYPE r [<!ATTLIST r d CDATA \"a&quot;&#9;b&amp;\">]><r/>", false, false, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<!DOCTYPE r [\n"
     "<!ATTLIST r d CDATA \"a&quot;&#9;b&amp;\">\n"
     "]>\n"
     "<r d=\"a&quot;&#9;b&amp;\"/>\n"},
    {"attribute references kept", "<!DOCTYPE r [<!ENTITY e \"x&#9;y\">]><r a=\"1&e;2&amp;\" b=\"&e;\"/>", true, false, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<!DOCTYPE r [\n"
     "<!ENTITY e \"x&#9;y\">\n"
     "]>\n"
     "<r a=\"1&e;2&amp;\" b=\"&e;\"/>\n"},
    {"attribute references expanded on writing", "<!DOCTYPE r [<!ENTITY e \"x&#9;y\">]><r a=\"1&e;2&amp;\"/>", true, true, false,
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<!DOCTYPE r [\n"
     "<!ENTITY e \"x&#9;y\">\n"
     "]>\n"
     "<r a=\"1x y2&amp;\"/>\n"},
    {"a name that only looks like a declaration, references kept", "<r a=\"1\" xmlns:0=\"u&amp;x;&gt;\"/>", true,
     false, false, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r a=\"1\" xmlns:0=\"u&amp;x;&gt;\"/>\n"},
};

TEST(KelXmlWriteRoads, WritesWhatLibxml2Writes) {
  const KelIXMLDOMDocumentBuilder_var builder = keltest::MakeBuilder();
  testfiles::Scratch scratch;
  for (const WrittenCase& c : kWritten) {
    SCOPED_TRACE(c.name);
    const Options parse{{"KelExpandEntityReferences", c.keepReferences ? "false" : "true"}};
    const Options write{{"KelExpandEntityReferences", c.expand || !c.keepReferences ? "true" : "false"},
                        {"KelFormatPrettyPrint", c.pretty ? "true" : "false"}};
    KelIDOMDocument_var document;
    ASSERT_GE(keltest::ParseText(builder, c.document, document, parse), 0);
    EXPECT_EQ(keltest::WriteText(builder, document, write), c.written);
    const std::string path = scratch.File("written.xml");
    ASSERT_GE(builder->write(document, U(path), write.names, write.values), 0);
    EXPECT_EQ(testfiles::ReadFile(path), c.written);
  }
}

// libxml2 indents thirty levels at most.
TEST(KelXmlWriteRoads, IndentsThirtyLevelsAtMost) {
  const KelIXMLDOMDocumentBuilder_var builder = keltest::MakeBuilder();
  std::string document, expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  constexpr int kDepth = 33;
  for (int i = 0; i < kDepth; ++i) document += "<e" + std::to_string(i) + (i + 1 < kDepth ? ">" : "/>");
  for (int i = kDepth - 2; i >= 0; --i) document += "</e" + std::to_string(i) + ">";
  auto indent = [](int level) { return std::string(2 * static_cast<std::size_t>(std::min(level, 30)), ' '); };
  for (int i = 0; i < kDepth; ++i) expected += indent(i) + "<e" + std::to_string(i) + (i + 1 < kDepth ? ">\n" : "/>\n");
  for (int i = kDepth - 2; i >= 0; --i) expected += indent(i) + "</e" + std::to_string(i) + ">\n";
  KelIDOMDocument_var parsed;
  ASSERT_GE(keltest::ParseText(builder, document, parsed), 0);
  EXPECT_EQ(keltest::WriteText(builder, parsed, Options{{"KelFormatPrettyPrint", "true"}}), expected);
}

// Copies declare the namespaces their names were bound to, and only those: an
// element the DOM made has none, an attribute set with a prefix in scope has
// that prefix's.
TEST(KelXmlWriteRoads, CopiesDeclareTheNamespacesTheirNamesWereGiven) {
  const KelIXMLDOMDocumentBuilder_var builder = keltest::MakeBuilder();
  KelIDOMDocument_var document;
  ASSERT_GE(
      keltest::ParseText(builder, "<r xmlns='urn:d' xmlns:p='urn:p'><p:a p:x='1' y='2'><b/></p:a></r>", document), 0);
  const KelIDOMElement_var root = keltest::Root(document);
  ASSERT_GE(keltest::AsElement(keltest::FirstChild(root))->setAttribute(U("p:z"), U("3")), 0);
  const KelIDOMElement_var made = keltest::Element(document, "e");
  keltest::Append(root, made);
  ASSERT_GE(made->setAttribute(U("p:x"), U("1")), 0);  // the prefix is in scope here
  const KelIDOMElement_var loose = keltest::Element(document, "f");
  ASSERT_GE(loose->setAttribute(U("p:y"), U("2")), 0);  // and not here
  keltest::Append(root, loose);
  const KelIDOMElement_var holder = keltest::Element(document, "holder");
  for (const KelIDOMNode_var& node : {KelIDOMNode_var(made), KelIDOMNode_var(loose), keltest::FirstChild(root)}) {
    KelIDOMNode_var copy;
    ASSERT_GE(node->cloneNode(true, copy), 0);
    keltest::Append(holder, copy);
  }
  keltest::Append(root, holder);
  EXPECT_EQ(keltest::WriteText(builder, document),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r xmlns=\"urn:d\" xmlns:p=\"urn:p\">"
            "<p:a p:x=\"1\" y=\"2\" p:z=\"3\"><b/></p:a><e p:x=\"1\"/><f p:y=\"2\"/><holder>"
            "<e xmlns:p=\"urn:p\" p:x=\"1\"/><f p:y=\"2\"/>"
            "<p:a xmlns:p=\"urn:p\" p:x=\"1\" y=\"2\" p:z=\"3\"><b xmlns=\"urn:d\"/></p:a></holder></r>\n");
}

// What both roads agree on is XML that reads back: the escapes libxml2 writes.
TEST(KelXmlWriteRoads, EscapesWhatWouldReadBackOtherwise) {
  const KelIXMLDOMDocumentBuilder_var builder = keltest::MakeBuilder();
  const KelIDOMDocument_var document = keltest::NewDocument(builder);
  const KelIDOMElement_var root = keltest::Element(document, "r", {{"a", "\t\n\r\"<>&'"}});
  keltest::Append(document, root);
  keltest::Append(root, keltest::Text(document, "\r\n\"<>&'\t"));
  EXPECT_EQ(keltest::WriteText(builder, document),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<r a=\"&#9;&#10;&#13;&quot;&lt;&gt;&amp;'\">&#13;\n\"&lt;&gt;&amp;'\t</r>\n");
}

}  // namespace
