// Blank decoding of hostile text stays bounded, and encoding then decoding a
// text without "!" and "$" gives it back (except the documented loss of the
// trailing blanks of a single word).
#include <cstdlib>

#include "FuzzInput.h"
#include "KelEdsGeneralTool.h"

namespace {
bool IsSingleWordWithTrailingBlanks(const KelUnicodeString& text) {
  KelUnicodeString stripped = text.Strip(KelUnicodeString::Both);
  return !stripped.IsEmpty() && stripped.SearchSubString(" ") < 0 &&
         text.Strip(KelUnicodeString::Trailing).GetLengthInChar() < text.GetLengthInChar();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KelEdsGeneralTool tool;
  KelUnicodeString text = FuzzText(data, size);
  KelUnicodeString decoded = tool.DecodeBlanks(text);
  if (decoded.GetLengthInChar() > text.GetLengthInChar() + KelEdsGeneralTool::MaxDecodedLength) std::abort();

  if (text.SearchSubString("!") < 0 && text.SearchSubString("$") < 0 && !IsSingleWordWithTrailingBlanks(text)) {
    KelUnicodeString encoded = tool.EncodeBlanks(text);
    if (encoded.SearchSubString(" ") >= 0 && text.Strip(KelUnicodeString::Both).GetLengthInChar() > 0) std::abort();
    if (tool.DecodeBlanks(encoded) != text) std::abort();
  }
  return 0;
}
