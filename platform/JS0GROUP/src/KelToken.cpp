#include "KelToken.h"

KelUnicodeString KelToken::GetNextToken(const KelUnicodeString& separators) {
  const std::u16string& set = separators.Data();
  if (set.empty()) {
    std::u16string rest = text_.substr(std::min(position_, text_.size()));
    position_ = text_.size();
    return KelUnicodeString(std::move(rest));
  }
  std::size_t begin = text_.find_first_not_of(set, position_);
  if (begin == std::u16string::npos) {
    position_ = text_.size();
    return KelUnicodeString(std::u16string());
  }
  std::size_t end = text_.find_first_of(set, begin);
  if (end == std::u16string::npos) end = text_.size();
  position_ = end;
  return KelUnicodeString(text_.substr(begin, end - begin));
}
