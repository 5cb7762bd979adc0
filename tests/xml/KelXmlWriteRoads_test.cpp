// Writing into a string takes a direct road for common documents; writing to
// a file always goes through libxml2's serializer. Both must give the same
// bytes for every kind of document, whichever road the string took.
#include <gtest/gtest.h>

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
