#include "KelUnicodeString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kFFFD = "\xEF\xBF\xBD";  // U+FFFD, the replacement character, in UTF-8

KelUnicodeString FromUtf8(const std::string& bytes) {
  KelUnicodeString s;
  s.BuildFromUTF8(bytes.data(), bytes.size());
  return s;
}

// Taken over as a block from the C allocator, as the XML writer hands it.
KelUnicodeString AdoptBlock(const std::string& bytes) {
  auto* block = static_cast<char*>(std::malloc(bytes.size() + 1));
  std::memcpy(block, bytes.data(), bytes.size());
  return KelUnicodeString::AdoptUTF8(block, bytes.size());
}

TEST(KelUnicodeString, NullIsOnlyTheNeverAssignedString) {
  EXPECT_TRUE(KelUnicodeString().IsNull());
  EXPECT_TRUE(KelUnicodeString(static_cast<const char*>(nullptr)).IsNull());
  EXPECT_FALSE(KelUnicodeString("").IsNull());
  EXPECT_EQ(KelUnicodeString(), KelUnicodeString(""));
  KelUnicodeString assigned, appended;
  assigned = KelUnicodeString("");
  appended += KelUnicodeString("");
  EXPECT_FALSE(assigned.IsNull() || appended.IsNull());
}

// Forward from a start position; backward with start counted from the end
// (0 = from the last character); empty patterns, bad starts and empty texts.
TEST(KelUnicodeString, SearchSubStringFindsTheRightOccurrence) {
  const struct {
    const char *text, *pattern;
    int start, mode, expected;
  } cases[] = {{"a-b-c", "-", 0, 1, 1},   {"a-b-c", "-", 1, 1, 1},   {"a-b-c", "-", 2, 1, 3}, {"a-b-c", "-", 4, 1, -1},
               {"abcabc", "bc", 2, 1, 4}, {"abc", "abcd", 0, 1, -1}, {"a-b-c", "-", 0, 2, 3}, {"a-b-c", "-", 1, 2, 3},
               {"a-b-c", "-", 2, 2, 1},   {"a-b-c", "-", 4, 2, -1},  {"(1-5)", "(", 3, 2, 0}, {"abcabc", "bc", 2, 2, 1},
               {"abc", "", 0, 1, -1},     {"abc", "a", -1, 1, -1},   {"abc", "a", 3, 1, -1},  {"abc", "a", 3, 2, -1},
               {"", "a", 0, 1, -1},       {"", "a", 0, 2, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(KelUnicodeString(c.text).SearchSubString(c.pattern, c.start, c.mode), c.expected)
        << c.text << " / " << c.pattern << " start " << c.start << " mode " << c.mode;
  }
}

TEST(KelUnicodeString, SubStringClipsToTheText) {
  KelUnicodeString s("abcdef");
  EXPECT_EQ(s.SubString(0, 3), KelUnicodeString("abc"));
  EXPECT_EQ(s.SubString(4, 10), KelUnicodeString("ef"));
  EXPECT_EQ(s.SubString(6, 1), KelUnicodeString(""));
  EXPECT_EQ(s.SubString(9, 1), KelUnicodeString(""));
  EXPECT_EQ(s.SubString(-2, 2), KelUnicodeString("ab"));
  EXPECT_EQ(s.SubString(2, -1), KelUnicodeString(""));
  EXPECT_FALSE(s.SubString(9, 1).IsNull());
}

TEST(KelUnicodeString, StripRemovesOnlyTheGivenCharacterAtTheChosenEnds) {
  KelUnicodeString s("  a b  ");
  EXPECT_EQ(s.Strip(KelUnicodeString::Both), KelUnicodeString("a b"));
  EXPECT_EQ(s.Strip(KelUnicodeString::Leading), KelUnicodeString("a b  "));
  EXPECT_EQ(s.Strip(KelUnicodeString::Trailing), KelUnicodeString("  a b"));
  EXPECT_EQ(KelUnicodeString("xxaxx").Strip(3, u'x'), KelUnicodeString("a"));
  EXPECT_EQ(KelUnicodeString("   ").Strip(3), KelUnicodeString(""));
  EXPECT_EQ(KelUnicodeString("\ta\t").Strip(3), KelUnicodeString("\ta\t"));
  EXPECT_EQ(s, KelUnicodeString("  a b  ")) << "Strip works on a copy";
}

TEST(KelUnicodeString, ConvertToNumReadsLikeScanfAndLeavesTheOutputAloneOtherwise) {
  const struct {
    const char* text;
    int converted, value;
  } cases[] = {{"42", 1, 42},
               {"  -7", 1, -7},
               {"+8xyz", 1, 8},
               {"12 34", 1, 12},
               {"", 0, 99},
               {"oo", 0, 99},
               {"-", 0, 99},
               {" x1", 0, 99},
               {"2147483647", 1, INT_MAX},
               {"-2147483648", 1, INT_MIN},
               {"2147483648", 0, 99},
               {"99999999999999999999", 0, 99}};
  for (const auto& c : cases) {
    int value = 99;
    EXPECT_EQ(KelUnicodeString(c.text).ConvertToNum(&value, "%d"), c.converted) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  int value = 5;
  EXPECT_EQ(KelUnicodeString("12").ConvertToNum(&value, "%s"), 0) << "unknown formats convert nothing";
  EXPECT_EQ(value, 5);
  double d = 0;
  EXPECT_EQ(KelUnicodeString(" 2.5e1").ConvertToNum(&d, "%lf"), 1);
  EXPECT_DOUBLE_EQ(d, 25.0);
  KelUnicodeString built;
  built.BuildFromNum(-123);
  EXPECT_EQ(built, KelUnicodeString("-123"));
  built.BuildFromNum(0.5, "%g");
  EXPECT_EQ(built, KelUnicodeString("0.5"));
}

// Conversions work through blocks of a few hundred units, ASCII sixteen at a
// time: every kind of character, and every kind of damage (decoded as U+FFFD,
// one per maximal invalid part), must come out the same wherever it falls
// against those boundaries, at the end of the text included.
TEST(KelUnicodeString, Utf8ConvertsTheSameWhereverACharacterFalls) {
  struct Piece {
    std::string bytes;
    std::u16string units;
  } pieces[] = {
      {"\xC3\xA9", u"\u00E9"},              // two bytes
      {"\xE4\xB8\xAD", u"\u4E2D"},          // three
      {"\xF0\x9F\x94\x8C", u"\U0001F50C"},  // four, a surrogate pair
      {std::string("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\0", 20),
       std::u16string(u"\x7F\x80\u07FF\u0800\uFFFF\U00010000\U0010FFFF") + u'\0'},  // each length's ends, U+0000
      {"\xC3", u"\uFFFD"},                              // truncated two-byte sequence
      {"\xE2\x82", u"\uFFFD"},                          // truncated three-byte sequence: one maximal part
      {"\x80", u"\uFFFD"},                              // stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                    // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},          // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xFF", u"\uFFFD"},
  };
  for (const Piece& piece : pieces) {
    // Back to UTF-8: damage has become U+FFFD.
    std::string back = piece.bytes;
    if (piece.units.find(u'\uFFFD') != std::u16string::npos) {
      back.clear();
      for (std::size_t i = 0; i < piece.units.size(); ++i) back += kFFFD;
    }
    for (std::size_t before : {0, 1, 7, 15, 16, 17, 510, 511, 512, 513, 1022, 1023, 1024, 1025}) {
      const std::string bytes = std::string(before, 'a') + piece.bytes + std::string(40, 'z') + piece.bytes;
      const std::u16string units = std::u16string(before, u'a') + piece.units + std::u16string(40, u'z') + piece.units;
      const std::string expected = std::string(before, 'a') + back + std::string(40, 'z') + back;
      // Decoded, or taken over as UTF-8 (its conversions are then copies).
      for (const KelUnicodeString& s : {FromUtf8(bytes), KelUnicodeString::AdoptUTF8(bytes), AdoptBlock(bytes)}) {
        EXPECT_EQ(s.ToUTF8(), expected) << before;
        EXPECT_EQ(s.GetLengthInUTF8(), expected.size()) << before;
        std::vector<char> exact(expected.size(), 'Z');
        std::size_t room = exact.size();
        s.ConvertToUTF8(exact.data(), &room);
        EXPECT_EQ(std::string(exact.data(), room), expected) << before;
        ASSERT_EQ(s.Data(), units) << piece.bytes << " after " << before;
      }
    }
  }
  // Unpaired surrogates encode as U+FFFD.
  const KelUnicodeString unpaired(std::u16string{u'a', 0xD800, u'b', 0xDC00});
  EXPECT_EQ(unpaired.ToUTF8(), "a" + kFFFD + "b" + kFFFD);
  EXPECT_EQ(unpaired.GetLengthInUTF8(), 8u);
  // The length bounds the read even when the bytes go on.
  KelUnicodeString cut;
  cut.BuildFromUTF8("\xE2\x82\xAC", 2);
  EXPECT_EQ(cut.Data(), u"\uFFFD");
  EXPECT_EQ(KelUnicodeString("\xF0\x9F\x94\x8C").GetLengthInChar(), 2) << "lengths count UTF-16 units";
  EXPECT_STREQ(KelUnicodeString("\xC3\xA9").ConvertToChar(), "\xC3\xA9");
}

TEST(KelUnicodeString, ConvertToUtf8StopsAtWholeCharactersWithinTheRoom) {
  const std::string text = "aé中";  // one, two and three bytes
  const std::size_t whole[] = {0, 1, 1, 3, 3, 3, 6, 6};  // bytes written for each room
  for (const KelUnicodeString& s : {KelUnicodeString(text), KelUnicodeString::AdoptUTF8(text), AdoptBlock(text)}) {
    for (std::size_t room = 0; room < 8; ++room) {
      char buffer[8];
      std::memset(buffer, 'Z', sizeof buffer);
      std::size_t bytes = room;
      s.ConvertToUTF8(buffer, &bytes);
      ASSERT_EQ(bytes, whole[room]) << room;
      EXPECT_EQ(std::string(buffer, bytes), text.substr(0, bytes));
      EXPECT_EQ(buffer[bytes], bytes < room ? '\0' : 'Z') << "a zero follows only where there is room";
    }
  }
}

TEST(KelUnicodeString, ConvertToCharFollowsChanges) {
  KelUnicodeString s("one");
  EXPECT_STREQ(s.ConvertToChar(), "one");
  s += "two";
  EXPECT_STREQ(s.ConvertToChar(), "onetwo");
  KelUnicodeString moved(std::move(s));
  EXPECT_STREQ(moved.ConvertToChar(), "onetwo");
  EXPECT_STREQ(s.ConvertToChar(), "");  // NOLINT(bugprone-use-after-move): moved-from stays usable

  // A string that holds only its UTF-8 text changes, copies and moves the same.
  KelUnicodeString adopted = KelUnicodeString::AdoptUTF8("one");
  KelUnicodeString copy;
  copy = adopted;
  adopted += "two";
  EXPECT_STREQ(adopted.ConvertToChar(), "onetwo");
  EXPECT_EQ(copy, KelUnicodeString("one"));
  copy = KelUnicodeString::AdoptUTF8("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(copy.GetLengthInChar(), 3);
  EXPECT_EQ(copy.SubString(1, 2), KelUnicodeString("t\xC3\xA9"));
  copy = std::move(adopted);
  EXPECT_STREQ(copy.ConvertToChar(), "onetwo");
  EXPECT_TRUE(adopted.IsEmpty());  // NOLINT(bugprone-use-after-move)
  EXPECT_FALSE(KelUnicodeString::AdoptUTF8("").IsNull());

  // Copies share the bytes taken over until one of them changes or goes.
  auto block = std::make_unique<KelUnicodeString>(AdoptBlock("three"));
  KelUnicodeString kept(*block);
  KelUnicodeString assigned;
  assigned = kept;
  *block += "four";
  EXPECT_STREQ(block->ConvertToChar(), "threefour");
  block.reset();
  EXPECT_STREQ(kept.ConvertToChar(), "three");
  kept.BuildFromUTF8("five", 4);
  EXPECT_STREQ(assigned.ConvertToChar(), "three");
  EXPECT_TRUE(assigned.HoldsUTF8Only());
  EXPECT_FALSE(AdoptBlock("").HoldsUTF8Only());
}

}  // namespace
