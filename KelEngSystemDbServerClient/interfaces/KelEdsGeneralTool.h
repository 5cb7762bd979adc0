// KelEdsGeneralTool: blank encoding and token extraction in texts.
//
// Blank encoding writes each run of n blanks as "!", n in decimal, "$", so
// that a text travels where blanks are not allowed; decoding turns it back.
// There is no escape: a text that already holds "!" and "$" cannot be told
// apart from an encoded one. ExtractTokenString splits a text into trimmed
// tokens at a one-character separator.
//
// Decoding is bounded against hostile input: one run expands to at most
// MaxDecodedRun blanks and one call adds at most MaxDecodedBlanks blanks in
// all; decoding stops at the first run beyond either limit and keeps the rest
// of the text as it is.
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
  // Limits of DecodeBlanks: blanks from one run, and blanks from one call.
  static constexpr int MaxDecodedRun = 65536;
  static constexpr int MaxDecodedBlanks = 16 * 1024 * 1024;

  KelEdsGeneralTool();
  KelEdsGeneralTool(const KelEdsGeneralTool& other);
  ~KelEdsGeneralTool() override;
  KelEdsGeneralTool& operator=(const KelEdsGeneralTool& other);

  // The text with every run of blanks encoded. `text` is not changed. A text
  // without blanks, or of blanks only, comes back unchanged; the trailing
  // blanks of a single-word text are dropped.
  KelUnicodeString EncodeBlanks(KelUnicodeString& text);

  // The text with every "!n$" (n >= 1) turned back into n blanks, up to the
  // first piece that does not decode (or passes the limits above), after
  // which the text is kept as it is. `text` is not changed. Never fails.
  KelUnicodeString DecodeBlanks(KelUnicodeString& text);

  // Empties `tokens` and fills it with the pieces of `text` between
  // separators, each stripped of blanks at both ends, blank pieces left out.
  // The separator is `separator` when it is exactly one character, a blank
  // otherwise. An empty text fails and leaves `tokens` as it was. The codes
  // come from KelError::GetReturn; test only their sign.
  long ExtractTokenString(const KelUnicodeString& text, KelListValKelUnicodeString& tokens, KelUnicodeString separator);
};
