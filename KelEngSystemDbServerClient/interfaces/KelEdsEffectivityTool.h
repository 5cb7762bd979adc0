// KelEdsEffectivityTool: effectivity ranges.
//
// An effectivity is a set of closed ranges of non-negative integers, held as
// two parallel 1-based lists (lower bounds, upper bounds) and written as text
// such as "Lot (1-5)(8-oo)": each range is "(", the lower bound, "-", the
// upper bound or "oo" for an open end, ")". Text around and between the
// ranges is ignored as long as it holds no dash. The tool parses such a text,
// compares two sets and unites two sets.
//
// Results are the fixed codes S_OK, E_FAIL and E_INVALIDARG. Nothing raised
// by the platform leaves these operations.
//
// Ownership: the tool holds no state; every result goes through the caller's
// arguments. Threading: calls on distinct arguments may run on any threads.
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelBaseUnknown.h"
#include "KelRawCollint.h"
#include "KelUnicodeString.h"

// How the second effectivity of a comparison stands against the first.
enum KelEdsEffMatchingStatusEnum {
  KelEdsEffUnset = 0,        // no status: the comparison failed
  KelEdsEffIdentical = 1,    // same ranges, index by index
  KelEdsEffDisjoint = 2,     // no range of the second meets one of the first
  KelEdsEffIncluded = 3,     // every range of the second lies inside one of the first
  KelEdsEffOverlapping = 4,  // not included, but some range of the second meets one of the first
};

class ExportedByKelEdsUtil KelEdsEffectivityTool : public KelBaseUnknown {
 public:
  // The upper bound that stands for an open end ("oo"). Comparison and union
  // treat it as an ordinary integer.
  static constexpr int OpenEnd = 100000000;

  KelEdsEffectivityTool();
  KelEdsEffectivityTool(const KelEdsEffectivityTool& other);
  ~KelEdsEffectivityTool() override;
  KelEdsEffectivityTool& operator=(const KelEdsEffectivityTool& other);

  // Appends the ranges of `text` to `lowers` and `uppers` (never clears
  // them). E_INVALIDARG for a null text, lists untouched; E_FAIL for a text
  // without a dash, lists untouched; E_FAIL at the first range whose bounds
  // cannot be read, with the ranges before it already appended.
  long ParseEffectivityRange(const KelUnicodeString& text, KelRawCollint& lowers, KelRawCollint& uppers);

  // Compares the second set with the first. `status` is KelEdsEffUnset on
  // E_FAIL (a set whose two lists differ in length or are empty).
  long CompareEffectivityRange(const KelRawCollint& lowers1, const KelRawCollint& uppers1, const KelRawCollint& lowers2,
                               const KelRawCollint& uppers2, KelEdsEffMatchingStatusEnum& status);

  // Merges the ranges of the first set, in index order, into the second set,
  // then joins touching ranges (an upper bound followed by the next integer)
  // into `unionLowers` / `unionUppers`, which are cleared first. E_FAIL with
  // the outputs untouched for a set whose lists differ in length or are empty.
  // When the second set is ordered by lower bound and its ranges are
  // disjoint, the result is the exact union; otherwise it is what the merge
  // steps give (see docs/UTILITIES.md).
  long ComputeUnionEffectivityRange(const KelRawCollint& lowers1, const KelRawCollint& uppers1,
                                    const KelRawCollint& lowers2, const KelRawCollint& uppers2,
                                    KelRawCollint& unionLowers, KelRawCollint& unionUppers);
};
