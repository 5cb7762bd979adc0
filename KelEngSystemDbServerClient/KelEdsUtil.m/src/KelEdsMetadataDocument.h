// KelEdsMetadataDocument: the metadata dictionary document of a schema
// dictionary: the "Package" document ("Dictionary00.dtd") that declares the
// schema's classes, attributes, unique constraints and relationships, each
// with its uuid, to the persistent store.
//
// Generate makes the whole document in one pass: it reads the uuid file,
// gives every item its uuid (a supplied one for a supplied name, else the
// next of the file's pool), builds the document through the platform's DOM,
// prints the uuid count and a summary of the classes, and writes the file.
// The static members are its steps, also reached through the dictionary's
// members of the same purpose (KelEdsMetadataDict::GenerateMetaData and the
// rest), which delegate here.
//
// Uuid pool: supplied uuids count toward the uuids handed out, so the file
// must hold at least as many uuids as the document has items (117 for the
// shipped schema), whatever is supplied; with fewer, Generate fails and
// writes nothing.
//
// Results: codes of KelError::GetReturn traced to the dictionary's source
// name ("KelEdsMetadataDict") and the fixed lines that docs/METADATA.md lists;
// they are part of the interface and stay as they are (see
// KelEdsResultCodes.h). Platform errors are caught inside each operation.
//
// Internal to the module. Ownership: a document object only reads the
// dictionary it is given, which must outlive it; everything the generation
// builds lives for the call, and nothing remains but the output file.
// Threading: none of its own; the dictionary must not change during a call.
#pragma once

#include "KelIDOMDocument.h"
#include "KelIDOMElement.h"
#include "KelListValKelUnicodeString.h"
#include "KelUnicodeString.h"

class KelEdsMetadataDict;

class KelEdsMetadataDocument {
 public:
  explicit KelEdsMetadataDocument(const KelEdsMetadataDict& dict) : dict_(dict) {}
  KelEdsMetadataDocument(const KelEdsMetadataDocument&) = delete;
  KelEdsMetadataDocument& operator=(const KelEdsMetadataDocument&) = delete;

  // Writes the dictionary as the metadata document to `outputFile`. Uuids
  // come from `suppliedUuids` for the items named in `suppliedNames` (used
  // only when both lists have the same length, at least 1), else from the
  // uuid file, in the order the items are met. Fails, writing nothing, when
  // an item gets no uuid.
  long Generate(const KelUnicodeString& uuidFile, const KelListValKelUnicodeString& suppliedNames,
                const KelListValKelUnicodeString& suppliedUuids, const KelUnicodeString& outputFile) const;

  // Appends to `pool` the uuid of every line of the file that holds
  // "INTERFACENAME = { ", read in pieces of at most 1023 characters. Fails
  // when the file does not open (`pool` is then unchanged).
  static long ReadUuidFile(const KelUnicodeString& path, KelListValKelUnicodeString& pool);
  // A new empty document whose DOCTYPE names `rootName` and `systemId`.
  static long CreateDocument(const KelUnicodeString& rootName, const KelUnicodeString& systemId,
                             KelIDOMDocument_var& document);
  // Sets the attributes in list order, stopping at the first that fails.
  static long SetAttributes(const KelIDOMElement_var& element, const KelListValKelUnicodeString& names,
                            const KelListValKelUnicodeString& values);
  // Writes the document whole or not at all (a temporary file, renamed).
  static long WriteDocument(const KelIDOMDocument_var& document, const KelUnicodeString& outputFile);
  // "CHAR(80) NOT NULL" gives "String", "80", "Yes". An empty SQL type
  // leaves the three outputs unchanged.
  static void MapSQLType(const KelUnicodeString& sqlType, KelUnicodeString& type, KelUnicodeString& maxLength,
                         KelUnicodeString& mandatory);
  // `first` "_" `second`.
  static KelUnicodeString JoinNames(const KelUnicodeString& first, const KelUnicodeString& second);

 private:
  const KelEdsMetadataDict& dict_;
};
