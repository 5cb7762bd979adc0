// KelEdsMetadataTool: the host's entry point to the schema of the cable-routing
// database.
//
// A tool owns the fixed schema dictionary (thirteen classes: work packages,
// cable references and instances, cable from-to links, equipment, published
// connectors, equipment ports, cableway sections, nodes and arcs, cable
// routes, route section lists and arc points). It generates the SQL DDL that
// creates the database and the metadata dictionary document that declares
// the schema to the persistent store, answers queries on classes, attributes, types,
// magnitudes, keys and relationships, and translates names between the
// neutral form ("xq40718.Work_Package") and the Tessel form of the persistent
// store ("Work_Package"). Queries that take a class name accept either form
// unless stated otherwise.
//
// Results: `long` methods return a code that is a success when not negative
// (KelSucceeded). Output lists are appended to, never cleared, except where a
// method says it replaces or empties them; pass empty lists to get only the
// answer. Output strings and numbers keep their value unless the method finds
// what it looks for.
//
// Ownership: the tool builds its dictionary when constructed and never
// changes it. Copies (construction or assignment) share that dictionary; it
// is released when the last tool that refers to it is destroyed. If memory
// for the dictionary could not be had, the tool still constructs: every
// dictionary query then fails (or returns its input, for the string
// translations), while GetComputedAttrType, TranslateClassToNeutral,
// TranslateClassToTessel and TranslateTypeToTessel work as usual.
//
// Threading: no locks. One tool (and the copies that share its dictionary)
// must be used from one thread at a time.
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelBaseUnknown.h"
#include "KelListValKelUnicodeString.h"
#include "KelRawCollint.h"
#include "KelUnicodeString.h"
#include "KelVar.h"

class KelEdsMetadataDict;
class KelEdsMetadataTable;

class ExportedByKelEdsUtil KelEdsMetadataTool : public KelBaseUnknown {
 public:
  KelEdsMetadataTool();
  KelEdsMetadataTool(const KelEdsMetadataTool& other);
  ~KelEdsMetadataTool() override;
  KelEdsMetadataTool& operator=(const KelEdsMetadataTool& other);

  // --- Classes -------------------------------------------------------------

  // Appends every class that has a primary key, with the first attribute of
  // that key; neutral names when `tesselNames` is 0, Tessel names otherwise.
  // Fails when no class qualifies.
  long GetClassInfo(KelListValKelUnicodeString& classNames, KelListValKelUnicodeString& keyAttrs,
                    const unsigned char& tesselNames);
  // The first attribute of the class's primary key; empty for an unknown class.
  KelUnicodeString GetPrimaryKey(const KelUnicodeString& className);
  // Type ("Double", "String", "Integer" or "Uuid") of a value computed by the
  // host, such as "CI_Total_Length". Needs no dictionary.
  long GetComputedAttrType(const KelUnicodeString& attrName, KelUnicodeString& type);
  // Appends "LENGTH", "MASS", "AREA", "LINEMASS".
  long GetMagnitudeNames(KelListValKelUnicodeString& names);
  // The neutral name of an SQL table or column identifier ("EdbSQL_TB1_Work_Package").
  long ResolveDefine(const KelUnicodeString& sqlName, KelUnicodeString& neutralName);

  // --- Attributes and relationships -----------------------------------------

  // Appends each attribute with its Tessel type and mandatory flag (1 when
  // the SQL type says NOT NULL).
  long GetAttributeInfo(const KelUnicodeString& className, KelListValKelUnicodeString& attrNames,
                        KelListValKelUnicodeString& types, KelRawCollint& mandatory);
  // Type and mandatory flag of one attribute; both stay unchanged (and the
  // result is still a success) when the class has no such attribute.
  long GetAttributeType(const KelUnicodeString& className, KelUnicodeString attrName, KelUnicodeString& type,
                        int& mandatory);
  // Appends the attributes that measure a physical quantity, with their magnitudes.
  long GetAttrMagnitudeInfo(const KelUnicodeString& className, KelListValKelUnicodeString& attrNames,
                            KelListValKelUnicodeString& magnitudes);
  long GetUniqueAttrNames(const KelUnicodeString& className, KelListValKelUnicodeString& attrNames);
  // Appends the class's relationships: foreign keys first (constraint order),
  // then references to external classes.
  long GetRelationship(const KelUnicodeString& className, KelListValKelUnicodeString& names,
                       KelListValKelUnicodeString& attrs, KelListValKelUnicodeString& referencedClasses);
  // The relationship an attribute stands for, or the attribute name itself.
  KelUnicodeString TransRelationNameToTessel(const KelUnicodeString& className, const KelUnicodeString& attrName);
  // Replaces both lists with the classes whose foreign keys reference
  // `referencedClass` (a Tessel name) and the relationship names. A non-empty
  // filter keeps only the classes it names (neutral names).
  long GetReferencingClasses(const KelUnicodeString& referencedClass, const KelListValKelUnicodeString& filter,
                             KelListValKelUnicodeString& classes, KelListValKelUnicodeString& names);
  // Replaces `missing` with the mandatory attributes (other than the primary
  // key) that `supplied` does not name.
  void FindMissingMandateAttr(const KelUnicodeString& className, const KelListValKelUnicodeString& supplied,
                              KelListValKelUnicodeString& missing);

  // --- Name translation ------------------------------------------------------

  KelUnicodeString TranslateClassToNeutral(const KelUnicodeString& className);
  // What follows the last "." of the name, or the name itself.
  KelUnicodeString TranslateClassToTessel(const KelUnicodeString& className);
  // As TranslateClassToTessel, through the dictionary: the name unchanged
  // when the tool has none.
  KelUnicodeString ConvertClassNameToTessel(const KelUnicodeString& className);
  // Tessel type of attribute number `index` (from 1) of a dictionary table.
  // Empty for a null table or an index outside the table.
  KelUnicodeString TranslateTypeToTessel(KelUnicodeString attrName, const KelEdsMetadataTable* table, int index);

  // --- SQL DDL --------------------------------------------------------------

  // Replaces `statements` with the CREATE TABLE and ALTER TABLE statements
  // that create the database, each between double-quote characters.
  long GenerateSQLStatements(KelListValKelUnicodeString& statements);

  // --- Metadata dictionary document ------------------------------------------

  // Writes the metadata dictionary document of the schema (document type
  // "Package", system identifier "Dictionary00.dtd") to `outputFile`.
  // Every item (the package "CableNetwork", each class by its Tessel name,
  // each plain attribute as "<Class>_<attribute>", each constraint by its
  // name) carries a uuid: the one fixed for its name in `suppliedNames` /
  // `suppliedUuids` (used only when both have the same, non-zero length),
  // else the next one of `uuidFile`, a file of "INTERFACENAME = { /* uuid */"
  // lines as a uuid generator writes them. Supplied uuids count toward the
  // uuids handed out, so the file must hold at least as many uuids as there
  // are items (117 for this schema), whatever is supplied; with fewer, this
  // fails and writes nothing. The file is written whole or not at all. Prints the uuid count and a summary of the classes
  // to standard output.
  long GenerateNorvaleMetaData(const KelUnicodeString& uuidFile, const KelListValKelUnicodeString& suppliedNames,
                               const KelListValKelUnicodeString& suppliedUuids, const KelUnicodeString& outputFile);

 private:
  friend class KelEdsMetadataToolTestPeer;

  KelVar<KelEdsMetadataDict> Dict;  // empty only when it could not be created
  KelListValKelUnicodeString ComputedAttrNames;
  KelListValKelUnicodeString ComputedAttrTypes;  // parallel to ComputedAttrNames
};
