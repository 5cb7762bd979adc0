#include "KelEdsGeneralTool.h"

#include <string>
#include <vector>

#include "KelEdsResultCodes.h"
#include "KelError.h"
#include "KelGuard.h"
#include "KelToken.h"

namespace {

constexpr char kSource[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsGeneralTool";
constexpr auto Failure = KelEdsResultCodes<kSource>::Failure;
constexpr auto Success = KelEdsResultCodes<kSource>::Success;

// A plain array: nothing of this source runs when the library is loaded.
constexpr char kBlank[] = " ";

// "!n$": the encoded form of a run of n blanks.
KelUnicodeString EncodedRun(int count) {
  KelUnicodeString number;
  number.BuildFromNum(count, "%d");
  return KelUnicodeString("!") + number + KelUnicodeString("$");
}

}  // namespace

KelEdsGeneralTool::KelEdsGeneralTool() = default;
KelEdsGeneralTool::KelEdsGeneralTool(const KelEdsGeneralTool& other) = default;
KelEdsGeneralTool::~KelEdsGeneralTool() = default;
KelEdsGeneralTool& KelEdsGeneralTool::operator=(const KelEdsGeneralTool& other) = default;

KelUnicodeString KelEdsGeneralTool::EncodeBlanks(KelUnicodeString& text) {
  KelUnicodeString work(text);
  if (work.IsEmpty() || work.SearchSubString(kBlank) < 0) return work;

  KelUnicodeString result("");
  int words = 0;
  const bool done = KelGuard([&] {
    KelToken token(work);
    const KelUnicodeString blank(kBlank);
    int end = 0;  // position just after the previous word
    for (KelUnicodeString piece = token.GetNextToken(blank); !piece.IsEmpty(); piece = token.GetNextToken(blank)) {
      const KelUnicodeString word = piece.Strip(KelUnicodeString::Both, u' ');
      // Searched from the previous word's end, so a word that also occurs
      // earlier in the text is found at its own place.
      const int position = work.SearchSubString(word, end, KelUnicodeString::Forward);
      if (position < 0) break;  // cannot happen: each piece lies after the previous one
      if (position - end >= 1) result += EncodedRun(position - end);
      result += word;
      end = position + word.GetLengthInChar();
      ++words;
    }
    if (words >= 2 && work.GetLengthInChar() - end >= 1) result += EncodedRun(work.GetLengthInChar() - end);
  });
  // A single word loses its trailing blanks; a text of blanks only stays.
  if (done && words >= 1) work = result;
  return work;
}

KelUnicodeString KelEdsGeneralTool::DecodeBlanks(KelUnicodeString& text) {
  KelUnicodeString work(text);
  if (work.IsEmpty() || work.SearchSubString("!") < 0 || work.SearchSubString("$") < 0) return work;

  std::u16string result;
  KelGuard([&] {
    const int length = work.GetLengthInChar();
    int rest = 0;  // start of the part not decoded yet
    while (rest < length) {
      const int mark = work.SearchSubString("!", rest, KelUnicodeString::Forward);
      if (mark < 0) break;
      const int close = work.SearchSubString("$", rest, KelUnicodeString::Forward);
      int count = 0;
      if (close > mark) work.SubString(mark + 1, close - mark - 1).ConvertToNum(&count, "%d");
      // A run that does not decode, or would blow the output up, ends the decoding.
      if (count < 1 || result.size() + static_cast<std::size_t>(mark - rest) + static_cast<std::size_t>(count) >
                           static_cast<std::size_t>(MaxDecodedLength)) {
        break;
      }
      result.append(work.View().substr(static_cast<std::size_t>(rest), static_cast<std::size_t>(mark - rest)));
      result.append(static_cast<std::size_t>(count), u' ');
      rest = close + 1;
    }
    result.append(work.View().substr(static_cast<std::size_t>(rest)));
    work = KelUnicodeString(std::move(result));
  });
  return work;
}

long KelEdsGeneralTool::ExtractTokenString(const KelUnicodeString& text, KelListValKelUnicodeString& tokens,
                                           KelUnicodeString separator) {
  long result = Failure(__LINE__);
  if (text.IsEmpty()) return result;
  tokens.RemoveAll();
  const KelUnicodeString used = separator.GetLengthInChar() == 1 ? separator : KelUnicodeString(kBlank);
  if (KelGuard([&] {
        KelToken token(text);
        for (KelUnicodeString piece = token.GetNextToken(used); !piece.IsEmpty(); piece = token.GetNextToken(used)) {
          KelUnicodeString trimmed = piece.Strip(KelUnicodeString::Both, u' ');
          if (!trimmed.IsEmpty()) tokens.Append(std::move(trimmed));
        }
      })) {
    result = Success(__LINE__);
  }
  return result;
}
