#include "KelEdsEffectivityTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Ints = std::vector<int>;
constexpr int kOpen = KelEdsEffectivityTool::OpenEnd;

struct ParseCase {
  const char* text;
  long code;
  Ints lowers, uppers;  // what the parse appends
};

// The lists start with a sentinel range, to show they are appended to.
TEST(KelEdsEffectivityTool, ParseAppendsTheRangesReadBeforeAnyFailure) {
  const char* const kNull = nullptr;
  const ParseCase cases[] = {
      {"Lot (1-5)(8-oo)", S_OK, {1, 8}, {5, kOpen}},
      {"(1-5)(8-oo)", S_OK, {1, 8}, {5, kOpen}},  // a leading "(" opens the first range
      {"(1-5) and (7-9),(10-11)", S_OK, {1, 7, 10}, {5, 9, 11}},
      {"( 3 - 4 )", S_OK, {3}, {4}},
      {"(0-2147483647)", S_OK, {0}, {2147483647}},
      {"(2-later oo)", S_OK, {2}, {kOpen}},
      {"x(1-5)x(2-3)x(4-)", E_FAIL, {1, 2}, {5, 3}},  // malformed third range
      {"(1-5)(6-7", E_FAIL, {1}, {5}},                // unterminated second range
      {"(1-)", E_FAIL, {}, {}},
      {"(-5)", E_FAIL, {}, {}},
      {"1-5)", E_FAIL, {}, {}},
      {"(a-5)", E_FAIL, {}, {}},
      {"(1--5)", E_FAIL, {}, {}},
      {"(2147483648-5)", E_FAIL, {}, {}},
      {"(1-99999999999)", E_FAIL, {}, {}},
      {"---", E_FAIL, {}, {}},
      {"-", E_FAIL, {}, {}},
      {"(1 5)", E_FAIL, {}, {}},
      {"", E_FAIL, {}, {}},
      {kNull, E_INVALIDARG, {}, {}},
  };
  KelEdsEffectivityTool tool;
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "null");
    KelRawCollint lowers{42}, uppers{43};
    EXPECT_EQ(tool.ParseEffectivityRange(KelUnicodeString(c.text), lowers, uppers), c.code);
    Ints wantLowers{42}, wantUppers{43};
    wantLowers.insert(wantLowers.end(), c.lowers.begin(), c.lowers.end());
    wantUppers.insert(wantUppers.end(), c.uppers.begin(), c.uppers.end());
    EXPECT_EQ(lowers.Values(), wantLowers);
    EXPECT_EQ(uppers.Values(), wantUppers);
  }
}

struct CompareCase {
  KelRawCollint l1, u1, l2, u2;
  long code;
  KelEdsEffMatchingStatusEnum status;
};

TEST(KelEdsEffectivityTool, CompareGivesEachStatus) {
  const CompareCase cases[] = {
      {{1, 10}, {5, 20}, {1, 10}, {5, 20}, S_OK, KelEdsEffIdentical},
      {{1, 10}, {5, 20}, {10, 1}, {20, 5}, S_OK, KelEdsEffIncluded},
      {{1}, {10}, {2, 4}, {3, 5}, S_OK, KelEdsEffIncluded},
      {{1}, {10}, {5}, {20}, S_OK, KelEdsEffOverlapping},
      {{1}, {10}, {10}, {20}, S_OK, KelEdsEffOverlapping},  // closed ranges share 10
      {{1}, {10}, {0}, {1}, S_OK, KelEdsEffOverlapping},
      {{5}, {6}, {1}, {10}, S_OK, KelEdsEffOverlapping},  // the first lies inside the second
      {{1, 20}, {10, 30}, {2, 25}, {3, 40}, S_OK, KelEdsEffOverlapping},
      {{1}, {2}, {1, 5}, {2, 6}, S_OK, KelEdsEffOverlapping},
      {{1}, {10}, {11}, {20}, S_OK, KelEdsEffDisjoint},
      {{1, 30}, {10, 40}, {11, 50}, {20, 60}, S_OK, KelEdsEffDisjoint},
      {{1, 2}, {3}, {1}, {3}, E_FAIL, KelEdsEffUnset},
      {{1}, {3}, {}, {}, E_FAIL, KelEdsEffUnset},
      {{}, {}, {1}, {3}, E_FAIL, KelEdsEffUnset},
  };
  KelEdsEffectivityTool tool;
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.l2.Values()) + " " + ::testing::PrintToString(c.u2.Values()));
    KelEdsEffMatchingStatusEnum status = KelEdsEffDisjoint;
    EXPECT_EQ(tool.CompareEffectivityRange(c.l1, c.u1, c.l2, c.u2, status), c.code);
    EXPECT_EQ(status, c.status);
  }
}

struct UnionCase {
  KelRawCollint l1, u1, l2, u2;  // merged set, then working set
  long code;
  Ints lowers, uppers;
};

// The random comparison below reaches every merge branch; these are the
// readable examples, an open end, which it never draws, and invalid sets.
TEST(KelEdsEffectivityTool, UnionExamples) {
  const UnionCase cases[] = {
      {{3}, {32}, {1, 10, 30}, {5, 20, 40}, S_OK, {1}, {40}},                      // bridges three
      {{7}, {8}, {1, 10}, {5, 20}, S_OK, {1, 7, 10}, {5, 8, 20}},                  // between two
      {{1}, {5}, {6}, {7}, S_OK, {1}, {7}},                                        // touching ranges join
      {{30, 0, 7}, {40, 0, 8}, {10}, {20}, S_OK, {0, 7, 10, 30}, {0, 8, 20, 40}},  // merged set out of order
      {{5}, {kOpen}, {1}, {3}, S_OK, {1, 5}, {3, kOpen}},
      {{1, 2}, {3}, {1}, {2}, E_FAIL, {99}, {99, 98}},  // a failure leaves the outputs as they were
      {{1}, {3}, {}, {}, E_FAIL, {99}, {99, 98}},
  };
  KelEdsEffectivityTool tool;
  for (const UnionCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.l1.Values()) + " into " + ::testing::PrintToString(c.l2.Values()));
    KelRawCollint lowers{99}, uppers{99, 98};  // cleared before use
    ASSERT_EQ(tool.ComputeUnionEffectivityRange(c.l1, c.u1, c.l2, c.u2, lowers, uppers), c.code);
    EXPECT_EQ(lowers.Values(), c.lowers);
    EXPECT_EQ(uppers.Values(), c.uppers);
  }
}

// Maximal runs of the integers in [0, kSpan) covered by the given ranges.
constexpr int kSpan = 64;
void Runs(const std::vector<bool>& covered, Ints& lowers, Ints& uppers) {
  for (int v = 0; v < kSpan; ++v) {
    if (!covered[v]) continue;
    if (v == 0 || !covered[v - 1]) {
      lowers.push_back(v);
      uppers.push_back(v);
    } else {
      uppers.back() = v;
    }
  }
}

// With an ordered, disjoint second set, the result is the exact union, in
// whatever order the first set's ranges come.
TEST(KelEdsEffectivityTool, UnionMatchesTheSetUnionForOrderedWorkingSets) {
  std::mt19937 random(20240611);
  KelEdsEffectivityTool tool;
  for (int round = 0; round < 3000; ++round) {
    std::vector<bool> covered(kSpan, false);
    KelRawCollint l1, u1, l2, u2;
    for (int start = static_cast<int>(random() % 6); start < kSpan - 1; start += 1 + static_cast<int>(random() % 8)) {
      const int end = std::min(kSpan - 1, start + static_cast<int>(random() % 6));
      l2.Append(start);
      u2.Append(end);
      std::fill(covered.begin() + start, covered.begin() + end + 1, true);
      start = end;
    }
    for (int k = 1 + static_cast<int>(random() % 5); k > 0; --k) {
      const int s = static_cast<int>(random() % kSpan);
      const int e = std::min(kSpan - 1, s + static_cast<int>(random() % 20));
      l1.Append(s);
      u1.Append(e);
      std::fill(covered.begin() + s, covered.begin() + e + 1, true);
    }
    Ints wantLowers, wantUppers;
    Runs(covered, wantLowers, wantUppers);
    KelRawCollint lowers, uppers;
    ASSERT_EQ(tool.ComputeUnionEffectivityRange(l1, u1, l2, u2, lowers, uppers), S_OK);
    ASSERT_EQ(lowers.Values(), wantLowers) << "round " << round;
    ASSERT_EQ(uppers.Values(), wantUppers) << "round " << round;
  }
}

// Out of order or reversed ranges give no union to speak of, but never a
// fault: the outputs always pair up.
TEST(KelEdsEffectivityTool, UnionOfArbitrarySetsStaysInBounds) {
  std::mt19937 random(7);
  KelEdsEffectivityTool tool;
  auto bound = [&] { return static_cast<int>(random() % 40) - 2; };
  for (int round = 0; round < 3000; ++round) {
    KelRawCollint l1, u1, l2, u2;
    for (int k = 1 + static_cast<int>(random() % 5); k > 0; --k) l1.Append(bound()), u1.Append(bound());
    for (int k = 1 + static_cast<int>(random() % 5); k > 0; --k) l2.Append(bound()), u2.Append(bound());
    KelRawCollint lowers, uppers;
    ASSERT_EQ(tool.ComputeUnionEffectivityRange(l1, u1, l2, u2, lowers, uppers), S_OK);
    ASSERT_EQ(lowers.Size(), uppers.Size());
    ASSERT_GE(lowers.Size(), 1);
  }
}

}  // namespace
