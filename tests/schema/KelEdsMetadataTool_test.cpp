// The exported metadata tool: class, attribute and relationship queries, name
// translation, SQL statements, copying, and the tool without a dictionary.
#include <gtest/gtest.h>

#include <optional>

#include "KelAllocator.h"
#include "KelEdsSchemaTestSupport.h"

namespace {

class MetadataTool : public ::testing::Test {
 protected:
  KelEdsMetadataTool tool_;
};

TEST_F(MetadataTool, ClassInfoListsEveryClassWithItsKeyAndAppends) {
  KelListValKelUnicodeString neutral, keys, tessel, tesselKeys;
  EXPECT_GE(tool_.GetClassInfo(neutral, keys, 0), 0);
  EXPECT_GE(tool_.GetClassInfo(tessel, tesselKeys, 1), 0);
  ASSERT_EQ(neutral.Size(), 13);
  EXPECT_EQ(neutral[4].ToUTF8(), "xq40718.Cable_From_To");
  EXPECT_EQ(keys[13].ToUTF8(), "Cableway_Arc_Points_Key");
  EXPECT_EQ(keys, tesselKeys);
  for (int k = 1; k <= 13; ++k) EXPECT_EQ(tessel[k], tool_.TranslateClassToTessel(neutral[k]));
  EXPECT_GE(tool_.GetClassInfo(neutral, keys, 0), 0);
  EXPECT_EQ(neutral.Size(), 26);
  EXPECT_EQ(keys.Size(), 26);
  // The primary key under either name.
  for (const auto& [name, key] : {std::pair{"Work_Package", "Work_package_key"},
                                  {"xq40718.Work_Package", "Work_package_key"},
                                  {"xq40718.Route_Section_List", "Route_section_key"},
                                  {"No_Such_Class", ""}})
    EXPECT_EQ(tool_.GetPrimaryKey(name).ToUTF8(), key) << name;
}

TEST_F(MetadataTool, MagnitudeNamesAndSQLIdentifiers) {
  KelListValKelUnicodeString names = MakeList({"mine"});
  EXPECT_GE(tool_.GetMagnitudeNames(names), 0);
  EXPECT_EQ(Texts(names), (Strings{"mine", "LENGTH", "MASS", "AREA", "LINEMASS"}));

  const std::pair<const char*, const char*> resolved[] = {{"EdbSQL_TB1_Work_Package", "xq40718.Work_Package"},
                                                          {"EdbSQL_TA2_CI_ID", "Cable_name"}};
  for (const auto& [sql, neutral] : resolved) {
    KelUnicodeString out;
    EXPECT_GE(tool_.ResolveDefine(sql, out), 0);
    EXPECT_EQ(out.ToUTF8(), neutral);
  }
  KelUnicodeString out("kept");
  EXPECT_EQ(OriginOf(tool_.ResolveDefine("edbsql_tb1_work_package", out)), DictLine(945));
  EXPECT_EQ(out.ToUTF8(), "kept");
}

TEST_F(MetadataTool, AttributeInfoTypesKeysAndReferencesAsUuid) {
  KelListValKelUnicodeString names = MakeList({"x"}), types;
  KelRawCollint flags;
  EXPECT_GE(tool_.GetAttributeInfo("Work_Package", names, types, flags), 0);
  EXPECT_EQ(Texts(names), (Strings{"x", "Work_package_key", "Part_instance_ptr", "Document_revision_ptr",
                                   "Work_package_type", "Last_update_time", "Last_export_time"}));
  EXPECT_EQ(Texts(types), (Strings{"Uuid", "Uuid", "Uuid", "String", "Integer", "Integer"}));
  EXPECT_EQ(Numbers(flags), (std::vector<int>{1, 1, 1, 1, 1, 1}));

  struct {
    const char* className;
    const char* attr;
    const char* type;
    int flag;
  } const cases[] = {
      {"Cableway_Section", "Key_station_type", "Integer", 0},
      {"Cableway_Arc_Points", "Cableway_Arc_Points_Key", "Uuid", 1},
      {"xq40718.Cableway_Arc", "Published_connector_key1", "Uuid", 0},
      {"Cable_Reference", "Tightness", "String", 0},
  };
  for (const auto& c : cases) {
    KelUnicodeString type;
    int flag = -1;
    EXPECT_GE(tool_.GetAttributeType(c.className, c.attr, type, flag), 0);
    EXPECT_EQ(type.ToUTF8(), c.type) << c.attr;
    EXPECT_EQ(flag, c.flag) << c.attr;
  }
}

TEST_F(MetadataTool, MagnitudesAndUniqueAttributesOfAClass) {
  KelListValKelUnicodeString attrs, magnitudes;
  EXPECT_GE(tool_.GetAttrMagnitudeInfo("Cable_Reference", attrs, magnitudes), 0);
  EXPECT_EQ(Texts(attrs), (Strings{"External_diameter", "Weight_per_unit_length", "Bend_radius"}));
  EXPECT_EQ(Texts(magnitudes), (Strings{"LENGTH", "LINEMASS", "LENGTH"}));
  EXPECT_GE(tool_.GetAttrMagnitudeInfo("Work_Package", attrs, magnitudes), 0);
  EXPECT_EQ(attrs.Size(), 3);

  KelListValKelUnicodeString unique;
  EXPECT_GE(tool_.GetUniqueAttrNames("xq40718.Route_Section_List", unique), 0);
  EXPECT_GE(tool_.GetUniqueAttrNames("Cableway_Node", unique), 0);
  EXPECT_EQ(Texts(unique), (Strings{"Cable_route_key", "Cableway_section_key"}));
}

TEST_F(MetadataTool, UnknownClassesFailWithTheLookupCodeAndAppendNothing) {
  KelListValKelUnicodeString a, b, c;
  KelRawCollint flags;
  KelUnicodeString type("kept");
  int flag = 7;
  // Computed attribute names are exact.
  EXPECT_EQ(OriginOf(tool_.GetComputedAttrType("ci_csect_list_ptr", type)), ToolLine(133));
  // Attribute names are exact: one of another case is unknown, and a success.
  EXPECT_EQ(OriginOf(tool_.GetAttributeType("Cable_Reference", "tightness", type, flag)), kSucceeded);
  EXPECT_EQ(OriginOf(tool_.GetAttributeType("Cable_Ref", "Tightness", type, flag)), ToolLine(352));
  EXPECT_EQ(type.ToUTF8(), "kept");
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(OriginOf(tool_.GetAttributeInfo("Nowhere", a, b, flags)), DictLine(872));
  EXPECT_EQ(OriginOf(tool_.GetAttrMagnitudeInfo("Nowhere", a, b)), DictLine(872));
  EXPECT_EQ(OriginOf(tool_.GetUniqueAttrNames("Nowhere", a)), DictLine(872));
  EXPECT_EQ(OriginOf(tool_.GetRelationship("Nowhere", a, b, c)), DictLine(872));
  EXPECT_TRUE(a.IsEmpty() && b.IsEmpty() && c.IsEmpty() && flags.IsEmpty());
}

TEST_F(MetadataTool, RelationshipsForeignKeysThenExternalReferences) {
  KelListValKelUnicodeString names, attrs, classes;
  EXPECT_GE(tool_.GetRelationship("Cable_Instance", names, attrs, classes), 0);
  EXPECT_EQ(Texts(names), (Strings{"CIC_WP", "CIC_CR"}));
  EXPECT_EQ(Texts(attrs), (Strings{"Work_package_key", "Cable_reference_key"}));
  EXPECT_EQ(Texts(classes), (Strings{"Work_Package", "Cable_Reference"}));

  KelListValKelUnicodeString wpNames, wpAttrs, wpClasses;
  EXPECT_GE(tool_.GetRelationship("xq40718.Work_Package", wpNames, wpAttrs, wpClasses), 0);
  EXPECT_EQ(Texts(wpNames), (Strings{"WPC_PI", "WPC_DR"}));
  EXPECT_EQ(Texts(wpAttrs), (Strings{"Part_instance_ptr", "Document_revision_ptr"}));
  EXPECT_EQ(Texts(wpClasses), (Strings{"RuxItemInstance", "RuxDocumentRevision"}));

  EXPECT_EQ(tool_.TransRelationNameToTessel("Cable_Instance", "Cable_reference_key").ToUTF8(), "CIC_CR");
  EXPECT_EQ(tool_.TransRelationNameToTessel("Cable_Instance", "Cable_name").ToUTF8(), "Cable_name");
  EXPECT_EQ(tool_.TransRelationNameToTessel("Work_Package", "Part_instance_ptr").ToUTF8(), "WPC_PI");
  EXPECT_EQ(tool_.TransRelationNameToTessel("Nowhere", "Part_instance_ptr").ToUTF8(), "Part_instance_ptr");
}

TEST_F(MetadataTool, ReferencingClassesByTesselNameWithOptionalFilter) {
  KelListValKelUnicodeString classes = MakeList({"stale"}), names;
  EXPECT_GE(tool_.GetReferencingClasses("Cable_Instance", {}, classes, names), 0);
  EXPECT_EQ(Texts(classes), (Strings{"xq40718.Cable_From_To", "xq40718.Cable_Route"}));
  EXPECT_EQ(Texts(names), (Strings{"FEC_CI", "RTC_CI"}));

  EXPECT_GE(tool_.GetReferencingClasses("Cable_Instance", MakeList({"xq40718.Cable_Route"}), classes, names), 0);
  EXPECT_EQ(Texts(names), Strings{"RTC_CI"});

  EXPECT_GE(tool_.GetReferencingClasses("Equipment_Port", {}, classes, names), 0);
  EXPECT_EQ(Texts(classes), (Strings{"xq40718.Cable_Route", "xq40718.Cable_Route"}));
  EXPECT_EQ(Texts(names), (Strings{"RTC_EP1", "RTC_EP2"}));

  EXPECT_GE(tool_.GetReferencingClasses("xq40718.Cable_Instance", {}, classes, names), 0);
  EXPECT_TRUE(classes.IsEmpty() && names.IsEmpty());

  classes = MakeList({"kept"});
  EXPECT_EQ(OriginOf(tool_.GetReferencingClasses("", {}, classes, names)), DictLine(2365));
  EXPECT_EQ(Texts(classes), Strings{"kept"});
}

TEST_F(MetadataTool, MissingMandatoryAttributesLeaveOutThePrimaryKey) {
  KelListValKelUnicodeString missing = MakeList({"stale"});
  tool_.FindMissingMandateAttr("Work_Package", {}, missing);
  EXPECT_EQ(Texts(missing), (Strings{"Part_instance_ptr", "Document_revision_ptr", "Work_package_type",
                                     "Last_update_time", "Last_export_time"}));
  KelListValKelUnicodeString supplied = MakeList(
      {"Part_instance_ptr", "Document_revision_ptr", "Work_package_type", "Last_update_time", "Last_export_time"});
  tool_.FindMissingMandateAttr("xq40718.Work_Package", supplied, missing);
  EXPECT_TRUE(missing.IsEmpty());
  tool_.FindMissingMandateAttr("Cable_From_To", MakeList({"Func_equip_name"}), missing);
  EXPECT_EQ(Texts(missing), (Strings{"Connector_name", "Work_package_key"}));
  tool_.FindMissingMandateAttr("Nowhere", {}, missing);
  EXPECT_TRUE(missing.IsEmpty());
}

TEST_F(MetadataTool, ClassNameTranslations) {
  const std::pair<const char*, const char*> toNeutral[] = {{"Cable_Route", "xq40718.Cable_Route"},
                                                           {"xq40718.Cable_Route", "xq40718.Cable_Route"},
                                                           {"Axq40718B", "Axq40718B"},
                                                           {"XQ40718.Cable_Route", "xq40718.XQ40718.Cable_Route"},
                                                           {"", "xq40718."}};
  for (const auto& [in, out] : toNeutral) EXPECT_EQ(tool_.TranslateClassToNeutral(in).ToUTF8(), out) << in;
  const std::pair<const char*, const char*> toTessel[] = {{"xq40718.Work_Package", "Work_Package"},
                                                          {"Work_Package", "Work_Package"},
                                                          {"a.b.c", "c"},
                                                          {"xq40718.", ""},
                                                          {"", ""}};
  for (const auto& [in, out] : toTessel) {
    EXPECT_EQ(tool_.TranslateClassToTessel(in).ToUTF8(), out) << in;
    EXPECT_EQ(tool_.ConvertClassNameToTessel(in).ToUTF8(), out) << in;
  }
  KelListValKelUnicodeString classes, keys;
  tool_.GetClassInfo(classes, keys, 0);
  for (const KelUnicodeString& name : classes)
    EXPECT_EQ(tool_.TranslateClassToNeutral(tool_.TranslateClassToTessel(name)), name);
}

TEST_F(MetadataTool, TypeTranslationByNameThenBySQLType) {
  KelEdsMetadataTable table("xq40718.T");
  table.AttrNames = MakeList({"a_key", "ref", "n", "x", "s", "odd", "Key_b"});
  table.AttrTypes = MakeList({"INTEGER NULL", "CHAR(256) NOT NULL", "INTEGER NOT NULL", "FLOAT NULL", "VARCHAR(8)",
                              "float null", "INTEGER NULL"});
  table.ExternalRefAttrs = MakeList({"ref"});
  const Strings expected = {"Uuid", "Uuid", "Integer", "Double", "String", "float null", "Integer"};
  for (int k = 1; k <= table.AttrNames.Size(); ++k)
    EXPECT_EQ(tool_.TranslateTypeToTessel(table.AttrNames[k], &table, k).ToUTF8(), expected[k - 1]) << k;
  EXPECT_EQ(tool_.TranslateTypeToTessel("a_key", &table, 0).ToUTF8(), "");
  EXPECT_EQ(tool_.TranslateTypeToTessel("a_key", &table, 8).ToUTF8(), "");
  EXPECT_EQ(tool_.TranslateTypeToTessel("a_key", nullptr, 1).ToUTF8(), "");
}

TEST(MetadataToolCopies, ShareTheDictionaryAndReleaseItOnce) {
  auto* original = new KelEdsMetadataTool;
  KelEdsMetadataDict* dict = KelEdsMetadataToolTestPeer::Dict(*original).get();
  dict->AddRef();  // observe it
  KelEdsMetadataTool copy(*original);
  EXPECT_EQ(dict->GetReferenceCount(), 3u);
  EXPECT_EQ(copy.GetReferenceCount(), 1u);
  original->Release();
  EXPECT_EQ(dict->GetReferenceCount(), 2u);
  EXPECT_EQ(copy.GetPrimaryKey("Cable_Route").ToUTF8(), "Cable_route_key");

  KelEdsMetadataTool other;
  KelEdsMetadataDict* otherDict = KelEdsMetadataToolTestPeer::Dict(other).get();
  otherDict->AddRef();
  other = copy;
  EXPECT_EQ(otherDict->GetReferenceCount(), 1u);  // the target gave its old dictionary up
  EXPECT_EQ(dict->GetReferenceCount(), 3u);
  const KelEdsMetadataTool& alias = other;
  other = alias;
  EXPECT_EQ(dict->GetReferenceCount(), 3u);
  otherDict->Release();
  dict->Release();
}

TEST(MetadataToolWithoutDictionary, FailsEveryDictionaryQueryAndTouchesNoOutput) {
  std::optional<KelEdsMetadataTool> starved;
  {
    KelAllocationFailureScope failFirst(0, 1);
    starved.emplace();
    EXPECT_EQ(KelAllocationFailures(), 1);
  }
  KelEdsMetadataTool foreign;
  KelEdsMetadataToolTestPeer::Dict(foreign) = KelVar<KelEdsMetadataDict>::Adopt(new ForeignDict);
  KelEdsMetadataTool copied(*starved);

  for (KelEdsMetadataTool* tool : {&*starved, &foreign, &copied}) {
    KelListValKelUnicodeString a = MakeList({"a"}), b = MakeList({"b"}), c = MakeList({"c"});
    KelRawCollint flags = {5};
    KelUnicodeString text("kept");
    int flag = 7;
    EXPECT_EQ(OriginOf(tool->GetClassInfo(a, b, 1)), ToolLine(248));
    EXPECT_EQ(OriginOf(tool->GetMagnitudeNames(a)), ToolLine(184));
    EXPECT_EQ(OriginOf(tool->ResolveDefine("EdbSQL_TB1_Work_Package", text)), ToolLine(420));
    EXPECT_EQ(OriginOf(tool->GetAttributeInfo("Work_Package", a, b, flags)), ToolLine(296));
    EXPECT_EQ(OriginOf(tool->GetAttributeType("Work_Package", "Work_package_key", text, flag)), ToolLine(352));
    EXPECT_EQ(OriginOf(tool->GetAttrMagnitudeInfo("Cable_Reference", a, b)), ToolLine(211));
    EXPECT_EQ(OriginOf(tool->GetUniqueAttrNames("Cable_Reference", a)), ToolLine(624));
    EXPECT_EQ(OriginOf(tool->GetRelationship("Cable_Instance", a, b, c)), ToolLine(549));
    EXPECT_EQ(OriginOf(tool->GetReferencingClasses("Cable_Instance", {}, a, b)), ToolLine(701));
    EXPECT_EQ(OriginOf(tool->GenerateSQLStatements(a)), ToolLine(396));
    // No output touched.
    EXPECT_EQ((std::vector<Strings>{Texts(a), Texts(b), Texts(c), {text.ToUTF8()}}),
              (std::vector<Strings>{{"a"}, {"b"}, {"c"}, {"kept"}}));
    EXPECT_EQ(Numbers(flags), std::vector<int>{5});
    EXPECT_EQ(flag, 7);
    EXPECT_EQ(tool->GetPrimaryKey("Work_Package").ToUTF8(), "");
    EXPECT_EQ(tool->TransRelationNameToTessel("Cable_Instance", "Cable_reference_key").ToUTF8(), "Cable_reference_key");
    EXPECT_EQ(tool->ConvertClassNameToTessel("xq40718.Work_Package").ToUTF8(), "xq40718.Work_Package");
    EXPECT_EQ(tool->TranslateClassToTessel("xq40718.Work_Package").ToUTF8(), "Work_Package");
    tool->FindMissingMandateAttr("Work_Package", {}, a);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_GE(tool->GetComputedAttrType("CI_CSect_List_Ptr", text), 0);
    EXPECT_EQ(text.ToUTF8(), "Uuid");
  }
}

// The dictionary's own failures reach the caller as it gives them: a platform
// error caught inside it, the codes of one without tables (the tool never
// keeps one: a tool whose tables memory refused holds no dictionary at all),
// and any other error raised through.
TEST(MetadataToolGuards, DictionaryFailuresReachTheCallerAsTheyAre) {
  KelEdsMetadataTool tool;
  KelVar<KelEdsMetadataDict>& dict = KelEdsMetadataToolTestPeer::Dict(tool);
  dict->Tables.Append(new RaisingTable(true));
  KelListValKelUnicodeString a, b;
  EXPECT_EQ(OriginOf(tool.GetClassInfo(a, b, 0)), DictLine(860));
  EXPECT_EQ(a.Size(), 13);  // appended before the error stay
  dict = KelVar<KelEdsMetadataDict>::Adopt(new KelEdsMetadataDict);
  EXPECT_EQ(OriginOf(tool.GetClassInfo(a, b, 0)), DictLine(823));
  EXPECT_EQ(OriginOf(tool.GenerateSQLStatements(a)), DictLine(682));
  EXPECT_TRUE(a.IsEmpty());
  dict->Tables.Append(new RaisingTable(false));
  EXPECT_THROW(tool.GetClassInfo(a, b, 0), std::runtime_error);
  KelRawCollint flags;
  EXPECT_THROW(tool.GetAttributeInfo("Raising", a, b, flags), std::runtime_error);
}

}  // namespace
