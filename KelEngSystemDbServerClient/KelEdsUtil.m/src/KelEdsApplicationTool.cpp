#include "KelEdsApplicationTool.h"

#include <cmath>

#include "KelEdsResultCodes.h"
#include "KelError.h"
#include "KelGuard.h"
#include "KelMathematics.h"

namespace {
constexpr char kSource[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsApplicationTool";
constexpr auto Failure = KelEdsResultCodes<kSource>::Failure;
constexpr auto Success = KelEdsResultCodes<kSource>::Success;
}  // namespace

KelEdsApplicationTool::KelEdsApplicationTool() = default;
KelEdsApplicationTool::KelEdsApplicationTool(const KelEdsApplicationTool& other) = default;
KelEdsApplicationTool::~KelEdsApplicationTool() = default;
KelEdsApplicationTool& KelEdsApplicationTool::operator=(const KelEdsApplicationTool& other) = default;

long KelEdsApplicationTool::GetComputedPercentFill(const KelRawColldouble& values,
                                                   const KelRawColldouble& watertightSizes,
                                                   const KelUnicodeString& hangerType, const double& area,
                                                   double& percentFill) {
  const long failure = Failure(__LINE__);
  percentFill = 0.0;
  if (values.IsEmpty() || hangerType.IsNull() || !(area > 0.0)) return failure;

  const bool watertight = hangerType == KelUnicodeString(WaterTightHanger);
  const bool nonWatertight = hangerType == KelUnicodeString(NonWaterTightHanger);
  if (watertight && values.Size() != watertightSizes.Size()) return failure;

  double sum = 0.0;
  const bool done = KelGuard([&] {
    for (int i = 1; i <= values.Size(); ++i) {
      const double d = values[i];
      // "Not greater than 0" takes in NaN and minus infinity: such a cable is skipped.
      if (!(d > 0.0)) continue;
      if (watertight) {
        const double s = watertightSizes[i];
        sum += s * s;
      } else if (nonWatertight) {
        const double r = d * 0.5;
        sum += r * KelPI * r;
      } else {
        sum += d;
      }
    }
  });
  if (!done) return failure;
  const double fill = sum / area * 100.0;
  // An infinite or NaN size, or a sum that overflows, gives no fill to report.
  if (!std::isfinite(fill)) return failure;
  percentFill = fill;
  return Success(__LINE__);
}
