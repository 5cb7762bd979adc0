// Reading back what was written changes nothing: load, write, load, write
// gives the same bytes each time, for job documents (bytes and files) and for
// the metadata dictionary document.
#include "reliability/ReliabilityTestSupport.h"

using namespace jobtest;
using namespace reltest;

namespace {

// Values that need escaping or that a careless writer would damage.
const Strings kAwkward = {
    "plain",
    "",
    "a&b<c>d\"e'f",
    "tab\there",
    "line\nbreak and\r\ncarriage return",
    "  leading and trailing blanks  ",
    "C\xC3\xA2"
    "ble \xE7\x94\xB5\xE7\xBC\x86 \xF0\x9F\x94\x8C",
    "]]> and <!-- -->",
    "&amp; already escaped",
};

std::string BuiltJobs() {
  KelEdsXMLParser parser;
  EXPECT_EQ(parser.Init("Integration", "7"), S_OK);
  int job = 0;
  for (const std::string& value : kAwkward) {
    const std::string id = "J" + std::to_string(++job);
    EXPECT_GE(parser.AppendJobDefinition(id.c_str(), value.c_str(), value.c_str()), 0);
    EXPECT_GE(parser.InsertJobInput(id.c_str(), "name", value.c_str(), "String"), 0);
    EXPECT_GE(parser.InsertJobContextInput(id.c_str(), value.c_str(), value.c_str(), value.c_str()), 0);
    EXPECT_GE(parser.InsertJobOutput(id.c_str(), value.c_str(), value.c_str(), value.c_str()), 0);
    KelListValKelUnicodeString rows{value.c_str()};
    EXPECT_GE(parser.InsertJobReportOutput(id.c_str(), rows), 0);
    EXPECT_GE(parser.InsertJobErrorMsg(id.c_str(), value.c_str(), value.c_str(), &rows), 0);
  }
  return Stream(parser);
}

// Three loads, each of what the previous write gave.
Strings Rounds(const std::string& first, bool throughFiles, const Scratch& scratch) {
  Strings writes;
  std::string text = first;
  for (int round = 0; round < 3; ++round) {
    KelEdsXMLParser parser;
    if (throughFiles) {
      const std::string in = scratch.File("in.xml"), out = scratch.File("out.xml");
      WriteFile(in, text);
      EXPECT_GE(parser.LoadFile(in.c_str(), 0), 0) << text;
      EXPECT_GE(parser.GenerateFile(out.c_str()), 0);
      text = ReadFile(out);
    } else {
      EXPECT_GE(Load(parser, text), 0) << text;
      text = Stream(parser);
    }
    writes.push_back(text);
  }
  return writes;
}

TEST(Stability, DocumentsWriteTheSameBytesEveryRound) {
  Scratch scratch;
  WriteUuidFile(scratch.File("uuids.txt"), 130);
  ASSERT_GE(GenerateMetadata(scratch.File("uuids.txt"), scratch.File("dictionary.xml")), 0);
  const struct {
    std::string name, text;
    bool ours;  // written by the library: it comes back as it is from the first round on
  } documents[] = {
      {"built by the writers", BuiltJobs(), true},
      {"the metadata dictionary document", ReadFile(scratch.File("dictionary.xml")), true},
      {"nested.xml", ReadFile(kNested), false},
      {"with a DOCTYPE, entities, comments, CDATA and a processing instruction",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<!DOCTYPE Integration [<!ENTITY company \"Kel &amp; Co\">]>\n"
       "<Integration version=\"1\"><!-- sent by the server -->\n"
       "  <EDB_Job EDB_Id=\"J1\" EDB_Type=\"&company;\" EDB_JobInput=\"x\">"
       "<![CDATA[raw <text>]]><?trace on?>&company;</EDB_Job>\n</Integration>\n",
       false},
  };
  for (const auto& document : documents) {
    for (bool throughFiles : {false, true}) {
      SCOPED_TRACE(document.name + (throughFiles ? " through files" : " through bytes"));
      const Strings writes = Rounds(document.text, throughFiles, scratch);
      if (document.ours) {
        EXPECT_EQ(writes[0], document.text);
      }
      EXPECT_EQ(writes[1], writes[0]);
      EXPECT_EQ(writes[2], writes[1]);
    }
  }
  // And the readers give back each value as it was written.
  KelEdsXMLParser back;
  ASSERT_GE(Load(back, BuiltJobs()), 0);
  KelListValKelUnicodeString ids, types, inputs, names, values, kinds;
  ASSERT_GE(back.GetJobDefinition(ids, types, inputs), 0);
  EXPECT_EQ(Of(types), kAwkward);
  EXPECT_EQ(Of(inputs), kAwkward);
  for (const KelUnicodeString& id : ids) ASSERT_GE(back.GetJobContextInput(id, names, values, kinds), 0);
  EXPECT_EQ(Of(names), kAwkward);
  EXPECT_EQ(Of(kinds), kAwkward);
}

}  // namespace
