#include "KelEdsGeneralTool.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "KelError.h"

namespace {

struct TextCase {
  const char* in;
  const char* out;
};

// Each converts a copy: the text given stays as it was.
TEST(KelEdsGeneralTool, EncodeAndDecodeBlanks) {
  const std::vector<TextCase> encodings = {
      {"a   b", "a!3$b"},
      {"a b", "a!1$b"},
      {"  a b ", "!2$a!1$b!1$"},
      {" a", "!1$a"},
      {"a   ", "a"},
      {"   ", "   "},
      {"ab", "ab"},
      {"", ""},
      {"abc b", "abc!1$b"},
      {" b ab  b", "!1$b!1$ab!2$b"},  // each word is found after the previous one
      {"\xC3\xA9t\xC3\xA9  x", "\xC3\xA9t\xC3\xA9!2$x"},
  };
  const std::vector<TextCase> decodings = {
      {"a!3$b", "a   b"},
      {"!2$a!1$b!1$", "  a b "},
      {"!1$", " "},
      {"x!0$y", "x!0$y"},
      {"a$b!2", "a$b!2"},
      {"a!-3$b", "a!-3$b"},
      {"a!2$b!x$c", "a  b!x$c"},
      {"a!2$b$c!1$d", "a  b$c!1$d"},  // the "$" before the next "!" stops it
      {"a!2$b!", "a  b!"},
      {"abc", "abc"},
      {"a!2147483647$b", "a!2147483647$b"},
      {"a!99999999999$b", "a!99999999999$b"},
  };
  KelEdsGeneralTool tool;
  for (bool encode : {true, false}) {
    for (const TextCase& c : encode ? encodings : decodings) {
      KelUnicodeString text(c.in);
      EXPECT_EQ((encode ? tool.EncodeBlanks(text) : tool.DecodeBlanks(text)).ToUTF8(), c.out) << '"' << c.in << '"';
      EXPECT_EQ(text.ToUTF8(), c.in);
    }
  }
  KelUnicodeString null;
  EXPECT_TRUE(tool.EncodeBlanks(null).IsNull());
}

TEST(KelEdsGeneralTool, LongRunsRoundTripUpToTheOutputLimit) {
  KelEdsGeneralTool tool;
  KelUnicodeString text("a" + std::string(70000, ' ') + "b");
  KelUnicodeString encoded = tool.EncodeBlanks(text);
  EXPECT_EQ(encoded.ToUTF8(), "a!70000$b");
  EXPECT_EQ(tool.DecodeBlanks(encoded), text);

  // The output may reach the limit exactly; a run that would pass it stays encoded, with what follows.
  const int limit = KelEdsGeneralTool::MaxDecodedLength;
  KelUnicodeString full("a!" + std::to_string(limit - 2) + "$b");
  EXPECT_EQ(tool.DecodeBlanks(full).GetLengthInChar(), limit);
  const std::string over = "a!1$b!" + std::to_string(limit - 2) + "$c!1$d";
  KelUnicodeString hostile(over);
  EXPECT_EQ(tool.DecodeBlanks(hostile).ToUTF8(), "a b!" + std::to_string(limit - 2) + "$c!1$d");
}

// Decoding undoes encoding for any text without "!" and "$", except that a
// single word loses its trailing blanks.
TEST(KelEdsGeneralTool, DecodeUndoesEncode) {
  const std::vector<std::string> alphabet = {" ", " ", " ", "a", "b", "ab", "7", "0", "-", "\xC3\xA9", "\t"};
  std::mt19937 random(1234);
  KelEdsGeneralTool tool;
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (int n = static_cast<int>(random() % 24); n > 0; --n) text += alphabet[random() % alphabet.size()];
    KelUnicodeString original(text);
    KelUnicodeString encoded = tool.EncodeBlanks(original);

    int words = 0;
    for (std::size_t i = 0; i < text.size(); ++i) words += text[i] != ' ' && (i == 0 || text[i - 1] == ' ');
    std::string expected = text;
    if (words == 1) expected.erase(expected.find_last_not_of(' ') + 1);
    if (words >= 1) {
      EXPECT_LT(encoded.SearchSubString(" "), 0) << '"' << text << '"';
    }
    EXPECT_EQ(tool.DecodeBlanks(encoded).ToUTF8(), expected) << '"' << text << '"';
  }
}

struct TokenCase {
  const char* text;
  const char* separator;
  std::vector<std::string> tokens;  // the list held "old" before
  bool fails;
};

TEST(KelEdsGeneralTool, ExtractTokenString) {
  const char* const kNull = nullptr;
  const TokenCase cases[] = {
      {"a, b ,c", ",", {"a", "b", "c"}, false},
      {",,a,,  , b c ,", ",", {"a", "b c"}, false},
      {"a,b  c", ",;", {"a,b", "c"}, false},  // two characters: split at blanks
      {"a,b  c", "", {"a,b", "c"}, false},
      {"x;y", ";", {"x", "y"}, false},
      {"   ", ",", {}, false},
      {"", ",", {"old"}, true},  // an empty text fails and leaves the list alone
      {kNull, ",", {"old"}, true},
  };
  KelEdsGeneralTool tool;
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(std::string("\"") + (c.text != nullptr ? c.text : "null") + "\" at \"" + c.separator + '"');
    KelListValKelUnicodeString tokens{KelUnicodeString("old")};
    const long code = tool.ExtractTokenString(KelUnicodeString(c.text), tokens, KelUnicodeString(c.separator));
    std::vector<std::string> got;
    for (const KelUnicodeString& token : tokens) got.push_back(token.ToUTF8());
    EXPECT_EQ(got, c.tokens);
    ASSERT_EQ(code < 0, c.fails);
    const char* file = nullptr;
    if (c.fails) {
      ASSERT_TRUE(KelError::GetReturnOrigin(code, &file, nullptr));
      EXPECT_STREQ(file, "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsGeneralTool");
    }
  }
}

}  // namespace
