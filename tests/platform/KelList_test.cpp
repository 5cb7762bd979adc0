#include "KelList.h"

#include <gtest/gtest.h>

#include "KelError.h"
#include "KelGuard.h"
#include "KelInternalError.h"
#include "KelListValKelUnicodeString.h"
#include "KelRawColldouble.h"
#include "KelRawCollint.h"
#include "KelToken.h"

namespace {

TEST(KelList, PositionsRunFromOne) {
  KelListValKelUnicodeString list;
  list.Append("a");
  list.Append("b");
  list.Append("a");
  EXPECT_EQ(list.Size(), 3);
  EXPECT_EQ(list[1], KelUnicodeString("a"));
  EXPECT_EQ(list[3], KelUnicodeString("a"));
  EXPECT_EQ(list.Locate("a"), 1);
  EXPECT_EQ(list.Locate("a", 2), 3);
  EXPECT_EQ(list.Locate("a", 4), 0);
  EXPECT_EQ(list.Locate("z"), 0);
  EXPECT_EQ(list.Locate("b", -5), 2) << "a start below 1 searches from the first entry";
  KelUnicodeString joined("");
  for (const KelUnicodeString& s : list) joined += s;
  EXPECT_EQ(joined, KelUnicodeString("aba"));
}

TEST(KelList, InsertRemoveAndAppendAList) {
  KelRawCollint list{10, 20, 30};
  list.InsertAt(1, 5);
  list.InsertAt(5, 40);  // Size() + 1 appends
  list.InsertAt(3, 15);
  EXPECT_EQ(list, (KelRawCollint{5, 10, 15, 20, 30, 40}));
  list.RemovePosition(2);
  list.RemovePosition(list.Size());
  EXPECT_EQ(list, (KelRawCollint{5, 15, 20, 30}));
  list.Append(list);
  EXPECT_EQ(list, (KelRawCollint{5, 15, 20, 30, 5, 15, 20, 30})) << "appending a list to itself doubles it once";
  list.RemoveAll();
  EXPECT_TRUE(list.IsEmpty());
}

TEST(KelList, OutOfRangeRaisesAPlatformErrorThatTheGuardCatches) {
  KelRawColldouble list{1.5};
  for (int bad : {0, 2, -1}) EXPECT_FALSE(KelGuard([&] { (void)list[bad]; })) << bad;
  EXPECT_FALSE(KelGuard([&] { list.InsertAt(3, 0.0); }));
  EXPECT_FALSE(KelGuard([&] { list.RemovePosition(0); }));
  EXPECT_EQ(list.Size(), 1);

  try {
    (void)list[7];
    FAIL() << "expected a raised error";
  } catch (KelError::ThrowSmartPtr& raised) {
    EXPECT_TRUE(raised->IsAKindOf("KelInternalError"));
    EXPECT_EQ(raised->GetId(), static_cast<unsigned>(KelErrOutOfRange));
    EXPECT_EQ(raised->GetNLSMessage(), KelUnicodeString("Position 7 is outside the list of 1 entries."));
  }
}

struct TokenCase {
  const char* text;
  const char* separators;
  std::vector<const char*> pieces;
};

TEST(KelToken, GivesNonEmptyPiecesThenEmptyForever) {
  const TokenCase cases[] = {
      {"a,b,c", ",", {"a", "b", "c"}},
      {",,a,,b,", ",", {"a", "b"}},      // runs and ends skipped
      {"a b;c", " ;", {"a", "b", "c"}},  // any character of the set separates
      {"", ",", {}},
      {",,,", ",", {}},
      {"CONSTRAINT X  PRIMARY", " ", {"CONSTRAINT", "X", "PRIMARY"}},
      {"whole text", "", {"whole text"}},
  };
  for (const TokenCase& c : cases) {
    KelToken token{KelUnicodeString(c.text)};
    for (const char* expected : c.pieces) EXPECT_EQ(token.GetNextToken(c.separators), KelUnicodeString(expected));
    for (int i = 0; i < 2; ++i) {
      KelUnicodeString end = token.GetNextToken(c.separators);
      EXPECT_TRUE(end.IsEmpty()) << c.text;
      EXPECT_FALSE(end.IsNull()) << c.text;
    }
  }
}

TEST(KelToken, SeparatorsMayChangeBetweenCalls) {
  KelToken token{KelUnicodeString("key=value;next")};
  EXPECT_EQ(token.GetNextToken("="), KelUnicodeString("key"));
  EXPECT_EQ(token.GetNextToken(";"), KelUnicodeString("=value"));
  EXPECT_EQ(token.GetNextToken(";"), KelUnicodeString("next"));
}

}  // namespace
