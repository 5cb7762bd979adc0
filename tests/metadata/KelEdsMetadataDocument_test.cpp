// The metadata dictionary document: its structure read back through a
// validating parse against the shipped DTD, uuid files and uuid assignment,
// SQL type mapping, and failures that must leave no file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "schema/KelEdsSchemaTestSupport.h"
#include "xml/KelXmlTestSupport.h"

using namespace keltest;
namespace fs = std::filesystem;

namespace {

constexpr const char kPackageUuid[] = "AAAAAAAA-0000-0000-0000000000000001";
constexpr const char kInstanceUuid[] = "AAAAAAAA-0000-0000-0000000000000002";

std::vector<KelIDOMNode_var> Elements(const KelIDOMNode_var& node) {
  std::vector<KelIDOMNode_var> elements;
  for (KelIDOMNode_var child = FirstChild(node); child != nullptr; child = NextSibling(child))
    if (TypeOf(child) == KelIDOMNode::ELEMENT_NODE) elements.push_back(child);
  return elements;
}

// Attribute `attr` of each element child of `node` tagged `tag` ("*": all).
Strings Column(const KelIDOMNode_var& node, const std::string& tag, const std::string& attr) {
  Strings values;
  for (const KelIDOMNode_var& child : Elements(node))
    if (tag == "*" || Name(child) == tag) values.push_back(Attribute(child, attr));
  return values;
}

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

TEST_F(MetadataDocument, DescribesTheSchemaAndValidatesAgainstTheDTD) {
  const Strings pool = WriteUuidFile(Path("uuids"), 300);
  const Run run =
      Generate(Path("uuids"), Path("dict.xml"), {"Cable_Instance", "CableNetwork"}, {kInstanceUuid, kPackageUuid});
  ASSERT_GE(run.code, 0);
  // Valid against the shipped DTD, found beside the document.
  fs::copy_file(KEL_SOURCE_DIR "/dtd/Dictionary00.dtd", Path("Dictionary00.dtd"));
  EXPECT_EQ(std::system(("xmllint --valid --noout --nonet '" + Path("dict.xml") + "'").c_str()), 0);
  KelIDOMDocument_var document;
  ASSERT_GE(ParseFile(MakeBuilder(), Path("dict.xml"), document, Options{{"KelDoValidation", "true"}}), 0);
  const KelIDOMElement_var package = Root(document);
  for (const auto& [name, value] : {std::pair{"Name", "CableNetwork"},
                                    {"Uuid", kPackageUuid},
                                    {"Alias", "Electrical Cable Routing"},
                                    {"UseScopes", "DOCDIR PRODUCT"}})
    EXPECT_EQ(Attribute(package, name), value);

  // One element per class in table order: its plain attributes (no keys),
  // its foreign keys to the classes written before it, its external references.
  const KelEdsMetadataDict& dict = *KelEdsMetadataToolTestPeer::Dict(tool_).get();
  const std::vector<KelIDOMNode_var> classes = Elements(package);
  ASSERT_EQ(classes.size(), 13u);
  std::map<std::string, std::string> classUuid;
  std::multiset<std::string> used{kPackageUuid};
  for (int c = 1; c <= 13; ++c) {
    const KelEdsMetadataTable& table = *KelEdsMetadataDict::AsTable(dict.Tables[c]);
    const KelIDOMNode_var& element = classes[c - 1];
    const std::string tessel = dict.GetTesselName(table.Name).ToUTF8();
    EXPECT_EQ(Name(element), tessel == "Cable_Route" ? "Extension" : "Class");
    EXPECT_EQ(Attribute(element, "Name"), tessel);
    classUuid[tessel] = Attribute(element, "Uuid");
    Strings plain, targets, uuids = Column(element, "*", "Uuid");
    used.insert(uuids.begin(), uuids.end());
    used.insert(classUuid[tessel]);
    // Keys and external references (typed "Uuid") are relationships only:
    // foreign keys, then external references, whose targets are identifiers.
    KelListValKelUnicodeString attrs, types, relations, columns, referenced;
    KelRawCollint flags;
    ASSERT_GE(tool_.GetAttributeInfo(tessel, attrs, types, flags), 0);
    for (int k = 1; k <= attrs.Size(); ++k)
      if (types[k] != "Uuid") plain.push_back(attrs[k].ToUTF8());
    ASSERT_GE(tool_.GetRelationship(tessel, relations, columns, referenced), 0);
    for (int k = 1, j = 0; k <= referenced.Size(); ++k) {
      const std::string target = referenced[k].ToUTF8();
      targets.push_back(classUuid.count(target) ? classUuid[target] : table.ExternalRefIds[++j].ToUTF8());
    }
    EXPECT_EQ(Column(element, "Simple", "Name"), plain) << tessel;
    EXPECT_EQ(Column(element, "Relationship", "Name"), Texts(relations)) << tessel;
    EXPECT_EQ(Column(element, "Relationship", "TargetRef"), targets) << tessel;
  }
  EXPECT_EQ(Column(package, "Extension", "ScopeRefs"), Strings{"80A2B3BD-0000-520C-383BE49800076012"});
  EXPECT_EQ(Column(package, "Extension", "ScopeNames"), Strings{"RuxItemInstance"});
  EXPECT_EQ(Column(classes[0], "Relationship", "TargetRef"),
            (Strings{"80A2B3BD-0000-520C-383BE49800076012", "80A2B3BD-0000-0509-384D10620005108D"}));
  EXPECT_EQ(Column(classes[0], "Simple", "MaxLength"), (Strings{"20", "", ""}));
  EXPECT_EQ(Column(classes[1], "Simple", "Magnitude"), (Strings{"", "", "LENGTH", "LINEMASS", "LENGTH", ""}));
  // A unique constraint refers to plain attributes and to foreign keys; its
  // list ends with a blank.
  const KelIDOMNode_var& fromTo = classes[3];
  const Strings simple = Column(fromTo, "Simple", "Uuid"), keys = Column(fromTo, "Relationship", "Uuid");
  EXPECT_EQ(Column(fromTo, "Unique", "UniqueRefs"), Strings{simple[0] + " " + simple[1] + " " + keys[0] + " "});
  EXPECT_EQ(Column(fromTo, "Relationship", "Mandatory"), (Strings{"Yes", "No"}));
  EXPECT_EQ(Column(fromTo, "Simple", "Mandatory"), (Strings{"Yes", "Yes", "No"}));  // "CHAR(80)NULL"
  // Foreign keys draw their uuids right after their class, before its attributes.
  auto drawn = [&](const std::string& uuid) { return std::find(pool.begin(), pool.end(), uuid) - pool.begin(); };
  EXPECT_EQ(drawn(keys[0]), drawn(Attribute(fromTo, "Uuid")) + 1);
  EXPECT_EQ(drawn(simple[0]), drawn(keys[1]) + 1);
  EXPECT_EQ(drawn(Column(fromTo, "Unique", "Uuid")[0]), drawn(simple[2]) + 1);

  // Every item has a uuid of its own; the two supplied ones take no pool entry.
  std::set<std::string> distinct(used.begin(), used.end()), expected(pool.begin(), pool.begin() + used.size() - 2);
  expected.insert({kPackageUuid, kInstanceUuid});
  EXPECT_EQ(distinct, expected);
  EXPECT_EQ(distinct.size(), used.size());
  EXPECT_EQ(run.Handed(), static_cast<int>(used.size()));
  EXPECT_EQ(run.out.rfind("******************** Number of existing uuid = 300 \nNumber of classes = 14 \n"
                          "Class 1 = Package \nClass 2 = Work_Package \n",
                          0),
            0u);
  EXPECT_NE(run.out.find("Class 14 = Cableway_Arc_Points \nIndUiid = "), std::string::npos);
}

TEST_F(MetadataDocument, SameInputsGiveTheSameBytes) {
  WriteUuidFile(Path("uuids"), 200, "\r\n");
  const Run first = Generate(Path("uuids"), Path("a.xml"), {"Work_Package_Last_update_time"}, {kPackageUuid});
  const Run second = Generate(Path("uuids"), Path("b.xml"), {"Work_Package_Last_update_time"}, {kPackageUuid});
  ASSERT_GE(first.code, 0);
  EXPECT_EQ(first.out, second.out);
  EXPECT_EQ(ReadFile(Path("a.xml")), ReadFile(Path("b.xml")));
  EXPECT_NE(ReadFile(Path("a.xml")).find(std::string("\"Last_update_time\" Uuid=\"") + kPackageUuid),
            std::string::npos);
  // Supplied lists of different lengths are not used at all.
  ASSERT_GE(Generate(Path("uuids"), Path("c.xml"), {"CableNetwork", "Work_Package"}, {kPackageUuid}).code, 0);
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
