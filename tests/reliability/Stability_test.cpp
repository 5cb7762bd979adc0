// Reading back what was written changes nothing: load, write, load, write
// gives the same bytes each time, for job documents (bytes and files) and for
// the metadata dictionary document.
#include "KelEdsMetadataTool.h"
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
    KelListValKelUnicodeString rows;
    rows.Append(value.c_str());
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

TEST(Stability, JobDocumentsWriteTheSameBytesEveryRound) {
  Scratch scratch;
  const std::vector<std::pair<std::string, std::string>> documents = {
      {"built by the writers", BuiltJobs()},
      {"nested.xml", ReadFile(kNested)},
      {"with a DOCTYPE, entities, comments, CDATA and a processing instruction",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<!DOCTYPE Integration [<!ENTITY company \"Kel &amp; Co\">]>\n"
       "<Integration version=\"1\"><!-- sent by the server -->\n"
       "  <EDB_Job EDB_Id=\"J1\" EDB_Type=\"&company;\" EDB_JobInput=\"x\">"
       "<![CDATA[raw <text>]]><?trace on?>&company;</EDB_Job>\n</Integration>\n"},
  };
  for (const auto& [name, text] : documents) {
    for (bool throughFiles : {false, true}) {
      SCOPED_TRACE(name + (throughFiles ? " through files" : " through bytes"));
      const Strings writes = Rounds(text, throughFiles, scratch);
      EXPECT_EQ(writes[1], writes[0]);
      EXPECT_EQ(writes[2], writes[1]);
    }
  }
  // What the writers wrote is what comes back, from the first round on.
  EXPECT_EQ(Rounds(BuiltJobs(), false, scratch)[0], BuiltJobs());
}

TEST(Stability, TheMetadataDocumentReadsBackToTheSameBytes) {
  Scratch scratch;
  WriteUuidFile(scratch.File("uuids.txt"), 130);
  KelEdsMetadataTool tool;
  const std::string generated = scratch.File("dictionary.xml");
  testing::internal::CaptureStdout();
  const long code = tool.GenerateNorvaleMetaData(scratch.File("uuids.txt").c_str(), {}, {}, generated.c_str());
  testing::internal::GetCapturedStdout();
  ASSERT_GE(code, 0);
  const std::string original = ReadFile(generated);
  for (bool throughFiles : {false, true}) {
    SCOPED_TRACE(throughFiles ? "through files" : "through bytes");
    const Strings writes = Rounds(original, throughFiles, scratch);
    EXPECT_EQ(writes[0], original);
    EXPECT_EQ(writes[1], writes[0]);
    EXPECT_EQ(writes[2], writes[1]);
  }
}

}  // namespace
