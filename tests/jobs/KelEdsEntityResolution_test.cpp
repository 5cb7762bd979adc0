// Validated loading: the DTD search along "KelDictionaryPath", the entity
// resolver behind its interface adaptor, and the shipped job DTD.
#include <cstdlib>

#include "JobTestSupport.h"
#include "KelEEdsSAXEntityResolver.h"
#include "KelEdsUtil.h"
#include "KelISAXEntityResolver.h"
#include "support/ResultCodes.h"

class KelEdsDomParserTestPeer {
 public:
  static long Search(const char* file, const char* variable, char* path) {
    return KelEdsDomParser::GetResourcePathFromEnvVar(file, variable, path);
  }
};

using namespace jobtest;
using namespace testfiles;
using testcodes::AllOk;

namespace {

const char kDtd[] = "KelEdsJobs.dtd";
const char kJob[] =
    "<EDB_Job EDB_Id=\"J1\" EDB_Type=\"t\" EDB_JobInput=\"\"><EDB_JobInData EDB_iAttrName=\"n\"/></EDB_Job>";

std::string Doctyped(const std::string& systemId, const std::string& jobs) {
  return "<!DOCTYPE Integration SYSTEM \"" + systemId + "\"><Integration version=\"1\">" + jobs + "</Integration>";
}

TEST(EntityPathSearch, FirstDirectoryHoldingTheFileElseTheBareName) {
  Scratch scratch;
  const std::string a = scratch.File("a"), b = scratch.File("b"), found = Joined(b, kDtd);
  std::filesystem::create_directories(a);
  std::filesystem::create_directories(b);
  std::ofstream(found) << "<!ELEMENT x EMPTY>";
  const std::string sep = ListSeparator();
  const std::pair<std::optional<std::string>, std::string> cases[] = {{a + sep + b, found},
                                                                      {b + sep + sep + a, found},
                                                                      {a + sep + "/nonexistent", kDtd},
                                                                      {"", kDtd},
                                                                      {std::nullopt, kDtd}};
  for (const auto& [value, expected] : cases) {
    ScopedEnv env("KEL_JOBS_TEST_PATH", value);
    char path[260] = "stale";
    EXPECT_GE(KelEdsDomParserTestPeer::Search(kDtd, "KEL_JOBS_TEST_PATH", path), 0);
    EXPECT_EQ(std::string(path), expected) << value.value_or("<unset>");
  }
  const std::string tooLong(300, 'd');
  for (const auto& [file, variable] :
       {std::pair<const char*, const char*>{nullptr, "X"}, {kDtd, nullptr}, {tooLong.c_str(), "KEL_JOBS_TEST_PATH"}}) {
    char path[260] = "stale";
    EXPECT_LT(KelEdsDomParserTestPeer::Search(file, variable, path), 0);
    EXPECT_STREQ(path, "");
  }
}

TEST(EntityResolver, AnswersExactlyItsOwnDtdThroughTheAdaptor) {
  const std::string longName(260, 'n'), path = "/dtds/KelEdsJobs.dtd";
  const std::tuple<std::string, std::string, std::string> declined[] = {{kDtd, path, "keledsjobs.dtd"},
                                                                        {kDtd, path, "other.dtd"},
                                                                        {kDtd, path, ""},
                                                                        {kDtd, "", kDtd},  // nothing to answer with
                                                                        {longName, path, longName},
                                                                        {kDtd, std::string(260, 'p'), kDtd}};
  const auto ask = [](const std::string& name, const std::string& where, const std::string& systemId) {
    auto* implementation = new KelEEdsSAXEntityResolver(name.c_str(), where.c_str());
    KelISAXEntityResolver* face = nullptr;
    EXPECT_GE(implementation->QueryInterface(IID_KelISAXEntityResolver, reinterpret_cast<void**>(&face)), 0);
    implementation->Release();  // the adaptor keeps it alive
    const KelISAXEntityResolver_var resolver = KelISAXEntityResolver_var::Adopt(face);
    EXPECT_STREQ(resolver->GetImpl()->IsA(), "KelEEdsSAXEntityResolver");
    KelIXMLInputSource_var source;
    KelUnicodeString answer("<declined>");
    if (resolver->resolveEntity("-//public", systemId.c_str(), source) >= 0) source->getSystemId(answer);
    return answer.ToUTF8();
  };
  EXPECT_EQ(ask(kDtd, path, kDtd), path);
  for (const auto& [name, where, systemId] : declined) EXPECT_EQ(ask(name, where, systemId), "<declined>") << systemId;

  EXPECT_EQ(CreateTIEKelISAXEntityResolverKelEEdsSAXEntityResolver(nullptr, nullptr), nullptr);
}

TEST(ValidatedLoad, TheShippedDtdAcceptsJobDocumentsAndRefusesOthers) {
  ScopedEnv env("KelDictionaryPath", "/nonexistent" + ListSeparator() + kDtdDirectory);
  const std::pair<std::string, bool> cases[] = {
      {Doctyped(kDtd, kJob), true},
      {Doctyped(kDtd, "<EDB_Job EDB_Id=\"J1\" EDB_Type=\"t\" EDB_JobInput=\"\"><EDB_Unknown/></EDB_Job>"), false},
      {Doctyped(kDtd, "<EDB_Job EDB_Type=\"t\" EDB_JobInput=\"\"/>"), false},  // no EDB_Id
      {Doctyped("KELEDSJOBS.dtd", kJob), false},  // declined; nor is it beside the document
      {"<Integration version=\"1\"/>", false}};   // no DOCTYPE
  for (const auto& [text, loads] : cases) {
    KelEdsXMLParser parser;
    KelListValKelUnicodeString ids, types, inputs;
    ASSERT_EQ(Load(parser, text, 1, kDtd) >= 0, loads) << text;
    if (!loads) continue;
    EXPECT_GE(parser.GetJobDefinition(ids, types, inputs), 0);
    EXPECT_EQ(Of(ids), Strings{"J1"});
  }
  KelEdsXMLParser parser;
  EXPECT_GE(Load(parser, cases[1].first, 0, kDtd), 0);     // not validated
  EXPECT_LT(Load(parser, cases[0].first, 1, nullptr), 0);  // validated, but nobody supplies the DTD
  ScopedEnv unset("KelDictionaryPath", std::nullopt);
  EXPECT_LT(Load(parser, cases[0].first, 1, kDtd), 0);  // the bare name is not beside the document
}

// An external entity is read, or the load fails with a message: a file reads
// it beside itself; bytes have no directory and read only what the resolver
// gives, with what lies beside it (a DTD's modules).
TEST(ExternalEntities, ReadBesideTheFileOrThroughTheResolverElseTheLoadFails) {
  Scratch scratch;
  const std::string dtds = scratch.File("dtds");
  std::filesystem::create_directories(dtds + "/jobs");
  std::filesystem::copy_file(kDtdDirectory + "/KelEdsJobs.dtd", dtds + "/jobs/KelEdsJobs.dtd");
  std::ofstream(scratch.File("ext.xml")) << kJob;
  std::ofstream(dtds + "/Modular.dtd") << "<!ENTITY % jobs SYSTEM \"jobs/KelEdsJobs.dtd\">%jobs;";
  const std::string text =
      "<!DOCTYPE Integration [<!ENTITY ext SYSTEM \"ext.xml\">]><Integration version=\"1\">&ext;"
      "</Integration>";
  std::ofstream(scratch.File("jobs.xml")) << text;
  LogCapture log;
  KelEdsXMLParser parser;
  KelUnicodeString id, type, input;
  ASSERT_GE(parser.LoadFile(scratch.File("jobs.xml").c_str(), 0), 0);
  EXPECT_GE(parser.GetSingleJobDefinition(id, type, input), 0);
  EXPECT_EQ(id.ToUTF8(), "J1");
  EXPECT_LT(Load(parser, text), 0);
  ASSERT_EQ(log.messages.size(), 1u);
  EXPECT_EQ(log.messages[0].rfind("***ERROR*** external entity \"ext\" (SYSTEM \"ext.xml\") cannot be read: ", 0), 0u)
      << log.messages[0];
  // Validated through the resolver: the DTD it finds pulls in its module.
  ScopedEnv env("KelDictionaryPath", dtds);
  EXPECT_GE(Load(parser, Doctyped("Modular.dtd", kJob), 1, "Modular.dtd"), 0);
  EXPECT_LT(Load(parser, Doctyped("Modular.dtd", "<EDB_Unknown/>"), 1, "Modular.dtd"), 0);
}

TEST(ValidatedLoad, EveryWritersOutputIsValid) {
  KelEdsXMLParser parser;
  const KelListValKelUnicodeString rows{"r1", "r2"};
  ASSERT_EQ(parser.Init("Integration", "1"), S_OK);
  ASSERT_EQ(parser.AppendJobDefinition("J1", "t", ""), S_OK);
  ASSERT_TRUE(AllOk({parser.InsertJobInput("J1", "n", "", ""), parser.InsertJobContextInput("J1", "n", "v", "t")}));
  ASSERT_TRUE(AllOk({parser.InsertJobOutput("J1", "", "", ""), parser.InsertJobDeleteErrOutput("J1", "c", "k", "o")}));
  ASSERT_TRUE(
      AllOk({parser.InsertJobReportOutput("J1", rows), parser.InsertJobErrorMsg("J1", "key", "file", nullptr)}));
  const std::string bytes = "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\">\n" + Stream(parser, true);
  ScopedEnv env("KelDictionaryPath", kDtdDirectory);
  KelEdsXMLParser back;
  EXPECT_GE(Load(back, bytes, 1, kDtd), 0) << bytes;
  Scratch scratch;
  std::ofstream(scratch.File("jobs.xml")) << bytes;
  if (testsystem::HaveProgram("xmllint")) {
    const std::string command = "xmllint --noout --path '" + kDtdDirectory + "' --valid " + scratch.File("jobs.xml");
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
}

}  // namespace
