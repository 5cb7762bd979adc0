#include "KelEdsMetadataTool.h"

#include <iterator>
#include <utility>

#include "KelEdsMetadataDict.h"
#include "KelEdsSchemaContent.h"
#include "KelEdsResultCodes.h"
#include "KelError.h"
#include "KelGuard.h"

namespace {

constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsMetadataTool";

constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;
constexpr auto Success = KelEdsResultCodes<kSourceFile>::Success;

bool Contains(const KelUnicodeString& text, const char* part) {
  return text.SearchSubString(part, 0, KelUnicodeString::Forward) >= 0;
}

// Values that the host computes for some classes: typed, but with no column.
// The prefixes name the class they are computed for (Cable_Reference,
// Cable_Instance, Cableway_Section, Cable_Route).
struct ComputedAttribute {
  const char* Name;
  const char* Type;
};

// clang-format off
constexpr ComputedAttribute kComputedAttributes[] = {
    {"CR_Total_Length",          "Double"},
    {"CR_PartNumber",            "String"},
    {"CR_CableType",             "String"},
    {"CR_Nb_Routed",             "Integer"},
    {"CR_Nb_CableInst",          "Integer"},
    {"CI_Total_Length",          "Double"},
    {"CI_CSect_List_Name",       "String"},
    {"CI_CSect_List_Ptr",        "Uuid"},
    {"CI_CSect_List_FilterName", "String"},
    {"CI_CSect_List_FilterPtr",  "Uuid"},
    {"CI_PartNumber",            "String"},
    {"CI_CableType",             "String"},
    {"CI_RouteStatus",           "String"},
    {"CI_WP_Name",               "String"},
    {"CI_PEFrom_Name",           "String"},
    {"CI_PEFrom_WP_Name",        "String"},
    {"CI_PETo_Name",             "String"},
    {"CI_PETo_WP_Name",          "String"},
    {"CS_Total_WT",              "Double"},
    {"CS_Total_OD",              "Double"},
    {"CS_Number_CI",             "Integer"},
    {"CS_Percent_Fill",          "Double"},
    {"CS_Overload",              "Integer"},
    {"CS_WP_Name",               "String"},
    {"RT_CS_List_Name",          "String"},
    {"RT_CS_List_Ptr",           "Uuid"},
    {"RT_CS_List_FilterName",    "String"},
    {"RT_CS_List_FilterPtr",     "Uuid"},
};
// clang-format on
static_assert(std::size(kComputedAttributes) == 28, "28 computed attributes");

// Every dictionary query starts here: a tool whose dictionary could not be
// made (or is of another kind) answers nothing from it.
bool DictionaryReady(const KelVar<KelEdsMetadataDict>& dict) {
  return dict.get() != nullptr && dict.get()->GetMetaObject()->IsAKindOf(KelEdsMetadataDict::MetaObject());
}

// Common frame of the queries on one class: find the class's table under its
// neutral name and run `work` on it. Returns the code of FindTable when the
// class is unknown, `successLine`'s code when the work ran, `guardLine`'s when
// a platform error was caught. The table reference is released on every path.
template <class Work>
long QueryTable(KelEdsMetadataTool& tool, const KelVar<KelEdsMetadataDict>& dict, const KelUnicodeString& className,
                int entryLine, int successLine, int guardLine, Work&& work) {
  long result = Failure(entryLine);
  if (!DictionaryReady(dict)) return result;
  KelVar<KelEdsMetadataTable> table;
  if (!KelGuard([&] {
        result = dict->FindTable(tool.TranslateClassToNeutral(className), table.Out());
        if (result < 0 || !table) return;
        work(*table.get());
        result = Success(successLine);
      }))
    result = Failure(guardLine);
  return result;
}

}  // namespace

KelEdsMetadataTool::KelEdsMetadataTool() {
  // KelBaseUnknown's operator new gives no object when memory is short.
  auto dict = KelVar<KelEdsMetadataDict>::Adopt(new KelEdsMetadataDict);
  if (dict) dict->LoadSchema();
  // A dictionary that memory left without some of its classes is no
  // dictionary: every answer from it would look whole and be short.
  if (dict && dict->Tables.Size() != static_cast<int>(std::size(kKelEdsSchemaClasses))) dict = nullptr;
  Dict = std::move(dict);
  for (const ComputedAttribute& attribute : kComputedAttributes) {
    ComputedAttrNames.Append(attribute.Name);
    ComputedAttrTypes.Append(attribute.Type);
  }
}

// Copies share the dictionary: the handle takes a reference of its own, and
// assignment gives up the one the target held.
KelEdsMetadataTool::KelEdsMetadataTool(const KelEdsMetadataTool& other) = default;
KelEdsMetadataTool& KelEdsMetadataTool::operator=(const KelEdsMetadataTool& other) = default;

KelEdsMetadataTool::~KelEdsMetadataTool() { Dict = nullptr; }

long KelEdsMetadataTool::GetClassInfo(KelListValKelUnicodeString& classNames, KelListValKelUnicodeString& keyAttrs,
                                      const unsigned char& tesselNames) {
  long result = Failure(248);
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] {
        if (tesselNames == 0) {
          result = Dict->GetClassKeys(classNames, keyAttrs);
          return;
        }
        KelListValKelUnicodeString neutralNames;
        result = Dict->GetClassKeys(neutralNames, keyAttrs);
        if (result < 0 || neutralNames.IsEmpty()) return;
        for (const KelUnicodeString& name : neutralNames) classNames.Append(TranslateClassToTessel(name));
      }))
    result = Failure(283);
  return result;
}

KelUnicodeString KelEdsMetadataTool::GetPrimaryKey(const KelUnicodeString& className) {
  KelUnicodeString key("");
  if (!DictionaryReady(Dict)) return key;
  KelGuard([&] {
    const KelUnicodeString neutralName = TranslateClassToNeutral(className);
    KelListValKelUnicodeString classNames, keyAttrs;
    if (Dict->GetClassKeys(classNames, keyAttrs) < 0) return;
    const int k = classNames.Locate(neutralName);
    if (k > 0 && k <= keyAttrs.Size()) key = keyAttrs[k];
  });
  return key;
}

long KelEdsMetadataTool::GetComputedAttrType(const KelUnicodeString& attrName, KelUnicodeString& type) {
  const int k = ComputedAttrNames.Locate(attrName);
  if (k == 0 || k > ComputedAttrTypes.Size()) return Failure(133);
  type = ComputedAttrTypes[k];
  return Success(137);
}

long KelEdsMetadataTool::GetMagnitudeNames(KelListValKelUnicodeString& names) {
  long result = Failure(184);
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] { result = Dict->AppendMagnitudeNames(names); })) result = Failure(197);
  return result;
}

long KelEdsMetadataTool::ResolveDefine(const KelUnicodeString& sqlName, KelUnicodeString& neutralName) {
  long result = Failure(420);
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] { result = Dict->ResolveSQLName(sqlName, neutralName); })) result = Failure(432);
  return result;
}

long KelEdsMetadataTool::GetAttributeInfo(const KelUnicodeString& className, KelListValKelUnicodeString& attrNames,
                                          KelListValKelUnicodeString& types, KelRawCollint& mandatory) {
  return QueryTable(*this, Dict, className, 296, 332, 338, [&](const KelEdsMetadataTable& table) {
    const int n = table.AttrNames.Size();
    if (n < 1 || table.AttrTypes.Size() != n || table.NotNullFlags.Size() != n) return;
    for (int k = 1; k <= n; ++k) {
      attrNames.Append(table.AttrNames[k]);
      types.Append(TranslateTypeToTessel(table.AttrNames[k], &table, k));
      mandatory.Append(table.NotNullFlags[k]);
    }
  });
}

long KelEdsMetadataTool::GetAttributeType(const KelUnicodeString& className, KelUnicodeString attrName,
                                          KelUnicodeString& type, int& mandatory) {
  long result = Failure(352);
  if (!KelGuard([&] {
        KelListValKelUnicodeString names, types;
        KelRawCollint flags;
        const long found = GetAttributeInfo(className, names, types, flags);
        if (found < 0 || names.IsEmpty() || names.Size() != types.Size() || names.Size() != flags.Size()) return;
        // No early exit: were a name listed twice, its last entry would win.
        for (int k = 1; k <= names.Size(); ++k) {
          if (names[k] != attrName) continue;
          type = types[k];
          mandatory = flags[k];
        }
        result = Success(377);
      }))
    result = Failure(384);
  return result;
}

long KelEdsMetadataTool::GetAttrMagnitudeInfo(const KelUnicodeString& className, KelListValKelUnicodeString& attrNames,
                                              KelListValKelUnicodeString& magnitudes) {
  return QueryTable(*this, Dict, className, 211, 227, 233, [&](const KelEdsMetadataTable& table) {
    attrNames.Append(table.MagnitudeAttrs);
    magnitudes.Append(table.Magnitudes);
  });
}

long KelEdsMetadataTool::GetUniqueAttrNames(const KelUnicodeString& className, KelListValKelUnicodeString& attrNames) {
  return QueryTable(*this, Dict, className, 624, 649, 655,
                    [&](const KelEdsMetadataTable& table) { attrNames.Append(table.UniqueAttrs); });
}

long KelEdsMetadataTool::GetRelationship(const KelUnicodeString& className, KelListValKelUnicodeString& names,
                                         KelListValKelUnicodeString& attrs,
                                         KelListValKelUnicodeString& referencedClasses) {
  return QueryTable(*this, Dict, className, 549, 604, 610, [&](const KelEdsMetadataTable& table) {
    for (const KelUnicodeString& constraint : table.Constraints) {
      if (!Contains(constraint, "FOREIGN KEY")) continue;
      KelUnicodeString name, attr, referenced;
      if (Dict->ParseRelation(constraint, name, attr, referenced) < 0) continue;
      names.Append(name);
      attrs.Append(attr);
      referencedClasses.Append(referenced);
    }
    const int n = table.ExternalRefNames.Size();
    if (n < 1 || table.ExternalRefAttrs.Size() != n || table.ExternalRefClasses.Size() != n ||
        table.ExternalRefIds.Size() != n)
      return;
    for (int k = 1; k <= n; ++k) {
      names.Append(table.ExternalRefNames[k]);
      attrs.Append(table.ExternalRefAttrs[k]);
      referencedClasses.Append(table.ExternalRefClasses[k]);
    }
  });
}

KelUnicodeString KelEdsMetadataTool::TransRelationNameToTessel(const KelUnicodeString& className,
                                                               const KelUnicodeString& attrName) {
  KelUnicodeString result = attrName;
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] {
        KelListValKelUnicodeString names, attrs, classes;
        if (GetRelationship(TranslateClassToNeutral(className), names, attrs, classes) < 0) return;
        const int k = attrs.Locate(attrName);
        if (k > 0 && k <= names.Size()) result = names[k];
      }))
    result = attrName;
  return result;
}

long KelEdsMetadataTool::GetReferencingClasses(const KelUnicodeString& referencedClass,
                                               const KelListValKelUnicodeString& filter,
                                               KelListValKelUnicodeString& classes, KelListValKelUnicodeString& names) {
  long result = Failure(701);
  if (!DictionaryReady(Dict)) return result;
  // The referenced class is matched as the constraints write it: a Tessel name.
  if (!KelGuard([&] { result = Dict->FindReferencingClasses(referencedClass, filter, classes, names); }))
    result = Failure(714);
  return result;
}

void KelEdsMetadataTool::FindMissingMandateAttr(const KelUnicodeString& className,
                                                const KelListValKelUnicodeString& supplied,
                                                KelListValKelUnicodeString& missing) {
  missing.RemoveAll();
  if (!DictionaryReady(Dict)) return;
  KelGuard([&] {
    const KelUnicodeString key = GetPrimaryKey(className);
    KelListValKelUnicodeString names, types;
    KelRawCollint flags;
    if (GetAttributeInfo(className, names, types, flags) < 0) return;
    const int n = names.Size();
    if (n < 1 || types.Size() != n || flags.Size() != n) return;
    for (int k = 1; k <= n; ++k) {
      if (flags[k] > 0 && names[k] != key && supplied.Locate(names[k]) == 0) missing.Append(names[k]);
    }
  });
}

KelUnicodeString KelEdsMetadataTool::TranslateClassToNeutral(const KelUnicodeString& className) {
  if (Contains(className, "xq40718")) return className;
  return KelUnicodeString("xq40718.") + className;
}

KelUnicodeString KelEdsMetadataTool::TranslateClassToTessel(const KelUnicodeString& className) {
  const int dot = className.SearchSubString(".", 0, KelUnicodeString::Backward);
  if (dot < 0) return className;
  return className.SubString(dot + 1, className.GetLengthInChar() - dot - 1);
}

KelUnicodeString KelEdsMetadataTool::ConvertClassNameToTessel(const KelUnicodeString& className) {
  KelUnicodeString result = className;
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] { result = Dict->GetTesselName(className); })) result = className;
  return result;
}

KelUnicodeString KelEdsMetadataTool::TranslateTypeToTessel(KelUnicodeString attrName, const KelEdsMetadataTable* table,
                                                           int index) {
  if (table == nullptr || index < 1 || index > table->AttrTypes.Size()) return KelUnicodeString("");
  const KelUnicodeString& sqlType = table->AttrTypes[index];
  // Keys and external references are identifiers whatever their SQL type.
  if (Contains(attrName, "_key") || Contains(attrName, "_Key") || table->ExternalRefAttrs.Locate(attrName) > 0)
    return KelUnicodeString("Uuid");
  if (Contains(sqlType, "INTEGER")) return KelUnicodeString("Integer");
  if (Contains(sqlType, "FLOAT")) return KelUnicodeString("Double");
  if (Contains(sqlType, "CHAR")) return KelUnicodeString("String");
  return sqlType;
}

long KelEdsMetadataTool::GenerateSQLStatements(KelListValKelUnicodeString& statements) {
  long result = Failure(396);
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] { result = Dict->GenerateSQL(statements); })) result = Failure(408);
  return result;
}

long KelEdsMetadataTool::GenerateNorvaleMetaData(const KelUnicodeString& uuidFile,
                                                 const KelListValKelUnicodeString& suppliedNames,
                                                 const KelListValKelUnicodeString& suppliedUuids,
                                                 const KelUnicodeString& outputFile) {
  long result = Failure(445);
  if (!DictionaryReady(Dict)) return result;
  if (!KelGuard([&] { result = Dict->GenerateMetaData(uuidFile, suppliedNames, suppliedUuids, outputFile); }))
    result = Failure(458);
  return result;
}
