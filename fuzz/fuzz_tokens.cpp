// Token extraction: the first byte picks the separator, the rest is the text.
#include <cstdlib>

#include "FuzzInput.h"
#include "KelEdsGeneralTool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t separatorLength = data[0] % 3;  // empty, one or two characters
  if (size < 1 + separatorLength) return 0;
  KelUnicodeString separator = FuzzText(data + 1, separatorLength);
  KelUnicodeString text = FuzzText(data + 1 + separatorLength, size - 1 - separatorLength);
  KelEdsGeneralTool tool;
  KelListValKelUnicodeString tokens;
  long code = tool.ExtractTokenString(text, tokens, separator);
  if (text.IsEmpty() != (code < 0)) std::abort();
  for (const KelUnicodeString& token : tokens) {
    if (token.IsEmpty() || token.Strip(KelUnicodeString::Both) != token) std::abort();
  }
  return 0;
}
