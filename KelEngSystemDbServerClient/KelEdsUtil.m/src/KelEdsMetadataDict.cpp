#include "KelEdsMetadataDict.h"

#include "KelEdsMetadataDocument.h"
#include "KelEdsResultCodes.h"
#include "KelEdsSchemaContent.h"
#include "KelError.h"
#include "KelGuard.h"
#include "KelToken.h"
#include "KelVar.h"

KelImplementClass(KelEdsMetadataTable, KelImplementationKind, KelBaseUnknown, "KelNull", "KelEngSystemDbServerClient")
KelImplementClass(KelEdsMetadataDict, KelImplementationKind, KelBaseUnknown, "KelNull", "KelEngSystemDbServerClient")

namespace {

// Result codes are traced to this file and a fixed line per outcome, so that a
// host can tell where a failure came from.
constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsMetadataDict";

constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;
constexpr auto Success = KelEdsResultCodes<kSourceFile>::Success;

using kelmetadata::Between;
using kelmetadata::Contains;
using kelmetadata::StripBlanks;

// A scope entry that BuildTables keeps: an external class for one class position.
struct ScopeTriple {
  KelUnicodeString ExternalClass;
  KelUnicodeString Identifier;
  int ClassPosition;
};

}  // namespace

KelEdsMetadataTable::KelEdsMetadataTable(const KelUnicodeString& name) : Name(name) {}
KelEdsMetadataTable::~KelEdsMetadataTable() = default;

KelEdsMetadataDict::KelEdsMetadataDict() = default;
KelEdsMetadataDict::~KelEdsMetadataDict() { Clear(); }

KelEdsMetadataTable* KelEdsMetadataDict::AsTable(KelBaseUnknown* entry) {
  if (entry == nullptr || !entry->GetMetaObject()->IsAKindOf(KelEdsMetadataTable::MetaObject())) return nullptr;
  return static_cast<KelEdsMetadataTable*>(entry);
}

void KelEdsMetadataDict::Clear() {
  for (KelBaseUnknown* entry : Tables) {
    if (entry != nullptr) entry->Release();
  }
  Tables.RemoveAll();
  SQLNames.RemoveAll();
  NeutralNames.RemoveAll();
}

long KelEdsMetadataDict::LoadSchema() {
  long result = Failure(84);
  Clear();
  for (const KelEdsSchemaClassRow& row : kKelEdsSchemaClasses) {
    SQLNames.Append(row.SQLTable);
    NeutralNames.Append(row.NeutralName);
  }
  for (const KelEdsSchemaAttributeRow& row : kKelEdsSchemaAttributes) {
    SQLNames.Append(row.SQLColumn);
    NeutralNames.Append(row.Name);
  }

  KelEdsSchemaSources sources;
  for (const KelEdsSchemaClassRow& row : kKelEdsSchemaClasses) {
    sources.ClassNames.Append(row.NeutralName);
    sources.ClassCodes.Append(row.Code);
  }
  for (const KelEdsSchemaAttributeRow& row : kKelEdsSchemaAttributes) {
    sources.AttrNames.Append(row.Name);
    sources.AttrCodes.Append(row.Code);
    sources.TypeTexts.Append(row.SQLType);
    sources.TypeCodes.Append(row.Code);
  }
  for (const KelEdsSchemaConstraintRow& row : kKelEdsSchemaConstraints) {
    sources.ConstraintTexts.Append(row.Text);
    sources.ConstraintCodes.Append(row.Code);
  }
  for (const KelEdsSchemaScopeRow& row : kKelEdsSchemaScopes) {
    sources.ScopeTexts.Append(row.Text);
    sources.ScopeCodes.Append(row.Code);
  }
  for (const KelEdsSchemaExternalRefRow& row : kKelEdsSchemaExternalRefs) {
    sources.ExternalRefTexts.Append(row.Text);
    sources.ExternalRefPositions.Append(row.ClassPosition);
  }
  for (const KelEdsSchemaAttributeRow& row : kKelEdsSchemaAttributes) {
    if (row.Magnitude == kNoMagnitude) continue;
    sources.MagnitudeAttrs.Append(row.Name);
    sources.MagnitudeNames.Append(row.Magnitude);
    sources.MagnitudeCodes.Append(row.Code);
  }

  BuildTables(sources);  // handles its own errors
  result = Success(616);
  return result;
}

void KelEdsMetadataDict::BuildTables(const KelEdsSchemaSources& s) {
  KelGuard([&] {
    // Scope entries: "<external class>_D_<identifier>" or "..._N_...".
    KelList<ScopeTriple> scopes;
    for (int k = 1; k <= s.ScopeTexts.Size(); ++k) {
      const KelUnicodeString& entry = s.ScopeTexts[k];
      int separator = entry.SearchSubString("_D_", 0, KelUnicodeString::Forward);
      if (separator < 0) separator = entry.SearchSubString("_N_", 0, KelUnicodeString::Forward);
      if (separator < 0) continue;
      KelUnicodeString externalClass = entry.SubString(0, separator);
      KelUnicodeString identifier = entry.SubString(separator + 3, entry.GetLengthInChar() - separator - 3);
      int position = s.ClassCodes.Locate(s.ScopeCodes[k]);
      if (!externalClass.IsEmpty() && !identifier.IsEmpty() && position > 0)
        scopes.Append(ScopeTriple{externalClass, identifier, position});
    }

    auto consistent = [](const KelListValKelUnicodeString& texts, const KelRawCollint& codes) {
      return !texts.IsEmpty() && texts.Size() == codes.Size();
    };
    if (!consistent(s.ClassNames, s.ClassCodes) || !consistent(s.AttrNames, s.AttrCodes) ||
        !consistent(s.TypeTexts, s.TypeCodes) || !consistent(s.ConstraintTexts, s.ConstraintCodes))
      return;
    const bool useMagnitudes = !s.MagnitudeAttrs.IsEmpty() && s.MagnitudeAttrs.Size() == s.MagnitudeNames.Size() &&
                               s.MagnitudeAttrs.Size() == s.MagnitudeCodes.Size();
    const bool useExternalRefs = consistent(s.ExternalRefTexts, s.ExternalRefPositions);

    for (int p = 1; p <= s.ClassNames.Size(); ++p) {
      const KelUnicodeString& name = s.ClassNames[p];
      const int code = s.ClassCodes[p];
      if (name.IsEmpty()) continue;
      // Held by the handle until it is appended, so a raised error frees it.
      auto table = KelVar<KelEdsMetadataTable>::Adopt(new KelEdsMetadataTable(name));
      // Memory refused: building stops here, and the tool gives the
      // dictionary up rather than answer from part of the schema.
      if (!table) KelError::ThrowErrorOutOfMemory(kSourceFile, __LINE__);

      for (int k = 1; k <= s.AttrNames.Size(); ++k) {
        if (s.AttrCodes[k] == code) table->AttrNames.Append(s.AttrNames[k]);
      }
      if (useMagnitudes) {
        for (int k = 1; k <= s.MagnitudeAttrs.Size(); ++k) {
          if (s.MagnitudeCodes[k] != code) continue;
          table->MagnitudeAttrs.Append(s.MagnitudeAttrs[k]);
          table->Magnitudes.Append(s.MagnitudeNames[k]);
        }
      }
      for (int k = 1; k <= s.TypeTexts.Size(); ++k) {
        if (s.TypeCodes[k] != code) continue;
        table->AttrTypes.Append(s.TypeTexts[k]);
        table->NotNullFlags.Append(Contains(s.TypeTexts[k], "NOT NULL") ? 1 : 0);
      }
      for (int k = 1; k <= s.ConstraintTexts.Size(); ++k) {
        if (s.ConstraintCodes[k] != code) continue;
        const KelUnicodeString& text = s.ConstraintTexts[k];
        table->Constraints.Append(text);
        // A text that none of the parsers accepts stays only in Constraints.
        if (ParseKeyAttrs("PRIMARY", text, table->PrimaryKeyAttrs) >= 0) continue;
        if (ParseKeyAttrs("UNIQUE", text, table->UniqueAttrs) >= 0) continue;
        ParseForeignKey(text, table->ForeignKeyAttrs, table->ForeignKeyClasses, table->ForeignKeyTargetAttrs);
      }
      for (const ScopeTriple& scope : scopes) {
        if (scope.ClassPosition != p) continue;
        table->ScopeName = scope.ExternalClass;
        table->ScopeRef = scope.Identifier;
      }
      if (useExternalRefs) {
        for (int k = 1; k <= s.ExternalRefTexts.Size(); ++k) {
          if (s.ExternalRefPositions[k] != p) continue;
          const KelUnicodeString& text = s.ExternalRefTexts[k];
          KelUnicodeString refName = GetConstraintName(text);
          if (ParseForeignKey(text, table->ExternalRefAttrs, table->ExternalRefClasses, table->ExternalRefIds) >= 0)
            table->ExternalRefNames.Append(refName);
        }
      }
      Tables.Append(table.Detach());
    }
  });
}

long KelEdsMetadataDict::ParseKeyAttrs(const KelUnicodeString& keyword, const KelUnicodeString& text,
                                       KelListValKelUnicodeString& attrs) const {
  long result = Failure(3023);
  if (text.IsEmpty()) return result;
  if (!KelGuard([&] {
        const int at = text.SearchSubString(keyword, 0, KelUnicodeString::Forward);
        if (at < 0) return;
        const int open = text.SearchSubString("(", at + keyword.GetLengthInChar(), KelUnicodeString::Forward);
        const int close = open < 0 ? -1 : text.SearchSubString(")", open + 1, KelUnicodeString::Forward);
        // Without both parentheses there is nothing to split: AppendTokens fails.
        KelUnicodeString inner = close < 0 ? KelUnicodeString("") : Between(text, open, close);
        result = AppendTokens(",", inner, attrs);
      }))
    result = Failure(3049);
  return result;
}

long KelEdsMetadataDict::AppendTokens(const KelUnicodeString& separator, const KelUnicodeString& text,
                                      KelListValKelUnicodeString& tokens) const {
  long result = Failure(3133);
  if (text.IsEmpty() || separator.IsEmpty()) return result;
  if (!KelGuard([&] {
        KelToken tokenizer(text);
        for (;;) {
          KelUnicodeString token = tokenizer.GetNextToken(separator);
          if (token.IsEmpty()) break;
          tokens.Append(StripBlanks(token));
          result = Success(3152);
        }
      }))
    result = Failure(3160);
  return result;
}

long KelEdsMetadataDict::ParseForeignKey(const KelUnicodeString& text, KelListValKelUnicodeString& attrs,
                                         KelListValKelUnicodeString& classes,
                                         KelListValKelUnicodeString& targets) const {
  long result = Failure(3060);
  if (text.IsEmpty()) return result;
  if (!KelGuard([&] {
        const int key = text.SearchSubString("FOREIGN KEY", 0, KelUnicodeString::Forward);
        if (key < 0) return;
        const int open = text.SearchSubString("(", key + 11, KelUnicodeString::Forward);
        const int close = open < 0 ? -1 : text.SearchSubString(")", open + 1, KelUnicodeString::Forward);
        if (close < 0 || close == open + 1) return;
        const KelUnicodeString attr = StripBlanks(Between(text, open, close));

        const int references = text.SearchSubString("REFERENCES", 0, KelUnicodeString::Forward);
        if (references < 0) return;
        const int start = references + 10;
        const int targetOpen = text.SearchSubString("(", start, KelUnicodeString::Forward);
        if (targetOpen <= start) return;
        const KelUnicodeString referenced = StripBlanks(text.SubString(start, targetOpen - start));
        const int targetClose = text.SearchSubString(")", targetOpen, KelUnicodeString::Forward);
        if (targetClose < 0 || targetClose == targetOpen + 1) return;
        const KelUnicodeString target = StripBlanks(Between(text, targetOpen, targetClose));

        attrs.Append(attr);
        classes.Append(referenced);
        targets.Append(target);
        result = Success(3114);
      }))
    result = Failure(3124);
  return result;
}

KelUnicodeString KelEdsMetadataDict::GetConstraintName(const KelUnicodeString& text) const {
  KelUnicodeString name("");
  if (text.IsEmpty()) return name;
  KelGuard([&] {
    KelToken tokenizer(text);
    bool marked = false;
    for (;;) {
      KelUnicodeString token = tokenizer.GetNextToken(" ");
      if (token.IsEmpty()) break;
      if (marked) {
        name = StripBlanks(token);
        break;
      }
      if (Contains(token, "CONSTRAINT")) marked = true;
    }
  });
  return name;
}

long KelEdsMetadataDict::ParseRelation(const KelUnicodeString& text, KelUnicodeString& name, KelUnicodeString& attrs,
                                       KelUnicodeString& referencedClass) const {
  long result = Failure(2210);
  if (text.IsEmpty() || !Contains(text, "FOREIGN KEY")) return result;
  name = GetConstraintName(text);
  attrs = KelUnicodeString("");
  referencedClass = KelUnicodeString("");
  if (!KelGuard([&] {
        const int open = text.SearchSubString("(", 0, KelUnicodeString::Forward);
        const int close = text.SearchSubString(")", 0, KelUnicodeString::Forward);
        // A ")" before the first "(" gives no attributes.
        if (open >= 0 && close > open) attrs = StripBlanks(Between(text, open, close));

        const int reference = text.SearchSubString("REFERENCE", 0, KelUnicodeString::Forward);
        if (reference >= 0) {
          const int start = reference + 10;  // the length of "REFERENCES"
          KelUnicodeString rest = text.SubString(start, text.GetLengthInChar() - start);
          const int cut = rest.SearchSubString("(", 0, KelUnicodeString::Forward);
          // Without a "(" the whole rest names the class.
          if (cut >= 0) rest = rest.SubString(0, cut);
          referencedClass = StripBlanks(rest);
        }
        if (!name.IsEmpty() && !attrs.IsEmpty() && !referencedClass.IsEmpty()) result = Success(2253);
      }))
    result = Failure(2259);
  return result;
}

KelUnicodeString KelEdsMetadataDict::GetTesselName(const KelUnicodeString& name) const {
  if (name.IsEmpty()) return KelUnicodeString("");
  KelUnicodeString result = name;
  if (!KelGuard([&] {
        const int dot = name.SearchSubString(".", 0, KelUnicodeString::Backward);
        if (dot >= 0) result = name.SubString(dot + 1, name.GetLengthInChar() - dot - 1);
      }))
    result = name;
  return result;
}

long KelEdsMetadataDict::GenerateSQL(KelListValKelUnicodeString& statements) const {
  long result = Failure(682);
  statements.RemoveAll();
  if (Tables.IsEmpty()) return result;
  if (!KelGuard([&] {
        for (int p = 1; p <= Tables.Size(); ++p) {
          if (const KelEdsMetadataTable* table = AsTable(Tables[p])) {
            const int n = table->AttrNames.Size();
            // A table whose names and types disagree gets no CREATE TABLE,
            // but its constraints are still written.
            if (n >= 1 && n == table->AttrTypes.Size()) {
              KelUnicodeString create("\"CREATE TABLE ");
              create += table->Name;
              create += " (";
              for (int i = 1; i <= n; ++i) {
                create += table->AttrNames[i];
                create += " ";
                create += table->AttrTypes[i];
                create += i < n ? "," : ");";
              }
              create += "\"";
              statements.Append(create);
            }
            if (!table->Constraints.IsEmpty()) {
              const KelUnicodeString prefix = KelUnicodeString("\"ALTER TABLE ") + table->Name + " ADD ";
              for (const KelUnicodeString& constraint : table->Constraints) {
                statements.Append(prefix + constraint + ";\"");
              }
            }
          }
          result = Success(742);
        }
      }))
    result = Failure(810);
  return result;
}

long KelEdsMetadataDict::GetClassKeys(KelListValKelUnicodeString& classNames,
                                      KelListValKelUnicodeString& keyAttrs) const {
  long result = Failure(823);
  if (Tables.IsEmpty()) return result;
  if (!KelGuard([&] {
        for (int p = 1; p <= Tables.Size(); ++p) {
          const KelEdsMetadataTable* table = AsTable(Tables[p]);
          if (table == nullptr || table->Name.IsEmpty() || table->PrimaryKeyAttrs.IsEmpty() ||
              table->PrimaryKeyAttrs[1].IsEmpty())
            continue;
          classNames.Append(table->Name);
          keyAttrs.Append(table->PrimaryKeyAttrs[1]);
          result = Success(850);
        }
      }))
    result = Failure(860);
  return result;
}

long KelEdsMetadataDict::AppendMagnitudeNames(KelListValKelUnicodeString& names) const {
  long result = Failure(916);
  if (!KelGuard([&] {
        names.Append("LENGTH");
        names.Append("MASS");
        names.Append("AREA");
        names.Append("LINEMASS");
        result = Success(925);
      }))
    result = Failure(930);
  return result;
}

long KelEdsMetadataDict::ResolveSQLName(const KelUnicodeString& sqlName, KelUnicodeString& neutralName) const {
  long result = Failure(945);
  if (SQLNames.Size() != NeutralNames.Size() || SQLNames.IsEmpty()) return result;
  if (!KelGuard([&] {
        const int k = SQLNames.Locate(sqlName);
        if (k > 0 && k <= NeutralNames.Size()) {
          neutralName = NeutralNames[k];
          result = Success(956);
        }
      }))
    result = Failure(1002);
  return result;
}

long KelEdsMetadataDict::FindTable(const KelUnicodeString& neutralName, KelEdsMetadataTable** table) const {
  long result = Failure(872);
  if (table == nullptr) return result;
  *table = nullptr;
  if (Tables.IsEmpty()) return result;
  if (!KelGuard([&] {
        for (int p = 1; p <= Tables.Size(); ++p) {
          KelEdsMetadataTable* candidate = AsTable(Tables[p]);
          if (candidate == nullptr || candidate->Name != neutralName) continue;
          *table = candidate;
          candidate->AddRef();
          result = Success(894);
          break;
        }
      }))
    result = Failure(903);
  if (result < 0 && *table != nullptr) {
    (*table)->Release();
    *table = nullptr;
  }
  return result;
}

long KelEdsMetadataDict::FindReferencingClasses(const KelUnicodeString& referencedClass,
                                                const KelListValKelUnicodeString& filter,
                                                KelListValKelUnicodeString& classes,
                                                KelListValKelUnicodeString& names) const {
  long result = Failure(2365);
  if (referencedClass.IsEmpty()) return result;
  classes.RemoveAll();
  names.RemoveAll();
  if (Tables.IsEmpty()) return result;
  const int filterSize = filter.Size();
  const bool completed = KelGuard([&] {
    for (int p = 1; p <= Tables.Size(); ++p) {
      const KelEdsMetadataTable* table = AsTable(Tables[p]);
      if (table == nullptr) continue;
      if (filterSize > 0 && filter.Locate(table->Name) == 0) continue;
      for (const KelUnicodeString& constraint : table->Constraints) {
        if (!Contains(constraint, "FOREIGN KEY")) continue;
        KelUnicodeString name, attrs, referenced;
        if (ParseRelation(constraint, name, attrs, referenced) >= 0 && referenced == referencedClass) {
          classes.Append(table->Name);
          names.Append(name);
        }
      }
    }
  });
  result = completed ? Success(2421) : Failure(2426);
  return result;
}

// --- Metadata dictionary document ----------------------------------------------
// Made by KelEdsMetadataDocument (KelEdsMetadataDocument.cpp); these members
// are the dictionary's face of it.

long KelEdsMetadataDict::GenerateMetaData(const KelUnicodeString& uuidFile,
                                          const KelListValKelUnicodeString& suppliedNames,
                                          const KelListValKelUnicodeString& suppliedUuids,
                                          const KelUnicodeString& outputFile) const {
  return KelEdsMetadataDocument(*this).Generate(uuidFile, suppliedNames, suppliedUuids, outputFile);
}

long KelEdsMetadataDict::ReadUuidFile(const KelUnicodeString& path, KelListValKelUnicodeString& pool) const {
  return KelEdsMetadataDocument::ReadUuidFile(path, pool);
}

long KelEdsMetadataDict::CreateMetaDataDocument(const KelUnicodeString& rootName, const KelUnicodeString& systemId,
                                                KelIDOMDocument_var& document) const {
  return KelEdsMetadataDocument::CreateDocument(rootName, systemId, document);
}

long KelEdsMetadataDict::SetAttributes(const KelIDOMElement_var& element, const KelListValKelUnicodeString& names,
                                       const KelListValKelUnicodeString& values) const {
  return KelEdsMetadataDocument::SetAttributes(element, names, values);
}

long KelEdsMetadataDict::WriteMetaDataDocument(const KelIDOMDocument_var& document,
                                               const KelUnicodeString& outputFile) const {
  return KelEdsMetadataDocument::WriteDocument(document, outputFile);
}

void KelEdsMetadataDict::MapSQLType(const KelUnicodeString& sqlType, KelUnicodeString& type,
                                    KelUnicodeString& maxLength, KelUnicodeString& mandatory) const {
  KelEdsMetadataDocument::MapSQLType(sqlType, type, maxLength, mandatory);
}

KelUnicodeString KelEdsMetadataDict::JoinNames(const KelUnicodeString& first, const KelUnicodeString& second) const {
  return KelEdsMetadataDocument::JoinNames(first, second);
}
