// KelEdsMetadataDict: the in-memory schema dictionary of the cable-routing
// database, and KelEdsMetadataTable, the description of one of its classes.
//
// The dictionary knows the schema's classes (one table each, in class order),
// the two parallel name lists that translate SQL identifiers to neutral names,
// and the small parsers that derive keys and relations from constraint texts.
// LoadSchema fills it from KelEdsSchemaContent.h; the metadata tool then only
// reads it, for its queries, the SQL DDL and the metadata dictionary document
// (GenerateMetaData and its helpers, which delegate to KelEdsMetadataDocument).
// Both classes are internal to the module (nothing is exported).
//
// Ownership: the dictionary holds one reference on each table in Tables and
// releases it in Clear and on destruction. FindTable adds a reference for its
// caller, who releases it. Tables are plain records, never changed once
// BuildTables has appended them.
//
// Result codes come from KelError::GetReturn for this source file; every
// operation that calls into the platform runs in the error guard (KelGuard).
//
// Threading: none of its own. A dictionary is built and read on one thread at
// a time; it must not be loaded while it is read.
#pragma once

#include "KelBaseUnknown.h"
#include "KelIDOMDocument.h"
#include "KelIDOMElement.h"
#include "KelListPtrKelBaseUnknown.h"
#include "KelListValKelUnicodeString.h"
#include "KelRawCollint.h"
#include "KelUnicodeString.h"

class KelEdsMetadataTable : public KelBaseUnknown {
  KelDeclareClass

  explicit KelEdsMetadataTable(const KelUnicodeString& name);
  ~KelEdsMetadataTable() override;
  KelEdsMetadataTable(const KelEdsMetadataTable&) = delete;
  KelEdsMetadataTable& operator=(const KelEdsMetadataTable&) = delete;

  KelUnicodeString Name;       // neutral class name ("xq40718.Cable_Route")
  KelUnicodeString ScopeName;  // external class whose scope holds this class, or empty
  KelUnicodeString ScopeRef;   // identifier of that external class, or empty
  KelListValKelUnicodeString AttrNames;
  KelListValKelUnicodeString AttrTypes;    // SQL type text, parallel to AttrNames
  KelListValKelUnicodeString Constraints;  // SQL constraint texts, in defined order
  KelRawCollint NotNullFlags;              // 1 where the type text holds "NOT NULL"
  KelListValKelUnicodeString UniqueAttrs;
  KelListValKelUnicodeString PrimaryKeyAttrs;
  // One entry per FOREIGN KEY constraint; the class without owner prefix.
  KelListValKelUnicodeString ForeignKeyAttrs;
  KelListValKelUnicodeString ForeignKeyClasses;
  KelListValKelUnicodeString ForeignKeyTargetAttrs;
  // References to classes outside the schema; never among Constraints.
  KelListValKelUnicodeString ExternalRefNames;
  KelListValKelUnicodeString ExternalRefAttrs;
  KelListValKelUnicodeString ExternalRefClasses;
  KelListValKelUnicodeString ExternalRefIds;
  KelListValKelUnicodeString MagnitudeAttrs;
  KelListValKelUnicodeString Magnitudes;  // "LENGTH", "LINEMASS", "AREA" or "MASS"
};

// The source lists that LoadSchema hands to BuildTables: each a text list with
// a parallel integer list (a class code, or for external references the class
// position from 1).
struct KelEdsSchemaSources {
  KelListValKelUnicodeString ClassNames;
  KelRawCollint ClassCodes;
  KelListValKelUnicodeString AttrNames;
  KelRawCollint AttrCodes;
  KelListValKelUnicodeString TypeTexts;
  KelRawCollint TypeCodes;
  KelListValKelUnicodeString ConstraintTexts;
  KelRawCollint ConstraintCodes;
  KelListValKelUnicodeString ScopeTexts;  // external class, "_N_" or "_D_", identifier
  KelRawCollint ScopeCodes;
  KelListValKelUnicodeString ExternalRefTexts;
  KelRawCollint ExternalRefPositions;
  KelListValKelUnicodeString MagnitudeAttrs;
  KelListValKelUnicodeString MagnitudeNames;
  KelRawCollint MagnitudeCodes;
};

class KelEdsMetadataDict : public KelBaseUnknown {
  KelDeclareClass

  KelEdsMetadataDict();
  ~KelEdsMetadataDict() override;
  KelEdsMetadataDict(const KelEdsMetadataDict&) = delete;
  KelEdsMetadataDict& operator=(const KelEdsMetadataDict&) = delete;

  // Clears, then loads the whole cable-routing schema. Always succeeds.
  long LoadSchema();
  // Releases every table and empties Tables and both name lists.
  void Clear();
  // Creates one table per class of the sources and appends them to Tables.
  // Sources that fail the consistency checks build no table at all; a
  // platform error stops the build and keeps the tables made so far.
  void BuildTables(const KelEdsSchemaSources& sources);

  // Constraint parsers; each appends to its output lists, never clears them.
  long ParseKeyAttrs(const KelUnicodeString& keyword, const KelUnicodeString& text,
                     KelListValKelUnicodeString& attrs) const;
  long AppendTokens(const KelUnicodeString& separator, const KelUnicodeString& text,
                    KelListValKelUnicodeString& tokens) const;
  long ParseForeignKey(const KelUnicodeString& text, KelListValKelUnicodeString& attrs,
                       KelListValKelUnicodeString& classes, KelListValKelUnicodeString& targets) const;
  KelUnicodeString GetConstraintName(const KelUnicodeString& text) const;
  // The relationship of a FOREIGN KEY text: name, attribute text, class.
  long ParseRelation(const KelUnicodeString& text, KelUnicodeString& name, KelUnicodeString& attrs,
                     KelUnicodeString& referencedClass) const;
  // What follows the last "." of a name, or the name itself.
  KelUnicodeString GetTesselName(const KelUnicodeString& name) const;

  // Replaces `statements` with the CREATE TABLE and ALTER TABLE statements.
  long GenerateSQL(KelListValKelUnicodeString& statements) const;

  // --- Metadata dictionary document -------------------------------------------
  // Each delegates to KelEdsMetadataDocument (KelEdsMetadataDocument.h), which
  // makes the document; the codes stay traced to this source's name.

  // Writes the schema as the metadata dictionary document ("Package",
  // "Dictionary00.dtd") to `outputFile`. Uuids come from `suppliedUuids` for
  // the items named in `suppliedNames`, else from the uuid file, in the order
  // the items are met; supplied uuids count toward those handed out, so the
  // file must hold at least one uuid per item whatever is supplied. Fails,
  // writing nothing, when an item gets no uuid. Prints the uuid count and a
  // summary of the classes to standard output.
  long GenerateMetaData(const KelUnicodeString& uuidFile, const KelListValKelUnicodeString& suppliedNames,
                        const KelListValKelUnicodeString& suppliedUuids, const KelUnicodeString& outputFile) const;
  // Appends to `pool` the uuid of every line of the file that holds
  // "INTERFACENAME = { ", read in pieces of at most 1023 characters. Fails
  // when the file does not open (`pool` is then unchanged).
  long ReadUuidFile(const KelUnicodeString& path, KelListValKelUnicodeString& pool) const;
  // A new empty document whose DOCTYPE names `rootName` and `systemId`.
  long CreateMetaDataDocument(const KelUnicodeString& rootName, const KelUnicodeString& systemId,
                              KelIDOMDocument_var& document) const;
  // Sets the attributes in list order, stopping at the first that fails.
  long SetAttributes(const KelIDOMElement_var& element, const KelListValKelUnicodeString& names,
                     const KelListValKelUnicodeString& values) const;
  long WriteMetaDataDocument(const KelIDOMDocument_var& document, const KelUnicodeString& outputFile) const;
  // "CHAR(80) NOT NULL" gives "String", "80", "Yes". An empty SQL type
  // leaves the three outputs unchanged.
  void MapSQLType(const KelUnicodeString& sqlType, KelUnicodeString& type, KelUnicodeString& maxLength,
                  KelUnicodeString& mandatory) const;
  // `first` "_" `second`.
  KelUnicodeString JoinNames(const KelUnicodeString& first, const KelUnicodeString& second) const;

  // Queries of the metadata tool. Output lists are appended to unless said.
  long GetClassKeys(KelListValKelUnicodeString& classNames, KelListValKelUnicodeString& keyAttrs) const;
  long AppendMagnitudeNames(KelListValKelUnicodeString& names) const;
  long ResolveSQLName(const KelUnicodeString& sqlName, KelUnicodeString& neutralName) const;
  // The table named exactly `neutralName`, with a reference for the caller.
  long FindTable(const KelUnicodeString& neutralName, KelEdsMetadataTable** table) const;
  // Empties both outputs first (unless `referencedClass` is empty).
  long FindReferencingClasses(const KelUnicodeString& referencedClass, const KelListValKelUnicodeString& filter,
                              KelListValKelUnicodeString& classes, KelListValKelUnicodeString& names) const;

  // The entry as a table, or null when it is null or of another kind.
  static KelEdsMetadataTable* AsTable(KelBaseUnknown* entry);

  KelListValKelUnicodeString SQLNames;      // SQL table names, then SQL column names
  KelListValKelUnicodeString NeutralNames;  // parallel: class names, then attribute names
  KelListPtrKelBaseUnknown Tables;          // one KelEdsMetadataTable per class, in class order
};

// Text helpers that the dictionary's parsers and the metadata document share.
namespace kelmetadata {

inline bool Contains(const KelUnicodeString& text, const KelUnicodeString& part) {
  return text.SearchSubString(part, 0, KelUnicodeString::Forward) >= 0;
}

inline KelUnicodeString StripBlanks(const KelUnicodeString& text) {
  return text.Strip(KelUnicodeString::Both, u' ');
}

// The text strictly between positions `open` and `close`.
inline KelUnicodeString Between(const KelUnicodeString& text, int open, int close) {
  return text.SubString(open + 1, close - open - 1);
}

}  // namespace kelmetadata
