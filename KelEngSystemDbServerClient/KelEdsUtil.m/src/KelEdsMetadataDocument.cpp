#include "KelEdsMetadataDocument.h"

#include <cstdio>
#include <cstring>

#include "KelEdsMetadataDict.h"
#include "KelEdsResultCodes.h"
#include "KelError.h"
#include "KelFile.h"
#include "KelGuard.h"
#include "KelIDOMImplementation.h"
#include "KelIXMLDOMDocumentBuilder.h"
#include "KelList.h"
#include "KelRawCollint.h"
#include "KelToken.h"

namespace {

// Moved out of the dictionary's source, the document keeps its result codes:
// the dictionary's source name and the fixed lines that hosts are told about
// (never __LINE__; see KelEdsResultCodes.h).
constexpr const char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsMetadataDict";
constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;
constexpr auto Success = KelEdsResultCodes<kSourceFile>::Success;

// Plain arrays: nothing of this source runs when the library is loaded.
constexpr char kPublic[] = "Public", kReadWrite[] = "ReadWrite", kYes[] = "Yes", kNo[] = "No";

using kelmetadata::Between;
using kelmetadata::Contains;
using kelmetadata::StripBlanks;

// Attribute names and values in the order they are set.
struct AttributeList {
  KelListValKelUnicodeString Names;
  KelListValKelUnicodeString Values;
  AttributeList& Add(const char* name, const KelUnicodeString& value) {
    Names.Append(name);
    Values.Append(value);
    return *this;
  }
};

// The uuids of one generation: the pool read from the file, the caller's
// fixed uuids, and every uuid handed out (an item's uuid position is its
// position in that list). Pool entries are handed out only while the number
// of uuids handed out so far (1 before the first) is below the pool's size;
// after the first item that got none, only the caller's names get uuids.
class UuidAssignment {
 public:
  UuidAssignment(const KelListValKelUnicodeString& pool, const KelListValKelUnicodeString& names,
                 const KelListValKelUnicodeString& uuids)
      : pool_(pool), names_(names), uuids_(uuids), useSupplied_(names.Size() >= 1 && names.Size() == uuids.Size()) {}

  // The uuid position given to `name`; 0 when no uuid was available.
  int Assign(const KelUnicodeString& name) {
    const int supplied = useSupplied_ ? names_.Locate(name) : 0;
    if (supplied > 0) {
      assigned_.Append(uuids_[supplied]);
    } else if (lastCount_ >= 1 && lastCount_ < pool_.Size() && next_ <= pool_.Size()) {
      assigned_.Append(pool_[next_++]);
    } else {
      lastCount_ = 0;
      ++missing_;
      return 0;
    }
    lastCount_ = assigned_.Size();
    return lastCount_;
  }
  bool Valid(int position) const { return position >= 1 && position <= assigned_.Size(); }
  // The uuid at `position`, or the empty string outside the assigned list.
  KelUnicodeString At(int position) const { return Valid(position) ? assigned_[position] : KelUnicodeString(""); }
  int LastCount() const { return lastCount_; }
  int Missing() const { return missing_; }

 private:
  const KelListValKelUnicodeString& pool_;
  const KelListValKelUnicodeString& names_;
  const KelListValKelUnicodeString& uuids_;
  const bool useSupplied_;
  KelListValKelUnicodeString assigned_;
  int next_ = 1;
  int lastCount_ = 1;
  int missing_ = 0;
};

// A FOREIGN KEY constraint met while collecting a class's relationships.
struct ForeignKeyEntry {
  KelUnicodeString Name;        // constraint name
  KelUnicodeString Column;      // JoinNames(class, referencing column)
  KelUnicodeString Referenced;  // referenced class, a Tessel name
  int Position;                 // uuid position of the constraint name
};

// One pass of GenerateMetaData over the dictionary: the document being built,
// the uuids and the bookkeeping lists. Everything lives for the call only.
class MetaDataGeneration {
 public:
  MetaDataGeneration(const KelEdsMetadataDict& dict, const KelListValKelUnicodeString& pool,
                     const KelListValKelUnicodeString& names, const KelListValKelUnicodeString& uuids)
      : dict_(dict), uuids_(pool, names, uuids) {}

  void WritePackage(const KelIDOMDocument_var& document);
  void WriteClass(const KelEdsMetadataTable& table);
  void PrintSummary() const;
  bool EveryItemHasUuid() const { return uuids_.Missing() == 0; }

 private:
  // The new element `tag` appended to `parent`; empty when either step failed.
  KelIDOMElement_var AddElement(const KelIDOMNode_var& parent, const char* tag) const;
  bool Set(const KelIDOMElement_var& element, const AttributeList& attributes) const {
    return KelEdsMetadataDocument::SetAttributes(element, attributes.Names, attributes.Values) >= 0;
  }
  bool IsMandatoryKey(const KelUnicodeString& joinedName) const {
    const int k = keyNames_.Locate(joinedName);
    return k > 0 && keyFlags_[k] == 1;
  }
  void CollectForeignKeys(const KelEdsMetadataTable& table, const KelUnicodeString& tessel);
  void WriteAttributes(const KelIDOMElement_var& element, const KelEdsMetadataTable& table,
                       const KelUnicodeString& tessel);
  void WriteUniques(const KelIDOMElement_var& element, const KelEdsMetadataTable& table,
                    const KelUnicodeString& tessel);
  void WriteForeignKeys(const KelIDOMElement_var& element);
  void WriteExternalRefs(const KelIDOMElement_var& element, const KelEdsMetadataTable& table,
                         const KelUnicodeString& tessel);

  const KelEdsMetadataDict& dict_;
  UuidAssignment uuids_;
  KelIDOMDocument_var document_;
  KelIDOMElement_var package_;
  // Parallel lists: name and uuid position (written names, attribute uuids),
  // name and mandatory flag (key attributes).
  KelListValKelUnicodeString writtenNames_;
  KelRawCollint writtenPositions_;
  KelListValKelUnicodeString attrNames_;
  KelRawCollint attrPositions_;
  KelListValKelUnicodeString keyNames_;
  KelRawCollint keyFlags_;
  KelList<ForeignKeyEntry> foreignKeys_;
  KelRawCollint classForeignKeys_;  // positions in foreignKeys_ of the current class's entries
};

KelIDOMElement_var MetaDataGeneration::AddElement(const KelIDOMNode_var& parent, const char* tag) const {
  KelIDOMElement_var element;
  // An element that memory could not hold fails the whole generation: a
  // document with less in it would look whole.
  if (!parent || KelCheckMemory(document_->createElement(tag, element)) < 0 || !element) return nullptr;
  KelIDOMNode_var appended;
  if (KelCheckMemory(parent->appendChild(element, appended)) < 0) return nullptr;
  return element;
}

void MetaDataGeneration::WritePackage(const KelIDOMDocument_var& document) {
  document_ = document;
  package_ = AddElement(document_, "Package");
  if (!package_) return;
  const int position = uuids_.Assign("CableNetwork");
  writtenNames_.Append("Package");
  writtenPositions_.Append(position);
  Set(package_, AttributeList()
                    .Add("Name", "CableNetwork")
                    .Add("Uuid", uuids_.At(position))
                    .Add("Alias", "Electrical Cable Routing")
                    .Add("UseScopes", "DOCDIR PRODUCT"));
}

void MetaDataGeneration::WriteClass(const KelEdsMetadataTable& table) {
  classForeignKeys_.RemoveAll();
  const KelUnicodeString tessel = dict_.GetTesselName(table.Name);
  KelUnicodeString alias = tessel;
  if (!table.PrimaryKeyAttrs.IsEmpty()) {
    alias = table.PrimaryKeyAttrs[1];
    const int key = alias.SearchSubString("_key", 0, KelUnicodeString::Forward);
    if (key >= 0) alias = alias.SubString(0, key);
  }
  const bool extension = !table.ScopeName.IsEmpty() && !table.ScopeRef.IsEmpty();
  KelIDOMElement_var element = AddElement(package_, extension ? "Extension" : "Class");
  if (!element) return;
  const int position = uuids_.Assign(tessel);
  writtenNames_.Append(tessel);
  writtenPositions_.Append(position);
  AttributeList attributes;
  attributes.Add("Name", tessel)
      .Add("Uuid", uuids_.At(position))
      .Add("Visibility", kPublic)
      .Add("Persistent", kYes)
      .Add("Abstract", kNo)
      .Add("Alias", alias);
  if (extension) attributes.Add("ScopeRefs", table.ScopeRef).Add("ScopeNames", table.ScopeName);
  // A class element without its attributes gets no children.
  if (!Set(element, attributes)) return;

  if (table.AttrNames.Size() >= 1 && table.AttrNames.Size() == table.AttrTypes.Size()) {
    // Foreign keys take their uuids before the attributes of the same class.
    CollectForeignKeys(table, tessel);
    WriteAttributes(element, table, tessel);
  }
  WriteUniques(element, table, tessel);
  WriteForeignKeys(element);
  WriteExternalRefs(element, table, tessel);
}

void MetaDataGeneration::CollectForeignKeys(const KelEdsMetadataTable& table, const KelUnicodeString& tessel) {
  for (const KelUnicodeString& constraint : table.Constraints) {
    if (constraint.SearchSubString("FOREIGN KEY", 0, KelUnicodeString::Forward) < 0) continue;
    KelUnicodeString name, column, referenced;
    if (dict_.ParseRelation(constraint, name, column, referenced) < 0) continue;
    const KelUnicodeString joined = KelEdsMetadataDocument::JoinNames(tessel, column);
    foreignKeys_.Append(ForeignKeyEntry{name, joined, referenced, uuids_.Assign(name)});
    classForeignKeys_.Append(foreignKeys_.Size());
  }
}

void MetaDataGeneration::WriteAttributes(const KelIDOMElement_var& element, const KelEdsMetadataTable& table,
                                         const KelUnicodeString& tessel) {
  const bool useMagnitudes = table.MagnitudeAttrs.Size() >= 1 && table.MagnitudeAttrs.Size() == table.Magnitudes.Size();
  for (int k = 1; k <= table.AttrNames.Size(); ++k) {
    const KelUnicodeString& attr = table.AttrNames[k];
    KelUnicodeString type(""), maxLength(""), mandatory("");
    KelEdsMetadataDocument::MapSQLType(table.AttrTypes[k], type, maxLength, mandatory);
    const KelUnicodeString joined = KelEdsMetadataDocument::JoinNames(tessel, attr);
    // Keys and external references are written as relationships.
    if (attr.SearchSubString("_key", 0, KelUnicodeString::Forward) >= 0 ||
        attr.SearchSubString("_Key", 0, KelUnicodeString::Forward) >= 0 || table.ExternalRefAttrs.Locate(attr) > 0) {
      keyNames_.Append(joined);
      keyFlags_.Append(mandatory == kYes ? 1 : 0);
      continue;
    }
    KelIDOMElement_var simple = AddElement(element, "Simple");
    if (!simple) continue;
    const int position = uuids_.Assign(joined);
    attrNames_.Append(joined);
    attrPositions_.Append(position);
    AttributeList attributes;
    attributes.Add("Name", attr)
        .Add("Uuid", uuids_.At(position))
        .Add("Visibility", kPublic)
        .Add("AccessMode", kReadWrite)
        .Add("Type", type);
    if (!type.IsEmpty()) attributes.Add("MaxLength", maxLength);
    attributes.Add("Mandatory", mandatory).Add("MultiValuated", kNo);
    const int m = useMagnitudes ? table.MagnitudeAttrs.Locate(attr) : 0;
    if (m > 0) attributes.Add("Magnitude", table.Magnitudes[m]);
    Set(simple, attributes);
  }
}

void MetaDataGeneration::WriteUniques(const KelIDOMElement_var& element, const KelEdsMetadataTable& table,
                                      const KelUnicodeString& tessel) {
  for (const KelUnicodeString& constraint : table.Constraints) {
    if (constraint.SearchSubString("PRIMARY KEY", 0, KelUnicodeString::Forward) >= 0 ||
        constraint.SearchSubString(" UNIQUE ", 0, KelUnicodeString::Forward) < 0)
      continue;
    const KelUnicodeString name = dict_.GetConstraintName(constraint);
    const int open = constraint.SearchSubString("(", 0, KelUnicodeString::Forward);
    const int close = constraint.SearchSubString(")", 0, KelUnicodeString::Forward);
    KelUnicodeString references("");
    if (open >= 0 && close > open) {
      KelToken columns(Between(constraint, open, close));
      for (KelUnicodeString column = columns.GetNextToken(","); !column.IsEmpty(); column = columns.GetNextToken(",")) {
        const KelUnicodeString joined = KelEdsMetadataDocument::JoinNames(tessel, StripBlanks(column));
        int position = 0;
        if (const int a = attrNames_.Locate(joined); a > 0) {
          position = attrPositions_[a];
        } else {
          for (const ForeignKeyEntry& key : foreignKeys_) {
            if (key.Column != joined) continue;
            position = key.Position;
            break;
          }
        }
        // A column that is neither a plain attribute nor a foreign key adds nothing.
        if (uuids_.Valid(position)) references += uuids_.At(position) + " ";
      }
    }
    if (references.IsEmpty()) continue;
    KelIDOMElement_var unique = AddElement(element, "Unique");
    if (!unique) continue;
    attrNames_.Append(KelEdsMetadataDocument::JoinNames(tessel, name));
    const int position = uuids_.Assign(name);
    attrPositions_.Append(position);
    Set(unique, AttributeList().Add("Name", name).Add("Uuid", uuids_.At(position)).Add("UniqueRefs", references));
  }
}

void MetaDataGeneration::WriteForeignKeys(const KelIDOMElement_var& element) {
  for (const int m : classForeignKeys_) {
    const ForeignKeyEntry& key = foreignKeys_[m];
    if (key.Position < 1) continue;
    // Only a class written earlier can be the target.
    const int w = writtenNames_.Locate(key.Referenced);
    const KelUnicodeString target = w > 0 ? uuids_.At(writtenPositions_[w]) : KelUnicodeString("");
    if (target.IsEmpty()) continue;
    const char* const mandatory = IsMandatoryKey(key.Column) ? kYes : kNo;
    KelIDOMElement_var relationship = AddElement(element, "Relationship");
    if (!relationship) continue;
    Set(relationship, AttributeList()
                          .Add("Name", key.Name)
                          .Add("Uuid", uuids_.At(key.Position))
                          .Add("Visibility", kPublic)
                          .Add("AccessMode", kReadWrite)
                          .Add("Mandatory", mandatory)
                          .Add("TargetRef", target)
                          .Add("MultiValuated", kNo)
                          .Add("Aggregation", "Shared"));
  }
}

void MetaDataGeneration::WriteExternalRefs(const KelIDOMElement_var& element, const KelEdsMetadataTable& table,
                                           const KelUnicodeString& tessel) {
  const int n = table.ExternalRefNames.Size();
  if (n < 1 || table.ExternalRefAttrs.Size() != n || table.ExternalRefClasses.Size() != n ||
      table.ExternalRefIds.Size() != n)
    return;
  for (int j = 1; j <= n; ++j) {
    const char* const mandatory =
        IsMandatoryKey(KelEdsMetadataDocument::JoinNames(tessel, table.ExternalRefAttrs[j])) ? kYes : kNo;
    KelIDOMElement_var relationship = AddElement(element, "Relationship");
    if (!relationship) continue;
    const int position = uuids_.Assign(table.ExternalRefNames[j]);
    Set(relationship, AttributeList()
                          .Add("Name", table.ExternalRefNames[j])
                          .Add("Uuid", uuids_.At(position))
                          .Add("Visibility", kPublic)
                          .Add("AccessMode", kReadWrite)
                          .Add("Mandatory", mandatory)
                          .Add("TargetRef", table.ExternalRefIds[j])
                          .Add("MultiValuated", kNo)
                          .Add("Aggregation", "Shared"));
  }
}

void MetaDataGeneration::PrintSummary() const {
  std::printf("Number of classes = %d \n", writtenNames_.Size());
  if (writtenNames_.Size() >= 1) {
    for (int k = 1; k <= writtenNames_.Size(); ++k)
      std::printf("Class %d = %s \n", k, writtenNames_[k].ConvertToChar());
    std::printf("IndUiid = %d \n", uuids_.LastCount());
  }
  std::fflush(stdout);
}

// The uuid of a line of the uuid file, "INTERFACENAME = { /* <uuid> */" and
// its line end, or false for a line without the marker. The uuid loses its
// last dash: 8-4-4-4-12 becomes the 8-4-4-16 form of the schema's identifiers.
bool UuidOfLine(const KelUnicodeString& line, KelUnicodeString& uuid) {
  const int marker = line.SearchSubString("INTERFACENAME = { ", 0, KelUnicodeString::Forward);
  if (marker < 0) return false;
  const KelUnicodeString text = line.SubString(0, line.GetLengthInChar() - 1);  // the line end, whatever it is
  const int length = text.GetLengthInChar() - marker - 23;                      // skips "/* " and "*/"
  uuid = StripBlanks(length > 0 ? text.SubString(marker + 21, length) : KelUnicodeString(""));
  const int dash = uuid.SearchSubString("-", 0, KelUnicodeString::Backward);
  if (dash >= 0) uuid = uuid.SubString(0, dash) + uuid.SubString(dash + 1, 12);
  return true;
}

}  // namespace

KelUnicodeString KelEdsMetadataDocument::JoinNames(const KelUnicodeString& first, const KelUnicodeString& second) {
  return first + KelUnicodeString("_") + second;
}

void KelEdsMetadataDocument::MapSQLType(const KelUnicodeString& sqlType, KelUnicodeString& type,
                                        KelUnicodeString& maxLength, KelUnicodeString& mandatory) {
  if (sqlType.IsEmpty()) return;
  type = "Undefined";
  maxLength = "";
  mandatory = kNo;
  KelToken pieces(sqlType);
  int count = 0;
  for (KelUnicodeString piece = pieces.GetNextToken(" "); !piece.IsEmpty(); piece = pieces.GetNextToken(" ")) {
    if (++count > 1) continue;
    if (Contains(piece, "INTEGER")) {
      type = "Integer";
    } else if (Contains(piece, "FLOAT")) {
      type = "Double";
    } else if (Contains(piece, "CHAR")) {
      type = "String";
      const int open = sqlType.SearchSubString("(", 0, KelUnicodeString::Forward);
      const int close = sqlType.SearchSubString(")", 0, KelUnicodeString::Forward);
      if (open >= 0 && close > open) maxLength = Between(sqlType, open, close);
    }
  }
  // "<type> NOT NULL" is the only three-word form.
  if (count == 3) mandatory = kYes;
}

long KelEdsMetadataDocument::ReadUuidFile(const KelUnicodeString& path, KelListValKelUnicodeString& pool) {
  KelFileDescriptor file = nullptr;
  if (path.IsEmpty() || KelFOpen(path.ConvertToChar(), "r", &file) < 0) return Failure(1461);
  // Closed on every path, a raised error included.
  struct Closer {
    KelFileDescriptor file;
    ~Closer() { KelFClose(file); }
  } closer{file};
  char buffer[1024];
  while (KelFEof(file) == 1 && KelFGets(buffer, sizeof buffer, file) == 0) {
    KelUnicodeString line;
    line.BuildFromUTF8(buffer, std::strlen(buffer));
    KelUnicodeString uuid;
    if (UuidOfLine(line, uuid)) pool.Append(uuid);
  }
  return Success(1488);
}

long KelEdsMetadataDocument::CreateDocument(const KelUnicodeString& rootName, const KelUnicodeString& systemId,
                                            KelIDOMDocument_var& document) {
  long result = Failure(1352);
  document = nullptr;
  if (!KelGuard([&] {
        KelIXMLDOMDocumentBuilder_var builder;
        result = CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM);
        if (result < 0 || !builder) return;
        KelIDOMImplementation_var implementation;
        result = builder->getDOMImplementation(implementation);
        if (result < 0 || !implementation) return;
        KelIDOMDocumentType_var doctype;
        result = implementation->createDocumentType(rootName, "", systemId, doctype);
        if (result < 0 || !doctype) return;
        result = implementation->createDocument("", rootName, doctype, document);
      }))
    result = Failure(1377);
  return result;
}

long KelEdsMetadataDocument::SetAttributes(const KelIDOMElement_var& element, const KelListValKelUnicodeString& names,
                                           const KelListValKelUnicodeString& values) {
  long result = Failure(1391);
  if (!element || names.IsEmpty() || names.Size() != values.Size()) return result;
  if (!KelGuard([&] {
        for (int i = 1; i <= names.Size(); ++i) {
          result = KelCheckMemory(element->setAttribute(names[i], values[i]));
          if (result < 0) break;
        }
      }))
    result = Failure(1406);
  return result;
}

long KelEdsMetadataDocument::WriteDocument(const KelIDOMDocument_var& document, const KelUnicodeString& outputFile) {
  long result = Failure(1420);
  if (!document) return result;
  if (!KelGuard([&] {
        KelIXMLDOMDocumentBuilder_var builder;
        result = CreateKelIXMLDOMDocumentBuilder(builder, CLSID_XML4C_DOM);
        if (result < 0 || !builder) return;
        // The builder writes a temporary file and renames it: no partial output.
        result = builder->write(document, outputFile, KelListValKelUnicodeString(), KelListValKelUnicodeString());
      }))
    result = Failure(1437);
  return result;
}

long KelEdsMetadataDocument::Generate(const KelUnicodeString& uuidFile, const KelListValKelUnicodeString& suppliedNames,
                                      const KelListValKelUnicodeString& suppliedUuids,
                                      const KelUnicodeString& outputFile) const {
  long result = Failure(1040);
  if (uuidFile.IsEmpty() || outputFile.IsEmpty() || dict_.Tables.IsEmpty()) return result;
  if (!KelGuard([&] {
        // A uuid file that does not open leaves the pool empty.
        KelListValKelUnicodeString pool;
        ReadUuidFile(uuidFile, pool);
        std::printf("******************** Number of existing uuid = %d \n", pool.Size());
        std::fflush(stdout);

        MetaDataGeneration generation(dict_, pool, suppliedNames, suppliedUuids);
        KelIDOMDocument_var document;
        const long created = CreateDocument("Package", "Dictionary00.dtd", document);
        if (created < 0 || !document) {
          result = created < 0 ? created : Failure(1098);
          document = nullptr;
        } else {
          generation.WritePackage(document);
          for (int p = 1; p <= dict_.Tables.Size(); ++p) {
            if (const KelEdsMetadataTable* table = KelEdsMetadataDict::AsTable(dict_.Tables[p]))
              generation.WriteClass(*table);
            result = Success(1296);
          }
          // Every item of the document carries a uuid, or there is no document.
          if (!generation.EveryItemHasUuid()) result = Failure(1318);
        }
        generation.PrintSummary();
        if (result >= 0 && document) result = WriteDocument(document, outputFile);
      }))
    result = Failure(1330);
  return result;
}
