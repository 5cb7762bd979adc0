// KelEdsApplicationTool: engineering computations on cableways.
//
// GetComputedPercentFill gives how full a cableway section is: the summed
// cross-section area of its cables as a percentage of the section's area.
// How a cable's area is obtained depends on the hanger type:
//   "KelHgrWaterTightCblPn"     area = s * s, s from the second list
//   "KelHgrNonWaterTightCblPn"  area = pi * (d / 2)^2, d the diameter from the first list
//   any other type              area = the first list's value
// Only cables whose first-list value is greater than 0 count.
//
// Ownership: the tool holds no state. Threading: calls on distinct arguments
// may run on any threads.
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelBaseUnknown.h"
#include "KelRawColldouble.h"
#include "KelUnicodeString.h"

class ExportedByKelEdsUtil KelEdsApplicationTool : public KelBaseUnknown {
 public:
  // The hanger types with a rule of their own; compared exactly, case included.
  static constexpr const char* WaterTightHanger = "KelHgrWaterTightCblPn";
  static constexpr const char* NonWaterTightHanger = "KelHgrNonWaterTightCblPn";

  KelEdsApplicationTool();
  KelEdsApplicationTool(const KelEdsApplicationTool& other);
  ~KelEdsApplicationTool() override;
  KelEdsApplicationTool& operator=(const KelEdsApplicationTool& other);

  // Sets `percentFill` to 100 * (sum of the cables' areas) / `area`. Fails,
  // with `percentFill` at 0, for an empty first list, a null hanger type, an
  // area that is not a finite number above 0, a watertight type whose two
  // lists differ in length, a NaN or infinite value among the values read
  // (every first-list value; the second-list values of counted watertight
  // cables), or a sum that is not finite. The codes come from
  // KelError::GetReturn; test only their sign.
  long GetComputedPercentFill(const KelRawColldouble& values, const KelRawColldouble& watertightSizes,
                              const KelUnicodeString& hangerType, const double& area, double& percentFill);
};
