#include "SchemaModel.h"

#include <algorithm>
#include <cctype>

#include "EdsutilOutput.h"

namespace edsutil {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool Contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

std::vector<std::string> ToStrings(const KelListValKelUnicodeString& list) {
  std::vector<std::string> strings;
  for (const KelUnicodeString& entry : list) strings.push_back(entry.ToUTF8());
  return strings;
}

KelListValKelUnicodeString ToList(const std::vector<std::string>& strings) {
  KelListValKelUnicodeString list;
  for (const std::string& entry : strings) list.Append(KelUnicodeString(entry));
  return list;
}

SchemaModel::SchemaModel() {
  KelListValKelUnicodeString classes, keys;
  if (tool_.GetClassInfo(classes, keys, 0) < 0) throw Failure("the metadata tool has no schema dictionary");
  classNames_ = ToStrings(classes);
}

std::vector<std::string> SchemaModel::ClassNames() { return classNames_; }

std::string SchemaModel::Resolve(const std::string& className) {
  const std::string neutral = tool_.TranslateClassToNeutral(className).ToUTF8();
  if (Contains(classNames_, neutral)) return neutral;
  std::string message = "unknown class '" + className + "'";
  const std::string tessel = tool_.TranslateClassToTessel(className).ToUTF8();
  for (const std::string& known : classNames_) {
    const std::string knownTessel = tool_.TranslateClassToTessel(known).ToUTF8();
    if (SameIgnoringCase(knownTessel, tessel)) {
      throw Failure(message + " (names are case-sensitive: did you mean '" + knownTessel + "'?)");
    }
  }
  throw Failure(message + " (see 'edsutil schema classes')");
}

ClassInfo SchemaModel::Describe(const std::string& className) {
  ClassInfo info;
  info.neutral = Resolve(className);
  const KelUnicodeString neutral(info.neutral);
  info.tessel = tool_.TranslateClassToTessel(neutral).ToUTF8();
  info.primaryKey = tool_.GetPrimaryKey(neutral).ToUTF8();

  KelListValKelUnicodeString names, types, magnitudeAttrs, magnitudes, uniqueAttrs, relNames, relAttrs, relTargets;
  KelRawCollint mandatory;
  if (tool_.GetAttributeInfo(neutral, names, types, mandatory) < 0 ||
      tool_.GetAttrMagnitudeInfo(neutral, magnitudeAttrs, magnitudes) < 0 ||
      tool_.GetUniqueAttrNames(neutral, uniqueAttrs) < 0 ||
      tool_.GetRelationship(neutral, relNames, relAttrs, relTargets) < 0) {
    throw Failure("the metadata tool could not describe class '" + info.neutral + "'");
  }

  std::vector<std::string> tesselClasses;
  for (const std::string& known : classNames_) tesselClasses.push_back(tool_.TranslateClassToTessel(known).ToUTF8());
  for (int k = 1; k <= relNames.Size() && k <= relAttrs.Size() && k <= relTargets.Size(); ++k) {
    RelationshipInfo rel{relNames[k].ToUTF8(), relAttrs[k].ToUTF8(), relTargets[k].ToUTF8(), false};
    rel.external = !Contains(tesselClasses, rel.target);
    info.relationships.push_back(rel);
  }

  const std::vector<std::string> unique = ToStrings(uniqueAttrs);
  for (int k = 1; k <= names.Size() && k <= types.Size() && k <= mandatory.Size(); ++k) {
    AttributeInfo attr;
    attr.name = names[k].ToUTF8();
    attr.type = types[k].ToUTF8();
    attr.mandatory = mandatory[k] > 0;
    const int m = magnitudeAttrs.Locate(names[k]);
    if (m > 0 && m <= magnitudes.Size()) attr.magnitude = magnitudes[m].ToUTF8();
    attr.primaryKey = attr.name == info.primaryKey;
    attr.unique = Contains(unique, attr.name);
    const std::string relationship = tool_.TransRelationNameToTessel(neutral, names[k]).ToUTF8();
    if (relationship != attr.name) {
      attr.relationship = relationship;
      for (const RelationshipInfo& rel : info.relationships) {
        if (rel.name == relationship) attr.external = rel.external;
      }
    }
    info.attributes.push_back(attr);
  }
  return info;
}

}  // namespace edsutil
