// KelToken: splits a text into pieces, one GetNextToken call at a time.
//
// The separator text is a set of characters: any one of them separates. Runs
// of separators (and separators at either end) are skipped, so every piece
// handed out is non-empty; once the text is exhausted, GetNextToken returns an
// empty (not null) string, again and again. An empty separator text gives the
// whole remaining text as one piece.
//
// Ownership: keeps its own copy of the text. Threading: one object per thread.
#pragma once

#include <string>

#include "ExportedByJS0GROUP.h"
#include "KelUnicodeString.h"

class ExportedByJS0GROUP KelToken {
 public:
  explicit KelToken(const KelUnicodeString& text) : text_(text.Data()) {}

  KelUnicodeString GetNextToken(const KelUnicodeString& separators);

 private:
  std::u16string text_;
  std::size_t position_ = 0;
};
