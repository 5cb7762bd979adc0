// The loaded cable-routing schema against its published tables.
#include <gtest/gtest.h>

#include <algorithm>

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

// The counts of the published tables; which columns and keys the generated
// DDL makes is checked against a PostgreSQL catalog (postgres_schema_test.sh).
TEST_F(SchemaContent, TablesListsAndTotals) {
  ASSERT_EQ(dict_.Tables.Size(), 13);
  EXPECT_EQ(TableNamed(dict_, "xq40718.Work_Package"), KelEdsMetadataDict::AsTable(dict_.Tables[1]));
  int attributes = 0, unique = 0, foreign = 0, magnitudes = 0, lengths = 0, external = 0, scoped = 0;
  for (KelBaseUnknown* entry : dict_.Tables) {
    const KelEdsMetadataTable& table = *KelEdsMetadataDict::AsTable(entry);
    SCOPED_TRACE(table.Name.ToUTF8());
    attributes += table.AttrNames.Size();
    EXPECT_EQ(table.AttrTypes.Size(), table.AttrNames.Size());
    EXPECT_EQ(table.NotNullFlags.Size(), table.AttrNames.Size());
    EXPECT_EQ(table.PrimaryKeyAttrs.Size(), 1);
    for (const KelUnicodeString& text : table.Constraints) unique += text.SearchSubString("UNIQUE") >= 0 ? 1 : 0;
    foreign += table.ForeignKeyAttrs.Size();
    EXPECT_EQ(table.ForeignKeyClasses.Size(), table.ForeignKeyAttrs.Size());
    EXPECT_EQ(table.ForeignKeyTargetAttrs.Size(), table.ForeignKeyAttrs.Size());
    magnitudes += table.MagnitudeAttrs.Size();
    EXPECT_EQ(table.Magnitudes.Size(), table.MagnitudeAttrs.Size());
    lengths +=
        static_cast<int>(std::count(table.Magnitudes.begin(), table.Magnitudes.end(), KelUnicodeString("LENGTH")));
    external += table.ExternalRefNames.Size();
    scoped += table.ScopeName.IsEmpty() ? 0 : 1;
  }
  EXPECT_EQ((std::vector<int>{attributes, unique, foreign, magnitudes, lengths, external, scoped}),
            (std::vector<int>{107, 9, 24, 28, 25, 2, 1}));
  EXPECT_EQ(Table("xq40718.Cable_Route").ScopeName.ToUTF8(), "RuxItemInstance");
}

// Every key names an attribute of its class, and every foreign key names the
// primary key of a class whose table comes earlier: the order in which the
// generated DDL can run.
TEST_F(SchemaContent, KeysNameRealAttributesAndForeignKeysPointBackwards) {
  for (int p = 1; p <= dict_.Tables.Size(); ++p) {
    const KelEdsMetadataTable& table = *KelEdsMetadataDict::AsTable(dict_.Tables[p]);
    SCOPED_TRACE(table.Name.ToUTF8());
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
}

TEST_F(SchemaContent, NameListsPairClassesThenAttributesInClassCodeOrder) {
  ASSERT_EQ(dict_.SQLNames.Size(), 120);
  ASSERT_EQ(dict_.NeutralNames.Size(), 120);
  EXPECT_EQ(dict_.SQLNames[4].ToUTF8(), "EdbSQL_TB2_Func_Equip");
  EXPECT_EQ(dict_.NeutralNames[4].ToUTF8(), "xq40718.Cable_From_To");
  // Attributes start with Work_Package (code 1), then Cable_From_To (code 2).
  EXPECT_EQ(dict_.SQLNames[14].ToUTF8(), "EdbSQL_TA1_WP_Key");
  EXPECT_EQ(dict_.SQLNames[20].ToUTF8(), "EdbSQL_TA2_FE_Key");
  EXPECT_EQ(dict_.NeutralNames[120].ToUTF8(), "Order_number");
  // Column codes never go down, and each class has one column per attribute.
  int previous = 0;
  for (int k = 14; k <= 120; ++k) {
    int code = 0;
    dict_.SQLNames[k].SubString(9, 2).ConvertToNum(&code);
    EXPECT_GE(code, previous) << dict_.SQLNames[k].ToUTF8();
    previous = code;
  }
  const int x9 = dict_.SQLNames.Locate(KelUnicodeString("EdbSQL_TA9_X"));
  EXPECT_EQ(dict_.NeutralNames[x9].ToUTF8(), "X_position");
  // A repeated attribute translates to the class with the lowest code.
  EXPECT_EQ(dict_.SQLNames[dict_.NeutralNames.Locate(KelUnicodeString("X_position"))].ToUTF8(), "EdbSQL_TA7_X");
}

TEST_F(SchemaContent, OddlySpacedTypeTextsKeepTheirBlanks) {
  const KelEdsMetadataTable& table = Table("xq40718.Cable_From_To");
  const int name = table.AttrNames.Locate(KelUnicodeString("Cable_name"));
  const int package = table.AttrNames.Locate(KelUnicodeString("Work_package_key"));
  EXPECT_EQ(table.AttrTypes[name].ToUTF8(), "CHAR(80)NULL");
  EXPECT_EQ(table.NotNullFlags[name], 0);
  EXPECT_EQ(table.AttrTypes[package].ToUTF8(), "INTEGER  NOT NULL");
  EXPECT_EQ(table.NotNullFlags[package], 1);
  EXPECT_EQ(Texts(table.UniqueAttrs), (Strings{"Func_equip_name", "Connector_name", "Work_package_key"}));
}

// Constraints keep their published order, which relationship lists, the DDL
// and the metadata document follow.
TEST_F(SchemaContent, CablewayArcConstraintsInOrder) {
  Strings names;
  for (const KelUnicodeString& text : Table("xq40718.Cableway_Arc").Constraints)
    names.push_back(dict_.GetConstraintName(text).ToUTF8());
  EXPECT_EQ(names, (Strings{"SPC_PK", "SPC_CS", "SPC_CN1", "SPC_PC1", "SPC_CN2", "SPC_PC2", "SPC_WP"}));
}

TEST_F(SchemaContent, LoadingAgainGivesTheSameNotTwice) {
  KelListValKelUnicodeString first, second;
  dict_.GenerateSQL(first);
  EXPECT_GE(dict_.LoadSchema(), 0);
  dict_.GenerateSQL(second);
  EXPECT_EQ(dict_.Tables.Size(), 13);
  EXPECT_EQ(dict_.SQLNames.Size(), 120);
  EXPECT_EQ(first, second);
}

}  // namespace
