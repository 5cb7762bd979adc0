#include "KelXmlOptions.h"

#include <algorithm>
#include <cctype>

#include "KelXmlText.h"

namespace kelxml {

namespace {

bool ReadFlag(const KelUnicodeString& value, bool& flag) {
  std::string text = Utf8(value);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  if (text == "true") {
    flag = true;
  } else if (text == "false") {
    flag = false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ReadOptions(const KelListValKelUnicodeString& names, const KelListValKelUnicodeString& values, Options& options,
                 std::string& problem) {
  if (names.Size() != values.Size()) {
    problem = "option names and option values differ in number";
    return false;
  }
  for (int i = 1; i <= names.Size(); ++i) {
    const KelUnicodeString& name = names[i];
    const KelUnicodeString& value = values[i];
    bool good = true;
    if (name == KelUnicodeString("KelDoValidation")) {
      good = ReadFlag(value, options.validate);
    } else if (name == KelUnicodeString("KelExpandEntityReferences")) {
      good = ReadFlag(value, options.expand);
    } else if (name == KelUnicodeString("KelFormatPrettyPrint")) {
      good = ReadFlag(value, options.pretty);
    } else if (name == KelUnicodeString("KelParseWithLibxml2")) {
      good = ReadFlag(value, options.libxml2_only);
    } else if (name == KelUnicodeString("KelEncoding")) {
      std::string encoding = Utf8(value);
      std::transform(encoding.begin(), encoding.end(), encoding.begin(),
                     [](unsigned char c) { return std::toupper(c); });
      good = encoding == "UTF-8" || encoding == "UTF8";
    }
    if (!good) {
      problem = "option " + Utf8(name) + " does not accept the value \"" + Utf8(value) + "\"";
      return false;
    }
  }
  return true;
}

bool IsNetworkLocation(const char* identifier) {
  if (identifier == nullptr || !std::isalpha(static_cast<unsigned char>(identifier[0]))) return false;
  std::size_t i = 0;
  std::string scheme;
  for (; identifier[i] != '\0'; ++i) {
    const auto c = static_cast<unsigned char>(identifier[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') break;
    scheme += static_cast<char>(std::tolower(c));
  }
  return i >= 2 && identifier[i] == ':' && scheme != "file";
}

}  // namespace kelxml
