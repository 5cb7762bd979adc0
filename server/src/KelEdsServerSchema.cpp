#include "KelEdsServerSchema.h"

#include <cctype>

#include "KelListValKelUnicodeString.h"
#include "KelRawCollint.h"

namespace kel_server {
namespace {

// Dictionary names become SQL text; refuse anything but plain identifiers
// (a dot only between owner and class), whatever the dictionary holds.
bool PlainIdentifier(const std::string& name, bool dotted) {
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
  int dots = 0;
  for (char c : name) {
    if (c == '.') {
      ++dots;
    } else if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) {
      return false;
    }
  }
  return dots == (dotted ? 1 : 0);
}

bool StartsWith(const KelUnicodeString& text, const char16_t* prefix) {
  return text.View().substr(0, std::char_traits<char16_t>::length(prefix)) == prefix;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "CREATE TABLE xq40718.Work_Package (Work_package_key INTEGER NOT NULL,...);"
// between double quotes: the table name and each column's SQL type.
bool ParseCreate(const std::string& statement, std::string& table,
                 std::vector<std::pair<std::string, std::string>>& columns) {
  const std::string head = "\"CREATE TABLE ";
  if (statement.compare(0, head.size(), head) != 0) return false;
  const size_t open = statement.find(" (", head.size());
  const size_t close = statement.rfind(");\"");
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  table = statement.substr(head.size(), open - head.size());
  const std::string body = statement.substr(open + 2, close - open - 2);
  size_t start = 0;
  while (start <= body.size()) {
    size_t comma = body.find(',', start);
    if (comma == std::string::npos) comma = body.size();
    const std::string item = body.substr(start, comma - start);
    const size_t blank = item.find(' ');
    if (blank == std::string::npos) return false;
    columns.emplace_back(item.substr(0, blank), item.substr(blank + 1));
    start = comma + 1;
  }
  return true;
}

bool ParseType(const std::string& sqlType, Column& column) {
  column.notNull = sqlType.find("NOT NULL") != std::string::npos;
  if (sqlType.compare(0, 7, "INTEGER") == 0) {
    column.kind = Column::kInteger;
  } else if (sqlType.compare(0, 5, "FLOAT") == 0) {
    column.kind = Column::kFloat;
  } else if (sqlType.compare(0, 5, "CHAR(") == 0) {
    column.kind = Column::kChar;
    column.length = std::atoi(sqlType.c_str() + 5);
    if (column.length < 1) return false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool Schema::Build(std::string& error) {
  std::lock_guard<std::mutex> lock(toolMutex_);
  KelListValKelUnicodeString statements, classNames, keys;
  if (tool_.GenerateSQLStatements(statements) < 0 || tool_.GetClassInfo(classNames, keys, 0) < 0) {
    error = "the metadata tool gave no schema";
    return false;
  }
  std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> ddl;
  for (const KelUnicodeString& statement : statements) {
    std::string table;
    std::vector<std::pair<std::string, std::string>> columns;
    const std::string text = statement.ToUTF8();
    if (ParseCreate(text, table, columns)) ddl[table] = std::move(columns);
    const size_t name = text.find(" ADD CONSTRAINT ");
    if (name != std::string::npos) {
      const size_t start = name + 16, end = text.find(' ', start);
      const std::string constraint = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      constraints_.emplace(Lower(constraint), KelUnicodeString(constraint));
    }
  }
  for (int c = 1; c <= classNames.Size(); ++c) {
    ClassModel model;
    model.neutral = classNames[c].ToUTF8();
    model.tessel = tool_.TranslateClassToTessel(classNames[c]);
    auto found = ddl.find(model.neutral);
    if (found == ddl.end() || !PlainIdentifier(model.neutral, true)) {
      error = "no usable table for class " + model.neutral;
      return false;
    }
    KelListValKelUnicodeString names, types;
    KelRawCollint flags;
    tool_.GetAttributeInfo(classNames[c], names, types, flags);
    for (const auto& [name, sqlType] : found->second) {
      Column column;
      column.name = name;
      column.name16 = KelUnicodeString(name).Data();
      if (!PlainIdentifier(name, false) || !ParseType(sqlType, column)) {
        error = "unusable column " + model.neutral + "." + name + " " + sqlType;
        return false;
      }
      const int at = names.Locate(KelUnicodeString(name));
      column.tesselType = at > 0 ? types[at] : KelUnicodeString("String");
      column.selectExpression = column.kind == Column::kChar ? name + "::text" : name;
      model.columnIndex.emplace(column.name16, static_cast<int>(model.columns.size()));
      model.columns.push_back(std::move(column));
    }
    auto key = model.columnIndex.find(keys[c].Data());
    if (key == model.columnIndex.end() || model.columns[key->second].kind != Column::kInteger) {
      error = "no integer primary key for class " + model.neutral;
      return false;
    }
    model.key = key->second;
    model.keySequence = "kel_server." + Lower(model.tessel.ToUTF8()) + "_key";
    byNeutral_.emplace(classNames[c].Data(), static_cast<int>(classes_.size()));
    classes_.push_back(std::move(model));
  }
  // The references that can block a delete, with the query that lists them.
  for (ClassModel& model : classes_) {
    KelListValKelUnicodeString referencing, constraints, none;
    tool_.GetReferencingClasses(model.tessel, none, referencing, constraints);
    for (int r = 1; r <= referencing.Size() && r <= constraints.Size(); ++r) {
      KelListValKelUnicodeString relationNames, attributes, targets;
      tool_.GetRelationship(referencing[r], relationNames, attributes, targets);
      const int at = relationNames.Locate(constraints[r]);
      auto other = byNeutral_.find(referencing[r].Data());
      if (at == 0 || other == byNeutral_.end()) continue;
      const ClassModel& from = classes_[other->second];
      auto column = from.columnIndex.find(attributes[at].Data());
      if (column == from.columnIndex.end()) continue;
      Reference reference;
      reference.referencingClass = from.tessel;
      reference.constraint = constraints[r];
      reference.query = "SELECT " + from.columns[from.key].name + " FROM " + from.neutral + " WHERE " +
                        from.columns[column->second].name + " = $1 ORDER BY 1 LIMIT $2";
      model.referencedBy.push_back(std::move(reference));
    }
  }
  return !classes_.empty();
}

KelUnicodeString Schema::ConstraintName(const std::string& folded) const {
  auto found = constraints_.find(folded);
  return found == constraints_.end() ? KelUnicodeString::FromUTF8(folded) : found->second;
}

const ClassModel* Schema::FindClass(const KelUnicodeString& name) {
  KelUnicodeString neutral;
  {
    std::lock_guard<std::mutex> lock(toolMutex_);
    if (StartsWith(name, u"EdbSQL_TB")) {
      if (tool_.ResolveDefine(name, neutral) < 0) return nullptr;
    } else {
      neutral = tool_.TranslateClassToNeutral(name);
    }
  }
  auto found = byNeutral_.find(neutral.Data());
  return found == byNeutral_.end() ? nullptr : &classes_[found->second];
}

int Schema::FindColumn(const ClassModel& model, const KelUnicodeString& name) {
  auto found = model.columnIndex.find(name.Data());
  if (found != model.columnIndex.end()) return found->second;
  if (!StartsWith(name, u"EdbSQL_TA")) return -1;
  KelUnicodeString attribute;
  {
    std::lock_guard<std::mutex> lock(toolMutex_);
    if (tool_.ResolveDefine(name, attribute) < 0) return -1;
  }
  found = model.columnIndex.find(attribute.Data());
  return found == model.columnIndex.end() ? -1 : found->second;
}

}  // namespace kel_server
