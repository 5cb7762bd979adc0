// The dictionary's constraint parsers, table building, SQL generation and
// lookups, on the loaded schema and on small hand-made ones.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "KelAllocator.h"
#include "KelEdsSchemaTestSupport.h"

namespace {

TEST(ParseKeyAttrs, AppendsTheStrippedColumnsAfterTheKeyword) {
  // Keyword, text, what is appended (nothing: the parse fails), where it fails.
  const std::tuple<const char*, const char*, Strings, int> cases[] = {
      {"UNIQUE",
       "CONSTRAINT FEC_UNIQ UNIQUE (Func_equip_name,Connector_name,Work_package_key)",
       {"Func_equip_name", "Connector_name", "Work_package_key"},
       0},
      {"PRIMARY", "CONSTRAINT X PRIMARY KEY ( a , b )", {"a", "b"}, 0},
      {"PRIMARY", "CONSTRAINT X PRIMARYKEYS (a)", {"a"}, 0},  // a substring anywhere
      {"PRIMARY", "", {}, 3023},
      {"PRIMARY", "CONSTRAINT CRC_UNIQ UNIQUE (Part_number)", {}, 3023},
      {"PRIMARY", "CONSTRAINT X (a) PRIMARY KEY", {}, 3133},  // no "(" after the keyword
      {"PRIMARY", "CONSTRAINT X PRIMARY KEY ()", {}, 3133},
      {"UNIQUE", "CONSTRAINT X UNIQUE (a", {}, 3133},
      {"UNIQUE", "CONSTRAINT X UNIQUE (,,)", {}, 3133},
  };
  KelEdsMetadataDict dict;
  for (const auto& [keyword, text, appended, failureLine] : cases) {
    SCOPED_TRACE(text);
    KelListValKelUnicodeString out = MakeList({"kept"});
    const long result = dict.ParseKeyAttrs(keyword, text, out);
    Strings expected{"kept"};
    expected.insert(expected.end(), appended.begin(), appended.end());
    EXPECT_EQ(Texts(out), expected);
    EXPECT_EQ(OriginOf(result), appended.empty() ? DictLine(failureLine) : kSucceeded);
  }
}

TEST(AppendTokens, SkipsEmptyPiecesAndNeedsTextAndSeparator) {
  KelEdsMetadataDict dict;
  KelListValKelUnicodeString out;
  EXPECT_EQ(OriginOf(dict.AppendTokens("", "a,b", out)), DictLine(3133));
  EXPECT_EQ(OriginOf(dict.AppendTokens(",", "", out)), DictLine(3133));
  EXPECT_EQ(OriginOf(dict.AppendTokens(",", ",,,", out)), DictLine(3133));
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_GE(dict.AppendTokens(",", ",,a,, b ,", out), 0);
  EXPECT_EQ(Texts(out), (Strings{"a", "b"}));
}

TEST(ParseForeignKey, AppendsAllThreePartsOrNone) {
  // Text, then attribute, class and target; none when the parse fails.
  const std::pair<const char*, Strings> cases[] = {
      {"CONSTRAINT EPC_CN FOREIGN KEY (Cableway_node_key) REFERENCES Cableway_Node (Cableway_node_key)",
       {"Cableway_node_key", "Cableway_Node", "Cableway_node_key"}},
      {"FOREIGN KEY ( a,b ) REFERENCES  T  ( c )", {"a,b", "T", "c"}},  // one entry, not split
      {"", {}},
      {"CONSTRAINT X PRIMARY KEY (a)", {}},
      {"CONSTRAINT X FOREIGN KEY () REFERENCES T (c)", {}},
      {"CONSTRAINT X FOREIGN KEY (a) REFERENCE T (c)", {}},
      {"CONSTRAINT X FOREIGN KEY (a) REFERENCES(c)", {}},
      {"CONSTRAINT X FOREIGN KEY (a) REFERENCES T ()", {}},
      {"CONSTRAINT X FOREIGN KEY (a) REFERENCES T (c", {}},
      {"CONSTRAINT X FOREIGN KEY a", {}},
  };
  KelEdsMetadataDict dict;
  for (const auto& [text, parts] : cases) {
    SCOPED_TRACE(text);
    KelListValKelUnicodeString attrs, classes, targets;
    const long result = dict.ParseForeignKey(text, attrs, classes, targets);
    EXPECT_EQ(OriginOf(result), parts.empty() ? DictLine(3060) : kSucceeded);
    Strings got;  // the three lists one after the other
    for (const auto* list : {&attrs, &classes, &targets})
      for (const std::string& part : Texts(*list)) got.push_back(part);
    EXPECT_EQ(got, parts);
  }
}

TEST(GetConstraintName, IsTheWordAfterTheConstraintMarker) {
  const std::pair<const char*, const char*> cases[] = {
      {"CONSTRAINT WPC_PI FOREIGN KEY (Part_instance_ptr) REFERENCES RuxItemInstance (80A2B3BD)", "WPC_PI"},
      {"  CONSTRAINT   RLC_UNIQ UNIQUE (a)", "RLC_UNIQ"},
      {"XCONSTRAINTY name rest", "name"},
      {"PRIMARY KEY (a)", ""},
      {"FOREIGN KEY CONSTRAINT", ""},
      {"", ""},
  };
  KelEdsMetadataDict dict;
  for (const auto& [text, name] : cases) EXPECT_EQ(dict.GetConstraintName(text).ToUTF8(), name) << text;
}

TEST(ParseRelation, SplitsNameAttributesAndReferencedClass) {
  // Text, then name, attributes and class after the call (none: untouched), success.
  const std::tuple<const char*, Strings, bool> cases[] = {
      {"CONSTRAINT CIC_WP FOREIGN KEY (Work_package_key) REFERENCES Work_Package (Work_package_key)",
       {"CIC_WP", "Work_package_key", "Work_Package"},
       true},
      {"CONSTRAINT X FOREIGN KEY (a) REFERENCES Rest Of Text", {"X", "a", "Rest Of Text"}, true},
      {"CONSTRAINT X FOREIGN KEY )a( REFERENCES T (b)", {"X", "", "T"}, false},
      {"CONSTRAINT X FOREIGN KEY (a) T (b)", {"X", "a", ""}, false},
      {"FOREIGN KEY (a) REFERENCES T (b)", {"", "a", "T"}, false},
      {"CONSTRAINT X FOREIGN KEY (a) REFERENCE", {"X", "a", ""}, false},
      {"CONSTRAINT X PRIMARY KEY (a)", {}, false},
      {"", {}, false},
  };
  KelEdsMetadataDict dict;
  for (const auto& [text, parts, succeeds] : cases) {
    SCOPED_TRACE(text);
    KelUnicodeString name("n"), attrs("a"), referenced("c");
    const long result = dict.ParseRelation(text, name, attrs, referenced);
    EXPECT_EQ((Strings{name.ToUTF8(), attrs.ToUTF8(), referenced.ToUTF8()}),
              (parts.empty() ? Strings{"n", "a", "c"} : parts));
    EXPECT_EQ(OriginOf(result), succeeds ? kSucceeded : DictLine(2210));
  }
}

// Two classes: "xq40718.A" (code 7, position 1) and "xq40718.B" (code 3, position 2).
KelEdsSchemaSources SmallSchema() {
  KelEdsSchemaSources s;
  s.ClassNames = MakeList({"xq40718.A", "xq40718.B"});
  s.ClassCodes = {7, 3};
  s.AttrNames = MakeList({"b_key", "a_key", "a_len", "b_name"});
  s.AttrCodes = {3, 7, 7, 3};
  s.TypeTexts = MakeList({"INTEGER NOT NULL", "INTEGER NOT NULL", "FLOAT NULL", "CHAR(8)NULL"});
  s.TypeCodes = {3, 7, 7, 3};
  s.ConstraintTexts = MakeList({"CONSTRAINT A_PK PRIMARY KEY (a_key)", "CONSTRAINT B_ODD CHECK (b_key > 0)",
                                "CONSTRAINT B_A FOREIGN KEY (b_key) REFERENCES A (a_key)"});
  s.ConstraintCodes = {7, 3, 3};
  s.MagnitudeAttrs = MakeList({"a_len"});
  s.MagnitudeNames = MakeList({"LENGTH"});
  s.MagnitudeCodes = {7};
  return s;
}

TEST(BuildTables, RoutesEntriesByClassCodeInSourceOrder) {
  KelEdsMetadataDict dict;
  dict.BuildTables(SmallSchema());
  ASSERT_EQ(dict.Tables.Size(), 2);
  const KelEdsMetadataTable& a = *KelEdsMetadataDict::AsTable(dict.Tables[1]);
  const KelEdsMetadataTable& b = *KelEdsMetadataDict::AsTable(dict.Tables[2]);
  EXPECT_EQ(a.Name.ToUTF8(), "xq40718.A");
  EXPECT_EQ(Texts(a.AttrNames), (Strings{"a_key", "a_len"}));
  EXPECT_EQ(Numbers(a.NotNullFlags), (std::vector<int>{1, 0}));
  EXPECT_EQ(Texts(a.MagnitudeAttrs), Strings{"a_len"});
  EXPECT_EQ(Texts(a.PrimaryKeyAttrs), Strings{"a_key"});
  EXPECT_EQ(Texts(b.AttrNames), (Strings{"b_key", "b_name"}));
  EXPECT_EQ(Numbers(b.NotNullFlags), (std::vector<int>{1, 0}));
  // The CHECK constraint is kept but yields no key; B has no primary key.
  EXPECT_EQ(b.Constraints.Size(), 2);
  EXPECT_TRUE(b.PrimaryKeyAttrs.IsEmpty() && b.UniqueAttrs.IsEmpty());
  EXPECT_EQ(Texts(b.ForeignKeyClasses), Strings{"A"});
  EXPECT_TRUE(b.Magnitudes.IsEmpty());
  // The class keys leave out the table without a primary key.
  KelListValKelUnicodeString classes, keys;
  EXPECT_GE(dict.GetClassKeys(classes, keys), 0);
  EXPECT_EQ(Texts(classes), Strings{"xq40718.A"});
  EXPECT_EQ(Texts(keys), Strings{"a_key"});
}

TEST(BuildTables, InconsistentRequiredSourcesBuildNothing) {
  const std::vector<std::function<void(KelEdsSchemaSources&)>> breakages = {
      [](KelEdsSchemaSources& s) { s.AttrCodes.Append(7); },
      [](KelEdsSchemaSources& s) {
        s.TypeTexts.RemoveAll();
        s.TypeCodes.RemoveAll();
      },
      [](KelEdsSchemaSources& s) { s.ConstraintCodes.RemovePosition(1); },
      [](KelEdsSchemaSources& s) {
        s.ClassNames.RemoveAll();
        s.ClassCodes.RemoveAll();
      },
      // A scope entry without its code raises a platform error inside the build.
      [](KelEdsSchemaSources& s) { s.ScopeTexts.Append("Ext_N_id"); },
  };
  for (std::size_t i = 0; i < breakages.size(); ++i) {
    KelEdsSchemaSources sources = SmallSchema();
    breakages[i](sources);
    KelEdsMetadataDict dict;
    dict.BuildTables(sources);
    EXPECT_EQ(dict.Tables.Size(), 0) << "breakage " << i;
  }
}

TEST(BuildTables, OptionalSourcesThatDisagreeAreLeftOut) {
  KelEdsSchemaSources s = SmallSchema();
  s.MagnitudeCodes.Append(3);
  s.ExternalRefTexts = MakeList({"CONSTRAINT E1 FOREIGN KEY (b_name) REFERENCES Ext (ID-1)"});
  KelEdsMetadataDict dict;
  dict.BuildTables(s);
  ASSERT_EQ(dict.Tables.Size(), 2);
  for (KelBaseUnknown* entry : dict.Tables) {
    EXPECT_TRUE(KelEdsMetadataDict::AsTable(entry)->MagnitudeAttrs.IsEmpty());
    EXPECT_TRUE(KelEdsMetadataDict::AsTable(entry)->ExternalRefNames.IsEmpty());
  }
}

TEST(BuildTables, ScopeEntriesAndExternalReferences) {
  KelEdsSchemaSources s = SmallSchema();
  s.ScopeTexts = MakeList({"Ext_D_x_N_y", "Nope", "_N_id", "Lost_N_id", "Late_N_id2"});
  s.ScopeCodes = {3, 3, 3, 99, 7};
  s.ExternalRefTexts = MakeList({"CONSTRAINT E1 FOREIGN KEY (b_name) REFERENCES Ext (ID-1)",
                                 "CONSTRAINT E2 FOREIGN KEY (b_key) Ext (ID-2)",
                                 "CONSTRAINT E3 FOREIGN KEY (a_key) REFERENCES Ext (ID-3)"});
  s.ExternalRefPositions = {2, 2, 3};  // positions, not codes: 3 is no class
  KelEdsMetadataDict dict;
  dict.BuildTables(s);
  const KelEdsMetadataTable& a = *KelEdsMetadataDict::AsTable(dict.Tables[1]);
  const KelEdsMetadataTable& b = *KelEdsMetadataDict::AsTable(dict.Tables[2]);
  // "_D_" is looked for first, so "Ext_D_x_N_y" splits there.
  EXPECT_EQ(b.ScopeName.ToUTF8(), "Ext");
  EXPECT_EQ(b.ScopeRef.ToUTF8(), "x_N_y");
  EXPECT_EQ(a.ScopeName.ToUTF8(), "Late");
  EXPECT_EQ(Texts(b.ExternalRefNames), Strings{"E1"});
  EXPECT_EQ(Texts(b.ExternalRefAttrs), Strings{"b_name"});
  EXPECT_EQ(Texts(b.ExternalRefIds), Strings{"ID-1"});
  EXPECT_TRUE(a.ExternalRefNames.IsEmpty());
}

// A class without a name gets no table; a table that memory refuses stops
// the building, keeping the tables made before it.
TEST(BuildTables, AClassWithoutNameOrMemoryGetsNoTable) {
  KelEdsSchemaSources s = SmallSchema();
  s.ClassNames[1] = KelUnicodeString("");
  KelEdsMetadataDict unnamed;
  unnamed.BuildTables(s);
  ASSERT_EQ(unnamed.Tables.Size(), 1);
  EXPECT_EQ(KelEdsMetadataDict::AsTable(unnamed.Tables[1])->Name.ToUTF8(), "xq40718.B");

  for (long refused : {0L, 1L}) {
    KelEdsMetadataDict starved;
    {
      KelAllocationFailureScope failOne(refused, 1);
      starved.BuildTables(SmallSchema());
    }
    EXPECT_EQ(starved.Tables.Size(), refused) << refused;
  }
}

TEST(Dictionary, ReleasesItsTablesWhenClearedOrDestroyed) {
  KelEdsMetadataTable* held = nullptr;
  {
    KelEdsMetadataDict dict;
    dict.LoadSchema();
    ASSERT_GE(dict.FindTable("xq40718.Cable_Route", &held), 0);
    EXPECT_EQ(held->GetReferenceCount(), 2u);
  }
  EXPECT_EQ(held->GetReferenceCount(), 1u);
  held->Release();
}

// The loaded schema's statements are checked by value in
// KelEdsSchemaContent_test.cpp; these are the generator's rules on small tables.

// A table entry with the given attributes and types, for the dictionary to own.
KelEdsMetadataTable* NewTable(const char* name, const Strings& attrs, const Strings& types) {
  auto* table = new KelEdsMetadataTable(name);
  table->AttrNames = MakeList(attrs);
  table->AttrTypes = MakeList(types);
  return table;
}

TEST(GenerateSQL, SkipsWhatItCannotWriteAndStillSucceeds) {
  KelEdsMetadataDict dict;
  auto* uneven = NewTable("xq40718.Uneven", {"a", "b"}, {"INTEGER"});
  uneven->Constraints = MakeList({"CONSTRAINT U_PK PRIMARY KEY (a)"});
  dict.Tables.Append(uneven);
  dict.Tables.Append(nullptr);
  dict.Tables.Append(new KelBaseUnknown);
  dict.Tables.Append(NewTable("xq40718.Bare", {"a"}, {"INTEGER"}));
  KelListValKelUnicodeString statements;
  EXPECT_GE(dict.GenerateSQL(statements), 0);
  EXPECT_EQ(Texts(statements), (Strings{"\"ALTER TABLE xq40718.Uneven ADD CONSTRAINT U_PK PRIMARY KEY (a);\"",
                                        "\"CREATE TABLE xq40718.Bare (a INTEGER);\""}));

  KelEdsMetadataDict foreignOnly;
  foreignOnly.Tables.Append(new KelBaseUnknown);
  statements = MakeList({"stale"});
  EXPECT_GE(foreignOnly.GenerateSQL(statements), 0);
  EXPECT_TRUE(statements.IsEmpty());
}

TEST(GenerateSQL, FailuresEmptyOrKeepWhatWasWritten) {
  KelEdsMetadataDict empty;
  KelListValKelUnicodeString statements = MakeList({"stale"});
  EXPECT_EQ(OriginOf(empty.GenerateSQL(statements)), DictLine(682));
  EXPECT_TRUE(statements.IsEmpty());

  KelEdsMetadataDict raising;
  raising.Tables.Append(NewTable("xq40718.First", {"a"}, {"INTEGER"}));
  raising.Tables.Append(new RaisingTable(true));
  EXPECT_EQ(OriginOf(raising.GenerateSQL(statements)), DictLine(810));
  EXPECT_EQ(Texts(statements), Strings{"\"CREATE TABLE xq40718.First (a INTEGER);\""});

  KelEdsMetadataDict foreign;
  foreign.Tables.Append(new RaisingTable(false));
  EXPECT_THROW(foreign.GenerateSQL(statements), std::runtime_error);
}

TEST(DictionaryLookups, FailureCodesOfEmptyAndBrokenDictionaries) {
  KelEdsMetadataDict empty;
  KelListValKelUnicodeString a = MakeList({"x"}), b = MakeList({"y"});
  KelUnicodeString text("kept");
  KelEdsMetadataTable* table = nullptr;
  EXPECT_EQ(OriginOf(empty.GetClassKeys(a, b)), DictLine(823));
  EXPECT_EQ(OriginOf(empty.ResolveSQLName("EdbSQL_TB1_Work_Package", text)), DictLine(945));
  EXPECT_EQ(OriginOf(empty.FindTable("xq40718.Work_Package", &table)), DictLine(872));
  EXPECT_EQ(OriginOf(empty.FindReferencingClasses("", {}, a, b)), DictLine(2365));
  EXPECT_EQ(Texts(a), Strings{"x"});  // an empty referenced class touches nothing
  EXPECT_EQ(OriginOf(empty.FindReferencingClasses("Work_Package", {}, a, b)), DictLine(2365));
  EXPECT_TRUE(a.IsEmpty() && b.IsEmpty());  // emptied before the tables are counted
  EXPECT_EQ(text.ToUTF8(), "kept");

  KelEdsMetadataDict loaded;
  loaded.LoadSchema();
  EXPECT_EQ(OriginOf(loaded.FindTable("xq40718.Work_Package", nullptr)), DictLine(872));
  KelEdsMetadataTable sentinel("sentinel");
  table = &sentinel;  // reset by the failing call
  EXPECT_EQ(OriginOf(loaded.FindTable("Work_Package", &table)), DictLine(872));
  EXPECT_EQ(table, nullptr);
  loaded.NeutralNames.Append("unpaired");
  EXPECT_EQ(OriginOf(loaded.ResolveSQLName("EdbSQL_TB1_Work_Package", text)), DictLine(945));

  KelEdsMetadataDict raising;
  raising.Tables.Append(new RaisingTable(true));
  EXPECT_EQ(OriginOf(raising.GetClassKeys(a, b)), DictLine(860));
  EXPECT_EQ(OriginOf(raising.FindTable("xq40718.Raising", &table)), DictLine(903));
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(OriginOf(raising.FindReferencingClasses("Work_Package", {}, a, b)), DictLine(2426));
}

}  // namespace
