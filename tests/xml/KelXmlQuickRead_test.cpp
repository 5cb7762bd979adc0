// The quick reader of plain documents against libxml2's parser: for every
// document, whichever reader takes it, the result code, what the error handler
// hears, the DOM and the written bytes are those of libxml2's parser alone
// ("KelParseWithLibxml2"). The cases sit on the edges of what the quick reader
// takes.
#include <gtest/gtest.h>

#include <string>

#include "xml/KelXmlTestSupport.h"

namespace keltest {
namespace {

// Type, name and value of every node below `node`, with the shape.
std::string Outline(const KelIDOMNode_var& node) {
  std::string out;
  for (KelIDOMNode_var child = FirstChild(node); child != NULL_var; child = NextSibling(child)) {
    out += "(" + std::to_string(TypeOf(child)) + " " + Name(child) + "=" + Value(child) + Outline(child) + ")";
  }
  return out;
}

struct Read {
  long result = 0;
  std::string heard, outline, written;
};

Read ReadWith(const std::string& text, bool expand, bool libxml2) {
  const auto builder = MakeBuilder();
  const auto handler = Make<RecordingHandler>();
  KelIDOMDocument_var document;
  Read read;
  read.result = ParseText(builder, text, document,
                          {{"KelExpandEntityReferences", expand ? "true" : "false"},
                           {"KelParseWithLibxml2", libxml2 ? "true" : "false"}},
                          nullptr, KelISAXErrorHandler_var(handler));
  for (const auto& entry : handler->entries) read.heard += entry.kind + ": " + entry.message + "\n";
  if (read.result >= 0) {
    read.outline = Outline(KelIDOMNode_var(document));
    read.written = WriteText(builder, document);
  }
  return read;
}

TEST(QuickRead, EveryDocumentReadsAsLibxml2ReadsIt) {
  const std::string deep257 = [] {
    std::string text;
    for (int i = 0; i < 257; ++i) text += "<e>";
    for (int i = 0; i < 257; ++i) text += "</e>";
    return text;
  }();
  const struct {
    const char* name;
    std::string text;
    bool loads;
  } cases[] = {
      {"job document", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<I version=\"1.0\"><J a=\"1\" b='2'/>\n</I>\n", true},
      {"no declaration", "<r/>", true},
      {"standalone yes, lower-case encoding", "<?xml version='1.0' encoding='utf-8' standalone='yes'?><r/>", true},
      {"standalone no, spaced", "<?xml version = '1.0'  standalone = \"no\" ?>\n<r/>", true},
      {"version 1.1 (a warning)", "<?xml version='1.1'?><r/>", true},
      {"another encoding", "<?xml version='1.0' encoding='ISO-8859-1'?><r a='x'/>", true},
      {"declaration without space", "<?xml version='1.0'encoding='UTF-8'?><r/>", false},
      {"references", "<r a='&lt;&amp;&#38;&#x41;&#65;&quot;&apos;&gt;'>&lt;x&amp;&#233;&#x10000;</r>", true},
      {"an ampersand as text after a reference", "<r a='&amp;#38;'>&amp;#38;</r>", true},
      {"blanks in values", "<r a='\tx\ny ' b=\"&#9;&#10;\"/>", true},
      {"carriage returns", "<r a='x\r\ny'>a\r\nb\rc</r>", true},
      {"non-ASCII text and values", "<r a='\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80'>\xEF\xBF\xBD</r>", true},
      {"white space between elements", "<r>\n  <e/>\n  <e></e >\n</r>\n\n", true},
      {"a comment, a PI, CDATA", "<!-- c --><r><!--x--><?p d?><![CDATA[<&]]></r><?q?>", true},
      {"namespaces", "<r xmlns='u' xmlns:p='v'><p:e p:a='1'/></r>", true},
      {"unbound prefix (an error, read on)", "<p:r/>", true},
      {"duplicate attribute", "<r a='1' a='2'/>", false},
      {"attributes without space", "<r a='1'b='2'/>", false},
      {"unknown entity", "<r>&nbsp;</r>", false},
      {"character reference to nothing", "<r>&#0;</r>", false},
      {"upper-case hex reference", "<r>&#X41;</r>", false},
      {"U+FFFE", "<r>\xEF\xBF\xBE</r>", false},
      {"]]> in text", "<r>a]]>b</r>", false},
      {"< in a value", "<r a='<'/>", false},
      {"end tag of another element", "<r><e></r></e>", false},
      {"unclosed", "<r><e/>", false},
      {"text after the root", "<r/>x", false},
      {"a control character", "<r>\x01</r>", false},
      {"no root", "<?xml version='1.0'?>", false},
      {"257 levels", deep257, true},
      {"258 levels", "<f>" + deep257 + "</f>", false},
      {"a document type", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>", true},
  };
  for (const auto& c : cases) {
    for (const bool expand : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (expand ? "" : ", references kept"));
      const Read quick = ReadWith(c.text, expand, false);
      const Read libxml2 = ReadWith(c.text, expand, true);
      EXPECT_EQ(quick.result >= 0, c.loads);
      EXPECT_EQ(quick.result, libxml2.result);
      EXPECT_EQ(quick.heard, libxml2.heard);
      EXPECT_EQ(quick.outline, libxml2.outline);
      EXPECT_EQ(quick.written, libxml2.written);
    }
  }
}

}  // namespace
}  // namespace keltest
