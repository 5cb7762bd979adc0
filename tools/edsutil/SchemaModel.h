// The schema of the cable-routing database as the schema commands show it:
// each class with its attributes, keys and relationships, gathered from the
// metadata tool's queries.
//
// Class names are accepted in either form, neutral ("xq40718.Work_Package")
// or Tessel ("Work_Package"); an unknown class is a Failure that names it.
//
// Ownership: a SchemaModel owns its metadata tool. Threading: one thread.
#pragma once

#include <string>
#include <vector>

#include "KelEdsMetadataTool.h"

namespace edsutil {

struct AttributeInfo {
  std::string name;
  std::string type;        // Tessel type: Uuid, Integer, Double, String
  bool mandatory = false;  // NOT NULL
  std::string magnitude;   // LENGTH, MASS, AREA, LINEMASS or empty
  bool primaryKey = false;
  bool unique = false;       // part of the class's UNIQUE constraint
  std::string relationship;  // the relationship the attribute stands for, or empty
  bool external = false;     // that relationship goes to a class outside the schema
};

struct RelationshipInfo {
  std::string name;        // constraint name, such as "CIC_WP"
  std::string attributes;  // referencing attribute(s)
  std::string target;      // referenced class: a Tessel name, or an outside class
  bool external = false;   // the target is outside the schema (RuxItemInstance ...)
};

struct ClassInfo {
  std::string neutral;  // xq40718.Work_Package
  std::string tessel;   // Work_Package
  std::string primaryKey;
  std::vector<AttributeInfo> attributes;
  std::vector<RelationshipInfo> relationships;  // foreign keys first, then external references
};

class SchemaModel {
 public:
  SchemaModel();

  // Neutral names of every class, in table order.
  std::vector<std::string> ClassNames();
  // The neutral name of a known class given in either form.
  std::string Resolve(const std::string& className);
  ClassInfo Describe(const std::string& className);

  KelEdsMetadataTool& Tool() { return tool_; }

 private:
  KelEdsMetadataTool tool_;
  std::vector<std::string> classNames_;
};

// Helpers between the platform's types and std ones.
std::vector<std::string> ToStrings(const KelListValKelUnicodeString& list);
KelListValKelUnicodeString ToList(const std::vector<std::string>& strings);

}  // namespace edsutil
