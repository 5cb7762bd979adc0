// The loaded cable-routing schema: what it generates against the expected
// texts in tests/data/schema, and the lists derived from its constraints.
#include <gtest/gtest.h>

#include "KelEdsSchemaTestSupport.h"

namespace {

class SchemaContent : public ::testing::Test {
 protected:
  void SetUp() override { dict_.LoadSchema(); }
  const KelEdsMetadataTable& Table(const char* name) {
    const KelEdsMetadataTable* table = TableNamed(dict_, name);
    if (table == nullptr) throw std::runtime_error(name);
    return *table;
  }
  KelEdsMetadataDict dict_;
};

// The statements that create the database, and the name pairs, against
// their expected texts: every identifier, type text and constraint by value;
// the same once the schema is loaded again (not twice over). That the
// statements run is checked on PostgreSQL (postgres_schema_test.sh).
TEST_F(SchemaContent, SQLStatementsAndNamePairsAreTheExpectedTexts) {
  KelEdsMetadataTool tool;
  KelListValKelUnicodeString statements = MakeList({"stale"});
  for (int call = 1; call <= 2; ++call) {  // the list is replaced, not appended to
    ASSERT_GE(tool.GenerateSQLStatements(statements), 0);
    std::string script;
    for (const KelUnicodeString& statement : statements) script += statement.ToUTF8() + "\n";
    EXPECT_TRUE(MatchesExpectedFile(script, "statements.sql")) << "call " << call;
  }
  for (int load = 1; load <= 2; ++load) {
    KelListValKelUnicodeString own;
    EXPECT_GE(dict_.GenerateSQL(own), 0);
    EXPECT_EQ(own, statements) << "load " << load;
    EXPECT_EQ(dict_.Tables.Size(), 13);
    ASSERT_EQ(dict_.NeutralNames.Size(), dict_.SQLNames.Size());
    std::string pairs;
    for (int k = 1; k <= dict_.SQLNames.Size(); ++k)
      pairs += dict_.SQLNames[k].ToUTF8() + " " + dict_.NeutralNames[k].ToUTF8() + "\n";
    EXPECT_TRUE(MatchesExpectedFile(pairs, "name_pairs.txt")) << "load " << load;
    EXPECT_GE(dict_.LoadSchema(), 0);
  }
}

// What the generated texts do not show: the derived key lists and flags.
// Every key names an attribute of its class, and every foreign key names the
// primary key of a class whose table comes earlier: the order in which the
// generated DDL can run.
TEST_F(SchemaContent, DerivedListsAgreeWithTheTextsAndForeignKeysPointBackwards) {
  ASSERT_EQ(dict_.Tables.Size(), 13);
  int foreign = 0;
  for (int p = 1; p <= dict_.Tables.Size(); ++p) {
    const KelEdsMetadataTable& table = *KelEdsMetadataDict::AsTable(dict_.Tables[p]);
    SCOPED_TRACE(table.Name.ToUTF8());
    ASSERT_EQ(table.NotNullFlags.Size(), table.AttrTypes.Size());
    for (int k = 1; k <= table.AttrTypes.Size(); ++k)
      EXPECT_EQ(table.NotNullFlags[k], table.AttrTypes[k].SearchSubString("NOT NULL") >= 0 ? 1 : 0) << k;
    EXPECT_EQ(table.PrimaryKeyAttrs.Size(), 1);
    foreign += table.ForeignKeyAttrs.Size();
    EXPECT_EQ(table.ForeignKeyClasses.Size(), table.ForeignKeyAttrs.Size());
    EXPECT_EQ(table.ForeignKeyTargetAttrs.Size(), table.ForeignKeyAttrs.Size());
    for (const auto* keys : {&table.PrimaryKeyAttrs, &table.UniqueAttrs, &table.ForeignKeyAttrs})
      for (const KelUnicodeString& key : *keys) EXPECT_GT(table.AttrNames.Locate(key), 0) << key.ToUTF8();
    for (int k = 1; k <= table.ForeignKeyClasses.Size(); ++k) {
      const std::string target = "xq40718." + table.ForeignKeyClasses[k].ToUTF8();
      const KelEdsMetadataTable* referenced = TableNamed(dict_, target.c_str());
      ASSERT_NE(referenced, nullptr) << target;
      EXPECT_EQ(referenced->PrimaryKeyAttrs[1], table.ForeignKeyTargetAttrs[k]);
      EXPECT_LT(dict_.Tables.Locate(const_cast<KelEdsMetadataTable*>(referenced)), p);
    }
  }
  EXPECT_EQ(foreign, 24);
  EXPECT_EQ(Texts(Table("xq40718.Cable_From_To").UniqueAttrs),
            (Strings{"Func_equip_name", "Connector_name", "Work_package_key"}));
}

}  // namespace
