// KelEdsXMLParser: lookups, readers, writers, copies, failure codes and the
// trace dump.
#include <array>
#include <functional>

#include "JobTestSupport.h"
#include "support/ResultCodes.h"

using namespace jobtest;
using testcodes::AllOk;

namespace {

using Lists = std::array<KelListValKelUnicodeString, 3>;

const KelEdsXMLParser& Nested() {  // tests/data/jobs/nested.xml
  static KelEdsXMLParser parser;
  static const long loaded = parser.LoadFile(kNested.c_str(), 0);
  EXPECT_EQ(loaded, S_OK);
  return parser;
}

// A document "<Integration version="1">" holding the job "J" (type "t", input "i").
void NewJob(KelEdsXMLParser& parser) {
  ASSERT_EQ(parser.Init("Integration", "1"), S_OK);
  ASSERT_GE(parser.AppendJobDefinition("J", "t", "i"), 0);
}

// The length of a list handed out by a lookup (released here); -1 for none.
int Count(KelIDOMNodeList* list) {
  const KelIDOMNodeList_var held = KelIDOMNodeList_var::Adopt(list);
  unsigned int length = 0;
  return held != NULL_var && held->getLength(length) >= 0 ? static_cast<int>(length) : -1;
}

// The readers, each into the lists it fills.
using Reader = std::function<long(const KelEdsXMLParser&, const char*, Lists&)>;
const Reader input = [](auto& p, auto id, Lists& l) { return p.GetJobInput(id, l[0], l[1], l[2]); };
const Reader context = [](auto& p, auto id, Lists& l) { return p.GetJobContextInput(id, l[0], l[1], l[2]); };
const Reader output = [](auto& p, auto id, Lists& l) { return p.GetJobOutput(id, l[0], l[1], l[2]); };
const Reader deleted = [](auto& p, auto id, Lists& l) { return p.GetJobDeleteErrOutput(id, l[0], l[1], l[2]); };
const Reader report = [](auto& p, auto id, Lists& l) { return p.GetJobReportOutput(id, l[0]); };
const Reader jobs = [](auto& p, auto, Lists& l) { return p.GetJobDefinition(l[0], l[1], l[2]); };

TEST(JobLookup, FirstJobOfAnIdAtAnyDepthAndTheDataBelowIt) {
  const KelEdsXMLParser& parser = Nested();
  for (const auto& [id, type] :
       {std::pair<const char*, const char*>{"J1", "route"}, {"J2", "delete"}, {"", "no id"}, {"J3", "<none>"}}) {
    KelIDOMElement* job = nullptr;
    ASSERT_GE(parser.GetDOMElemByTagName("EDB_Job", "EDB_Id", id, &job), 0);
    const KelIDOMElement_var held = KelIDOMElement_var::Adopt(job);
    KelUnicodeString value("<none>");
    if (held != NULL_var) held->getAttribute("EDB_Type", value);
    EXPECT_EQ(value.ToUTF8(), type);
  }
  KelIDOMNodeList *all, *inputs, *defaulted, *context, *outputs, *unknown;
  EXPECT_TRUE(AllOk({parser.GetDOMElemByTagName("EDB_JobInData", &all), parser.GetJobOutputNodeList("J2", &outputs)}));
  EXPECT_TRUE(AllOk(
      {parser.GetNodeListUnderJobId("J1", "EDB_JobInData", &inputs), parser.GetJobInputNodeList("J1", &defaulted)}));
  EXPECT_TRUE(AllOk({parser.GetJobInputNodeList("J1", &context, "EDB_JobContextInData"),
                     parser.GetJobOutputNodeList("J9", &unknown)}));
  EXPECT_EQ(
      (std::vector<int>{Count(all), Count(inputs), Count(defaulted), Count(context), Count(outputs), Count(unknown)}),
      (std::vector<int>{3, 2, 2, 1, 1, -1}));
}

// A list handed out follows the document: a job appended joins it.
TEST(JobLookup, ListsFollowTheDocument) {
  KelEdsXMLParser parser;
  NewJob(parser);
  KelIDOMNodeList* jobs = nullptr;
  ASSERT_GE(parser.GetDOMElemByTagName("EDB_Job", &jobs), 0);
  const KelIDOMNodeList_var held = KelIDOMNodeList_var::Adopt(jobs);
  held->AddRef();
  ASSERT_GE(parser.AppendJobDefinition("2", "t", ""), 0);
  EXPECT_EQ(Count(held.get()), 2);
}

TEST(JobRead, EveryReaderAppendsParallelListsInDocumentOrder) {
  const std::tuple<Reader, const char*, std::array<Strings, 3>> cases[] = {
      {input, "J1", {{{"length", "name"}, {"12.5", ""}, {"Double", ""}}}},
      {context, "J1", {{{"wp"}, {"WP1"}, {"String"}}}},
      {output, "J2", {{{"n"}, {"v"}, {"t"}}}},
      {deleted, "J2", {{{"Cable"}, {"FK_1"}, {"o1"}}}},
      {report, "J2", {{{"r1", "r2"}, {}, {}}}},
      {report, "", {{{"anonymous"}, {}, {}}}},
      {input, "J9", {}},
      {jobs, "", {{{"J1", "J2", "J1", ""}, {"route", "delete", "duplicate", "no id"}, {"first", "", "second", ""}}}}};
  for (const auto& [read, id, expected] : cases) {
    Lists lists;
    ASSERT_GE(read(Nested(), id, lists), 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Of(lists[k]), expected[k]) << id << " list " << k;
    ASSERT_GE(read(Nested(), id, lists), 0);  // appended again, never cleared
    EXPECT_EQ(lists[0].Size(), 2 * static_cast<int>(expected[0].size()));
  }
  KelUnicodeString key, file, type, parameters, kept("kept");
  ASSERT_GE(Nested().GetJobError("J1", key, file, type, parameters), 0);  // the first of two
  EXPECT_EQ(Of({key, file, type, parameters}), (Strings{"K1", "F1", "T1", "a@b"}));
  EXPECT_LT(Nested().GetJobError("J2", kept, file, type, parameters), 0);  // a job without error
  EXPECT_LT(Nested().GetSingleJobDefinition(kept, kept, kept), 0);         // four jobs
  EXPECT_EQ(kept.ToUTF8(), "kept");
}

TEST(JobWrite, AttributeRulesOrderAndPlace) {
  KelEdsXMLParser p;
  NewJob(p);
  const KelListValKelUnicodeString rows{"r1", "r2"}, parameters{"a", "b@c", "d"}, none;
  for (long code :
       {p.InsertJobInput("J", "n", "", ""), p.InsertJobInput("J", "n", "", "T"), p.InsertJobInput("J", "n", "V", ""),
        p.InsertJobContextInput("J", "n", "V", "T"), p.InsertJobOutput("J", "", "", ""),
        p.InsertJobOutput("J", "n", "bad\x01", "t"),  // goes in with what could be set
        p.InsertJobDeleteErrOutput("J", "c", "k", "o"), p.InsertJobReportOutput("J", rows),
        p.InsertJobErrorMsg("J", "k", "f", &parameters), p.InsertJobErrorMsg("J", "k", "f", &none),
        p.InsertJobErrorMsg("J", "k", "f", nullptr), p.AppendJobDefinition("J", "t2", "i2"),
        p.InsertJobOutput("J", "n", "v", "t")}) {  // into the first job of the id
    EXPECT_GE(code, 0);
  }
  EXPECT_LT(p.InsertJobReportOutput("J", none), 0);
  // Unlike the other data, a row that cannot be set is not appended, and it stops the rows after it.
  EXPECT_LT(p.InsertJobReportOutput("J", KelListValKelUnicodeString{"bad\x01", "r3"}), 0);
  EXPECT_EQ(Stream(p, true),
            "<Integration version=\"1\"><EDB_Job EDB_Id=\"J\" EDB_Type=\"t\" EDB_JobInput=\"i\">"
            "<EDB_JobInData EDB_iAttrName=\"n\"/>"
            "<EDB_JobInData EDB_iAttrName=\"n\" EDB_iAttrType=\"T\"/>"
            "<EDB_JobInData EDB_iAttrName=\"n\" EDB_iAttrValue=\"V\"/>"
            "<EDB_JobContextInData EDB_Ctxt_iAttrName=\"n\" EDB_Ctxt_iAttrValue=\"V\" EDB_Ctxt_iAttrType=\"T\"/>"
            "<EDB_JobOutData EDB_oAttrName=\"\" EDB_oAttrValue=\"\" EDB_oAttrType=\"\"/>"
            "<EDB_JobOutData EDB_oAttrName=\"n\"/>"
            "<EDB_JobDeleteErrOutData EDB_oRefClassName=\"c\" EDB_oRefCstName=\"k\" EDB_oRefObject=\"o\"/>"
            "<EDB_JobReportOutData EDB_JobReportOneRow=\"r1\"/><EDB_JobReportOutData EDB_JobReportOneRow=\"r2\"/>"
            "<EDB_JobError EDB_JobErrorKey=\"k\" EDB_JobErrorFile=\"f\" EDB_JobErrorParm=\"a@b@c@d\"/>"
            "<EDB_JobError EDB_JobErrorKey=\"k\" EDB_JobErrorFile=\"f\" EDB_JobErrorParm=\"\"/>"
            "<EDB_JobError EDB_JobErrorKey=\"k\" EDB_JobErrorFile=\"f\" EDB_JobErrorParm=\"\"/>"
            "<EDB_JobOutData EDB_oAttrName=\"n\" EDB_oAttrValue=\"v\" EDB_oAttrType=\"t\"/>"
            "</EDB_Job><EDB_Job EDB_Id=\"J\" EDB_Type=\"t2\" EDB_JobInput=\"i2\"/></Integration>\n");
}

TEST(JobCopy, InputsOrRowsAndOutputsOfASingleJobGoToTheJobOfTheSameId) {
  KelEdsXMLParser source, target, twoJobs, rowsOnly, other;
  const KelListValKelUnicodeString rows{"r1"};
  for (KelEdsXMLParser* parser : {&source, &target, &twoJobs, &rowsOnly}) NewJob(*parser);
  ASSERT_EQ(other.Init("Integration", "1"), S_OK);
  ASSERT_EQ(twoJobs.AppendJobDefinition("K", "t", ""), S_OK);
  ASSERT_TRUE(AllOk({source.InsertJobInput("J", "a", "1", "Int"), source.InsertJobInput("J", "b", "", ""),
                     source.InsertJobContextInput("J", "c", "", ""), source.InsertJobOutput("J", "o", "v", "t"),
                     source.InsertJobReportOutput("J", rows), rowsOnly.InsertJobReportOutput("J", rows)}));
  const std::string untouched = Stream(target);
  EXPECT_LT(target.InsertSingleJobInputFromParser(nullptr), 0);
  EXPECT_LT(target.InsertSingleJobOutputFromParser(&twoJobs), 0);
  EXPECT_LT(target.InsertSingleJobInputFromParser(&rowsOnly), 0);  // nothing to copy
  EXPECT_EQ(Stream(target), untouched);
  EXPECT_TRUE(AllOk({target.InsertSingleJobInputFromParser(&source), target.InsertSingleJobOutputFromParser(&source)}));
  EXPECT_EQ(Stream(target, true),
            "<Integration version=\"1\"><EDB_Job EDB_Id=\"J\" EDB_Type=\"t\" EDB_JobInput=\"i\">"
            "<EDB_JobInData EDB_iAttrName=\"a\" EDB_iAttrValue=\"1\" EDB_iAttrType=\"Int\"/>"
            "<EDB_JobInData EDB_iAttrName=\"b\"/><EDB_JobReportOutData EDB_JobReportOneRow=\"r1\"/>"
            "<EDB_JobOutData EDB_oAttrName=\"o\" EDB_oAttrValue=\"v\" EDB_oAttrType=\"t\"/></EDB_Job></Integration>\n");
  EXPECT_GE(other.InsertSingleJobOutputFromParser(&rowsOnly), 0);  // rows for a job it lacks: nothing
  EXPECT_EQ(Stream(other, true), "<Integration version=\"1\"/>\n");
}

TEST(JobFailures, NoDocumentUnknownJobAndNullOutPointers) {
  const KelListValKelUnicodeString rows{"r"};
  using Operation = std::function<long(KelEdsXMLParser&, const char*)>;
  Lists l;
  const auto reading = [&](const Reader& read) { return [&l, read](auto& p, auto id) { return read(p, id, l); }; };
  const Operation operations[] = {reading(input),
                                  reading(context),
                                  reading(output),
                                  reading(deleted),
                                  reading(report),
                                  [](auto& p, auto id) { return p.InsertJobInput(id, "n", "v", "t"); },
                                  [](auto& p, auto id) { return p.InsertJobContextInput(id, "n", "v", "t"); },
                                  [](auto& p, auto id) { return p.InsertJobOutput(id, "n", "v", "t"); },
                                  [](auto& p, auto id) { return p.InsertJobDeleteErrOutput(id, "c", "k", "o"); },
                                  [&](auto& p, auto id) { return p.InsertJobReportOutput(id, rows); },
                                  [](auto& p, auto id) { return p.InsertJobErrorMsg(id, "k", "f", nullptr); }};
  KelEdsXMLParser empty, loaded;
  LogCapture log;
  for (const Operation& operation : operations) EXPECT_LT(operation(empty, "J1"), 0);
  EXPECT_LT(jobs(empty, "", l), 0);
  EXPECT_LT(empty.AppendJobDefinition("J", "t", "i"), 0);
  EXPECT_EQ(log.messages.size(), std::size(operations) + 3);  // GetDocument each time, and GetRoot
  EXPECT_EQ(log.messages.back(), "error in KelEdsDomParser::GetRoot (): _spKelIDOMroot.isNull()");

  ASSERT_EQ(loaded.LoadFile(kNested.c_str(), 0), S_OK);
  const std::string before = Stream(loaded);
  for (const Operation& operation : operations) EXPECT_GE(operation(loaded, "unknown"), 0);
  EXPECT_EQ(Stream(loaded), before);
  EXPECT_EQ(l[0].Size() + l[1].Size() + l[2].Size(), 0);
  KelUnicodeString s;
  EXPECT_LT(loaded.GetJobError("unknown", s, s, s, s), 0);
  for (long code :
       {loaded.GetDOMElemByTagName("EDB_Job", nullptr), loaded.GetDOMElemByTagName("EDB_Job", "EDB_Id", "J1", nullptr),
        loaded.GetNodeListUnderJobId("J1", "EDB_JobInData", nullptr), loaded.GetJobInputNodeList("J1", nullptr),
        loaded.GetJobOutputNodeList("J1", nullptr)}) {
    EXPECT_LT(code, 0);
  }
}

TEST(JobDump, PrintsTheDocumentOnlyWhenTracesAreOn) {
  KelEdsXMLParser parser;
  NewJob(parser);
  KelUnicodeString text;
  const KelListValKelUnicodeString defaults;
  ASSERT_GE(parser.GetDOMDocumentBuilder()->writeToString(parser.GetDocument(), text, defaults, defaults), 0);
  const std::string title = "----------- XML Dump --------------------------------------- \n";
  const std::string dump = std::string(60, '-') + " \n" + title + text.ToUTF8() + " \n" + title;
  for (const auto& [value, expected] :
       {std::pair<std::optional<std::string>, std::string>{std::nullopt, ""}, {"", dump}, {"1", dump}}) {
    ScopedEnv env("ECDBClientTraces", value);
    testing::internal::CaptureStdout();
    parser.DumpXML();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
  }
  ScopedEnv on("ECDBClientTraces", "1");
  LogCapture log;
  testing::internal::CaptureStdout();
  KelEdsXMLParser().DumpXML();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(log.messages, Strings{"error in KelEdsDomParser::GetDocument (): _spKelIDOMdocument.isNull()"});
}

}  // namespace
