// Helpers shared by the schema dictionary and metadata tool tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "KelEdsMetadataDict.h"
#include "KelEdsMetadataTool.h"
#include "KelError.h"
#include "KelInternalError.h"
#include "support/TestFiles.h"

using Strings = std::vector<std::string>;

inline constexpr const char kDictSource[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsMetadataDict";
inline constexpr const char kToolSource[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsMetadataTool";

// Reaches the tool's dictionary handle, to put a prepared dictionary in it.
class KelEdsMetadataToolTestPeer {
 public:
  static KelVar<KelEdsMetadataDict>& Dict(KelEdsMetadataTool& tool) { return tool.Dict; }
};

// Where a failure code was made: (source file, line); kSucceeded for a
// success code, and ("<untraced>", 0) for a failure that tells no origin.
inline const std::pair<std::string, int> kSucceeded{"<succeeded>", 0};
inline std::pair<std::string, int> OriginOf(long code) {
  const char* file = nullptr;
  int line = 0;
  if (KelError::GetReturnOrigin(code, &file, &line)) return {file, line};
  return code >= 0 ? kSucceeded : std::pair<std::string, int>{"<untraced>", 0};
}
inline std::pair<std::string, int> DictLine(int line) { return {kDictSource, line}; }
inline std::pair<std::string, int> ToolLine(int line) { return {kToolSource, line}; }

// The expected output kept in tests/data/schema.
inline std::string ExpectedPath(const std::string& name) { return std::string(KEL_TEST_DATA_DIR) + "/schema/" + name; }

// `actual` against the expected file, byte for byte. A difference names the
// first line that differs and shows both around its first differing
// character (the metadata document is one long line).
inline ::testing::AssertionResult MatchesExpectedFile(const std::string& actual, const std::string& name) {
  const std::string expected = testfiles::ReadFile(ExpectedPath(name));
  if (expected.empty()) return ::testing::AssertionFailure() << "cannot read " << ExpectedPath(name);
  if (actual == expected) return ::testing::AssertionSuccess();
  const std::size_t offset =
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first - expected.begin();
  const std::size_t line = offset == 0 ? 0 : expected.rfind('\n', offset - 1) + 1;  // npos + 1 is 0
  const std::size_t shown = offset - std::min<std::size_t>(offset - line, 60);
  // Both texts are equal before `offset`, so neither has a line end between `shown` and it.
  auto excerpt = [shown, offset](const std::string& text) {
    const std::size_t end = std::min({text.find('\n', offset), text.size(), shown + 160});
    const std::string part = text.substr(shown, end - shown);
    if (end > offset) return part;
    return part + (offset == text.size() ? "<end of file>" : "<end of line>");
  };
  return ::testing::AssertionFailure() << name << " differs first on line "
                                       << 1 + std::count(expected.begin(), expected.begin() + offset, '\n')
                                       << ", column " << 1 + offset - line << ":\n  expected: " << excerpt(expected)
                                       << "\n  actual:   " << excerpt(actual);
}

inline std::vector<std::string> Texts(const KelListValKelUnicodeString& list) {
  std::vector<std::string> texts;
  for (const KelUnicodeString& entry : list) texts.push_back(entry.ToUTF8());
  return texts;
}
inline std::vector<int> Numbers(const KelRawCollint& list) { return list.Values(); }

inline KelListValKelUnicodeString MakeList(const std::vector<std::string>& texts) {
  KelListValKelUnicodeString list;
  for (const std::string& text : texts) list.Append(KelUnicodeString(text));
  return list;
}

// A table entry whose type question raises: a platform error, or (with
// `platformError` false) a foreign exception that the guards must let through.
class RaisingTable : public KelEdsMetadataTable {
 public:
  explicit RaisingTable(bool platformError) : KelEdsMetadataTable("xq40718.Raising"), platform_(platformError) {}
  KelMetaClass* GetMetaObject() const override {
    if (!platform_) throw std::runtime_error("not a platform error");
    KelError::Throw(new KelInternalError(KelErrOutOfRange));
  }

 private:
  bool platform_;
};

// A dictionary that claims another kind, so the tool's dictionary check fails.
class ForeignDict : public KelEdsMetadataDict {
 public:
  KelMetaClass* GetMetaObject() const override { return KelBaseUnknown::MetaObject(); }
};

inline const KelEdsMetadataTable* TableNamed(const KelEdsMetadataDict& dict, const char* name) {
  for (KelBaseUnknown* entry : dict.Tables) {
    const KelEdsMetadataTable* table = KelEdsMetadataDict::AsTable(entry);
    if (table != nullptr && table->Name == KelUnicodeString(name)) return table;
  }
  return nullptr;
}
