// KelEdsGeneralTool: blank encoding and token extraction in texts.
//
// Blank encoding writes each run of n blanks as "!", n in decimal, "$", so
// that a text travels where blanks are not allowed; decoding turns it back.
// There is no escape: a text that already holds "!" and "$" cannot be told
// apart from an encoded one. ExtractTokenString splits a text into trimmed
// tokens at a one-character separator.
//
// Decoding is bounded against hostile input by the length of what it gives
// back: at most MaxDecodedLength characters. Any run that the encoder writes
// for a text within that length decodes; decoding stops at the first run that
// would pass it and keeps the rest of the text as it is.
//
// Ownership: the tool holds no state; each call works on copies of its
// arguments. Threading: calls on distinct arguments may run on any threads.
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelBaseUnknown.h"
#include "KelListValKelUnicodeString.h"
#include "KelUnicodeString.h"

class ExportedByKelEdsUtil KelEdsGeneralTool : public KelBaseUnknown {
 public:
  // The longest text that DecodeBlanks gives back, in characters (128 MiB of
  // UTF-16): far beyond any real text, well within memory.
  static constexpr int MaxDecodedLength = 64 * 1024 * 1024;

  KelEdsGeneralTool();
  KelEdsGeneralTool(const KelEdsGeneralTool& other);
  ~KelEdsGeneralTool() override;
  KelEdsGeneralTool& operator=(const KelEdsGeneralTool& other);

  // The text with every run of blanks encoded. `text` is not changed. A text
  // without blanks, or of blanks only, comes back unchanged; the trailing
  // blanks of a single-word text are dropped.
  KelUnicodeString EncodeBlanks(KelUnicodeString& text);

  // The text with every "!n$" (n >= 1) turned back into n blanks, up to the
  // first piece that does not decode (or would pass MaxDecodedLength), after
  // which the text is kept as it is. `text` is not changed. Never fails.
  KelUnicodeString DecodeBlanks(KelUnicodeString& text);

  // Empties `tokens` and fills it with the pieces of `text` between
  // separators, each stripped of blanks at both ends, blank pieces left out.
  // The separator is `separator` when it is exactly one character, a blank
  // otherwise. An empty text fails and leaves `tokens` as it was. The codes
  // come from KelError::GetReturn; test only their sign.
  long ExtractTokenString(const KelUnicodeString& text, KelListValKelUnicodeString& tokens, KelUnicodeString separator);
};
