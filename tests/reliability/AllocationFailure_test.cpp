// Out of memory, everywhere: each operation is run with its k-th platform
// allocation refused, for k = 0, 1, 2, ... until it runs without a refusal.
// Every run must end in the whole answer with a success code, or a failure
// code with the outputs as the operation documents them: never a success
// with less, a wrong answer, a crash or a leak (the sanitized build and
// valgrind see to those).
#include <algorithm>
#include <map>

#include "KelEdsEffectivityTool.h"
#include "reliability/ReliabilityTestSupport.h"

using namespace jobtest;
using namespace reltest;

namespace {

// What a metadata tool answers about each class, as text.
std::map<std::string, Strings> Answers(KelEdsMetadataTool& tool, const Strings& classes) {
  std::map<std::string, Strings> answers;
  for (const std::string& name : classes) {
    KelListValKelUnicodeString attrs, types, relations, relAttrs, targets, uniques;
    KelRawCollint mandatory;
    Strings& answer = answers[name];
    const long info = tool.GetAttributeInfo(name.c_str(), attrs, types, mandatory);
    const long relation = tool.GetRelationship(name.c_str(), relations, relAttrs, targets);
    const long unique = tool.GetUniqueAttrNames(name.c_str(), uniques);
    if (info < 0 || relation < 0 || unique < 0) {
      // A failing query touches no output.
      EXPECT_TRUE(attrs.IsEmpty() && types.IsEmpty() && mandatory.Size() == 0 && relations.IsEmpty() &&
                  relAttrs.IsEmpty() && targets.IsEmpty() && uniques.IsEmpty())
          << name;
      answer = {"failed"};
      continue;
    }
    for (const auto* list : {&attrs, &types, &relations, &relAttrs, &targets, &uniques}) {
      for (const KelUnicodeString& text : *list) answer.push_back(text.ToUTF8());
      answer.push_back("|");
    }
    for (int flag : mandatory.Values()) answer.push_back(std::to_string(flag));
  }
  return answers;
}

// The tool's dictionary is made of one allocation for itself and one per
// class. Without any of them the tool has no dictionary: every dictionary
// query fails and touches no output, and only GetComputedAttrType answers.
TEST(AllocationFailure, MetadataToolConstruction) {
  KelEdsMetadataTool whole;
  KelListValKelUnicodeString classList, keys, statementList;
  ASSERT_GE(whole.GetClassInfo(classList, keys, 0), 0);
  ASSERT_GE(whole.GenerateSQLStatements(statementList), 0);
  const Strings classes = Of(classList), statements = Of(statementList);
  const auto answers = Answers(whole, classes);

  const long allocations = SweepAllocationFailures([&](long k, bool& refused) {
    std::optional<KelEdsMetadataTool> tool;
    FailingAllocation(k, refused, [&] { tool.emplace(); });
    KelUnicodeString type;
    EXPECT_GE(tool->GetComputedAttrType("CS_Percent_Fill", type), 0);
    EXPECT_EQ(type.ToUTF8(), "Double");

    KelListValKelUnicodeString known, knownKeys, sql;
    const long info = tool->GetClassInfo(known, knownKeys, 0);
    const long generated = tool->GenerateSQLStatements(sql);
    if (!refused) {
      EXPECT_EQ(Of(known), classes);
      EXPECT_EQ(Of(sql), statements);
      EXPECT_EQ(Answers(*tool, classes), answers);
      return;
    }
    EXPECT_LT(info, 0);
    EXPECT_LT(generated, 0);
    EXPECT_TRUE(known.IsEmpty() && sql.IsEmpty());
    KelUnicodeString neutral("untouched");
    EXPECT_LT(tool->ResolveDefine("EdbSQL_TB1_Work_Package", neutral), 0);
    EXPECT_EQ(neutral.ToUTF8(), "untouched");
    for (const auto& [name, answer] : Answers(*tool, classes)) EXPECT_EQ(answer, Strings{"failed"}) << name;
  });
  EXPECT_EQ(allocations, 1 + static_cast<long>(classes.size()));
}

const char kJobs[] =
    "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\">"
    "<Integration version=\"3\">"
    "<EDB_Job EDB_Id=\"J1\" EDB_Type=\"route\" EDB_JobInput=\"in\">"
    "<EDB_JobInData EDB_iAttrName=\"length\" EDB_iAttrValue=\"12.5\" EDB_iAttrType=\"Double\"/>"
    "<EDB_JobContextInData EDB_Ctxt_iAttrName=\"wp\" EDB_Ctxt_iAttrValue=\"WP1\"/>"
    "<EDB_JobOutData EDB_oAttrName=\"n\" EDB_oAttrValue=\"v\" EDB_oAttrType=\"t\"/>"
    "<EDB_JobReportOutData EDB_JobReportOneRow=\"r1\"/>"
    "<EDB_JobDeleteErrOutData EDB_oRefClassName=\"C\" EDB_oRefCstName=\"X\" EDB_oRefObject=\"O\"/>"
    "<EDB_JobError EDB_JobErrorKey=\"K\" EDB_JobErrorFile=\"F\" EDB_JobErrorParm=\"a@b\"/>"
    "</EDB_Job>"
    "<EDB_Job EDB_Id=\"J2\" EDB_Type=\"delete\" EDB_JobInput=\"\"/>"
    "</Integration>";

// A validated load (which makes an entity resolver and its adaptor) either
// fails, or gives the document whole; a failed load does not stop the next.
TEST(AllocationFailure, ValidatedLoadStream) {
  ScopedEnv path("KelDictionaryPath", kDtdDirectory);
  const _SEQUENCE_octet bytes = Bytes(kJobs);
  KelEdsXMLParser reference;
  ASSERT_GE(reference.LoadStream(&bytes, 1, "KelEdsJobs.dtd"), 0);
  const std::string expected = Stream(reference);

  LogCapture quiet;
  const long allocations = SweepAllocationFailures([&](long k, bool& refused) {
    KelEdsXMLParser parser;
    const long code = FailingAllocation(k, refused, [&] { return parser.LoadStream(&bytes, 1, "KelEdsJobs.dtd"); });
    if (code < 0) {
      EXPECT_TRUE(refused);
      ASSERT_GE(parser.LoadStream(&bytes, 1, "KelEdsJobs.dtd"), 0);  // the next load works
    }
    EXPECT_EQ(Stream(parser), expected);
  });
  EXPECT_GT(allocations, 2);
}

// Writing to bytes: the bytes whole, or E_OUTOFMEMORY and no sequence.
TEST(AllocationFailure, GenerateStream) {
  KelEdsXMLParser parser;
  ASSERT_GE(Load(parser, kJobs), 0);
  const std::string expected = Stream(parser);
  const long allocations = SweepAllocationFailures([&](long k, bool& refused) {
    _SEQUENCE_octet* bytes = nullptr;
    const long code = FailingAllocation(k, refused, [&] { return parser.GenerateStream(&bytes); });
    if (code >= 0) {
      ASSERT_NE(bytes, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes->_buffer), bytes->_length), expected);
      delete bytes;
      return;
    }
    EXPECT_EQ(code, E_OUTOFMEMORY);
    EXPECT_EQ(bytes, nullptr);
  });
  EXPECT_GE(allocations, 2);  // at least the buffer and the sequence
}

// Whether `part` is `whole` with entries left out (none changed or moved).
bool IsSubsequence(const Strings& part, const Strings& whole) {
  auto at = whole.begin();
  for (const std::string& entry : part) {
    at = std::find(at, whole.end(), entry);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

// The elements of a written document, one string each ("<EDB_Job ...>").
Strings ElementsOf(const std::string& text) {
  Strings elements;
  for (std::size_t at = text.find("<EDB_"); at != std::string::npos; at = text.find("<EDB_", at + 1))
    elements.push_back(text.substr(at, text.find('>', at) - at));
  return elements;
}

// The queries, the SQL generation, the effectivity tool and the job readers:
// each answers whole with a success code or fails, whichever allocation is
// refused. A node that memory could not hold is no node to pass over: a job
// reader that fails holds in its lists the entries read before, in order.
TEST(AllocationFailure, QueriesAndReadersAnswerWholeOrFail) {
  KelEdsMetadataTool tool;
  KelEdsEffectivityTool effectivity;
  KelEdsXMLParser parser;
  ASSERT_GE(Load(parser, kJobs), 0);
  using List = KelListValKelUnicodeString;
  KelRawCollint mandatory;
  // Name, the call into up to three lists, and whether a failure keeps what was read before.
  const std::tuple<const char*, std::function<long(List&, List&, List&)>, bool> queries[] = {
      {"GetClassInfo", [&](auto& a, auto& b, auto&) { return tool.GetClassInfo(a, b, 0); }, false},
      {"GetAttributeInfo",
       [&](auto& a, auto& b, auto&) { return tool.GetAttributeInfo("Work_Package", a, b, mandatory = {}); }, false},
      {"GetRelationship", [&](auto& a, auto& b, auto& c) { return tool.GetRelationship("Cable_From_To", a, b, c); },
       false},
      {"GenerateSQLStatements", [&](auto& a, auto&, auto&) { return tool.GenerateSQLStatements(a); }, false},
      {"ComputeUnionEffectivityRange",
       [&](auto& a, auto& b, auto&) {
         KelRawCollint l1, u1, l2, u2, lu, uu;
         long code = effectivity.ParseEffectivityRange("(1-5)(9-oo)", l1, u1);
         if (code >= 0) code = effectivity.ParseEffectivityRange("(4-7)", l2, u2);
         if (code >= 0) code = effectivity.ComputeUnionEffectivityRange(l1, u1, l2, u2, lu, uu);
         for (int v : lu.Values()) a.Append(std::to_string(v).c_str());
         for (int v : uu.Values()) b.Append(std::to_string(v).c_str());
         return code;
       },
       false},
      {"GetJobDefinition", [&](auto& a, auto& b, auto& c) { return parser.GetJobDefinition(a, b, c); }, true},
      {"GetJobInput", [&](auto& a, auto& b, auto& c) { return parser.GetJobInput("J1", a, b, c); }, true},
      {"GetJobContextInput", [&](auto& a, auto& b, auto& c) { return parser.GetJobContextInput("J1", a, b, c); }, true},
      {"GetJobOutput", [&](auto& a, auto& b, auto& c) { return parser.GetJobOutput("J1", a, b, c); }, true},
      {"GetJobDeleteErrOutput", [&](auto& a, auto& b, auto& c) { return parser.GetJobDeleteErrOutput("J1", a, b, c); },
       true},
      {"GetJobReportOutput", [&](auto& a, auto&, auto&) { return parser.GetJobReportOutput("J1", a); }, true},
      {"GetJobError",
       [&](auto& a, auto&, auto&) {
         KelUnicodeString key, file, type, parameters;
         const long code = parser.GetJobError("J1", key, file, type, parameters);
         for (const KelUnicodeString* text : {&key, &file, &type, &parameters}) a.Append(*text);
         return code;
       },
       false},
  };
  for (const auto& [name, query, keepsWhatWasRead] : queries) {
    SCOPED_TRACE(name);
    List a, b, c;
    ASSERT_GE(query(a, b, c), 0);
    const std::vector<Strings> whole = {Of(a), Of(b), Of(c)};
    ASSERT_NE(whole, std::vector<Strings>(3));
    const long allocations = SweepAllocationFailures([&](long k, bool& refused) {
      List x, y, z;
      const long code = FailingAllocation(k, refused, [&] { return query(x, y, z); });
      const std::vector<Strings> got = {Of(x), Of(y), Of(z)};
      if (code >= 0) {
        EXPECT_EQ(got, whole);
      } else if (keepsWhatWasRead) {
        for (int list = 0; list < 3; ++list) EXPECT_TRUE(IsSubsequence(got[list], whole[list])) << list;
      }
      EXPECT_TRUE(refused || code >= 0);
    });
    if (std::string(name).rfind("GetJob", 0) == 0) {
      EXPECT_GE(allocations, 2);  // the job readers' walk of the tree makes node handles
    }
  }
}

// Writers: each one that succeeds has its element in the document, and one
// that fails has not (a report writer keeps the rows before the failing one).
// A refused job lookup is a failure, never the not-found success; only a job
// that is really missing (its append failed) gives that.
TEST(AllocationFailure, JobWriters) {
  auto build = [](KelEdsXMLParser& parser) {
    KelListValKelUnicodeString rows{"row 1", "row 2"}, parameters{"p1", "p2"};
    return std::vector<long>{parser.Init("Integration", "1"),
                             parser.AppendJobDefinition("J1", "route", "in"),
                             parser.InsertJobInput("J1", "length", "12.5", "Double"),
                             parser.InsertJobContextInput("J1", "wp", "WP1", "String"),
                             parser.InsertJobOutput("J1", "status", "routed", "String"),
                             parser.InsertJobDeleteErrOutput("J1", "Cable", "FK_1", "o1"),
                             parser.InsertJobReportOutput("J1", rows),
                             parser.InsertJobErrorMsg("J1", "K", "F", &parameters)};
  };
  // The element each writer adds, by position in `build`.
  const Strings tags = {"Integration",          "EDB_Job",        "EDB_JobInData",
                        "EDB_JobContextInData", "EDB_JobOutData", "EDB_JobDeleteErrOutData",
                        "EDB_JobReportOutData", "EDB_JobError"};
  KelEdsXMLParser reference;
  for (long code : build(reference)) ASSERT_GE(code, 0);
  const std::string expected = Stream(reference);

  LogCapture quiet;
  const long allocations = SweepAllocationFailures([&](long k, bool& refused) {
    KelEdsXMLParser parser;
    std::vector<long> codes;
    try {
      codes = FailingAllocation(k, refused, [&] { return build(parser); });
    } catch (const KelError::ThrowSmartPtr&) {
      return;  // Init without memory for its root raises through the empty root, as it is defined
    }
    if (!refused) {
      for (long code : codes) EXPECT_GE(code, 0);
      EXPECT_EQ(Stream(parser), expected);
      return;
    }
    if (parser.GetDocument() == NULL_var || parser.GetRoot() == NULL_var) return;  // Init refused
    const std::string written = Stream(parser);
    std::map<std::string, int> count;
    for (const std::string& element : ElementsOf(written)) ++count[element.substr(1, element.find(' ') - 1)];
    const bool jobThere = codes[1] >= 0 && count["EDB_Job"] == 1;
    EXPECT_EQ(count["EDB_Job"], codes[1] >= 0 ? 1 : 0) << written;
    for (std::size_t step = 2; step < tags.size(); ++step) {
      SCOPED_TRACE(tags[step]);
      const int rows = tags[step] == "EDB_JobReportOutData" ? 2 : 1;
      if (!jobThere) {
        EXPECT_EQ(count[tags[step]], 0);
      } else if (codes[step] >= 0) {
        EXPECT_EQ(count[tags[step]], rows) << written;
      } else {
        EXPECT_LT(count[tags[step]], rows) << written;
      }
    }
    KelEdsXMLParser back;
    EXPECT_GE(Load(back, written), 0) << written;
  });
  EXPECT_GT(allocations, 8);
}

// The metadata dictionary document is written whole, or not at all: on a
// failure the earlier file stays as it was, and no temporary file is left.
TEST(AllocationFailure, MetadataDocument) {
  Scratch scratch;
  const std::string uuids = scratch.File("uuids.txt");
  WriteUuidFile(uuids, 130);
  // Beside the document, where a validating load looks for it.
  std::filesystem::copy_file(kDtdDirectory + "/Dictionary00.dtd", scratch.File("Dictionary00.dtd"));
  KelEdsMetadataTool tool;
  const std::string output = scratch.File("dictionary.xml");
  auto generate = [&] { return GenerateMetadata(tool, uuids, output); };
  ASSERT_GE(generate(), 0);
  const std::string expected = ReadFile(output);
  const std::set<std::string> files = Entries(scratch.path);

  LogCapture quiet;
  const long allocations = SweepAllocationFailures([&](long k, bool& refused) {
    WriteFile(output, "previous");
    const long code = FailingAllocation(k, refused, generate);
    EXPECT_EQ(Entries(scratch.path), files);
    const std::string written = ReadFile(output);
    if (!refused) {
      EXPECT_GE(code, 0);
      EXPECT_EQ(written, expected);
      return;
    }
    EXPECT_EQ(written, code >= 0 ? expected : "previous");
  });
  EXPECT_GT(allocations, 100);
}

}  // namespace
