// The metadata dictionary document: the whole document against its expected
// bytes and the shipped DTD, uuid files and uuid assignment, SQL type mapping,
// and failures that must leave no file behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "schema/KelEdsSchemaTestSupport.h"
#include "support/TestSystem.h"
#include "xml/KelXmlTestSupport.h"

using namespace keltest;
using namespace testfiles;
namespace fs = std::filesystem;

namespace {

constexpr const char kPackageUuid[] = "AAAAAAAA-0000-0000-0000000000000001";
constexpr const char kForeignKeyUuid[] = "AAAAAAAA-0000-0000-0000000000000002";

class MetadataDocument : public ::testing::Test {
 protected:
  struct Run {
    long code;
    std::string out;
    // The number of uuids handed out, as the summary prints it.
    int Handed() const {
      const auto at = out.find("IndUiid = ");
      return at == out.npos ? -1 : std::atoi(&out[at + 10]);
    }
  };
  std::string Path(const std::string& name) const { return dir_.File(name); }
  Run Generate(const std::string& uuids, const std::string& output, const Strings& names = {},
               const Strings& values = {}) {
    testing::internal::CaptureStdout();
    const long code = tool_.GenerateNorvaleMetaData(U(uuids), MakeList(names), MakeList(values), U(output));
    return {code, testing::internal::GetCapturedStdout()};
  }
  KelEdsMetadataTool tool_;
  Scratch dir_;
};

// The whole document by value. The uuid file hands out c0de0001... in draw
// order; the package and one foreign key take supplied uuids instead, which
// the unique constraint that lists that key refers to. With CRLF line ends
// the file gives the same uuids and so the same bytes.
TEST_F(MetadataDocument, IsTheExpectedDocumentAndValidatesAgainstTheDTD) {
  const std::string uuids = ReadFile(ExpectedPath("uuids.txt"));
  std::string crlf;
  for (char c : uuids) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  WriteFile(Path("uuids.crlf"), crlf);
  for (const std::string& uuidFile : {ExpectedPath("uuids.txt"), Path("uuids.crlf")}) {
    const Run run = Generate(uuidFile, Path("dict.xml"), {"CableNetwork", "FEC_WP"}, {kPackageUuid, kForeignKeyUuid});
    ASSERT_GE(run.code, 0) << uuidFile;
    EXPECT_TRUE(MatchesExpectedFile(ReadFile(Path("dict.xml")), "metadata.xml")) << uuidFile;
    // 117 items, two of them supplied: pool entries 1 to 115 are used.
    EXPECT_EQ(run.out.rfind("******************** Number of existing uuid = 120 \nNumber of classes = 14 \n"
                            "Class 1 = Package \nClass 2 = Work_Package \n",
                            0),
              0u);
    EXPECT_NE(run.out.find("Class 14 = Cableway_Arc_Points \nIndUiid = 117 \n"), std::string::npos);
  }
  // Valid against the shipped DTD, found beside the document.
  fs::copy_file(KEL_SOURCE_DIR "/dtd/Dictionary00.dtd", Path("Dictionary00.dtd"));
  if (testsystem::HaveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --valid --noout --nonet '" + Path("dict.xml") + "'").c_str()), 0);
  }
  // Supplied lists of different lengths are not used at all.
  ASSERT_GE(Generate(ExpectedPath("uuids.txt"), Path("c.xml"), {"CableNetwork", "Work_Package"}, {kPackageUuid}).code,
            0);
  EXPECT_EQ(ReadFile(Path("c.xml")).find(kPackageUuid), std::string::npos);
}

// A pool of F uuids serves the first F items drawn from it (none when F is 1).
// An item left without a uuid fails the generation, and nothing is written.
TEST_F(MetadataDocument, TooFewUuidsFailAndWriteNothing) {
  WriteUuidFile(Path("big"), 300);
  const int items = Generate(Path("big"), Path("probe.xml")).Handed();
  const struct {
    int pool;
    Strings supplied;
    bool written;
  } cases[] = {{items, {}, true},
               {items - 1, {}, false},
               {items - 1, {"Cableway_Arc_Points_Order_number"}, true},  // the last item drawn
               {items - 1, {"CableNetwork"}, false},                     // a supplied uuid still counts toward the pool
               {1, {}, false},
               {0, {}, false}};
  for (const auto& c : cases) {
    fs::remove(Path("out.xml"));
    const std::string uuids = c.pool > 0 ? Path("pool") : Path("no such file");
    if (c.pool > 0) WriteUuidFile(uuids, c.pool);
    const Run run = Generate(uuids, Path("out.xml"), c.supplied, Strings(c.supplied.size(), kPackageUuid));
    EXPECT_EQ(OriginOf(run.code), c.written ? kSucceeded : DictLine(1318)) << c.pool;
    EXPECT_EQ(fs::exists(Path("out.xml")), c.written) << c.pool;
    EXPECT_NE(run.out.find("Number of existing uuid = " + std::to_string(c.pool) + " \n"), std::string::npos);
  }
}

TEST_F(MetadataDocument, BadPathsFailAndLeaveNoFile) {
  const std::string uuids = Path("uuids");
  WriteUuidFile(uuids, 300);
  fs::create_directory(Path("dir"));
  for (const auto& [uuidFile, output] : {std::pair{std::string(), Path("x.xml")},
                                         {uuids, std::string()},
                                         {uuids, Path("absent/dict.xml")},
                                         {uuids, Path("dir")}})
    EXPECT_LT(Generate(uuidFile, output).code, 0) << output;
  EXPECT_EQ(OriginOf(Generate("", Path("x.xml")).code), DictLine(1040));
  // Nothing but the uuid file and the empty directory: no output, no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path), {}), 2);
  EXPECT_TRUE(fs::is_empty(Path("dir")));

  KelEdsMetadataToolTestPeer::Dict(tool_) = KelVar<KelEdsMetadataDict>::Adopt(new ForeignDict);
  EXPECT_EQ(OriginOf(Generate(uuids, Path("x.xml")).code), ToolLine(445));
}

TEST(MetadataDocumentParts, MapSQLType) {
  KelEdsMetadataDict dict;
  const struct {
    const char *sql, *type, *length, *mandatory;
  } cases[] = {{"CHAR(80) NOT NULL", "String", "80", "Yes"},
               {"CHAR(40) NULL", "String", "40", "No"},
               {"CHAR(80)NULL", "String", "80", "No"},
               {"INTEGER NOT NULL", "Integer", "", "Yes"},
               {"FLOAT NULL", "Double", "", "No"},
               {"INTEGER  NOT NULL", "Integer", "", "Yes"},
               {"", "kept", "kept", "kept"}};
  for (const auto& c : cases) {
    KelUnicodeString type("kept"), length("kept"), mandatory("kept");
    dict.MapSQLType(c.sql, type, length, mandatory);
    EXPECT_EQ(Strings({U8(type), U8(length), U8(mandatory)}), Strings({c.type, c.length, c.mandatory})) << c.sql;
  }
}

TEST(MetadataDocumentParts, UuidFileLines) {
  Scratch dir;
  KelEdsMetadataDict dict;
  for (const char* eol : {"\n", "\r\n"}) {
    Strings written = WriteUuidFile(dir.File("uuids"), 5, eol);
    KelListValKelUnicodeString pool = MakeList({"kept"});
    EXPECT_GE(dict.ReadUuidFile(dir.File("uuids"), pool), 0);
    written.insert(written.begin(), "kept");
    EXPECT_EQ(Texts(pool), written);
  }
  // Lines are read in pieces of 1023 characters: a marker that starts a piece
  // is found, one cut in two is lost. A last line without its end loses only
  // the "/" of "*/"; a marker with nothing after it gives an empty uuid.
  WriteFile(dir.File("odd"), "no marker\r\nINTERFACENAME = { /* 11111111-2222-3333-4444-555555555555 */\r\n" +
                                 std::string(1023, 'x') + "INTERFACENAME = { /* 66666666-2222-3333-4444-5 */\n" +
                                 std::string(1010, 'y') + "INTERFACENAME = { /* 77777777-2222-3333-4444-5 */\n" +
                                 "INTERFACENAME = { \nINTERFACENAME = { /* 99999999-2222-3333-4444-555555555555 */");
  KelListValKelUnicodeString pool;
  EXPECT_GE(dict.ReadUuidFile(dir.File("odd"), pool), 0);
  EXPECT_EQ(Texts(pool), (Strings{"11111111-2222-3333-4444555555555555", "66666666-2222-3333-44445", "",
                                  "99999999-2222-3333-4444555555555555"}));
  EXPECT_EQ(OriginOf(dict.ReadUuidFile(dir.File("absent"), pool)), DictLine(1461));
}

}  // namespace
