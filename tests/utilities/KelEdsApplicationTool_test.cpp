#include "KelEdsApplicationTool.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const char* const kNullType = nullptr;

struct FillCase {
  const char* label;
  KelRawColldouble values, sizes;
  const char* type;  // null: a null hanger type
  double area;
  bool succeeds;
  double fill;
};

TEST(KelEdsApplicationTool, GetComputedPercentFill) {
  const char* wt = KelEdsApplicationTool::WaterTightHanger;
  const char* nwt = KelEdsApplicationTool::NonWaterTightHanger;
  const FillCase cases[] = {
      {"diameters", {10, 20}, {}, nwt, 1000, true, 12.5 * std::acos(-1.0)},  // circles of 25 pi and 100 pi
      {"squared sizes", {1, 1}, {3, 4}, wt, 50, true, 50},
      {"skipped watertight cable", {1, 0}, {3, 4}, wt, 50, true, 18},
      {"areas", {5, 7}, {}, "Tray", 48, true, 25},
      {"empty type", {5, 7}, {1}, "", 48, true, 25},
      {"type case matters", {1, 1}, {3, 4}, "kelhgrwatertightcblpn", 50, true, 4},
      {"nothing counts", {0, -1}, {}, nwt, 10, true, 0},
      {"unread NaN size", {0, 1}, {kNaN, 2}, wt, 8, true, 50},
      {"no cable", {}, {}, "Tray", 10, false, 0},
      {"null type", {1}, {}, kNullType, 10, false, 0},
      {"zero area", {1}, {}, "Tray", 0, false, 0},
      {"negative area", {1}, {}, "Tray", -5, false, 0},
      {"lists apart", {1, 1}, {3}, wt, 50, false, 0},
      {"NaN area", {1}, {}, "Tray", kNaN, false, 0},
      {"infinite area", {1}, {}, "Tray", kInf, true, 0},
      {"infinite area and value", {kInf}, {}, "Tray", kInf, false, 0},
      {"skipped NaN value", {kNaN, 5}, {}, "Tray", 100, true, 5},
      {"skipped minus infinite value", {-kInf, 5}, {}, "Tray", 100, true, 5},
      {"infinite value", {kInf}, {}, "Tray", 10, false, 0},
      {"NaN size", {1, 1}, {3, kNaN}, wt, 50, false, 0},
      {"infinite size", {1}, {-kInf}, wt, 50, false, 0},
      {"overflowing sum", {DBL_MAX, DBL_MAX}, {}, "Tray", 1, false, 0},
  };
  KelEdsApplicationTool tool;
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.label);
    double fill = 123.0;
    const long code = tool.GetComputedPercentFill(c.values, c.sizes, KelUnicodeString(c.type), c.area, fill);
    EXPECT_EQ(code >= 0, c.succeeds);
    EXPECT_NEAR(fill, c.fill, 1e-9);
  }
}

}  // namespace
