// The server's picture of the schema, drawn once from KelEdsMetadataTool when
// the server opens and read-only afterwards (so any thread may read it): per
// class its columns with the SQL type and NOT NULL flag, the primary key, the
// references that point at it, and the SQL texts the jobs use. Every name
// that reaches SQL comes from here.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "KelEdsMetadataTool.h"

namespace kel_server {

struct Column {
  enum Kind { kInteger, kFloat, kChar };
  std::string name;
  std::u16string name16;
  KelUnicodeString tesselType;  // "Uuid", "Integer", "Double", "String"
  Kind kind = kChar;
  int length = 0;  // characters, for kChar
  bool notNull = false;
  std::string selectExpression;  // CHAR columns read without their padding
};

// A FOREIGN KEY of another class that references this one.
struct Reference {
  KelUnicodeString referencingClass;  // Tessel name
  KelUnicodeString constraint;
  std::string query;  // keys of the referencing rows, given the referenced key
};

struct ClassModel {
  std::string neutral;  // the table name of the DDL: "xq40718.Work_Package"
  KelUnicodeString tessel;
  std::vector<Column> columns;
  std::unordered_map<std::u16string, int> columnIndex;
  int key = -1;  // column index of the primary key
  std::string keySequence;
  std::vector<Reference> referencedBy;
};

class Schema {
 public:
  // False when the dictionary does not describe a usable schema.
  bool Build(std::string& error);

  // Either name form of a class (neutral, Tessel, SQL table identifier);
  // nullptr when the dictionary has no such class.
  const ClassModel* FindClass(const KelUnicodeString& name);
  // The attribute name or its SQL column identifier; -1 when unknown.
  int FindColumn(const ClassModel& model, const KelUnicodeString& name);

  const std::vector<ClassModel>& Classes() const { return classes_; }
  // A constraint as the schema spells it, from the folded name the database
  // reports; the database's name when the schema has none like it.
  KelUnicodeString ConstraintName(const std::string& folded) const;

 private:
  std::mutex toolMutex_;  // the tool is used by one thread at a time
  KelEdsMetadataTool tool_;
  std::vector<ClassModel> classes_;
  std::unordered_map<std::u16string, int> byNeutral_;
  std::unordered_map<std::string, KelUnicodeString> constraints_;  // folded name -> schema's
};

}  // namespace kel_server
